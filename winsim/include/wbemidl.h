// winsim: the WMI interfaces (see wbemcli.h).
#pragma once
#include "wbemcli.h"
