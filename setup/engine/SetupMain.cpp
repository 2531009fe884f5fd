// The setup program's entry and exit: the global objects, the command-line switches, the
// decrypted script, the single-instance mutex, kernel32's WOW64 entries and the run of
// [INIT]; the one exit routine; the restart from the temporary folder; the hidden main
// window and its About box.
#include <windows.h>

#include <string.h>
#include <shlwapi.h>

#include <new>

#include "CryptCtrl.h"
#include "DbgMac.h"
#include "ModemCtrl.h"
#include "NetDevCtrl.h"
#include "SetupCtrl.h"
#include "SetupEnv.h"
#include "SetupExec.h"
#include "SetupGlobals.h"
#include "SetupPlatform.h"
#include "resource.h"

#define SETUP_TITLE_CCH 100
#define SETUP_EXIT_WINDOW 1
#define SETUP_EXIT_KERNEL32 2
#define SETUP_EXIT_NO_SCRIPT 46
#define SETUP_EXIT_RESTART_FAILED 91

int g_bWowFlag = 0;
HMODULE g_hKernel32 = NULL;
PFN_IsWow64Process g_pfnIsWow64Process = NULL;
PFN_Wow64DisableWow64FsRedirection g_pfnWow64DisableWow64FsRedirection = NULL;
PFN_Wow64RevertWow64FsRedirection g_pfnWow64RevertWow64FsRedirection = NULL;
PFN_Wow64EnableWow64FsRedirection g_pfnWow64EnableWow64FsRedirection = NULL;
SetupDlgDesc g_SetupDlgDesc;

namespace {

HINSTANCE g_hInst = NULL;
WCHAR g_szTitle[SETUP_TITLE_CCH];
WCHAR g_szWindowClass[SETUP_TITLE_CCH];

// A GetProcAddress result as the entry's own type.
template <class T>
T BindEntry(HMODULE hModule, LPCSTR pszName) {
    return reinterpret_cast<T>(reinterpret_cast<void (*)(void)>(GetProcAddress(hModule, pszName)));
}

int ArgumentsHold(LPCWSTR a, LPCWSTR b, LPCWSTR c) {
    LPCWSTR pszArgs = g_pSetupEnv ? g_pSetupEnv->GetArguments() : L"";
    return wcsstr(pszArgs, a) || wcsstr(pszArgs, b) || wcsstr(pszArgs, c);
}

INT_PTR CALLBACK AboutProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            SetupEndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

LRESULT CALLBACK MainWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_ABOUT: SetupDialogBox(g_hInst, IDD_ABOUTBOX, hWnd, AboutProc); return 0;
        case IDM_EXIT: DestroyWindow(hWnd); return 0;
        default: break;
        }
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: break;
    }
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

void RegisterMainClass(HINSTANCE hInstance) {
    WNDCLASSEXW wc;
    memset(&wc, 0, sizeof(wc));
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconW(hInstance, MAKEINTRESOURCEW(IDI_SETUP));
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDC_SETUP);
    wc.lpszClassName = g_szWindowClass;
    wc.hIconSm = LoadIconW(hInstance, MAKEINTRESOURCEW(IDI_SMALL));
    RegisterClassExW(&wc);
}

// The five global objects, in their order; a failed allocation leaves its pointer null.
void CreateGlobalObjects() {
    g_pSetupEnv = new (std::nothrow) CSetupEnv();
    if (g_pSetupEnv) {
        g_pSetupContext = g_pSetupEnv;
        g_pDebugLogHost = g_pSetupEnv;
    }
    g_pDebugCtrl = new (std::nothrow) CDebugCtrl();
    g_pNetDevCtrl = new (std::nothrow) CNetDevCtrl();
    g_pModemCtrl = new (std::nothrow) CModemCtrl();
    g_pSetupCtrl = new (std::nothrow) CSetupCtrl();
}

}  // namespace

void SetupExit(UINT uCode) {
    if (g_hKernel32) {
        FreeLibrary(g_hKernel32);
        g_hKernel32 = NULL;
    }
    g_pfnIsWow64Process = NULL;
    g_pfnWow64DisableWow64FsRedirection = NULL;
    g_pfnWow64RevertWow64FsRedirection = NULL;
    g_pfnWow64EnableWow64FsRedirection = NULL;
    if (g_pSetupEnv) {
        LPCWSTR pszTemp = g_pSetupEnv->GetTempIniPath();
        if (pszTemp[0] && PathFileExistsW(pszTemp)) DeleteFileW(pszTemp);
    }
    delete g_pSetupCtrl;
    g_pSetupCtrl = NULL;
    delete g_pModemCtrl;
    g_pModemCtrl = NULL;
    delete g_pNetDevCtrl;
    g_pNetDevCtrl = NULL;
    delete g_pDebugCtrl;
    g_pDebugCtrl = NULL;
    g_pDebugLogHost = NULL;
    g_pSetupContext = NULL;
    delete g_pSetupEnv;
    g_pSetupEnv = NULL;
    g_bWowFlag = 0;
    ExitProcess(uCode);
}

unsigned CSetupCtrl::RunMyselfFromTempFolder() {
    WCHAR szFolder[MAX_PATH];
    WCHAR szName[MAX_PATH];
    WCHAR szCopy[MAX_PATH];
    WCHAR szScriptCopy[MAX_PATH];
    szFolder[0] = szName[0] = 0;
    DWORD n = GetTempPathW(MAX_PATH, szFolder);
    if (n == 0 || n >= MAX_PATH) {
        DBGPRINT(L"CSetupCtrl::RunMyselfFromTempFolder() GetTempPath() ERROR : %s", szFolder);
        return SETUP_EXIT_RESTART_FAILED;
    }
    if (!GetTempFileNameW(szFolder, L"zup", 6248, szName)) {
        DBGPRINT(L"CSetupCtrl::RunMyselfFromTempFolder() GetTempFileName() ERROR : %s", szName);
        return SETUP_EXIT_RESTART_FAILED;
    }
    lstrcpynW(szCopy, szName, MAX_PATH);
    lstrcpynW(szScriptCopy, szName, MAX_PATH);
    if (!PathRenameExtensionW(szCopy, L".exe") || !PathRenameExtensionW(szScriptCopy, L".dat")) {
        DBGPRINT(L"CSetupCtrl::RunMyselfFromTempFolder() GetTempFileName() ERROR : %s", szName);
        return SETUP_EXIT_RESTART_FAILED;
    }
    LPCWSTR pszProgram = g_pSetupEnv ? g_pSetupEnv->GetProgramPath() : L"";
    LPCWSTR pszScript = g_pSetupEnv ? g_pSetupEnv->GetEncryptedScriptPath() : L"";
    if (!CopyFileW(pszProgram, szCopy, FALSE)) {
        DBGPRINT(L"CSetupCtrl::RunMyselfFromTempFolder() CopyFile() ERROR : %s->%s %d", pszProgram, szCopy,
                 (int)GetLastError());
        return SETUP_EXIT_RESTART_FAILED;
    }
    if (!CopyFileW(pszScript, szScriptCopy, FALSE)) {
        DBGPRINT(L"CSetupCtrl::RunMyselfFromTempFolder() CopyFile() ERROR : %s->%s %d", pszScript, szScriptCopy,
                 (int)GetLastError());
        return SETUP_EXIT_RESTART_FAILED;
    }
    // The copy is named as the application and quoted in the command line, so that a
    // blank in the temporary folder's path cannot start another program.
    WCHAR szCommandLine[MAX_PATH + 2];
    wnsprintfW(szCommandLine, MAX_PATH + 2, L"\"%s\"", szCopy);
    if (!SetupStartProgram(szCopy, szCommandLine, szFolder)) {
        DBGPRINT(L"CSetupCtrl::RunMyselfFromTempFolder() CreateProcess Error %d.", (int)GetLastError());
        return SETUP_EXIT_RESTART_FAILED;
    }
    DBGPRINT(L"CSetupCtrl::RunMyselfFromTempFolder() CreateProcess Success.%s", szCopy);
    return 0;
}

int WINAPI SetupWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int) {
    g_hInst = hInstance;
    memset(&g_SetupDlgDesc, 0, sizeof(g_SetupDlgDesc));
    SetupLoadString(hInstance, IDS_APP_TITLE, g_szTitle, SETUP_TITLE_CCH);
    SetupLoadString(hInstance, IDC_SETUP, g_szWindowClass, SETUP_TITLE_CCH);
    RegisterMainClass(hInstance);

    g_bWowFlag = 0;
    CreateGlobalObjects();

    HWND hWnd = CreateWindowExW(0, g_szWindowClass, g_szTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                NULL, NULL, hInstance, NULL);
    if (!hWnd) SetupExit(SETUP_EXIT_WINDOW);
    ShowWindow(hWnd, SW_HIDE);

    if (!g_pSetupEnv) SetupExit(SETUP_EXIT_NO_SCRIPT);
    CCryptCtrl crypt;
    if (ArgumentsHold(L"/encrypt", L"/Encrypt", L"/ENCRYPT")) {
        int nResult = crypt.EncryptFile(g_pSetupEnv->GetScriptPath(), g_pSetupEnv->GetEncryptedScriptPath(),
                                        CRYPT_PASS_PHRASE, 1);
        if (nResult != 0) {
            DBGPRINT(L"Encrypt mode Error %d", nResult);
            SetupMessageBox(NULL, L"Encrypt Failed.", L"ERROR", MB_ICONERROR);
            SetupExit(1);
        }
        DBGPRINT(L"Encrypt mode completed.");
        SetupExit(0);
    }
    if (ArgumentsHold(L"/decrypt", L"/Decrypt", L"/DECRYPT")) {
        int nResult = crypt.EncryptFile(g_pSetupEnv->GetEncryptedScriptPath(), g_pSetupEnv->GetScriptPath(),
                                        CRYPT_PASS_PHRASE, 0);
        if (nResult != 0) {
            DBGPRINT(L"Decrypt mode Error %d", nResult);
            SetupMessageBox(NULL, L"Decrypt Failed.", L"ERROR", MB_ICONERROR);
            SetupExit(1);
        }
        DBGPRINT(L"Decrypt mode completed.");
        SetupExit(1);
    }
    int nDecrypt =
        crypt.EncryptFile(g_pSetupEnv->GetEncryptedScriptPath(), g_pSetupEnv->GetTempIniPath(), CRYPT_PASS_PHRASE, 0);
    if (nDecrypt != 0) {
        DBGPRINT(L"Decrypt ini file Error %d", nDecrypt);
        SetupExit(SETUP_EXIT_NO_SCRIPT);
    }
    if (PathFileExistsW(g_pSetupEnv->GetTempIniPath())) g_pSetupEnv->SetScriptPath(g_pSetupEnv->GetTempIniPath());
    LPCWSTR pszScript = g_pSetupEnv->GetScriptPath();

    if (ArgumentsHold(L"/runtemp", L"/Runtemp", L"-RUNTEMP"))
        SetupExit(g_pSetupCtrl ? g_pSetupCtrl->RunMyselfFromTempFolder() : SETUP_EXIT_RESTART_FAILED);

    WCHAR szValue[SETUP_ITEM_CCH];
    GetPrivateProfileStringW(L"INIT", L"MY_MUTEX", L"", szValue, SETUP_ITEM_CCH, pszScript);
    if (szValue[0]) g_pSetupEnv->SetMutexName(szValue);
    DBGPRINT(L"MY_MUTEX : %s", g_pSetupEnv->GetMutexName());
    // The handle stays open until the process ends.
    HANDLE hMutex = CreateMutexW(NULL, FALSE, g_pSetupEnv->GetMutexName());
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        DBGPRINT(L"Error to avoid execute doubly");
        SetupExit(1);
    }
    (void)hMutex;

    g_hKernel32 = LoadLibraryW(L"Kernel32.dll");
    if (!g_hKernel32) {
        DBGPRINT(L"Not found Kernel32.dll");
        SetupExit(SETUP_EXIT_KERNEL32);
    }
    g_pfnIsWow64Process = BindEntry<PFN_IsWow64Process>(g_hKernel32, "IsWow64Process");
    g_pfnWow64DisableWow64FsRedirection =
        BindEntry<PFN_Wow64DisableWow64FsRedirection>(g_hKernel32, "Wow64DisableWow64FsRedirection");
    g_pfnWow64RevertWow64FsRedirection =
        BindEntry<PFN_Wow64RevertWow64FsRedirection>(g_hKernel32, "Wow64RevertWow64FsRedirection");
    g_pfnWow64EnableWow64FsRedirection =
        BindEntry<PFN_Wow64EnableWow64FsRedirection>(g_hKernel32, "Wow64EnableWow64FsRedirection");

    GetPrivateProfileStringW(L"INIT", L"FORCE_REGION", L"", szValue, SETUP_ITEM_CCH, pszScript);
    if (szValue[0]) {
        g_pSetupEnv->SetForcedRegion(szValue);
        DBGPRINT(L"FORCE REGION MODE!! Version=%s Region=%s", g_pSetupEnv->GetOEMString(),
                 g_pModemCtrl ? g_pModemCtrl->GetRegion() : L"");
    }
    UINT uReturnMask = GetPrivateProfileIntW(L"INIT", L"RETURN_MASK", 0, pszScript);
    int nReturnCmd = (int)GetPrivateProfileIntW(L"INIT", L"RETURN_CMD", 0, pszScript);

    GetPrivateProfileStringW(L"PARAMS", L"PRODUCT_NAME", L"", szValue, SETUP_ITEM_CCH, pszScript);
    if (szValue[0]) {
        lstrcpynW(g_SetupDlgDesc.text, szValue, (int)(sizeof(g_SetupDlgDesc.text) / sizeof(g_SetupDlgDesc.text[0])));
        DBGPRINT(L"Get Parameter PRODUCT_NAME=%s ", szValue);
    }

    unsigned uResult = ExecuteSection(L"INIT", nReturnCmd);
    UINT uExit = uResult & ~uReturnMask;
    DBGPRINT(L"Return Code=0x%x\n", uExit);
    SetupExit(uExit);
    return (int)uExit;
}
