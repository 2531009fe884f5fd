// Registry checks, copies and imports: value and key checks in the view the command's WOW
// flag selects, the values shown in message boxes, key trees copied in the program's own
// view, .reg files and ADDREG/DELREG sections imported through the system's tools, and
// key trees searched for a value whose key then gets the script's registry edits.
#include "SetupCtrl.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <wchar.h>

#include "DbgMac.h"
#include "RegCtrl.h"
#include "ScriptRead.h"
#include "SetupEnv.h"
#include "SetupExec.h"
#include "SetupGlobals.h"

namespace {

using script::NumberedKey;
using script::ReadInt;
using script::ReadText;

// REG%d_ROOT: 0 to 4 name a root; any other number keeps the previous entry's.
HKEY RootOfCode(int nCode, HKEY hPrevious) {
    switch (nCode) {
    case 0: return HKEY_CLASSES_ROOT;
    case 1: return HKEY_CURRENT_USER;
    case 2: return HKEY_LOCAL_MACHINE;
    case 3: return HKEY_USERS;
    case 4: return HKEY_CURRENT_CONFIG;
    default: return hPrevious;
    }
}

HKEY RootOfName(LPCWSTR pszName) {
    if (!lstrcmpiW(pszName, L"HKCR")) return HKEY_CLASSES_ROOT;
    if (!lstrcmpiW(pszName, L"HKCU")) return HKEY_CURRENT_USER;
    if (!lstrcmpiW(pszName, L"HKUS")) return HKEY_USERS;
    if (!lstrcmpiW(pszName, L"HKCC")) return HKEY_CURRENT_CONFIG;
    return HKEY_LOCAL_MACHINE;
}

}  // namespace

int CSetupCtrl::CheckRegistryFromIni(LPCWSTR pszIni, LPCWSTR pszSection, int bShow) {
    int nCount = ReadInt(pszIni, pszSection, L"REG", 0);
    int bDestar = ReadInt(pszIni, pszSection, L"DESTAR", 0);
    CRegCtrl reg;
    HKEY hRoot = HKEY_LOCAL_MACHINE;
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szName[64], szKey[SETUP_TEXT_CCH], szEntry[SETUP_TEXT_CCH];
        NumberedKey(szName, L"REG%d_ROOT", i);
        hRoot = RootOfCode(ReadInt(pszIni, pszSection, szName, 2), hRoot);
        NumberedKey(szName, L"REG%d_KEY", i);
        ReadText(pszIni, pszSection, szName, L"", szKey, SETUP_TEXT_CCH);
        NumberedKey(szName, L"REG%d_ENTRY", i);
        ReadText(pszIni, pszSection, szName, L"", szEntry, SETUP_TEXT_CCH);
        NumberedKey(szName, L"REG%d_TYPE", i);
        int nType = ReadInt(pszIni, pszSection, szName, 0);
        NumberedKey(szName, L"REG%d_VALUE", i);
        if (nType == 0) {
            WCHAR szValue[SETUP_TEXT_CCH], szRegValue[REGCTRL_TEXT_CCH];
            ReadText(pszIni, pszSection, szName, L"", szValue, SETUP_TEXT_CCH);
            int bRead = reg.ReadRegSZ(hRoot, szKey, szEntry, szRegValue);
            if (!bRead) {
                DBGPRINT(L"CSetupCtrl::CheckRegistryFromIni can not get reg%d Key=%s Entry=%s", i, szKey, szEntry);
                nResult = 0;
            } else if (bDestar) {
                if (g_pSetupEnv) g_pSetupEnv->SetTargetPath(szRegValue);
                DBGPRINT(L"CSetupCtrl::CheckRegistryFromIni Get Value %d Key=%s Entry=%s RegValue=%s ", i, szKey,
                         szEntry, szRegValue);
                break;
            } else if (lstrcmpiW(szValue, szRegValue) != 0) {
                DBGPRINT(L"CSetupCtrl::CheckRegistryFromIni Unmatch reg%d Key=%s Entry=%s Value=%s RegValue=%s ", i,
                         szKey, szEntry, szValue, szRegValue);
                nResult = 0;
            } else {
                DBGPRINT(L"CSetupCtrl::CheckRegistryFromIni Matching reg%d Key=%s Entry=%s Value=%s RegValue=%s ", i,
                         szKey, szEntry, szValue, szRegValue);
            }
            if (bShow && bRead) ShowMsgBox(pszIni, pszSection, szRegValue);
        } else if (nType == 1) {
            DWORD dwValue = (DWORD)ReadInt(pszIni, pszSection, szName, 0), dwRegValue = 0;
            int bRead = reg.ReadRegDW(hRoot, szKey, szEntry, &dwRegValue);
            if (!bRead || dwRegValue != dwValue) nResult = 0;
            if (bShow && bRead) {
                WCHAR szNumber[16];
                wsprintfW(szNumber, L"%u", dwRegValue);
                ShowMsgBox(pszIni, pszSection, szNumber);
            }
        }
        if (bShow) nResult = 1;
    }
    return nResult;
}

int CSetupCtrl::CheckRegistryKeyFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"REG", 0);
    WCHAR szCode[SETUP_TEXT_CCH];
    ReadText(pszIni, pszSection, L"CMPCODE", L"&", szCode, SETUP_TEXT_CCH);
    CRegCtrl reg;
    HKEY hRoot = HKEY_LOCAL_MACHINE;
    int nResult = 1, bAny = 0;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szName[64], szKey[SETUP_TEXT_CCH];
        NumberedKey(szName, L"REG%d_ROOT", i);
        hRoot = RootOfCode(ReadInt(pszIni, pszSection, szName, 2), hRoot);
        NumberedKey(szName, L"REG%d_KEY", i);
        ReadText(pszIni, pszSection, szName, L"", szKey, SETUP_TEXT_CCH);
        if (reg.IsRegKey(hRoot, szKey)) {
            bAny = 1;
            DBGPRINT(L"CSetupCtrl::CheckRegistryKeyFromIni Found reg%d key=%s", i, szKey);
        } else {
            DBGPRINT(L"CSetupCtrl::CheckRegistryKeyFromIni can not find reg%d Key=%s", i, szKey);
            nResult = 0;
        }
    }
    if (!lstrcmpW(szCode, L"|") && bAny) nResult = 1;
    return nResult;
}

int CSetupCtrl::AddDelRegFromIni(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszSuffix, LPCWSTR pszSubKey,
                                 LPCWSTR pszRoot) {
    return CRegCtrl::AddDelRegFromIni(pszIni, pszSection, pszSuffix, pszSubKey, pszRoot);
}

int CSetupCtrl::AddRegFromRegFile(LPCWSTR pszPath) { return CRegCtrl::AddRegFromRegFile(pszPath); }

int CSetupCtrl::CopyRegistry(HKEY hSrcRoot, LPCWSTR pszSrcKey, HKEY hDestRoot, LPCWSTR pszDestKey) {
    return CRegCtrl::CopyRegistry(hSrcRoot, pszSrcKey, hDestRoot, pszDestKey);
}

int CSetupCtrl::CopyRegistries(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"REG", 0);
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szName[64], szSrc[SETUP_TEXT_CCH], szDest[SETUP_TEXT_CCH], szRootSrc[SETUP_TEXT_CCH],
            szRootDest[SETUP_TEXT_CCH];
        NumberedKey(szName, L"REG%d_SRC", i);
        ReadText(pszIni, pszSection, szName, L"", szSrc, SETUP_TEXT_CCH);
        NumberedKey(szName, L"REG%d_DEST", i);
        ReadText(pszIni, pszSection, szName, L"", szDest, SETUP_TEXT_CCH);
        NumberedKey(szName, L"REG%d_ROOTSRC", i);
        ReadText(pszIni, pszSection, szName, L"HKLM", szRootSrc, SETUP_TEXT_CCH);
        NumberedKey(szName, L"REG%d_ROOTDEST", i);
        ReadText(pszIni, pszSection, szName, L"HKLM", szRootDest, SETUP_TEXT_CCH);
        // An empty key path would name the whole root.
        if (szSrc[0] && szDest[0] && CopyRegistry(RootOfName(szRootSrc), szSrc, RootOfName(szRootDest), szDest)) {
            DBGPRINT(L"Success CopyRegistry %s->%s", szSrc, szDest);
        } else {
            DBGPRINT(L"Error CopyRegistry %s->%s", szSrc, szDest);
            nResult = 0;
        }
    }
    return nResult;
}

int CSetupCtrl::RegFileFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    if (!pszSection || !pszSection[0]) {
        LPCWSTR pszOwn = g_pSetupEnv ? g_pSetupEnv->GetRegFilePath() : L"";
        DBGPRINT(L"REG_FILE %s", pszOwn);
        return pszOwn[0] && AddRegFromRegFile(pszOwn) ? 1 : 0;
    }
    int nCount = ReadInt(pszIni, pszSection, L"REG", 0);
    LPCWSTR pszFolder = g_pSetupEnv ? g_pSetupEnv->GetShortProgramFolder() : L"";
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szName[SETUP_TEXT_CCH + 1], szPath[MAX_PATH];
        NumberedKey(szKey, L"REG%d", i);
        ReadText(pszIni, pszSection, szKey, L"", szName, SETUP_TEXT_CCH + 1);
        // A path cut to fit would name another file.
        int n = wnsprintfW(szPath, MAX_PATH, L"%s\\%s", pszFolder, szName);
        if (n <= 0 || n >= MAX_PATH - 1 || lstrlenW(szName) >= SETUP_TEXT_CCH) szPath[0] = 0;
        DBGPRINT(L"REG_FILE %d Section=%s File=%s", i, pszSection, szPath);
        if (!szName[0] || !szPath[0] || !AddRegFromRegFile(szPath)) nResult = 0;
    }
    return nResult;
}

int CSetupCtrl::RegFileOfUILanguage() {
    WCHAR szPath[MAX_PATH];
    int n = wnsprintfW(szPath, MAX_PATH, L"%s\\%04x.reg", g_pSetupEnv ? g_pSetupEnv->GetProgramFolder() : L"",
                       g_pSetupEnv ? (unsigned)g_pSetupEnv->GetUILanguage() : 0u);
    if (n <= 0 || n >= MAX_PATH - 1) return 0;
    DBGPRINT(L"REG_FILE_UILANG %s", szPath);
    return AddRegFromRegFile(szPath);
}

namespace {

// What HKEY_CURRENT_CONFIG stands for below HKEY_LOCAL_MACHINE.
const WCHAR kCurrentConfig[] = L"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";

// The search below an open key, whose path relative to the root is pszPath.
int SearchKey(HKEY hKey, LPCWSTR pszPath, LPCWSTR pszName, LPCWSTR pszValue, LPWSTR pszOut) {
    DBGPRINT(L"CSetupCtrl::CheckRegistry():g_bWowFlag is %d", g_bWowFlag);
    size_t cchPath = (size_t)lstrlenW(pszPath);
    // The sub key's path: this one's, a backslash and a name of up to 255 characters.
    LPWSTR pszSubPath = static_cast<LPWSTR>(malloc((cchPath + 258) * sizeof(WCHAR)));
    if (!pszSubPath) return 0;
    for (DWORD i = 0;; ++i) {
        WCHAR szSub[256];
        DWORD cch = 256;
        LONG rc = RegEnumKeyExW(hKey, i, szSub, &cch, NULL, NULL, NULL, NULL);
        if (rc == ERROR_NO_MORE_ITEMS) {
            DBGPRINT(L"CSetupCtrl::CheckRegistry():No more entry ");
            break;
        }
        if (rc != ERROR_SUCCESS) break;
        HKEY hSub = NULL;
        if (RegOpenKeyExW(hKey, szSub, 0, CRegCtrl::CurrentMask(KEY_READ), &hSub) != ERROR_SUCCESS) continue;
        // Joined by hand: wsprintfW stops at 1024 characters, a path need not.
        lstrcpyW(pszSubPath, pszPath);
        if (cchPath) lstrcpyW(pszSubPath + cchPath, L"\\");
        lstrcpyW(pszSubPath + cchPath + (cchPath ? 1 : 0), szSub);
        int bFound = SearchKey(hSub, pszSubPath, pszName, pszValue, pszOut);
        RegCloseKey(hSub);
        if (bFound) {
            DBGPRINT(L"CSetupCtrl::CheckRegistry():CheckRegistry()  Found and Return.");
            free(pszSubPath);
            return 1;
        }
    }
    free(pszSubPath);
    DWORD cchMaxName = 0, cbMaxData = 0;
    if (RegQueryInfoKeyW(hKey, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &cchMaxName, &cbMaxData, NULL, NULL) !=
        ERROR_SUCCESS)
        return 0;
    DWORD cchName = cchMaxName + 1, cchData = cbMaxData / sizeof(WCHAR) + 1;
    LPWSTR pszEnumName = static_cast<LPWSTR>(malloc(cchName * sizeof(WCHAR)));
    LPWSTR pszData = static_cast<LPWSTR>(malloc(cchData * sizeof(WCHAR)));
    int bFound = 0;
    for (DWORD i = 0; pszEnumName && pszData && !bFound; ++i) {
        DWORD cch = cchName, cb = (cchData - 1) * sizeof(WCHAR), dwType = 0;
        LONG rc = RegEnumValueW(hKey, i, pszEnumName, &cch, NULL, &dwType, reinterpret_cast<LPBYTE>(pszData), &cb);
        if (rc == ERROR_MORE_DATA) continue;  // grew since: too long to be the text sought
        if (rc != ERROR_SUCCESS) break;
        if (dwType != REG_SZ) continue;
        pszData[cb / sizeof(WCHAR)] = 0;
        if (lstrcmpW(pszEnumName, pszName) != 0 || lstrcmpW(pszData, pszValue) != 0) continue;
        // A path that does not fit the caller's buffer cannot be handed on.
        if (cchPath >= SETUP_TEXT_CCH) {
            DBGPRINT(L"CSetupCtrl::CheckRegistry():Found key path too long %s", pszPath);
            continue;
        }
        lstrcpynW(pszOut, pszPath, SETUP_TEXT_CCH);
        DBGPRINT(L"CSetupCtrl::CheckRegistry():Found Registry()  %d", (int)i);
        bFound = 1;
    }
    free(pszEnumName);
    free(pszData);
    return bFound;
}

// The INF root for a root key, and the path below it (HKEY_CURRENT_CONFIG is spelt out
// below HKLM); 0 when the path does not fit.
int InfRootOf(HKEY hRoot, LPCWSTR pszPath, LPCWSTR* ppszRoot, LPWSTR pszFull) {
    *ppszRoot = hRoot == HKEY_CLASSES_ROOT   ? L"HKCR"
                : hRoot == HKEY_CURRENT_USER ? L"HKCU"
                : hRoot == HKEY_USERS        ? L"HKU"
                                             : L"HKLM";
    if (hRoot != HKEY_CURRENT_CONFIG) {
        lstrcpynW(pszFull, pszPath, SETUP_TEXT_CCH);
        return 1;
    }
    int n = wnsprintfW(pszFull, SETUP_TEXT_CCH, pszPath[0] ? L"%s\\%s" : L"%s", kCurrentConfig, pszPath);
    return n > 0 && n < SETUP_TEXT_CCH - 1;
}

}  // namespace

int CSetupCtrl::CheckRegistry(HKEY hRoot, LPCWSTR pszKey, LPCWSTR pszName, LPCWSTR pszValue, LPWSTR pszOut) {
    HKEY hKey = NULL;
    LONG rc = RegOpenKeyExW(hRoot, pszKey, 0, CRegCtrl::CurrentMask(KEY_READ), &hKey);
    if (rc != ERROR_SUCCESS) {
        DBGPRINT(L"CSetupCtrl::CheckRegistry():g_bWowFlag is %d", g_bWowFlag);
        return 0;
    }
    // The path as given, without the separators at its ends.
    LPCWSTR pszStart = pszKey ? pszKey : L"";
    while (*pszStart == L'\\') ++pszStart;
    LPWSTR pszPath = static_cast<LPWSTR>(malloc(((size_t)lstrlenW(pszStart) + 1) * sizeof(WCHAR)));
    int bFound = 0;
    if (pszPath) {
        lstrcpyW(pszPath, pszStart);
        for (int n = lstrlenW(pszPath); n > 0 && pszPath[n - 1] == L'\\'; --n) pszPath[n - 1] = 0;
        bFound = SearchKey(hKey, pszPath, pszName, pszValue, pszOut);
        free(pszPath);
    }
    RegCloseKey(hKey);
    return bFound;
}

int CSetupCtrl::CheckFindRegFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = ReadInt(pszIni, pszSection, L"REG", 0);
    WCHAR szCode[SETUP_TEXT_CCH];
    ReadText(pszIni, pszSection, L"CMPCODE", L"&", szCode, SETUP_TEXT_CCH);
    HKEY hRoot = HKEY_LOCAL_MACHINE;
    int nResult = 1, bAny = 0;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szName[64], szKey[SETUP_TEXT_CCH], szEntry[SETUP_TEXT_CCH], szValue[SETUP_TEXT_CCH],
            szEdits[SETUP_TEXT_CCH], szFound[SETUP_TEXT_CCH], szFull[SETUP_TEXT_CCH];
        NumberedKey(szName, L"REG%d_ROOT", i);
        hRoot = RootOfCode(ReadInt(pszIni, pszSection, szName, 2), hRoot);
        NumberedKey(szName, L"REG%d_KEY", i);
        ReadText(pszIni, pszSection, szName, L"", szKey, SETUP_TEXT_CCH);
        NumberedKey(szName, L"REG%d_NAME", i);
        ReadText(pszIni, pszSection, szName, L"", szEntry, SETUP_TEXT_CCH);
        NumberedKey(szName, L"REG%d_VALUE", i);
        ReadText(pszIni, pszSection, szName, L"", szValue, SETUP_TEXT_CCH);
        NumberedKey(szName, L"REG%d_SECTION", i);
        ReadText(pszIni, pszSection, szName, L"", szEdits, SETUP_TEXT_CCH);
        szFound[0] = 0;
        if (!CheckRegistry(hRoot, szKey, szEntry, szValue, szFound)) {
            DBGPRINT(L"CSetupCtrl::CheckFindRegFromIni can not find reg%d Key=%s Name=%s Value=%s", i, szKey, szEntry,
                     szValue);
            nResult = 0;
            continue;
        }
        // The edits go to the key found, under the root and in the view it was found in.
        LPCWSTR pszRoot = L"HKLM";
        if (InfRootOf(hRoot, szFound, &pszRoot, szFull)) {
            AddDelRegFromIni(pszIni, szEdits, NULL, szFull, pszRoot);
        } else {
            DBGPRINT(L"CSetupCtrl::CheckFindRegFromIni key path too long %s", szFound);
        }
        bAny = 1;
        DBGPRINT(L"CSetupCtrl::CheckFindRegFromIni Found reg%d key=%s", i, szFound);
    }
    if (!lstrcmpW(szCode, L"|") && bAny) nResult = 1;
    return nResult;
}
