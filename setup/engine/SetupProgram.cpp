// The program Setup: its entry routine wWinMain lives in the engine library
// (SetupMain.cpp), so that the engine's tests run the same entry.
#include "SetupGlobals.h"
