// The maker's hardware control interface (HCI): one fixed request record, written into the
// driver device \\.\VUNDD with one I/O control and read back in place.
#pragma once

#include <windows.h>

#include <winioctl.h>

// Word 0: function.
#define HCI_SET 0xFF00
#define HCI_GET 0xFE00
// Word 0 of a reply: a non-zero high byte is an error.
#define HCI_ERROR_MASK 0xFF00
// Word 1: register.
#define HCI_REG_WWAN 0x0056
// Word 3: sub-functions of register 0x56.
#define HCI_WWAN_POWER 0x4000
#define HCI_WWAN_RF 0x2000
#define HCI_WWAN_STATUS 0x0001
#define HCI_WWAN_RFSTOP_POSTURE 0x0003

#define HCI_DEVICE_NAME L"\\\\.\\VUNDD"
#define IOCTL_VUNDD_HCI CTL_CODE(FILE_DEVICE_UNKNOWN, 0xA20, METHOD_BUFFERED, FILE_ANY_ACCESS)

// Six 32-bit words, the same buffer in and out.
struct HCIRegisterBlock {
    DWORD dwFunction;     // HCI_SET / HCI_GET; the reply's status
    DWORD dwRegister;     // HCI_REG_WWAN
    DWORD dwValue;        // value to write; value read
    DWORD dwSubFunction;  // selector
    DWORD dwReserved1;
    DWORD dwReserved2;
};
static_assert(sizeof(HCIRegisterBlock) == 24, "HCI request is six 32-bit words");
static_assert(IOCTL_VUNDD_HCI == 0x222880, "HCI control code");

// One request on the driver: opened by the constructor, closed by the destructor.
class CHCIDevice {
public:
    CHCIDevice();
    ~CHCIDevice();
    // Sends the block in and out; the result is DeviceIoControl's, which callers ignore:
    // a request that never reached the driver keeps its function word and reads as an error.
    BOOL Request(HCIRegisterBlock* pBlock);

private:
    CHCIDevice(const CHCIDevice&);
    CHCIDevice& operator=(const CHCIDevice&);

    HANDLE m_hDevice;
};

// The steps every HCI operation takes: fill the block, send it through a CHCIDevice of its
// own, test word 0 of the reply. Returns TRUE on success; *pdwValue receives word 2 of the
// reply (the value of a read) when given.
BOOL HCIExecute(DWORD dwFunction, DWORD dwSubFunction, DWORD dwValue, DWORD* pdwValue);

// True when the reply's word 0 reports a failure.
inline BOOL HCIFailed(const HCIRegisterBlock& block) { return (block.dwFunction & HCI_ERROR_MASK) != 0; }

// The setup program's module-power switch.
class CQivHCICtrl {
public:
    CQivHCICtrl();
    virtual ~CQivHCICtrl();
    // Switches the mobile broadband module's power: 1 on success, 0 on failure.
    int MBNPower(bool bOn);
};
