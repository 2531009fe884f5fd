// The section executor, the command dispatcher and the WOW switch.
#include "SetupExec.h"

#include <shlwapi.h>

#include "DbgMac.h"
#include "SetupCtrl.h"
#include "SetupEnv.h"
#include "SetupGlobals.h"

namespace {

int g_nSectionDepth = 0;
int g_nSectionRuns = 0;
// The value the x86 rules' disabling call saved for the revert.
PVOID g_pvWowRedirection = NULL;

LPCWSTR ScriptPath() { return g_pSetupEnv ? g_pSetupEnv->GetScriptPath() : L""; }

void ReadKey(LPCWSTR pszSection, LPCWSTR pszKey, LPWSTR pszOut, DWORD cchOut) {
    pszOut[0] = 0;
    if (!pszSection || !pszSection[0]) return;
    GetPrivateProfileStringW(pszSection, pszKey, L"", pszOut, cchOut, ScriptPath());
}

int ReadInt(LPCWSTR pszSection, LPCWSTR pszKey) {
    if (!pszSection || !pszSection[0]) return 0;
    return (int)GetPrivateProfileIntW(pszSection, pszKey, 0, ScriptPath());
}

void SleepFor(int nMilliseconds) {
    if (nMilliseconds > 0) Sleep((DWORD)nMilliseconds);
}

// Keeps the section depth right on every way out of ExecuteSection.
class CDepthGuard {
public:
    CDepthGuard() { ++g_nSectionDepth; }
    ~CDepthGuard() { --g_nSectionDepth; }
};

}  // namespace

int GetSectionDepth() { return g_nSectionDepth; }

int GetSectionRuns() { return g_nSectionRuns; }

int IsSilentRun() {
    LPCWSTR pszArgs = g_pSetupEnv ? g_pSetupEnv->GetArguments() : L"";
    return wcsstr(pszArgs, L"/s") || wcsstr(pszArgs, L"/S") || wcsstr(pszArgs, L"-s") || wcsstr(pszArgs, L"-S");
}

unsigned ExecuteSection(LPCWSTR pszSection, int nReturnCmd) {
    if (!pszSection || !pszSection[0]) {
        DBGPRINT(L"ExecuteSection: Error Section is NULL.");
        return 0;
    }
    if (g_nSectionDepth == 0) g_nSectionRuns = 0;
    ++g_nSectionRuns;
    CDepthGuard depth;
    DBGPRINT(L"ExecuteSection: Section = %s.", pszSection);
    unsigned uPrevious = 0;
    unsigned uMask = 0;
    unsigned uReturn = 0;
    int bReturnRan = 0;
    int bQuit = 0;
    WCHAR szKey[32];
    WCHAR szCommand[SETUP_TEXT_CCH];
    WCHAR szArgSection[SETUP_TEXT_CCH];
    for (int n = 1; n <= SETUP_MAX_COMMANDS; ++n) {
        wsprintfW(szKey, L"CMD%d", n);
        ReadKey(pszSection, szKey, szCommand, SETUP_TEXT_CCH);
        if (!szCommand[0]) break;
        wsprintfW(szKey, L"CMD%d_SECTION", n);
        ReadKey(pszSection, szKey, szArgSection, SETUP_TEXT_CCH);
        bQuit = 0;
        int bRan = 0;
        unsigned uResult = DispatchCommand(szCommand, szArgSection, &bQuit, uPrevious, &bRan);
        uPrevious = uResult;
        if (n == nReturnCmd && bRan) {
            uReturn = uResult;
            bReturnRan = 1;
        }
        if (uResult != 0) {
            uMask |= 1u << ((n - 1) % 32);
            DBGPRINT(L"ExecuteSection: Error = 0x%08x.", uResult);
        }
        if (bQuit) {
            DBGPRINT(L"ExecuteSection: Detect Quit.");
            break;
        }
        if (uResult == SETUP_ABORT_CODE) {
            DBGPRINT(L"ExecuteSection: Detect Abort Command.");
            SetupExit(SETUP_ABORT_CODE);
        }
    }
    // A return command that did not run (the section quit before it, no such number, an
    // unknown keyword or a command its suffix skipped) reports the mask, so that a failure is never hidden as success.
    if (nReturnCmd != 0 && bReturnRan) return uReturn;
    return uMask;
}

unsigned DispatchCommand(LPCWSTR pszCommand, LPCWSTR pszSection, int* pbQuit, unsigned uPrevious, int* pbRan) {
    int bQuit = 0;
    unsigned uResult = 0;
    WCHAR szKeyword[SETUP_TEXT_CCH];
    WCHAR szSuffix[SETUP_TEXT_CCH];
    lstrcpynW(szKeyword, pszCommand ? pszCommand : L"", SETUP_TEXT_CCH);
    PathRemoveExtensionW(szKeyword);
    lstrcpynW(szSuffix, PathFindExtensionW(pszCommand ? pszCommand : L""), SETUP_TEXT_CCH);

    // An unknown keyword runs nothing and logs nothing.
    const SetupCommand* pRow = FindSetupCommand(szKeyword);
    int bRan = 0;
    if (SwitchWowMode(szSuffix, 1)) {
        if (pRow) {
            SleepFor(ReadInt(pszSection, L"BEFORE_SLEEP"));
            uResult = pRow->pfnHandler(szSuffix, pszSection, &bQuit, uPrevious);
            bRan = 1;
        }
    } else {
        DBGPRINT(L"DispatchCommand: Skip command %s%s.", szKeyword, szSuffix);
    }
    SleepFor(ReadInt(pszSection, L"AFTER_SLEEP"));

    // REVERSE and IGNORE_EXIT apply to every keyword that holds "CHECK_", whether it ran or
    // not. A keyword without a row has no code to report: its result stays 0.
    if (wcsstr(szKeyword, L"CHECK_")) {
        if (ReadInt(pszSection, L"REVERSE") != 0) {
            bQuit = !bQuit;
            uResult = uResult == 0 && pRow ? pRow->uCode : 0;
        }
        if (ReadInt(pszSection, L"IGNORE_EXIT") != 0) bQuit = 0;
    }
    if (bQuit && !IsSilentRun()) ShowMsgBox(ScriptPath(), pszSection, NULL);
    SwitchWowMode(szSuffix, 0);
    if (pbQuit) *pbQuit = bQuit;
    if (pbRan) *pbRan = bRan;
    return uResult;
}

BOOL SetupIsWow64() {
    BOOL bWow = FALSE;
    if (!g_pfnIsWow64Process || !g_pfnIsWow64Process(GetCurrentProcess(), &bWow)) return FALSE;
    return bWow;
}

int SwitchWowModeX64(LPCWSTR pszSuffix, int bBefore) {
    if (bBefore) {
        if (g_bWowFlag) SwitchWowModeX64(pszSuffix, 0);
        DBGPRINT(L"IS_WOW64 %d\n", (int)SetupIsWow64());
        // ".WOW32" sends the command's registry work to the 32-bit view. A 64-bit process
        // has no file-system redirection to switch, so nothing else changes.
        g_bWowFlag = lstrcmpiW(pszSuffix, L".WOW32") == 0 ? 1 : 0;
        return 1;
    }
    g_bWowFlag = 0;
    return 1;
}

int SwitchWowModeX86(LPCWSTR pszSuffix, int bBefore) {
    if (bBefore) {
        if (g_bWowFlag) SwitchWowModeX86(pszSuffix, 0);
        BOOL bWow = SetupIsWow64();
        DBGPRINT(L"IS_WOW64 %d\n", (int)bWow);
        if (bWow) {
            int bWow6432 = lstrcmpiW(pszSuffix, L".WOW6432") == 0;
            if (bWow6432 || lstrcmpiW(pszSuffix, L".WOW64") == 0) {
                if (bWow6432) DBGPRINT(L"Detect WOW6432 %d\n", (int)bWow);
                if (g_pfnWow64DisableWow64FsRedirection)
                    g_bWowFlag = g_pfnWow64DisableWow64FsRedirection(&g_pvWowRedirection) ? 1 : 0;
                if (bWow6432) DBGPRINT(L"WOW6432 Disabled %d\n", g_bWowFlag);
            } else {
                g_bWowFlag = 0;
            }
            if (lstrcmpiW(pszSuffix, L".X32") == 0) return 0;
        } else {
            g_bWowFlag = 0;
            if (lstrcmpiW(pszSuffix, L".WOW64") == 0 || lstrcmpiW(pszSuffix, L".X64") == 0) return 0;
        }
        return 1;
    }
    if (g_bWowFlag && g_pfnWow64RevertWow64FsRedirection)
        g_bWowFlag = g_pfnWow64RevertWow64FsRedirection(g_pvWowRedirection) ? 1 : 0;
    return 1;
}

int SwitchWowMode(LPCWSTR pszSuffix, int bBefore) {
#if defined(_WIN64) || (!defined(_WIN32) && defined(__LP64__))
    return SwitchWowModeX64(pszSuffix ? pszSuffix : L"", bBefore);
#else
    return SwitchWowModeX86(pszSuffix ? pszSuffix : L"", bBefore);
#endif
}
