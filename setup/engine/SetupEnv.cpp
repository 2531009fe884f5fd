// The setup program's environment object.
#include "SetupEnv.h"

#include <string.h>

#include <shlwapi.h>

#include "DbgMac.h"
#include "FileCtrl.h"
#include "SetupCtrl.h"
#include "SetupGlobals.h"

CSetupEnv* g_pSetupEnv = NULL;

namespace {

void CopyText(LPWSTR pszOut, LPCWSTR pszIn, int cch) {
    pszOut[0] = 0;
    if (pszIn) lstrcpynW(pszOut, pszIn, cch);
}

// A copy of the program path with another extension.
void RenamedPath(LPWSTR pszOut, LPCWSTR pszPath, LPCWSTR pszExt) {
    CopyText(pszOut, pszPath, SETUPENV_TEXT_CCH);
    if (!PathRenameExtensionW(pszOut, pszExt)) pszOut[0] = 0;
}

void LowerAscii(LPWSTR psz) {
    for (; *psz; ++psz)
        if (*psz >= L'A' && *psz <= L'Z') *psz = (WCHAR)(*psz - L'A' + L'a');
}

}  // namespace

CSetupEnv::CSetupEnv()
    : m_dwOSCode(0),
      m_wUILanguage(0),
      m_wSystemLanguage(0),
      m_dwGeoID(0),
      m_bOEMStringRead(0),
      m_bVendorRead(0),
      m_bRegionForced(0) {
    m_szProgramPath[0] = m_szProgramFileName[0] = m_szProgramName[0] = m_szMutexName[0] = 0;
    m_szProgramFolder[0] = m_szTargetPath[0] = m_szShortProgramFolder[0] = m_szScriptPath[0] = 0;
    m_szTempIniPath[0] = m_szEncryptedPath[0] = m_szLogPath[0] = m_szFileVersion[0] = 0;
    m_szRegFilePath[0] = m_szArguments[0] = m_szLowerArguments[0] = 0;
    m_szOEMString[0] = m_szRawOEMString[0] = m_szVendor[0] = m_szForcedRegion[0] = 0;

    DWORD n = GetModuleFileNameW(NULL, m_szProgramPath, SETUPENV_TEXT_CCH);
    if (n == 0 || n >= SETUPENV_TEXT_CCH) m_szProgramPath[0] = 0;
    CFileCtrl file;
    if (!file.GetFileVersion(m_szProgramPath, m_szFileVersion, SETUPENV_VERSION_CCH)) m_szFileVersion[0] = 0;

    CopyText(m_szProgramFileName, m_szProgramPath, SETUPENV_TEXT_CCH);
    PathStripPathW(m_szProgramFileName);
    CopyText(m_szProgramName, m_szProgramFileName, SETUPENV_TEXT_CCH);
    PathRemoveExtensionW(m_szProgramName);
    wnsprintfW(m_szMutexName, SETUPENV_TEXT_CCH, L"%s%s", SETUP_MUTEX_PREFIX, m_szProgramName);

    CopyText(m_szProgramFolder, m_szProgramPath, SETUPENV_TEXT_CCH);
    PathRemoveFileSpecW(m_szProgramFolder);
    DWORD s = GetShortPathNameW(m_szProgramFolder, m_szShortProgramFolder, SETUPENV_TEXT_CCH);
    if (s == 0 || s >= SETUPENV_TEXT_CCH) CopyText(m_szShortProgramFolder, m_szProgramFolder, SETUPENV_TEXT_CCH);

    RenamedPath(m_szRegFilePath, m_szProgramPath, L".reg");
    RenamedPath(m_szScriptPath, m_szProgramPath, L".ini");
    RenamedPath(m_szEncryptedPath, m_szProgramPath, L".dat");
    RenamedPath(m_szLogPath, m_szProgramPath, L".log");

    WCHAR szTemp[SETUPENV_TEXT_CCH];
    DWORD t = GetTempPathW(SETUPENV_TEXT_CCH, szTemp);
    if (t == 0 || t >= SETUPENV_TEXT_CCH || !GetTempFileNameW(szTemp, L"kvb", 0, m_szTempIniPath))
        m_szTempIniPath[0] = 0;

    CopyText(m_szArguments, PathGetArgsW(GetCommandLineW()), SETUPENV_TEXT_CCH);
    CopyText(m_szLowerArguments, m_szArguments, SETUPENV_TEXT_CCH);
    LowerAscii(m_szLowerArguments);

    ReadOSCode();
    ReadUILanguage();
    ReadSystemLanguage();
    ReadGeoID();
}

CSetupEnv::~CSetupEnv() {}

int CSetupEnv::GetWowFlag() { return g_bWowFlag; }

void CSetupEnv::ExpandMacros(LPWSTR pszText, DWORD cchText) {
    if (g_pSetupCtrl) g_pSetupCtrl->ExpandMacros(pszText, cchText);
}

void CSetupEnv::ShowStatus(LPCWSTR pszCaption, LPCWSTR pszDetail) {
    if (g_pDebugCtrl) g_pDebugCtrl->SetStatusText(&g_SetupDlgDesc, pszCaption, pszDetail);
}

int CSetupEnv::SetMutexName(LPCWSTR pszName) {
    CopyText(m_szMutexName, pszName, SETUPENV_TEXT_CCH);
    return 1;
}

int CSetupEnv::SetScriptPath(LPCWSTR pszPath) {
    CopyText(m_szScriptPath, pszPath, SETUPENV_TEXT_CCH);
    return 1;
}

int CSetupEnv::SetTargetPath(LPCWSTR pszPath) {
    CopyText(m_szTargetPath, pszPath, SETUPENV_TEXT_CCH);
    return 1;
}

void CSetupEnv::ApplyForcedRegion() {
    if (!m_bRegionForced || !m_szForcedRegion[0]) return;
    int len = lstrlenW(m_szOEMString);
    if (len < 5) return;
    m_szOEMString[5] = m_szForcedRegion[0];
    if (len == 5) m_szOEMString[6] = 0;
}

int CSetupEnv::SetForcedRegion(LPCWSTR pszRegion) {
    m_bRegionForced = 1;
    CopyText(m_szForcedRegion, pszRegion, SETUPENV_TEXT_CCH);
    ApplyForcedRegion();
    return 1;
}

LPCWSTR CSetupEnv::GetOEMString() {
    if (!m_bOEMStringRead || !m_szOEMString[0]) {
        if (!m_Wmi.GetValue(L"\\\\.\\root\\CIMV2", L"Win32_ComputerSystem", L"OEMStringArray", m_szOEMString,
                            SETUPENV_TEXT_CCH))
            m_szOEMString[0] = 0;
        m_bOEMStringRead = 1;
    }
    ApplyForcedRegion();
    return m_szOEMString;
}

LPCWSTR CSetupEnv::GetRawOEMString() {
    if (!m_szRawOEMString[0]) {
        if (!m_Wmi.GetValue(L"\\\\.\\root\\CIMV2", L"Win32_ComputerSystem", L"OEMStringArray", m_szRawOEMString,
                            SETUPENV_TEXT_CCH))
            m_szRawOEMString[0] = 0;
    }
    return m_szRawOEMString;
}

LPCWSTR CSetupEnv::GetVendor() {
    if (!m_bVendorRead) {
        if (!m_Wmi.GetValue(L"\\\\.\\root\\CIMV2", L"Win32_ComputerSystemProduct", L"Vendor", m_szVendor,
                            SETUPENV_TEXT_CCH))
            m_szVendor[0] = 0;
        m_bVendorRead = 1;
    }
    return m_szVendor;
}

DWORD CSetupEnv::OSCodeOf(DWORD dwPlatform, DWORD dwMajor, DWORD dwMinor) {
    if (dwPlatform == VER_PLATFORM_WIN32s) return OSCODE_WIN32S;
    if (dwPlatform == VER_PLATFORM_WIN32_WINDOWS) {
        if (dwMinor == 0) return OSCODE_WIN95;
        if (dwMinor == 10) return OSCODE_WIN98;
        if (dwMinor == 90) return OSCODE_WINME;
        return OSCODE_OTHER;
    }
    if (dwPlatform != VER_PLATFORM_WIN32_NT) return OSCODE_OTHER;
    if (dwMajor == 6) {
        switch (dwMinor) {
        case 3: return OSCODE_WIN81;
        case 2: return OSCODE_WIN8;
        case 1: return OSCODE_WIN7;
        case 0: return OSCODE_VISTA;
        default: break;
        }
    } else if (dwMajor == 5) {
        switch (dwMinor) {
        case 2: return OSCODE_WIN2003;
        case 1: return OSCODE_WINXP;
        case 0: return OSCODE_WIN2000;
        default: break;
        }
    }
    return dwMajor <= 4 ? OSCODE_NT4 : OSCODE_OTHER;
}

int CSetupEnv::ReadOSCode() {
    OSVERSIONINFOW vi;
    memset(&vi, 0, sizeof(vi));
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExW(&vi)) {
        DBGPRINT(L"CSetupEnv::ReadOSCode:GetVersionEx Error %d", (int)GetLastError());
        return 0;
    }
    m_dwOSCode = OSCodeOf(vi.dwPlatformId, vi.dwMajorVersion, vi.dwMinorVersion);
    return 1;
}

int CSetupEnv::ReadUILanguage() {
    m_wUILanguage = GetUserDefaultUILanguage();
    return m_wUILanguage != 0;
}

int CSetupEnv::ReadSystemLanguage() {
    m_wSystemLanguage = GetSystemDefaultLangID();
    return m_wSystemLanguage != 0;
}

int CSetupEnv::ReadGeoID() {
    m_dwGeoID = (DWORD)GetUserGeoID(GEOCLASS_NATION);
    return m_dwGeoID != 0;
}
