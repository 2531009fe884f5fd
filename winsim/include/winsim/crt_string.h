// winsim: CRT wide-string extras (_wcsicmp, _wcsnicmp, _wtoi ...).
#pragma once
#include <wchar.h>
