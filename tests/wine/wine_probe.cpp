// A small Windows program that drives the system's programs from outside for the Wine step
// (scripts/wine-run.sh): the service through the Service Control Manager, the GUI through
// its hidden frame. Prints what it did; exits 0 on success, else 1.
//   wine_probe start SERVICE            start it and wait until it runs
//   wine_probe control SERVICE CODE     send a user-defined control code
//   wine_probe stop SERVICE             stop it and wait until it has stopped
//   wine_probe state SERVICE            print its state
//   wine_probe close TITLE              wait for the top-level window, send it WM_CLOSE and
//                                       wait until its process has ended
//   wine_probe dialogs TITLE COUNT      wait for COUNT visible dialogs titled TITLE, stack them
//                                       apart from the top left, smallest first, and print
//                                       each one's screen rectangle: "x y width height"
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

namespace {

const DWORD kTimeoutMs = 30000;

int Fail(const wchar_t* what) {
    wprintf(L"%ls failed: error %lu\n", what, GetLastError());
    return 1;
}

SC_HANDLE OpenService(const wchar_t* name, DWORD access) {
    SC_HANDLE scm = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    if (!scm) return NULL;
    SC_HANDLE svc = OpenServiceW(scm, name, access);
    CloseServiceHandle(scm);
    return svc;
}

bool WaitForState(SC_HANDLE svc, DWORD state) {
    SERVICE_STATUS st;
    for (DWORD waited = 0; waited < kTimeoutMs; waited += 100) {
        if (!QueryServiceStatus(svc, &st)) return false;
        if (st.dwCurrentState == state) return true;
        Sleep(100);
    }
    return false;
}

int Service(const wchar_t* verb, const wchar_t* name, const wchar_t* arg) {
    SC_HANDLE svc =
        OpenService(name, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL);
    if (!svc) return Fail(L"OpenService");
    int rc = 0;
    SERVICE_STATUS st = {};
    if (!wcscmp(verb, L"start")) {
        if (!StartServiceW(svc, 0, NULL))
            rc = Fail(L"StartService");
        else if (!WaitForState(svc, SERVICE_RUNNING))
            rc = Fail(L"waiting for SERVICE_RUNNING");
    } else if (!wcscmp(verb, L"stop")) {
        if (!ControlService(svc, SERVICE_CONTROL_STOP, &st))
            rc = Fail(L"ControlService(STOP)");
        else if (!WaitForState(svc, SERVICE_STOPPED))
            rc = Fail(L"waiting for SERVICE_STOPPED");
    } else if (!wcscmp(verb, L"control") && arg) {
        if (!ControlService(svc, (DWORD)wcstoul(arg, NULL, 0), &st)) rc = Fail(L"ControlService");
    } else if (!wcscmp(verb, L"state")) {
        if (!QueryServiceStatus(svc, &st)) rc = Fail(L"QueryServiceStatus");
    } else {
        rc = 2;
    }
    if (rc == 0 && QueryServiceStatus(svc, &st)) wprintf(L"%ls %ls: state %lu\n", verb, name, st.dwCurrentState);
    CloseServiceHandle(svc);
    return rc;
}

int Close(const wchar_t* title) {
    HWND hwnd = NULL;
    for (DWORD waited = 0; !hwnd && waited < kTimeoutMs; waited += 100) {
        hwnd = FindWindowW(NULL, title);
        if (!hwnd) Sleep(100);
    }
    if (!hwnd) return Fail(L"FindWindow");
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!process) return Fail(L"OpenProcess");
    wprintf(L"window \"%ls\" of process %lu: visible %d\n", title, pid, IsWindowVisible(hwnd) ? 1 : 0);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    DWORD wait = WaitForSingleObject(process, kTimeoutMs);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (wait != WAIT_OBJECT_0) return Fail(L"waiting for the process to end");
    wprintf(L"process %lu ended with %lu\n", pid, code);
    return 0;
}

struct Found {
    HWND list[8];
    int count;
    const wchar_t* title;
};

BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM lParam) {
    Found* f = reinterpret_cast<Found*>(lParam);
    wchar_t cls[16], text[64];
    if (f->count < 8 && IsWindowVisible(hwnd) && GetClassNameW(hwnd, cls, 16) && !wcscmp(cls, L"#32770") &&
        GetWindowTextW(hwnd, text, 64) >= 0 && !wcscmp(text, f->title))
        f->list[f->count++] = hwnd;
    return TRUE;
}

LONG Area(HWND hwnd) {
    RECT r;
    GetWindowRect(hwnd, &r);
    return (r.right - r.left) * (r.bottom - r.top);
}

int Dialogs(const wchar_t* title, int count) {
    Found f = {{}, 0, title};
    for (DWORD waited = 0; waited < kTimeoutMs; waited += 100) {
        f.count = 0;
        EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&f));
        if (f.count >= count) break;
        Sleep(100);
    }
    if (f.count < count) return Fail(L"waiting for the dialogs");
    for (int i = 1; i < f.count; ++i)
        for (int j = i; j > 0 && Area(f.list[j]) < Area(f.list[j - 1]); --j) {
            HWND t = f.list[j];
            f.list[j] = f.list[j - 1];
            f.list[j - 1] = t;
        }
    int y = 8;
    for (int i = 0; i < f.count; ++i) {
        RECT r;
        GetWindowRect(f.list[i], &r);
        SetWindowPos(f.list[i], NULL, 8, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RedrawWindow(f.list[i], NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        wprintf(L"%d %d %ld %ld\n", 8, y, r.right - r.left, r.bottom - r.top);
        y += r.bottom - r.top + 16;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int rc = 2;
    if (argc >= 3 && !wcscmp(argv[1], L"close"))
        rc = Close(argv[2]);
    else if (argc >= 4 && !wcscmp(argv[1], L"dialogs"))
        rc = Dialogs(argv[2], _wtoi(argv[3]));
    else if (argc >= 3)
        rc = Service(argv[1], argv[2], argc >= 4 ? argv[3] : NULL);
    if (rc == 2)
        fwprintf(stderr,
                 L"usage: wine_probe start|stop|state|control SERVICE [CODE] | close TITLE | dialogs TITLE COUNT\n");
    fflush(stdout);
    return rc;
}
