// winsim: GUID type and helpers.
#pragma once
#include <string.h>
#include "winnt.h"

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
#endif
typedef GUID IID, CLSID, FMTID, *LPGUID, *LPIID, *LPCLSID;
typedef const GUID* LPCGUID;
#ifdef __cplusplus
#define REFGUID const GUID&
#define REFIID const IID&
#define REFCLSID const CLSID&
#define REFFMTID const FMTID&
#else
#define REFGUID const GUID*
#define REFIID const IID*
#define REFCLSID const CLSID*
#endif

#define WINSIM_GUID_INIT(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    {                                                               \
        l, w1, w2, { b1, b2, b3, b4, b5, b6, b7, b8 }               \
    }

// DEFINE_GUID declares the GUID; a unit that includes <initguid.h> first defines it.
#ifdef INITGUID
#ifdef __cplusplus
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    extern "C" const GUID name;                                      \
    extern "C" const GUID name = WINSIM_GUID_INIT(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    const GUID name = WINSIM_GUID_INIT(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#endif
#else
#ifdef __cplusplus
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) extern "C" const GUID name
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) extern const GUID name
#endif
#endif

#ifdef __cplusplus
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
#endif
