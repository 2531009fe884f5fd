// winsim: the kernel32 profile functions over the file model (see winsim/api_profile.h).
#include <windows.h>

#include "files_internal.h"
#include "profile_ini.h"
#include "winsim/kernel.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

using namespace winsim;
using namespace winsim::profile;

namespace {

// The path a profile file name names: a bare file name is in the Windows folder.
std::wstring ProfilePath(LPCWSTR name) {
    std::wstring n = name;
    if (n.find_first_of(L"\\/:") != std::wstring::npos) return n;
    WCHAR dir[MAX_PATH];
    UINT len = GetWindowsDirectoryW(dir, MAX_PATH);
    std::wstring path(dir, len);
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path + n;
}

// The file's bytes; nullopt (last error set) when it cannot be read.
std::optional<std::string> ReadAll(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, NULL) && got > 0) bytes.append(buf, got);
    CloseHandle(h);
    return bytes;
}

bool WriteAll(const std::wstring& path, const std::string& bytes) {
    HANDLE h =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = bytes.empty() ||
              (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, NULL) && put == bytes.size());
    ok = ok && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

// A parsed file with its sections and keys indexed by folded name (the first of each).
struct Parsed {
    IniFile ini;
    std::unordered_map<std::wstring, size_t> sections;
    std::unordered_map<size_t, std::unordered_map<std::wstring, size_t>> keys;  // by section header

    explicit Parsed(IniFile f) : ini(std::move(f)) {
        size_t header = IniFile::npos;
        for (size_t i = 0; i < ini.lines.size(); ++i) {
            const Line& l = ini.lines[i];
            if (l.kind == Line::Section) {
                header = i;
                sections.emplace(Lower(l.name), i);
                keys[i];
            } else if (l.kind == Line::Entry && header != IniFile::npos) {
                keys[header].emplace(Lower(l.name), i);
            }
        }
    }
    size_t FindSection(const std::wstring& name) const {
        auto it = sections.find(Lower(Trim(name)));
        return it == sections.end() ? IniFile::npos : it->second;
    }
    size_t FindKey(size_t header, const std::wstring& key) const {
        auto s = keys.find(header);
        if (s == keys.end()) return IniFile::npos;
        auto it = s->second.find(Lower(Trim(key)));
        return it == s->second.end() ? IniFile::npos : it->second;
    }
};

// The file the profile functions parsed last, kept as Windows keeps it: used again while
// nothing wrote it through the machine's file functions and its size, times and identity
// on the host are unchanged (which another host process changing it would show). The path
// it was named by keeps naming it while that file stays.
struct ProfileCache {
    explicit ProfileCache(Machine&) {}
    std::mutex mu;
    std::wstring full;  // the full path it was named by
    std::string key;    // the file model's key of the file
    std::string host;
    struct stat st {};
    uint64_t changes = 0;
    std::shared_ptr<const Parsed> parsed;
};

bool SameStat(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

void DropCache() {
    ProfileCache& c = CurrentMachine().Ext<ProfileCache>("profile");
    std::lock_guard<std::mutex> g(c.mu);
    c.parsed.reset();
    c.full.clear();
    c.host.clear();
}

std::shared_ptr<const Parsed> Load(LPCWSTR file) {
    namespace fd = files::detail;
    if (!file) return nullptr;
    std::wstring path = ProfilePath(file);
    Machine& m = CurrentMachine();
    std::wstring full = fd::CurrentFullPath(path);
    // Only a plain readable file is cached: what would fail goes the whole way, for its error.
    auto readable = [&](const std::string& key, const std::string& host) {
        return !fd::InjectedFailure(m, key, files::kFailOpen) &&
               !fd::State(m).shares->Check(host, fd::MapFileAccess(GENERIC_READ), FILE_SHARE_READ | FILE_SHARE_WRITE);
    };
    ProfileCache& c = m.Ext<ProfileCache>("profile");
    {
        std::lock_guard<std::mutex> g(c.mu);
        struct stat st {};
        if (c.parsed && c.full == full && stat(c.host.c_str(), &st) == 0 && SameStat(c.st, st) &&
            fd::ChangesOf(m, c.host) == c.changes && readable(c.key, c.host)) {
            SetLastError(ERROR_SUCCESS);
            return c.parsed;
        }
    }
    fd::Resolved r = fd::Resolve(m, full);
    bool cacheable = !r.error && r.exists && !r.is_dir && readable(r.key, r.host);
    uint64_t changes = cacheable ? fd::WatchChanges(m, r.host) : 0;
    auto bytes = ReadAll(path);
    if (!bytes) return nullptr;
    auto parsed = std::make_shared<const Parsed>(IniFile::Parse(*bytes));
    if (cacheable) {
        std::lock_guard<std::mutex> g(c.mu);
        c.full = full;
        c.key = r.key;
        c.host = r.host;
        c.st = r.st;
        c.changes = changes;
        c.parsed = parsed;
    }
    return parsed;
}

// Copies a value: cut and terminated when it does not fit (then nSize - 1).
DWORD CopyValue(const std::wstring& v, LPWSTR out, DWORD size) {
    if (!out || size == 0) return 0;
    size_t n = v.size() < size ? v.size() : size - 1;
    wmemcpy(out, v.data(), n);
    out[n] = 0;
    return static_cast<DWORD>(n);
}

// Copies a list of names, each terminated, with a final extra null; a list that does not
// fit is cut and ends in two nulls (then nSize - 2).
DWORD CopyList(const std::vector<std::wstring>& names, LPWSTR out, DWORD size) {
    if (!out || size == 0) return 0;
    std::wstring all;
    for (const auto& n : names) {
        all += n;
        all.push_back(0);
    }
    if (all.size() + 1 <= size) {
        wmemcpy(out, all.data(), all.size());
        out[all.size()] = 0;
        return static_cast<DWORD>(all.empty() ? 0 : all.size());
    }
    if (size < 2) {
        out[0] = 0;
        return 0;
    }
    wmemcpy(out, all.data(), size - 2);
    out[size - 2] = 0;
    out[size - 1] = 0;
    return size - 2;
}

DWORD CopyDefault(LPCWSTR def, LPWSTR out, DWORD size) {
    std::wstring d = def ? def : L"";
    while (!d.empty() && (d.back() == L' ' || d.back() == L'\t')) d.pop_back();
    DWORD n = CopyValue(d, out, size);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return n;
}

// RtlUnicodeStringToInteger with base 0.
UINT ParseInt(const std::wstring& s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == L' ' || s[i] == L'\t')) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) neg = s[i++] == L'-';
    unsigned base = 10;
    if (i + 1 < s.size() && s[i] == L'0') {
        wchar_t p = s[i + 1];
        if (p == L'x' || p == L'X')
            base = 16;
        else if (p == L'o' || p == L'O')
            base = 8;
        else if (p == L'b' || p == L'B')
            base = 2;
        if (base != 10) i += 2;
    }
    uint32_t v = 0;
    for (; i < s.size(); ++i) {
        wchar_t c = s[i];
        unsigned d;
        if (c >= L'0' && c <= L'9')
            d = static_cast<unsigned>(c - L'0');
        else if (c >= L'a' && c <= L'f')
            d = static_cast<unsigned>(c - L'a' + 10);
        else if (c >= L'A' && c <= L'F')
            d = static_cast<unsigned>(c - L'A' + 10);
        else
            break;
        if (d >= base) break;
        v = v * base + d;
    }
    return neg ? 0u - v : v;
}

}  // namespace

extern "C" {

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR app, LPCWSTR key, LPCWSTR def, LPWSTR out, DWORD size, LPCWSTR file) {
    if (!out || size == 0) return 0;
    auto ini = Load(file);
    if (!app) {
        if (!ini) return CopyList({}, out, size);
        SetLastError(ERROR_SUCCESS);
        return CopyList(ini->ini.SectionNames(), out, size);
    }
    size_t h = ini ? ini->FindSection(app) : IniFile::npos;
    if (!key) {
        if (h == IniFile::npos) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return CopyList({}, out, size);
        }
        SetLastError(ERROR_SUCCESS);
        return CopyList(ini->ini.KeyNames(h), out, size);
    }
    size_t k = h == IniFile::npos ? IniFile::npos : ini->FindKey(h, key);
    if (k == IniFile::npos) return CopyDefault(def, out, size);
    SetLastError(ERROR_SUCCESS);
    return CopyValue(Unquote(ini->ini.lines[k].value), out, size);
}

UINT WINAPI GetPrivateProfileIntW(LPCWSTR app, LPCWSTR key, INT def, LPCWSTR file) {
    WCHAR buf[64];
    DWORD n = GetPrivateProfileStringW(app, key, L"", buf, 64, file);
    if (n == 0) return static_cast<UINT>(def);
    return ParseInt(std::wstring(buf, n));
}

DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR app, LPWSTR out, DWORD size, LPCWSTR file) {
    if (!out || size == 0) return 0;
    auto ini = Load(file);
    size_t h = ini && app ? ini->FindSection(app) : IniFile::npos;
    if (h == IniFile::npos) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return CopyList({}, out, size);
    }
    SetLastError(ERROR_SUCCESS);
    return CopyList(ini->ini.SectionLines(h), out, size);
}

DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR out, DWORD size, LPCWSTR file) {
    return GetPrivateProfileStringW(NULL, NULL, NULL, out, size, file);
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR app, LPCWSTR key, LPCWSTR value, LPCWSTR file) {
    DropCache();
    if (!app && !key && !value) return TRUE;  // flushing: the next read parses the file again
    if (!app || !file) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::wstring path = ProfilePath(file);
    auto bytes = ReadAll(path);
    DWORD err = GetLastError();
    if (!bytes && err != ERROR_FILE_NOT_FOUND) return FALSE;  // never replace a file it cannot read
    IniFile ini = bytes ? IniFile::Parse(*bytes) : IniFile{};
    if (!key || !value) {
        bool changed = key ? ini.DeleteKey(app, key) : ini.DeleteSection(app);
        if (!changed) {
            SetLastError(ERROR_SUCCESS);
            return TRUE;
        }
    } else {
        ini.SetValue(app, key, value);
    }
    if (!WriteAll(path, ini.Serialize())) return FALSE;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // extern "C"
