// The service's display list: the present display adapters with their settings keys, the
// display orientation read from the chosen key, and the service's posture rule. Its debug
// print ("FnF8:") is the service's only diagnostic output.
#pragma once

#include <windows.h>

#define DISPLAY_HWIDS_CCH 258
#define DISPLAY_DESC_CCH 512
#define DISPLAY_NAME_CCH 128
#define DISPLAY_KEY_CCH 260
#define DISPLAY_DEBUG_CCH 512

// Posture codes.
#define POSTURE_NONE 0          // no posture (the driver device is missing)
#define POSTURE_DMDO_DEFAULT 1  // 1-4: the display orientations
#define POSTURE_DMDO_90 2
#define POSTURE_DMDO_180 3
#define POSTURE_DMDO_270 4
#define POSTURE_RF_FREE 5   // RF need not stop, whatever the orientation
#define ROTATION_UNKNOWN 6  // the orientation could not be read

// The settings key prefix below HKLM.
#define DISPLAY_HWPROFILE_PREFIX L"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\"

struct DisplayRecord {
    WCHAR szHardwareIds[DISPLAY_HWIDS_CCH];  // multi-string, cut to the field
    WCHAR szDescription[DISPLAY_DESC_CCH];
    WCHAR szFriendlyName[DISPLAY_DESC_CCH];
    WCHAR szDriverKey[DISPLAY_NAME_CCH];
    WCHAR szVideoId[DISPLAY_NAME_CCH];
    WCHAR szService[DISPLAY_NAME_CCH];
    DWORD dwBitsPerPel;
    DWORD dwOrientation;
    DWORD dwWidth;
    DWORD dwHeight;
    BOOL bServiceRoute;  // the key was found under Services\<service>\Device0
    WCHAR szKeyPath[DISPLAY_KEY_CCH];
};

class CDisplayList {
public:
    // Builds the list: reads the debug settings, lists the present PCI display adapters
    // and chooses the display key.
    CDisplayList();
    ~CDisplayList();

    // Posture code of the display orientation in the chosen key (1-4, 0 for an unknown
    // value, ROTATION_UNKNOWN when the key or the value cannot be read); read anew each call.
    int GetOrientationXPTEbyReg();
    // The service's posture rule: "PLST" through the driver, then the orientation.
    int GetServicePosture();

    // "FnF8:" + the formatted text (cut to 512 characters) + CR LF, when debug mode is on.
    void DebugPrint(LPCWSTR pszFormat, ...);

    LPCWSTR GetKeyPath() const { return m_szKeyPath; }
    int GetCount() const { return m_nCount; }
    const DisplayRecord* GetRecord(int i) const { return i >= 0 && i < m_nCount ? &m_pRecords[i] : NULL; }
    BOOL IsDebugEnabled() const { return m_bDebug; }
    BOOL IsTestMode() const { return m_bTest; }

private:
    CDisplayList(const CDisplayList&);
    CDisplayList& operator=(const CDisplayList&);

    void ReadDebugSettings();
    void Enumerate();
    void ReadVideoId(DisplayRecord* pRecord);
    void ReadSettings(DisplayRecord* pRecord);
    BOOL Append(const DisplayRecord& record);
    void ChooseKey();

    WCHAR m_szKeyPath[DISPLAY_KEY_CCH];
    DisplayRecord* m_pRecords;
    int m_nCount;
    int m_nCapacity;
    BOOL m_bDebug;
    BOOL m_bTest;
};
