#include "DriverSetupCtrl.h"

#include <shlwapi.h>

#include "DbgMac.h"
#include "SetupContext.h"

namespace {

template <class T>
T Bind(HMODULE h, const char* pszName) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(h, pszName)));
}

struct ErrorText {
    DWORD dwCode;
    LPCWSTR pszText;
};

const ErrorText kErrorTexts[] = {
    {0, L"Success."},
    {2, L"Error File not found."},
    {5, L"Error Access Denied."},
    {10, L"Error Windows does not support."},
    {14, L"Error out of memory."},
    {32, L"Error ERROR_SHARING_VIOLATION."},
    {87, L"Error parameter is invalid."},
    {123, L"Error inf fiel path is invalid name."},
    {206, L"Error ERROR_FILENAME_EXCED_RANGE."},
    {1603, L"Error install/unisntall failed."},
    {1630, L"Error driver package tyep is not supported."},
    {0x80092003, L"Error CAN file was not found."},
    {0xE0000300, L"Error ERROR_DEPENDENT_APPLICATIONS_EXIST."},
    {0xE0000302, L"Error Can not find inf file in drivers store."},
};

}  // namespace

CDriverSetupCtrl::CDriverSetupCtrl()
    : m_hLibrary(NULL),
      m_pfnPreinstall(NULL),
      m_pfnUninstall(NULL),
      m_pfnInstall(NULL),
      m_pfnGetPath(NULL),
      m_pfnSetLogCallback(NULL) {
    m_szErrorText[0] = 0;
    m_hLibrary = LoadLibraryW(DIFX_LIBRARY_NAME);
    if (!m_hLibrary) return;
    m_pfnPreinstall = Bind<PFN_DriverPackagePreinstallW>(m_hLibrary, DIFX_PREINSTALL_NAME);
    m_pfnInstall = Bind<PFN_DriverPackageInstallW>(m_hLibrary, DIFX_INSTALL_NAME);
    m_pfnUninstall = Bind<PFN_DriverPackageUninstallW>(m_hLibrary, DIFX_UNINSTALL_NAME);
    m_pfnGetPath = Bind<PFN_DriverPackageGetPathW>(m_hLibrary, DIFX_GETPATH_NAME);
    m_pfnSetLogCallback = Bind<PFN_DIFXAPISetLogCallbackW>(m_hLibrary, DIFX_SETLOGCALLBACK_NAME);
}

CDriverSetupCtrl::~CDriverSetupCtrl() {
    if (m_hLibrary) FreeLibrary(m_hLibrary);
    m_hLibrary = NULL;
}

int CDriverSetupCtrl::IsAvailable() const {
    return m_hLibrary && m_pfnPreinstall && m_pfnInstall && m_pfnUninstall && m_pfnGetPath && m_pfnSetLogCallback;
}

void __cdecl CDriverSetupCtrl::LogCallback(DIFXAPI_LOG eventType, DWORD, PCWSTR pszDescription, PVOID) {
    DBGPRINT(L"CDriverSetupCtrl: %u, %s\n", (unsigned)eventType, pszDescription ? pszDescription : L"");
}

LPCWSTR CDriverSetupCtrl::GetErrorText(DWORD dwCode) {
    m_szErrorText[0] = 0;
    for (size_t i = 0; i < sizeof kErrorTexts / sizeof kErrorTexts[0]; ++i) {
        if (kErrorTexts[i].dwCode == dwCode) {
            lstrcpynW(m_szErrorText, kErrorTexts[i].pszText, DRVSETUP_ERROR_TEXT_CCH);
            break;
        }
    }
    return m_szErrorText;
}

DWORD CDriverSetupCtrl::Run(int nOption, LPCWSTR pszInfPath, DWORD dwFlags) {
    // A library without one of its entries is as good as none.
    if (!IsAvailable()) return DRVSETUP_NO_LIBRARY;

    WCHAR szPath[MAX_PATH];
    szPath[0] = 0;
    if (pszInfPath && PathIsRelativeW(pszInfPath)) {
        LPCWSTR pszFolder = g_pSetupContext ? g_pSetupContext->GetShortProgramFolder() : L"";
        lstrcpynW(szPath, pszFolder, MAX_PATH);
        if (!PathAppendW(szPath, pszInfPath)) szPath[0] = 0;
    } else if (pszInfPath) {
        lstrcpynW(szPath, pszInfPath, MAX_PATH);
    }
    if (!PathFileExistsW(szPath)) DBGPRINT(L"CDriverSetupCtrl:Error: Can not find inf  %s", szPath);

    DBGPRINT(L"CDriverSetupCtrl:INFO: Option %d", nOption);
    DBGPRINT(L"CDriverSetupCtrl:INFO: Input file %s", szPath);
    DBGPRINT(L"CDriverSetupCtrl:INFO: Flags 0x%X (%u)", (unsigned)dwFlags, (unsigned)dwFlags);

    m_pfnSetLogCallback(&CDriverSetupCtrl::LogCallback, NULL);
    DWORD dwResult = 0;
    BOOL bReboot = FALSE;
    switch (nOption) {
    case DRVSETUP_PREINSTALL:
        DBGPRINT(L"CDriverSetupCtrl: preinstalling driver package.\n");
        dwResult = m_pfnPreinstall(szPath, dwFlags);
        if (dwResult == 0)
            DBGPRINT(L"CDriverSetupCtrl: preinstalled package.\n");
        else if (dwResult == ERROR_ALREADY_EXISTS)
            DBGPRINT(L"CDriverSetupCtrl:: package was already in store.\n");
        else
            DBGPRINT(L"CDriverSetupCtrl: failed with error code 0x%X %s\n", (unsigned)dwResult, GetErrorText(dwResult));
        break;
    case DRVSETUP_INSTALL:
        DBGPRINT(L"CDriverSetupCtrl: installing driver package.\n");
        dwResult = m_pfnInstall(szPath, dwFlags, NULL, &bReboot);
        if (dwResult == 0)
            DBGPRINT(L"CDriverSetupCtrl: installed package %s.\n", szPath);
        else if (dwResult == ERROR_NO_MORE_ITEMS)
            DBGPRINT(
                L"CDriverSetupCtrl: All devices found already have a better driver than what is contained in the "
                L"specified inf file. To force an install, use the ForceIfNotBetter flag.\n");
        else if (dwResult == DIFX_ERROR_NO_SUCH_DEVINST)
            DBGPRINT(L"CDriverSetupCtrl: There aren't any live devnodes with the DeviceId contained in the INF.\n");
        else
            DBGPRINT(L"CDriverSetupCtrl: failed with error code 0x%X %s\n", (unsigned)dwResult, GetErrorText(dwResult));
        if (bReboot) DBGPRINT(L"CDriverSetupCtrl: Machine will have to be rebooted to complete install.");
        break;
    case DRVSETUP_UNINSTALL:
        DBGPRINT(L"CDriverSetupCtrl: uninstalling driver package.\n");
        dwResult = m_pfnUninstall(szPath, dwFlags, NULL, &bReboot);
        if (dwResult != 0)
            DBGPRINT(L"CDriverSetupCtrl: uninstall failed with error code 0x%X %s\n", (unsigned)dwResult,
                     GetErrorText(dwResult));
        else
            DBGPRINT(L"CDriverSetupCtrl: uninstalled driver package %s.\n", szPath);
        if (bReboot) DBGPRINT(L"CDriverSetupCtrl: Machine will have to be rebooted to complete uninstall.");
        break;
    case DRVSETUP_GETPATH: {
        DBGPRINT(L"CDriverSetupCtrl: getting driver package path.\n");
        WCHAR szStore[MAX_PATH];
        DWORD dwSize = MAX_PATH;
        szStore[0] = 0;
        dwResult = m_pfnGetPath(szPath, szStore, &dwSize);
        if (dwResult == 0)
            DBGPRINT(L"CDriverSetupCtrl: INF path is %s\n", szStore);
        else
            DBGPRINT(L"CDriverSetupCtrl: DriverPackageGetPath failed with error code 0x%X %s\n", (unsigned)dwResult,
                     GetErrorText(dwResult));
        break;
    }
    default:
        // An option nobody knows must not pass for a package handled.
        DBGPRINT(L"CDriverSetupCtrl: invalid command line option /%c.\n", (WCHAR)nOption);
        dwResult = ERROR_INVALID_PARAMETER;
        break;
    }
    m_pfnSetLogCallback(NULL, NULL);
    return dwResult;
}
