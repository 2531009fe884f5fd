// winsim: the runtime's wide printf to streams, with the Microsoft runtime's rules, written
// through the stream's own text and encoding mode.
#define WINSIM_CRT_FILE_IMPLEMENTATION
#include "winsim/crt.h"
#include "winsim/format.h"

#include <cstdarg>

int winsim_vfwprintf(FILE* stream, const wchar_t* format, va_list args) {
    if (!stream || !format) return -1;
    std::wstring text = winsim::FormatStringW(winsim::FormatStyle::Crt, format, args);
    if (winsim_fputws(text.c_str(), stream) < 0) return -1;
    return static_cast<int>(text.size());
}

int winsim_fwprintf(FILE* stream, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int n = winsim_vfwprintf(stream, format, args);
    va_end(args);
    return n;
}
