// winsim: the text model of an initialization file behind the profile functions.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winsim::profile {

enum class Encoding { Ansi, Utf16, Utf8 };

// One line of the file, classified.
struct Line {
    enum Kind { Blank, Comment, Section, Entry } kind = Blank;
    std::wstring text;   // the line as in the file
    std::wstring name;   // Section: the name; Entry: the key (trimmed)
    std::wstring value;  // Entry: the value, trimmed, quotes kept
    bool has_equals = false;
};

class IniFile {
public:
    // Decodes the file's bytes by their byte-order mark.
    static IniFile Parse(const std::string& bytes);
    std::string Serialize() const;

    // Index of the first section of that name, or npos.
    size_t FindSection(const std::wstring& name) const;
    // The line range [first, end) of a section's body (after its header).
    size_t SectionEnd(size_t header) const;
    // Index of the first entry of that key in a section's body, or npos.
    size_t FindKey(size_t header, const std::wstring& key) const;

    // Section names (the first spelling of each), key names of a section, its lines.
    std::vector<std::wstring> SectionNames() const;
    std::vector<std::wstring> KeyNames(size_t header) const;
    std::vector<std::wstring> SectionLines(size_t header) const;

    // Changes (WritePrivateProfileStringW).
    void SetValue(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    bool DeleteKey(const std::wstring& section, const std::wstring& key);
    bool DeleteSection(const std::wstring& section);

    Encoding encoding = Encoding::Ansi;
    std::vector<Line> lines;

    static constexpr size_t npos = static_cast<size_t>(-1);
};

Line Classify(const std::wstring& text);
std::wstring Trim(const std::wstring& s);
// A value without one pair of matching quotes around it.
std::wstring Unquote(const std::wstring& v);

}  // namespace winsim::profile
