// winsim: the registry seen from outside the simulation (winsim/registry.h).
#include "winsim/registry.h"

#include "registry_model.h"

#include <stdexcept>

namespace winsim {

namespace reg {

FullPath ParseFullPath(Model& m, const std::wstring& path, const std::wstring& user_sid, bool allow_short) {
    std::vector<std::wstring> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find(L'\\', i);
        if (j == std::wstring::npos) j = path.size();
        if (j > i) parts.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    if (parts.empty()) throw std::invalid_argument("empty registry path");
    for (const auto& p : parts)
        if (p.size() > kMaxKeyName) throw std::invalid_argument("registry key name over 255 characters");
    const std::wstring root = parts[0];
    parts.erase(parts.begin());
    FullPath fp;
    auto is = [&](const wchar_t* full, const wchar_t* abbrev) {
        return IEquals(root, full) || (allow_short && IEquals(root, abbrev));
    };
    std::vector<std::wstring> pre;
    if (is(L"HKEY_LOCAL_MACHINE", L"HKLM")) {
        fp.start = m.Root(kMachineRoot);
        fp.label = L"HKEY_LOCAL_MACHINE";
    } else if (is(L"HKEY_USERS", L"HKU")) {
        fp.start = m.Root(kUsersRoot);
        fp.label = L"HKEY_USERS";
    } else if (is(L"HKEY_CURRENT_USER", L"HKCU")) {
        fp.start = m.Root(kUsersRoot);
        fp.label = L"HKEY_CURRENT_USER";
        pre = {user_sid};
    } else if (is(L"HKEY_CLASSES_ROOT", L"HKCR")) {
        fp.start = m.Root(kMachineRoot);
        fp.label = L"HKEY_CLASSES_ROOT";
        pre = {L"SOFTWARE", L"Classes"};
    } else if (is(L"HKEY_CURRENT_CONFIG", L"HKCC")) {
        fp.start = m.Root(kMachineRoot);
        fp.label = L"HKEY_CURRENT_CONFIG";
        pre = {L"SYSTEM", L"CurrentControlSet", L"Hardware Profiles", L"Current"};
    } else {
        throw std::invalid_argument("unknown registry root '" + Utf8(root) + "'");
    }
    fp.implicit = pre.size();
    fp.comps = pre;
    fp.comps.insert(fp.comps.end(), parts.begin(), parts.end());
    return fp;
}

}  // namespace reg

namespace {

std::wstring ConsoleUserSid(Machine& m) {
    const Session* s = m.FindSession(m.active_console_session);
    return s ? s->user_sid : std::wstring();
}

reg::KeyId Find(Machine& m, const std::wstring& sid, const std::wstring& path) {
    reg::Model model(m);
    auto fp = reg::ParseFullPath(model, path, sid, true);
    return model.Walk(fp.start, fp.comps, false);
}

reg::KeyId Make(Machine& m, const std::wstring& sid, const std::wstring& path) {
    reg::Model model(m);
    auto fp = reg::ParseFullPath(model, path, sid, true);
    return model.Walk(fp.start, fp.comps, true);
}

}  // namespace

Registry::Registry(Machine& m) : Registry(m, L"") {}

Registry::Registry(Machine& m, std::wstring user_sid) : m_(m), user_sid_(std::move(user_sid)) {
    if (user_sid_.empty()) user_sid_ = ConsoleUserSid(m);
}

void Registry::CreateKey(const std::wstring& path) { Make(m_, user_sid_, path); }

bool Registry::KeyExists(const std::wstring& path) const { return Find(m_, user_sid_, path) != 0; }

bool Registry::DeleteKey(const std::wstring& path) {
    reg::Model model(m_);
    bool found = false;
    model.store().Transaction([&] {
        reg::KeyId id = Find(m_, user_sid_, path);
        if (!id) return;
        found = true;
        auto k = model.Key(id);
        if (k && k->parent == 0) {
            model.DeleteContents(id);  // a root stays, empty
        } else {
            model.DeleteTree(id);
        }
    });
    return found;
}

std::vector<std::wstring> Registry::ListKeys(const std::wstring& path) const {
    reg::Model model(m_);
    std::lock_guard<std::recursive_mutex> g(model.store().mutex());
    std::vector<std::wstring> out;
    reg::KeyId id = Find(m_, user_sid_, path);
    if (!id) return out;
    for (const auto& k : model.Subkeys(id)) out.push_back(k.name);
    return out;
}

void Registry::SetDenyWrite(const std::wstring& path, bool deny) {
    reg::Model model(m_);
    model.store().Transaction([&] { model.SetDenyWrite(Make(m_, user_sid_, path), deny); });
}

void Registry::SetDenyRead(const std::wstring& path, bool deny) {
    reg::Model model(m_);
    model.store().Transaction([&] { model.SetDenyRead(Make(m_, user_sid_, path), deny); });
}

void Registry::SetValue(const std::wstring& path, const std::wstring& name, DWORD type,
                        const std::vector<uint8_t>& bytes) {
    if (name.size() > reg::kMaxValueName) throw std::invalid_argument("registry value name over 16383 characters");
    reg::Model model(m_);
    model.store().Transaction([&] { model.SetValue(Make(m_, user_sid_, path), name, type, bytes); });
}

void Registry::SetDword(const std::wstring& path, const std::wstring& name, DWORD v) {
    std::vector<uint8_t> b(4);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    SetValue(path, name, REG_DWORD, b);
}

void Registry::SetQword(const std::wstring& path, const std::wstring& name, uint64_t v) {
    std::vector<uint8_t> b(8);
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    SetValue(path, name, REG_QWORD, b);
}

void Registry::SetString(const std::wstring& path, const std::wstring& name, const std::wstring& s) {
    SetValue(path, name, REG_SZ, Utf16Bytes(s + L'\0'));
}

void Registry::SetExpandString(const std::wstring& path, const std::wstring& name, const std::wstring& s) {
    SetValue(path, name, REG_EXPAND_SZ, Utf16Bytes(s + L'\0'));
}

void Registry::SetMultiString(const std::wstring& path, const std::wstring& name,
                              const std::vector<std::wstring>& items) {
    std::wstring all;
    for (const auto& i : items) all += i + L'\0';
    all += L'\0';
    if (items.empty()) all = std::wstring(1, L'\0');
    SetValue(path, name, REG_MULTI_SZ, Utf16Bytes(all));
}

std::optional<RegValue> Registry::GetValue(const std::wstring& path, const std::wstring& name) const {
    reg::Model model(m_);
    std::lock_guard<std::recursive_mutex> g(model.store().mutex());
    reg::KeyId id = Find(m_, user_sid_, path);
    if (!id) return std::nullopt;
    auto v = model.Value(id, name);
    if (!v) return std::nullopt;
    return RegValue{v->type, v->data};
}

std::optional<DWORD> Registry::GetDword(const std::wstring& path, const std::wstring& name) const {
    auto v = GetValue(path, name);
    if (!v || v->type != REG_DWORD || v->data.size() != 4) return std::nullopt;
    DWORD r = 0;
    for (int i = 0; i < 4; ++i) r |= static_cast<DWORD>(v->data[i]) << (8 * i);
    return r;
}

std::optional<uint64_t> Registry::GetQword(const std::wstring& path, const std::wstring& name) const {
    auto v = GetValue(path, name);
    if (!v || v->type != REG_QWORD || v->data.size() != 8) return std::nullopt;
    uint64_t r = 0;
    for (int i = 0; i < 8; ++i) r |= static_cast<uint64_t>(v->data[i]) << (8 * i);
    return r;
}

std::optional<std::wstring> Registry::GetString(const std::wstring& path, const std::wstring& name) const {
    auto v = GetValue(path, name);
    if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ)) return std::nullopt;
    std::wstring s = FromBytes(v->data);
    size_t z = s.find(L'\0');
    if (z != std::wstring::npos) s.resize(z);
    return s;
}

std::optional<std::vector<std::wstring>> Registry::GetMultiString(const std::wstring& path,
                                                                  const std::wstring& name) const {
    auto v = GetValue(path, name);
    if (!v || v->type != REG_MULTI_SZ) return std::nullopt;
    std::wstring s = FromBytes(v->data);
    std::vector<std::wstring> out;
    size_t i = 0;
    while (i < s.size()) {
        size_t z = s.find(L'\0', i);
        if (z == std::wstring::npos) z = s.size();
        if (z == i) break;  // the empty string that ends the list
        out.push_back(s.substr(i, z - i));
        i = z + 1;
    }
    return out;
}

bool Registry::DeleteValue(const std::wstring& path, const std::wstring& name) {
    reg::Model model(m_);
    bool found = false;
    model.store().Transaction([&] {
        reg::KeyId id = Find(m_, user_sid_, path);
        if (id) found = model.DeleteValue(id, name);
    });
    return found;
}

std::vector<RegNamedValue> Registry::ListValues(const std::wstring& path) const {
    reg::Model model(m_);
    std::lock_guard<std::recursive_mutex> g(model.store().mutex());
    std::vector<RegNamedValue> out;
    reg::KeyId id = Find(m_, user_sid_, path);
    if (!id) return out;
    for (auto& v : model.Values(id)) out.push_back(RegNamedValue{v.name, v.type, v.data});
    return out;
}

std::wstring Registry::CanonicalPath(const std::wstring& path) const {
    reg::Model model(m_);
    std::lock_guard<std::recursive_mutex> g(model.store().mutex());
    auto fp = reg::ParseFullPath(model, path, user_sid_, true);
    auto root = model.Key(fp.start);
    std::wstring out = root ? root->name : fp.label;
    reg::KeyId cur = fp.start;
    for (const auto& c : fp.comps) {
        reg::KeyId next = cur ? model.Child(cur, c) : 0;
        auto k = next ? model.Key(next) : std::nullopt;
        out += L'\\';
        out += k ? k->name : c;
        cur = next;
    }
    return out;
}

std::vector<uint8_t> Registry::Utf16Bytes(const std::wstring& s) { return reg::ToUtf16Bytes(s); }

std::wstring Registry::FromBytes(const std::vector<uint8_t>& b) { return reg::FromUtf16Bytes(b); }

namespace {
const struct {
    DWORD type;
    const wchar_t* name;
} kTypeNames[] = {
    {REG_NONE, L"REG_NONE"},
    {REG_SZ, L"REG_SZ"},
    {REG_EXPAND_SZ, L"REG_EXPAND_SZ"},
    {REG_BINARY, L"REG_BINARY"},
    {REG_DWORD, L"REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, L"REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, L"REG_LINK"},
    {REG_MULTI_SZ, L"REG_MULTI_SZ"},
    {REG_RESOURCE_LIST, L"REG_RESOURCE_LIST"},
    {9, L"REG_FULL_RESOURCE_DESCRIPTOR"},
    {10, L"REG_RESOURCE_REQUIREMENTS_LIST"},
    {REG_QWORD, L"REG_QWORD"},
};
}  // namespace

std::wstring Registry::TypeName(DWORD type) {
    for (const auto& t : kTypeNames)
        if (t.type == type) return t.name;
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), kHex[type & 0xF]);
        type >>= 4;
    } while (type);
    return L"REG_0x" + digits;
}

std::optional<DWORD> Registry::TypeFromName(const std::wstring& name) {
    for (const auto& t : kTypeNames)
        if (IEquals(name, t.name)) return t.type;
    return std::nullopt;
}

}  // namespace winsim
