// winsim: national-language support (code pages are declared with the string functions).
#pragma once
#include "winbase.h"

// Languages. The machine keeps them in the registry as Windows does: the system's locale
// and UI language under HKLM\SYSTEM\CurrentControlSet\Control\Nls\Language ("Default" and
// "InstallLanguage", four hexadecimal digits), the user's locale in HKCU\Control
// Panel\International "Locale" (eight hexadecimal digits) and the user's UI language in
// HKCU\Control Panel\Desktop "MultiUILanguageId" (hexadecimal; missing: the system's UI
// language). A missing or unreadable value reads as 0x0409 (English, United States).
WINSIM_BEGIN_C
LANGID WINAPI GetUserDefaultUILanguage(void);
LANGID WINAPI GetSystemDefaultUILanguage(void);
LANGID WINAPI GetUserDefaultLangID(void);
LANGID WINAPI GetSystemDefaultLangID(void);
WINSIM_END_C

// The user's geographical location: HKCU\Control Panel\International\Geo "Nation", a
// decimal REG_SZ (a 32-bit GEOID). GEOCLASS_NATION gives it, GEOCLASS_REGION the value
// "Region" in the same way; a missing or unreadable value and any other class give
// GEOID_NOT_AVAILABLE.
#define GEOCLASS_NATION 16
#define GEOCLASS_REGION 14
#define GEOCLASS_ALL 0
#define GEOID_NOT_AVAILABLE (-1)
WINSIM_BEGIN_C
GEOID WINAPI GetUserGeoID(GEOCLASS GeoClass);
WINSIM_END_C
