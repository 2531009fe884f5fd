// winsim: strsafe.h
#pragma once
#include "windows.h"
