// Machine changes reach the top-level windows: a module's removal and return, a rotation.
#include <dbt.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "winsim/devices.h"
#include "winsim/display.h"
#include "winsim/machine.h"

#include <string>
#include <vector>

namespace {

struct Seen {
    UINT msg;
    WPARAM wp;
    std::wstring port;
    LPARAM lp;
};
std::vector<Seen>* g_seen;

LRESULT CALLBACK Record(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DEVICECHANGE || msg == WM_DISPLAYCHANGE) {
        Seen s{msg, wp, L"", lp};
        auto* hdr = reinterpret_cast<DEV_BROADCAST_HDR*>(lp);
        if (msg == WM_DEVICECHANGE && hdr && hdr->dbch_devicetype == DBT_DEVTYP_PORT)
            s.port = reinterpret_cast<DEV_BROADCAST_PORT_W*>(lp)->dbcp_name;
        g_seen->push_back(s);
        return TRUE;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

class BroadcastTest : public ::testing::Test {
protected:
    BroadcastTest() {
        g_seen = &seen;
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Record;
        wc.lpszClassName = L"BroadcastTestWindow";
        RegisterClassExW(&wc);
        hwnd = CreateWindowExW(0, L"BroadcastTestWindow", L"t", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    }
    ~BroadcastTest() override {
        DestroyWindow(hwnd);
        g_seen = nullptr;
    }
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory("tablet");
    winsim::ProcessScope scope{*machine};
    std::vector<Seen> seen;
    HWND hwnd = nullptr;
};

TEST_F(BroadcastTest, ModuleRemovalAndReturnNameItsPort) {
    winsim::DeviceTree tree(*machine);
    auto ids = tree.FindByHardwareId(L"USB\\VID_1A2B&PID_3C4D");
    ASSERT_FALSE(ids.empty());
    DWORD veto = 0;
    std::wstring name;
    ASSERT_EQ(0u, tree.RemoveSubtree(ids[0], &veto, &name));
    bool removed_port = false;
    for (auto& s : seen) removed_port |= s.wp == DBT_DEVICEREMOVECOMPLETE && s.port.rfind(L"COM", 0) == 0;
    EXPECT_TRUE(removed_port);
    seen.clear();
    tree.ResetHold(ids[0]);
    DWORD parent = tree.Get(ids[0])->parent;
    tree.Reenumerate(parent);
    bool arrived_port = false;
    for (auto& s : seen) arrived_port |= s.wp == DBT_DEVICEARRIVAL && s.port.rfind(L"COM", 0) == 0;
    EXPECT_TRUE(arrived_port);
}

TEST_F(BroadcastTest, RotationTellsTheNewSizeAndDepth) {
    winsim::Display display(*machine);
    display.Rotate(1);  // DMDO_90
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(static_cast<UINT>(WM_DISPLAYCHANGE), seen[0].msg);
    int cx = LOWORD(seen[0].lp), cy = HIWORD(seen[0].lp);
    EXPECT_LT(cx, cy);  // portrait
    EXPECT_EQ(cx, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(cy, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(1, GetSystemMetrics(SM_TABLETPC));
}

}  // namespace
