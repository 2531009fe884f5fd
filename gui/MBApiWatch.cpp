// The Mobile Broadband radio watcher.
#include "MBApiWatch.h"

#include <ocidl.h>

#include "HCIDevice.h"
#include "MainFrm.h"

#include <initializer_list>
#include <string.h>

#define READY_TRIES 5
#define READY_RETRY_MS 1000
#define SETTLE_MS 1000
#define RADIO_PASSES 3
#define RADIO_PASS_MS 4000
#define REFRESH_GAP_MS 500
#define WATCHER_STOP_MS 1000

namespace {

BOOL ReadWwanStatus(DWORD dwMask) {
    DWORD dwValue = 0;
    if (!HCIExecute(HCI_GET, HCI_WWAN_STATUS, 0, &dwValue)) return FALSE;
    return (dwValue & dwMask) != 0;
}

template <class T>
void ReleaseIf(T*& p) {
    if (p) p->Release();
    p = NULL;
}

}  // namespace

BOOL HCIReadSwitchOn() { return ReadWwanStatus(0x0001); }
BOOL HCIReadStatusBit13() { return ReadWwanStatus(0x2000); }

CMBApiWatcher::CMBApiWatcher()
    : m_cRef(0),
      m_hFrame(NULL),
      m_bAdvised(FALSE),
      m_hStop(NULL),
      m_hInit(NULL),
      m_hReady(NULL),
      m_hCaps(NULL),
      m_pConnPoint(NULL),
      m_dwCookie(0) {
    m_hStop = CreateEventW(NULL, TRUE, FALSE, MBAPI_STOP_EVENT);
    m_hInit = CreateEventW(NULL, FALSE, FALSE, MBAPI_INIT_EVENT);
}

CMBApiWatcher::~CMBApiWatcher() {
    StopWatcher();
    Unadvise();
    for (HANDLE* ph : {&m_hStop, &m_hInit, &m_hReady, &m_hCaps}) {
        if (*ph) CloseHandle(*ph);
        *ph = NULL;
    }
}

BOOL CMBApiWatcher::Initialize() {
    OSVERSIONINFOW vi;
    memset(&vi, 0, sizeof(vi));
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExW(&vi)) return FALSE;
    // Windows 6.1 and every later version (10.0 too).
    if (vi.dwMajorVersion < 6 || (vi.dwMajorVersion == 6 && vi.dwMinorVersion == 0)) return FALSE;
    if (!FindModuleAdapter()) return FALSE;
    if (FAILED(InitCom())) return FALSE;
    if (FAILED(CreateManager())) return FALSE;
    return TRUE;
}

void CMBApiWatcher::StartWatcher() {
    if (m_Thread.IsRunning() || !m_hStop || !m_hInit) return;
    ResetEvent(m_hStop);
    Advise();
    m_Thread.Begin(WatcherThread, this);
}

void CMBApiWatcher::StopWatcher() {
    if (!m_Thread.IsRunning()) return;
    SetEvent(m_hStop);
    m_Thread.End(WATCHER_STOP_MS);
}

void CMBApiWatcher::Shutdown() {
    // The sink is withdrawn while COM still runs.
    Unadvise();
    ReleaseManager();
    UninitCom();
}

void CMBApiWatcher::Advise() {
    if (m_bAdvised) return;
    m_dwCookie = 0;
    HRESULT hr = InitCom();
    if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) return;
    if (FAILED(CreateManager())) return;
    if (!m_hReady) m_hReady = CreateEventW(NULL, FALSE, FALSE, MBAPI_READY_EVENT);
    if (!m_hCaps && m_hReady) m_hCaps = CreateEventW(NULL, FALSE, FALSE, MBAPI_CAPS_EVENT);
    if (m_hReady && m_hCaps) {
        IConnectionPointContainer* pContainer = NULL;
        if (SUCCEEDED(
                m_pManager->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&pContainer)))) {
            if (SUCCEEDED(pContainer->FindConnectionPoint(IID_IMbnInterfaceEvents, &m_pConnPoint))) {
                IUnknown* pUnk = NULL;
                QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnk));
                if (SUCCEEDED(m_pConnPoint->Advise(pUnk, &m_dwCookie))) m_bAdvised = TRUE;
                pUnk->Release();
                if (!m_bAdvised) ReleaseIf(m_pConnPoint);
            }
            pContainer->Release();
        }
    }
    ReleaseManager();
}

void CMBApiWatcher::Unadvise() {
    if (m_pConnPoint) {
        if (m_bAdvised) m_pConnPoint->Unadvise(m_dwCookie);
        ReleaseIf(m_pConnPoint);
    }
    m_bAdvised = FALSE;
    m_dwCookie = 0;
}

HRESULT CMBApiWatcher::GetReadyState(LPCWSTR pszInterfaceId, MBN_READY_STATE* pState) {
    HRESULT hr = InitCom();
    if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) return hr;
    hr = CreateManager();
    if (FAILED(hr)) return hr;
    IMbnInterface* pIf = NULL;
    hr = m_pManager->GetInterface(pszInterfaceId, &pIf);
    if (SUCCEEDED(hr) && pIf) {
        MBN_READY_STATE state;
        hr = pIf->GetReadyState(&state);
        if (hr == S_OK) *pState = state;
        pIf->Release();
    }
    ReleaseManager();
    return hr;
}

HRESULT CMBApiWatcher::GetRadioState(LPCWSTR pszInterfaceId, int* pnCode, int nKind) {
    HRESULT hr = InitCom();
    if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) return hr;
    hr = CreateManager();
    if (FAILED(hr)) return hr;
    IMbnInterface* pIf = NULL;
    hr = m_pManager->GetInterface(pszInterfaceId, &pIf);
    if (SUCCEEDED(hr) && pIf) {
        IMbnRadio* pRadio = NULL;
        hr = pIf->QueryInterface(IID_IMbnRadio, reinterpret_cast<void**>(&pRadio));
        if (SUCCEEDED(hr) && pRadio) {
            MBN_RADIO hw = MBN_RADIO_OFF, sw = MBN_RADIO_OFF;
            if (nKind == MBAPI_RADIO_HARDWARE || nKind == MBAPI_RADIO_SOFTWARE) {
                hr = nKind == MBAPI_RADIO_HARDWARE ? pRadio->get_HardwareRadioState(&hw)
                                                   : pRadio->get_SoftwareRadioState(&hw);
                if (FAILED(hr))
                    *pnCode = MBAPI_RADIO_FAILED;
                else if (hw == MBN_RADIO_OFF)
                    *pnCode = MBAPI_RADIO_OFF;
                else if (hw == MBN_RADIO_ON)
                    *pnCode = MBAPI_RADIO_ON;
            } else if (nKind == MBAPI_RADIO_BOTH) {
                hr = pRadio->get_HardwareRadioState(&hw);
                if (SUCCEEDED(hr)) hr = pRadio->get_SoftwareRadioState(&sw);
                if (FAILED(hr))
                    *pnCode = MBAPI_RADIO_FAILED;
                else
                    *pnCode = (hw == MBN_RADIO_ON && sw == MBN_RADIO_ON) ? MBAPI_RADIO_ON : MBAPI_RADIO_OFF;
            }
            pRadio->Release();
        }
        pIf->Release();
    }
    ReleaseManager();
    return hr;
}

// ---------------------------------------------------------------------------------------
// The sink: notifications arrive on COM's threads and only set events.

HRESULT CMBApiWatcher::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMbnInterfaceEvents)) {
        *ppv = static_cast<IMbnInterfaceEvents*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}

// The object lives as long as the frame: Release never frees it.
ULONG CMBApiWatcher::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
ULONG CMBApiWatcher::Release() { return static_cast<ULONG>(InterlockedDecrement(&m_cRef)); }

HRESULT CMBApiWatcher::OnInterfaceCapabilityAvailable(IMbnInterface*) {
    if (m_hCaps) SetEvent(m_hCaps);
    return S_OK;
}

HRESULT CMBApiWatcher::OnReadyStateChange(IMbnInterface*) {
    if (m_hReady) SetEvent(m_hReady);
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// The watcher thread

BOOL CMBApiWatcher::Pause(DWORD dwMs) { return WaitForSingleObject(m_hStop, dwMs) == WAIT_TIMEOUT; }

void CMBApiWatcher::CheckRadio() {
    // The ready state only shows that the interface answers.
    for (int i = 0; i < READY_TRIES; ++i) {
        MBN_READY_STATE state;
        if (SUCCEEDED(GetReadyState(m_szInterfaceId, &state))) break;
        if (!Pause(READY_RETRY_MS)) return;
    }
    if (!Pause(SETTLE_MS)) return;
    for (int pass = 0; pass < RADIO_PASSES; ++pass) {
        int code = MBAPI_RADIO_UNKNOWN;
        if (FAILED(GetRadioState(m_szInterfaceId, &code, MBAPI_RADIO_HARDWARE))) {
            if (!Pause(RADIO_PASS_MS)) return;
            continue;
        }
        if (code != MBAPI_RADIO_OFF || !HCIReadSwitchOn() || !HCIReadStatusBit13()) return;
        // The radio is off though the switch is on: RF off, then a new decision.
        SendMessageW(m_hFrame, WM_APP_RFCONTROL, RFCONTROL_REFRESH_OFF, 0);
        if (!Pause(REFRESH_GAP_MS)) return;
        SendMessageW(m_hFrame, WM_APP_RFCONTROL, RFCONTROL_REFRESH_EVAL, 0);
        if (!Pause(RADIO_PASS_MS)) return;
    }
}

DWORD WINAPI CMBApiWatcher::WatcherThread(LPVOID pParam) {
    CMBApiWatcher* p = static_cast<CMBApiWatcher*>(pParam);
    if (!p->m_hStop || !p->m_hReady || !p->m_hCaps) return 1;
    // The thread joins the multithreaded apartment itself rather than count on being
    // taken into it implicitly.
    HRESULT hrCom = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    HANDLE ah[3] = {p->m_hStop, p->m_hReady, p->m_hCaps};
    DWORD dwResult = 0;
    for (;;) {
        DWORD w = WaitForMultipleObjects(3, ah, FALSE, INFINITE);
        if (w == WAIT_OBJECT_0) break;
        if (w == WAIT_OBJECT_0 + 2) {
            p->CheckRadio();
        } else if (w != WAIT_OBJECT_0 + 1) {
            dwResult = 1;
            break;
        }
        ResetEvent(p->m_hReady);
    }
    if (SUCCEEDED(hrCom)) CoUninitialize();
    return dwResult;
}
