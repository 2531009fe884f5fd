// winsim: the wide formatter shared by user32, shlwapi, strsafe and the C runtime
// (the rules of both styles are listed in winsim/format.h).
#include "winsim/format.h"

#include "text_internal.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace winsim {

namespace {

// Where formatted characters go: a bounded buffer (possibly of size 0, to measure) or a
// string. Counts every character of the complete output.
struct Sink {
    wchar_t* buf = nullptr;
    size_t cap = 0;
    std::wstring* str = nullptr;
    int64_t total = 0;
    bool overflow = false;

    void Put(wchar_t c, int64_t n = 1) {
        if (n <= 0 || overflow) return;
        if (total + n > INT_MAX) {
            overflow = true;
            return;
        }
        if (str) {
            str->append(static_cast<size_t>(n), c);
        } else if (buf && static_cast<uint64_t>(total) < cap) {
            uint64_t room = cap - static_cast<uint64_t>(total);
            uint64_t k = static_cast<uint64_t>(n) < room ? static_cast<uint64_t>(n) : room;
            for (uint64_t i = 0; i < k; ++i) buf[total + i] = c;
        }
        total += n;
    }
};

enum class Size { None, H, HH, L, LL, W, I, I32, I64, BigL, J, Z, T };

// One conversion of a format: its flags, width, precision, size and type.
struct Field {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int64_t width = 0;
    bool has_prec = false;
    int64_t prec = 0;
    Size size = Size::None;
    wchar_t conv = 0;
};

// Widths and precisions beyond this are clamped; no real format comes near it.
constexpr int64_t kMaxField = 1 << 20;

class Formatter {
public:
    Formatter(FormatStyle style, Sink& sink, va_list ap) : style_(style), out_(sink) { va_copy(ap_, ap); }
    ~Formatter() { va_end(ap_); }
    Formatter(const Formatter&) = delete;
    Formatter& operator=(const Formatter&) = delete;

    // False on an invalid format (Crt style).
    bool Run(const wchar_t* fmt) {
        const wchar_t* p = fmt;
        while (*p) {
            if (*p != L'%') {
                out_.Put(*p++);
                continue;
            }
            ++p;
            Field sp;
            bool ok = crt() ? ParseCrt(p, sp) : ParseUser32(p, sp);
            if (!ok) return false;
            if (sp.conv == 0) break;  // user32: a '%' at the very end prints nothing
            if (!Convert(sp)) {
                if (crt()) return false;
                out_.Put(sp.conv);  // user32: no meaning as a format field
            }
        }
        return !out_.overflow;
    }

private:
    bool crt() const { return style_ == FormatStyle::Crt; }

    static int64_t Digits(const wchar_t*& p) {
        int64_t v = 0;
        while (*p >= L'0' && *p <= L'9') {
            if (v < kMaxField) v = v * 10 + (*p - L'0');
            ++p;
        }
        return v < kMaxField ? v : kMaxField;
    }

    bool ParseUser32(const wchar_t*& p, Field& sp) {
        for (;; ++p) {
            if (*p == L'-')
                sp.left = true;
            else if (*p == L'#')
                sp.alt = true;
            else if (*p == L'0')
                sp.zero = true;
            else
                break;
        }
        sp.width = Digits(p);
        if (*p == L'.') {
            ++p;
            sp.has_prec = true;
            sp.prec = Digits(p);
        }
        if (*p == L'h') {
            sp.size = Size::H;
            ++p;
        } else if (*p == L'l') {  // no "ll": a second 'l' is a type without meaning
            ++p;
            sp.size = Size::L;
        } else if (*p == L'w') {
            sp.size = Size::W;
            ++p;
        } else if (*p == L'I') {
            ++p;
            if (p[0] == L'6' && p[1] == L'4') {
                sp.size = Size::I64;
                p += 2;
            } else if (p[0] == L'3' && p[1] == L'2') {
                sp.size = Size::I32;
                p += 2;
            } else {
                sp.size = Size::I;
            }
        }
        sp.conv = *p;
        if (*p) ++p;
        return true;
    }

    bool ParseCrt(const wchar_t*& p, Field& sp) {
        for (;; ++p) {
            if (*p == L'-')
                sp.left = true;
            else if (*p == L'+')
                sp.plus = true;
            else if (*p == L' ')
                sp.space = true;
            else if (*p == L'#')
                sp.alt = true;
            else if (*p == L'0')
                sp.zero = true;
            else
                break;
        }
        if (*p == L'*') {
            ++p;
            int64_t w = va_arg(ap_, int);
            if (w < 0) {
                sp.left = true;
                w = -w;
            }
            sp.width = w < kMaxField ? w : kMaxField;
        } else {
            sp.width = Digits(p);
        }
        if (*p == L'.') {
            ++p;
            sp.has_prec = true;
            if (*p == L'*') {
                ++p;
                int64_t v = va_arg(ap_, int);
                if (v < 0) sp.has_prec = false;
                sp.prec = v < 0 ? 0 : (v < kMaxField ? v : kMaxField);
            } else {
                sp.prec = Digits(p);
            }
        }
        switch (*p) {
        case L'h':
            ++p;
            sp.size = Size::H;
            if (*p == L'h') {
                sp.size = Size::HH;
                ++p;
            }
            break;
        case L'l':
            ++p;
            sp.size = Size::L;
            if (*p == L'l') {
                sp.size = Size::LL;
                ++p;
            }
            break;
        case L'L':
            ++p;
            sp.size = Size::BigL;
            break;
        case L'w':
            ++p;
            sp.size = Size::W;
            break;
        case L'j':
            ++p;
            sp.size = Size::J;
            break;
        case L'z':
            ++p;
            sp.size = Size::Z;
            break;
        case L't':
            ++p;
            sp.size = Size::T;
            break;
        case L'I':
            ++p;
            if (p[0] == L'6' && p[1] == L'4') {
                sp.size = Size::I64;
                p += 2;
            } else if (p[0] == L'3' && p[1] == L'2') {
                sp.size = Size::I32;
                p += 2;
            } else {
                sp.size = Size::I;
            }
            break;
        default: break;
        }
        sp.conv = *p;
        if (!*p) return false;  // a lone '%' at the end
        ++p;
        return true;
    }

    // Integer arguments with the Windows sizes (LLP64).
    int64_t Signed(Size s) {
        switch (s) {
        case Size::H: return static_cast<short>(va_arg(ap_, int));
        case Size::HH: return static_cast<signed char>(va_arg(ap_, int));
        case Size::LL:
        case Size::I64:
        case Size::J: return va_arg(ap_, long long);
        case Size::I:
        case Size::Z:
        case Size::T: return static_cast<int64_t>(va_arg(ap_, intptr_t));
        default: return va_arg(ap_, int);
        }
    }
    uint64_t Unsigned(Size s) {
        switch (s) {
        case Size::H: return static_cast<unsigned short>(va_arg(ap_, int));
        case Size::HH: return static_cast<unsigned char>(va_arg(ap_, int));
        case Size::LL:
        case Size::I64:
        case Size::J: return va_arg(ap_, unsigned long long);
        case Size::I:
        case Size::Z:
        case Size::T: return static_cast<uint64_t>(va_arg(ap_, uintptr_t));
        default: return va_arg(ap_, unsigned int);
        }
    }

    wchar_t Widen(unsigned char b) const { return crt() ? static_cast<wchar_t>(b) : text::AnsiToWide(b); }

    // Returns false when the conversion has no meaning in this style.
    bool Convert(const Field& sp) {
        switch (sp.conv) {
        case L'd':
        case L'i': {
            int64_t v = Signed(sp.size);
            uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            Number(sp, v < 0, mag, 10, false, true);
            return true;
        }
        case L'u': Number(sp, false, Unsigned(sp.size), 10, false, false); return true;
        case L'x': Number(sp, false, Unsigned(sp.size), 16, false, false); return true;
        case L'X': Number(sp, false, Unsigned(sp.size), 16, true, false); return true;
        case L'o':
            if (!crt()) return false;
            Number(sp, false, Unsigned(sp.size), 8, false, false);
            return true;
        case L'p': {
            Field ps;
            ps.left = sp.left;
            ps.width = sp.width;
            ps.has_prec = true;
            ps.prec = 2 * static_cast<int64_t>(sizeof(void*));
            Number(ps, false, reinterpret_cast<uintptr_t>(va_arg(ap_, void*)), 16, true, false);
            return true;
        }
        case L'c':
        case L'C': {
            bool narrow = sp.size == Size::H || (sp.conv == L'C' && sp.size != Size::L && sp.size != Size::W);
            int v = va_arg(ap_, int);
            wchar_t c = narrow ? Widen(static_cast<unsigned char>(v)) : static_cast<wchar_t>(v);
            // user32 leaves out a zero character of the hc and lc forms only.
            if (c == 0 && !crt() && (sp.size == Size::H || sp.size == Size::L)) {
                Pad(sp, 0);
                PadRight(sp, 0);
                return true;
            }
            Pad(sp, 1);
            out_.Put(c);
            PadRight(sp, 1);
            return true;
        }
        case L's':
        case L'S': {
            bool narrow = sp.size == Size::H || (sp.conv == L'S' && sp.size != Size::L && sp.size != Size::W);
            if (narrow) {
                const char* s = va_arg(ap_, const char*);
                if (s) {
                    size_t n = 0;
                    while ((!sp.has_prec || static_cast<int64_t>(n) < sp.prec) && s[n]) ++n;
                    Pad(sp, static_cast<int64_t>(n));
                    for (size_t i = 0; i < n; ++i) out_.Put(Widen(static_cast<unsigned char>(s[i])));
                    PadRight(sp, static_cast<int64_t>(n));
                    return true;
                }
                Wide(sp, L"(null)");
                return true;
            }
            const wchar_t* s = va_arg(ap_, const wchar_t*);
            Wide(sp, s ? s : L"(null)");
            return true;
        }
        case L'e':
        case L'E':
        case L'f':
        case L'F':
        case L'g':
        case L'G':
        case L'a':
        case L'A':
            if (!crt()) return false;
            Float(sp);
            return true;
        case L'%': out_.Put(L'%'); return true;
        default: return false;
        }
    }

    // Left padding of a field whose text is len characters long.
    void Pad(const Field& sp, int64_t len) {
        if (sp.left || sp.width <= len) return;
        out_.Put(sp.zero ? L'0' : L' ', sp.width - len);
    }
    void PadRight(const Field& sp, int64_t len) {
        if (!sp.left || sp.width <= len) return;
        out_.Put(L' ', sp.width - len);
    }

    void Wide(const Field& sp, const wchar_t* s) {
        size_t n = sp.has_prec ? text::BoundedLength(s, static_cast<size_t>(sp.prec)) : wcslen(s);
        Pad(sp, static_cast<int64_t>(n));
        for (size_t i = 0; i < n; ++i) out_.Put(s[i]);
        PadRight(sp, static_cast<int64_t>(n));
    }

    void Number(const Field& sp, bool negative, uint64_t mag, unsigned base, bool upper, bool is_signed) {
        const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        wchar_t digits[64];
        int nd = 0;
        for (uint64_t v = mag; v; v /= base) digits[nd++] = static_cast<wchar_t>(set[v % base]);
        int64_t prec;
        if (crt())
            prec = sp.has_prec ? sp.prec : 1;
        else
            prec = (sp.has_prec && sp.prec > 0) ? sp.prec : 1;
        if (crt() && sp.alt && base == 8 && prec <= nd) prec = nd + 1;  // "%#o": a leading 0
        int64_t lead = prec > nd ? prec - nd : 0;

        wchar_t prefix[3];
        int np = 0;
        if (negative)
            prefix[np++] = L'-';
        else if (is_signed && crt() && sp.plus)
            prefix[np++] = L'+';
        else if (is_signed && crt() && sp.space)
            prefix[np++] = L' ';
        if (sp.alt && base == 16 && (!crt() || mag != 0)) {
            prefix[np++] = L'0';
            prefix[np++] = upper ? L'X' : L'x';
        }

        int64_t body = np + lead + nd;
        int64_t pad = sp.width > body ? sp.width - body : 0;
        bool zero_pad = sp.zero && !sp.left && (!crt() || !sp.has_prec);
        if (!sp.left && !zero_pad) out_.Put(L' ', pad);
        for (int i = 0; i < np; ++i) out_.Put(prefix[i]);
        if (zero_pad) out_.Put(L'0', pad);
        out_.Put(L'0', lead);
        for (int i = nd - 1; i >= 0; --i) out_.Put(digits[i]);
        if (sp.left) out_.Put(L' ', pad);
    }

    // Floating point (Crt style): the host's printf does the digits.
    void Float(const Field& sp) {
        char host_fmt[64];
        int k = 0;
        host_fmt[k++] = '%';
        if (sp.left) host_fmt[k++] = '-';
        if (sp.plus) host_fmt[k++] = '+';
        if (sp.space) host_fmt[k++] = ' ';
        if (sp.alt) host_fmt[k++] = '#';
        if (sp.zero) host_fmt[k++] = '0';
        if (sp.width > 0) k += snprintf(host_fmt + k, sizeof(host_fmt) - k, "%lld", static_cast<long long>(sp.width));
        if (sp.has_prec) k += snprintf(host_fmt + k, sizeof(host_fmt) - k, ".%lld", static_cast<long long>(sp.prec));
        bool ld = sp.size == Size::BigL;
        if (ld) host_fmt[k++] = 'L';
        host_fmt[k++] = static_cast<char>(sp.conv);
        host_fmt[k] = 0;

        long double lv = 0;
        double dv = 0;
        if (ld)
            lv = va_arg(ap_, long double);
        else
            dv = va_arg(ap_, double);
        char small[128];
        int n = ld ? snprintf(small, sizeof(small), host_fmt, lv) : snprintf(small, sizeof(small), host_fmt, dv);
        if (n < 0) return;
        const char* s = small;
        std::vector<char> big;
        if (static_cast<size_t>(n) >= sizeof(small)) {
            big.resize(static_cast<size_t>(n) + 1);
            if (ld)
                snprintf(big.data(), big.size(), host_fmt, lv);
            else
                snprintf(big.data(), big.size(), host_fmt, dv);
            s = big.data();
        }
        for (int i = 0; i < n; ++i) out_.Put(static_cast<wchar_t>(static_cast<unsigned char>(s[i])));
    }

    FormatStyle style_;
    Sink& out_;
    va_list ap_;
};

}  // namespace

int FormatRawW(wchar_t* out, size_t cap, const wchar_t* fmt, va_list ap, FormatStyle style) {
    if (!fmt) return -1;
    Sink sink;
    sink.buf = out;
    sink.cap = out ? cap : 0;
    Formatter f(style, sink, ap);
    if (!f.Run(fmt)) return -1;
    return static_cast<int>(sink.total);
}

int FormatW(wchar_t* out, size_t cch, const wchar_t* fmt, va_list ap, FormatStyle style) {
    if (!out || cch == 0) return FormatRawW(nullptr, 0, fmt, ap, style);
    int n = FormatRawW(out, cch - 1, fmt, ap, style);
    if (n < 0) {
        out[0] = 0;
        return -1;
    }
    out[static_cast<size_t>(n) < cch - 1 ? static_cast<size_t>(n) : cch - 1] = 0;
    return n;
}

int FormatW(wchar_t* out, size_t cch, FormatStyle style, const wchar_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = FormatW(out, cch, fmt, ap, style);
    va_end(ap);
    return n;
}

std::wstring FormatStringW(FormatStyle style, const wchar_t* fmt, va_list ap) {
    std::wstring s;
    if (!fmt) return s;
    Sink sink;
    sink.str = &s;
    Formatter f(style, sink, ap);
    if (!f.Run(fmt)) s.clear();
    return s;
}

std::wstring FormatStringW(FormatStyle style, const wchar_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::wstring s = FormatStringW(style, fmt, ap);
    va_end(ap);
    return s;
}

}  // namespace winsim
