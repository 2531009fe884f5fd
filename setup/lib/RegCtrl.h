// The setup program's layer over the registry functions. While the running command's WOW
// flag is set, every open, create and delete works in the registry view that is not the
// program's own (x64 build: the 32-bit view; x86 build: the 64-bit view).
#pragma once

#include <windows.h>

#define REGCTRL_TEXT_CCH 260

class CRegCtrl {
public:
    CRegCtrl() {}
    ~CRegCtrl() {}

    int WriteRegBIN(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, const BYTE* pData, DWORD cbData);
    int WriteRegSZ(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, LPCWSTR pszText);
    // Reads a text of at most 259 characters into pszOut (REGCTRL_TEXT_CCH characters);
    // pszOut is untouched on failure.
    int ReadRegSZ(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, LPWSTR pszOut);
    // Reads at most 4 bytes of any type into *pdwOut.
    int ReadRegDW(HKEY hRoot, LPCWSTR pszSubKey, LPCWSTR pszValue, DWORD* pdwOut);
    int IsRegKey(HKEY hRoot, LPCWSTR pszSubKey);
    int CreateRegKey(HKEY hRoot, LPCWSTR pszSubKey);
    // Deletes a key without sub keys, in the view the WOW flag selects.
    int DeleteRegKey(HKEY hRoot, LPCWSTR pszSubKey);

    // Copies every sub key and value of the source key into the destination key (created
    // as needed), in the program's own registry view, opening each level from its parent
    // so that depth has no path limit. 0 when the source cannot be opened, the destination
    // cannot be created, the destination lies inside the source, or any part failed; the
    // parts that could be copied are copied.
    static int CopyRegistry(HKEY hSrcRoot, LPCWSTR pszSrcKey, HKEY hDestRoot, LPCWSTR pszDestKey);

    // The access mask for base (KEY_READ, KEY_WRITE, or 0 for the view bits alone) with
    // the WOW flag, for the x64 build (b64Build non-zero) or the x86 build.
    static REGSAM ViewMask(REGSAM samBase, int bWow, int b64Build);
    // The same for this build and the running command's WOW flag.
    static REGSAM CurrentMask(REGSAM samBase);
};
