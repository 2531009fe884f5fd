// winsim: parsing and writing initialization files.
#include "profile_ini.h"

#include "text_internal.h"
#include "winsim/machine.h"

#include <set>

namespace winsim::profile {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring Decode(const std::string& bytes, Encoding* enc) {
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t n = bytes.size();
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        *enc = Encoding::Utf16;
        return FromUtf16(b + 2, (n - 2) & ~static_cast<size_t>(1));
    }
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        *enc = Encoding::Utf8;
        return Wide(bytes.substr(3));
    }
    *enc = Encoding::Ansi;
    std::wstring w;
    w.reserve(n);
    for (size_t i = 0; i < n; ++i) w.push_back(text::AnsiToWide(b[i]));
    return w;
}

}  // namespace

std::wstring Trim(const std::wstring& s) {
    size_t a = 0, e = s.size();
    while (a < e && IsBlank(s[a])) ++a;
    while (e > a && IsBlank(s[e - 1])) --e;
    return s.substr(a, e - a);
}

std::wstring Unquote(const std::wstring& v) {
    if (v.size() >= 2 && (v.front() == L'"' || v.front() == L'\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

Line Classify(const std::wstring& text) {
    Line l;
    l.text = text;
    std::wstring t = Trim(text);
    if (t.empty()) {
        l.kind = Line::Blank;
    } else if (t[0] == L';') {
        l.kind = Line::Comment;
    } else if (t[0] == L'[') {
        l.kind = Line::Section;
        size_t close = t.find(L']');
        l.name = Trim(t.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
    } else {
        l.kind = Line::Entry;
        size_t eq = t.find(L'=');
        l.has_equals = eq != std::wstring::npos;
        l.name = Trim(t.substr(0, eq));
        if (l.has_equals) l.value = Trim(t.substr(eq + 1));
    }
    return l;
}

IniFile IniFile::Parse(const std::string& bytes) {
    IniFile f;
    std::wstring w = Decode(bytes, &f.encoding);
    size_t start = 0;
    for (size_t i = 0; i <= w.size(); ++i) {
        if (i == w.size() || w[i] == L'\r' || w[i] == L'\n') {
            if (i == w.size() && start == i) break;  // nothing after the last line end
            f.lines.push_back(Classify(w.substr(start, i - start)));
            if (i < w.size() && w[i] == L'\r' && i + 1 < w.size() && w[i + 1] == L'\n') ++i;
            start = i + 1;
        }
    }
    return f;
}

std::string IniFile::Serialize() const {
    std::wstring w;
    for (const Line& l : lines) {
        w += l.text;
        w += L"\r\n";
    }
    std::string out;
    switch (encoding) {
    case Encoding::Utf16: {
        out = "\xFF\xFE";
        for (char16_t c : Utf16(w)) {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
        break;
    }
    case Encoding::Utf8: out = "\xEF\xBB\xBF" + Utf8(w); break;
    case Encoding::Ansi:
        for (wchar_t c : w) {
            int b = text::WideToAnsi(c);
            out.push_back(static_cast<char>(b < 0 ? '?' : b));
        }
        break;
    }
    return out;
}

size_t IniFile::FindSection(const std::wstring& name) const {
    std::wstring n = Trim(name);
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == Line::Section && IEquals(lines[i].name, n)) return i;
    return npos;
}

size_t IniFile::SectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != Line::Section) ++i;
    return i;
}

size_t IniFile::FindKey(size_t header, const std::wstring& key) const {
    std::wstring k = Trim(key);
    for (size_t i = header + 1, e = SectionEnd(header); i < e; ++i)
        if (lines[i].kind == Line::Entry && IEquals(lines[i].name, k)) return i;
    return npos;
}

std::vector<std::wstring> IniFile::SectionNames() const {
    std::vector<std::wstring> v;
    std::set<std::wstring> seen;
    for (const Line& l : lines)
        if (l.kind == Line::Section && seen.insert(Lower(l.name)).second) v.push_back(l.name);
    return v;
}

std::vector<std::wstring> IniFile::KeyNames(size_t header) const {
    std::vector<std::wstring> v;
    std::set<std::wstring> seen;
    for (size_t i = header + 1, e = SectionEnd(header); i < e; ++i)
        if (lines[i].kind == Line::Entry && seen.insert(Lower(lines[i].name)).second) v.push_back(lines[i].name);
    return v;
}

std::vector<std::wstring> IniFile::SectionLines(size_t header) const {
    std::vector<std::wstring> v;
    for (size_t i = header + 1, e = SectionEnd(header); i < e; ++i) {
        const Line& l = lines[i];
        if (l.kind != Line::Entry) continue;
        v.push_back(l.has_equals ? l.name + L"=" + l.value : l.name);
    }
    return v;
}

void IniFile::SetValue(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    Line entry = Classify(Trim(key) + L"=" + value);
    size_t h = FindSection(section);
    if (h == npos) {
        lines.push_back(Classify(L"[" + Trim(section) + L"]"));
        lines.push_back(entry);
        return;
    }
    size_t k = FindKey(h, key);
    if (k != npos) {
        lines[k] = entry;
        return;
    }
    // After the section's last entry (or its header), before trailing blanks and comments.
    size_t at = h + 1;
    for (size_t i = h + 1, e = SectionEnd(h); i < e; ++i)
        if (lines[i].kind == Line::Entry) at = i + 1;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
}

bool IniFile::DeleteKey(const std::wstring& section, const std::wstring& key) {
    size_t h = FindSection(section);
    if (h == npos) return false;
    size_t k = FindKey(h, key);
    if (k == npos) return false;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(k));
    return true;
}

bool IniFile::DeleteSection(const std::wstring& section) {
    size_t h = FindSection(section);
    if (h == npos) return false;
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(h),
                lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(h)));
    return true;
}

}  // namespace winsim::profile
