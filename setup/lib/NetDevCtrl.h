// The network device object: one global object from start-up to exit that keeps the
// current network adapter record, whose NetCfgInstanceId is the value of %NetInstanceGUID%.
// The adapter search and the configuration backup build on this class.
#pragma once

#include <windows.h>

#include "DevCtrl.h"

#define NETDEV_GUID_CCH 260

class CNetDevCtrl : public CDevCtrl {
public:
    CNetDevCtrl();
    virtual ~CNetDevCtrl();

    // The NetCfgInstanceId of the current adapter record; empty before any adapter was
    // found.
    LPCWSTR GetNetCfgInstanceId() const { return m_szNetCfgInstanceId; }

protected:
    WCHAR m_szNetCfgInstanceId[NETDEV_GUID_CCH];

private:
    CNetDevCtrl(const CNetDevCtrl&);
    CNetDevCtrl& operator=(const CNetDevCtrl&);
};

// The setup program's network device object; null before start-up and after the exit.
extern CNetDevCtrl* g_pNetDevCtrl;
