// The network device object: the adapter list, the selection, the wireless list, and the
// backup and restore of an adapter's settings with the services around them.
#include "NetDevCtrl.h"

#include "lib_fixture.h"
#include "winsim/devices.h"
#include "winsim/netcfg.h"
#include "winsim/scm.h"

#include <memory>
#include <string>

namespace {

const wchar_t* kLanId = L"PCI\\VEN_1D2E&DEV_0042&SUBSYS_00011A2B";
const wchar_t* kWlanId = L"PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B";
const wchar_t* kDongleId = L"USB\\VID_0BDA&PID_8153";
const wchar_t* kLanGuid = L"{A0000000-0000-0000-0000-00000000000A}";
const wchar_t* kOldLanGuid = L"{B0000000-0000-0000-0000-00000000000B}";
const wchar_t* kWlanGuid = L"{C0000000-0000-0000-0000-00000000000C}";
const wchar_t* kBackup = L"HKLM\\SOFTWARE\\Quarven\\OrvashTool\\Backup";

class NetDevTest : public LibTest {
protected:
    NetDevTest() {
        // Installed first: an adapter that is no longer present, with the LAN's ID.
        Add(L"PCI\\VEN_1D2E&DEV_0042&SUBSYS_00011A2B\\3&1&0&E0", kLanId, kOldLanGuid, false, false);
        lan_ = Add(L"PCI\\VEN_1D2E&DEV_0042&SUBSYS_00011A2B\\3&1&0&E8", kLanId, kLanGuid, true, false);
        wlan_ = winsim::net::AddAdapter(machine(), Wlan(kWlanGuid, L"CARD-7", L"2", L"192.168.10.20"));
        // No NetCfgInstanceId.
        Add(L"USB\\VID_0BDA&PID_8153\\0001", kDongleId, L"", true, false);
        winsim::Registry r(machine());
        r.SetString(L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID", L"DevID_SupportRL0", L"USB\\VID_9999");
        r.SetString(L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID", L"DevID_SupportRL2", L"PCI\\VEN_168C&DEV_0E5A");
        winsim::scm::Simulate(machine(), L"wzcsvc", {500, 500}, SERVICE_RUNNING);
        winsim::scm::Simulate(machine(), L"acs", {500, 500}, SERVICE_RUNNING);
        net_ = std::make_unique<CNetDevCtrl>();
    }
    static winsim::net::AdapterSpec Wlan(const wchar_t* guid, const wchar_t* card, const wchar_t* mode,
                                         const wchar_t* ip) {
        winsim::net::AdapterSpec w;
        w.instance_id = L"PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B\\3&1&0&F0";
        w.hardware_ids = {kWlanId, L"PCI\\VEN_168C&DEV_0E5A"};
        w.guid = guid;
        w.description = L"Wireless LAN";
        w.service = L"wlan5";
        w.wireless = true;
        w.card_cfg_id = card;
        w.custom_params = {{L"Mode", mode}};
        w.ip_address = ip;
        return w;
    }
    DWORD Add(const wchar_t* instance, const wchar_t* id, const wchar_t* guid, bool attached, bool wireless) {
        winsim::net::AdapterSpec a;
        a.instance_id = instance;
        a.hardware_ids = {id};
        a.guid = guid;
        a.description = L"Ethernet";
        a.attached = attached;
        a.wireless = wireless;
        return winsim::net::AddAdapter(machine(), a);
    }
    std::wstring Text(const std::wstring& key, const wchar_t* value) {
        return winsim::Registry(machine()).GetString(key, value).value_or(L"<absent>");
    }
    DWORD State(const wchar_t* name) { return winsim::scm::Status(machine(), name).dwCurrentState; }
    std::wstring DriverKey(DWORD devinst) { return winsim::DeviceTree(machine()).DriverKey(devinst); }

    DWORD lan_ = 0, wlan_ = 0;
    std::unique_ptr<CNetDevCtrl> net_;
};

TEST_F(NetDevTest, ListKeepsWhatEachAdapterHas) {
    CRecordList<NetDevInfo> all, present;
    ASSERT_EQ(1, net_->GetNetDevInfo(&all, 0, nullptr));
    ASSERT_EQ(1, net_->GetNetDevInfo(&present, 1, nullptr));
    ASSERT_EQ(4, all.GetCount());
    EXPECT_EQ(3, present.GetCount());
    const NetDevInfo& old = *all.Get(0);
    EXPECT_EQ(0u, old.bPresent);  // though a present adapter carries the same ID
    EXPECT_EQ(std::wstring(kOldLanGuid), old.szNetCfgInstanceId);
    const NetDevInfo& lan = *all.Get(1);
    EXPECT_EQ(1u, lan.bPresent);
    EXPECT_EQ(std::wstring(kLanId), lan.szHardwareIds);
    EXPECT_EQ((lstrlenW(kLanId) + 2) * sizeof(WCHAR), lan.cbHardwareIds);
    EXPECT_EQ(L"", std::wstring(lan.szFriendlyName));
    EXPECT_EQ(L"", std::wstring(lan.szService));
    EXPECT_EQ(L"", std::wstring(lan.szCardCfgId));
    EXPECT_EQ(L"1D2E", std::wstring(lan.szVendor));
    EXPECT_EQ(0u, lan.bWireless);
    const NetDevInfo& wlan = *all.Get(2);
    EXPECT_EQ(L"168C", std::wstring(wlan.szVendor));
    EXPECT_EQ(1u, wlan.bWireless);
    EXPECT_EQ(L"CARD-7", std::wstring(wlan.szCardCfgId));
    EXPECT_EQ(L"wlan5", std::wstring(wlan.szService));
    EXPECT_EQ(L"", std::wstring(all.Get(3)->szNetCfgInstanceId));
}

struct PickCase {
    const char* name;
    const wchar_t* id;
    int present;
    const wchar_t* guid;  // "" none
};

class NetDevPickTest : public NetDevTest, public ::testing::WithParamInterface<PickCase> {};

TEST_P(NetDevPickTest, PicksByPrefixPresenceAndInstanceId) {
    const PickCase& c = GetParam();
    EXPECT_EQ(c.guid[0] ? 1 : 0, net_->Open(c.id, c.present));
    EXPECT_EQ(std::wstring(c.guid), net_->GetNetCfgInstanceId());
}

INSTANTIATE_TEST_SUITE_P(Pick, NetDevPickTest,
                         ::testing::Values(PickCase{"presentSkipsTheOldOne", L"pci\\ven_1d2e&dev_0042", 1, kLanGuid},
                                           PickCase{"absentOnlyTheOldOne", L"PCI\\VEN_1D2E", 0, kOldLanGuid},
                                           PickCase{"absentNoneOfThatKind", kWlanId, 0, L""},
                                           PickCase{"longerThanTheId", L"PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01",
                                                    1, L""},
                                           PickCase{"emptyIdPicksNothing", L"", 1, L""},
                                           PickCase{"noInstanceIdPicksNothing", kDongleId, 1, L""}),
                         [](const ::testing::TestParamInfo<PickCase>& i) { return std::string(i.param.name); });

TEST_F(NetDevTest, AFailedOpenLeavesNoCurrentAdapter) {
    ASSERT_EQ(1, net_->Open(kWlanId, 1));
    EXPECT_EQ(0, net_->Open(L"PCI\\VEN_FFFF", 1));
    EXPECT_EQ(L"", std::wstring(net_->GetNetCfgInstanceId()));
}

struct WirelessCase {
    const char* name;
    const wchar_t* id;
    int result;
};

class NetDevWirelessTest : public NetDevTest, public ::testing::WithParamInterface<WirelessCase> {};

TEST_P(NetDevWirelessTest, AgreesOverTheShorterLength) {
    EXPECT_EQ(GetParam().result, net_->IsWirelessByReg(GetParam().id));
}

INSTANTIATE_TEST_SUITE_P(Wireless, NetDevWirelessTest,
                         ::testing::Values(
                             // Entry 2 is read past the gap at 1.
                             WirelessCase{"entryShorterThanId", kWlanId, 1},
                             WirelessCase{"idShorterThanEntry", L"pci\\VEN_168C", 1},
                             WirelessCase{"otherId", kLanId, 0}, WirelessCase{"emptyId", L"", 0}),
                         [](const ::testing::TestParamInfo<WirelessCase>& i) { return std::string(i.param.name); });

// Each level bit and the backup keys it fills.
struct LevelCase {
    const char* name;
    const wchar_t* id;
    DWORD level;
    bool tcpip, netbt, eapol, wzc, acu;
    DWORD wzcsvc, acs;  // the services' states afterwards
};

class NetDevLevelTest : public NetDevTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(NetDevLevelTest, BacksUpTheSelectedParts) {
    const LevelCase& c = GetParam();
    ASSERT_EQ(1, net_->BackupNetConfig(c.id, 1, c.level));
    winsim::Registry r(machine());
    const std::wstring b = kBackup;
    EXPECT_EQ(c.tcpip, r.KeyExists(b + L"\\TCPIP"));
    EXPECT_EQ(c.netbt, r.KeyExists(b + L"\\NETBT"));
    EXPECT_EQ(c.eapol, r.KeyExists(b + L"\\EAPOL"));
    EXPECT_EQ(c.wzc, r.KeyExists(b + L"\\WZCSVC\\Static#0000"));
    EXPECT_EQ(c.acu, r.GetString(b + L"\\ACUCFG", L"Mode") == std::optional<std::wstring>(L"2"));
    EXPECT_EQ(c.acu, r.GetString(b + L"\\CARDCONFIG", L"CardCfgId") == std::optional<std::wstring>(L"CARD-7"));
    if (c.tcpip) {
        EXPECT_EQ(std::vector<std::wstring>{L"192.168.10.20"}, r.GetMultiString(b + L"\\TCPIP", L"IPAddress"));
    }
    Sleep(2000);
    EXPECT_EQ(c.wzcsvc, State(L"wzcsvc"));
    EXPECT_EQ(c.acs, State(L"acs"));
}

INSTANTIATE_TEST_SUITE_P(
    Level, NetDevLevelTest,
    ::testing::Values(
        LevelCase{"nothing", kWlanId, 0, false, false, false, false, false, SERVICE_RUNNING, SERVICE_RUNNING},
        LevelCase{"tcpip", kWlanId, 1, true, false, false, false, false, SERVICE_RUNNING, SERVICE_RUNNING},
        LevelCase{"netbt", kWlanId, 2, false, true, false, false, false, SERVICE_RUNNING, SERVICE_RUNNING},
        // The wireless service is stopped for the copy and left stopped.
        LevelCase{"wireless", kWlanId, 4, false, false, true, true, false, SERVICE_STOPPED, SERVICE_RUNNING},
        LevelCase{"adapterKind", kWlanId, 8, false, false, false, false, true, SERVICE_RUNNING, SERVICE_STOPPED},
        LevelCase{"all", kWlanId, 0xFFFFFFFF, true, true, true, true, true, SERVICE_STOPPED, SERVICE_STOPPED},
        // A wired adapter of another vendor: no wireless keys, no adapter kind.
        LevelCase{"allOfAWiredOne", kLanId, 0xFFFFFFFF, true, true, false, false, false, SERVICE_STOPPED,
                  SERVICE_RUNNING}),
    [](const ::testing::TestParamInfo<LevelCase>& i) { return std::string(i.param.name); });

TEST_F(NetDevTest, BackupIsRefusedWhileOneExistsEvenForAnotherAdapter) {
    ASSERT_EQ(1, net_->BackupNetConfig(kLanId, 1, 1));
    EXPECT_EQ(0, net_->BackupNetConfig(kWlanId, 1, 1));
    EXPECT_TRUE(Logged(L"Backup: Already exist backup."));
    // The backup holds its parts and nothing of its own.
    winsim::Registry r(machine());
    EXPECT_EQ(std::vector<std::wstring>{L"TCPIP"}, r.ListKeys(kBackup));
    EXPECT_TRUE(r.ListValues(kBackup).empty());
}

// A driver reinstall gives the adapter a new NetCfgInstanceId, new settings and a new
// driver key: the restore puts the backed-up settings onto it.
TEST_F(NetDevTest, RestoreAfterADriverReinstallBringsTheSettingsBack) {
    ASSERT_EQ(1, net_->BackupNetConfig(kWlanId, 1, 0xFFFFFFFF));
    winsim::DeviceTree(machine()).Uninstall(wlan_);
    const wchar_t* kNewGuid = L"{D0000000-0000-0000-0000-00000000000D}";
    wlan_ = winsim::net::AddAdapter(machine(), Wlan(kNewGuid, L"CARD-NEW", L"9", L"10.0.0.9"));
    winsim::Registry r(machine());
    r.DeleteKey(winsim::net::WzcKey(kNewGuid) + L"\\Static#0000");
    EXPECT_EQ(1, net_->RestoreNetConfig(kWlanId, 1, 0xFFFFFFFF));
    EXPECT_EQ(std::vector<std::wstring>{L"192.168.10.20"},
              r.GetMultiString(winsim::net::TcpipKey(kNewGuid), L"IPAddress"));
    EXPECT_TRUE(r.KeyExists(winsim::net::WzcKey(kNewGuid) + L"\\Static#0000"));
    EXPECT_EQ(L"2", Text(DriverKey(wlan_) + L"\\CustomParams", L"Mode"));
    EXPECT_EQ(L"CARD-7", Text(DriverKey(wlan_), L"CardCfgId"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), State(L"wzcsvc"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), State(L"acs"));
    EXPECT_TRUE(r.KeyExists(kBackup));  // left to the scripts
}

// Neither a backup of another adapter nor one that another tool wrote is refused.
TEST_F(NetDevTest, RestoreTakesAnyBackupOntoTheAdapterPicked) {
    winsim::Registry r(machine());
    const std::wstring lanTcpip = winsim::net::TcpipKey(kLanGuid);
    r.SetMultiString(winsim::net::TcpipKey(kOldLanGuid), L"IPAddress", {L"10.0.0.1"});
    ASSERT_EQ(1, net_->BackupNetConfig(kLanId, 0, 1));  // the adapter that is no longer present
    EXPECT_EQ(1, net_->RestoreNetConfig(kLanId, 1, 1));
    EXPECT_EQ(std::vector<std::wstring>{L"10.0.0.1"}, r.GetMultiString(lanTcpip, L"IPAddress"));
    r.DeleteKey(kBackup);
    r.SetString(std::wstring(kBackup) + L"\\TCPIP", L"NameServer", L"10.0.0.53");
    EXPECT_EQ(1, net_->RestoreNetConfig(kLanId, 1, 1));
    EXPECT_EQ(L"10.0.0.53", Text(lanTcpip, L"NameServer"));
}

TEST_F(NetDevTest, AnEmptyCardCfgIdIsNotRestored) {
    ASSERT_EQ(1, net_->BackupNetConfig(kWlanId, 1, 8));
    winsim::Registry r(machine());
    r.SetString(std::wstring(kBackup) + L"\\CARDCONFIG", L"CardCfgId", L"");
    r.SetString(DriverKey(wlan_), L"CardCfgId", L"NEW");
    EXPECT_EQ(1, net_->RestoreNetConfig(kWlanId, 1, 8));
    EXPECT_EQ(L"NEW", Text(DriverKey(wlan_), L"CardCfgId"));
}

TEST_F(NetDevTest, AFailedPartLeavesNoBackup) {
    // The live key cannot be read: the copy fails and the half-made backup goes.
    winsim::Registry(machine()).SetDenyRead(winsim::net::NetbtKey(kLanGuid), true);
    EXPECT_EQ(0, net_->BackupNetConfig(kLanId, 1, 3));
    EXPECT_FALSE(winsim::Registry(machine()).KeyExists(kBackup));
    EXPECT_EQ(0, net_->RestoreNetConfig(kLanId, 1, 3));
    EXPECT_TRUE(Logged(L"RestoreNetConfig: Can not find backup."));
}

}  // namespace
