// winsim: the language identifiers of the system and the user, and the user's geo ID (see
// winnls.h).
#include <windows.h>

#include <cstdint>
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

// The decimal REG_SZ value of the user's Geo key; false when missing or not a number.
bool GeoValue(LPCWSTR name, GEOID* out) {
    WCHAR buf[32] = {0};
    DWORD size = sizeof buf - sizeof(WCHAR);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\International\\Geo", name, RRF_RT_REG_SZ, NULL, buf, &size) !=
        ERROR_SUCCESS)
        return false;
    WCHAR* end = NULL;
    long long v = std::wcstoll(buf, &end, 10);
    if (end == buf || v < INT32_MIN || v > INT32_MAX) return false;
    *out = static_cast<GEOID>(v);
    return true;
}

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
    return HexValue(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"MultiUILanguageId", GetSystemDefaultUILanguage());
}

GEOID WINAPI GetUserGeoID(GEOCLASS cls) {
    GEOID v = GEOID_NOT_AVAILABLE;
    if (cls == GEOCLASS_NATION) {
        if (!GeoValue(L"Nation", &v)) v = GEOID_NOT_AVAILABLE;
    } else if (cls == GEOCLASS_REGION) {
        if (!GeoValue(L"Region", &v)) v = GEOID_NOT_AVAILABLE;
    }
    return v;
}

}  // extern "C"
