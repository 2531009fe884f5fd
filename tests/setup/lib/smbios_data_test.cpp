// SMBIOS data: the structure walk on crafted tables, both read paths with the same
// result, and the failures of each path (nothing read beyond the bytes received).
#include "SMBIOSDataInfo.h"
#include "lib_fixture.h"
#include "winsim/com.h"
#include "winsim/modules.h"
#include "winsim/osinfo.h"
#include "winsim/smbios.h"
#include "winsim/wmi.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using winsim::smbios::Structure;
using winsim::wmi::Value;

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// A type-130 structure with the signature and the support flag (offset 8).
Bytes Amt(uint8_t flag, uint16_t handle = 0x82) { return Structure(130, handle, {'$', 'A', 'M', 'T', flag}, {"AMT"}); }

class SmbiosTest : public LibTest {
protected:
    void SetTable(const Bytes& data) {
        winsim::smbios::Table t;
        t.data = data;
        winsim::smbios::SetTable(machine(), t);
    }
    void SetOs(DWORD platform, DWORD major, DWORD minor) {
        winsim::os::Version v;
        v.platform = platform;
        v.major = major;
        v.minor = minor;
        winsim::os::SetVersion(machine(), v);
    }
    void UseWmiPath() { SetOs(2, 5, 1); }
    // The field as a number, or -1 when no structure held it.
    long long Field(BYTE type, BYTE offset, int width) {
        unsigned long long v = 0;
        return info_.GetStructField(type, offset, width, &v) ? static_cast<long long>(v) : -1;
    }

    CSMBIOSDataInfo info_;
};

struct WalkCase {
    const char* name;
    Bytes table;
    BYTE type, offset;
    int width;
    long long expected;  // -1: not found
};

class SmbiosWalk : public SmbiosTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(SmbiosWalk, BothPathsReadTheSameField) {
    const WalkCase& c = GetParam();
    SetTable(c.table);
    for (int path = 0; path < 2; ++path) {
        if (path == 1) UseWmiPath();
        ASSERT_EQ(1, info_.Load()) << path;
        EXPECT_EQ(c.expected, Field(c.type, c.offset, c.width)) << (path ? "wmi" : "firmware");
    }
}

const Bytes kBios = Structure(0, 0, {1, 2, 0, 0xE8}, {"Vendor", "1.0"});
const Bytes kEnd = Structure(127, 0xFF, {});

INSTANTIATE_TEST_SUITE_P(
    Tables, SmbiosWalk,
    ::testing::Values(
        WalkCase{"signature", Join({kBios, Amt(1), kEnd}), 130, 4, 3, 0x544D4124},
        WalkCase{"flagByte", Join({kBios, Amt(1), kEnd}), 130, 8, 1, 1},
        WalkCase{"word", Join({kBios, kEnd}), 0, 6, 2, 0xE800},
        WalkCase{"qword", Join({Structure(7, 1, {1, 2, 3, 4, 5, 6, 7, 8}), kEnd}), 7, 4, 4, 0x0807060504030201LL},
        // A code other than 1 to 4 copies nothing but counts as found.
        WalkCase{"otherWidthCode", Join({kBios, kEnd}), 0, 4, 9, 0},
        WalkCase{"lastOfItsType", Join({Amt(0, 1), kBios, Amt(1, 2), kEnd}), 130, 8, 1, 1},
        WalkCase{"noSuchType", Join({kBios, kEnd}), 130, 4, 3, -1},
        // A formatted length of exactly the offset still matches: the field starts at the
        // first string byte ("AMT").
        WalkCase{"offsetAtStrings", Join({Amt(1), kEnd}), 130, 9, 1, 'A'},
        WalkCase{"fieldCrossesStrings", Join({Amt(1), kEnd}), 130, 6, 3, 0x4101544D},
        WalkCase{"offsetBeyondTheLength", Join({Amt(1), kEnd}), 130, 10, 1, -1},
        // Malformed tables: nothing is read past the table.
        WalkCase{"noDoubleNulAtEnd", Join({kBios, Bytes{130, 9, 0, 0, '$', 'A', 'M', 'T', 1, 'x'}}), 130, 8, 1, 1},
        WalkCase{"truncatedStructure", Join({kBios, Bytes{130, 30, 0, 0, '$', 'A', 'M', 'T', 1}}), 130, 8, 1, 1},
        WalkCase{"fieldPastTheTable", Join({kBios, Bytes{130, 30, 0, 0, '$', 'A', 'M', 'T', 1}}), 130, 6, 4, -1},
        WalkCase{"zeroLengthMisalignsTheWalk", Join({Bytes{5, 0, 0, 0, 0, 0}, Amt(1)}), 130, 8, 1, -1},
        WalkCase{"headerAtTheTableEnd", Join({kBios, Bytes{130, 9, 0}}), 130, 0, 1, 130},
        WalkCase{"oneByteLeft", Join({kBios, Bytes{130}}), 130, 0, 1, -1}, WalkCase{"empty", Bytes{}, 0, 0, 1, -1}),
    [](const ::testing::TestParamInfo<WalkCase>& i) { return std::string(i.param.name); });

TEST_F(SmbiosTest, NoTableOnAPlatformOtherThanNt) {
    SetTable(Join({Amt(1)}));
    SetOs(1, 4, 90);
    EXPECT_EQ(1, info_.Load());
    EXPECT_EQ(0u, info_.GetTableSize());
    EXPECT_EQ(-1, Field(130, 8, 1));
}

TEST_F(SmbiosTest, FirmwarePathFailures) {
    SetTable(Join({Amt(1)}));
    // The second call fails: nothing is kept.
    winsim::smbios::InjectFailure(machine(), ERROR_INVALID_PARAMETER, 1);
    EXPECT_EQ(0, info_.Load());
    EXPECT_EQ(-1, Field(130, 8, 1));
    EXPECT_EQ(1, info_.Load());
    EXPECT_EQ(1, Field(130, 8, 1));
    // A reload frees the table it had.
    winsim::smbios::RemoveTable(machine());
    EXPECT_EQ(0, info_.Load());
    EXPECT_EQ(-1, Field(130, 8, 1));
    // The entry point missing is a failure, not a fall-back to WMI.
    SetTable(Join({Amt(1)}));
    winsim::Modules(machine()).SetExport(L"kernel32.dll", "GetSystemFirmwareTable", nullptr);
    EXPECT_EQ(0, info_.Load());
    EXPECT_TRUE(Logged(L"Not found GetSystemFirmwareTable routine pointer"));
}

// The WMI path: "Size" is the table's length; a property that cannot be read stops the
// filling and the load still succeeds.
struct WmiCase {
    const char* name;
    std::optional<Bytes> data;
    long long size;  // the "Size" property; -1 leaves it out
    int loaded;
    long long flag;  // type 130's byte at offset 8
};

class SmbiosWmi : public SmbiosTest, public ::testing::WithParamInterface<WmiCase> {};

TEST_P(SmbiosWmi, TableOfTheLengthGiven) {
    const WmiCase& c = GetParam();
    winsim::wmi::Instance inst = {{L"SmbiosMajorVersion", Value::Int(CIM_UINT8, 2)},
                                  {L"SmbiosMinorVersion", Value::Int(CIM_UINT8, 7)}};
    if (c.data) inst.push_back({L"SMBiosData", Value::Bytes(*c.data)});
    if (c.size >= 0) inst.push_back({L"Size", Value::Int(CIM_UINT32, c.size)});
    winsim::wmi::SetInstances(machine(), winsim::wmi::kWmi, winsim::smbios::kClass, {inst});
    UseWmiPath();
    long objects = winsim::com::LiveObjects();
    EXPECT_EQ(c.loaded, info_.Load());
    EXPECT_EQ(c.flag, Field(130, 8, 1));
    if (info_.GetHeader()) {
        EXPECT_EQ(7, info_.GetHeader()->SMBIOSMinorVersion);
        EXPECT_EQ(static_cast<DWORD>(c.size), info_.GetHeader()->Length);
    }
    EXPECT_EQ(c.loaded == 0 && c.data && c.data->size() > 63999,
              Logged(L"Return global_buffer would overflow.  Abort initialization of raw SMBIOS data.\n"));
    EXPECT_EQ(objects, winsim::com::LiveObjects());
    EXPECT_EQ(0u, winsim::com::InitCount());
}

const Bytes kAmtTable = Join({kBios, Amt(1)});
const long long kAmtSize = static_cast<long long>(kAmtTable.size());

INSTANTIATE_TEST_SUITE_P(
    Sizes, SmbiosWmi,
    ::testing::Values(WmiCase{"sizeMatches", kAmtTable, kAmtSize, 1, 1},
                      WmiCase{"sizeBeyondTheData", kAmtTable, 4000, 1, 1},
                      WmiCase{"sizeCutsTheWalk", kAmtTable, static_cast<long long>(kBios.size()), 1, -1},
                      WmiCase{"noSize", kAmtTable, -1, 1, -1}, WmiCase{"noData", std::nullopt, kAmtSize, 1, -1},
                      WmiCase{"tooLarge", Bytes(64000, 0), 64000, 0, -1}),
    [](const ::testing::TestParamInfo<WmiCase>& i) { return std::string(i.param.name); });

TEST_F(SmbiosTest, WmiPathWaitsABoundedTime) {
    SetTable(kAmtTable);
    UseWmiPath();
    winsim::wmi::SetProviderDelay(machine(), winsim::wmi::kWmi, winsim::smbios::kClass, 600000);
    uint64_t start = machine().NowMs();
    EXPECT_EQ(0, info_.Load());
    EXPECT_EQ(start + SMBIOS_WMI_TIMEOUT_MS, machine().NowMs());
    winsim::smbios::RemoveTable(machine());
    EXPECT_EQ(0, info_.Load());
    EXPECT_EQ(0u, winsim::com::InitCount());
}

}  // namespace
