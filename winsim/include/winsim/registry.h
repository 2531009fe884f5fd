// winsim: the machine's registry seen from outside the simulation (tests, the winsim tool,
// profiles). Works on the store directly and needs no simulated thread.
//
// Paths are full: a root and the key path below it, components separated by '\':
//   HKEY_LOCAL_MACHINE or HKLM, HKEY_USERS or HKU, HKEY_CURRENT_USER or HKCU (the hive of
//   the Registry's user: by default the console session's user), HKEY_CLASSES_ROOT or HKCR
//   (HKLM\SOFTWARE\Classes), HKEY_CURRENT_CONFIG or HKCC
//   (HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current).
// Paths are physical: there is no WOW64 redirection here (the 32-bit view of SOFTWARE is
// spelt HKLM\SOFTWARE\WOW6432Node). Names compare without regard to case; keys and values
// keep the case they were created with. The deny flags do not apply to this API.
// Value data is exactly as stored: strings are UTF-16LE bytes (2 bytes a unit).
// Malformed paths (unknown root, empty or over-long component) throw std::invalid_argument.
#pragma once

#include "machine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

struct RegValue {
    DWORD type = 0;
    std::vector<uint8_t> data;  // as stored
};

struct RegNamedValue {
    std::wstring name;  // "" is the default value
    DWORD type = 0;
    std::vector<uint8_t> data;
};

// The two .reg dialects.
enum class RegFormat {
    Version5,  // "Windows Registry Editor Version 5.00"; files are UTF-16LE with a BOM
    Regedit4,  // "REGEDIT4"; files are ANSI (here: Latin-1), strings single-byte
};

// The registry view an import writes: the paths as written, or as a 32-bit program sees
// them (HKLM\SOFTWARE, and so HKCR, below WOW6432Node).
enum class RegView { Native, Wow32 };

struct RegImportResult {
    bool ok = true;
    size_t line = 0;    // 1-based line of the first error (0 when ok)
    std::string error;  // "line N: what is wrong"
    explicit operator bool() const { return ok; }
};

class Registry {
public:
    explicit Registry(Machine& m);
    // user_sid picks the hive of HKCU ("" = the console session's user).
    Registry(Machine& m, std::wstring user_sid);

    const std::wstring& user_sid() const { return user_sid_; }

    // Keys.
    void CreateKey(const std::wstring& path);  // with every missing parent
    bool KeyExists(const std::wstring& path) const;
    bool DeleteKey(const std::wstring& path);                            // the whole tree; false when missing
    std::vector<std::wstring> ListKeys(const std::wstring& path) const;  // enumeration order
    // Failure injection, persisted and per key (not inherited by subkeys), seen by the
    // registry API at once, also through handles already open:
    //   deny write: setting or deleting its values, creating subkeys below it, deleting
    //     it, and opening it with any write right fail with ERROR_ACCESS_DENIED;
    //   deny read: opening it with any read right, and querying or enumerating it, fail.
    // The key is created when missing.
    void SetDenyWrite(const std::wstring& path, bool deny);
    void SetDenyRead(const std::wstring& path, bool deny);

    // Values (the key is created when missing by every Set).
    void SetValue(const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<uint8_t>& bytes);
    void SetDword(const std::wstring& path, const std::wstring& name, DWORD v);
    void SetQword(const std::wstring& path, const std::wstring& name, uint64_t v);
    void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& s);  // REG_SZ + terminator
    void SetExpandString(const std::wstring& path, const std::wstring& name, const std::wstring& s);
    void SetMultiString(const std::wstring& path, const std::wstring& name, const std::vector<std::wstring>& items);
    std::optional<RegValue> GetValue(const std::wstring& path, const std::wstring& name) const;
    // Typed reads: nullopt when missing or of another type/size.
    std::optional<DWORD> GetDword(const std::wstring& path, const std::wstring& name) const;
    std::optional<uint64_t> GetQword(const std::wstring& path, const std::wstring& name) const;
    // REG_SZ or REG_EXPAND_SZ, up to the first terminator (none needed).
    std::optional<std::wstring> GetString(const std::wstring& path, const std::wstring& name) const;
    std::optional<std::vector<std::wstring>> GetMultiString(const std::wstring& path, const std::wstring& name) const;
    bool DeleteValue(const std::wstring& path, const std::wstring& name);   // false when missing
    std::vector<RegNamedValue> ListValues(const std::wstring& path) const;  // creation order

    // .reg files. ExportReg writes the key and its whole tree (an empty text, header only,
    // when the key is missing). Key names use full root names; HKCU/HKCR/HKCC paths are
    // written under the root they were given with. Values are written so that an import
    // restores their exact bytes: a REG_SZ that is not one terminated line of text (no
    // terminator, inner NUL, line break, odd size) is written as hex(1). Not representable:
    // value or key names holding line breaks; in Regedit4, characters above U+00FF
    // (written as '?').
    std::wstring ExportReg(const std::wstring& path, RegFormat format = RegFormat::Version5) const;
    // File bytes: UTF-16LE with BOM (Version5) or Latin-1 (Regedit4); lines end in CRLF.
    std::vector<uint8_t> ExportRegFile(const std::wstring& path, RegFormat format = RegFormat::Version5) const;
    // Parses the whole text first and applies it in one transaction: on any error nothing
    // changes. Accepts both headers, [KEY], [-KEY], "name"=..., @=..., "name"=-, "text",
    // dword:, hex:, hex(n):, backslash continuations and ';' comments. Roots must be
    // written in full (HKEY_...).
    RegImportResult ImportReg(const std::wstring& text, RegView view = RegView::Native);
    // Bytes as read from a .reg file: a UTF-16LE BOM means Unicode, a UTF-8 BOM UTF-8,
    // anything else ANSI (Latin-1).
    RegImportResult ImportRegFile(const std::vector<uint8_t>& bytes, RegView view = RegView::Native);

    // The full path spelt with its long root name, as the store keeps it
    // ("HKLM\\software" -> "HKEY_LOCAL_MACHINE\\SOFTWARE" when SOFTWARE exists).
    std::wstring CanonicalPath(const std::wstring& path) const;

    // UTF-16LE bytes of a string (no terminator added) and back.
    static std::vector<uint8_t> Utf16Bytes(const std::wstring& s);
    static std::wstring FromBytes(const std::vector<uint8_t>& b);
    // Names of value types ("REG_SZ" ...; others as a number) and back.
    static std::wstring TypeName(DWORD type);
    static std::optional<DWORD> TypeFromName(const std::wstring& name);

private:
    Machine& m_;
    std::wstring user_sid_;
};

}  // namespace winsim
