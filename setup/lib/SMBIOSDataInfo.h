// The machine's raw SMBIOS table and fixed-width fields of its structures.
//
// The table is loaded from the firmware-table provider 'RSMB' (bound from kernel32 at run
// time) or, on Windows versions before 5.2, from the WMI class MSSMBios_RawSMBiosTables.
// The buffer keeps the raw-data layout: byte 0 calling-method flag, 1 and 2 the SMBIOS
// version, 3 the DMI revision, 4 to 7 the length of the structure table, then the table.
// A structure supplies a field when its formatted length is at least the field's offset
// (so a field may begin at the first string byte); every read stays inside the table and
// the bytes held, whatever the header's table length says.
#pragma once

#include <windows.h>

typedef UINT(WINAPI* PFN_GetSystemFirmwareTable)(DWORD, DWORD, PVOID, DWORD);

#define SMBIOS_PROVIDER_RSMB 0x52534D42  // 'RSMB'
#define SMBIOS_HEADER_SIZE 8
// The largest table the WMI path takes.
#define SMBIOS_WMI_MAX_TABLE 63999
// How long the WMI path waits for the table's instance.
#define SMBIOS_WMI_TIMEOUT_MS 10000

// Width codes of GetStructField.
#define SMBIOS_WIDTH_BYTE 1
#define SMBIOS_WIDTH_WORD 2
#define SMBIOS_WIDTH_DWORD 3
#define SMBIOS_WIDTH_QWORD 4

#pragma pack(push, 1)
struct SMBIOSRawData {
    BYTE Used20CallingMethod;
    BYTE SMBIOSMajorVersion;
    BYTE SMBIOSMinorVersion;
    BYTE DmiRevision;
    DWORD Length;
};
#pragma pack(pop)

class CSMBIOSDataInfo {
public:
    CSMBIOSDataInfo();
    virtual ~CSMBIOSDataInfo();

    // Loads the table (freeing a previous one); 1 when done, also on a platform that has
    // no table (then nothing is loaded), 0 on failure.
    int Load();
    // Frees the table; always 1.
    int Free();
    // Copies the field (width code 1..4: 1, 2, 4 or 8 bytes; any other code copies
    // nothing) at offset of each structure of the type into out, so the last such
    // structure's field is left there; 1 when at least one structure held the field.
    int GetStructField(BYTE byType, BYTE byOffset, int nWidthCode, void* pOut);

    DWORD GetTableSize() const { return m_dwSize; }
    const SMBIOSRawData* GetHeader() const { return m_pHeader; }

private:
    CSMBIOSDataInfo(const CSMBIOSDataInfo&);
    CSMBIOSDataInfo& operator=(const CSMBIOSDataInfo&);

    int LoadFromFirmware();
    int LoadFromWmi();

    PFN_GetSystemFirmwareTable m_pfnGetSystemFirmwareTable;
    DWORD m_dwSize;
    BYTE* m_pBuffer;
    SMBIOSRawData* m_pHeader;
};
