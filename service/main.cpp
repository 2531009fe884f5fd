// RVQXSVC: the service program's entry.
#include <windows.h>

#include "SvcMain.h"

int wmain(int argc, wchar_t** argv) { return RvqxSvcMain(argc, argv); }
