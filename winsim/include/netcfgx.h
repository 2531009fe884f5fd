// winsim: the network configuration interfaces (netcfgx), with their documented GUIDs and
// codes, each in its documented method order up to the last method the model has; of
// those, Cancel, FindComponent, SetDisplayName, GetHelpText, GetCharacteristics,
// GetInstanceGuid, BindTo, UnbindFrom, SupportsBindingInterface, IsBoundTo, IsBindableTo,
// Skip, Clone, IsSamePathAs, IsSubPathOf and GetOwner return E_NOTIMPL.
//
// CoCreateInstance(CLSID_CNetCfg) gives an INetCfg over the machine's network components
// (winsim/netcfg.h): clients, services, protocols and adapters, each with the binding paths
// below it. INetCfgLock::AcquireWriteLock must come before Initialize; while another
// client holds the lock it waits cmsTimeout ms of the machine's clock and returns S_FALSE
// with that client's description. Enable needs the write lock; its changes become the
// machine's at Apply, which returns the model's Apply result (S_OK, NETCFG_S_REBOOT or a
// failure, which applies nothing) and are dropped at Uninitialize. ReleaseWriteLock works
// only before Initialize or after Uninitialize (else NETCFG_E_ALREADY_INITIALIZED). Texts
// handed out are allocated with CoTaskMemAlloc; the caller frees them with CoTaskMemFree.
#pragma once
#include "ole2.h"

#define NETCFG_E_ALREADY_INITIALIZED ((HRESULT)0x8004A020L)
#define NETCFG_E_NOT_INITIALIZED ((HRESULT)0x8004A021L)
#define NETCFG_E_IN_USE ((HRESULT)0x8004A022L)
#define NETCFG_E_NO_WRITE_LOCK ((HRESULT)0x8004A024L)
#define NETCFG_E_NEED_REBOOT ((HRESULT)0x8004A025L)
#define NETCFG_S_REBOOT ((HRESULT)0x0004A020L)

// EnumBindingPaths flags.
#define EBP_ABOVE 0x1
#define EBP_BELOW 0x2

DEFINE_GUID(CLSID_CNetCfg, 0x5b035261, 0x40f9, 0x11d1, 0xaa, 0xec, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e);
DEFINE_GUID(IID_INetCfg, 0xc0e8ae93, 0x306e, 0x11d1, 0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e);
DEFINE_GUID(IID_INetCfgLock, 0xc0e8ae9f, 0x306e, 0x11d1, 0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e);
DEFINE_GUID(IID_INetCfgClass, 0xc0e8ae97, 0x306e, 0x11d1, 0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e);
DEFINE_GUID(IID_IEnumNetCfgComponent, 0xc0e8ae92, 0x306e, 0x11d1, 0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e);
DEFINE_GUID(IID_INetCfgComponent, 0xc0e8ae99, 0x306e, 0x11d1, 0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e);
DEFINE_GUID(IID_INetCfgComponentBindings, 0xc0e8ae9e, 0x306e, 0x11d1, 0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e);
DEFINE_GUID(IID_IEnumNetCfgBindingPath, 0xc0e8ae91, 0x306e, 0x11d1, 0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e);
DEFINE_GUID(IID_INetCfgBindingPath, 0xc0e8ae96, 0x306e, 0x11d1, 0xaa, 0xcf, 0x00, 0x80, 0x5f, 0xc1, 0x27, 0x0e);

struct INetCfgComponent;
struct IEnumNetCfgComponent;
struct IEnumNetCfgBindingPath;
struct INetCfgBindingPath;

struct INetCfg : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Initialize(PVOID pvReserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE Uninitialize() = 0;
    virtual HRESULT STDMETHODCALLTYPE Apply() = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumComponents(const GUID* pguidClass, IEnumNetCfgComponent** ppenum) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR pszwInfId, INetCfgComponent** ppComponent) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryNetCfgClass(const GUID* pguidClass, REFIID riid, void** ppvObject) = 0;
};

struct INetCfgLock : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AcquireWriteLock(DWORD cmsTimeout, LPCWSTR pszwClientDescription,
                                                       LPWSTR* ppszwClientDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseWriteLock() = 0;
    virtual HRESULT STDMETHODCALLTYPE IsWriteLocked(LPWSTR* ppszwClientDescription) = 0;
};

struct INetCfgClass : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR pszwInfId, INetCfgComponent** ppComponent) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumComponents(IEnumNetCfgComponent** ppenum) = 0;
};

struct IEnumNetCfgComponent : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, INetCfgComponent** rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumNetCfgComponent** ppenum) = 0;
};

struct INetCfgComponent : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* ppszwDisplayName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR pszwDisplayName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpText(LPWSTR* pszwHelpText) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetId(LPWSTR* ppszwId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCharacteristics(LPDWORD pdwCharacteristics) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInstanceGuid(GUID* pGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPnpDevNodeId(LPWSTR* ppszwDevNodeId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassGuid(GUID* pGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBindName(LPWSTR* ppszwBindName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceStatus(ULONG* pulStatus) = 0;
};

struct INetCfgComponentBindings : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BindTo(INetCfgComponent* pnccItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnbindFrom(INetCfgComponent* pnccItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE SupportsBindingInterface(DWORD dwFlags, LPCWSTR pszwInterfaceName) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsBoundTo(INetCfgComponent* pnccItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsBindableTo(INetCfgComponent* pnccItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumBindingPaths(DWORD dwFlags, IEnumNetCfgBindingPath** ppIEnum) = 0;
};

struct IEnumNetCfgBindingPath : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, INetCfgBindingPath** rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumNetCfgBindingPath** ppenum) = 0;
};

struct INetCfgBindingPath : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE IsSamePathAs(INetCfgBindingPath* pPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsSubPathOf(INetCfgBindingPath* pPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsEnabled() = 0;
    virtual HRESULT STDMETHODCALLTYPE Enable(BOOL fEnable) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPathToken(LPWSTR* ppszwPathToken) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOwner(INetCfgComponent** ppComponent) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDepth(ULONG* pcInterfaces) = 0;
};
