// winsim: makes the DEFINE_GUID lines that follow define their GUIDs.
#pragma once
#include "guiddef.h"
#undef DEFINE_GUID
#ifdef __cplusplus
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    extern "C" const GUID name;                                      \
    extern "C" const GUID name = WINSIM_GUID_INIT(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    const GUID name = WINSIM_GUID_INIT(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#endif
