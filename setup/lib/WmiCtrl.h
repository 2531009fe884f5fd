// Reading one property of the first instance of a WMI class as text.
#pragma once

#include <windows.h>
#include <ole2.h>

#define WMICTRL_TEXT_CCH 260
// How long GetValue waits for the first instance.
#define WMICTRL_NEXT_TIMEOUT_MS 10000

class WmiCtrl {
public:
    WmiCtrl() {}
    ~WmiCtrl() {}

    // The property as text in pszOut (cchOut characters, cut to fit); 1 when a value was
    // converted, 0 for an empty or null value or any failure. Initialises OLE for the
    // call and undoes exactly what it initialised. Each operation catches a fault raised by
    // a call it makes, logs it ("WmiCtrl::GetValue() Get Exception Error" and the like) and
    // gives what it had reached (GetValue), 0 (the converters) or null (the copies).
    int GetValue(LPCWSTR pszNamespace, LPCWSTR pszClass, LPCWSTR pszProperty, LPWSTR pszOut,
                 DWORD cchOut = WMICTRL_TEXT_CCH);
    // A scalar VARIANT as text; 1 when converted.
    int GetScalar(VARIANT* pValue, LPWSTR pszOut, DWORD cchOut = WMICTRL_TEXT_CCH);
    // The elements of a one-dimensional array joined (with the separator, when given);
    // 1 unless an element copy failed. *pnConverted (when given) receives how many
    // elements were converted.
    int GetArrayString(VARIANT* pValue, LPCWSTR pszSeparator, LPWSTR pszOut, DWORD cchOut = WMICTRL_TEXT_CCH,
                       int* pnConverted = NULL);
    // A new BSTR of the text (-1: its length with the terminator counted inside); a null
    // text gives an empty BSTR. Both names do the same.
    BSTR BstrToAnsi(LPCWSTR pszText, int nLength);
    BSTR AnsiToBstrr(LPCWSTR pszText, int nLength);
};
