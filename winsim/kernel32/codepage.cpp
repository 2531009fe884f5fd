// winsim: kernel32 code pages - the machine's ANSI code page is 1252, its OEM code page
// 437; UTF-8 and ISO 8859-1 (28591) are available too. WCHAR is the host's 32-bit
// wchar_t, so a character outside the BMP is one WCHAR, never a surrogate pair; pairs
// found in wide input are still joined when encoding UTF-8.
#include <windows.h>

#include "text_internal.h"

#include <cstring>
#include <string>

using namespace winsim;

namespace {

// Windows-1252, bytes 0x80-0x9F (the rest is ISO 8859-1). The five bytes the code page
// leaves undefined (0x81 0x8D 0x8F 0x90 0x9D) map to the C1 controls of the same value,
// in both directions, as Windows' table does.
const wchar_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

// IBM PC code page 437, bytes 0x80-0xFF.
const wchar_t k437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

// Code page 437 with MB_USEGLYPHCHARS: the glyphs shown for the control bytes 0x01-0x1F
// (0x7F is U+2302).
const wchar_t k437Glyphs[32] = {
    0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 00
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,  // 08
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 10
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,  // 18
};

enum class Cp { Invalid, W1252, Oem437, Latin1, Utf8 };

Cp Resolve(UINT cp) {
    switch (cp) {
    case CP_ACP:
    case CP_THREAD_ACP:
    case 1252: return Cp::W1252;
    case CP_OEMCP:
    case 437: return Cp::Oem437;
    case 28591: return Cp::Latin1;
    case CP_UTF8: return Cp::Utf8;
    default: return Cp::Invalid;
    }
}

wchar_t Decode437(unsigned char b, bool glyphs) {
    if (b >= 0x80) return k437High[b - 0x80];
    if (glyphs && b > 0 && b < 0x20) return k437Glyphs[b];
    if (glyphs && b == 0x7F) return 0x2302;
    return b;
}

int Encode437(wchar_t c) {
    if (c < 0x80) return static_cast<int>(c);
    for (int i = 0; i < 128; ++i)
        if (k437High[i] == c) return 0x80 + i;
    return -1;
}

}  // namespace

namespace winsim::text {

wchar_t AnsiToWide(unsigned char b) { return (b >= 0x80 && b < 0xA0) ? k1252High[b - 0x80] : static_cast<wchar_t>(b); }

int WideToAnsi(wchar_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (int i = 0; i < 32; ++i)
        if (k1252High[i] == c) return 0x80 + i;
    return -1;
}

}  // namespace winsim::text

UINT WINAPI GetACP(void) { return 1252; }
UINT WINAPI GetOEMCP(void) { return 437; }

BOOL WINAPI IsValidCodePage(UINT CodePage) {
    // The CP_ACP-style aliases are not code pages of their own.
    if (CodePage == CP_ACP || CodePage == CP_OEMCP || CodePage == CP_THREAD_ACP) return FALSE;
    return Resolve(CodePage) != Cp::Invalid;
}

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    using text::Failed;
    if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr) ||
        static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))
        return Failed(ERROR_INVALID_PARAMETER, 0);
    Cp cp = Resolve(CodePage);
    if (cp == Cp::Invalid) return Failed(ERROR_INVALID_PARAMETER, 0);
    bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;
    if (cp == Cp::Utf8) {
        if (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) return Failed(ERROR_INVALID_FLAGS, 0);
    } else {
        if (dwFlags & ~static_cast<DWORD>(MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS))
            return Failed(ERROR_INVALID_FLAGS, 0);
        if ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE)) return Failed(ERROR_INVALID_FLAGS, 0);
    }
    size_t n = cbMultiByte < 0 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);

    std::wstring w;
    w.reserve(n);
    switch (cp) {
    case Cp::Utf8:
        if (!text::DecodeUtf8(s, n, strict, w)) return Failed(ERROR_NO_UNICODE_TRANSLATION, 0);
        break;
    case Cp::W1252:
        for (size_t i = 0; i < n; ++i) w += text::AnsiToWide(s[i]);
        break;
    case Cp::Oem437: {
        bool glyphs = (dwFlags & MB_USEGLYPHCHARS) != 0;
        for (size_t i = 0; i < n; ++i) w += Decode437(s[i], glyphs);
        break;
    }
    default:
        for (size_t i = 0; i < n; ++i) w += static_cast<wchar_t>(s[i]);
        break;
    }
    if (cchWideChar == 0) return static_cast<int>(w.size());
    if (w.size() > static_cast<size_t>(cchWideChar)) {
        std::memcpy(lpWideCharStr, w.data(), static_cast<size_t>(cchWideChar) * sizeof(wchar_t));
        return Failed(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    std::memcpy(lpWideCharStr, w.data(), w.size() * sizeof(wchar_t));
    return static_cast<int>(w.size());
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    using text::Failed;
    if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr) ||
        static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))
        return Failed(ERROR_INVALID_PARAMETER, 0);
    Cp cp = Resolve(CodePage);
    if (cp == Cp::Invalid) return Failed(ERROR_INVALID_PARAMETER, 0);
    if (cp == Cp::Utf8) {
        if (lpDefaultChar || lpUsedDefaultChar) return Failed(ERROR_INVALID_PARAMETER, 0);
        if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) return Failed(ERROR_INVALID_FLAGS, 0);
    } else if (dwFlags & ~static_cast<DWORD>(WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR |
                                             WC_NO_BEST_FIT_CHARS)) {
        return Failed(ERROR_INVALID_FLAGS, 0);
    }
    size_t n = cchWideChar < 0 ? wcslen(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);

    std::string out;
    out.reserve(n);
    bool used_default = false;
    if (cp == Cp::Utf8) {
        if (!text::EncodeUtf8(lpWideCharStr, n, (dwFlags & WC_ERR_INVALID_CHARS) != 0, out))
            return Failed(ERROR_NO_UNICODE_TRANSLATION, 0);
    } else {
        // No best-fit mapping: a character the code page lacks becomes the default.
        char def = lpDefaultChar ? lpDefaultChar[0] : '?';
        for (size_t i = 0; i < n; ++i) {
            wchar_t c = lpWideCharStr[i];
            int b;
            if (cp == Cp::W1252)
                b = text::WideToAnsi(c);
            else if (cp == Cp::Oem437)
                b = Encode437(c);
            else
                b = (c >= 0 && c <= 0xFF) ? static_cast<int>(c) : -1;
            if (b < 0) {
                used_default = true;
                out += def;
            } else {
                out += static_cast<char>(b);
            }
        }
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = used_default ? TRUE : FALSE;
    if (cbMultiByte == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cbMultiByte)) {
        std::memcpy(lpMultiByteStr, out.data(), static_cast<size_t>(cbMultiByte));
        return Failed(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    std::memcpy(lpMultiByteStr, out.data(), out.size());
    return static_cast<int>(out.size());
}

namespace winsim::text {

// Appends the UTF-8 decoding of s[0, n) to out. Every maximal ill-formed subsequence
// becomes one U+FFFD; returns false at the first one when strict.
bool DecodeUtf8(const unsigned char* s, size_t n, bool strict, std::wstring& out) {
    size_t i = 0;
    while (i < n) {
        unsigned b = s[i];
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        size_t need;
        unsigned lo = 0x80, hi = 0xBF;  // range of the first continuation byte
        uint32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;  // no encoded surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
        } else {
            if (strict) return false;
            out += static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        size_t k = 1;
        bool ok = true;
        for (; k <= need; ++k) {
            if (i + k >= n) {
                ok = false;
                break;
            }
            unsigned cb = s[i + k];
            unsigned l = k == 1 ? lo : 0x80, h = k == 1 ? hi : 0xBF;
            if (cb < l || cb > h) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cb & 0x3F);
        }
        if (!ok) {
            if (strict) return false;
            out += static_cast<wchar_t>(0xFFFD);
            i += k;
            continue;
        }
        out += static_cast<wchar_t>(cp);
        i += need + 1;
    }
    return true;
}

void PutUtf8(uint32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Encodes s[0, n) as UTF-8; lone surrogates and values beyond U+10FFFF become U+FFFD, or
// fail when strict.
bool EncodeUtf8(const wchar_t* s, size_t n, bool strict, std::string& out) {
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = static_cast<uint32_t>(s[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
            uint32_t d = static_cast<uint32_t>(s[i + 1]);
            if (d >= 0xDC00 && d <= 0xDFFF) {
                PutUtf8(0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00), out);
                ++i;
                continue;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            if (strict) return false;
            c = 0xFFFD;
        }
        PutUtf8(c, out);
    }
    return true;
}

}  // namespace winsim::text
