#include "WmiCtrl.h"

#include <wbemidl.h>

#include "DbgMac.h"

namespace {

const WCHAR kGetValueFault[] = L"WmiCtrl::GetValue() Get Exception Error\n";

// Appends pszText to pszOut (cchOut characters), cutting it to fit.
void Append(LPWSTR pszOut, DWORD cchOut, LPCWSTR pszText) {
    int nUsed = lstrlenW(pszOut);
    if (static_cast<DWORD>(nUsed) + 1 >= cchOut) return;
    lstrcpynW(pszOut + nUsed, pszText, static_cast<int>(cchOut - static_cast<DWORD>(nUsed)));
}

// A new BSTR of the text (-1: its length with the terminator); a fault during the copy is
// logged with pszFault and gives null.
BSTR CopyToBstr(LPCWSTR pszText, int nLength, LPCWSTR pszFault) {
    try {
        if (!pszText) return SysAllocStringLen(NULL, 0);
        if (nLength == -1) nLength = lstrlenW(pszText) + 1;
        if (nLength < 0) return NULL;
        return SysAllocStringLen(pszText, static_cast<UINT>(nLength));
    } catch (...) {
        DBGPRINT(pszFault);
        return NULL;
    }
}

// A BSTR freed when its scope ends, by a fault too.
class CBstr {
public:
    explicit CBstr(BSTR b) : m_b(b) {}
    ~CBstr() { SysFreeString(m_b); }
    BSTR Get() const { return m_b; }

private:
    CBstr(const CBstr&);
    CBstr& operator=(const CBstr&);
    BSTR m_b;
};

// Releases an interface of GetValue once; a fault in the release is logged as GetValue's.
template <class T>
void ReleaseOnce(T** pp) {
    T* p = *pp;
    *pp = NULL;
    if (!p) return;
    try {
        p->Release();
    } catch (...) {
        DBGPRINT(kGetValueFault);
    }
}

}  // namespace

BSTR WmiCtrl::BstrToAnsi(LPCWSTR pszText, int nLength) {
    return CopyToBstr(pszText, nLength, L"WmiCtrl::BstrToAnsi Get Exception Error\n");
}

BSTR WmiCtrl::AnsiToBstrr(LPCWSTR pszText, int nLength) {
    return CopyToBstr(pszText, nLength, L"WmiCtrl::AnsiToBstrr Get Exception Error\n");
}

int WmiCtrl::GetScalar(VARIANT* pValue, LPWSTR pszOut, DWORD cchOut) {
    if (!pValue || !pszOut || cchOut == 0) return 0;
    if (pValue->vt == VT_EMPTY || pValue->vt == VT_NULL) {
        DBGPRINT(L"<empty>\n");
        return 0;
    }
    VARIANT vText;
    VariantInit(&vText);
    int nResult = 0;
    try {
        if (FAILED(VariantChangeType(&vText, pValue, 0, VT_BSTR))) {
            DBGPRINT(L"<non-printable>\n");
            return 0;
        }
        BSTR bstrCopy = BstrToAnsi(vText.bstrVal, -1);
        if (bstrCopy) {
            DBGPRINT(L"%s\n", bstrCopy);
            lstrcpynW(pszOut, bstrCopy, static_cast<int>(cchOut));
            SysFreeString(bstrCopy);
            nResult = 1;
        }
        VariantClear(&vText);
    } catch (...) {
        DBGPRINT(L"WmiCtrl::GetScalar Get Exception Ettor\n");
        nResult = 0;
    }
    return nResult;
}

int WmiCtrl::GetArrayString(VARIANT* pValue, LPCWSTR pszSeparator, LPWSTR pszOut, DWORD cchOut, int* pnConverted) {
    if (pnConverted) *pnConverted = 0;
    if (!pValue || !(pValue->vt & VT_ARRAY) || !pValue->parray || !pszOut || cchOut == 0) return 0;
    SAFEARRAY* psa = pValue->parray;
    LONG lLower = 0, lUpper = -1;
    if (FAILED(SafeArrayGetLBound(psa, 1, &lLower)) || FAILED(SafeArrayGetUBound(psa, 1, &lUpper))) return 0;
    UINT cbElement = SafeArrayGetElemsize(psa);
    BYTE* pData = NULL;
    if (FAILED(SafeArrayAccessData(psa, reinterpret_cast<void**>(&pData)))) return 0;

    pszOut[0] = 0;
    int nResult = 1;
    int nConverted = 0;
    VARTYPE vtElement = static_cast<VARTYPE>((pValue->vt & ~(VT_ARRAY | VT_BYREF)) | VT_BYREF);
    VARIANT vCopy;
    VariantInit(&vCopy);
    try {
        for (LONG i = lLower; i <= lUpper; ++i) {
            VARIANT vElement;
            VariantInit(&vElement);
            vElement.vt = vtElement;
            vElement.byref = pData + static_cast<size_t>(i - lLower) * cbElement;
            if (FAILED(VariantCopy(&vCopy, &vElement))) {
                DBGPRINT(L"VariantCopy failed in DisplayArray \n");
                nResult = 0;
                break;
            }
            if (SUCCEEDED(VariantChangeType(&vCopy, &vCopy, 0, VT_BSTR))) {
                DBGPRINT(L"      (%d) %s\n", static_cast<int>(i - lLower), vCopy.bstrVal);
                if (i == lLower) {
                    lstrcpynW(pszOut, vCopy.bstrVal, static_cast<int>(cchOut));
                } else {
                    if (pszSeparator) Append(pszOut, cchOut, pszSeparator);
                    Append(pszOut, cchOut, vCopy.bstrVal);
                }
                ++nConverted;
            } else {
                DBGPRINT(L"      (%d): <non-printable>\n", static_cast<int>(i - lLower));
            }
            VariantClear(&vCopy);
        }
    } catch (...) {
        DBGPRINT(L"WmiCtrl::GetArrayString Get Exception Error\n");
        nResult = 0;
    }
    SafeArrayUnaccessData(psa);
    if (pnConverted) *pnConverted = nConverted;
    return nResult;
}

int WmiCtrl::GetValue(LPCWSTR pszNamespace, LPCWSTR pszClass, LPCWSTR pszProperty, LPWSTR pszOut, DWORD cchOut) {
    if (!pszOut || cchOut == 0 || !pszNamespace || !pszClass || !pszProperty) return 0;

    int nResult = 0;
    int bOleInit = 0;
    IWbemLocator* pLocator = NULL;
    IWbemServices* pServices = NULL;
    IEnumWbemClassObject* pEnum = NULL;
    IWbemClassObject* pObject = NULL;
    // A fault in a call below (a faulty provider or object) is logged and ends the query;
    // the result is what was reached, and what was obtained is released all the same.
    try {
        HRESULT hr = OleInitialize(NULL);
        if (hr != S_OK) {
            DBGPRINT(L"Error %lx: Failed to initialize COM library.\n", hr);
            if (SUCCEEDED(hr)) OleUninitialize();
            return 0;
        }
        bOleInit = 1;
        do {
            hr = CoCreateInstance(CLSID_WbemLocator, NULL, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  reinterpret_cast<LPVOID*>(&pLocator));
            if (FAILED(hr) || !pLocator) {
                pLocator = NULL;
                DBGPRINT(L"Error %lX: Could not create instance of IWbemLocator interface.\n", hr);
                break;
            }

            {
                CBstr bstrNamespace(AnsiToBstrr(pszNamespace, -1));
                if (!bstrNamespace.Get()) {
                    DBGPRINT(L"Out of memory.\n");
                    break;
                }
                hr = pLocator->ConnectServer(bstrNamespace.Get(), NULL, NULL, NULL, 0, NULL, NULL, &pServices);
            }
            if (FAILED(hr) || !pServices) {
                pServices = NULL;
                DBGPRINT(L"Error %lX: Failed to connect to namespace %s.\n", hr, pszNamespace);
                break;
            }

            hr = CoSetProxyBlanket(pServices, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, NULL, RPC_C_AUTHN_LEVEL_CALL,
                                   RPC_C_IMP_LEVEL_IMPERSONATE, NULL, EOAC_NONE);
            if (FAILED(hr)) {
                DBGPRINT(L"Error %lX: Failed to impersonate.\n", hr);
                break;
            }

            {
                CBstr bstrClass(AnsiToBstrr(pszClass, -1));
                if (!bstrClass.Get()) {
                    DBGPRINT(L"Out of memory.\n");
                    break;
                }
                hr = pServices->CreateInstanceEnum(bstrClass.Get(), 0, NULL, &pEnum);
            }
            if (FAILED(hr) || !pEnum) {
                pEnum = NULL;
                DBGPRINT(L"Error %lX: Failed to get a reference to instance enumerator.\n", hr);
                break;
            }

            ULONG uReturned = 0;
            hr = pEnum->Next(WMICTRL_NEXT_TIMEOUT_MS, 1, &pObject, &uReturned);
            if (FAILED(hr) || uReturned == 0 || !pObject) {
                pObject = NULL;
                DBGPRINT(L"Could not find the instance.\n");
                break;
            }

            VARIANT vValue;
            VariantInit(&vValue);
            {
                CBstr bstrProperty(AnsiToBstrr(pszProperty, -1));
                if (!bstrProperty.Get()) {
                    DBGPRINT(L"bstrPropertyName Error out of memory.\n");
                    break;
                }
                for (DWORD i = 0; i < 4 && i < cchOut; ++i) pszOut[i] = 0;
                hr = pObject->Get(bstrProperty.Get(), 0, &vValue, NULL, NULL);
            }
            if (FAILED(hr)) {
                DBGPRINT(L"Error %lX: Failed to get property valueto get of %s.\n", hr, pszProperty);
                break;
            }

            if (vValue.vt == VT_EMPTY || vValue.vt == VT_NULL) {
                DBGPRINT(L"Error Property Value is <empty> or <null>\n");
            } else if (vValue.vt & VT_ARRAY) {
                int nConverted = 0;
                nResult = (GetArrayString(&vValue, NULL, pszOut, cchOut, &nConverted) && nConverted > 0) ? 1 : 0;
            } else {
                nResult = GetScalar(&vValue, pszOut, cchOut);
            }
            VariantClear(&vValue);
        } while (0);
    } catch (...) {
        DBGPRINT(kGetValueFault);
    }

    ReleaseOnce(&pObject);
    ReleaseOnce(&pEnum);
    ReleaseOnce(&pServices);
    ReleaseOnce(&pLocator);
    if (bOleInit) {
        try {
            OleUninitialize();
        } catch (...) {
            DBGPRINT(kGetValueFault);
        }
    }
    return nResult;
}
