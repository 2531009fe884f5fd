// The INF reader: model sections with decorations, first-ID prefix match, the filter order
// of a removal and the sweep over the INF folder.
#include <windows.h>

#include <setupapi.h>

#include "InfCtrl.h"
#include "lib_fixture.h"
#include "winsim/devices.h"
#include "winsim/driverstore.h"

#include <string>

namespace {

namespace ds = winsim::driverstore;

const wchar_t* const kWlanInf =
    L"[Version]\r\nSignature=\"$WINDOWS NT$\"\r\nClass=net\r\nProvider=%Prov%\r\n"
    L"[Manufacturer]\r\n%Prov%=Models, NTamd64, NTx86\r\n"
    L"[Models.NTamd64]\r\n%Desc% = Inst, USB\\VID_1234&PID_5678&MI_00, USB\\VID_9999&PID_0001\r\n"
    L"[Models.NTx86]\r\n%Desc% = Inst, PCI\\VEN_8086&DEV_4229\r\n"
    L"[Strings]\r\nProv=\"Acme\"\r\nDesc=\"Acme Wireless\"\r\n";

const wchar_t* const kModemInf =
    L"[Version]\r\nClass=Modem\r\nProvider=Acme\r\n"
    L"[Manufacturer]\r\nAcme=Modems\r\n[Modems]\r\n%M% = M1, USB\\VID_1199&PID_9011\r\n";

class InfCtrlTest : public LibTest {
protected:
    std::wstring Put(const std::wstring& name, const std::wstring& text) {
        std::wstring path = InFolder(name);
        PutFile(path, ds::InfBytes(text, true));
        return path;
    }
};

TEST_F(InfCtrlTest, FindsTheFirstHardwareIdOfDecoratedModelSections) {
    CInfCtrl inf;
    ASSERT_EQ(1, inf.Open(Put(L"wlan.inf", kWlanInf).c_str()));
    EXPECT_STREQ(L"net", inf.GetClass());
    EXPECT_STREQ(L"Acme", inf.GetProvider());
    ASSERT_EQ(2, inf.GetModelSections().GetCount());
    EXPECT_STREQ(L"Models.NTamd64", inf.GetModelSections().Get(0)->szSection);
    struct Case {
        const wchar_t* id;
        int found;
    } cases[] = {
        {L"USB\\VID_1234&PID_5678", 1},
        {L"usb\\vid_1234&pid_5678&mi_00", 1},
        {L"USB\\VID_1234&PID_5678&MI_00&X", 0},
        {L"USB\\VID_9999&PID_0001", 0},  // only a second ID
        {L"PCI\\VEN_8086", 1},
        {L"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.found, inf.FindHardwareId(c.id)) << winsim::Utf8(c.id);
    inf.Close();
    EXPECT_EQ(0, inf.GetModelSections().GetCount());
    EXPECT_EQ(0, inf.FindHardwareId(L"PCI\\VEN_8086"));
}

TEST_F(InfCtrlTest, RemovalTestsClassThenProviderThenId) {
    struct Case {
        const wchar_t* id;
        const wchar_t* provider;
        const wchar_t* cls;
        int removed;
        const wchar_t* log;
    } cases[] = {
        {L"PCI\\VEN_8086", L"Other", L"Modem", 0, L"missmatch class name Modem vs net"},
        {L"PCI\\VEN_8086", L"Other", L"NET", 0, L"missmatch provider name Other vs Acme"},
        {L"PCI\\VEN_1111", L"acme", L"Net", 0, L"can not find HWID PCI\\VEN_1111"},
        {L"PCI\\VEN_8086", L"acme", L"Net", 1, L"Success"},
        {NULL, NULL, NULL, 1, L"Success"},
    };
    for (const auto& c : cases) {
        std::wstring name = ds::AddOemInf(machine(), kWlanInf);
        std::wstring path = std::wstring(ds::kInfFolder) + L"\\" + name;
        ClearLogs();
        CInfCtrl inf;
        EXPECT_EQ(c.removed, inf.RemoveOEMInf(path.c_str(), c.id, c.provider, c.cls)) << winsim::Utf8(c.log);
        EXPECT_TRUE(Logged(L"CInfCtrl:RemoveOEMInf " + path + L" " + c.log) ||
                    Logged(L"CInfCtrl:RemoveOEMInf " + std::wstring(c.log) + L" " + path))
            << winsim::Utf8(c.log);
        EXPECT_EQ(c.removed == 0, winsim::files::Exists(machine(), path));
        if (!c.removed) winsim::files::WriteBytes(machine(), path, "");  // kept: clear for the next case
        SetupUninstallOEMInfW(name.c_str(), SUOI_FORCEDELETE, NULL);
    }
}

TEST_F(InfCtrlTest, SweepRemovesEveryMatchAndNeedsAFilter) {
    winsim::DeviceSpec d;
    d.instance_id = L"PCI\\VEN_8086&DEV_4229\\3&1";
    d.class_guid = winsim::devclass::kNet;
    d.hardware_ids = std::vector<std::wstring>{L"PCI\\VEN_8086&DEV_4229"};
    DWORD dev = winsim::DeviceTree(machine()).Add(d);
    CInfCtrl inf;
    EXPECT_EQ(0, inf.RemoveAllOEMInf(L"PCI\\VEN_8086", NULL, NULL));
    EXPECT_TRUE(Logged(L"CInfCtrl:RemoveAllOEMInf ERROR=InvalidHandle 2"));

    ds::AddOemInf(machine(), kWlanInf);                                  // oem0
    ds::AddOemInf(machine(), kModemInf);                                 // oem1
    ds::BindDriver(machine(), dev, ds::AddOemInf(machine(), kWlanInf));  // oem2, in use
    ds::AddOemInf(machine(), L"no sections at all");                     // oem3, unreadable
    EXPECT_EQ(0, inf.RemoveAllOEMInf(NULL, L"", NULL));
    EXPECT_EQ(4u, ds::OemInfs(machine()).size());
    EXPECT_EQ(1, inf.RemoveAllOEMInf(L"PCI\\VEN_8086&DEV_4229", NULL, L"Net"));
    EXPECT_EQ((std::vector<std::wstring>{L"oem1.inf", L"oem3.inf"}), ds::OemInfs(machine()));
    EXPECT_EQ(0, inf.RemoveAllOEMInf(L"PCI\\VEN_8086&DEV_4229", NULL, NULL));
    EXPECT_EQ(1, inf.RemoveAllOEMInf(NULL, L"Acme", L"Modem"));
    EXPECT_EQ((std::vector<std::wstring>{L"oem3.inf"}), ds::OemInfs(machine()));
}

}  // namespace
