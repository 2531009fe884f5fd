// The x86 Setup starts on Windows XP, whose kernel32 has no GetTickCount64; the thread
// runtime linked into the program imports it all the same. This definition of the import's
// pointer stands in for the import library's: it binds GetTickCount64 at the first call and,
// where it is absent, counts from GetTickCount, carrying each wrap after 49.7 days.
#include <windows.h>

namespace {

typedef ULONGLONG(WINAPI* PFN_GetTickCount64)(void);

volatile LONG g_lBusy = 0;
DWORD g_dwLast = 0;
ULONGLONG g_ullHigh = 0;

ULONGLONG WINAPI TickCount64(void) {
    static PFN_GetTickCount64 pfnSystem = reinterpret_cast<PFN_GetTickCount64>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
    if (pfnSystem) return pfnSystem();
    while (InterlockedExchange(&g_lBusy, 1) != 0) Sleep(0);
    DWORD dwNow = GetTickCount();
    if (dwNow < g_dwLast) g_ullHigh += 0x100000000ull;
    g_dwLast = dwNow;
    ULONGLONG ullNow = g_ullHigh + dwNow;
    InterlockedExchange(&g_lBusy, 0);
    return ullNow;
}

}  // namespace

extern "C" {
PFN_GetTickCount64 g_pfnImpGetTickCount64 __asm__("__imp__GetTickCount64@0") = TickCount64;
}
