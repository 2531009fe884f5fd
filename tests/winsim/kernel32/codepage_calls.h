// Whole-string conversions through MultiByteToWideChar and WideCharToMultiByte, measured
// first; the code-page tests share them.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring ToWide(UINT cp, const std::string& s, DWORD flags = 0) {
    int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

inline std::string ToBytes(UINT cp, const std::wstring& w, BOOL* used = nullptr, LPCSTR def = nullptr,
                           DWORD flags = 0) {
    int n = WideCharToMultiByte(cp, flags, w.data(), static_cast<int>(w.size()), nullptr, 0, def, used);
    std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(cp, flags, w.data(), static_cast<int>(w.size()), &s[0], n, def, used);
    return s;
}
