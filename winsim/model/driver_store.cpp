// winsim: the driver store model (winsim/driverstore.h).
#include "winsim/driverstore.h"

#include <windows.h>

#include <setupapi.h>

#include "devices_internal.h"
#include "winsim/files.h"
#include "winsim/registry.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>

namespace winsim::driverstore {

namespace {

struct State {
    explicit State(Machine&) {}
    std::mutex mu;
    DWORD install_ms = 2000;
    uint64_t pending_until = 0;
    std::vector<DeviceSpec> queued;
    std::vector<Update> updates;
};

State& St(Machine& m) { return m.Ext<State>("driverstore"); }

std::wstring Trim(const std::wstring& s) {
    size_t b = s.find_first_not_of(L" \t\r\n");
    if (b == std::wstring::npos) return L"";
    size_t e = s.find_last_not_of(L" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::wstring Unquote(const std::wstring& s) {
    std::wstring t = Trim(s);
    if (t.size() >= 2 && t.front() == L'"' && t.back() == L'"') return t.substr(1, t.size() - 2);
    return t;
}

std::wstring DecodeText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE)
        return FromUtf16(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, (bytes.size() - 2) & ~size_t(1));
    std::wstring w;
    w.reserve(bytes.size());
    for (unsigned char c : bytes) w.push_back(static_cast<wchar_t>(c));
    return w;
}

using Section = std::vector<std::wstring>;  // its lines, comments cut

std::map<std::wstring, Section> Sections(const std::wstring& text) {
    std::map<std::wstring, Section> out;
    Section* cur = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t nl = text.find(L'\n', pos);
        std::wstring line = text.substr(pos, nl == std::wstring::npos ? std::wstring::npos : nl - pos);
        pos = nl == std::wstring::npos ? text.size() + 1 : nl + 1;
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == L'"') quoted = !quoted;
            if (line[i] == L';' && !quoted) {
                line.resize(i);
                break;
            }
        }
        line = Trim(line);
        if (line.empty()) continue;
        if (line.front() == L'[') {
            size_t close = line.find(L']');
            if (close == std::wstring::npos) {
                cur = nullptr;
                continue;
            }
            cur = &out[Lower(Trim(line.substr(1, close - 1)))];
            continue;
        }
        if (cur) cur->push_back(line);
    }
    return out;
}

std::vector<std::wstring> Fields(const std::wstring& s) {
    std::vector<std::wstring> f;
    size_t pos = 0;
    for (;;) {
        size_t c = s.find(L',', pos);
        f.push_back(Trim(s.substr(pos, c == std::wstring::npos ? std::wstring::npos : c - pos)));
        if (c == std::wstring::npos) break;
        pos = c + 1;
    }
    return f;
}

bool SplitKey(const std::wstring& line, std::wstring* key, std::wstring* value) {
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) return false;
    *key = Trim(line.substr(0, eq));
    *value = Trim(line.substr(eq + 1));
    return true;
}

std::wstring Lookup(const std::map<std::wstring, Section>& secs, const std::wstring& section, const std::wstring& key) {
    auto it = secs.find(Lower(section));
    if (it == secs.end()) return L"";
    for (const auto& line : it->second) {
        std::wstring k, v;
        if (SplitKey(line, &k, &v) && IEquals(k, key)) return v;
    }
    return L"";
}

std::wstring Substitute(const std::map<std::wstring, Section>& secs, const std::wstring& value) {
    std::wstring v = Unquote(value);
    if (v.size() >= 2 && v.front() == L'%' && v.back() == L'%') {
        std::wstring s = Unquote(Lookup(secs, L"Strings", v.substr(1, v.size() - 2)));
        if (!s.empty()) return s;
    }
    return v;
}

std::wstring InfPath(const std::wstring& name) { return std::wstring(kInfFolder) + L"\\" + name; }

bool IsOemName(const std::wstring& name) {
    std::wstring l = Lower(name);
    if (l.size() < 8 || l.compare(0, 3, L"oem") != 0 || l.compare(l.size() - 4, 4, L".inf") != 0) return false;
    for (size_t i = 3; i + 4 < l.size(); ++i)
        if (l[i] < L'0' || l[i] > L'9') return false;
    return true;
}

std::wstring DriverKeyOf(Machine& m, DWORD devinst) { return DeviceTree(m).DriverKey(devinst); }

// Devices that carry the ID as a hardware or compatible ID.
bool Carries(Machine& m, DWORD devinst, const std::wstring& id) {
    Registry reg(m);
    std::wstring key = DeviceTree(m).EnumKey(devinst);
    for (const wchar_t* v : {L"HardwareID", L"CompatibleIDs"}) {
        auto ids = reg.GetMultiString(key, v);
        if (!ids) continue;
        for (const auto& x : *ids)
            if (IEquals(x, id)) return true;
    }
    return false;
}

}  // namespace

std::optional<InfInfo> ParseInf(const std::string& bytes) {
    auto secs = Sections(DecodeText(bytes));
    if (!secs.count(L"version")) return std::nullopt;
    InfInfo info;
    info.class_name = Substitute(secs, Lookup(secs, L"Version", L"Class"));
    info.provider = Substitute(secs, Lookup(secs, L"Version", L"Provider"));
    auto man = secs.find(L"manufacturer");
    if (man == secs.end()) return info;
    for (const auto& line : man->second) {
        std::wstring k, v;
        if (!SplitKey(line, &k, &v)) v = line;
        auto f = Fields(v);
        if (f.empty() || f[0].empty()) continue;
        std::vector<std::wstring> names{f[0]};
        for (size_t i = 1; i < f.size(); ++i)
            if (!f[i].empty()) names.push_back(f[0] + L"." + f[i]);
        for (const auto& n : names) {
            auto it = secs.find(Lower(n));
            if (it == secs.end()) continue;
            for (const auto& ml : it->second) {
                std::wstring desc, rest;
                if (!SplitKey(ml, &desc, &rest)) continue;
                auto mf = Fields(rest);
                InfModel model;
                model.description = Substitute(secs, desc);
                for (size_t i = 1; i < mf.size(); ++i)
                    if (!mf[i].empty()) model.ids.push_back(mf[i]);
                if (!model.ids.empty()) info.models.push_back(model);
            }
        }
    }
    return info;
}

std::string InfBytes(const std::wstring& text, bool utf16) {
    std::string out;
    if (utf16) {
        out = "\xFF\xFE";
        for (char16_t c : Utf16(text)) {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
        return out;
    }
    for (wchar_t c : text) out.push_back(static_cast<char>(c < 0x100 ? c : '?'));
    return out;
}

std::vector<std::wstring> OemInfs(Machine& m) {
    std::vector<std::pair<unsigned long, std::wstring>> found;
    auto host = files::HostPath(m, kInfFolder);
    std::error_code ec;
    if (!host || !std::filesystem::is_directory(*host, ec)) return {};
    for (const auto& e : std::filesystem::directory_iterator(*host, ec)) {
        std::wstring name = Wide(e.path().filename().string());
        if (!e.is_regular_file(ec) || !IsOemName(name)) continue;
        found.emplace_back(std::stoul(name.substr(3, name.size() - 7)), Lower(name));
    }
    std::sort(found.begin(), found.end());
    std::vector<std::wstring> out;
    for (auto& f : found) out.push_back(f.second);
    return out;
}

namespace {
std::wstring NextFreeName(Machine& m) {
    for (unsigned long n = 0;; ++n) {
        std::wstring name = L"oem" + std::to_wstring(n) + L".inf";
        if (!files::Exists(m, InfPath(name))) return name;
    }
}
}  // namespace

std::wstring AddOemInf(Machine& m, const std::wstring& text, bool utf16) {
    files::CreateFolders(m, kInfFolder);
    std::wstring name = NextFreeName(m);
    files::WriteBytes(m, InfPath(name), InfBytes(text, utf16));
    return name;
}

void BindDriver(Machine& m, DWORD devinst, const std::wstring& inf_name, const std::wstring& matching_id) {
    std::wstring key = DriverKeyOf(m, devinst);
    if (key.empty()) throw std::invalid_argument("device without a driver key");
    Registry reg(m);
    reg.SetString(key, L"InfPath", inf_name);
    auto bytes = files::ReadBytes(m, InfPath(inf_name));
    if (bytes) {
        if (auto info = ParseInf(*bytes)) reg.SetString(key, L"ProviderName", info->provider);
    }
    if (!matching_id.empty()) reg.SetString(key, L"MatchingDeviceId", Lower(matching_id));
}

std::wstring BoundInf(Machine& m, DWORD devinst) {
    std::wstring key = DriverKeyOf(m, devinst);
    if (key.empty()) return L"";
    return Registry(m).GetString(key, L"InfPath").value_or(L"");
}

std::vector<DWORD> DevicesUsing(Machine& m, const std::wstring& inf_name) {
    std::vector<DWORD> out;
    for (const auto& n : DeviceTree(m).List())
        if (!inf_name.empty() && IEquals(BoundInf(m, n.devinst), inf_name)) out.push_back(n.devinst);
    return out;
}

std::wstring FindCopy(Machine& m, const std::wstring& full_path) {
    auto src = files::ReadBytes(m, full_path);
    if (!src) return L"";
    for (const auto& name : OemInfs(m)) {
        auto b = files::ReadBytes(m, InfPath(name));
        if (b && *b == *src) return name;
    }
    return L"";
}

DWORD CopyIn(Machine& m, const std::wstring& full_path, std::wstring* name, bool* existed) {
    if (existed) *existed = false;
    auto src = files::ReadBytes(m, full_path);
    if (!src) return files::IsDirectory(m, full_path) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    if (!ParseInf(*src)) return ERROR_WRONG_INF_STYLE;
    std::wstring have = FindCopy(m, full_path);
    if (!have.empty()) {
        if (existed) *existed = true;
        if (name) *name = have;
        return ERROR_SUCCESS;
    }
    files::CreateFolders(m, kInfFolder);
    std::wstring n = NextFreeName(m);
    if (!files::WriteBytes(m, InfPath(n), *src)) return ERROR_ACCESS_DENIED;
    if (name) *name = n;
    return ERROR_SUCCESS;
}

DWORD Remove(Machine& m, const std::wstring& inf_name, bool force) {
    if (inf_name.find_first_of(L"\\/:") != std::wstring::npos) return ERROR_INVALID_PARAMETER;
    if (!files::Exists(m, InfPath(inf_name))) return ERROR_FILE_NOT_FOUND;
    if (!IsOemName(inf_name)) return ERROR_NOT_AN_INSTALLED_OEM_INF;
    if (!force && !DevicesUsing(m, inf_name).empty()) return ERROR_INF_IN_USE_BY_DEVICES;
    std::string host = files::HostPath(m, InfPath(inf_name)).value_or("");
    if (host.empty() || std::remove(host.c_str()) != 0) return ERROR_ACCESS_DENIED;
    std::wstring pnf = inf_name.substr(0, inf_name.size() - 4) + L".pnf";
    if (auto p = files::HostPath(m, InfPath(pnf))) std::remove(p->c_str());
    return ERROR_SUCCESS;
}

std::vector<DWORD> InstallOn(Machine& m, const std::wstring& inf_name, const std::wstring& id) {
    std::vector<DWORD> bound;
    auto bytes = files::ReadBytes(m, InfPath(inf_name));
    if (!bytes) return bound;
    auto info = ParseInf(*bytes);
    if (!info) return bound;
    DeviceTree t(m);
    for (const auto& n : t.List()) {
        if (!n.present || n.devinst == DeviceTree::kRoot || t.DriverKey(n.devinst).empty()) continue;
        for (const auto& model : info->models) {
            bool hit = false;
            for (const auto& x : model.ids)
                if ((id.empty() || IEquals(x, id)) && Carries(m, n.devinst, x)) hit = true;
            if (!hit) continue;
            BindDriver(m, n.devinst, inf_name, id.empty() ? model.ids.front() : id);
            Registry(m).SetString(t.DriverKey(n.devinst), L"DriverDesc", model.description);
            bound.push_back(n.devinst);
            break;
        }
    }
    return bound;
}

void QueueDetection(Machine& m, const DeviceSpec& device) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.queued.push_back(device);
}

void SetInstallDuration(Machine& m, DWORD ms) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.install_ms = ms;
}

void StartInstall(Machine& m) {
    uint64_t now = m.NowMs();
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.pending_until = std::max(s.pending_until, now + s.install_ms);
}

uint64_t PendingMs(Machine& m) {
    uint64_t now = m.NowMs();
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.pending_until > now ? s.pending_until - now : 0;
}

void DetectBelow(Machine& m, DWORD devinst) {
    DeviceTree t(m);
    std::vector<DeviceSpec> now;
    {
        State& s = St(m);
        std::lock_guard<std::mutex> g(s.mu);
        for (auto it = s.queued.begin(); it != s.queued.end();) {
            DWORD p = it->parent ? it->parent : DeviceTree::kRoot;
            bool below = false;
            for (DWORD x = p; x; x = t.Get(x) ? t.Get(x)->parent : 0)
                if (x == devinst) below = true;
            if (below && t.Get(p)) {
                now.push_back(*it);
                it = s.queued.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& device : now) t.Add(device);
}

std::vector<Update> Updates(Machine& m) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.updates;
}

namespace internal {
void RecordUpdate(Machine& m, const Update& u) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.updates.push_back(u);
}
}  // namespace internal

}  // namespace winsim::driverstore
