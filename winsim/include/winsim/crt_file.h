// winsim: CRT wide file functions (_wfopen and Windows text-mode streams).
#pragma once
#include <stdio.h>
#include <wchar.h>
