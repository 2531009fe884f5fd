// HCI requests on the maker's driver device.
#include "HCIDevice.h"

#include "DbgMac.h"

CHCIDevice::CHCIDevice() {
    m_hDevice =
        CreateFileW(HCI_DEVICE_NAME, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

CHCIDevice::~CHCIDevice() {
    if (m_hDevice != INVALID_HANDLE_VALUE) CloseHandle(m_hDevice);
}

BOOL CHCIDevice::Request(HCIRegisterBlock* pBlock) {
    DWORD dwReturned = 0;
    return DeviceIoControl(m_hDevice, IOCTL_VUNDD_HCI, pBlock, sizeof(*pBlock), pBlock, sizeof(*pBlock), &dwReturned,
                           NULL);
}

namespace {

void FillBlock(HCIRegisterBlock* pBlock, DWORD dwFunction, DWORD dwSubFunction, DWORD dwValue) {
    pBlock->dwFunction = dwFunction;
    pBlock->dwRegister = HCI_REG_WWAN;
    pBlock->dwValue = dwValue;
    pBlock->dwSubFunction = dwSubFunction;
    pBlock->dwReserved1 = 0;
    pBlock->dwReserved2 = 0;
}

}  // namespace

BOOL HCIExecute(DWORD dwFunction, DWORD dwSubFunction, DWORD dwValue, DWORD* pdwValue) {
    HCIRegisterBlock block;
    FillBlock(&block, dwFunction, dwSubFunction, dwValue);
    {
        CHCIDevice device;
        device.Request(&block);
    }
    if (HCIFailed(block)) return FALSE;
    if (pdwValue) *pdwValue = block.dwValue;
    return TRUE;
}

CQivHCICtrl::CQivHCICtrl() {}

CQivHCICtrl::~CQivHCICtrl() {}

int CQivHCICtrl::MBNPower(bool bOn) {
    DBGPRINT(bOn ? L"CQivHCICtrl::MBNPower: MBN is ON.\n" : L"CQivHCICtrl::MBNPower: MBN is OFF.\n");
    if (!HCIExecute(HCI_SET, HCI_WWAN_POWER, bOn ? 1 : 0, NULL)) {
        DBGPRINT(L"CQivHCICtrl::MBNPower: Error.\n");
        return 0;
    }
    return 1;
}
