// winsim: the power class definitions; the battery part lives in batclass.h.
#pragma once
#include "batclass.h"
