// winsim: the machine's SMBIOS table, kept as the instance of root\WMI
// MSSMBios_RawSMBiosTables (see winsim/smbios.h).
#include "winsim/smbios.h"

#include "internal.h"
#include "smbios_internal.h"
#include "winsim/wmi.h"

#include <map>
#include <mutex>

namespace winsim::smbios {

namespace {

struct Failures {
    explicit Failures(Machine&) {}
    std::mutex mu;
    bool armed = false;
    unsigned skip = 0;
    DWORD error = 0;
};

Failures& FailuresOf(Machine& m) { return m.Ext<Failures>("smbios.failures"); }

const wmi::Value* Find(const wmi::Instance& inst, const wchar_t* name) {
    for (const auto& [n, v] : inst)
        if (IEquals(n, name)) return &v;
    return nullptr;
}

}  // namespace

std::vector<uint8_t> Structure(uint8_t type, uint16_t handle, const std::vector<uint8_t>& fields,
                               const std::vector<std::string>& strings) {
    std::vector<uint8_t> s = {type, static_cast<uint8_t>(4 + fields.size()), static_cast<uint8_t>(handle & 0xFF),
                              static_cast<uint8_t>(handle >> 8)};
    s.insert(s.end(), fields.begin(), fields.end());
    for (const std::string& text : strings) {
        s.insert(s.end(), text.begin(), text.end());
        s.push_back(0);
    }
    if (strings.empty()) s.push_back(0);
    s.push_back(0);
    return s;
}

std::vector<uint8_t> RawBlock(const Table& t) {
    uint32_t n = static_cast<uint32_t>(t.data.size());
    std::vector<uint8_t> b = {static_cast<uint8_t>(t.used20_calling_method ? 1 : 0),
                              t.major,
                              t.minor,
                              t.dmi_revision,
                              static_cast<uint8_t>(n),
                              static_cast<uint8_t>(n >> 8),
                              static_cast<uint8_t>(n >> 16),
                              static_cast<uint8_t>(n >> 24)};
    b.insert(b.end(), t.data.begin(), t.data.end());
    return b;
}

void SetTable(Machine& m, const Table& t) {
    using wmi::Value;
    wmi::SetInstances(m, wmi::kWmi, kClass,
                      {{{L"InstanceName", Value::Text(L"root\\mssmbios\\0000_0")},
                        {L"Active", Value::Bool(true)},
                        {L"Used20CallingMethod", Value::Bool(t.used20_calling_method)},
                        {L"SmbiosMajorVersion", Value::Int(CIM_UINT8, t.major)},
                        {L"SmbiosMinorVersion", Value::Int(CIM_UINT8, t.minor)},
                        {L"DmiRevision", Value::Int(CIM_UINT8, t.dmi_revision)},
                        {L"Size", Value::Int(CIM_UINT32, static_cast<int64_t>(t.data.size()))},
                        {L"SMBiosData", Value::Bytes(t.data)}}});
}

void RemoveTable(Machine& m) { wmi::DeleteClass(m, wmi::kWmi, kClass); }

std::optional<Table> GetTable(Machine& m) {
    if (!wmi::ClassExists(m, wmi::kWmi, kClass)) return std::nullopt;
    auto list = wmi::Instances(m, wmi::kWmi, kClass);
    if (list.empty()) return std::nullopt;
    const wmi::Instance& inst = list.front();
    Table t;
    if (auto* v = Find(inst, L"SmbiosMajorVersion")) t.major = static_cast<uint8_t>(v->number);
    if (auto* v = Find(inst, L"SmbiosMinorVersion")) t.minor = static_cast<uint8_t>(v->number);
    if (auto* v = Find(inst, L"DmiRevision")) t.dmi_revision = static_cast<uint8_t>(v->number);
    if (auto* v = Find(inst, L"Used20CallingMethod")) t.used20_calling_method = v->number != 0;
    if (auto* v = Find(inst, L"SMBiosData"))
        for (int64_t b : v->numbers) t.data.push_back(static_cast<uint8_t>(b));
    return t;
}

void InjectFailure(Machine& m, DWORD error, unsigned skip) {
    Failures& f = FailuresOf(m);
    std::lock_guard<std::mutex> g(f.mu);
    f.armed = error != 0;
    f.skip = skip;
    f.error = error;
}

}  // namespace winsim::smbios

namespace winsim::internal {

DWORD TakeFirmwareFailure(Machine& m) {
    auto& f = smbios::FailuresOf(m);
    std::lock_guard<std::mutex> g(f.mu);
    if (!f.armed) return 0;
    if (f.skip > 0) {
        --f.skip;
        return 0;
    }
    f.armed = false;
    return f.error;
}

void ProfileSmbios(Machine& m, const std::string& profile) {
    using smbios::Structure;
    bool tablet = profile == "tablet";
    smbios::Table t;
    // BIOS: vendor, version, start segment 0xE800, release date, 1 MB ROM, characteristics.
    auto bios = Structure(0, 0x0000, {1,    2,    0x00, 0xE8, 3,    0x0F, 0x80, 0x98, 0x8B, 0x3F,
                                      0x01, 0x00, 0x00, 0x00, 0x03, 0x0D, 1,    5,    0xFF, 0xFF},
                          {tablet ? "QUARVEN" : "System manufacturer", tablet ? "QVT10.0105" : "0401", "04/12/2011"});
    // System: manufacturer, product, version, serial, UUID (the machine's, its first three
    // fields little-endian), wake-up by power switch, SKU and family.
    std::vector<uint8_t> system = {1,    2,    3,    4,    0x51, 0x9A, 0x3E, 0x7D, 0x84, 0x2C, 0x6F, 0x4B,
                                   0xA0, 0x19, 0x5E, 0x62, 0xC3, 0xD8, 0xF4, 0x17, 6,    5,    6};
    auto sys = Structure(
        1, 0x0001, system,
        {tablet ? "QUARVEN" : "System manufacturer", tablet ? "QV-T10" : "System Product Name",
         tablet ? "1.0" : "System Version", tablet ? "QVT10J00012345" : "System Serial Number", "SKU", "Tablet"});
    auto end = Structure(127, 0x0002, {});
    t.data = bios;
    t.data.insert(t.data.end(), sys.begin(), sys.end());
    t.data.insert(t.data.end(), end.begin(), end.end());
    smbios::SetTable(m, t);
}

}  // namespace winsim::internal
