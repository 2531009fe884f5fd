// winsim: the language identifiers of the system and the user (see winnls.h).
#include <windows.h>

#include <cwchar>

namespace {

const LANGID kFallback = 0x0409;

// A hexadecimal REG_SZ value read as a number; fallback when missing or not a number.
LANGID HexValue(HKEY root, LPCWSTR sub, LPCWSTR name, LANGID fallback) {
    WCHAR buf[32] = {0};
    DWORD size = sizeof buf - sizeof(WCHAR);
    DWORD type = 0;
    if (RegGetValueW(root, sub, name, RRF_RT_REG_SZ, &type, buf, &size) != ERROR_SUCCESS) return fallback;
    WCHAR* end = NULL;
    unsigned long v = wcstoul(buf, &end, 16);
    if (end == buf) return fallback;
    return static_cast<LANGID>(v & 0xFFFF);
}

const wchar_t* const kNls = L"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";

}  // namespace

extern "C" {

LANGID WINAPI GetSystemDefaultUILanguage(void) {
    return HexValue(HKEY_LOCAL_MACHINE, kNls, L"InstallLanguage", kFallback);
}

LANGID WINAPI GetSystemDefaultLangID(void) { return HexValue(HKEY_LOCAL_MACHINE, kNls, L"Default", kFallback); }

LANGID WINAPI GetUserDefaultLangID(void) {
    return HexValue(HKEY_CURRENT_USER, L"Control Panel\\International", L"Locale", GetSystemDefaultLangID());
}

LANGID WINAPI GetUserDefaultUILanguage(void) {
    return HexValue(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"MultiUILanguageId",
                    GetSystemDefaultUILanguage());
}

}  // extern "C"
