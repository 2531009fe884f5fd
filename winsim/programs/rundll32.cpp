// winsim: the stand-in rundll32. It knows one entry, setupapi's InstallHinfSection
// ("setupapi,InstallHinfSection SECTION MODE INF"), and of an INF's install section only
// the registry directives: every DelReg section first, then every AddReg section, each in
// the order listed, line by line. It works through the registry functions of its own
// process, so it writes the registry view of its own bitness.
#include <windows.h>

#include "programs_internal.h"
#include "winsim/files.h"
#include "winsim/kernel.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace winsim::programs {

namespace {

constexpr DWORD kAddBinValueType = 0x00000001;
constexpr DWORD kAddNoClobber = 0x00000002;
constexpr DWORD kAddDelVal = 0x00000004;
constexpr DWORD kAddAppend = 0x00000008;
constexpr DWORD kAddKeyOnly = 0x00000010;
constexpr DWORD kAddOverwriteOnly = 0x00000020;
constexpr DWORD kKey64 = 0x00001000;
constexpr DWORD kKey32 = 0x00004000;
constexpr DWORD kDelMultiSzString = 0x00018002;
// SetupAPI's own error codes, as the exit code tells them.
constexpr DWORD kWrongInfStyle = 0xE0000100;
constexpr DWORD kSectionNotFound = 0xE0000101;

// One line of a section: its fields, each with whether it was given at all.
struct Field {
    std::wstring text;
    bool given = false;
};
using Line = std::vector<Field>;

struct Inf {
    // Section names (upper case) to their lines, in file order.
    std::map<std::wstring, std::vector<std::wstring>> sections;
    std::map<std::wstring, std::wstring> strings;  // [Strings], keys in upper case
};

std::wstring Trim(const std::wstring& s) {
    size_t b = s.find_first_not_of(L" \t");
    if (b == std::wstring::npos) return L"";
    size_t e = s.find_last_not_of(L" \t");
    return s.substr(b, e - b + 1);
}

std::wstring DecodeText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE)
        return FromUtf16(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return Wide(bytes.substr(3));
    std::wstring w;
    for (char c : bytes) w += static_cast<wchar_t>(static_cast<uint8_t>(c));
    return w;
}

// The text of a line without its comment (a ';' outside quotes).
std::wstring StripComment(const std::wstring& l) {
    bool quoted = false;
    for (size_t i = 0; i < l.size(); ++i) {
        if (l[i] == L'"') quoted = !quoted;
        if (l[i] == L';' && !quoted) return l.substr(0, i);
    }
    return l;
}

Inf ParseInf(const std::wstring& text) {
    Inf inf;
    std::vector<std::wstring> raw;
    for (size_t i = 0; i <= text.size();) {
        size_t j = text.find(L'\n', i);
        if (j == std::wstring::npos) j = text.size();
        std::wstring l = text.substr(i, j - i);
        if (!l.empty() && l.back() == L'\r') l.pop_back();
        raw.push_back(l);
        i = j + 1;
    }
    std::vector<std::wstring>* current = nullptr;
    std::wstring pending;
    for (const auto& r : raw) {
        std::wstring l = Trim(StripComment(r));
        // A backslash at the end continues the line.
        if (!l.empty() && l.back() == L'\\') {
            l.pop_back();
            pending += l;
            continue;
        }
        l = pending + l;
        pending.clear();
        if (l.empty()) continue;
        if (l.front() == L'[' && l.back() == L']') {
            current = &inf.sections[Upper(Trim(l.substr(1, l.size() - 2)))];
            continue;
        }
        if (current) current->push_back(l);
    }
    auto it = inf.sections.find(L"STRINGS");
    if (it != inf.sections.end()) {
        for (const auto& l : it->second) {
            size_t eq = l.find(L'=');
            if (eq == std::wstring::npos) continue;
            std::wstring v = Trim(l.substr(eq + 1));
            if (v.size() >= 2 && v.front() == L'"' && v.back() == L'"') v = v.substr(1, v.size() - 2);
            inf.strings[Upper(Trim(l.substr(0, eq)))] = v;
        }
    }
    return inf;
}

// %strkey% from [Strings]; %% is one percent sign; an unknown key stays as written.
std::wstring Substitute(const Inf& inf, const std::wstring& s) {
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != L'%') {
            out += s[i];
            continue;
        }
        size_t e = s.find(L'%', i + 1);
        if (e == std::wstring::npos) {
            out += s.substr(i);
            break;
        }
        std::wstring key = s.substr(i + 1, e - i - 1);
        if (key.empty()) {
            out += L'%';
        } else {
            auto it = inf.strings.find(Upper(key));
            out += it != inf.strings.end() ? it->second : s.substr(i, e - i + 1);
        }
        i = e;
    }
    return out;
}

// Splits a line into its comma-separated fields: quotes group (a doubled quote inside is
// one), blanks around unquoted text go, string keys are substituted, inside quotes too.
Line Fields(const Inf& inf, const std::wstring& l) {
    Line out;
    Field f;
    bool quoted = false;
    std::wstring plain, inside;
    auto finish = [&] {
        f.text += Substitute(inf, inside);  // a quote left open ends with the line
        inside.clear();
        f.text += Substitute(inf, Trim(plain));
        plain.clear();
        f.given = f.given || !f.text.empty();
        out.push_back(f);
        f = Field();
    };
    for (size_t i = 0; i < l.size(); ++i) {
        wchar_t c = l[i];
        if (quoted) {
            if (c == L'"') {
                if (i + 1 < l.size() && l[i + 1] == L'"') {
                    inside += L'"';
                    ++i;
                } else {
                    quoted = false;
                    f.text += Substitute(inf, inside);
                    inside.clear();
                }
            } else {
                inside += c;
            }
            continue;
        }
        if (c == L'"') {
            f.text += Substitute(inf, Trim(plain));
            plain.clear();
            f.given = true;
            quoted = true;
        } else if (c == L',') {
            finish();
        } else {
            plain += c;
        }
    }
    finish();
    return out;
}

std::optional<DWORD> Number(const std::wstring& s) {
    std::wstring t = Trim(s);
    if (t.empty()) return DWORD(0);
    int base = 10;
    size_t i = 0;
    if (t.size() > 2 && t[0] == L'0' && (t[1] == L'x' || t[1] == L'X')) base = 16, i = 2;
    uint64_t v = 0;
    for (; i < t.size(); ++i) {
        int d = -1;
        wchar_t c = t[i];
        if (c >= L'0' && c <= L'9') d = c - L'0';
        if (base == 16 && c >= L'a' && c <= L'f') d = c - L'a' + 10;
        if (base == 16 && c >= L'A' && c <= L'F') d = c - L'A' + 10;
        if (d < 0) return std::nullopt;
        v = v * base + d;
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<DWORD>(v);
}

std::optional<HKEY> Root(const std::wstring& name) {
    std::wstring r = Upper(Trim(name));
    if (r == L"HKCR") return HKEY_CLASSES_ROOT;
    if (r == L"HKCU") return HKEY_CURRENT_USER;
    if (r == L"HKLM") return HKEY_LOCAL_MACHINE;
    if (r == L"HKU") return HKEY_USERS;
    return std::nullopt;  // HKR has no key to be relative to here
}

REGSAM View(DWORD flags) {
    if (flags & kKey64) return KEY_WOW64_64KEY;
    if (flags & kKey32) return KEY_WOW64_32KEY;
    return 0;
}

// A text with its terminator as the registry functions take it (WCHARs).
std::vector<uint8_t> StringBytes(const std::wstring& s) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(s.c_str());
    return std::vector<uint8_t>(p, p + (s.size() + 1) * sizeof(WCHAR));
}

std::vector<std::wstring> ReadMultiSz(HKEY k, const std::wstring& name) {
    std::vector<std::wstring> items;
    DWORD type = 0, cb = 0;
    if (RegQueryValueExW(k, name.c_str(), nullptr, &type, nullptr, &cb) != ERROR_SUCCESS || type != REG_MULTI_SZ)
        return items;
    std::wstring buf(cb / sizeof(WCHAR) + 1, L'\0');
    if (RegQueryValueExW(k, name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(&buf[0]), &cb) != ERROR_SUCCESS)
        return items;
    for (size_t i = 0; i < cb / sizeof(WCHAR) && buf[i];) {
        std::wstring item(&buf[i]);
        items.push_back(item);
        i += item.size() + 1;
    }
    return items;
}

LSTATUS WriteMultiSz(HKEY k, const std::wstring& name, const std::vector<std::wstring>& items) {
    std::wstring block;
    for (const auto& s : items) block += s + L'\0';
    block += L'\0';
    return RegSetValueExW(k, name.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(block.data()),
                          static_cast<DWORD>(block.size() * sizeof(WCHAR)));
}

bool HasValue(HKEY k, const std::wstring& name) {
    return RegQueryValueExW(k, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// One AddReg line; false when it could not be applied.
bool AddLine(const Line& f) {
    auto field = [&](size_t i) { return i < f.size() ? f[i].text : std::wstring(); };
    auto root = Root(field(0));
    if (!root) return false;
    std::optional<DWORD> flags = Number(field(3));
    if (!flags) return false;
    std::wstring sub = field(1), name = field(2);
    HKEY k = nullptr;
    if (RegCreateKeyExW(*root, sub.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | View(*flags), nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = true;
    bool anyValue = f.size() > 2 && (f[2].given || (f.size() > 3 && f[3].given) || f.size() > 4);
    DWORD type = 0;
    std::vector<uint8_t> data;
    if ((*flags & kAddKeyOnly) || !anyValue) {
        // The key alone.
    } else if (*flags & kAddDelVal) {
        RegDeleteValueW(k, name.c_str());
    } else if ((*flags & kAddNoClobber) && HasValue(k, name)) {
        // An existing value stays.
    } else if ((*flags & kAddOverwriteOnly) && !HasValue(k, name)) {
        // Only an existing value is replaced.
    } else {
        DWORD high = *flags >> 16;
        if (!(*flags & kAddBinValueType)) {
            type = high == 1 ? REG_MULTI_SZ : high == 2 ? REG_EXPAND_SZ : REG_SZ;
        } else {
            type = high == 0 ? REG_BINARY : high == 1 ? REG_DWORD : high == 2 ? REG_NONE : high;
        }
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            data = StringBytes(field(4));
        } else if (type == REG_MULTI_SZ) {
            std::vector<std::wstring> items;
            if (*flags & kAddAppend) items = ReadMultiSz(k, name);
            for (size_t i = 4; i < f.size(); ++i) {
                bool have = false;
                for (const auto& s : items) have = have || s == f[i].text;
                if (!have || !(*flags & kAddAppend)) items.push_back(f[i].text);
            }
            ok = WriteMultiSz(k, name, items) == ERROR_SUCCESS;
            RegCloseKey(k);
            return ok;
        } else if (type == REG_DWORD && f.size() == 5) {
            std::optional<DWORD> v = Number(field(4));
            if (!v) {
                RegCloseKey(k);
                return false;
            }
            for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(*v >> (8 * i)));
        } else {
            // Bytes, two hexadecimal digits a field.
            for (size_t i = 4; i < f.size(); ++i) {
                std::wstring t = Trim(f[i].text);
                if (t.empty()) continue;
                std::optional<DWORD> b = Number(L"0x" + t);
                if (!b || *b > 0xFF || t.size() > 2) {
                    RegCloseKey(k);
                    return false;
                }
                data.push_back(static_cast<uint8_t>(*b));
            }
        }
        ok = RegSetValueExW(k, name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                            static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }
    RegCloseKey(k);
    return ok;
}

// One DelReg line: a value (or one string of a multi-string), or without a value name
// the whole key.
bool DelLine(const Line& f) {
    auto field = [&](size_t i) { return i < f.size() ? f[i].text : std::wstring(); };
    auto root = Root(field(0));
    std::optional<DWORD> flags = Number(field(3));
    std::wstring sub = field(1);
    if (!root || !flags || Trim(sub).empty()) return false;
    REGSAM view = View(*flags);
    if (f.size() < 3 || !f[2].given) {
        HKEY k = nullptr;
        LSTATUS st = RegOpenKeyExW(*root, sub.c_str(), 0, KEY_ALL_ACCESS | view, &k);
        if (st == ERROR_FILE_NOT_FOUND) return true;
        if (st != ERROR_SUCCESS) return false;
        st = RegDeleteTreeW(k, nullptr);
        RegCloseKey(k);
        return st == ERROR_SUCCESS && RegDeleteKeyExW(*root, sub.c_str(), view, 0) == ERROR_SUCCESS;
    }
    HKEY k = nullptr;
    LSTATUS st = RegOpenKeyExW(*root, sub.c_str(), 0, KEY_READ | KEY_WRITE | view, &k);
    if (st == ERROR_FILE_NOT_FOUND) return true;
    if (st != ERROR_SUCCESS) return false;
    bool ok = true;
    if ((*flags & kDelMultiSzString) == kDelMultiSzString) {
        std::vector<std::wstring> items, kept;
        items = ReadMultiSz(k, f[2].text);
        for (const auto& s : items)
            if (!IEquals(s, field(4))) kept.push_back(s);
        if (kept.size() != items.size()) ok = WriteMultiSz(k, f[2].text, kept) == ERROR_SUCCESS;
    } else {
        st = RegDeleteValueW(k, f[2].text.c_str());
        ok = st == ERROR_SUCCESS || st == ERROR_FILE_NOT_FOUND;
    }
    RegCloseKey(k);
    return ok;
}

// The section names a directive of the install section lists, in order.
std::vector<std::wstring> Listed(const Inf& inf, const std::vector<std::wstring>& install, const wchar_t* directive) {
    std::vector<std::wstring> names;
    for (const auto& l : install) {
        size_t eq = l.find(L'=');
        if (eq == std::wstring::npos || !IEquals(Trim(l.substr(0, eq)), directive)) continue;
        for (const auto& f : Fields(inf, l.substr(eq + 1)))
            if (!Trim(f.text).empty()) names.push_back(Upper(Trim(f.text)));
    }
    return names;
}

}  // namespace

DWORD InstallInfRegistry(const std::wstring& inf_path, const std::wstring& section) {
    Machine& m = CurrentMachine();
    std::wstring full = files::FullPath(inf_path, CurrentProcess().current_dir);
    auto bytes = files::ReadBytes(m, full);
    if (!bytes) return ERROR_FILE_NOT_FOUND;
    Inf inf = ParseInf(DecodeText(*bytes));
    // A file without a known signature is no INF.
    bool signed_inf = false;
    auto version = inf.sections.find(L"VERSION");
    if (version != inf.sections.end()) {
        for (const auto& l : version->second) {
            size_t eq = l.find(L'=');
            if (eq == std::wstring::npos || !IEquals(Trim(l.substr(0, eq)), L"signature")) continue;
            Line v = Fields(inf, l.substr(eq + 1));
            std::wstring sig = v.empty() ? L"" : Upper(v[0].text);
            signed_inf = sig == L"$CHICAGO$" || sig == L"$WINDOWS NT$" || sig == L"$WINDOWS 95$";
        }
    }
    if (!signed_inf) return kWrongInfStyle;
    auto install = inf.sections.find(Upper(section));
    if (install == inf.sections.end()) return kSectionNotFound;
    DWORD result = ERROR_SUCCESS;
    for (const auto& name : Listed(inf, install->second, L"DelReg")) {
        auto s = inf.sections.find(name);
        if (s == inf.sections.end()) {
            result = kSectionNotFound;
            continue;
        }
        for (const auto& l : s->second)
            if (!DelLine(Fields(inf, l))) result = ERROR_INVALID_DATA;
    }
    for (const auto& name : Listed(inf, install->second, L"AddReg")) {
        auto s = inf.sections.find(name);
        if (s == inf.sections.end()) {
            result = kSectionNotFound;
            continue;
        }
        for (const auto& l : s->second)
            if (!AddLine(Fields(inf, l))) result = ERROR_INVALID_DATA;
    }
    return result;
}

namespace {

// rundll32 DLL,ENTRY ARGUMENTS: only setupapi's InstallHinfSection is known.
int WINAPI Rundll32Main(HINSTANCE, HINSTANCE, LPWSTR cmdline, int) {
    std::wstring args = cmdline ? cmdline : L"";
    size_t sp = args.find_first_of(L" \t");
    std::wstring target = Lower(args.substr(0, sp));
    std::wstring rest = sp == std::wstring::npos ? L"" : Trim(args.substr(sp));
    if (target != L"setupapi,installhinfsection" && target != L"setupapi.dll,installhinfsection")
        return ERROR_PROC_NOT_FOUND;
    // SECTION MODE PATH: the path is the rest, blanks included.
    size_t a = rest.find_first_of(L" \t");
    if (a == std::wstring::npos) return ERROR_INVALID_PARAMETER;
    std::wstring section = rest.substr(0, a);
    std::wstring after = Trim(rest.substr(a));
    size_t b = after.find_first_of(L" \t");
    if (b == std::wstring::npos) return ERROR_INVALID_PARAMETER;
    std::wstring path = Trim(after.substr(b));
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
    return static_cast<int>(InstallInfRegistry(path, section));
}

}  // namespace

ProgramInfo Rundll32Program() {
    ProgramInfo info;
    info.file_name = L"rundll32.exe";
    info.default_folder = L"C:\\Windows\\System32";
    info.wwinmain = &Rundll32Main;
    return info;
}

}  // namespace winsim::programs
