// The manager tests' service program.
#include "advapi32/services_test_service.h"

namespace scmtest {
namespace {

SERVICE_STATUS_HANDLE g_handle;
SERVICE_STATUS g_status;

void Report(DWORD state, DWORD hint = 0) {
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? Svc().accepted : 0;
    g_status.dwWaitHint = hint;
    SetServiceStatus(g_handle, &g_status);
}

DWORD WINAPI Handler(DWORD control, DWORD event_type, LPVOID, LPVOID) {
    Svc().seen.push_back({control, event_type});
    switch (control) {
    case SERVICE_CONTROL_STOP:
        if (Svc().stop_delay_ms) {
            Report(SERVICE_STOP_PENDING, Svc().stop_delay_ms);
            Sleep(Svc().stop_delay_ms);
        }
        Report(SERVICE_STOPPED);
        return NO_ERROR;
    case SERVICE_CONTROL_POWEREVENT:
        if (event_type == PBT_APMQUERYSUSPEND && Svc().deny_suspend) return Svc().deny_code;
        return NO_ERROR;
    case 130: return ERROR_INVALID_SERVICE_CONTROL;
    default: return NO_ERROR;
    }
}

void WINAPI Main(DWORD argc, LPWSTR* argv) {
    for (DWORD i = 0; i < argc; ++i) Svc().main_args.push_back(argv[i]);
    g_handle = RegisterServiceCtrlHandlerExW(L"TestSvc", Handler, nullptr);
    Report(SERVICE_START_PENDING, 1000);
    if (Svc().start_delay_ms) Sleep(Svc().start_delay_ms);
    Report(SERVICE_RUNNING);
}

void WINAPI OtherMain(DWORD, LPWSTR*) { Svc().main_args.push_back(L"other main"); }

int TestSvcMain(int argc, wchar_t** argv) {
    for (int i = 0; i < argc; ++i) Svc().argv.push_back(argv[i]);
    if (!Svc().connect) return 3;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L"TestSvc"), Main}, {nullptr, nullptr}};
    // An own-process service's entry name does not count; the second entry is never run.
    SERVICE_TABLE_ENTRYW other[] = {
        {const_cast<LPWSTR>(L""), Main}, {const_cast<LPWSTR>(L"TestSvc"), OtherMain}, {nullptr, nullptr}};
    SERVICE_TABLE_ENTRYW bad[] = {{const_cast<LPWSTR>(L"TestSvc"), nullptr}, {nullptr, nullptr}};
    SERVICE_TABLE_ENTRYW* used = Svc().table == 1 ? other : Svc().table == 2 ? bad : table;
    Svc().dispatcher_result = StartServiceCtrlDispatcherW(used);
    Svc().dispatcher_error = GetLastError();
    return 0;
}

}  // namespace

Behaviour& Svc() {
    static Behaviour b;
    return b;
}

void Install(winsim::Machine& m, const std::wstring& path) {
    Svc() = Behaviour{};
    g_handle = nullptr;
    g_status = SERVICE_STATUS{};
    winsim::ProgramInfo info;
    info.file_name = L"testsvc.exe";
    info.wmain = TestSvcMain;
    winsim::RegisterProgram(info);
    winsim::InstallProgramImage(m, path, L"testsvc.exe");
}

}  // namespace scmtest
