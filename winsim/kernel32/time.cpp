// winsim: kernel32 time functions over the machine's clock: tick counts, system and local
// time, file time conversions and the performance counter.
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

bool SystemTimeToMs(const SYSTEMTIME* st, int64_t* out) {
    if (st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 || st->wDay > 31 || st->wHour > 23 || st->wMinute > 59 ||
        st->wSecond > 59 || st->wMilliseconds > 999 || st->wYear < 1601 || st->wYear > 30827)
        return false;
    int y = st->wYear;
    unsigned m = st->wMonth, d = st->wDay;
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days1970 = era * 146097 + static_cast<int64_t>(doe) - 719468;
    *out = (days1970 + 134774) * kMsPerDay + st->wHour * 3600000LL + st->wMinute * 60000LL + st->wSecond * 1000LL +
           st->wMilliseconds;
    return true;
}

int64_t LocalMs() { return Mach().boot_local_ms() + static_cast<int64_t>(Mach().NowMs()); }

void MsToFileTime(int64_t ms, FILETIME* ft) {
    uint64_t v = static_cast<uint64_t>(ms) * 10000ULL;
    ft->dwLowDateTime = static_cast<DWORD>(v);
    ft->dwHighDateTime = static_cast<DWORD>(v >> 32);
}

int64_t FileTimeToMs(const FILETIME* ft) {
    return static_cast<int64_t>((static_cast<uint64_t>(ft->dwHighDateTime) << 32 | ft->dwLowDateTime) / 10000ULL);
}

}  // namespace

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(Mach().tick_start_ms() + Mach().NowMs()); }
ULONGLONG WINAPI GetTickCount64(void) { return Mach().tick_start_ms() + Mach().NowMs(); }

void WINAPI GetLocalTime(LPSYSTEMTIME st) { MsToSystemTime(LocalMs(), st); }
void WINAPI GetSystemTime(LPSYSTEMTIME st) { MsToSystemTime(LocalMs() + Mach().tz_bias_minutes * 60000LL, st); }
void WINAPI GetSystemTimeAsFileTime(LPFILETIME ft) { MsToFileTime(LocalMs() + Mach().tz_bias_minutes * 60000LL, ft); }

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft) {
    int64_t ms;
    if (!st || !ft || !SystemTimeToMs(st, &ms)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    MsToFileTime(ms, ft);
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st) {
    if (!ft || !st || (ft->dwHighDateTime & 0x80000000u)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    MsToSystemTime(FileTimeToMs(ft), st);
    return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* ft, LPFILETIME out) {
    if (!ft || !out) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    MsToFileTime(FileTimeToMs(ft) - Mach().tz_bias_minutes * 60000LL, out);
    return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* ft, LPFILETIME out) {
    if (!ft || !out) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    MsToFileTime(FileTimeToMs(ft) + Mach().tz_bias_minutes * 60000LL, out);
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* c) {
    c->QuadPart = static_cast<LONGLONG>(Mach().NowMs()) * 10000;
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* f) {
    f->QuadPart = 10000000;
    return TRUE;
}
