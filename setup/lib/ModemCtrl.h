// The device-class objects: the machine's modem (any present device of the Modem class),
// the supported wireless LAN adapter and the supported wireless WAN (3G) modem. The
// wireless objects find their device through the maker's hardware-ID lists
// (DevID_SupportRL, 3GID_SupportRL) and write the few device-specific values the modem and
// wireless commands need: the soft modem's time stamp, the adapter's ASPM opt-in and the
// wireless modem's wake on ring, disabling and re-enabling the device around a write.
//
// The modem object is one global object from start-up to exit; its region letter is the
// sixth character of the machine's OEM string, fixed at the first call that finds one. The
// wireless objects are built for one command each (they are large: build them on the heap).
#pragma once

#include <windows.h>

#include "DevBaseCtrl.h"
#include "LibList.h"

#define MODEMCTRL_OEM_CCH 512
#define MODEMCTRL_REGION_CCH 30
#define MODEMCTRL_ID_CCH 128

// The registry access of the soft modem's key: read and write in the program's own view,
// the 32-bit view, or the 64-bit view.
#define MODEMCTRL_HOMOL_ACCESS 0x2001F
#define MODEMCTRL_HOMOL_ACCESS_32 0x2021F
#define MODEMCTRL_HOMOL_ACCESS_64 0x2011F

class CModemCtrl : public CDevBaseCtrl {
public:
    CModemCtrl();
    ~CModemCtrl() override;

    // The first present device of the Modem class that has hardware IDs; its first
    // hardware ID goes to the found-ID text. 1 found.
    int IsExist() override;
    int Open() override { return 1; }

    // The region text (one character, or empty while the OEM string is shorter than six
    // characters; the next call then looks again).
    LPCWSTR GetRegion();

    // Applies the script's registry section for the modem or for telephony: the ADDREG and
    // DELREG entries of "<section>_<region>" when the script has that section, else of the
    // section itself. 1 when they were applied (0 also when the section lists none).
    int InitModemRegion(LPCWSTR pszIni, LPCWSTR pszSection);
    int InitTelephonyRegion(LPCWSTR pszIni, LPCWSTR pszSection);

    // Toggles the soft modem's homologation stamp (its first byte: 0 becomes 1, anything
    // else 0), or writes four zero bytes when there is none yet. The key is opened with
    // samDesired (which chooses the registry view). 1 written; a stamp that cannot be read
    // for another reason than its absence, or is not four bytes, is left alone (0).
    int InitHomolTime(REGSAM samDesired);

private:
    WCHAR m_szRegion[MODEMCTRL_REGION_CCH];
};

// The devices a disable step of one wireless object disabled, by instance ID: its enable
// step brings back these alone, so that a device the user had disabled stays disabled.
class CDisabledDevices {
public:
    // Disables the present devices that carry the ID (bExact: the first device whose
    // hardware ID is the whole ID; else every device with an ID that begins with it), each
    // device once, and remembers those it disabled. 1 when a device carried the ID.
    int Disable(CDevCtrl& dev, LPCWSTR pszId, int bExact);
    // Enables the devices Disable disabled and forgets them.
    void Enable(CDevCtrl& dev);
    int GetCount() const { return m_Instances.GetCount(); }

private:
    CTextList m_Instances;
};

class CWLANCtrl : public CDevBaseCtrl {
public:
    CWLANCtrl();
    ~CWLANCtrl() override;

    // A present Net-class device listed under DevID_SupportRL.
    int IsExist() override;
    // IsExist; then the matched list ID becomes the device ID and the device's first
    // hardware ID the Enum ID (both copied also when nothing was found).
    int Open() override;

    // Disable (0) or enable again (non-zero) the adapter whose hardware ID is the device ID
    // as a whole. The enable brings back only what this object's disable disabled. 1 when
    // the adapter was found.
    int EnableAllProperty(int bEnable);
    // Writes ASPMOptIn = 1 (non-zero flag) or 0 wherever a sub key of the adapter's Device
    // Parameters already holds the value, in every instance. 1 when a value was written.
    int SetASPMOptIn(int bOptIn);
    // The capability value DevCap_SupportRL<index>; *pdwCap untouched when it is missing.
    int GetWlDevCapByReg(DWORD dwIndex, DWORD* pdwCap);

    LPCWSTR GetDeviceId() const { return m_szDeviceId; }
    LPCWSTR GetEnumId() const { return m_szEnumId; }

private:
    int m_nOpen;
    WCHAR m_szDeviceId[MODEMCTRL_ID_CCH];
    WCHAR m_szEnumId[MODEMCTRL_ID_CCH];
    CDisabledDevices m_Disabled;
};

class CWModemCtrl : public CDevBaseCtrl {
public:
    CWModemCtrl();
    ~CWModemCtrl() override;

    // A present Modem-class device listed under 3GID_SupportRL.
    int IsExist() override;
    // IsExist; then the matched list ID becomes the device ID.
    int Open() override;

    // Disable (0) every present device whose hardware ID begins with the device ID, or
    // enable again (non-zero) those this object's disable disabled.
    void EnableAllProperty(int bEnable);
    // WakeOnRing = 1 in every instance of the modem's interface 00.
    int SetWakeOnRing();
    // Writes the DWORD value into Device Parameters of every instance of
    // "<device ID>&MI_00". 1 when it was written somewhere.
    int WriteWORReg(LPCWSTR pszDeviceId, LPCWSTR pszValueName, DWORD dwValue);

    LPCWSTR GetDeviceId() const { return m_szDeviceId; }

private:
    int m_nOpen;
    WCHAR m_szDeviceId[MODEMCTRL_ID_CCH];
    CDisabledDevices m_Disabled;
};

// The setup program's modem object; null before start-up and after the exit.
extern CModemCtrl* g_pModemCtrl;
