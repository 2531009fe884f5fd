// Service commands: CHECK_SVCSTART waits until the listed services run, CMD_SVC changes
// their configuration.
#include "SetupCtrl.h"

#include "DbgMac.h"
#include "ScriptRead.h"
#include "SvcCtrl.h"

namespace {

enum SvcOperation { SVC_ENABLE, SVC_DISABLE, SVC_UPDATEDISP, SVC_UPDATEDISC, SVC_DELETE, SVC_UNKNOWN };

struct SvcCode {
    LPCWSTR pszCode;
    SvcOperation op;
};

// Tested in this order, without regard to case.
const SvcCode kSvcCodes[] = {
    {L"enable", SVC_ENABLE},         {L"disable", SVC_DISABLE}, {L"updatedisp", SVC_UPDATEDISP},
    {L"updatedisc", SVC_UPDATEDISC}, {L"delete", SVC_DELETE},
};

SvcOperation FindSvcCode(LPCWSTR pszCode) {
    for (const SvcCode& c : kSvcCodes)
        if (lstrcmpiW(pszCode, c.pszCode) == 0) return c.op;
    return SVC_UNKNOWN;
}

}  // namespace

int CSetupCtrl::IsStartedSvcFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = script::ReadInt(pszIni, pszSection, L"SVC", 0);
    DWORD dwTimeout = (DWORD)script::ReadInt(pszIni, pszSection, L"TIMEOUT", 0);
    DWORD dwInterval = (DWORD)script::ReadInt(pszIni, pszSection, L"INTERVAL", 0);
    DBGPRINT(L"CSetupCtrl::IsStartedSvcFromIni:Start");
    CSvcCtrl svc;
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szName[SETUP_TEXT_CCH];
        script::NumberedKey(szKey, L"SVC%d", i);
        script::ReadText(pszIni, pszSection, szKey, L"", szName, SETUP_TEXT_CCH);
        if (!svc.IsExist(szName)) {
            DBGPRINT(L"CSetupCtrl::IsStartedSvcFromIni:Not Exist %s\n", szName);
            nResult = 0;
            continue;
        }
        DBGPRINT(L"CSetupCtrl::IsStartedSvcFromIni:Exist %s\n", szName);
        if (svc.WaitForRunning(szName, dwInterval, dwTimeout)) {
            DBGPRINT(L"CSetupCtrl::IsStartedSvcFromIni %s Started", szName);
        } else {
            DBGPRINT(L"CSetupCtrl::IsStartedSvcFromIni Error %s", szName);
            nResult = 0;
        }
    }
    DBGPRINT(L"CSetupCtrl::IsStartedSvcFromIni:End");
    return nResult;
}

int CSetupCtrl::CmdSvcFromIni(LPCWSTR pszIni, LPCWSTR pszSection) {
    int nCount = script::ReadInt(pszIni, pszSection, L"SVC", 0);
    DBGPRINT(L"CSetupCtrl::CmdSvcFromIni:Start count=%d", nCount);
    CSvcCtrl svc;
    int nResult = 1;
    for (int i = 1; i <= nCount; ++i) {
        WCHAR szKey[64], szName[SETUP_TEXT_CCH], szCode[SETUP_TEXT_CCH], szValue[SETUP_TEXT_CCH];
        script::NumberedKey(szKey, L"SVC%d_NAME", i);
        script::ReadText(pszIni, pszSection, szKey, L"", szName, SETUP_TEXT_CCH);
        script::NumberedKey(szKey, L"SVC%d_CMPCODE", i);
        script::ReadText(pszIni, pszSection, szKey, L"", szCode, SETUP_TEXT_CCH);
        script::NumberedKey(szKey, L"SVC%d_VALUE", i);
        script::ReadText(pszIni, pszSection, szKey, L"", szValue, SETUP_TEXT_CCH);
        DBGPRINT(L"CSetupCtrl::CmdSvcFromIni SVC=%s Code=%s Value=%s", szName, szCode, szValue);
        SvcOperation op = FindSvcCode(szCode);
        LPCWSTR pszOp = NULL;
        int bDone = 0;
        switch (op) {
        case SVC_ENABLE: pszOp = L"enable", bDone = svc.EnableSvc(szName); break;
        case SVC_DISABLE: pszOp = L"disable", bDone = svc.DisableSvc(szName); break;
        case SVC_UPDATEDISP: pszOp = L"updatedisp", bDone = svc.ChangeDisplayName(szName, szValue); break;
        case SVC_UPDATEDISC: bDone = svc.ChangeDescription(szName, szValue); break;
        case SVC_DELETE: pszOp = L"delete", bDone = svc.DeleteSvc(szName); break;
        case SVC_UNKNOWN:
            DBGPRINT(L"CSetupCtrl::CmdSvcFromIni Unknown command SVC=%s Code=%s Value=%s", szName, szCode, szValue);
            nResult = 0;
            break;
        }
        if (op == SVC_UNKNOWN) break;
        if (pszOp) {
            if (bDone)
                DBGPRINT(L"CSetupCtrl::CmdSvcFromIni %s success SVC=%s", pszOp, szName);
            else
                DBGPRINT(L"CSetupCtrl::CmdSvcFromIni %s error SVC=%s", pszOp, szName);
        }
        if (!bDone) nResult = 0;
    }
    DBGPRINT(L"CSetupCtrl::CmdSvcFromIni:End");
    return nResult;
}
