// winsim: national-language support (code pages are declared with the string functions).
#pragma once
#include "winbase.h"
