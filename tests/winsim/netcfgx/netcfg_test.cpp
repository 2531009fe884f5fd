// The network configuration object: the write lock held by another client, Enable and
// Apply's results, and the adapters' components and keys.
#include <gtest/gtest.h>
#include <windows.h>

#include <netcfgx.h>

#include "sim_fixture.h"
#include "winsim/com.h"
#include "winsim/netcfg.h"
#include "winsim/registry.h"

#include <string>

namespace {

const wchar_t* kGuid = L"{11111111-2222-3333-4444-555555555555}";

class NetCfgTest : public SimTest {
protected:
    void SetUp() override {
        winsim::net::AdapterSpec a;
        a.instance_id = L"PCI\\VEN_1D2E&DEV_0042\\4&1&0";
        a.hardware_ids = {L"PCI\\VEN_1D2E&DEV_0042"};
        a.guid = kGuid;
        a.description = L"Test LAN";
        a.wireless = true;
        winsim::net::AddAdapter(machine(), a);
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_CNetCfg, nullptr, CLSCTX_INPROC_SERVER, IID_INetCfg,
                                         reinterpret_cast<void**>(&nc_)));
        ASSERT_EQ(S_OK, nc_->QueryInterface(IID_INetCfgLock, reinterpret_cast<void**>(&lock_)));
    }
    void TearDown() override {
        lock_->Release();
        nc_->Release();
        CoUninitialize();
    }
    // The first path of the protocol component below the test adapter.
    INetCfgBindingPath* TcpipPath() {
        INetCfgClass* cls = nullptr;
        const GUID trans = {0x4d36e975, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
        EXPECT_EQ(S_OK, nc_->QueryNetCfgClass(&trans, IID_INetCfgClass, reinterpret_cast<void**>(&cls)));
        IEnumNetCfgComponent* comps = nullptr;
        EXPECT_EQ(S_OK, cls->EnumComponents(&comps));
        INetCfgComponent* comp = nullptr;
        EXPECT_EQ(S_OK, comps->Next(1, &comp, nullptr));
        INetCfgComponentBindings* b = nullptr;
        EXPECT_EQ(S_OK, comp->QueryInterface(IID_INetCfgComponentBindings, reinterpret_cast<void**>(&b)));
        IEnumNetCfgBindingPath* paths = nullptr;
        EXPECT_EQ(S_OK, b->EnumBindingPaths(EBP_BELOW, &paths));
        INetCfgBindingPath* path = nullptr;
        EXPECT_EQ(S_OK, paths->Next(1, &path, nullptr));
        paths->Release();
        b->Release();
        comp->Release();
        comps->Release();
        cls->Release();
        return path;
    }
    INetCfg* nc_ = nullptr;
    INetCfgLock* lock_ = nullptr;
};

TEST_F(NetCfgTest, ALockHeldElsewhereIsWaitedForThenNamed) {
    winsim::netcfg::HoldLock(machine(), L"Other Tool");
    LPWSTR holder = nullptr;
    uint64_t start = machine().NowMs();
    EXPECT_EQ(S_FALSE, lock_->AcquireWriteLock(5000, L"Setup.exe", &holder));
    EXPECT_EQ(5000u, machine().NowMs() - start);
    ASSERT_NE(nullptr, holder);
    EXPECT_EQ(std::wstring(L"Other Tool"), holder);
    CoTaskMemFree(holder);
    // Without the lock a path cannot change.
    ASSERT_EQ(S_OK, nc_->Initialize(nullptr));
    INetCfgBindingPath* path = TcpipPath();
    EXPECT_EQ(NETCFG_E_NO_WRITE_LOCK, path->Enable(FALSE));
    path->Release();
    EXPECT_EQ(S_OK, nc_->Uninitialize());
}

struct ApplyCase {
    const char* name;
    HRESULT result;
    bool applied;
};

class NetCfgApplyTest : public NetCfgTest, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(NetCfgApplyTest, ApplyCommitsOnSuccessOnly) {
    const ApplyCase& c = GetParam();
    winsim::netcfg::SetApplyResult(machine(), c.result);
    ASSERT_EQ(S_OK, lock_->AcquireWriteLock(5000, L"Setup.exe", nullptr));
    EXPECT_EQ(L"Setup.exe", winsim::netcfg::LockHolder(machine()));
    ASSERT_EQ(S_OK, nc_->Initialize(nullptr));
    EXPECT_EQ(NETCFG_E_ALREADY_INITIALIZED, lock_->ReleaseWriteLock());
    INetCfgBindingPath* path = TcpipPath();
    LPWSTR token = nullptr;
    ASSERT_EQ(S_OK, path->GetPathToken(&token));
    EXPECT_EQ(std::wstring(L"ms_tcpip->") + kGuid, token);
    EXPECT_EQ(S_OK, path->Enable(FALSE));
    EXPECT_EQ(S_FALSE, path->IsEnabled());
    EXPECT_EQ(c.result, nc_->Apply());
    EXPECT_EQ(!c.applied, winsim::netcfg::PathEnabled(machine(), token).value_or(true));
    CoTaskMemFree(token);
    path->Release();
    EXPECT_EQ(S_OK, nc_->Uninitialize());
    EXPECT_EQ(S_OK, lock_->ReleaseWriteLock());
    EXPECT_EQ(L"", winsim::netcfg::LockHolder(machine()));
}

INSTANTIATE_TEST_SUITE_P(Apply, NetCfgApplyTest,
                         ::testing::Values(ApplyCase{"ok", S_OK, true}, ApplyCase{"reboot", NETCFG_S_REBOOT, true},
                                           ApplyCase{"failure", E_FAIL, false}),
                         [](const ::testing::TestParamInfo<ApplyCase>& i) { return std::string(i.param.name); });

TEST(NetAdapter, KeysAndComponents) {
    auto m = winsim::Machine::CreateInMemory("tablet");
    winsim::Registry r(*m);
    // The tablet's own adapter has its interface keys; the services are in the database.
    const std::wstring guid = L"{7E1C4A2B-3D5F-4E6A-8B9C-0D1E2F3A4B5C}";
    EXPECT_TRUE(r.KeyExists(winsim::net::TcpipKey(guid)));
    EXPECT_TRUE(r.KeyExists(winsim::net::NetbtKey(guid)));
    EXPECT_FALSE(r.KeyExists(winsim::net::WzcKey(guid)));
    EXPECT_TRUE(r.KeyExists(L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\wzcsvc"));
    EXPECT_TRUE(r.KeyExists(L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\acs"));
    EXPECT_EQ(true, winsim::netcfg::PathEnabled(*m, L"ms_server->ms_netbt->ms_tcpip->" + guid));
    size_t adapters = 0;
    for (const auto& c : winsim::netcfg::Components(*m))
        if (c.class_guid == winsim::netcfg::kNet) ++adapters;
    EXPECT_EQ(1u, adapters);
}

}  // namespace
