// The library's log texts that no other test reads, each provoked on the machine and
// compared letter for letter: one scenario a row, with the texts it must have written.
#include "DriverSetupCtrl.h"
#include "InfCtrl.h"
#include "ModemCtrl.h"
#include "NetCfgCtrl.h"
#include "NetDevCtrl.h"
#include "SvcCtrl.h"
#include "lib_fixture.h"
#include "winsim/devices.h"
#include "winsim/difx.h"
#include "winsim/driverstore.h"
#include "winsim/netcfg.h"
#include "winsim/osinfo.h"
#include "winsim/scm.h"
#include "winsim/wireless.h"

#include <objbase.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::wstring>;

class LogTexts;

struct TextCase {
    const char* name;
    Texts (*run)(LogTexts& t);
};

class LogTexts : public LibTest, public ::testing::WithParamInterface<TextCase> {
public:
    using LibTest::InFolder;
    using LibTest::machine;
    using LibTest::process;
    winsim::Registry reg() { return winsim::Registry(machine()); }
};

TEST_P(LogTexts, WrittenLetterForLetter) {
    for (const std::wstring& text : GetParam().run(*this)) EXPECT_TRUE(Logged(text)) << winsim::Utf8(text);
}

const wchar_t kGuid[] = L"{A0000000-0000-0000-0000-00000000000A}";
const wchar_t kWlanId[] = L"PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B";

// A wireless adapter of the special kind, listed as DevID_SupportRL2, with its services.
void AddWlan(LogTexts& t) {
    winsim::net::AdapterSpec w;
    w.instance_id = std::wstring(kWlanId) + L"\\3&1&0&F0";
    w.hardware_ids = {kWlanId};
    w.guid = kGuid;
    w.description = L"Wireless LAN";
    w.wireless = true;
    w.card_cfg_id = L"CARD-7";
    w.custom_params = {{L"Mode", L"2"}};
    winsim::net::AddAdapter(t.machine(), w);
    t.reg().SetString(winsim::wireless::kListKey, L"DevID_SupportRL2", L"PCI\\VEN_168C&DEV_0E5A");
    winsim::scm::Simulate(t.machine(), L"wzcsvc", {500, 500}, SERVICE_RUNNING);
    winsim::scm::Simulate(t.machine(), L"acs", {500, 500}, SERVICE_RUNNING);
}

// The five parts of a backup: name, live key, backup key (program's view, below HKLM).
struct Part {
    std::wstring name, live, backup;
};
std::vector<Part> Parts(CNetDevCtrl& net) {
    NetDevInfo d = {};
    net.GetNetDev(&d, kWlanId, 1);
    const std::wstring g = kGuid, b = L"SOFTWARE\\Quarven\\OrvashTool\\Backup\\";
    return {{L"TCP/IP", L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" + g, b + L"TCPIP"},
            {L"Wins", L"SYSTEM\\CurrentControlSet\\Services\\NetBT\\Parameters\\Interfaces\\tcpip_" + g, b + L"NETBT"},
            {L"EAPOL", L"SOFTWARE\\Microsoft\\EAPOL\\Parameters\\Interfaces\\" + g, b + L"EAPOL"},
            {L"WZC", L"SOFTWARE\\Microsoft\\WZCSVC\\Parameters\\Interfaces\\" + g, b + L"WZCSVC"},
            {L"ACU", L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + std::wstring(d.szDriverKey) + L"\\CustomParams",
             b + L"ACUCFG"}};
}

Texts Bindings(LogTexts& t) {
    AddWlan(t);
    winsim::netcfg::Component broken;
    broken.id = L"ms_broken";
    broken.display_name = L"Broken";
    broken.class_guid = winsim::netcfg::kNetService;
    broken.paths_fail = true;
    winsim::netcfg::AddComponent(t.machine(), broken);
    CNetCfgCtrl netcfg;
    netcfg.EnableBinding(L"ms_tcpip", 0);
    netcfg.EnableBinding(L"ms_tcpip", 1);
    CoInitialize(NULL);
    netcfg.EnableBinding(L"ms_tcpip", 0);
    CoUninitialize();
    winsim::netcfg::HoldLock(t.machine(), L"Network Tool");
    netcfg.EnableBinding(L"ms_tcpip", 0);
    const std::wstring path = std::wstring(L"(ms_tcpip): Status=0 Path=ms_tcpip->") + kGuid;
    return {L"CNetCfgCtrl::EnableBinding:Goto disable Internet Protocol (TCP/IP)" + path,
            L"CNetCfgCtrl::EnableBinding:Goto enable Internet Protocol (TCP/IP)" + path,
            L"CNetCfgCtrl::EnableBinding: HrGetBindingPathEnum Error -2147467259 Couldn't get the binding path "
            L"enumerator of Broken.",
            L"CNetCfgCtrl::EnableBinding: HrGetINetCfg Error 1 Couldn't get the notify object interface.",
            L"CNetCfgCtrl::EnableBinding: HrGetINetCfg Error -2147180508  Network Tool currently holds the lock, "
            L"try later."};
}

Texts BackupAndRestore(LogTexts& t) {
    AddWlan(t);
    CNetDevCtrl net;
    net.Open(kWlanId, 1);
    net.Open(L"PCI\\VEN_FFFF", 1);
    net.BackupNetConfig(L"PCI\\VEN_FFFF", 1, 0xFFFFFFFF);
    net.BackupNetConfig(kWlanId, 1, 0xFFFFFFFF);
    net.RestoreNetConfig(L"PCI\\VEN_FFFF", 1, 0xFFFFFFFF);
    net.RestoreNetConfig(kWlanId, 1, 0xFFFFFFFF);
    Texts texts = {L"CNetDevCtrl:Open()",
                   std::wstring(L"GetNetDev->Found ") + kWlanId,
                   L"CNetDevCtrl::IsWirelessByReg() Found count =2",
                   L"GetNetDev->Do not found network device",
                   L"Backup: did not find device ID.",
                   L"RestoreNetConfig: Can not find device."};
    for (const Part& p : Parts(net)) {
        texts.push_back(L"Backup: " + p.name + L" " + p.live + L" -> " + p.backup + L"\n");
        texts.push_back(L"Restore: " + p.name + L" " + p.backup + L" -> " + p.live + L"\n");
    }
    return texts;
}

Texts CopyFailures(LogTexts& t) {
    AddWlan(t);
    CNetDevCtrl net;
    const std::vector<Part> parts = Parts(net);
    const DWORD levels[] = {1, 2, 4, 4, 8};
    Texts texts;
    // A backup ends at its first failed part: one part at a time.
    for (size_t i = 0; i < parts.size(); ++i) {
        t.reg().SetDenyRead(L"HKLM\\" + parts[i].live, true);
        net.BackupNetConfig(kWlanId, 1, levels[i]);
        t.reg().SetDenyRead(L"HKLM\\" + parts[i].live, false);
        texts.push_back(L"Backup: " + parts[i].name + L" Copy Failed " + parts[i].live + L" -> " + parts[i].backup +
                        L"\n");
    }
    net.BackupNetConfig(kWlanId, 1, 0xFFFFFFFF);
    for (const Part& p : parts) {
        t.reg().SetDenyRead(L"HKLM\\" + p.backup, true);
        texts.push_back(L"Restore: " + p.name + L" Copy Failed " + p.backup + L" -> " + p.live + L"\n");
    }
    net.RestoreNetConfig(kWlanId, 1, 0xFFFFFFFF);
    return texts;
}

Texts DriverPackages(LogTexts& t) {
    namespace ds = winsim::driverstore;
    winsim::files::CreateFolders(t.machine(), t.InFolder(L"drv"));
    winsim::files::WriteBytes(
        t.machine(), t.InFolder(L"drv\\net.inf"),
        ds::InfBytes(L"[Version]\r\nClass=Net\r\n[Manufacturer]\r\nA=M\r\n[M]\r\nW=I, PCI\\X\r\n", false));
    winsim::difx::Install(t.machine(), t.InFolder(L"DIFxAPI.dll"));
    winsim::difx::SetRebootNeeded(t.machine(), true);
    CDriverSetupCtrl drv;
    for (int option = 0; option <= 3; ++option) drv.Run(option, L"drv\\net.inf", 16);
    EXPECT_STREQ(L"Success.", drv.GetErrorText(0));
    Texts texts = {L"CDriverSetupCtrl:INFO: Option 0",
                   L"CDriverSetupCtrl:INFO: Input file C:\\PROGRA~1\\Quarven\\Setup\\drv\\net.inf",
                   L"CDriverSetupCtrl:INFO: Flags 0x10 (16)",
                   L"CDriverSetupCtrl: preinstalling driver package.\n",
                   L"CDriverSetupCtrl: installing driver package.\n",
                   L"CDriverSetupCtrl: uninstalling driver package.\n",
                   L"CDriverSetupCtrl: Machine will have to be rebooted to complete uninstall.",
                   L"CDriverSetupCtrl: getting driver package path.\n"};
    // Each failure code with its text.
    const struct {
        DWORD code;
        const wchar_t* line;
    } failures[] = {
        {5, L"0x5 Error Access Denied."},
        {10, L"0xA Error Windows does not support."},
        {14, L"0xE Error out of memory."},
        {32, L"0x20 Error ERROR_SHARING_VIOLATION."},
        {87, L"0x57 Error parameter is invalid."},
        {123, L"0x7B Error inf fiel path is invalid name."},
        {206, L"0xCE Error ERROR_FILENAME_EXCED_RANGE."},
        {1603, L"0x643 Error install/unisntall failed."},
        {1630, L"0x65E Error driver package tyep is not supported."},
        {0x80092003, L"0x80092003 Error CAN file was not found."},
        {0xE0000300, L"0xE0000300 Error ERROR_DEPENDENT_APPLICATIONS_EXIST."},
    };
    for (const auto& f : failures) {
        winsim::difx::SetResult(t.machine(), winsim::difx::Op::Preinstall, f.code);
        drv.Run(0, L"drv\\net.inf", 0);
        texts.push_back(std::wstring(L"CDriverSetupCtrl: failed with error code ") + f.line + L"\n");
    }
    return texts;
}

Texts OemInfs(LogTexts& t) {
    namespace ds = winsim::driverstore;
    const wchar_t* inf =
        L"[Version]\r\nClass=Net\r\nProvider=Acme\r\n[Manufacturer]\r\nAcme=M\r\n[M]\r\nW=I, PCI\\VEN_8086\r\n";
    const std::wstring folder = L"C:\\Windows\\inf\\";
    ds::AddOemInf(t.machine(), inf);  // oem0
    // Named as no OEM INF is: the system does not uninstall it.
    winsim::files::WriteBytes(t.machine(), folder + L"oemX.inf", ds::InfBytes(inf, false));
    winsim::files::CreateFolders(t.machine(), folder + L"oem9.inf");
    CInfCtrl oem;
    oem.RemoveAllOEMInf(L"PCI\\VEN_8086", NULL, NULL);
    return {L"CInfCtrl:RemoveAllOEMInf Remove Success " + folder + L"oem0.inf",
            L"CInfCtrl:RemoveOEMInf Error " + folder + L"oemX.inf",
            L"CInfCtrl:RemoveAllOEMInf Error did not file " + folder + L"oem9.inf"};
}

Texts DeviceObjects(LogTexts& t) {
    using namespace winsim::wireless;
    CModemCtrl modem;
    modem.IsExist();
    modem.InitHomolTime(MODEMCTRL_HOMOL_ACCESS);
    CWLANCtrl wlan;
    DWORD cap = 0;
    wlan.GetWlDevCapByReg(0, &cap);
    AddSoftModem(t.machine(), SoftModemSpec());  // the key without a stamp
    modem.IsExist();
    modem.InitHomolTime(MODEMCTRL_HOMOL_ACCESS);
    modem.InitHomolTime(KEY_READ);  // the stamp cannot be written with this mask
    WlanSpec w;
    w.capability = 0x24;
    AddWlanAdapter(t.machine(), w);
    wlan.GetWlDevCapByReg(0, &cap);
    WwanModemSpec m;
    Devices d = AddWwanModem(t.machine(), m);
    CWModemCtrl wwan;
    wwan.Open();
    wwan.EnableAllProperty(0);
    wwan.EnableAllProperty(1);
    wwan.SetWakeOnRing();
    const std::wstring params = winsim::DeviceTree(t.machine()).ParametersKey(d.instances[0]);
    return {L"ModemCtrl->IsExist->start",
            L"ModemCtrl->IsExist->End",
            L"ModemCtrl->IsExist->Found " + SoftModemSpec().hardware_id,
            L"ModemCtrl->InitHomolTime->start",
            L"ModemCtrl->InitHomolTime->Open registry fail",
            L"ModemCtrl->InitHomolTime->Get Homol Time Error",
            L"ModemCtrl->InitHomolTime->Set Homol Time Error",
            L"ERROR GetWlDevCapByReg->RegOpen",
            L"GetWlDevCapByReg->Found DevCap_SupportRL0=36",
            L"DisableAllProperty " + m.composite_id,
            L"EnableAllProperty " + m.composite_id,
            L"WriteWORReg TargetPath=" + params.substr(params.find(L'\\') + 1)};
}

Texts Services(LogTexts& t) {
    const std::wstring key = std::wstring(winsim::scm::kServicesKey) + L"\\Svc";
    t.reg().SetDword(key, L"Type", SERVICE_WIN32_SHARE_PROCESS);
    t.reg().SetDword(key, L"Start", SERVICE_AUTO_START);
    t.reg().SetExpandString(key, L"ImagePath", L"%SystemRoot%\\System32\\svchost.exe -k netsvcs");
    winsim::scm::Simulate(t.machine(), L"Svc", {0, 0}, SERVICE_STOPPED);
    CSvcCtrl svc;
    svc.WaitForRunning(L"Svc", 100, 100);
    DWORD state = 0;
    svc.GetSvcStatus(L"Missing", &state);
    svc.EnableSvc(L"Svc");
    svc.DisableSvc(L"Svc");
    svc.ChangeDescription(L"Svc", L"Text");
    // A handle held open keeps the deleted service, marked for deletion.
    SC_HANDLE hMgr = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE hSvc = OpenServiceW(hMgr, L"Svc", SERVICE_QUERY_STATUS);
    svc.DeleteSvc(L"Svc");
    svc.EnableSvc(L"Svc");
    svc.ChangeDescription(L"Svc", L"Text");
    svc.DeleteSvc(L"Svc");
    CloseServiceHandle(hSvc);
    CloseServiceHandle(hMgr);
    winsim::files::WriteBytes(t.machine(), L"C:\\Windows\\System32\\net.exe", "not a program");
    svc.RunNetCmd(SVCCTRL_NET_START, L"Svc", 1000);
    winsim::os::SetUserAdmin(t.machine(), t.process().user, false);
    svc.EnableSvc(L"Svc");
    return {L"IsStarted:Service is not started.ID Svc sleep=100 status=1. ",
            L"GetSvcStatus:OpenService() Error 1060",
            L"Service enabled successfully.\n",
            L"Service disabled successfully.\n",
            L"Service description updated successfully.\n",
            L"Service deleted successfully\n",
            L"ChangeServiceConfig failed (1072)\n",
            L"ChangeServiceConfig2 failed\n",
            L"DeleteService failed (1072)\n",
            L"CSvcCtrl::RunNetCmd()  CreateProcess() - Error! 193",
            L"OpenSCManager failed (5)\n"};
}

INSTANTIATE_TEST_SUITE_P(Library, LogTexts,
                         ::testing::Values(TextCase{"bindings", Bindings},
                                           TextCase{"backupAndRestore", BackupAndRestore},
                                           TextCase{"copyFailures", CopyFailures},
                                           TextCase{"driverPackages", DriverPackages}, TextCase{"oemInfs", OemInfs},
                                           TextCase{"deviceObjects", DeviceObjects}, TextCase{"services", Services}),
                         [](const ::testing::TestParamInfo<TextCase>& i) { return std::string(i.param.name); });

}  // namespace
