// winsim: the Windows API as the system's code sees it on Linux.
#pragma once
#include "winnt.h"
#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winnls.h"
#include "wingdi.h"
#include "winuser.h"
#include "winreg.h"
#include "winioctl.h"
#include "winsvc.h"
