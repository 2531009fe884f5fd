// winsim: the Microsoft C runtime's string extras (semantics in winsim/crt_string.h).
#include "winsim/crt_string.h"

#include "text_internal.h"
#include "winsim/format.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

using namespace winsim;

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

template <class C>
C Low(C c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<C>(c + 32) : c;
}
template <class C>
C Up(C c) {
    return (c >= 'a' && c <= 'z') ? static_cast<C>(c - 32) : c;
}

template <class C>
int ICompare(const C* a, const C* b, size_t n) {
    if (!a || !b) {
        errno = EINVAL;
        return _NLSCMPERROR;
    }
    for (size_t i = 0; i < n; ++i) {
        long x = static_cast<long>(Low(a[i])), y = static_cast<long>(Low(b[i]));
        if constexpr (sizeof(C) == 1) {
            x = static_cast<unsigned char>(Low(a[i]));
            y = static_cast<unsigned char>(Low(b[i]));
        }
        if (x != y) return x < y ? -1 : 1;
        if (!a[i]) return 0;
    }
    return 0;
}

template <class C>
size_t Len(const C* s, size_t max) {
    size_t n = 0;
    while (n < max && s[n]) ++n;
    return n;
}

errno_t Err(errno_t e) {
    errno = e;
    return e;
}

template <class C>
errno_t CopyN(C* dest, rsize_t size, const C* src, rsize_t count) {
    if (count == 0 && !dest && size == 0) return 0;
    if (!dest || size == 0) return Err(EINVAL);
    if (count == 0) {
        dest[0] = 0;
        return 0;
    }
    if (!src) {
        dest[0] = 0;
        return Err(EINVAL);
    }
    if (count == _TRUNCATE) {
        size_t n = Len(src, size - 1);
        memcpy(dest, src, n * sizeof(C));
        dest[n] = 0;
        return src[n] ? STRUNCATE : 0;
    }
    size_t n = Len(src, count);
    if (n >= size) {
        dest[0] = 0;
        return Err(ERANGE);
    }
    memcpy(dest, src, n * sizeof(C));
    dest[n] = 0;
    return 0;
}

template <class C>
errno_t CatN(C* dest, rsize_t size, const C* src, rsize_t count) {
    if (count == 0 && !dest && size == 0) return 0;
    if (!dest || size == 0) return Err(EINVAL);
    if (!src && count != 0) {
        dest[0] = 0;
        return Err(EINVAL);
    }
    size_t len = Len(dest, size);
    if (len == size) {
        dest[0] = 0;
        return Err(EINVAL);  // not terminated within its size
    }
    if (count == _TRUNCATE) {
        size_t n = Len(src, size - 1 - len);
        memcpy(dest + len, src, n * sizeof(C));
        dest[len + n] = 0;
        return src[n] ? STRUNCATE : 0;
    }
    size_t n = count ? Len(src, count) : 0;
    if (len + n >= size) {
        dest[0] = 0;
        return Err(ERANGE);
    }
    memcpy(dest + len, src, n * sizeof(C));
    dest[len + n] = 0;
    return 0;
}

errno_t CaseS(wchar_t* str, size_t size, bool upper) {
    if (!str || size == 0) return Err(EINVAL);
    size_t n = Len(str, size);
    if (n == size) {
        str[0] = 0;
        return Err(EINVAL);
    }
    for (size_t i = 0; i < n; ++i) str[i] = upper ? Up(str[i]) : Low(str[i]);
    return 0;
}

// Digits of mag in radix, with a '-' in front when negative; -1 for a bad radix, else
// the length (without terminator) written to buf when it fits in size.
int ToText(bool negative, uint64_t mag, int radix, wchar_t* buf, size_t size, errno_t* err) {
    *err = 0;
    if (!buf || size == 0) {
        *err = Err(EINVAL);
        return -1;
    }
    buf[0] = 0;
    if (radix < 2 || radix > 36) {
        *err = Err(EINVAL);
        return -1;
    }
    wchar_t tmp[72];
    size_t n = 0;
    do {
        unsigned d = static_cast<unsigned>(mag % static_cast<unsigned>(radix));
        tmp[n++] = static_cast<wchar_t>(d < 10 ? L'0' + d : L'a' + d - 10);
        mag /= static_cast<unsigned>(radix);
    } while (mag);
    if (negative) tmp[n++] = L'-';
    if (n + 1 > size) {
        *err = Err(ERANGE);
        return -1;
    }
    for (size_t i = 0; i < n; ++i) buf[i] = tmp[n - 1 - i];
    buf[n] = 0;
    return static_cast<int>(n);
}

// The _itow family: negative values get a sign only in radix 10; other radixes show the
// two's-complement bits of the type's width.
errno_t SignedToText(int64_t v, unsigned bits, wchar_t* buf, size_t size, int radix) {
    errno_t e;
    uint64_t mask = bits == 64 ? ~0ull : ((1ull << bits) - 1);
    if (radix == 10 && v < 0)
        ToText(true, 0 - static_cast<uint64_t>(v), radix, buf, size, &e);
    else
        ToText(false, static_cast<uint64_t>(v) & mask, radix, buf, size, &e);
    return e;
}

constexpr size_t kUnbounded = 72;  // room for any 64-bit value in radix 2 and a sign

// _wtoi/_wtol/_wtoi64: decimal with blanks and a sign, clamped to [lo, hi] (ERANGE).
long long ParseDecimal(const wchar_t* s, long long lo, long long hi) {
    if (!s) {
        errno = EINVAL;
        return 0;
    }
    while (IsSpace(*s)) ++s;
    bool neg = false;
    if (*s == L'-' || *s == L'+') neg = *s++ == L'-';
    unsigned long long mag = 0;
    bool over = false;
    for (; *s >= L'0' && *s <= L'9'; ++s) {
        unsigned d = static_cast<unsigned>(*s - L'0');
        if (mag > (ULLONG_MAX - d) / 10)
            over = true;
        else
            mag = mag * 10 + d;
    }
    unsigned long long limit =
        neg ? static_cast<unsigned long long>(-(lo + 1)) + 1 : static_cast<unsigned long long>(hi);
    if (over || mag > limit) {
        errno = ERANGE;
        return neg ? lo : hi;
    }
    return neg ? static_cast<long long>(0 - mag) : static_cast<long long>(mag);
}

int VSnw(wchar_t* buffer, size_t count, const wchar_t* format, va_list ap) {
    if (!format || (!buffer && count)) {
        errno = EINVAL;
        return -1;
    }
    int n = FormatRawW(buffer, count, format, ap, FormatStyle::Crt);
    if (n < 0) {
        if (buffer && count) buffer[0] = 0;
        errno = EINVAL;
        return -1;
    }
    if (!buffer) return n;  // the size query
    size_t len = static_cast<size_t>(n);
    if (len < count) buffer[len] = 0;
    return len <= count ? n : -1;
}

// _snwprintf_s's work on a va_list.
int VSnwS(wchar_t* buffer, size_t size, size_t count, const wchar_t* format, va_list ap) {
    if (!buffer || size == 0) {
        errno = EINVAL;
        return -1;
    }
    buffer[0] = 0;
    if (!format || count == 0) {
        errno = EINVAL;
        return -1;
    }
    size_t cap = count == _TRUNCATE || count >= size ? size - 1 : count;
    int n = FormatRawW(buffer, cap, format, ap, FormatStyle::Crt);
    if (n < 0) {
        buffer[0] = 0;
        errno = EINVAL;
        return -1;
    }
    size_t len = static_cast<size_t>(n);
    if (count == _TRUNCATE) {
        buffer[len < cap ? len : cap] = 0;
        return len <= cap ? n : -1;
    }
    size_t stored = len < count ? len : count;
    if (stored >= size) {
        buffer[0] = 0;
        errno = ERANGE;
        return -1;
    }
    buffer[stored] = 0;
    return len <= count ? n : -1;
}

// swprintf_s's work on a va_list.
int VSwS(wchar_t* buffer, size_t size, const wchar_t* format, va_list ap) {
    if (!buffer || size == 0) {
        errno = EINVAL;
        return -1;
    }
    if (!format) {
        buffer[0] = 0;
        errno = EINVAL;
        return -1;
    }
    int n = FormatW(buffer, size, format, ap, FormatStyle::Crt);
    if (n < 0) {
        errno = EINVAL;
        return -1;
    }
    if (static_cast<size_t>(n) >= size) {
        buffer[0] = 0;
        errno = ERANGE;
        return -1;
    }
    return n;
}

// _scwprintf's work on a va_list.
int VScw(const wchar_t* format, va_list ap) {
    if (!format) {
        errno = EINVAL;
        return -1;
    }
    int n = FormatRawW(nullptr, 0, format, ap, FormatStyle::Crt);
    if (n < 0) errno = EINVAL;
    return n;
}

}  // namespace

extern "C" {

int _wcsicmp(const wchar_t* a, const wchar_t* b) { return ICompare(a, b, SIZE_MAX); }
int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t n) { return ICompare(a, b, n); }
int _stricmp(const char* a, const char* b) { return ICompare(a, b, SIZE_MAX); }
int _strnicmp(const char* a, const char* b, size_t n) { return ICompare(a, b, n); }

wchar_t* _wcsupr(wchar_t* s) {
    if (s)
        for (wchar_t* p = s; *p; ++p) *p = Up(*p);
    return s;
}

wchar_t* _wcslwr(wchar_t* s) {
    if (s)
        for (wchar_t* p = s; *p; ++p) *p = Low(*p);
    return s;
}

errno_t _wcsupr_s(wchar_t* s, size_t n) { return CaseS(s, n, true); }

wchar_t* _wcsdup(const wchar_t* s) {
    if (!s) return nullptr;
    size_t n = wcslen(s) + 1;
    auto* p = static_cast<wchar_t*>(malloc(n * sizeof(wchar_t)));
    if (p)
        memcpy(p, s, n * sizeof(wchar_t));
    else
        errno = ENOMEM;
    return p;
}

wchar_t* _wcsrev(wchar_t* s) {
    if (!s) return s;
    size_t n = wcslen(s);
    for (size_t i = 0; i < n / 2; ++i) {
        wchar_t t = s[i];
        s[i] = s[n - 1 - i];
        s[n - 1 - i] = t;
    }
    return s;
}

int _wtoi(const wchar_t* s) { return static_cast<int>(ParseDecimal(s, INT32_MIN, INT32_MAX)); }
long _wtol(const wchar_t* s) { return static_cast<long>(ParseDecimal(s, INT32_MIN, INT32_MAX)); }
long long _wtoi64(const wchar_t* s) { return ParseDecimal(s, INT64_MIN, INT64_MAX); }

double _wtof(const wchar_t* s) {
    if (!s) {
        errno = EINVAL;
        return 0;
    }
    return wcstod(s, nullptr);
}

long _winsim_wcstol(const wchar_t* s, wchar_t** end, int base) {
    long long v = wcstoll(s, end, base);
    if (v > INT32_MAX) {
        errno = ERANGE;
        return INT32_MAX;
    }
    if (v < INT32_MIN) {
        errno = ERANGE;
        return INT32_MIN;
    }
    return static_cast<long>(v);
}

unsigned long _winsim_wcstoul(const wchar_t* s, wchar_t** end, int base) {
    const wchar_t* p = s;
    while (IsSpace(*p)) ++p;
    bool neg = false;
    if (*p == L'-' || *p == L'+') neg = *p++ == L'-';
    if (IsSpace(*p) || *p == L'-' || *p == L'+') {
        if (end) *end = const_cast<wchar_t*>(s);
        return 0;
    }
    wchar_t* e = nullptr;
    unsigned long long mag = wcstoull(p, &e, base);
    if (end) *end = e == p ? const_cast<wchar_t*>(s) : e;
    if (mag > UINT32_MAX) {
        errno = ERANGE;
        return UINT32_MAX;
    }
    uint32_t v = static_cast<uint32_t>(mag);
    return neg ? static_cast<uint32_t>(0u - v) : v;
}

wchar_t* _itow(int v, wchar_t* b, int r) {
    SignedToText(v, 32, b, kUnbounded, r);
    return b;
}
wchar_t* _ltow(long v, wchar_t* b, int r) {
    SignedToText(static_cast<int32_t>(v), 32, b, kUnbounded, r);
    return b;
}
wchar_t* _ultow(unsigned long v, wchar_t* b, int r) {
    SignedToText(static_cast<uint32_t>(v), 32, b, kUnbounded, r);
    return b;
}
wchar_t* _i64tow(long long v, wchar_t* b, int r) {
    SignedToText(v, 64, b, kUnbounded, r);
    return b;
}
wchar_t* _ui64tow(unsigned long long v, wchar_t* b, int r) {
    errno_t e;
    ToText(false, v, r, b, kUnbounded, &e);
    return b;
}
errno_t _itow_s(int v, wchar_t* b, size_t n, int r) { return SignedToText(v, 32, b, n, r); }
errno_t _ultow_s(unsigned long v, wchar_t* b, size_t n, int r) {
    return SignedToText(static_cast<uint32_t>(v), 32, b, n, r);
}

errno_t wcscpy_s(wchar_t* d, rsize_t n, const wchar_t* s) {
    if (!d || n == 0) return Err(EINVAL);
    if (!s) {
        d[0] = 0;
        return Err(EINVAL);
    }
    return CopyN(d, n, s, SIZE_MAX - 1);
}
errno_t wcsncpy_s(wchar_t* d, rsize_t n, const wchar_t* s, rsize_t c) { return CopyN(d, n, s, c); }
errno_t wcscat_s(wchar_t* d, rsize_t n, const wchar_t* s) {
    if (!d || n == 0) return Err(EINVAL);
    if (!s) {
        d[0] = 0;
        return Err(EINVAL);
    }
    return CatN(d, n, s, SIZE_MAX - 1);
}
errno_t wcsncat_s(wchar_t* d, rsize_t n, const wchar_t* s, rsize_t c) { return CatN(d, n, s, c); }

errno_t strcpy_s(char* d, rsize_t n, const char* s) {
    if (!d || n == 0) return Err(EINVAL);
    if (!s) {
        d[0] = 0;
        return Err(EINVAL);
    }
    return CopyN(d, n, s, SIZE_MAX - 1);
}
errno_t strcat_s(char* d, rsize_t n, const char* s) {
    if (!d || n == 0) return Err(EINVAL);
    if (!s) {
        d[0] = 0;
        return Err(EINVAL);
    }
    return CatN(d, n, s, SIZE_MAX - 1);
}

wchar_t* wcstok_s(wchar_t* str, const wchar_t* delim, wchar_t** context) {
    if (!context || !delim || (!str && !*context)) {
        errno = EINVAL;
        return nullptr;
    }
    wchar_t* p = str ? str : *context;
    p += wcsspn(p, delim);
    if (!*p) {
        *context = p;
        return nullptr;
    }
    wchar_t* tok = p;
    p += wcscspn(p, delim);
    if (*p) *p++ = 0;
    *context = p;
    return tok;
}

int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list ap) {
    return VSnw(buffer, count, format, ap);
}

int _snwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = VSnw(buffer, count, format, ap);
    va_end(ap);
    return n;
}

int _snwprintf_s(wchar_t* buffer, size_t size, size_t count, const wchar_t* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = VSnwS(buffer, size, count, format, ap);
    va_end(ap);
    return n;
}

int swprintf_s(wchar_t* buffer, size_t size, const wchar_t* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = VSwS(buffer, size, format, ap);
    va_end(ap);
    return n;
}

int _scwprintf(const wchar_t* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = VScw(format, ap);
    va_end(ap);
    return n;
}

}  // extern "C"
