// The GUI's Mobile Broadband radio watcher: CMBApiCtrl's shared members plus the sink of the
// interface manager's events and a thread that, whenever the module has come up, compares
// its hardware radio with the maker's wireless switch and has the frame refresh RF.
#pragma once

#include <windows.h>

#include "MBApiCtrl.h"
#include "VqFrame.h"

#define MBAPI_STOP_EVENT L"MBAPICTRL-StopEventProcEvent"
#define MBAPI_INIT_EVENT L"MBAPICTRL-InitializeEventProcEvent"
#define MBAPI_READY_EVENT L"MBAPICTRL-OnReadyStateChange"
#define MBAPI_CAPS_EVENT L"MBAPICTRL-OnInterfaceCapabilityAvailable"

// Results of GetRadioState.
#define MBAPI_RADIO_ON 0
#define MBAPI_RADIO_OFF 1
#define MBAPI_RADIO_UNKNOWN 2
#define MBAPI_RADIO_FAILED 3

// Kinds of GetRadioState.
#define MBAPI_RADIO_HARDWARE 0
#define MBAPI_RADIO_SOFTWARE 1
#define MBAPI_RADIO_BOTH 2

// The maker's HCI status (register 0x56, sub-function 1, word 2): the wireless switch is on
// (bit 0), bit 13 is set. An HCI error gives FALSE.
BOOL HCIReadSwitchOn();
BOOL HCIReadStatusBit13();

class CMBApiWatcher : public CMBApiCtrl, public IMbnInterfaceEvents {
public:
    CMBApiWatcher();
    ~CMBApiWatcher() override;

    // Windows 6.1 or later, the module's adapter found, COM and the manager ready.
    BOOL Initialize();
    void SetFrameWindow(HWND hWnd) { m_hFrame = hWnd; }
    // Registers the sink and starts the watcher thread.
    void StartWatcher();
    void StopWatcher();
    // Withdraws the sink, releases the manager and ends COM when this object began it.
    void Shutdown();

    HRESULT GetReadyState(LPCWSTR pszInterfaceId, MBN_READY_STATE* pState);
    HRESULT GetRadioState(LPCWSTR pszInterfaceId, int* pnCode, int nKind);
    BOOL IsAdvised() const { return m_bAdvised; }
    BOOL IsWatching() const { return m_Thread.IsRunning(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IMbnInterfaceEvents
    HRESULT STDMETHODCALLTYPE OnInterfaceCapabilityAvailable(IMbnInterface*) override;
    HRESULT STDMETHODCALLTYPE OnSubscriberInformationChange(IMbnInterface*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnReadyStateChange(IMbnInterface*) override;
    HRESULT STDMETHODCALLTYPE OnEmergencyModeChange(IMbnInterface*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnHomeProviderAvailable(IMbnInterface*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPreferredProvidersChange(IMbnInterface*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnSetPreferredProvidersComplete(IMbnInterface*, ULONG, HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScanNetworkComplete(IMbnInterface*, ULONG, HRESULT) override { return S_OK; }

private:
    void Advise();
    void Unadvise();
    // The watcher's work after the module came up.
    void CheckRadio();
    // Sleeps ms, or less when the watcher is stopped; FALSE when stopped.
    BOOL Pause(DWORD dwMs);
    static DWORD WINAPI WatcherThread(LPVOID pParam);

    volatile LONG m_cRef;
    HWND m_hFrame;
    BOOL m_bAdvised;
    CVqThread m_Thread;
    HANDLE m_hStop;
    HANDLE m_hInit;
    HANDLE m_hReady;
    HANDLE m_hCaps;
    IConnectionPoint* m_pConnPoint;
    DWORD m_dwCookie;
};
