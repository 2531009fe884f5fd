// Switch sections and list checks: branches of the script on the machine and on the run.
#include "SetupCtrl.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "DbgMac.h"
#include "RegCtrl.h"
#include "SetupEnv.h"
#include "SetupExec.h"
#include "SetupGlobals.h"

namespace {

#define LOCATIONS_KEY L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations"

// The first read of a whole section; a longer one is read again into a larger buffer.
const DWORD kSectionFirstCch = 3270;
const DWORD kSectionMaxCch = 1u << 22;
const WCHAR kSwitchDelimiters[] = L"= \"";

struct SwitchInfo {
    LPCWSTR pszKeyword;   // the command's keyword, at the start of its log lines
    unsigned uFailure;    // the switch's own failure code
    LPCWSTR pszListName;  // the list check's keyword
    LPCWSTR pszCountKey;  // the list's count key and item prefix
    unsigned uListFailure;
};

const SwitchInfo& InfoOf(SetupSwitchKind kind) {
    static const SwitchInfo s_info[] = {
        {L"HWID_SECTION", 30, L"", L"", 0},
        {L"UILANG_SECTION", 31, L"CHECK_UILANG", L"LANG", 54},
        {L"OS_SECTION", 32, L"", L"", 0},
        {L"NONUNILANG_SECTION", 50, L"CHECK_NONUNILANG", L"LANG", 53},
        {L"USERGEOID_SECTION", 51, L"CHECK_USERGEOID", L"ID", 55},
        {L"LOCATIONID_SECTION", 52, L"CHECK_LOCATIONID", L"ID", 56},
        {L"PRECODE_SECTION", 65, L"", L"", 0},
        {L"PARAM_SECTION", 76, L"CHECK_PARAM", L"PARAM", 77},
    };
    return s_info[kind];
}

LPCWSTR ScriptPath() { return g_pSetupEnv ? g_pSetupEnv->GetScriptPath() : L""; }

// The whole argument section (pairs separated by terminators, ending with two); null when
// memory runs out. *pcch receives the length returned by the profile function.
LPWSTR ReadWholeSection(LPCWSTR pszSection, DWORD* pcch) {
    *pcch = 0;
    for (DWORD cch = kSectionFirstCch; cch <= kSectionMaxCch; cch *= 2) {
        LPWSTR psz = (LPWSTR)calloc(cch, sizeof(WCHAR));
        if (!psz) return NULL;
        DWORD n = GetPrivateProfileSectionW(pszSection, psz, cch, ScriptPath());
        if (n < cch - 2 || cch * 2 > kSectionMaxCch) {
            *pcch = n;
            return psz;
        }
        free(psz);
    }
    return NULL;
}

// The next token of the line at *pp, cut in place; null when none is left.
LPWSTR NextToken(LPWSTR* pp) {
    LPWSTR p = *pp;
    while (*p && wcschr(kSwitchDelimiters, *p)) ++p;
    if (!*p) {
        *pp = p;
        return NULL;
    }
    LPWSTR pStart = p;
    while (*p && !wcschr(kSwitchDelimiters, *p)) ++p;
    if (*p) *p++ = 0;
    *pp = p;
    return pStart;
}

void LowerAscii(LPWSTR psz) {
    for (; *psz; ++psz)
        if (*psz >= L'A' && *psz <= L'Z') *psz = (WCHAR)(*psz - L'A' + L'a');
}

// Owns a heap text; frees it on every way out, the end of the run included.
class CHeapText {
public:
    explicit CHeapText(LPWSTR p) : m_p(p) {}
    ~CHeapText() { free(m_p); }
    LPWSTR Get() const { return m_p; }

private:
    CHeapText(const CHeapText&);
    CHeapText& operator=(const CHeapText&);
    LPWSTR m_p;
};

LPCWSTR LowerArguments() { return g_pSetupEnv ? g_pSetupEnv->GetLowerArguments() : L""; }

// A switch key or list item as a number of the base (base 16 takes a "0x"); a text without
// digits gives 0. The language, geo and location IDs (bLong) are read as wcstol reads them
// with a 32-bit long; OS and result codes keep all 32 bits, and a longer number matches
// nothing (0).
int ReadNumber(LPCWSTR pszText, int nBase, int bLong, DWORD* pdwValue) {
    *pdwValue = 0;
    WCHAR* pEnd = NULL;
    long n = wcstol(pszText, &pEnd, nBase);
    if (pEnd == pszText) return 1;
    if (!bLong) return CSetupCtrl::ParseNumber(pszText, nBase, pdwValue);
#if LONG_MAX > 0x7FFFFFFFL
    if (n > 0x7FFFFFFFL) n = 0x7FFFFFFFL;
    if (n < -0x7FFFFFFFL - 1) n = -0x7FFFFFFFL - 1;
#endif
    *pdwValue = (DWORD)n;
    return 1;
}

}  // namespace

DWORD CSetupCtrl::GetLocationID() {
    DBGPRINT(L"CSetupCtrl::GetLocationID:Start");
    CRegCtrl reg;
    DWORD dwCurrent = 0;
    if (!reg.ReadRegDW(HKEY_LOCAL_MACHINE, LOCATIONS_KEY, L"CurrentID", &dwCurrent)) {
        DBGPRINT(L"CSetupCtrl::GetLocationID:Can no get location current ID.");
        return 0;
    }
    WCHAR szKey[SETUP_TEXT_CCH];
    wnsprintfW(szKey, SETUP_TEXT_CCH, L"%s\\Location%d", LOCATIONS_KEY, (int)dwCurrent);
    DWORD dwCountry = 0;
    if (!reg.ReadRegDW(HKEY_LOCAL_MACHINE, szKey, L"Country", &dwCountry)) {
        DBGPRINT(L"CSetupCtrl::GetLocationID:Can no get country ID.");
        return 0;
    }
    DBGPRINT(L"CSetupCtrl::GetLocationID %x:End", dwCountry);
    return dwCountry;
}

int CSetupCtrl::SwitchMatches(SetupSwitchKind kind, LPCWSTR pszKey, unsigned uPrevious, DWORD dwLocation,
                              DWORD* pdwParsed) {
    DWORD dw = 0;
    *pdwParsed = 0;
    switch (kind) {
    case SWITCH_HWID: return IsExist(pszKey);
    case SWITCH_PARAM: {
        // An empty text occurs in every text; one longer than the kept arguments in none.
        if (wcslen(pszKey) >= SETUP_TEXT_CCH) return 0;
        WCHAR szLower[SETUP_TEXT_CCH];
        lstrcpynW(szLower, pszKey, SETUP_TEXT_CCH);
        LowerAscii(szLower);
        return wcsstr(LowerArguments(), szLower) != NULL;
    }
    case SWITCH_LOCATIONID:
        // The listed ID is cut to 16 bits, so a location above 65535 never matches.
        ReadNumber(pszKey, 10, 1, &dw);
        *pdwParsed = dw;
        return (WORD)dw == dwLocation;
    default: break;
    }
    int bLong = kind != SWITCH_OS && kind != SWITCH_PRECODE;
    if (!ReadNumber(pszKey, 16, bLong, &dw)) return 0;
    *pdwParsed = dw;
    if (!g_pSetupEnv) return 0;
    switch (kind) {
    case SWITCH_UILANG: return (WORD)dw == g_pSetupEnv->GetUILanguage();
    case SWITCH_NONUNILANG: return (WORD)dw == g_pSetupEnv->GetSystemLanguage();
    case SWITCH_OS: return dw == g_pSetupEnv->GetOSCode();
    case SWITCH_USERGEOID: return (WORD)dw == g_pSetupEnv->GetGeoID();
    case SWITCH_PRECODE: return dw == uPrevious;
    default: return 0;
    }
}

unsigned CSetupCtrl::SwitchSectionFromIni(SetupSwitchKind kind, LPCWSTR pszSection, unsigned uPrevious) {
    const SwitchInfo& info = InfoOf(kind);
    LPCWSTR pszName = info.pszKeyword;
    if (kind == SWITCH_PRECODE || kind == SWITCH_PARAM)
        DBGPRINT(L"%s Precode=0x%x", pszName, uPrevious);
    else
        DBGPRINT(L"%s", pszName);
    unsigned uResult = 0;
    if (!pszSection || !pszSection[0]) return 0;

    DWORD dwLocation = kind == SWITCH_LOCATIONID ? GetLocationID() : 0;

    DWORD cchSection = 0;
    CHeapText lines(ReadWholeSection(pszSection, &cchSection));
    LPWSTR pszLines = lines.Get();
    if (!pszLines) {
        DBGPRINT(L"%s Can not read section %s.", pszName, pszSection);
        return info.uFailure;
    }
    for (DWORD pos = 0; pos < cchSection;) {
        LPWSTR pszLine = pszLines + pos;
        size_t nLine = wcslen(pszLine);
        pos += (DWORD)nLine + 1;
        if (nLine == 0) continue;
        if (!wcschr(pszLine, L'=')) {
            DBGPRINT(L"%s Can not find \"=\" character in one line.", pszName);
            continue;
        }
        // The line is cut into its tokens in place: the walk goes on after its terminator.
        LPWSTR pCursor = pszLine;
        LPWSTR pszKey = NextToken(&pCursor);
        if (!pszKey) {
            DBGPRINT(L"%s Get Keyname Error _tcstok.", pszName);
            continue;
        }
        LPWSTR pszRun = NextToken(&pCursor);
        if (!pszRun) {
            DBGPRINT(L"%s Get Keyvalue Error _tcstok.", pszName);
            continue;
        }
        DBGPRINT(L"%s Get _tcstok success %s=%s. ", pszName, pszKey, pszRun);
        DWORD dwParsed = 0;
        if (SwitchMatches(kind, pszKey, uPrevious, dwLocation, &dwParsed)) {
            if (GetSectionDepth() >= SETUP_MAX_SECTION_DEPTH) {
                DBGPRINT(L"%s Section %s nests deeper than %d levels.", pszName, pszRun, SETUP_MAX_SECTION_DEPTH);
                uResult = info.uFailure;
                continue;
            }
            if (GetSectionRuns() >= SETUP_MAX_SECTION_RUNS) {
                DBGPRINT(L"%s Section %s not run: this run has run %d sections.", pszName, pszRun,
                         SETUP_MAX_SECTION_RUNS);
                uResult = info.uFailure;
                continue;
            }
            DBGPRINT(L"%s Execute Section %s", pszName, pszRun);
            unsigned uMask = ExecuteSection(pszRun, 0);
            if (uMask != 0) {
                uResult = info.uFailure;
                DBGPRINT(L"%s Execute Section return code %d", pszName, (int)uMask);
            }
        } else if (kind == SWITCH_UILANG) {
            DBGPRINT(L"UILANG_SECTION did not match UILANG %d", (int)dwParsed);
        } else if (kind == SWITCH_OS) {
            DBGPRINT(L"OS_SECTION did not match OS %d", (int)dwParsed);
        } else if (kind == SWITCH_PRECODE) {
            DBGPRINT(L"PRECODE_SECTION did not match PRECODE %x EACHID %x", uPrevious, dwParsed);
        }
    }
    return uResult;
}

unsigned CSetupCtrl::CheckListFromIni(SetupSwitchKind kind, LPCWSTR pszSection, int* pbQuit) {
    const SwitchInfo& info = InfoOf(kind);
    DWORD dwLocation = kind == SWITCH_LOCATIONID ? GetLocationID() : 0;
    int nCount = 0;
    if (pszSection && pszSection[0]) nCount = (int)GetPrivateProfileIntW(pszSection, info.pszCountKey, 0, ScriptPath());
    WCHAR szKey[32];
    WCHAR szItem[SETUP_ITEM_CCH];
    for (int i = 1; i <= nCount; ++i) {
        wnsprintfW(szKey, 32, L"%s%d", info.pszCountKey, i);
        GetPrivateProfileStringW(pszSection, szKey, L"", szItem, SETUP_ITEM_CCH, ScriptPath());
        DBGPRINT(L"%s:%s", info.pszListName, szItem);
        // A listed text is lowered like the arguments it is looked for in; the match line
        // shows it so.
        if (kind == SWITCH_PARAM) LowerAscii(szItem);
        DWORD dwParsed = 0;
        if (!SwitchMatches(kind, szItem, 0, dwLocation, &dwParsed)) continue;
        switch (kind) {
        case SWITCH_NONUNILANG:
            DBGPRINT(L"Detect NON UNICODE LANGUGAGE ID %x=%x", (int)g_pSetupEnv->GetSystemLanguage(), dwParsed);
            break;
        case SWITCH_UILANG:
            DBGPRINT(L"Detect UI LANGUGAGE ID %x=%x", (int)g_pSetupEnv->GetUILanguage(), dwParsed);
            break;
        case SWITCH_USERGEOID: DBGPRINT(L"Detect User Geo ID %x=%x", g_pSetupEnv->GetGeoID(), dwParsed); break;
        case SWITCH_LOCATIONID: DBGPRINT(L"Detect Location UD %d=%d", (int)dwLocation, (int)dwParsed); break;
        default: DBGPRINT(L"CHECK_PARAM:Detect Param %s=%s", LowerArguments(), szItem); break;
        }
        return 0;
    }
    switch (kind) {
    case SWITCH_NONUNILANG: DBGPRINT(L"Error did not find any non unicode language!"); break;
    case SWITCH_UILANG: DBGPRINT(L"Error did not find any non ui language!"); break;
    case SWITCH_LOCATIONID: DBGPRINT(L"Error did not find any location id!"); break;
    case SWITCH_PARAM: DBGPRINT(L"CHECK_PARAM:Error did not match param!"); break;
    default: break;
    }
    if (pbQuit) *pbQuit = 1;
    return info.uListFailure;
}

unsigned CSetupCtrl::CheckWow6432FromIni(LPCWSTR, int* pbQuit) {
    if (!SetupIsWow64()) return 0;
    DBGPRINT(L"WOW6432 process");
    if (pbQuit) *pbQuit = 1;
    return 3;
}

unsigned CSetupCtrl::CheckVendorFromIni(LPCWSTR, int* pbQuit) {
    LPCWSTR pszVendor = g_pSetupEnv ? g_pSetupEnv->GetVendor() : L"";
    if (lstrcmpiW(pszVendor, L"QUARVEN") == 0) return 0;
    DBGPRINT(L"Error check Vendor %s", pszVendor);
    if (pbQuit) *pbQuit = 1;
    return 5;
}

unsigned CSetupCtrl::CheckAdminPrivilegeFromIni(LPCWSTR pszSection, int* pbQuit) {
    DBGPRINT(L"CHECK_ADMINPRIVILEGE %s %s", ScriptPath(), pszSection ? pszSection : L"");
    if (IsUserAnAdmin()) return 0;
    if (pbQuit) *pbQuit = 1;
    return 47;
}
