// winsim: version data of files (winver.h) and its test API (winsim/version.h).
#include <windows.h>
#include <winver.h>

#include "files_internal.h"
#include "winsim/version.h"

#include <cstring>
#include <cwchar>

using namespace winsim;

namespace {

const DWORD kMagic = 0x52565156;  // "VQVR"
const char* const kNs = "file.version";

struct Header {
    DWORD magic;
    DWORD length;  // valid bytes of the block
    DWORD translations;
    DWORD strings;
};

void Put(std::vector<uint8_t>& b, const void* p, size_t n) {
    const auto* c = static_cast<const uint8_t*>(p);
    b.insert(b.end(), c, c + n);
}
void PutDword(std::vector<uint8_t>& b, DWORD v) { Put(b, &v, 4); }
void PutText(std::vector<uint8_t>& b, const std::wstring& s) {
    std::vector<WCHAR> w(s.begin(), s.end());
    w.push_back(0);
    Put(b, w.data(), w.size() * sizeof(WCHAR));
    while (b.size() % 4) b.push_back(0);
}
size_t TextBytes(size_t chars) { return (chars * sizeof(WCHAR) + 3) / 4 * 4; }

DWORD LangCp(const version::Translation& t) { return t.language | (static_cast<DWORD>(t.codepage) << 16); }

// One string entry of a parsed block.
struct Entry {
    DWORD langcp;
    const WCHAR* name;
    const WCHAR* value;
    UINT value_chars;
};

// Walks a block within its valid length.
struct View {
    const Header* h = nullptr;
    const VS_FIXEDFILEINFO* fixed = nullptr;
    const DWORD* translations = nullptr;
    DWORD n_translations = 0;
    std::vector<Entry> entries;
};

bool Walk(const uint8_t* block, size_t size, View* v) {
    if (!block || size < sizeof(Header) + sizeof(VS_FIXEDFILEINFO)) return false;
    Header h;
    std::memcpy(&h, block, sizeof h);
    if (h.magic != kMagic) return false;
    size_t len = h.length < size ? h.length : size;
    size_t pos = sizeof(Header);
    v->h = reinterpret_cast<const Header*>(block);
    v->fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(block + pos);
    pos += sizeof(VS_FIXEDFILEINFO);
    if (pos + 4 * static_cast<size_t>(h.translations) > len) return true;  // cut block
    v->translations = reinterpret_cast<const DWORD*>(block + pos);
    v->n_translations = h.translations;
    pos += 4 * static_cast<size_t>(h.translations);
    for (DWORD i = 0; i < h.strings; ++i) {
        if (pos + 12 > len) break;
        DWORD f[3];
        std::memcpy(f, block + pos, 12);
        size_t need = 12 + TextBytes(f[1]) + TextBytes(f[2]);
        if (f[1] == 0 || f[2] == 0 || pos + need > len) break;
        Entry e;
        e.langcp = f[0];
        e.name = reinterpret_cast<const WCHAR*>(block + pos + 12);
        e.value = reinterpret_cast<const WCHAR*>(block + pos + 12 + TextBytes(f[1]));
        e.value_chars = f[2];
        v->entries.push_back(e);
        pos += need;
    }
    return true;
}

std::string Hex(const std::vector<uint8_t>& b) {
    static const char* d = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) {
        s.push_back(d[c >> 4]);
        s.push_back(d[c & 15]);
    }
    return s;
}
std::vector<uint8_t> Unhex(const std::string& s) {
    std::vector<uint8_t> b;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        b.push_back(static_cast<uint8_t>(std::stoi(s.substr(i, 2), nullptr, 16)));
    return b;
}

std::string KeyOf(const std::wstring& actual) { return Utf8(Lower(actual)); }

// The stored block of the file the calling thread names, or an error.
DWORD BlockOf(LPCWSTR path, std::vector<uint8_t>* out) {
    if (!path || !*path) return ERROR_INVALID_PARAMETER;
    files::detail::Resolved r = files::detail::ResolveCurrent(path);
    if (r.error) return r.error;
    if (!r.exists || r.is_dir) return r.exists ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    auto text = CurrentMachine().store().GetText(kNs, KeyOf(r.actual));
    if (!text) return ERROR_RESOURCE_TYPE_NOT_FOUND;
    *out = Unhex(*text);
    return 0;
}

bool HexEquals(const std::wstring& text, DWORD langcp) {
    wchar_t want[16];
    swprintf(want, 16, L"%04x%04x", langcp & 0xFFFF, langcp >> 16);
    return IEquals(text, want);
}

}  // namespace

namespace winsim::version {

VersionInfo VersionInfo::WithStrings(Translation t, std::vector<std::pair<std::wstring, std::wstring>> strings) {
    VersionInfo v;
    v.translations.push_back(t);
    v.tables.push_back(StringTable{t, std::move(strings)});
    for (const auto& [name, value] : v.tables[0].strings) {
        if (IEquals(name, L"FileVersion")) ParseVersion(value, &v.file_ms, &v.file_ls);
        if (IEquals(name, L"ProductVersion")) ParseVersion(value, &v.product_ms, &v.product_ls);
    }
    return v;
}

bool ParseVersion(const std::wstring& text, DWORD* ms, DWORD* ls) {
    unsigned a, b, c, d;
    if (swscanf(text.c_str(), L"%u.%u.%u.%u", &a, &b, &c, &d) != 4) return false;
    *ms = (a << 16) | (b & 0xFFFF);
    *ls = (c << 16) | (d & 0xFFFF);
    return true;
}

std::vector<uint8_t> Block(const VersionInfo& info) {
    std::vector<uint8_t> b;
    size_t nstrings = 0;
    for (const auto& t : info.tables) nstrings += t.strings.size();
    Header h{kMagic, 0, static_cast<DWORD>(info.translations.size()), static_cast<DWORD>(nstrings)};
    Put(b, &h, sizeof h);
    VS_FIXEDFILEINFO f{};
    f.dwSignature = VS_FFI_SIGNATURE;
    f.dwStrucVersion = VS_FFI_STRUCVERSION;
    f.dwFileVersionMS = info.file_ms;
    f.dwFileVersionLS = info.file_ls;
    f.dwProductVersionMS = info.product_ms;
    f.dwProductVersionLS = info.product_ls;
    f.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
    f.dwFileOS = VOS_NT_WINDOWS32;
    f.dwFileType = info.file_type;
    Put(b, &f, sizeof f);
    for (const auto& t : info.translations) PutDword(b, LangCp(t));
    for (const auto& t : info.tables) {
        for (const auto& [name, value] : t.strings) {
            PutDword(b, LangCp(t.id));
            PutDword(b, static_cast<DWORD>(name.size() + 1));
            PutDword(b, static_cast<DWORD>(value.size() + 1));
            PutText(b, name);
            PutText(b, value);
        }
    }
    DWORD len = static_cast<DWORD>(b.size());
    std::memcpy(b.data() + offsetof(Header, length), &len, 4);
    return b;
}

std::optional<VersionInfo> ParseBlock(const uint8_t* block, size_t size) {
    View v;
    if (!Walk(block, size, &v)) return std::nullopt;
    VersionInfo info;
    info.file_ms = v.fixed->dwFileVersionMS;
    info.file_ls = v.fixed->dwFileVersionLS;
    info.product_ms = v.fixed->dwProductVersionMS;
    info.product_ls = v.fixed->dwProductVersionLS;
    info.file_type = v.fixed->dwFileType;
    for (DWORD i = 0; i < v.n_translations; ++i)
        info.translations.push_back(
            Translation{static_cast<WORD>(v.translations[i] & 0xFFFF), static_cast<WORD>(v.translations[i] >> 16)});
    for (const Entry& e : v.entries) {
        Translation t{static_cast<WORD>(e.langcp & 0xFFFF), static_cast<WORD>(e.langcp >> 16)};
        if (info.tables.empty() || LangCp(info.tables.back().id) != e.langcp) info.tables.push_back(StringTable{t, {}});
        info.tables.back().strings.emplace_back(e.name, e.value);
    }
    return info;
}

bool Attach(Machine& m, const std::wstring& path, const VersionInfo& info) {
    files::detail::Resolved r = files::detail::Resolve(m, files::FullPath(path, L"C:\\"));
    if (!r.exists || r.is_dir) return false;
    m.store().SetText(kNs, KeyOf(r.actual), Hex(Block(info)));
    return true;
}

void Detach(Machine& m, const std::wstring& path) {
    files::detail::Resolved r = files::detail::Resolve(m, files::FullPath(path, L"C:\\"));
    m.store().DeleteSetting(kNs, KeyOf(r.exists ? r.actual : files::FullPath(path, L"C:\\")));
}

std::optional<VersionInfo> Find(Machine& m, const std::wstring& path) {
    files::detail::Resolved r = files::detail::Resolve(m, files::FullPath(path, L"C:\\"));
    if (!r.exists) return std::nullopt;
    auto text = m.store().GetText(kNs, KeyOf(r.actual));
    if (!text) return std::nullopt;
    auto b = Unhex(*text);
    return ParseBlock(b.data(), b.size());
}

}  // namespace winsim::version

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle) {
    if (handle) *handle = 0;
    std::vector<uint8_t> b;
    if (DWORD e = BlockOf(path, &b)) return Fail(e, 0u);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(b.size());
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR path, DWORD, DWORD len, LPVOID data) {
    if (!data) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::vector<uint8_t> b;
    if (DWORD e = BlockOf(path, &b)) return Fail(e, FALSE);
    if (len < sizeof(Header)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    size_t n = b.size() < len ? b.size() : len;
    DWORD valid = static_cast<DWORD>(n);
    std::memcpy(b.data() + offsetof(Header, length), &valid, 4);
    std::memcpy(data, b.data(), n);
    return TRUE;
}

BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR sub, LPVOID* out, PUINT len) {
    if (!block || !sub || !out || !len) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *out = nullptr;
    *len = 0;
    const auto* b = static_cast<const uint8_t*>(block);
    Header h;
    std::memcpy(&h, b, sizeof h);
    View v;
    if (!Walk(b, h.length, &v)) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);

    // The path's components, leading and doubled backslashes ignored.
    std::vector<std::wstring> parts;
    std::wstring cur;
    for (const WCHAR* p = sub;; ++p) {
        if (*p == L'\\' || *p == 0) {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
            if (!*p) break;
        } else {
            cur.push_back(*p);
        }
    }
    if (parts.empty()) {
        *out = const_cast<VS_FIXEDFILEINFO*>(v.fixed);
        *len = sizeof(VS_FIXEDFILEINFO);
        return TRUE;
    }
    if (parts.size() == 2 && IEquals(parts[0], L"VarFileInfo") && IEquals(parts[1], L"Translation")) {
        if (!v.translations || v.n_translations == 0) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
        *out = const_cast<DWORD*>(v.translations);
        *len = 4 * v.n_translations;
        return TRUE;
    }
    if (parts.size() == 3 && IEquals(parts[0], L"StringFileInfo")) {
        for (const Entry& e : v.entries) {
            if (HexEquals(parts[1], e.langcp) && IEquals(parts[2], e.name)) {
                *out = const_cast<WCHAR*>(e.value);
                *len = e.value_chars;
                return TRUE;
            }
        }
    }
    return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
}

}  // extern "C"
