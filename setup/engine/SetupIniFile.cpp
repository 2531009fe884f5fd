// The INI file commands: CHECK_INIFILE tests values of other INI files or fetches one into
// the target path; WRITE_INIFILE writes, increments or decrements values.
#include "SetupCtrl.h"

#include <shlwapi.h>

#include "DbgMac.h"
#include "ProfileCtrl.h"
#include "SetupEnv.h"

namespace {

void ReadEntryText(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszFormat, int n, LPWSTR pszOut) {
    WCHAR szKey[64];
    wsprintfW(szKey, pszFormat, n);
    pszOut[0] = 0;
    GetPrivateProfileStringW(pszSection, szKey, L"", pszOut, SETUP_TEXT_CCH, pszIni);
}

int ReadEntryInt(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszFormat, int n) {
    WCHAR szKey[64];
    wsprintfW(szKey, pszFormat, n);
    return (int)GetPrivateProfileIntW(pszSection, szKey, 0, pszIni);
}

}  // namespace

int CSetupCtrl::ParseSignedDecimal(LPCWSTR pszText) {
    if (!pszText) return 0;
    LPCWSTR p = pszText;
    while (*p == L' ' || *p == L'\t') ++p;
    int bNegative = 0;
    if (*p == L'+' || *p == L'-') bNegative = *p++ == L'-';
    long long value = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        value = value * 10 + (*p - L'0');
        if (value > 0x80000000LL) value = 0x80000000LL;
    }
    if (bNegative) value = -value;
    if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
    return (int)value;
}

int CSetupCtrl::CheckInifileFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = (int)GetPrivateProfileIntW(pszSection, L"INI", 0, pszIni);
    int bSource = (int)GetPrivateProfileIntW(pszSection, L"SRCTAR", 0, pszIni);
    int bDest = (int)GetPrivateProfileIntW(pszSection, L"DESTAR", 0, pszIni);
    DBGPRINT(L"CSetupCtrl::CheckInifileFromIni:Start count=%d", nCount);
    for (int n = 1; n <= nCount; ++n) {
        WCHAR szFile[SETUP_TEXT_CCH], szSect[SETUP_TEXT_CCH], szKey[SETUP_TEXT_CCH], szRequired[SETUP_TEXT_CCH];
        ReadEntryText(pszIni, pszSection, L"INI%d_FILE", n, szFile);
        ReadEntryText(pszIni, pszSection, L"INI%d_SECTION", n, szSect);
        ReadEntryText(pszIni, pszSection, L"INI%d_KEY", n, szKey);
        ReadEntryText(pszIni, pszSection, L"INI%d_VALUE", n, szRequired);
        int nFlag = ReadEntryInt(pszIni, pszSection, L"INI%d_FLAG", n);
        if (bSource && g_pSetupEnv) {
            DBGPRINT(L"CSetupCtrl::CheckInifileFromIni:Ini file Source change from %s to %s", szFile,
                     g_pSetupEnv->GetTargetPath());
            lstrcpynW(szFile, g_pSetupEnv->GetTargetPath(), SETUP_TEXT_CCH);
        }
        ExpandMacros(szFile, SETUP_TEXT_CCH);
        CProfileCtrl profile;
        if (!profile.Open(szFile)) {
            DBGPRINT(L"CSetupCtrl::CheckInifileFromIni:Can not find ini file=%s", szFile);
            return 0;
        }
        WCHAR szValue[SETUP_TEXT_CCH];
        szValue[0] = 0;
        if (!profile.GetString(szSect, szKey, szValue, SETUP_TEXT_CCH, nFlag == 1) || !szValue[0]) {
            DBGPRINT(L"CSetupCtrl::CheckInifileFromIni:Missmatch %s(Current Value) vs %s (Required)", szValue,
                     szRequired);
            return 0;
        }
        if (bDest) {
            if (g_pSetupEnv) g_pSetupEnv->SetTargetPath(szValue);
            DBGPRINT(L"CSetupCtrl::CheckInifileFromIni:Get Value %s to target path", szValue);
            return 1;
        }
        if (lstrcmpW(szValue, szRequired) != 0) {
            DBGPRINT(L"CSetupCtrl::CheckInifileFromIni:Missmatch %s(Current Value) vs %s (Required)", szValue,
                     szRequired);
            return 0;
        }
    }
    return 1;
}

int CSetupCtrl::WriteInifileFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = (int)GetPrivateProfileIntW(pszSection, L"INI", 0, pszIni);
    int bDest = (int)GetPrivateProfileIntW(pszSection, L"DESTAR", 0, pszIni);
    DBGPRINT(L"CSetupCtrl::WriteInifileFromIni:Start count=%d", nCount);
    int bResult = 1;
    for (int n = 1; n <= nCount && bResult; ++n) {
        WCHAR szFile[SETUP_TEXT_CCH], szSect[SETUP_TEXT_CCH], szKey[SETUP_TEXT_CCH], szValue[SETUP_TEXT_CCH];
        ReadEntryText(pszIni, pszSection, L"INI%d_FILE", n, szFile);
        if (bDest && g_pSetupEnv) {
            WCHAR szPath[MAX_PATH];
            lstrcpynW(szPath, g_pSetupEnv->GetTargetPath(), MAX_PATH);
            if (szFile[0] && !PathAppendW(szPath, szFile)) szPath[0] = 0;
            lstrcpynW(szFile, szPath, SETUP_TEXT_CCH);
            DBGPRINT(L"CSetupCtrl::WriteInifileFromIni:Ini file destination change to %s ", szFile);
        }
        ReadEntryText(pszIni, pszSection, L"INI%d_SECTION", n, szSect);
        ReadEntryText(pszIni, pszSection, L"INI%d_KEY", n, szKey);
        ReadEntryText(pszIni, pszSection, L"INI%d_VALUE", n, szValue);
        int nFlag = ReadEntryInt(pszIni, pszSection, L"INI%d_FLAG", n);
        ExpandMacros(szFile, SETUP_TEXT_CCH);
        CProfileCtrl profile;
        if (!profile.Open(szFile)) {
            DBGPRINT(L"CSetupCtrl::WriteInifileFromIni:Can not find ini file=%s", szFile);
            bResult = 0;
            break;
        }
        LPCWSTR pszPath = profile.GetFilePath();
        // Without a section or a key the value would land in "[]" or as "=value".
        if ((nFlag == 0 || nFlag == 1 || nFlag == 2) && (!szSect[0] || !szKey[0])) {
            DBGPRINT(nFlag == 0   ? L"CSetupCtrl::WriteInifileFromIni:Override: WriteValue Error %s::%s::%s=%s \n"
                     : nFlag == 1 ? L"CSetupCtrl::WriteInifileFromIni:WriteValue Error %s::%s::%s=%s \n"
                                  : L"CSetupCtrl::WriteInifileFromIni:Decrement:WriteValue Error %s::%s::%s=%s \n",
                     pszPath, szSect, szKey, szValue);
            bResult = 0;
            break;
        }
        if (nFlag == 0) {
            if (profile.WriteString(szSect, szKey, szValue, pszPath)) {
                DBGPRINT(L"CSetupCtrl::WriteInifileFromIni:Override: WriteValue Success %s::%s::%s=%s \n", pszPath,
                         szSect, szKey, szValue);
            } else {
                DBGPRINT(L"CSetupCtrl::WriteInifileFromIni:Override: WriteValue Error %s::%s::%s=%s \n", pszPath,
                         szSect, szKey, szValue);
                bResult = 0;
            }
        } else if (nFlag == 1 || nFlag == 2) {
            int bIncrement = nFlag == 1;
            WCHAR szCurrent[SETUP_TEXT_CCH];
            szCurrent[0] = 0;
            if (!profile.GetString(szSect, szKey, szCurrent, SETUP_TEXT_CCH, 0) || !szCurrent[0]) {
                DBGPRINT(bIncrement ? L"CSetupCtrl::WriteInifileFromIni:GetValue Error %s::%s::%s \n"
                                    : L"CSetupCtrl::WriteInifileFromIni:Decrement:GetValue Error %s::%s::%s \n",
                         pszPath, szSect, szKey);
                bResult = 0;
                break;
            }
            long long current = ParseSignedDecimal(szCurrent);
            long long delta = ParseSignedDecimal(szValue);
            long long next = bIncrement ? current + delta : current - delta;
            if (next > 0x7FFFFFFFLL) next = 0x7FFFFFFFLL;
            if (next < -0x80000000LL) next = -0x80000000LL;
            WCHAR szNew[32];
            wsprintfW(szNew, L"%d", (int)next);
            if (profile.WriteString(szSect, szKey, szNew, pszPath)) {
                DBGPRINT(bIncrement ? L"CSetupCtrl::WriteInifileFromIni:Increment:WriteValue Success %s::%s::%s=%s \n"
                                    : L"CSetupCtrl::WriteInifileFromIni:Decrement:WriteValue Success %s::%s::%s=%s \n",
                         pszPath, szSect, szKey, szNew);
            } else {
                DBGPRINT(bIncrement ? L"CSetupCtrl::WriteInifileFromIni:WriteValue Error %s::%s::%s=%s \n"
                                    : L"CSetupCtrl::WriteInifileFromIni:Decrement:WriteValue Error %s::%s::%s=%s \n",
                         pszPath, szSect, szKey, szNew);
                bResult = 0;
            }
        }
    }
    DBGPRINT(L"CSetupCtrl::WriteInifileFromIni:End %s\n", bResult ? L"TRUE" : L"FALSE");
    return bResult;
}
