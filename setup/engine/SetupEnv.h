// The setup program's environment object: its own paths and those of its companion files,
// the script path every key of the run is read from, the mutex name, the arguments, the
// machine's OS code, languages and geo ID, the target path carried between commands, and
// the OEM string and vendor read through WMI on first use.
#pragma once

#include <windows.h>

#include "DebugHost.h"
#include "SetupContext.h"
#include "WmiCtrl.h"

#define SETUPENV_TEXT_CCH 260
#define SETUPENV_VERSION_CCH 128

// The prefix of the default single-instance mutex name.
#define SETUP_MUTEX_PREFIX L"QIV_ORVASH_MUTEX_"

// OS codes (ReadOSCode).
#define OSCODE_WIN32S 0
#define OSCODE_WIN95 1
#define OSCODE_WIN98 2
#define OSCODE_WINME 3
#define OSCODE_NT4 4
#define OSCODE_WIN2000 5
#define OSCODE_WIN2003 6
#define OSCODE_WINXP 7
#define OSCODE_VISTA 8
#define OSCODE_WIN7 9
#define OSCODE_WIN8 10
#define OSCODE_WIN81 11
#define OSCODE_OTHER 12

class CSetupEnv : public CSetupContext, public CDebugLogHost {
public:
    CSetupEnv();
    virtual ~CSetupEnv();

    int SetMutexName(LPCWSTR pszName);
    int SetForcedRegion(LPCWSTR pszRegion);
    // The script path every script key is read from (the temporary INI after start-up).
    int SetScriptPath(LPCWSTR pszPath);
    int SetTargetPath(LPCWSTR pszPath);

    LPCWSTR GetOEMString();
    LPCWSTR GetRawOEMString();
    LPCWSTR GetVendor();
    WmiCtrl& GetWmi() { return m_Wmi; }

    // The OS code of a version (platform, major, minor), as ReadOSCode derives it.
    static DWORD OSCodeOf(DWORD dwPlatform, DWORD dwMajor, DWORD dwMinor);

    // CSetupContext
    LPCWSTR GetProgramPath() override { return m_szProgramPath; }
    LPCWSTR GetProgramFileName() override { return m_szProgramFileName; }
    LPCWSTR GetProgramName() override { return m_szProgramName; }
    LPCWSTR GetProgramFolder() override { return m_szProgramFolder; }
    LPCWSTR GetShortProgramFolder() override { return m_szShortProgramFolder; }
    LPCWSTR GetOemString() override { return GetOEMString(); }
    int GetWowFlag() override;
    void ExpandMacros(LPWSTR pszText, DWORD cchText) override;
    void ShowStatus(LPCWSTR pszCaption, LPCWSTR pszDetail) override;

    // CDebugLogHost
    LPCWSTR GetProgramVersion() override { return m_szFileVersion; }
    LPCWSTR GetLogFilePath() override { return m_szLogPath; }

    LPCWSTR GetMutexName() const { return m_szMutexName; }
    LPCWSTR GetTargetPath() const { return m_szTargetPath; }
    LPCWSTR GetScriptPath() const { return m_szScriptPath; }
    LPCWSTR GetTempIniPath() const { return m_szTempIniPath; }
    LPCWSTR GetEncryptedScriptPath() const { return m_szEncryptedPath; }
    LPCWSTR GetRegFilePath() const { return m_szRegFilePath; }
    LPCWSTR GetArguments() const { return m_szArguments; }
    LPCWSTR GetLowerArguments() const { return m_szLowerArguments; }
    DWORD GetOSCode() const { return m_dwOSCode; }
    WORD GetUILanguage() const { return m_wUILanguage; }
    WORD GetSystemLanguage() const { return m_wSystemLanguage; }
    DWORD GetGeoID() const { return m_dwGeoID; }
    int IsRegionForced() const { return m_bRegionForced; }
    LPCWSTR GetForcedRegion() const { return m_szForcedRegion; }

private:
    CSetupEnv(const CSetupEnv&);
    CSetupEnv& operator=(const CSetupEnv&);

    int ReadOSCode();
    int ReadUILanguage();
    int ReadSystemLanguage();
    int ReadGeoID();
    void ApplyForcedRegion();

    WCHAR m_szProgramPath[SETUPENV_TEXT_CCH];
    WCHAR m_szProgramFileName[SETUPENV_TEXT_CCH];
    WCHAR m_szProgramName[SETUPENV_TEXT_CCH];
    WCHAR m_szMutexName[SETUPENV_TEXT_CCH];
    WCHAR m_szProgramFolder[SETUPENV_TEXT_CCH];
    WCHAR m_szTargetPath[SETUPENV_TEXT_CCH];
    WCHAR m_szShortProgramFolder[SETUPENV_TEXT_CCH];
    WCHAR m_szScriptPath[SETUPENV_TEXT_CCH];
    WCHAR m_szTempIniPath[SETUPENV_TEXT_CCH];
    WCHAR m_szEncryptedPath[SETUPENV_TEXT_CCH];
    WCHAR m_szLogPath[SETUPENV_TEXT_CCH];
    WCHAR m_szFileVersion[SETUPENV_VERSION_CCH];
    WCHAR m_szRegFilePath[SETUPENV_TEXT_CCH];
    WCHAR m_szArguments[SETUPENV_TEXT_CCH];
    WCHAR m_szLowerArguments[SETUPENV_TEXT_CCH];
    DWORD m_dwOSCode;
    WORD m_wUILanguage;
    WORD m_wSystemLanguage;
    DWORD m_dwGeoID;
    WCHAR m_szOEMString[SETUPENV_TEXT_CCH];
    WCHAR m_szRawOEMString[SETUPENV_TEXT_CCH];
    int m_bOEMStringRead;
    WCHAR m_szVendor[SETUPENV_TEXT_CCH];
    int m_bVendorRead;
    WCHAR m_szForcedRegion[SETUPENV_TEXT_CCH];
    int m_bRegionForced;
    WmiCtrl m_Wmi;
};

// The program's one environment object; null before it is built and after the exit.
extern CSetupEnv* g_pSetupEnv;
