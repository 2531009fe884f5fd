#include "NetCfgCtrl.h"

#include "DbgMac.h"
#include "SetupContext.h"

#include <objbase.h>

#include <netcfgx.h>
#include <shlwapi.h>

namespace {

// The classes, the configuration object and its interfaces, as documented.
const GUID kNetClient = {0x4d36e973, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kNetService = {0x4d36e974, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kNetTrans = {0x4d36e975, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kNet = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const CLSID kClsidCNetCfg = {0x5b035261, 0x40f9, 0x11d1, {0xaa, 0xec, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e}};
const IID kIidINetCfg = {0xc0e8ae93, 0x306e, 0x11d1, {0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e}};
const IID kIidINetCfgLock = {0xc0e8ae9f, 0x306e, 0x11d1, {0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e}};
const IID kIidINetCfgClass = {0xc0e8ae97, 0x306e, 0x11d1, {0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e}};
const IID kIidINetCfgComponentBindings = {0xc0e8ae9e, 0x306e, 0x11d1, {0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e}};

const DWORD kLockTimeoutMs = 5000;
const HRESULT kNoWriteLock = (HRESULT)0x8004A024L;  // NETCFG_E_NO_WRITE_LOCK
const HRESULT kReboot = (HRESULT)0x0004A020L;       // NETCFG_S_REBOOT
const DWORD kBindingsBelow = 2;                     // EBP_BELOW

template <class T>
void SafeRelease(T*& p) {
    if (p) p->Release();
    p = NULL;
}

void FreeText(LPWSTR& p) {
    if (p) CoTaskMemFree(p);
    p = NULL;
}

// What the log says of a component.
struct ComponentInfo {
    LPWSTR pszName;
    LPWSTR pszId;
    ULONG ulStatus;
    ComponentInfo() : pszName(NULL), pszId(NULL), ulStatus(0) {}
    ~ComponentInfo() {
        FreeText(pszName);
        FreeText(pszId);
    }
    LPCWSTR Name() const { return pszName ? pszName : L""; }
    LPCWSTR Id() const { return pszId ? pszId : L""; }
};

}  // namespace

CNetCfgCtrl::CNetCfgCtrl() {
    m_apClasses[0] = &kNetClient;
    m_apClasses[1] = &kNetService;
    m_apClasses[2] = &kNetTrans;
    m_apClasses[3] = &kNet;
    m_apClasses[4] = NULL;
}

CNetCfgCtrl::~CNetCfgCtrl() {}

HRESULT CNetCfgCtrl::HrGetINetCfg(int bLock, LPCWSTR pszClient, INetCfg** ppnc, LPWSTR* ppszHolder) {
    *ppnc = NULL;
    if (ppszHolder) *ppszHolder = NULL;
    HRESULT hr = CoInitialize(NULL);
    if (hr != S_OK) {
        // COM already initialised on this thread (S_FALSE) counts as a failure; the count
        // it added is given back.
        if (SUCCEEDED(hr)) CoUninitialize();
        return hr;
    }
    INetCfg* pnc = NULL;
    hr = CoCreateInstance(kClsidCNetCfg, NULL, CLSCTX_INPROC_SERVER, kIidINetCfg, reinterpret_cast<void**>(&pnc));
    INetCfgLock* pLock = NULL;
    int bLocked = 0;
    if (SUCCEEDED(hr) && bLock) {
        hr = pnc->QueryInterface(kIidINetCfgLock, reinterpret_cast<void**>(&pLock));
        if (SUCCEEDED(hr)) {
            hr = pLock->AcquireWriteLock(kLockTimeoutMs, pszClient, ppszHolder);
            if (hr == S_FALSE)
                hr = kNoWriteLock;
            else if (SUCCEEDED(hr))
                bLocked = 1;
        }
    }
    if (SUCCEEDED(hr)) {
        hr = pnc->Initialize(NULL);
        if (FAILED(hr) && bLocked) pLock->ReleaseWriteLock();
    }
    SafeRelease(pLock);
    if (SUCCEEDED(hr)) {
        *ppnc = pnc;
        return hr;
    }
    SafeRelease(pnc);
    CoUninitialize();
    return hr;
}

HRESULT CNetCfgCtrl::HrReleaseINetCfg(INetCfg* pnc, int bLock) {
    HRESULT hr = pnc->Uninitialize();
    if (SUCCEEDED(hr) && bLock) {
        INetCfgLock* pLock = NULL;
        hr = pnc->QueryInterface(kIidINetCfgLock, reinterpret_cast<void**>(&pLock));
        if (SUCCEEDED(hr)) {
            hr = pLock->ReleaseWriteLock();
            pLock->Release();
        }
    }
    pnc->Release();
    CoUninitialize();
    return hr;
}

int CNetCfgCtrl::EnableBinding(LPCWSTR pszToken, int bEnable) {
    int nLen = pszToken ? lstrlenW(pszToken) : 0;
    if (nLen == 0) {
        // An empty text would begin every path.
        DBGPRINT(L"CNetCfgCtrl::EnableBinding: no path text, nothing switched");
        return 0;
    }
    INetCfg* pnc = NULL;
    LPWSTR pszHolder = NULL;
    HRESULT hr = HrGetINetCfg(1, GetSetupContext()->GetProgramFileName(), &pnc, &pszHolder);
    if (!pnc) {
        if (hr == kNoWriteLock && pszHolder)
            DBGPRINT(L"CNetCfgCtrl::EnableBinding: HrGetINetCfg Error %d  %s currently holds the lock, try later.", hr,
                     pszHolder);
        else
            DBGPRINT(L"CNetCfgCtrl::EnableBinding: HrGetINetCfg Error %d Couldn't get the notify object interface.",
                     hr);
        FreeText(pszHolder);
        return 0;
    }
    FreeText(pszHolder);

    int nMatched = 0;
    int nChanged = 0;
    int nFailed = 0;
    for (int c = 0; m_apClasses[c]; ++c) {
        INetCfgClass* pClass = NULL;
        IEnumNetCfgComponent* pEnum = NULL;
        hr = pnc->QueryNetCfgClass(m_apClasses[c], kIidINetCfgClass, reinterpret_cast<void**>(&pClass));
        if (SUCCEEDED(hr)) hr = pClass->EnumComponents(&pEnum);
        SafeRelease(pClass);
        if (FAILED(hr) || !pEnum) {
            DBGPRINT(
                L"CNetCfgCtrl:EnabledBinding: HrGetINetCfg Error %d Couldn't get the component enumerator interface.",
                hr);
            SafeRelease(pEnum);
            continue;
        }
        pEnum->Reset();
        for (;;) {
            INetCfgComponent* pComp = NULL;
            ULONG nFetched = 0;
            if (pEnum->Next(1, &pComp, &nFetched) != S_OK || !pComp) {
                SafeRelease(pComp);
                break;
            }
            ComponentInfo info;
            HRESULT hrName = pComp->GetDisplayName(&info.pszName);
            pComp->GetId(&info.pszId);
            if (FAILED(pComp->GetDeviceStatus(&info.ulStatus))) info.ulStatus = 0;

            INetCfgComponentBindings* pBindings = NULL;
            IEnumNetCfgBindingPath* pPaths = NULL;
            hr = pComp->QueryInterface(kIidINetCfgComponentBindings, reinterpret_cast<void**>(&pBindings));
            if (SUCCEEDED(hr)) hr = pBindings->EnumBindingPaths(kBindingsBelow, &pPaths);
            SafeRelease(pBindings);
            if (FAILED(hr) || !pPaths) {
                if (SUCCEEDED(hrName))
                    DBGPRINT(
                        L"CNetCfgCtrl::EnableBinding: HrGetBindingPathEnum Error %d Couldn't get the binding path "
                        L"enumerator of %s.",
                        hr, info.Name());
                else
                    DBGPRINT(
                        L"CNetCfgCtrl::EnableBinding: HrGetBindingPathEnum Error %d Couldn't get the binding path "
                        L"enumerator.",
                        hr);
                SafeRelease(pPaths);
                SafeRelease(pComp);
                continue;
            }
            pPaths->Reset();
            for (;;) {
                INetCfgBindingPath* pPath = NULL;
                nFetched = 0;
                if (pPaths->Next(1, &pPath, &nFetched) != S_OK || !pPath) {
                    SafeRelease(pPath);
                    break;
                }
                LPWSTR pszPath = NULL;
                if (SUCCEEDED(pPath->GetPathToken(&pszPath)) && pszPath && StrCmpNIW(pszPath, pszToken, nLen) == 0) {
                    ++nMatched;
                    int bIsEnabled = pPath->IsEnabled() == S_OK;
                    if (bIsEnabled != (bEnable != 0)) {
                        DBGPRINT(bEnable ? L"CNetCfgCtrl::EnableBinding:Goto enable %s(%s): Status=%d Path=%s"
                                         : L"CNetCfgCtrl::EnableBinding:Goto disable %s(%s): Status=%d Path=%s",
                                 info.Name(), info.Id(), info.ulStatus, pszPath);
                        hr = pPath->Enable(bEnable ? TRUE : FALSE);
                        if (hr == S_OK) {
                            hr = pnc->Apply();
                            if (hr == kReboot) DBGPRINT(L"CNetCfgCtrl::EnableBinding: applied, a restart is needed");
                        }
                        if (hr == S_OK || hr == kReboot) {
                            ++nChanged;
                        } else {
                            DBGPRINT(L"CNetCfgCtrl::EnableBinding: Error %d Path=%s", hr, pszPath);
                            ++nFailed;
                        }
                    }
                }
                FreeText(pszPath);
                SafeRelease(pPath);
            }
            SafeRelease(pPaths);
            SafeRelease(pComp);
        }
        SafeRelease(pEnum);
    }
    HrReleaseINetCfg(pnc, 1);
    if (nMatched == 0)
        DBGPRINT(L"CNetCfgCtrl::EnableBinding: no path begins with %s", pszToken);
    else if (nChanged == 0 && nFailed == 0)
        DBGPRINT(L"CNetCfgCtrl::EnableBinding: every path that begins with %s has the wanted state", pszToken);
    return nChanged > 0 && nFailed == 0 ? 1 : 0;
}
