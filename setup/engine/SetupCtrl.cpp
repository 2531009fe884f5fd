// The command engine's own members and the device search it relies on.
#include "SetupCtrl.h"

#include "DbgMac.h"

CSetupCtrl* g_pSetupCtrl = NULL;

CSetupCtrl::CSetupCtrl() : m_hDlgLib(NULL), m_pfnDoModal(NULL), m_pfnShow(NULL), m_pfnStrWin(NULL) {
    BindDialogLibrary();
}

CSetupCtrl::~CSetupCtrl() {}

int CSetupCtrl::IsExist(LPCWSTR pszHardwareId) {
    if (!pszHardwareId || !pszHardwareId[0]) return 0;
    return m_DevCtrl.IsExist(pszHardwareId, NULL, NULL);
}

int CSetupCtrl::ParseNumber(LPCWSTR pszText, int nBase, DWORD* pdwValue) {
    if (!pszText || (nBase != 10 && nBase != 16)) return 0;
    LPCWSTR p = pszText;
    while (*p == L' ' || *p == L'\t') ++p;
    int bNegative = 0;
    if (*p == L'+' || *p == L'-') bNegative = *p++ == L'-';
    if (nBase == 16 && p[0] == L'0' && (p[1] == L'x' || p[1] == L'X')) {
        WCHAR c = p[2];
        if ((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F')) p += 2;
    }
    unsigned long long value = 0;
    int nDigits = 0;
    for (;; ++p) {
        int d;
        if (*p >= L'0' && *p <= L'9')
            d = *p - L'0';
        else if (nBase == 16 && *p >= L'a' && *p <= L'f')
            d = *p - L'a' + 10;
        else if (nBase == 16 && *p >= L'A' && *p <= L'F')
            d = *p - L'A' + 10;
        else
            break;
        value = value * (unsigned)nBase + (unsigned)d;
        if (value > 0xFFFFFFFFull) return 0;
        ++nDigits;
    }
    if (nDigits == 0) return 0;
    DWORD dw = (DWORD)value;
    if (bNegative) dw = (DWORD)(0u - dw);
    if (pdwValue) *pdwValue = dw;
    return 1;
}
