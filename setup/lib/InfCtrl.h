// Reading a driver INF far enough to tell its class, its provider and whether a model line
// names a hardware ID, and removing such INFs from the system's INF folder.
//
// Model sections of a [Manufacturer] line: the models name when such a section exists,
// then the models name joined by '.' with each field of the value (the fields are the
// pieces between ", "). A model line's first hardware ID is its third field, fields cut at
// '=', ' ' and ','.
#pragma once

#include <windows.h>

#include "LibList.h"
#include "ProfileCtrl.h"

#define INF_VALUE_CCH 512
#define INF_MANUFACTURER_CCH 128

struct InfModelSection {
    WCHAR szManufacturer[INF_MANUFACTURER_CCH];
    WCHAR szSection[PROFILE_KEY_CCH];
};
typedef CRecordList<InfModelSection> CInfModelList;

class CInfCtrl : public CProfileCtrl {
public:
    CInfCtrl();
    ~CInfCtrl();

    // Reads [Version] Class and Provider and the model sections; 1 when the file exists.
    int Open(LPCWSTR pszInfPath);
    int Close();

    LPCWSTR GetClass() const { return m_szClass; }
    LPCWSTR GetProvider() const { return m_szProvider; }
    const CInfModelList& GetModelSections() const { return m_Models; }

    // 1 when a model line's first hardware ID begins with pszHardwareId (any case).
    int FindHardwareId(LPCWSTR pszHardwareId);
    // Uninstalls the INF when every filter given (null or empty: none) agrees; 1 removed.
    int RemoveOEMInf(LPCWSTR pszInfPath, LPCWSTR pszHardwareId, LPCWSTR pszProvider, LPCWSTR pszClass);
    // The same for every oem*.inf of the INF folder; refuses to run without any filter. 1
    // when at least one was removed.
    int RemoveAllOEMInf(LPCWSTR pszHardwareId, LPCWSTR pszProvider, LPCWSTR pszClass);
    // INFs that agreed with the filters but would not be uninstalled, since construction.
    int GetFailedCount() const { return m_nFailed; }

private:
    // Section test over every section name of the file (no length limit).
    int HasInfSection(LPCWSTR pszSection);

    WCHAR m_szClass[INF_VALUE_CCH];
    WCHAR m_szProvider[INF_VALUE_CCH];
    CInfModelList m_Models;
    LPWSTR m_pszSectionNames;  // the file's section names, read once per Open
    int m_nFailed;
};
