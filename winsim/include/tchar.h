// winsim: tchar.h
#pragma once
#include "windows.h"
