// Modem and wireless-device commands: the presence checks, the region's registry sections
// for the modem and for telephony, the soft modem's homologation stamp, wake on ring for
// the wireless modem and ASPM for the wireless LAN adapter.
#include "SetupCtrl.h"

#include <new>

#include "DbgMac.h"
#include "ModemCtrl.h"
#include "SetupExec.h"
#include "SetupGlobals.h"

namespace {

unsigned Fail(int* pbQuit, unsigned uCode) {
    if (pbQuit) *pbQuit = 1;
    return uCode;
}

#if defined(_WIN64) || (!defined(_WIN32) && defined(__LP64__))
const int kBuild64 = 1;
#else
const int kBuild64 = 0;
#endif

}  // namespace

unsigned CSetupCtrl::CheckModem(int* pbQuit) {
    if (g_pModemCtrl && g_pModemCtrl->IsExist()) return 0;
    DBGPRINT(L"Could not find modem device");
    return Fail(pbQuit, 8);
}

unsigned CSetupCtrl::CheckWModem(int* pbQuit) {
    CWModemCtrl* pModem = new (std::nothrow) CWModemCtrl();
    int bFound = pModem && pModem->IsExist();
    delete pModem;
    if (bFound) return 0;
    DBGPRINT(L"Could not find wireless modem device");
    return Fail(pbQuit, 9);
}

unsigned CSetupCtrl::CheckWifi(int* pbQuit) {
    CWLANCtrl* pWlan = new (std::nothrow) CWLANCtrl();
    int bFound = pWlan && pWlan->Open();
    delete pWlan;
    if (bFound) return 0;
    DBGPRINT(L"Could not find wireless LAN device");
    return Fail(pbQuit, 10);
}

unsigned CSetupCtrl::ModemRegion(LPCWSTR pszIni, LPCWSTR pszSection) {
    DBGPRINT(L"Initialize modem region");
    return g_pModemCtrl && g_pModemCtrl->InitModemRegion(pszIni, pszSection) ? 0 : 14;
}

unsigned CSetupCtrl::TelephonyRegion(LPCWSTR pszIni, LPCWSTR pszSection) {
    DBGPRINT(L"Initialize telephony region");
    return g_pModemCtrl && g_pModemCtrl->InitTelephonyRegion(pszIni, pszSection) ? 0 : 16;
}

REGSAM CSetupCtrl::HomolAccess(LPCWSTR pszSuffix, int bBuild64, LPCWSTR* ppszLog) {
    if (!pszSuffix) pszSuffix = L"";
    LPCWSTR pszLog;
    REGSAM sam = MODEMCTRL_HOMOL_ACCESS;
    if (bBuild64) {
        if (lstrcmpiW(pszSuffix, L".WOW32") == 0) {
            sam = MODEMCTRL_HOMOL_ACCESS_32;
            pszLog = L"Initialize homol time stamp 64 bit build wow32";
        } else {
            pszLog = L"Initialize homol time stamp 64 bit build";
        }
    } else if (SetupIsWow64() && lstrcmpiW(pszSuffix, L".WOW6432") == 0) {
        sam = MODEMCTRL_HOMOL_ACCESS_64;
        pszLog = L"Initialize homol time stamp wow6432";
    } else if (SetupIsWow64() && lstrcmpiW(pszSuffix, L".WOW64") == 0) {
        sam = MODEMCTRL_HOMOL_ACCESS_64;
        pszLog = L"Initialize homol time stamp wow64";
    } else {
        pszLog = L"Initialize homol time stamp";
    }
    if (ppszLog) *ppszLog = pszLog;
    return sam;
}

unsigned CSetupCtrl::ModemHomol(LPCWSTR pszSuffix) {
    LPCWSTR pszLog = L"";
    REGSAM sam = HomolAccess(pszSuffix, kBuild64, &pszLog);
    DBGPRINT(L"%s", pszLog);
    return g_pModemCtrl && g_pModemCtrl->InitHomolTime(sam) ? 0 : 15;
}

unsigned CSetupCtrl::EnableWorWModem() {
    CWModemCtrl* pModem = new (std::nothrow) CWModemCtrl();
    if (!pModem || !pModem->Open()) {
        DBGPRINT(L"Could not open wireless modem device");
        delete pModem;
        return 17;
    }
    // In a silent run the device is left running: the value counts from its next start.
    int bCycle = !IsSilentRun();
    if (bCycle) pModem->EnableAllProperty(0);
    unsigned uResult = pModem->SetWakeOnRing() ? 0 : 17;
    if (bCycle) pModem->EnableAllProperty(1);
    delete pModem;
    return uResult;
}

unsigned CSetupCtrl::DisableIwlanAspm() {
    CWLANCtrl* pWlan = new (std::nothrow) CWLANCtrl();
    if (!pWlan || !pWlan->Open()) {
        DBGPRINT(L"Could not open wireless LAN device");
        delete pWlan;
        return 18;
    }
    int bCycle = !IsSilentRun();
    if (bCycle) pWlan->EnableAllProperty(0);
    unsigned uResult = pWlan->SetASPMOptIn(0) ? 0 : 18;
    if (bCycle) pWlan->EnableAllProperty(1);
    delete pWlan;
    return uResult;
}
