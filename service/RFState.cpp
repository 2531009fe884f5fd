#include "RFState.h"

#include "DisplayList.h"
#include "HCIOps.h"
#include "ModuleInfo.h"
#include "SvcGlobals.h"

#define SAVESTATUS_VALUE L"SaveStatus"

namespace {

enum Decision { DECIDE_NONE, DECIDE_OFF, DECIDE_ON };

Decision Decide(int nRequest, int nState) {
    switch (nRequest) {
    case RFSTATE_OFF_USER:
        // A posture stop stays as it is.
        return (nState == RFSTATE_OFF_USER || nState == RFSTATE_OFF_POSTURE) ? DECIDE_NONE : DECIDE_OFF;
    case RFSTATE_OFF_POSTURE: return nState == RFSTATE_OFF_POSTURE ? DECIDE_NONE : DECIDE_OFF;
    case RFSTATE_ON_USER:
        // A user's RF-on does not lift a posture stop.
        return (nState == RFSTATE_ON_USER || nState == RFSTATE_OFF_POSTURE) ? DECIDE_NONE : DECIDE_ON;
    case RFSTATE_ON_POSTURE:
        // The posture does not lift a user's RF-off.
        return (nState == RFSTATE_ON_POSTURE || nState == RFSTATE_OFF_USER) ? DECIDE_NONE : DECIDE_ON;
    default: return DECIDE_NONE;
    }
}

}  // namespace

int SaveStatus(int nRequest) {
    if (!g_bRFCtrl) return g_nRFState;

    if (g_nRFState == RFSTATE_INITIAL) {
        DWORD dwSaved = RFSTATE_INITIAL;
        if (!SvcReadDword(SAVESTATUS_VALUE, &dwSaved)) dwSaved = RFSTATE_INITIAL;
        if (dwSaved == RFSTATE_OFF_POSTURE) {
            // Restore the posture stop; a failed switch leaves the state initial, so that
            // the next request tries again.
            if (nRequest != RFSTATE_ON_POSTURE && !IssueHCIwithBool(FALSE)) return RFSTATE_ERROR;
            g_nRFState = RFSTATE_OFF_POSTURE;
        } else if (dwSaved == RFSTATE_ON_POSTURE) {
            if (nRequest != RFSTATE_OFF_POSTURE && nRequest != RFSTATE_OFF_USER && !IssueHCIwithBool(TRUE))
                return RFSTATE_ERROR;
            g_nRFState = RFSTATE_ON_POSTURE;
        }
    }

    Decision decision = Decide(nRequest, g_nRFState);
    if (decision == DECIDE_NONE) return g_nRFState;
    if (!HCISetRf(decision == DECIDE_ON)) {
        g_nRFState = RFSTATE_ERROR;
        return RFSTATE_ERROR;
    }
    g_nRFState = nRequest;
    SvcWriteDword(SAVESTATUS_VALUE, (DWORD)nRequest);
    return nRequest;
}

BOOL IssueHCI(int nRequest) {
    if (!g_b3GDevice) return FALSE;
    int nBefore = g_nRFState;
    return SaveStatus(nRequest) != nBefore;
}

BOOL IssueHCIwithBool(BOOL bOn) {
    if (!g_b3GDevice) return FALSE;
    return HCISetRf(bOn);
}

int IssueHCIPowerOff() {
    if (!g_b3GDevice) return RFSTATE_ERROR;
    if (!HCIPowerOff()) {
        g_nRFState = RFSTATE_ERROR;
        return RFSTATE_ERROR;
    }
    if (g_nRFState != RFSTATE_OFF_POSTURE) g_nRFState = RFSTATE_OFF_USER;
    return g_nRFState;
}

BOOL Event3G_RfGotoOn() {
    if (!g_b3GDevice) return FALSE;
    int nSwitch = HCIGetSwitchState();
    if (nSwitch == g_nLastSwitch) return FALSE;
    g_nLastSwitch = nSwitch;
    return nSwitch == HCI_SWITCH_ON;
}

void Event3G_Resume() {
    if (!g_b3GDevice) return;
    int nPosture = g_pDisplayList != NULL ? g_pDisplayList->GetServicePosture() : POSTURE_NONE;
    BOOL bDifferent = g_pModuleInfo != NULL ? g_pModuleInfo->IsPostureDifferent(nPosture) : TRUE;
    IssueHCI(bDifferent ? RFSTATE_ON_USER : RFSTATE_OFF_USER);
    g_nLastPosture = nPosture;
}
