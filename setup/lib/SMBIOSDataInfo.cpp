#include "SMBIOSDataInfo.h"

#include <wbemidl.h>
#include <new>
#include <string.h>

#include "DbgMac.h"

namespace {

// Bytes of a width code; -1 for a code that copies nothing.
int WidthBytes(int nWidthCode) {
    switch (nWidthCode) {
    case SMBIOS_WIDTH_BYTE: return 1;
    case SMBIOS_WIDTH_WORD: return 2;
    case SMBIOS_WIDTH_DWORD: return 4;
    case SMBIOS_WIDTH_QWORD: return 8;
    default: return 0;
    }
}

// An unsigned integer property (WMI hands uint8 as VT_UI1 and uint32 as VT_I4); 0 when
// it cannot be read.
int GetUnsigned(IWbemClassObject* pObject, LPCWSTR pszName, DWORD* pdwValue) {
    BSTR bstrName = SysAllocString(pszName);
    if (!bstrName) return 0;
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = pObject->Get(bstrName, 0, &v, NULL, NULL);
    SysFreeString(bstrName);
    int bRead = SUCCEEDED(hr);
    if (bRead) {
        switch (v.vt) {
        case VT_UI1: *pdwValue = v.bVal; break;
        case VT_I2: *pdwValue = (DWORD)(LONG)v.iVal; break;
        case VT_UI2: *pdwValue = v.uiVal; break;
        case VT_I4: *pdwValue = (DWORD)v.lVal; break;
        case VT_UI4: *pdwValue = v.ulVal; break;
        default: bRead = 0; break;
        }
    }
    VariantClear(&v);
    return bRead;
}

}  // namespace

CSMBIOSDataInfo::CSMBIOSDataInfo() : m_pfnGetSystemFirmwareTable(NULL), m_dwSize(0), m_pBuffer(NULL), m_pHeader(NULL) {}

CSMBIOSDataInfo::~CSMBIOSDataInfo() { Free(); }

int CSMBIOSDataInfo::Free() {
    delete[] m_pBuffer;
    m_pBuffer = NULL;
    m_pHeader = NULL;
    m_dwSize = 0;
    return 1;
}

int CSMBIOSDataInfo::Load() {
    Free();
    OSVERSIONINFOW osvi;
    memset(&osvi, 0, sizeof(osvi));
    osvi.dwOSVersionInfoSize = sizeof(osvi);
    if (!GetVersionExW(&osvi)) {
        DBGPRINT(L"CSMBIOSDataInfo::Load:GetVersionEx Error %d", (int)GetLastError());
        return 0;
    }
    if (osvi.dwPlatformId != VER_PLATFORM_WIN32_NT) return 1;
    if (osvi.dwMajorVersion < 6 && osvi.dwMinorVersion < 2) return LoadFromWmi();
    return LoadFromFirmware();
}

int CSMBIOSDataInfo::LoadFromFirmware() {
    HMODULE hKernel32 = GetModuleHandleW(L"kernel32.dll");
    m_pfnGetSystemFirmwareTable =
        hKernel32 ? reinterpret_cast<PFN_GetSystemFirmwareTable>(
                        reinterpret_cast<void (*)(void)>(GetProcAddress(hKernel32, "GetSystemFirmwareTable")))
                  : NULL;
    if (!m_pfnGetSystemFirmwareTable) {
        DBGPRINT(L"Not found GetSystemFirmwareTable routine pointer");
        return 0;
    }
    UINT uSize = m_pfnGetSystemFirmwareTable(SMBIOS_PROVIDER_RSMB, 0, NULL, 0);
    if (uSize < SMBIOS_HEADER_SIZE) {
        DBGPRINT(L"CSMBIOSDataInfo::Load:GetSystemFirmwareTable Error %d", (int)GetLastError());
        return 0;
    }
    BYTE* pBuffer = new (std::nothrow) BYTE[uSize];
    if (!pBuffer) return 0;
    UINT uRead = m_pfnGetSystemFirmwareTable(SMBIOS_PROVIDER_RSMB, 0, pBuffer, uSize);
    // The table may have changed between the two calls: only a complete copy counts.
    if (uRead < SMBIOS_HEADER_SIZE || uRead > uSize) {
        DBGPRINT(L"CSMBIOSDataInfo::Load:GetSystemFirmwareTable Error %d", (int)GetLastError());
        delete[] pBuffer;
        return 0;
    }
    m_pBuffer = pBuffer;
    m_dwSize = uRead;
    m_pHeader = reinterpret_cast<SMBIOSRawData*>(m_pBuffer);
    return 1;
}

int CSMBIOSDataInfo::LoadFromWmi() {
    HRESULT hr = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    if (FAILED(hr)) return 0;

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
            break;
        }
        BSTR bstrNamespace = SysAllocString(L"ROOT\\WMI");
        if (!bstrNamespace) break;
        hr = pLocator->ConnectServer(bstrNamespace, NULL, NULL, NULL, 0, NULL, NULL, &pServices);
        SysFreeString(bstrNamespace);
        if (FAILED(hr) || !pServices) {
            pServices = NULL;
            break;
        }
        hr = CoSetProxyBlanket(pServices, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, NULL, RPC_C_AUTHN_LEVEL_CALL,
                               RPC_C_IMP_LEVEL_IMPERSONATE, NULL, EOAC_NONE);
        if (FAILED(hr)) break;
        BSTR bstrClass = SysAllocString(L"MSSMBios_RawSMBiosTables");
        if (!bstrClass) break;
        hr = pServices->CreateInstanceEnum(bstrClass, 0, NULL, &pEnum);
        SysFreeString(bstrClass);
        if (FAILED(hr) || !pEnum) {
            pEnum = NULL;
            break;
        }
        ULONG uReturned = 0;
        hr = pEnum->Next(SMBIOS_WMI_TIMEOUT_MS, 1, &pObject, &uReturned);
        if (FAILED(hr) || uReturned == 0 || !pObject) {
            pObject = NULL;
            DBGPRINT(L"CSMBIOSDataInfo::Load:No instance of MSSMBios_RawSMBiosTables");
            break;
        }

        // A property that cannot be read stops the filling; what was filled stays loaded.
        nResult = 1;
        DWORD dwSize = 0;
        if (!GetUnsigned(pObject, L"Size", &dwSize)) break;
        dwSize &= 0xFFFF;  // a 16-bit value, taken unsigned: a table of 32 KB or more keeps its length
        BSTR bstrData = SysAllocString(L"SMBiosData");
        VARIANT vData;
        VariantInit(&vData);
        hr = bstrData ? pObject->Get(bstrData, 0, &vData, NULL, NULL) : E_OUTOFMEMORY;
        SysFreeString(bstrData);
        LONG lLower = 0, lUpper = -1;
        const int bBytes = SUCCEEDED(hr) && vData.vt == (VT_ARRAY | VT_UI1) && vData.parray &&
                           SUCCEEDED(SafeArrayGetLBound(vData.parray, 1, &lLower)) &&
                           SUCCEEDED(SafeArrayGetUBound(vData.parray, 1, &lUpper));
        const DWORD dwCount = bBytes && lUpper >= lLower ? static_cast<DWORD>(lUpper - lLower) + 1 : 0;
        // The buffer holds "Size" bytes and two more, or every byte received when that is
        // more: the copy never runs past it.
        DWORD dwTable = dwCount <= SMBIOS_WMI_MAX_TABLE && dwCount > dwSize ? dwCount : dwSize;
        BYTE* pBuffer = new (std::nothrow) BYTE[SMBIOS_HEADER_SIZE + dwTable + 2];
        if (!pBuffer) {
            nResult = 0;
            VariantClear(&vData);
            break;
        }
        memset(pBuffer, 0, SMBIOS_HEADER_SIZE + dwTable + 2);
        m_pBuffer = pBuffer;
        m_dwSize = SMBIOS_HEADER_SIZE + dwTable + 2;
        m_pHeader = reinterpret_cast<SMBIOSRawData*>(m_pBuffer);
        m_pHeader->Length = dwSize;
        DWORD dwValue = 0;
        if (GetUnsigned(pObject, L"SmbiosMajorVersion", &dwValue)) {
            m_pHeader->SMBIOSMajorVersion = (BYTE)dwValue;
            if (GetUnsigned(pObject, L"SmbiosMinorVersion", &dwValue)) {
                m_pHeader->SMBIOSMinorVersion = (BYTE)dwValue;
                if (dwCount > SMBIOS_WMI_MAX_TABLE) {
                    DBGPRINT(L"Return global_buffer would overflow.  Abort initialization of raw SMBIOS data.\n");
                    Free();
                    nResult = 0;
                } else if (dwCount > 0) {
                    BYTE* pElements = NULL;
                    if (SUCCEEDED(SafeArrayAccessData(vData.parray, reinterpret_cast<void**>(&pElements)))) {
                        memcpy(m_pBuffer + SMBIOS_HEADER_SIZE, pElements, dwCount);
                        SafeArrayUnaccessData(vData.parray);
                    }
                }
            }
        }
        VariantClear(&vData);
    } while (0);

    if (pObject) pObject->Release();
    if (pEnum) pEnum->Release();
    if (pServices) pServices->Release();
    if (pLocator) pLocator->Release();
    CoUninitialize();
    return nResult;
}

int CSMBIOSDataInfo::GetStructField(BYTE byType, BYTE byOffset, int nWidthCode, void* pOut) {
    if (!m_pBuffer || !m_pHeader || m_dwSize < SMBIOS_HEADER_SIZE) return 0;
    const DWORD dwWidth = static_cast<DWORD>(WidthBytes(nWidthCode));
    DWORD dwEnd = SMBIOS_HEADER_SIZE + m_pHeader->Length;
    if (dwEnd > m_dwSize || dwEnd < SMBIOS_HEADER_SIZE) dwEnd = m_dwSize;
    int bFound = 0;
    DWORD dwPos = SMBIOS_HEADER_SIZE;
    // Each structure begins with its type and its formatted length.
    while (dwEnd - dwPos >= 2) {
        const BYTE* pStruct = m_pBuffer + dwPos;
        const DWORD dwLength = pStruct[1];
        // A formatted length of exactly the offset still matches (the field then starts at
        // the first string byte); a field that would run past the table is not read.
        if (pStruct[0] == byType && dwLength >= byOffset && static_cast<DWORD>(byOffset) + dwWidth <= dwEnd - dwPos) {
            if (dwWidth && pOut) memcpy(pOut, pStruct + byOffset, dwWidth);
            bFound = 1;
        }
        if (dwLength >= dwEnd - dwPos) break;
        // Past the formatted part and the string set, which ends with two NUL bytes.
        dwPos += dwLength;
        while (dwEnd - dwPos >= 2 && (m_pBuffer[dwPos] != 0 || m_pBuffer[dwPos + 1] != 0)) ++dwPos;
        if (dwEnd - dwPos < 2) break;
        dwPos += 2;
    }
    return bFound;
}
