// winsim: the Windows C runtime's wide-character extras, which the system's code finds in
// the CRT headers on Windows. Included ahead of every system source on Linux.
#pragma once
#ifdef __cplusplus
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#else
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#endif
#include "crt_string.h"
#include "crt_file.h"
