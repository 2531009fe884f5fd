// The base of the setup program's device-class objects (the modem, the wireless LAN
// adapter, the wireless WAN modem): a text area for the hardware ID the subclass found and
// the device layer it searches with.
#pragma once

#include <windows.h>

#include "DevCtrl.h"

#define DEVBASE_HWID_CCH 256

class CDevBaseCtrl {
public:
    CDevBaseCtrl();
    virtual ~CDevBaseCtrl();

    // 1 when the class's device is there.
    virtual int IsExist() = 0;
    // 1 when the device is there and the object is ready for the class's other operations.
    virtual int Open() = 0;

    LPCWSTR GetFoundHwId() const { return m_szFoundHwId; }
    CDevCtrl& GetDevCtrl() { return m_DevCtrl; }

protected:
    // The hardware ID the subclass found (filled by the subclass).
    WCHAR m_szFoundHwId[DEVBASE_HWID_CCH];
    CDevCtrl m_DevCtrl;

private:
    CDevBaseCtrl(const CDevBaseCtrl&);
    CDevBaseCtrl& operator=(const CDevBaseCtrl&);
};
