// The network device object.
#include "NetDevCtrl.h"

CNetDevCtrl* g_pNetDevCtrl = NULL;

CNetDevCtrl::CNetDevCtrl() { m_szNetCfgInstanceId[0] = 0; }

CNetDevCtrl::~CNetDevCtrl() {}
