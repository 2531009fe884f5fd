#include "InfCtrl.h"

#include <setupapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <stdlib.h>
#include <wchar.h>

#include "DbgMac.h"

// Room for the section names of any INF (GetPrivateProfileSectionNames' own limit).
#define INF_SECTION_NAMES_CCH 32767

namespace {

int Given(LPCWSTR psz) { return psz && psz[0]; }

}  // namespace

CInfCtrl::CInfCtrl() : m_pszSectionNames(NULL), m_nFailed(0) {
    m_szClass[0] = 0;
    m_szProvider[0] = 0;
}

CInfCtrl::~CInfCtrl() { Close(); }

int CInfCtrl::HasInfSection(LPCWSTR pszSection) {
    if (!pszSection || !m_pszSectionNames) return 0;
    for (LPCWSTR p = m_pszSectionNames; *p; p += lstrlenW(p) + 1)
        if (lstrcmpiW(p, pszSection) == 0) return 1;
    return 0;
}

int CInfCtrl::Open(LPCWSTR pszInfPath) {
    Close();
    int nResult = CProfileCtrl::Open(pszInfPath, -1);
    m_pszSectionNames = static_cast<LPWSTR>(calloc(INF_SECTION_NAMES_CCH, sizeof(WCHAR)));
    if (m_pszSectionNames && nResult)
        GetPrivateProfileSectionNamesW(m_pszSectionNames, INF_SECTION_NAMES_CCH, GetFilePath());

    GetString(L"Version", L"Class", m_szClass, INF_VALUE_CCH, 1);
    GetString(L"Version", L"Provider", m_szProvider, INF_VALUE_CCH, 1);

    CProfileEntryList lines;
    GetKeyValues(L"Manufacturer", &lines, 1);
    for (int i = 0; i < lines.GetCount(); ++i) {
        const ProfileEntry* e = lines.Get(i);
        CTextList fields;
        Split(&fields, e->szValue, L", ");
        if (fields.GetCount() == 0) continue;
        LPCWSTR pszModels = fields.Get(0);
        InfModelSection s;
        lstrcpynW(s.szManufacturer, e->szKey, INF_MANUFACTURER_CCH);
        if (HasInfSection(pszModels)) {
            lstrcpynW(s.szSection, pszModels, PROFILE_KEY_CCH);
            m_Models.Add(s);
        }
        for (int f = 0; f < fields.GetCount(); ++f) {
            WCHAR szName[PROFILE_KEY_CCH];
            if (lstrlenW(pszModels) + 1 + lstrlenW(fields.Get(f)) >= PROFILE_KEY_CCH) continue;
            wsprintfW(szName, L"%s.%s", pszModels, fields.Get(f));
            if (!HasInfSection(szName)) continue;
            lstrcpynW(s.szSection, szName, PROFILE_KEY_CCH);
            m_Models.Add(s);
        }
    }
    return nResult;
}

int CInfCtrl::Close() {
    m_szClass[0] = 0;
    m_szProvider[0] = 0;
    m_Models.Clear();
    free(m_pszSectionNames);
    m_pszSectionNames = NULL;
    return 1;
}

int CInfCtrl::FindHardwareId(LPCWSTR pszHardwareId) {
    if (!Given(pszHardwareId)) return 0;
    int nLen = lstrlenW(pszHardwareId);
    for (int i = 0; i < m_Models.GetCount(); ++i) {
        LPCWSTR pszSection = m_Models.Get(i)->szSection;
        if (!HasInfSection(pszSection)) continue;
        CTextList ids;
        GetSectionLines(pszSection, &ids, 1, L"= ,", 3);
        for (int k = 0; k < ids.GetCount(); ++k) {
            LPCWSTR pszId = ids.Get(k);
            if (lstrlenW(pszId) >= nLen && _wcsnicmp(pszId, pszHardwareId, nLen) == 0) return 1;
        }
    }
    return 0;
}

int CInfCtrl::RemoveOEMInf(LPCWSTR pszInfPath, LPCWSTR pszHardwareId, LPCWSTR pszProvider, LPCWSTR pszClass) {
    if (!Given(pszInfPath)) return 0;
    // An INF that cannot be read has no class, provider or models: a filter keeps it.
    Open(pszInfPath);
    int nResult = 0;
    if (Given(pszClass) && lstrcmpiW(pszClass, m_szClass) != 0) {
        DBGPRINT(L"CInfCtrl:RemoveOEMInf %s missmatch class name %s vs %s", pszInfPath, pszClass, m_szClass);
    } else if (Given(pszProvider) && lstrcmpiW(pszProvider, m_szProvider) != 0) {
        DBGPRINT(L"CInfCtrl:RemoveOEMInf %s missmatch provider name %s vs %s", pszInfPath, pszProvider, m_szProvider);
    } else if (Given(pszHardwareId) && !FindHardwareId(pszHardwareId)) {
        DBGPRINT(L"CInfCtrl:RemoveOEMInf %s can not find HWID %s", pszInfPath, pszHardwareId);
    } else {
        // The system takes the bare file name of an OEM INF.
        WCHAR szName[MAX_PATH];
        lstrcpynW(szName, pszInfPath, MAX_PATH);
        if (!PathIsRelativeW(szName)) PathStripPathW(szName);
        if (SetupUninstallOEMInfW(szName, SUOI_FORCEDELETE, NULL)) {
            DBGPRINT(L"CInfCtrl:RemoveOEMInf Success %s", pszInfPath);
            nResult = 1;
        } else {
            DBGPRINT(L"CInfCtrl:RemoveOEMInf Error %s", pszInfPath);
            ++m_nFailed;
        }
    }
    Close();
    return nResult;
}

int CInfCtrl::RemoveAllOEMInf(LPCWSTR pszHardwareId, LPCWSTR pszProvider, LPCWSTR pszClass) {
    // Without a filter every third-party INF of the machine would go.
    if (!Given(pszHardwareId) && !Given(pszProvider) && !Given(pszClass)) {
        DBGPRINT(L"CInfCtrl:RemoveAllOEMInf ERROR=No hardware ID, provider or class given");
        return 0;
    }
    WCHAR szFolder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(NULL, CSIDL_WINDOWS, NULL, SHGFP_TYPE_CURRENT, szFolder))) {
        DBGPRINT(L"CInfCtrl:RemoveAllOEMInf ERROR=SHGetFolderPath");
        return 0;
    }
    WCHAR szPattern[MAX_PATH];
    if (!PathAppendW(szFolder, L"inf")) return 0;
    lstrcpynW(szPattern, szFolder, MAX_PATH);
    if (!PathAppendW(szPattern, L"oem*?.inf")) return 0;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        DBGPRINT(L"CInfCtrl:RemoveAllOEMInf ERROR=InvalidHandle %d", (int)GetLastError());
        return 0;
    }
    int nResult = 0;
    do {
        if (lstrcmpW(fd.cFileName, L".") == 0 || lstrcmpW(fd.cFileName, L"..") == 0) continue;
        WCHAR szPath[MAX_PATH];
        lstrcpynW(szPath, szFolder, MAX_PATH);
        if (!PathAppendW(szPath, fd.cFileName)) continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DBGPRINT(L"CInfCtrl:RemoveAllOEMInf Error did not file %s", szPath);
            continue;
        }
        if (RemoveOEMInf(szPath, pszHardwareId, pszProvider, pszClass)) {
            DBGPRINT(L"CInfCtrl:RemoveAllOEMInf Remove Success %s", szPath);
            nResult = 1;
        }
    } while (FindNextFileW(hFind, &fd));
    FindClose(hFind);
    return nResult;
}
