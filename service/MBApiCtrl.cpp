// CMBApiCtrl: the members that the service and the GUI share.
#include "MBApiCtrl.h"

#include <strsafe.h>
#include <string.h>
#include <wchar.h>

namespace {

// Subscriber ID beginnings (the first five characters) whose carrier needs the newer
// firmware.
const WCHAR* const kPrefixedCarriers[] = {L"50501", L"50571", L"50572"};
const size_t kCarrierPrefixLen = 5;

void FreeCapsStrings(MBN_INTERFACE_CAPS* caps) {
    BSTR* fields[] = {&caps->customDataClass, &caps->customBandClass, &caps->deviceID,
                      &caps->manufacturer,    &caps->model,           &caps->firmwareInfo};
    for (BSTR* f : fields) {
        if (*f) {
            SysFreeString(*f);
            *f = NULL;
        }
    }
}

}  // namespace

CMBApiCtrl::CMBApiCtrl() : m_pManager(NULL), m_bComInit(FALSE), m_bAdapterFound(FALSE) {
    m_szInterfaceId[0] = L'\0';
    m_szModuleHwId[0] = L'\0';
    memset(&m_Adapter, 0, sizeof(m_Adapter));
}

BOOL CMBApiCtrl::FindModuleAdapter() {
    memset(&m_Adapter, 0, sizeof(m_Adapter));
    CDevFunc devFunc;
    m_bAdapterFound = devFunc.FindSupported3GAdapter(&m_Adapter);
    if (!m_bAdapterFound) return FALSE;
    lstrcpynW(m_szModuleHwId, m_Adapter.szHardwareIds, MAX_PATH);
    lstrcpynW(m_szInterfaceId, m_Adapter.szNetCfgInstanceId, MAX_PATH);
    return TRUE;
}

CMBApiCtrl::~CMBApiCtrl() { ReleaseManager(); }

HRESULT CMBApiCtrl::InitCom() {
    if (m_bComInit) return S_OK;
    HRESULT hr = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    m_bComInit = (hr >= 0) ? TRUE : FALSE;
    return hr;
}

void CMBApiCtrl::UninitCom() {
    if (!m_bComInit) return;
    CoUninitialize();
    m_bComInit = FALSE;
}

HRESULT CMBApiCtrl::CreateManager() {
    if (m_pManager) return S_OK;
    IMbnInterfaceManager* p = NULL;
    HRESULT hr = CoCreateInstance(CLSID_MbnInterfaceManager, NULL, CLSCTX_ALL, IID_IMbnInterfaceManager,
                                  reinterpret_cast<void**>(&p));
    m_pManager = SUCCEEDED(hr) ? p : NULL;
    return hr;
}

void CMBApiCtrl::ReleaseManager() {
    if (!m_pManager) return;
    m_pManager->Release();
    m_pManager = NULL;
}

void CMBApiCtrl::SetInterfaceId(LPCWSTR pszInterfaceId) {
    StringCchCopyW(m_szInterfaceId, MAX_PATH, pszInterfaceId ? pszInterfaceId : L"");
}

LPCWSTR CMBApiCtrl::ExpectedFirmware(LPCWSTR pszSubscriberId) {
    if (pszSubscriberId) {
        for (const WCHAR* prefix : kPrefixedCarriers) {
            if (wcsncmp(pszSubscriberId, prefix, kCarrierPrefixLen) == 0) return MBAPI_FIRMWARE_PREFIXED;
        }
    }
    return MBAPI_FIRMWARE_OTHER;
}

BOOL CMBApiCtrl::CheckFirmware(LPCWSTR pszInterfaceId) {
    HRESULT hrCom = InitCom();
    if (FAILED(hrCom) && hrCom != RPC_E_CHANGED_MODE) return FALSE;

    BOOL bMatch = FALSE;
    IMbnInterface* pInterface = NULL;
    IMbnSubscriberInformation* pSubscriber = NULL;
    BSTR bstrSubscriberId = NULL;
    MBN_INTERFACE_CAPS caps;
    memset(&caps, 0, sizeof(caps));
    MBN_READY_STATE state = MBN_READY_STATE_OFF;

    do {
        if (FAILED(CreateManager()) || !m_pManager) break;
        if (FAILED(m_pManager->GetInterface(pszInterfaceId, &pInterface)) || !pInterface) break;
        if (FAILED(pInterface->GetReadyState(&state))) break;
        if (state != MBN_READY_STATE_INITIALIZED && state != MBN_READY_STATE_NOT_ACTIVATED) break;
        if (FAILED(pInterface->GetInterfaceCapability(&caps))) break;
        if (FAILED(pInterface->GetSubscriberInformation(&pSubscriber)) || !pSubscriber) break;
        if (FAILED(pSubscriber->get_SubscriberID(&bstrSubscriberId))) break;
        if (!bstrSubscriberId || bstrSubscriberId[0] == L'\0') break;
        if (!caps.firmwareInfo) break;
        bMatch = (wcscmp(caps.firmwareInfo, ExpectedFirmware(bstrSubscriberId)) == 0) ? TRUE : FALSE;
    } while (0);

    if (bstrSubscriberId) SysFreeString(bstrSubscriberId);
    FreeCapsStrings(&caps);
    if (pSubscriber) pSubscriber->Release();
    if (pInterface) pInterface->Release();
    ReleaseManager();
    if (hrCom != RPC_E_CHANGED_MODE) UninitCom();
    return bMatch;
}
