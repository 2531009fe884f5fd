// winsim: conversions between the host's wchar_t text, UTF-8 and UTF-16.
#include "winsim/machine.h"

#include "text_internal.h"

namespace winsim {

std::string Utf8(const std::wstring& w) {
    std::string out;
    text::EncodeUtf8(w.data(), w.size(), false, out);
    return out;
}

std::wstring Wide(const std::string& s) {
    std::wstring out;
    text::DecodeUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size(), false, out);
    return out;
}

std::u16string Utf16(const std::wstring& w) {
    std::u16string out;
    out.reserve(w.size());
    for (wchar_t wc : w) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 | (c >> 10));
            out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c);
        }
    }
    return out;
}

std::wstring FromUtf16(const std::u16string& s) {
    std::wstring out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        out += static_cast<wchar_t>(c);
    }
    return out;
}

std::wstring FromUtf16(const uint8_t* bytes, size_t nbytes) {
    std::u16string u;
    u.reserve(nbytes / 2);
    for (size_t i = 0; i + 1 < nbytes; i += 2) u += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    return FromUtf16(u);
}

namespace {
wchar_t FoldLower(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    return c;
}
wchar_t FoldUpper(wchar_t c) {
    if (c >= L'a' && c <= L'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    return c;
}
}  // namespace

std::wstring Lower(const std::wstring& s) {
    std::wstring r(s);
    for (auto& c : r) c = FoldLower(c);
    return r;
}

std::wstring Upper(const std::wstring& s) {
    std::wstring r(s);
    for (auto& c : r) c = FoldUpper(c);
    return r;
}

bool IEquals(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldLower(a[i]) != FoldLower(b[i])) return false;
    return true;
}

}  // namespace winsim
