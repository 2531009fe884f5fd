// Network bindings: switches the binding paths whose token begins with a given text on or
// off, under every component of the four network classes, through the network
// configuration interfaces; each change is applied at once.
#pragma once

#include <windows.h>

#include <guiddef.h>

#define NETCFG_CLASS_COUNT 4

struct INetCfg;

class CNetCfgCtrl {
public:
    CNetCfgCtrl();
    ~CNetCfgCtrl();

    // 1 when at least one path whose token begins with pszToken (without regard to case)
    // changed state and every change was applied (a change that waits for a restart counts
    // as applied). 0 when no path changed (none matched, or every one already had the
    // wanted state), a change or its application failed, the configuration could not be
    // opened, or the text is empty.
    int EnableBinding(LPCWSTR pszToken, int bEnable);

private:
    CNetCfgCtrl(const CNetCfgCtrl&);
    CNetCfgCtrl& operator=(const CNetCfgCtrl&);

    // Opens the configuration (COM initialised, the instance created, with bLock the
    // write lock taken for the client pszClient, initialised). On failure COM is left as
    // it was found and *ppszHolder may name the lock's holder (free it with
    // CoTaskMemFree).
    HRESULT HrGetINetCfg(int bLock, LPCWSTR pszClient, INetCfg** ppnc, LPWSTR* ppszHolder);
    // Uninitialises the instance, releases the lock and COM.
    HRESULT HrReleaseINetCfg(INetCfg* pnc, int bLock);

    // The classes visited, in order; null-terminated.
    const GUID* m_apClasses[NETCFG_CLASS_COUNT + 1];
};
