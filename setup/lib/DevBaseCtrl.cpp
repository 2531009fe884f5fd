#include "DevBaseCtrl.h"

#include <string.h>

CDevBaseCtrl::CDevBaseCtrl() { memset(m_szFoundHwId, 0, sizeof m_szFoundHwId); }

CDevBaseCtrl::~CDevBaseCtrl() {}
