// ENABLE_BINDING, BACKUP_NETCFG and CHECK_NETDEVID through their table rows: bindings of
// the four classes, the write lock held elsewhere, Apply's results, the backup's
// direction and the current adapter behind %NetInstanceGUID%.
#include "unit_fixture.h"

#include "winsim/com.h"
#include "winsim/netcfg.h"
#include "winsim/scm.h"

#include <netcfgx.h>

#include <string>
#include <vector>

namespace {

const wchar_t* kLanId = L"PCI\\VEN_1D2E&DEV_0042&SUBSYS_00011A2B";
const wchar_t* kGuid = L"{A0000000-0000-0000-0000-00000000000A}";

class NetworkCommandTest : public EngineUnitTest {
protected:
    static constexpr const wchar_t* kScript = L"C:\\Program Files\\Quarven\\Setup\\Net.ini";

    NetworkCommandTest() {
        winsim::net::AdapterSpec a;
        a.instance_id = L"PCI\\VEN_1D2E&DEV_0042&SUBSYS_00011A2B\\3&1&0&E8";
        a.hardware_ids = {kLanId};
        a.guid = kGuid;
        a.description = L"Ethernet";
        winsim::net::AddAdapter(machine(), a);
        // A filter of the Net class bound below the adapter.
        winsim::netcfg::Component f;
        f.id = L"ms_filter";
        f.display_name = L"Filter";
        f.class_guid = winsim::netcfg::kNet;
        f.bind_name = L"Filter";
        f.paths = {{std::wstring(L"ms_filter->") + kGuid, true}};
        winsim::netcfg::AddComponent(machine(), f);
    }
    unsigned Run(const wchar_t* keyword, const std::wstring& lines, int* quit = nullptr, uint64_t* elapsed = nullptr) {
        std::wstring text = L"[S]\r\n" + lines;
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
        EXPECT_TRUE(winsim::files::WriteBytes(machine(), kScript, bytes));
        if (!g_pSetupEnv) Create();
        g_pSetupEnv->SetScriptPath(kScript);
        int q = 0;
        uint64_t start = machine().NowMs();
        unsigned r = FindSetupCommand(keyword)->pfnHandler(L"", L"S", &q, 0);
        if (quit) *quit = q;
        if (elapsed) *elapsed = machine().NowMs() - start;
        return r;
    }
    bool Enabled(const std::wstring& owner) {
        return winsim::netcfg::PathEnabled(machine(), owner + kGuid).value_or(false);
    }
    std::wstring Expand(const wchar_t* text) {
        WCHAR buf[SETUP_TEXT_CCH];
        lstrcpynW(buf, text, SETUP_TEXT_CCH);
        g_pSetupCtrl->ExpandMacros(buf);
        return buf;
    }
};

const wchar_t* const kPaths[] = {L"ms_msclient->ms_netbt->ms_tcpip->", L"ms_server->ms_netbt->ms_tcpip->",
                                 L"ms_tcpip->", L"ms_filter->"};

struct BindingCase {
    const char* name;
    const wchar_t* lines;
    HRESULT apply;
    const wchar_t* holder;  // another client holding the lock
    unsigned result;
    const bool enabled[4];  // the paths of kPaths afterwards
    unsigned applies;
    uint64_t elapsed;
};

class EnableBindingTest : public NetworkCommandTest, public ::testing::WithParamInterface<BindingCase> {};

TEST_P(EnableBindingTest, SwitchesEveryMatchingPath) {
    const BindingCase& c = GetParam();
    winsim::netcfg::SetApplyResult(machine(), c.apply);
    if (c.holder[0]) winsim::netcfg::HoldLock(machine(), c.holder);
    uint64_t elapsed = 0;
    int quit = 0;
    EXPECT_EQ(c.result, Run(L"ENABLE_BINDING", c.lines, &quit, &elapsed));
    EXPECT_EQ(0, quit);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(c.enabled[i], Enabled(kPaths[i])) << winsim::Utf8(kPaths[i]);
    EXPECT_EQ(c.applies, winsim::netcfg::ApplyCount(machine()));
    EXPECT_EQ(c.elapsed, elapsed);
    // COM and the configuration are given back.
    EXPECT_EQ(0u, winsim::com::InitCount());
    EXPECT_EQ(0u, winsim::netcfg::OpenInstances(machine()));
    EXPECT_EQ(std::wstring(c.holder), winsim::netcfg::LockHolder(machine()));
}

INSTANTIATE_TEST_SUITE_P(
    Binding, EnableBindingTest,
    ::testing::Values(
        BindingCase{"none", L"BINDING=0\r\n", S_OK, L"", 0, {true, true, true, true}, 0, 0},
        // "ms_" begins the paths of all four classes.
        BindingCase{"prefixAcrossTheClasses",
                    L"BINDING=1\r\nBINDING1_PATH=MS_\r\nBINDING1_FLAG=0\r\n",
                    S_OK,
                    L"",
                    0,
                    {false, false, false, false},
                    4,
                    0},
        BindingCase{"oneProtocol",
                    L"BINDING=1\r\nBINDING1_PATH=ms_tcpip\r\nBINDING1_FLAG=2\r\n",
                    S_OK,
                    L"",
                    0,
                    {true, true, false, true},
                    1,
                    0},
        // Already enabled: nothing changes, and so the entry fails.
        BindingCase{"alreadyInTheWantedState",
                    L"BINDING=1\r\nBINDING1_PATH=ms_server\r\nBINDING1_FLAG=1\r\n",
                    S_OK,
                    L"",
                    34,
                    {true, true, true, true},
                    0,
                    0},
        BindingCase{"noPathMatches",
                    L"BINDING=1\r\nBINDING1_PATH=ms_none\r\nBINDING1_FLAG=0\r\n",
                    S_OK,
                    L"",
                    34,
                    {true, true, true, true},
                    0,
                    0},
        BindingCase{"emptyPathMatchesNothing",
                    L"BINDING=1\r\nBINDING1_PATH=\r\nBINDING1_FLAG=0\r\n",
                    S_OK,
                    L"",
                    34,
                    {true, true, true, true},
                    0,
                    0},
        BindingCase{"applyFails",
                    L"BINDING=1\r\nBINDING1_PATH=ms_tcpip\r\nBINDING1_FLAG=0\r\n",
                    E_FAIL,
                    L"",
                    34,
                    {true, true, true, true},
                    1,
                    0},
        BindingCase{"applyWantsARestart",
                    L"BINDING=1\r\nBINDING1_PATH=ms_tcpip\r\nBINDING1_FLAG=0\r\n",
                    NETCFG_S_REBOOT,
                    L"",
                    0,
                    {true, true, false, true},
                    1,
                    0},
        // The lock is waited for 5 s, then the entry fails; the next entry waits again.
        BindingCase{"lockHeldElsewhere",
                    L"BINDING=2\r\nBINDING1_PATH=ms_tcpip\r\nBINDING1_FLAG=0\r\nBINDING2_PATH=ms_server\r\n"
                    L"BINDING2_FLAG=0\r\n",
                    S_OK,
                    L"Network Tool",
                    34,
                    {true, true, true, true},
                    0,
                    10000},
        // A failed entry does not stop the next one.
        BindingCase{"entriesGoOnAfterAFailure",
                    L"BINDING=2\r\nBINDING1_PATH=ms_none\r\nBINDING1_FLAG=0\r\nBINDING2_PATH=ms_msclient\r\n"
                    L"BINDING2_FLAG=0\r\n",
                    S_OK,
                    L"",
                    34,
                    {false, true, true, true},
                    1,
                    0}),
    [](const ::testing::TestParamInfo<BindingCase>& i) { return std::string(i.param.name); });

TEST_F(NetworkCommandTest, BindingRerunFails) {
    const wchar_t* lines = L"BINDING=1\r\nBINDING1_PATH=ms_tcpip\r\nBINDING1_FLAG=0\r\n";
    EXPECT_EQ(0u, Run(L"ENABLE_BINDING", lines));
    EXPECT_EQ(34u, Run(L"ENABLE_BINDING", lines));
    EXPECT_EQ(1u, winsim::netcfg::ApplyCount(machine()));
}

TEST_F(NetworkCommandTest, BindingsFailWhenComIsAlreadyInitialised) {
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    EXPECT_EQ(34u, Run(L"ENABLE_BINDING", L"BINDING=1\r\nBINDING1_PATH=ms_tcpip\r\nBINDING1_FLAG=0\r\n"));
    EXPECT_EQ(1u, winsim::com::InitCount());
    CoUninitialize();
    EXPECT_TRUE(Enabled(L"ms_tcpip->"));
}

struct BackupCase {
    const char* name;
    const wchar_t* lines;
    unsigned result;
    bool backup_exists;
};

class BackupNetCfgTest : public NetworkCommandTest, public ::testing::WithParamInterface<BackupCase> {};

TEST_P(BackupNetCfgTest, BacksUpOrRestores) {
    const BackupCase& c = GetParam();
    int quit = 0;
    EXPECT_EQ(c.result, Run(L"BACKUP_NETCFG", c.lines, &quit));
    EXPECT_EQ(0, quit);
    EXPECT_EQ(c.backup_exists, winsim::Registry(machine()).KeyExists(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool\\Backup"));
}

INSTANTIATE_TEST_SUITE_P(
    Backup, BackupNetCfgTest,
    ::testing::Values(BackupCase{"noIds", L"HWID=0\r\n", 39, false},
                      // Defaults: back up every part of a present adapter.
                      BackupCase{"backup", L"HWID=1\r\nHWID1=PCI\\VEN_1D2E\r\n", 0, true},
                      BackupCase{"firstIdThatWorks", L"HWID=2\r\nHWID1=PCI\\VEN_FFFF\r\nHWID2=PCI\\VEN_1D2E\r\n", 0,
                                 true},
                      BackupCase{"restoreWithoutBackup", L"HWID=1\r\nHWID1=PCI\\VEN_1D2E\r\nBACKUP=0\r\n", 39, false},
                      BackupCase{"absentAdapter", L"HWID=1\r\nHWID1=PCI\\VEN_1D2E\r\nPRESENT=0\r\n", 39, false}),
    [](const ::testing::TestParamInfo<BackupCase>& i) { return std::string(i.param.name); });

TEST_F(NetworkCommandTest, BackupTwiceFailsAndRestoreWorks) {
    const std::wstring lines = L"HWID=1\r\nHWID1=PCI\\VEN_1D2E\r\nLEVEL=3\r\n";
    EXPECT_EQ(0u, Run(L"BACKUP_NETCFG", lines));
    EXPECT_EQ(39u, Run(L"BACKUP_NETCFG", lines));
    EXPECT_TRUE(Logged(L"Backup: Already exist backup."));
    winsim::Registry(machine()).SetString(winsim::net::TcpipKey(kGuid), L"NameServer", L"10.0.0.1");
    // Any BACKUP other than 1 restores.
    EXPECT_EQ(0u, Run(L"BACKUP_NETCFG", lines + L"BACKUP=2\r\n"));
    EXPECT_EQ(L"192.168.10.1", winsim::Registry(machine()).GetString(winsim::net::TcpipKey(kGuid), L"NameServer"));
    EXPECT_TRUE(Logged(L"RestoreNetConfig Success HWID PCI\\VEN_1D2E 1 3"));
}

TEST_F(NetworkCommandTest, CurrentAdapterFollowsTheLastCheck) {
    Create();
    EXPECT_EQ(L"", Expand(L"%NetInstanceGUID%"));
    int quit = 0;
    EXPECT_EQ(0u, Run(L"CHECK_NETDEVID", L"HWID=2\r\nHWID1=USB\\VID_FFFF\r\nHWID2=pci\\ven_1d2e\r\n", &quit));
    EXPECT_EQ(0, quit);
    EXPECT_EQ(kGuid, Expand(L"%NetInstanceGUID%"));
    EXPECT_TRUE(Logged(L"CHECK_NETDEVID Success HWID pci\\ven_1d2e 1"));
    // An adapter that is present is no answer to PRESENT=0; the stale one is forgotten.
    EXPECT_EQ(74u, Run(L"CHECK_NETDEVID", L"HWID=1\r\nHWID1=PCI\\VEN_1D2E\r\nPRESENT=0\r\n", &quit));
    EXPECT_EQ(1, quit);
    EXPECT_EQ(L"", Expand(L"%NetInstanceGUID%"));
}

}  // namespace
