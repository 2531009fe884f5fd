// The modem device object.
#include "ModemCtrl.h"

#include "DbgMac.h"
#include "SetupContext.h"

CModemCtrl* g_pModemCtrl = NULL;

CModemCtrl::CModemCtrl() { m_szRegion[0] = 0; }

CModemCtrl::~CModemCtrl() {}

LPCWSTR CModemCtrl::GetRegion() {
    if (m_szRegion[0]) return m_szRegion;
    WCHAR szOem[MODEMCTRL_OEM_CCH];
    szOem[0] = 0;
    LPCWSTR pszOem = GetSetupContext()->GetOemString();
    if (pszOem) lstrcpynW(szOem, pszOem, MODEMCTRL_OEM_CCH);
    if (lstrlenW(szOem) >= 6) {
        m_szRegion[0] = szOem[5];
        m_szRegion[1] = 0;
    }
    return m_szRegion;
}
