// The raw SMBIOS table: GetSystemFirmwareTable's size and copy, a machine without a table,
// an injected failure, and the profiles' table.
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/smbios.h"
#include "winsim/wmi.h"

#include <vector>

namespace {

using winsim::smbios::Structure;

const DWORD kRsmb = 0x52534D42;

class FirmwareTest : public ::testing::Test {
protected:
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory("tablet");
    winsim::ProcessScope scope{*machine};

    std::vector<uint8_t> Read() {
        UINT n = GetSystemFirmwareTable(kRsmb, 0, nullptr, 0);
        std::vector<uint8_t> b(n);
        if (n) b.resize(GetSystemFirmwareTable(kRsmb, 0, b.data(), n));
        return b;
    }
};

TEST_F(FirmwareTest, SizeThenCopyOfTheRawBlock) {
    winsim::smbios::Table t;
    t.major = 3;
    t.minor = 1;
    t.data = Structure(130, 7, {'$', 'A', 'M', 'T', 1}, {"AMT"});
    winsim::smbios::SetTable(*machine, t);
    std::vector<uint8_t> raw = winsim::smbios::RawBlock(t);
    ASSERT_EQ(8u + t.data.size(), raw.size());
    EXPECT_EQ(raw.size(), GetSystemFirmwareTable(kRsmb, 0, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    std::vector<uint8_t> small(raw.size() - 1, 0xEE);
    EXPECT_EQ(raw.size(), GetSystemFirmwareTable(kRsmb, 0, small.data(), static_cast<DWORD>(small.size())));
    EXPECT_EQ(std::vector<uint8_t>(small.size(), 0xEE), small);  // nothing written
    EXPECT_EQ(raw, Read());
    EXPECT_EQ(0u, GetSystemFirmwareTable(0x41435049, 0, nullptr, 0));
    EXPECT_EQ(0u, GetSystemFirmwareTable(kRsmb, 1, nullptr, 0));
}

TEST_F(FirmwareTest, NoTableAndInjectedFailure) {
    winsim::smbios::InjectFailure(*machine, ERROR_ACCESS_DENIED, 1);
    EXPECT_NE(0u, GetSystemFirmwareTable(kRsmb, 0, nullptr, 0));
    EXPECT_EQ(0u, GetSystemFirmwareTable(kRsmb, 0, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_NE(0u, GetSystemFirmwareTable(kRsmb, 0, nullptr, 0));  // one failure only
    winsim::smbios::RemoveTable(*machine);
    EXPECT_EQ(0u, GetSystemFirmwareTable(kRsmb, 0, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_FOUND), GetLastError());
    EXPECT_FALSE(winsim::wmi::ClassExists(*machine, winsim::wmi::kWmi, winsim::smbios::kClass));
}

// The profile's table walks cleanly to its end structure, and its system structure holds
// the product UUID that WMI reports.
TEST_F(FirmwareTest, ProfileTableHoldsTheProductUuid) {
    std::vector<uint8_t> raw = Read();
    ASSERT_GE(raw.size(), 8u);
    std::vector<int> types;
    std::vector<uint8_t> uuid;
    size_t pos = 8;
    while (pos + 4 <= raw.size()) {
        uint8_t type = raw[pos], len = raw[pos + 1];
        types.push_back(type);
        if (type == 1) uuid.assign(raw.begin() + static_cast<long>(pos) + 8, raw.begin() + static_cast<long>(pos) + 24);
        pos += len;
        while (pos + 1 < raw.size() && (raw[pos] || raw[pos + 1])) ++pos;
        pos += 2;
    }
    EXPECT_EQ(raw.size(), pos);
    EXPECT_EQ((std::vector<int>{0, 1, 127}), types);
    // 7D3E9A51-2C84-4B6F-A019-5E62C3D8F417, the first three fields little-endian.
    EXPECT_EQ((std::vector<uint8_t>{0x51, 0x9A, 0x3E, 0x7D, 0x84, 0x2C, 0x6F, 0x4B, 0xA0, 0x19, 0x5E, 0x62, 0xC3, 0xD8,
                                    0xF4, 0x17}),
              uuid);
}

}  // namespace
