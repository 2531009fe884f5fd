// winsim: the registry API.
#pragma once
#include "windef.h"
#include "winbase.h"
