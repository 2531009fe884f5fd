// The modem device object: one global object from start-up to exit. Its region letter is
// the sixth character of the machine's OEM string, fixed at the first call that finds one.
#pragma once

#include <windows.h>

#define MODEMCTRL_OEM_CCH 512
#define MODEMCTRL_REGION_CCH 2

class CModemCtrl {
public:
    CModemCtrl();
    virtual ~CModemCtrl();

    // The region text (one character, or empty while the OEM string is shorter than six
    // characters; the next call then looks again).
    LPCWSTR GetRegion();

private:
    CModemCtrl(const CModemCtrl&);
    CModemCtrl& operator=(const CModemCtrl&);

    WCHAR m_szRegion[MODEMCTRL_REGION_CCH];
};

// The setup program's modem object; null before start-up and after the exit.
extern CModemCtrl* g_pModemCtrl;
