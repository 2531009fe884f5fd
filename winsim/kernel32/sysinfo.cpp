// winsim: kernel32's GetVersionExW: the machine's version (winsim/osinfo.h) as the calling
// program's manifest lets it see it.
#include <windows.h>

#include "winsim/osinfo.h"
#include "winsim/resources.h"

#include <algorithm>
#include <cwchar>
#include <string>

using namespace winsim;

namespace {

DWORD MaxSupportedOfProcess(const Process& p) {
    auto t = resources::Of(p);
    return t ? os::MaxSupportedOs(t->manifest) : 0;
}

void CopyText(WCHAR* out, size_t cch, const std::wstring& s) {
    size_t n = std::min(s.size(), cch - 1);
    std::wmemcpy(out, s.data(), n);
    out[n] = 0;
}

}  // namespace

extern "C" {

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info) {
    if (!info) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW))
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    Machine& m = CurrentMachine();
    if (DWORD e = os::VersionFailure(m)) return Fail(e, FALSE);
    os::Version v = os::ReportedVersion(os::GetVersion(m), MaxSupportedOfProcess(CurrentProcess()));
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    info->dwPlatformId = v.platform;
    CopyText(info->szCSDVersion, 128, v.csd);
    if (size == sizeof(OSVERSIONINFOEXW)) {
        auto* ex = reinterpret_cast<LPOSVERSIONINFOEXW>(info);
        ex->wServicePackMajor = v.sp_major;
        ex->wServicePackMinor = v.sp_minor;
        ex->wSuiteMask = VER_SUITE_SINGLEUSERTS;
        ex->wProductType = VER_NT_WORKSTATION;
        ex->wReserved = 0;
    }
    return TRUE;
}

}  // extern "C"
