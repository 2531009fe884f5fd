// Driver packages through the driver package library, loaded by name so that the setup
// program starts where the library is missing and only these operations fail.
#pragma once

#include <windows.h>

#include "DriverPackageLib.h"

#define DRVSETUP_ERROR_TEXT_CCH 256
// The result of every operation while the library, or one of its entries, is missing.
#define DRVSETUP_NO_LIBRARY 0x80110425UL

// Operations of Run (the script's OPTION).
#define DRVSETUP_PREINSTALL 0
#define DRVSETUP_INSTALL 1
#define DRVSETUP_UNINSTALL 2
#define DRVSETUP_GETPATH 3

class CDriverSetupCtrl {
public:
    CDriverSetupCtrl();
    ~CDriverSetupCtrl();

    // 1 when the library and all five of its entries are there.
    int IsAvailable() const;
    // One operation on the package (a relative path is taken in the program's short
    // folder): the library's result, DRVSETUP_NO_LIBRARY, or ERROR_INVALID_PARAMETER for an
    // unknown option.
    DWORD Run(int nOption, LPCWSTR pszInfPath, DWORD dwFlags);
    // The fixed text of a result ("" for others).
    LPCWSTR GetErrorText(DWORD dwCode);

private:
    CDriverSetupCtrl(const CDriverSetupCtrl&);
    CDriverSetupCtrl& operator=(const CDriverSetupCtrl&);

    static void __cdecl LogCallback(DIFXAPI_LOG eventType, DWORD dwError, PCWSTR pszDescription, PVOID pContext);

    HMODULE m_hLibrary;
    PFN_DriverPackagePreinstallW m_pfnPreinstall;
    PFN_DriverPackageUninstallW m_pfnUninstall;
    PFN_DriverPackageInstallW m_pfnInstall;
    PFN_DriverPackageGetPathW m_pfnGetPath;
    PFN_DIFXAPISetLogCallbackW m_pfnSetLogCallback;
    WCHAR m_szErrorText[DRVSETUP_ERROR_TEXT_CCH];
};
