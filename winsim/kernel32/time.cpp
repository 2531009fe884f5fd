// winsim: kernel32 time functions over the machine's clock: tick counts, the local time and
// the system time as a file time.
#include "kernel32_internal.h"

using namespace winsim;
using namespace winsim::kernel32;

namespace {

constexpr int64_t kMsPerDay = 86400000LL;

void MsToSystemTime(int64_t ms1601, SYSTEMTIME* st) {
    int64_t days = ms1601 / kMsPerDay;
    int64_t rem = ms1601 % kMsPerDay;
    // 1601-01-01 was a Monday.
    st->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
    // Civil date from days since 1970-01-01.
    int64_t z = days - 134774 + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = static_cast<int64_t>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    unsigned d = doy - (153 * mp + 2) / 5 + 1;
    unsigned m = mp < 10 ? mp + 3 : mp - 9;
    st->wYear = static_cast<WORD>(y + (m <= 2));
    st->wMonth = static_cast<WORD>(m);
    st->wDay = static_cast<WORD>(d);
    st->wHour = static_cast<WORD>(rem / 3600000);
    st->wMinute = static_cast<WORD>(rem / 60000 % 60);
    st->wSecond = static_cast<WORD>(rem / 1000 % 60);
    st->wMilliseconds = static_cast<WORD>(rem % 1000);
}

int64_t LocalMs() { return Mach().boot_local_ms() + static_cast<int64_t>(Mach().NowMs()); }

void MsToFileTime(int64_t ms, FILETIME* ft) {
    uint64_t v = static_cast<uint64_t>(ms) * 10000ULL;
    ft->dwLowDateTime = static_cast<DWORD>(v);
    ft->dwHighDateTime = static_cast<DWORD>(v >> 32);
}

}  // namespace

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(Mach().tick_start_ms() + Mach().NowMs()); }
ULONGLONG WINAPI GetTickCount64(void) { return Mach().tick_start_ms() + Mach().NowMs(); }

void WINAPI GetLocalTime(LPSYSTEMTIME st) { MsToSystemTime(LocalMs(), st); }
void WINAPI GetSystemTimeAsFileTime(LPFILETIME ft) { MsToFileTime(LocalMs() + Mach().tz_bias_minutes * 60000LL, ft); }
