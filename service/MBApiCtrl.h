// CMBApiCtrl: the Mobile Broadband API client. These are the members that the service and
// the GUI share: COM on the calling thread, the interface manager, the module's interface
// ID and the firmware check against the SIM's carrier. The GUI's radio watcher (its event
// sink, ready- and radio-state readers and watcher thread) builds on them.
#pragma once

#include <windows.h>

#include "DevFunc.h"
#include "MbnApi.h"

// Firmware the module must carry for the SIM's carrier.
#define MBAPI_FIRMWARE_PREFIXED L"SWI9X15C_01.12"  // subscriber ID begins 50501, 50571 or 50572
#define MBAPI_FIRMWARE_OTHER L"SWI9X15C_01.11"     // any other subscriber ID

class CMBApiCtrl {
public:
    CMBApiCtrl();
    virtual ~CMBApiCtrl();  // releases the manager when held

    // CoInitializeEx(NULL, COINIT_MULTITHREADED) unless this object already did; the COM
    // flag is set when the result is not negative. 0 without a call when the flag is set.
    HRESULT InitCom();
    // CoUninitialize when the COM flag is set; clears it.
    void UninitCom();
    // CoCreateInstance of the interface manager unless held; NULL on failure.
    HRESULT CreateManager();
    void ReleaseManager();

    // Finds the module's network adapter (CDevFunc::FindSupported3GAdapter); when found,
    // keeps the list entry it matched as the module hardware ID and its NetCfgInstanceId as
    // the interface ID. The interface ID keeps its old value when none is found.
    BOOL FindModuleAdapter();
    const NetAdapterInfo& Adapter() const { return m_Adapter; }

    // 1 when the module's firmware is the one expected for its SIM's carrier.
    BOOL CheckFirmware(LPCWSTR pszInterfaceId);

    // The firmware expected for a subscriber ID (never NULL).
    static LPCWSTR ExpectedFirmware(LPCWSTR pszSubscriberId);

    // Sets the interface ID (the NetCfgInstanceId of the module's network adapter).
    void SetInterfaceId(LPCWSTR pszInterfaceId);
    LPCWSTR InterfaceId() const { return m_szInterfaceId; }
    LPCWSTR ModuleHardwareId() const { return m_szModuleHwId; }
    BOOL AdapterFound() const { return m_bAdapterFound; }
    BOOL ComInitialized() const { return m_bComInit; }
    IMbnInterfaceManager* Manager() const { return m_pManager; }

protected:
    IMbnInterfaceManager* m_pManager;
    BOOL m_bComInit;
    WCHAR m_szInterfaceId[MAX_PATH];
    BOOL m_bAdapterFound;
    WCHAR m_szModuleHwId[MAX_PATH];
    NetAdapterInfo m_Adapter;
};
