// winsim: shlwapi.h
#pragma once
#include "windows.h"
