// The message box of a script section and the SHOW_MSGBOX command.
#include "SetupCtrl.h"

#include "DbgMac.h"
#include "SetupEnv.h"
#include "SetupExec.h"
#include "SetupPlatform.h"

namespace {

const DWORD kMessageCch = 1024;

// Turns every backslash followed by the letter n into a line feed.
void UnescapeLineFeeds(LPWSTR psz) {
    LPWSTR pOut = psz;
    for (LPCWSTR p = psz; *p; ++p) {
        if (p[0] == L'\\' && p[1] == L'n') {
            *pOut++ = L'\n';
            ++p;
        } else {
            *pOut++ = *p;
        }
    }
    *pOut = 0;
}

}  // namespace

int ShowMsgBox(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszText) {
    WCHAR szTitle[SETUP_TEXT_CCH];
    WCHAR szMessage[kMessageCch];
    WCHAR szType[SETUP_TEXT_CCH];
    szTitle[0] = szMessage[0] = szType[0] = 0;
    int bSection = pszSection && pszSection[0];
    if (bSection) GetPrivateProfileStringW(pszSection, L"MSGBOX_TITLE", L"", szTitle, SETUP_TEXT_CCH, pszIni);
    if (pszText)
        lstrcpynW(szMessage, pszText, kMessageCch);
    else if (bSection)
        GetPrivateProfileStringW(pszSection, L"MSGBOX_MSG", L"", szMessage, kMessageCch, pszIni);
    if (!szMessage[0]) {
        DBGPRINT(L"ShowMsgBox:NULL Message Return Success.");
        return 0;
    }
    if (bSection) GetPrivateProfileStringW(pszSection, L"MSGBOX_TYPE", L"", szType, SETUP_TEXT_CCH, pszIni);
    DWORD dwType = 0;
    if (!CSetupCtrl::ParseNumber(szType, 16, &dwType)) dwType = 0;
    UnescapeLineFeeds(szMessage);
    if (g_pSetupCtrl) g_pSetupCtrl->ExpandMacros(szMessage, kMessageCch);
    int nResult = SetupMessageBox(GetActiveWindow(), szMessage, szTitle, (UINT)dwType);
    DBGPRINT(L"ShowMsgBox:%s,%s,%x ", szType, szTitle, dwType);
    return nResult;
}

unsigned CSetupCtrl::ShowMsgBoxFromIni(LPCWSTR pszSection) {
    if (IsSilentRun()) {
        DBGPRINT(L"SHOW_MSGBOX was skipped due to silentmode");
        return 0;
    }
    LPCWSTR pszIni = g_pSetupEnv ? g_pSetupEnv->GetScriptPath() : L"";
    DBGPRINT(L"SHOW_MSGBOX %s %s", pszIni, pszSection ? pszSection : L"");
    int nResult = ShowMsgBox(pszIni, pszSection, NULL);
    DBGPRINT(L"SHOW_MSGBOX Return Code = %d", nResult);
    return (unsigned)nResult;
}
