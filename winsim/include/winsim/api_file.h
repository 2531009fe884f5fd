// winsim: kernel32 file functions (included by winbase.h).
#pragma once
#include "../winnt.h"
