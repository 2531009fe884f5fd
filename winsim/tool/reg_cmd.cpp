// winsim tool: "reg" - query, set, delete, export and import the machine's registry.
// Paths are physical (no WOW64 redirection: the 32-bit view is HKLM\SOFTWARE\WOW6432Node)
// and may use the short roots HKLM, HKCU (the console user), HKU, HKCR and HKCC. The name
// "@" stands for a key's default value.
#include "tool.h"
#include "winsim/registry.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace winsim::tool {

namespace {

const Command kReg{"reg", "reg query|set|delete|export|import ...", "read and change the registry (reg help)", nullptr};
const Command kQuery{"reg", "reg query KEY [NAME]", "", nullptr};
const Command kSet{"reg",
                   "reg set KEY NAME TYPE DATA...\n"
                   "  TYPE: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ (entries split at '|' or given as more\n"
                   "  arguments), REG_DWORD, REG_QWORD (decimal or 0x-hex), REG_BINARY (hex bytes, e.g. 01ff\n"
                   "  or 01,ff); NAME @ is the default value",
                   "", nullptr};
const Command kDelete{"reg", "reg delete KEY [NAME]", "", nullptr};
const Command kExport{"reg", "reg export KEY FILE [--regedit4]", "", nullptr};
const Command kImport{"reg", "reg import FILE", "", nullptr};

std::wstring ValueName(const std::string& arg) { return arg == "@" ? L"" : Wide(arg); }

std::string Shown(const std::wstring& name) { return name.empty() ? "(Default)" : Utf8(name); }

std::string HexBytes(const std::vector<uint8_t>& b) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t x : b) {
        s += kHex[x >> 4];
        s += kHex[x & 0xF];
    }
    return s;
}

// A value's data in reg.exe's style.
std::string Data(const RegNamedValue& v) {
    auto text = [&] {
        std::wstring s = Registry::FromBytes(v.data);
        while (!s.empty() && s.back() == L'\0') s.pop_back();
        return s;
    };
    switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::wstring s = text();
        size_t z = s.find(L'\0');
        return Utf8(z == std::wstring::npos ? s : s.substr(0, z));
    }
    case REG_MULTI_SZ: {
        std::wstring s = text();
        std::string out;
        size_t i = 0;
        while (i <= s.size() && !s.empty()) {
            size_t z = s.find(L'\0', i);
            if (z == std::wstring::npos) z = s.size();
            if (!out.empty()) out += "\\0";
            out += Utf8(s.substr(i, z - i));
            i = z + 1;
        }
        return out;
    }
    case REG_DWORD:
        if (v.data.size() == 4) {
            uint32_t d = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<uint32_t>(v.data[3]) << 24;
            char buf[16];
            std::snprintf(buf, sizeof(buf), "0x%x", d);
            return buf;
        }
        break;
    case REG_QWORD:
        if (v.data.size() == 8) {
            uint64_t q = 0;
            for (int i = 0; i < 8; ++i) q |= static_cast<uint64_t>(v.data[i]) << (8 * i);
            char buf[24];
            std::snprintf(buf, sizeof(buf), "0x%llx", static_cast<unsigned long long>(q));
            return buf;
        }
        break;
    default: break;
    }
    return HexBytes(v.data);
}

void PrintValue(const RegNamedValue& v) {
    std::printf("    %s    %s    %s\n", Shown(v.name).c_str(), Utf8(Registry::TypeName(v.type)).c_str(),
                Data(v).c_str());
}

int Query(Context& ctx, const Args& a) {
    if (a.size() < 2 || a.size() > 3) return BadArgs(kQuery, "expected KEY and at most one NAME");
    Registry reg(ctx.machine());
    std::wstring key = Wide(a[1]);
    if (!reg.KeyExists(key)) return Error("key not found: " + a[1]);
    std::wstring shown = reg.CanonicalPath(key);
    auto values = reg.ListValues(key);
    if (a.size() == 3) {
        std::wstring name = ValueName(a[2]);
        for (const auto& v : values) {
            if (!IEquals(v.name, name)) continue;
            std::printf("%s\n", Utf8(shown).c_str());
            PrintValue(v);
            return 0;
        }
        return Error("value not found: " + Shown(name) + " in " + a[1]);
    }
    std::printf("%s\n", Utf8(shown).c_str());
    for (const auto& v : values) PrintValue(v);
    auto subs = reg.ListKeys(key);
    if (!subs.empty()) std::printf("\n");
    for (const auto& k : subs) std::printf("%s\\%s\n", Utf8(shown).c_str(), Utf8(k).c_str());
    return 0;
}

bool ParseHexBytes(const std::string& s, std::vector<uint8_t>* out) {
    std::string digits;
    for (char c : s) {
        if (c == ',' || c == ' ') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() % 2) return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        out->push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
}

int Set(Context& ctx, const Args& a) {
    if (a.size() < 5) return BadArgs(kSet, "expected KEY NAME TYPE DATA");
    std::wstring key = Wide(a[1]);
    std::wstring name = ValueName(a[2]);
    auto type = Registry::TypeFromName(Wide(a[3]));
    if (!type) return BadArgs(kSet, "unknown type '" + a[3] + "'");
    Args data(a.begin() + 4, a.end());
    Registry reg(ctx.machine());
    switch (*type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        if (data.size() != 1) return BadArgs(kSet, "a string type takes one DATA argument");
        if (*type == REG_SZ) {
            reg.SetString(key, name, Wide(data[0]));
        } else {
            reg.SetExpandString(key, name, Wide(data[0]));
        }
        return 0;
    case REG_MULTI_SZ: {
        std::vector<std::wstring> items;
        for (const auto& d : data) {
            size_t i = 0;
            while (i <= d.size() && !d.empty()) {
                size_t j = d.find('|', i);
                if (j == std::string::npos) j = d.size();
                items.push_back(Wide(d.substr(i, j - i)));
                i = j + 1;
            }
        }
        reg.SetMultiString(key, name, items);
        return 0;
    }
    case REG_DWORD:
    case REG_QWORD: {
        uint64_t v = 0;
        if (data.size() != 1 || !ParseNumber(data[0], &v)) return BadArgs(kSet, "expected one number");
        if (*type == REG_DWORD) {
            if (v > 0xFFFFFFFFull) return BadArgs(kSet, "'" + data[0] + "' does not fit in a REG_DWORD");
            reg.SetDword(key, name, static_cast<DWORD>(v));
        } else {
            reg.SetQword(key, name, v);
        }
        return 0;
    }
    case REG_BINARY: {
        std::vector<uint8_t> bytes;
        for (const auto& d : data)
            if (!ParseHexBytes(d, &bytes)) return BadArgs(kSet, "'" + d + "' is not a list of hex bytes");
        reg.SetValue(key, name, REG_BINARY, bytes);
        return 0;
    }
    default: return BadArgs(kSet, "type " + a[3] + " cannot be set from the command line");
    }
}

int Delete(Context& ctx, const Args& a) {
    if (a.size() < 2 || a.size() > 3) return BadArgs(kDelete, "expected KEY and at most one NAME");
    Registry reg(ctx.machine());
    std::wstring key = Wide(a[1]);
    if (a.size() == 3) {
        if (!reg.DeleteValue(key, ValueName(a[2]))) return Error("value not found: " + a[2] + " in " + a[1]);
        return 0;
    }
    if (!reg.DeleteKey(key)) return Error("key not found: " + a[1]);
    return 0;
}

int Export(Context& ctx, const Args& a) {
    bool v4 = a.size() == 4 && a[3] == "--regedit4";
    if (a.size() != 3 && !v4) return BadArgs(kExport, "expected KEY and FILE");
    Registry reg(ctx.machine());
    std::wstring key = Wide(a[1]);
    if (!reg.KeyExists(key)) return Error("key not found: " + a[1]);
    auto bytes = reg.ExportRegFile(key, v4 ? RegFormat::Regedit4 : RegFormat::Version5);
    std::ofstream f(a[2], std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) return Error("cannot write " + a[2]);
    return 0;
}

int Import(Context& ctx, const Args& a) {
    if (a.size() != 2) return BadArgs(kImport, "expected FILE");
    std::ifstream f(a[1], std::ios::binary);
    if (!f) return Error("cannot read " + a[1]);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    Registry reg(ctx.machine());
    auto r = reg.ImportRegFile(bytes);
    if (!r) return Error(a[1] + ": " + r.error);
    return 0;
}

int Help() {
    std::printf("usage:\n");
    for (const Command* c : {&kQuery, &kSet, &kDelete, &kExport, &kImport}) std::printf("  winsim %s\n", c->usage);
    std::printf(
        "KEY is a full path such as HKLM\\SOFTWARE\\X (roots HKLM, HKCU, HKU, HKCR, HKCC or their\n"
        "long names); no WOW64 redirection applies.\n");
    return 0;
}

int Run(Context& ctx, const Args& a) {
    if (a.empty()) return BadArgs(kReg, "expected a subcommand");
    const std::string& sub = a[0];
    try {
        if (sub == "query") return Query(ctx, a);
        if (sub == "set") return Set(ctx, a);
        if (sub == "delete") return Delete(ctx, a);
        if (sub == "export") return Export(ctx, a);
        if (sub == "import") return Import(ctx, a);
        if (sub == "help" || sub == "--help" || sub == "-h") return Help();
    } catch (const std::invalid_argument& e) {
        return BadArgs(kReg, e.what());
    }
    return BadArgs(kReg, "unknown subcommand '" + sub + "'");
}

const Command kRegCommand{kReg.name, kReg.usage, kReg.help, Run};
Registrar registrar(kRegCommand);

}  // namespace
}  // namespace winsim::tool
