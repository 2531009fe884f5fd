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
