// The HCI driver \\.\VUNDD's request log as the host reads it: numbered, read from a number
// on, and bounded.
#include <windows.h>

#include "sim_fixture.h"
#include "winsim/hci.h"

namespace {

class VunddLogTest : public SimTest {
protected:
    VunddLogTest() : SimTest("tablet") {}
};

TEST_F(VunddLogTest, TheLogKeepsItsLastRequestsInOrder) {
    machine().store().SetLogLimit("hci_log", 2);
    HANDLE h = CreateFileW(L"\\\\.\\VUNDD", 0, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    for (DWORD value = 0; value < 3; ++value) {
        DWORD block[6] = {0xFF00, 0x56, value & 1, 0x2000, 0, 0};
        DWORD got = 0;
        ASSERT_TRUE(DeviceIoControl(h, winsim::kIoctlVunddHci, block, 24, block, 24, &got, NULL));
    }
    CloseHandle(h);
    winsim::HciDriver hci(machine());
    auto log = hci.log();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(1u, log[0].in[2]);
    EXPECT_EQ(log[0].seq + 1, log[1].seq);
    auto later = hci.log_since(log[0].seq);
    ASSERT_EQ(1u, later.size());
    EXPECT_EQ(0u, later[0].in[2]);
    EXPECT_EQ(1, machine().store().LogDropped("hci_log"));
}

}  // namespace
