// System checks and timing: the wait for the system's start time, the string and version
// comparison of the OEM string and of WMI values, the battery and management-engine
// checks, the module power switch and the script's pause.
#include "SetupCtrl.h"

#include <mmsystem.h>
#include <new>
#include <string.h>
#include <wchar.h>

#include "DbgMac.h"
#include "HCIDevice.h"
#include "SMBIOSDataInfo.h"
#include "SetupEnv.h"

namespace {

#define SETUP_LONG_TEXT_CCH 520
#define WAIT_INTERVAL_MS 3000
#define VERSION_TEXT_CCH 25
#define VERSION_FIELDS 6
// "$AMT" as a little-endian 32-bit value.
#define AMT_SIGNATURE 0x544D4124
#define SMBIOS_TYPE_AMT 130

typedef ULONGLONG(WINAPI* PFN_GetTickCount64)(void);

void ReadText(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszKey, LPCWSTR pszDefault, LPWSTR pszOut, DWORD cchOut) {
    lstrcpynW(pszOut, pszDefault, (int)cchOut);
    if (!pszIni || !pszSection || !pszSection[0]) return;
    GetPrivateProfileStringW(pszSection, pszKey, pszDefault, pszOut, cchOut, pszIni);
}

int ReadInt(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszKey, int nDefault) {
    if (!pszIni || !pszSection || !pszSection[0]) return nDefault;
    return (int)GetPrivateProfileIntW(pszSection, pszKey, nDefault, pszIni);
}

// The comparison codes of CheckStringFromIni and their log lines. bStrFirst: the lines
// name the listed text before the value.
enum CompareKind { CMP_EXACT, CMP_CONTAINS, CMP_PREFIX, CMP_EQ, CMP_NE, CMP_LE, CMP_LT, CMP_GE, CMP_GT };

struct CompareCode {
    LPCWSTR pszCode;
    CompareKind kind;
    LPCWSTR pszTrue;
    LPCWSTR pszFalse;
    int bStrFirst;
};

#define CSI L"CSetupCtrl::CheckStringFromIni "
const CompareCode kCompareCodes[] = {
    {L"0", CMP_EXACT, CSI L"Complete matching %s vs %s", CSI L"Complete miss-matching %s vs %s", 1},
    {L"1", CMP_CONTAINS, CSI L"Include matching %s vs %s", CSI L"Include miss-matching %s vs %s", 1},
    {L"2", CMP_PREFIX, CSI L"Include matching %s vs %s", CSI L"Include miss-matching %s vs %s", 1},
    {L"==", CMP_EQ, CSI L"TRUE %s == %s", CSI L"FALSE %s == %s", 1},
    {L"!=", CMP_NE, CSI L"TRUE %s !=  %s", CSI L"FALSE %s != %s", 0},
    {L"<=", CMP_LE, CSI L"TRUE %s =<  %s", CSI L"FALSE %s =< %s", 0},
    {L"<", CMP_LT, CSI L"TRUE %s <  %s", CSI L"FALSE %s < %s", 0},
    {L">=", CMP_GE, CSI L"TRUE %s =>  %s", CSI L"FALSE %s => %s", 0},
    {L">", CMP_GT, CSI L"TRUE %s > %s", CSI L"FALSE %s > %s", 0},
};
#undef CSI

int Satisfies(CompareKind kind, LPCWSTR pszEntry, LPCWSTR pszValue) {
    switch (kind) {
    case CMP_EXACT: return wcscmp(pszEntry, pszValue) == 0;
    case CMP_CONTAINS: return wcsstr(pszEntry, pszValue) != NULL;
    case CMP_PREFIX: {
        int nEntry = lstrlenW(pszEntry);
        if (lstrlenW(pszValue) < nEntry) return 0;
        return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, pszValue, nEntry, pszEntry, nEntry) == CSTR_EQUAL;
    }
    default: break;
    }
    int c = CSetupCtrl::CompareVersion(pszValue, pszEntry);
    switch (kind) {
    case CMP_EQ: return c == 0;
    case CMP_NE: return c != 0;
    case CMP_LE: return c <= 0;
    case CMP_LT: return c < 0;
    case CMP_GE: return c >= 0;
    case CMP_GT: return c > 0;
    default: return 0;
    }
}

// The fields of a version text.
void VersionFields(LPCWSTR pszText, unsigned long aFields[VERSION_FIELDS]) {
    for (int i = 0; i < VERSION_FIELDS; ++i) aFields[i] = 0;
    LPCWSTR p = pszText;
    for (int i = 0; i < VERSION_FIELDS && *p; ++i) {
        while (*p == L'.' || *p == L',' || *p == L' ') ++p;
        if (!*p) break;
        unsigned long long value = 0;
        for (; *p >= L'0' && *p <= L'9'; ++p)
            if (value < 0xFFFFFFFFull) value = value * 10 + (unsigned)(*p - L'0');
        aFields[i] = value > 0xFFFFFFFFull ? 0xFFFFFFFFul : (unsigned long)value;
        while (*p && *p != L'.' && *p != L',' && *p != L' ') ++p;
    }
}

}  // namespace

int CSetupCtrl::CompareVersion(LPCWSTR pszVersion, LPCWSTR pszRequired) {
    WCHAR szVersion[VERSION_TEXT_CCH], szRequired[VERSION_TEXT_CCH];
    lstrcpynW(szVersion, pszVersion ? pszVersion : L"", VERSION_TEXT_CCH);
    lstrcpynW(szRequired, pszRequired ? pszRequired : L"", VERSION_TEXT_CCH);
    if (lstrcmpiW(szVersion, szRequired) == 0) return 0;
    unsigned long aVersion[VERSION_FIELDS], aRequired[VERSION_FIELDS];
    VersionFields(szVersion, aVersion);
    VersionFields(szRequired, aRequired);
    for (int i = 0; i < VERSION_FIELDS; ++i)
        if (aVersion[i] != aRequired[i]) return aVersion[i] > aRequired[i] ? 1 : -1;
    return 0;
}

int CSetupCtrl::WaitForStarttime(LPCWSTR pszIni, LPCWSTR pszSection) {
    DWORD dwWait = (DWORD)ReadInt(pszIni, pszSection, L"WAIT", 0);
    DWORD dwTimeout = (DWORD)ReadInt(pszIni, pszSection, L"TIMEOUT", 0);
    // The 64-bit tick count where the system has one: it does not wrap after 49.7 days.
    HMODULE hKernel32 = GetModuleHandleW(L"kernel32.dll");
    PFN_GetTickCount64 pfnTick64 = hKernel32 ? reinterpret_cast<PFN_GetTickCount64>(reinterpret_cast<void (*)(void)>(
                                                   GetProcAddress(hKernel32, "GetTickCount64")))
                                             : NULL;
    ULONGLONG ullStart = pfnTick64 ? pfnTick64() : timeGetTime();
    DBGPRINT(L"CSetupCtrl::WaitForStarttime:Waittime=%d,Timeout=%d,Interval=%d", (int)dwWait, (int)dwTimeout,
             WAIT_INTERVAL_MS);
    int nResult = 0;
    for (;;) {
        ULONGLONG ullNow = pfnTick64 ? pfnTick64() : timeGetTime();
        if (ullNow > dwWait) {
            DBGPRINT(L"CSetupCtrl::WaitForStarttime:detect starttime is OK. dwCur=%d > intWait=%d break", (int)ullNow,
                     (int)dwWait);
            nResult = 1;
            break;
        }
        if (ullNow < ullStart) {
            DBGPRINT(L"CSetupCtrl::WaitForStarttime:detect over 49.7 days set starttime = 0");
            ullStart = 0;
        }
        if (ullNow - ullStart > dwTimeout) {
            DBGPRINT(L"CSetupCtrl::WaitForStarttime:detect timeout current=%d,start=%d,timeout=%d", (int)ullNow,
                     (int)ullStart, (int)dwTimeout);
            break;
        }
        Sleep(WAIT_INTERVAL_MS);
    }
    DBGPRINT(L"CSetupCtrl::WaitForStarttime:End %d", nResult);
    return nResult;
}

int CSetupCtrl::CheckStringFromIni(LPCWSTR pszIni, LPCWSTR pszSection, LPCWSTR pszValue) {
    int nCount = ReadInt(pszIni, pszSection, L"STR", 0);
    WCHAR szCode[SETUP_TEXT_CCH];
    ReadText(pszIni, pszSection, L"CMPCODE", L"", szCode, SETUP_TEXT_CCH);
    DBGPRINT(L"CSetupCtrl::CheckStringFromIni:Start count=%d cmpcode=%s", nCount, szCode);
    const CompareCode* pCode = NULL;
    for (size_t i = 0; i < sizeof(kCompareCodes) / sizeof(kCompareCodes[0]); ++i)
        if (lstrcmpiW(kCompareCodes[i].pszCode, szCode) == 0) pCode = &kCompareCodes[i];
    if (!pszValue) pszValue = L"";

    int nResult = 0;
    for (int n = 1; n <= nCount; ++n) {
        if (!pCode) {
            DBGPRINT(L"CSetupCtrl::CheckStringFromIni unknown compare code. %s", szCode);
            break;
        }
        // A value that could not be read, or an entry left empty, satisfies nothing.
        if (!pszValue[0]) {
            DBGPRINT(L"CSetupCtrl::CheckStringFromIni Error empty value");
            break;
        }
        WCHAR szKey[32], szEntry[SETUP_LONG_TEXT_CCH];
        wsprintfW(szKey, L"STR%d", n);
        ReadText(pszIni, pszSection, szKey, L"", szEntry, SETUP_LONG_TEXT_CCH);
        if (!szEntry[0]) {
            DBGPRINT(L"CSetupCtrl::CheckStringFromIni Error empty %s", szKey);
            continue;
        }
        int bHolds = Satisfies(pCode->kind, szEntry, pszValue);
        LPCWSTR pszFirst = pCode->bStrFirst ? szEntry : pszValue;
        LPCWSTR pszSecond = pCode->bStrFirst ? pszValue : szEntry;
        DBGPRINT(bHolds ? pCode->pszTrue : pCode->pszFalse, pszFirst, pszSecond);
        if (bHolds) {
            nResult = 1;
            break;
        }
    }
    DBGPRINT(L"CSetupCtrl::CheckStringFromIni:End");
    return nResult;
}

int CSetupCtrl::CheckBatteryFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCheck = ReadInt(pszIni, pszSection, L"CHKCODE", 0);
    CDevCtrl* pDev = new (std::nothrow) CDevCtrl();
    int nBattery = pDev ? pDev->GetBatteryStatus() : 0;
    delete pDev;
    int nResult = (nCheck == 0 && (nBattery & DEVCTRL_BATTERY_PRESENT)) ||
                  (nCheck == 1 && (nBattery & DEVCTRL_BATTERY_DISCHARGING));
    DBGPRINT(L"CSetupCtrl::CheckBatteryFromIni checkcode=%d battercode=%d", nCheck, nBattery);
    return nResult;
}

int CSetupCtrl::CheckWmidataFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    static const LPCWSTR s_keys[] = {L"WMI_NAMESPACE", L"WMI_CLASSNAME", L"WMI_PROPERTYNAME"};
    WCHAR aszNames[3][SETUP_LONG_TEXT_CCH];
    for (int i = 0; i < 3; ++i) {
        ReadText(pszIni, pszSection, s_keys[i], L"", aszNames[i], SETUP_LONG_TEXT_CCH);
        if (!aszNames[i][0]) {
            DBGPRINT(L"CSetupCtrl::CheckWmidataFromIni Error Can not get %s", s_keys[i]);
            return 0;
        }
    }
    WCHAR szValue[WMICTRL_TEXT_CCH] = {0};
    WmiCtrl localWmi;
    WmiCtrl& wmi = g_pSetupEnv ? g_pSetupEnv->GetWmi() : localWmi;
    if (!wmi.GetValue(aszNames[0], aszNames[1], aszNames[2], szValue, WMICTRL_TEXT_CCH)) {
        DBGPRINT(L"CheckWmidataFromIni Eror GetValue.");
        return 0;
    }
    DBGPRINT(L"CheckWmidataFromIni %s", szValue);
    if (CheckStringFromIni(pszIni, pszSection, szValue)) return 1;
    DBGPRINT(L"CheckWmidataFromIni %s", szValue);
    return 0;
}

int CSetupCtrl::CheckAMT() {
    DBGPRINT(L"CSetupCtrl::CheckAMT:Start");
    CSMBIOSDataInfo* pInfo = new (std::nothrow) CSMBIOSDataInfo();
    if (!pInfo) return 0;
    int nResult = 0;
    if (!pInfo->Load()) {
        pInfo->Free();
        delete pInfo;
        return 0;
    }
    BYTE abSignature[4] = {0};
    BYTE bySupport = 0;
    if (!pInfo->GetStructField(SMBIOS_TYPE_AMT, 4, SMBIOS_WIDTH_DWORD, abSignature)) {
        DBGPRINT(L"CSetupCtrl::CheckAMT::Can not find Type 130.");
    } else if ((DWORD)abSignature[0] + ((DWORD)abSignature[1] << 8) + ((DWORD)abSignature[2] << 16) +
                   ((DWORD)abSignature[3] << 24) !=
               AMT_SIGNATURE) {
        DBGPRINT(L"CSetupCtrl::CheckAMT::Fail AMT signature.");
    } else if (!pInfo->GetStructField(SMBIOS_TYPE_AMT, 8, SMBIOS_WIDTH_BYTE, &bySupport)) {
        DBGPRINT(L"CSetupCtrl::CheckAMT::Error Type 130 0x8 .");
    } else if (bySupport & 1) {
        DBGPRINT(L"CSetupCtrl::CheckAMT::Success AMT Support.");
        nResult = 1;
    } else {
        DBGPRINT(L"CSetupCtrl::CheckAMT::Fail AMT support.");
    }
    pInfo->Free();
    delete pInfo;
    DBGPRINT(L"CSetupCtrl::CheckAMT:End");
    return nResult;
}

int CSetupCtrl::CmdZolvi(LPCWSTR pszIni, LPCWSTR pszSection) {
    DBGPRINT(L"CSetupCtrl::CmdZolvi:Start");
    CQivHCICtrl* pHci = new (std::nothrow) CQivHCICtrl();
    WCHAR szKey[256];
    ReadText(pszIni, pszSection, L"KEY", L"DefaultKEY", szKey, 256);
    int nValue = ReadInt(pszIni, pszSection, L"VALUE", 1);
    int nResult = 0;
    if (lstrcmpiW(szKey, L"MBNPOWER") == 0) {
        if (pHci && pHci->MBNPower(nValue != 0)) {
            DBGPRINT(L"CSetupCtrl::CmdZolvi:MBNPower Success");
            nResult = 1;
        } else {
            DBGPRINT(L"CSetupCtrl::CmdZolvi:MBNPower Error");
        }
    } else {
        DBGPRINT(L"CSetupCtrl::CmdZolvi:Unknown Command");
    }
    DBGPRINT(L"CSetupCtrl::CmdZolvi::End.");
    delete pHci;
    return nResult;
}

int CSetupCtrl::CmdSleep(LPCWSTR pszIni, LPCWSTR pszSection) {
    DBGPRINT(L"CSetupCtrl::CmdSleep:Start");
    int nSleep = ReadInt(pszIni, pszSection, L"SLEEP", 1000);
    // A negative time would be a pause of weeks (or for ever): it counts as none.
    Sleep(nSleep > 0 ? (DWORD)nSleep : 0);
    DBGPRINT(L"CSetupCtrl::CmdSleep::End.");
    return 1;
}
