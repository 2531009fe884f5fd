#include "WmiCtrl.h"

#include <wbemidl.h>

#include "DbgMac.h"

namespace {

// Appends pszText to pszOut (cchOut characters), cutting it to fit.
void Append(LPWSTR pszOut, DWORD cchOut, LPCWSTR pszText) {
    int nUsed = lstrlenW(pszOut);
    if (static_cast<DWORD>(nUsed) + 1 >= cchOut) return;
    lstrcpynW(pszOut + nUsed, pszText, static_cast<int>(cchOut - static_cast<DWORD>(nUsed)));
}

}  // namespace

BSTR WmiCtrl::BstrToAnsi(LPCWSTR pszText, int nLength) {
    if (!pszText) return SysAllocStringLen(NULL, 0);
    if (nLength == -1) nLength = lstrlenW(pszText) + 1;
    if (nLength < 0) return NULL;
    return SysAllocStringLen(pszText, static_cast<UINT>(nLength));
}

BSTR WmiCtrl::AnsiToBstrr(LPCWSTR pszText, int nLength) { return BstrToAnsi(pszText, nLength); }

int WmiCtrl::GetScalar(VARIANT* pValue, LPWSTR pszOut, DWORD cchOut) {
    if (!pValue || !pszOut || cchOut == 0) return 0;
    if (pValue->vt == VT_EMPTY || pValue->vt == VT_NULL) {
        DBGPRINT(L"<empty>\n");
        return 0;
    }
    VARIANT vText;
    VariantInit(&vText);
    if (FAILED(VariantChangeType(&vText, pValue, 0, VT_BSTR))) {
        DBGPRINT(L"<non-printable>\n");
        return 0;
    }
    int nResult = 0;
    BSTR bstrCopy = BstrToAnsi(vText.bstrVal, -1);
    if (bstrCopy) {
        DBGPRINT(L"%s\n", bstrCopy);
        lstrcpynW(pszOut, bstrCopy, static_cast<int>(cchOut));
        SysFreeString(bstrCopy);
        nResult = 1;
    }
    VariantClear(&vText);
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
    for (LONG i = lLower; i <= lUpper; ++i) {
        VARIANT vElement, vCopy;
        VariantInit(&vElement);
        VariantInit(&vCopy);
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
    SafeArrayUnaccessData(psa);
    if (pnConverted) *pnConverted = nConverted;
    return nResult;
}

int WmiCtrl::GetValue(LPCWSTR pszNamespace, LPCWSTR pszClass, LPCWSTR pszProperty, LPWSTR pszOut, DWORD cchOut) {
    if (!pszOut || cchOut == 0 || !pszNamespace || !pszClass || !pszProperty) return 0;

    HRESULT hr = OleInitialize(NULL);
    if (hr != S_OK) {
        DBGPRINT(L"Error %lx: Failed to initialize COM library.\n", hr);
        if (SUCCEEDED(hr)) OleUninitialize();
        return 0;
    }

    int nResult = 0;
    IWbemLocator* pLocator = NULL;
    IWbemServices* pServices = NULL;
    IEnumWbemClassObject* pEnum = NULL;
    IWbemClassObject* pObject = NULL;
    do {
        hr = CoCreateInstance(CLSID_WbemLocator, NULL, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<LPVOID*>(&pLocator));
        if (FAILED(hr) || !pLocator) {
            pLocator = NULL;
            DBGPRINT(L"Error %lX: Could not create instance of IWbemLocator interface.\n", hr);
            break;
        }

        BSTR bstrNamespace = AnsiToBstrr(pszNamespace, -1);
        if (!bstrNamespace) {
            DBGPRINT(L"Out of memory.\n");
            break;
        }
        hr = pLocator->ConnectServer(bstrNamespace, NULL, NULL, NULL, 0, NULL, NULL, &pServices);
        SysFreeString(bstrNamespace);
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

        BSTR bstrClass = AnsiToBstrr(pszClass, -1);
        if (!bstrClass) {
            DBGPRINT(L"Out of memory.\n");
            break;
        }
        hr = pServices->CreateInstanceEnum(bstrClass, 0, NULL, &pEnum);
        SysFreeString(bstrClass);
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

        BSTR bstrProperty = AnsiToBstrr(pszProperty, -1);
        if (!bstrProperty) {
            DBGPRINT(L"bstrPropertyName Error out of memory.\n");
            break;
        }
        for (DWORD i = 0; i < 4 && i < cchOut; ++i) pszOut[i] = 0;
        VARIANT vValue;
        VariantInit(&vValue);
        hr = pObject->Get(bstrProperty, 0, &vValue, NULL, NULL);
        SysFreeString(bstrProperty);
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

    if (pObject) pObject->Release();
    if (pEnum) pEnum->Release();
    if (pServices) pServices->Release();
    if (pLocator) pLocator->Release();
    OleUninitialize();
    return nResult;
}
