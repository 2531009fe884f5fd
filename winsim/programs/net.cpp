// winsim: a stand-in for the system's net.exe (System32), for its service commands only:
// "net start NAME" and "net stop NAME" through the Service Control Manager. It waits for the
// service to reach the running or stopped state, looking every half second for at most 30
// seconds of the machine's clock, and ends with 0 when it did, 2 when the service is
// missing, refused the request, left its pending state another way or took too long, and
// 1 for any other command line.
#include <windows.h>

#include "programs_internal.h"

namespace {

constexpr DWORD kPollMs = 500;
constexpr DWORD kWaitMs = 30000;

bool Is(const wchar_t* a, const wchar_t* b) { return lstrcmpiW(a, b) == 0; }

// Waits until the service is in the wanted state; false when it settles in another one or
// the time is up.
bool WaitFor(SC_HANDLE svc, DWORD wanted) {
    for (DWORD waited = 0;; waited += kPollMs) {
        SERVICE_STATUS st{};
        if (!QueryServiceStatus(svc, &st)) return false;
        if (st.dwCurrentState == wanted) return true;
        bool pending = st.dwCurrentState == SERVICE_START_PENDING || st.dwCurrentState == SERVICE_STOP_PENDING;
        if (!pending || waited >= kWaitMs) return false;
        Sleep(kPollMs);
    }
}

int NetMain(int argc, wchar_t** argv) {
    if (argc != 3 || !argv[2][0]) return 1;
    bool start = Is(argv[1], L"start");
    if (!start && !Is(argv[1], L"stop")) return 1;
    SC_HANDLE mgr = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!mgr) return 2;
    int code = 2;
    SC_HANDLE svc = OpenServiceW(mgr, argv[2], SERVICE_QUERY_STATUS | (start ? SERVICE_START : SERVICE_STOP));
    if (svc) {
        SERVICE_STATUS st{};
        BOOL ok = start ? StartServiceW(svc, 0, nullptr) : ControlService(svc, SERVICE_CONTROL_STOP, &st);
        if (ok && WaitFor(svc, start ? SERVICE_RUNNING : SERVICE_STOPPED)) code = 0;
        CloseServiceHandle(svc);
    }
    CloseServiceHandle(mgr);
    return code;
}

}  // namespace

namespace winsim::programs {

ProgramInfo NetProgram() {
    ProgramInfo net;
    net.file_name = L"net.exe";
    net.default_folder = L"C:\\Windows\\System32";
    net.wmain = NetMain;
    return net;
}

}  // namespace winsim::programs
