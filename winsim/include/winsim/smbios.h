// winsim: the machine's SMBIOS table, as GetSystemFirmwareTable('RSMB', 0) returns it and
// as the WMI class root\WMI MSSMBios_RawSMBiosTables shows it. The class's one instance is
// where the table lives, so the two readings are always in step; a machine without the
// class has no table (the firmware call fails).
//
// Profiles: both have a table of a BIOS structure (type 0), a system structure (type 1,
// with the machine's product UUID) and the end-of-table structure (type 127); neither has
// the management-engine structure (type 130).
#pragma once

#include "machine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim::smbios {

const wchar_t* const kClass = L"MSSMBios_RawSMBiosTables";

struct Table {
    uint8_t major = 2, minor = 7, dmi_revision = 0;
    bool used20_calling_method = false;
    std::vector<uint8_t> data;  // the structure table, taken as it is (tests build malformed ones)
};

// One structure: its type and handle, the formatted part after its 4-byte header, then
// its strings (none: the two terminating NUL bytes alone).
std::vector<uint8_t> Structure(uint8_t type, uint16_t handle, const std::vector<uint8_t>& fields,
                               const std::vector<std::string>& strings = {});
// The 8-byte raw-data header (calling method, versions, DMI revision, table length)
// followed by the table: what GetSystemFirmwareTable writes.
std::vector<uint8_t> RawBlock(const Table& t);

// Replaces the machine's table (and the class's instance).
void SetTable(Machine& m, const Table& t);
// Removes it: GetSystemFirmwareTable fails with ERROR_NOT_FOUND and the class is gone.
void RemoveTable(Machine& m);
std::optional<Table> GetTable(Machine& m);

// The next firmware-table call after `skip` more successful ones fails with error
// (in memory only, one failure).
void InjectFailure(Machine& m, DWORD error, unsigned skip = 0);

}  // namespace winsim::smbios
