// The serial port and AT exchange: port lookup by hardware ID, the port's set-up, the
// result text of the modem's replies and a port held by another process.
#include <windows.h>

#include "ComCtrl.h"
#include "DbgMac.h"
#include "sim_fixture.h"
#include "winsim/devices.h"
#include "winsim/registry.h"
#include "winsim/serial.h"

#include <string>

namespace {

using winsim::ModemMode;
using winsim::SerialPorts;

constexpr const wchar_t* kAtPortId = L"USB\\VID_1A2B&PID_3C4D&MI_03";
constexpr const wchar_t* kPortInstance = L"USB\\VID_1A2B&PID_3C4D&MI_03\\7&2B3C4D5E&0&0003";
const std::wstring kParams =
    std::wstring(L"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\") + kPortInstance + L"\\Device Parameters";

class ComCtrlTest : public SimTest {
protected:
    ComCtrlTest() : SimTest("tablet") {}
    ~ComCtrlTest() override {
        delete g_pDebugCtrl;
        g_pDebugCtrl = nullptr;
    }
    SerialPorts ports() { return SerialPorts(machine()); }
    winsim::DeviceTree tree() { return winsim::DeviceTree(machine()); }

    // The setup program's debug-log object, logging to the debugger.
    void EnableLog() {
        winsim::Registry r(machine());
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugMode", 1);
        r.SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugLevel", 1);
        g_pDebugCtrl = new CDebugCtrl();
        machine().ClearDebugOutput();
        process().debug_output.clear();
    }
    std::vector<std::wstring> Logged() {
        std::vector<std::wstring> v;
        for (auto& l : DebugLines()) {
            if (l.find(L"Debug mode is enabled") != std::wstring::npos || l.find(L"Debug level") != std::wstring::npos)
                continue;
            v.push_back(l.size() && l[0] == L':' ? l.substr(1) : l);
        }
        return v;
    }

    DWORD AddDevice(const std::wstring& instance, std::optional<std::vector<std::wstring>> ids, const wchar_t* port) {
        winsim::DeviceSpec s;
        s.instance_id = instance;
        s.class_name = L"Ports";
        s.class_guid = winsim::devclass::kPorts;
        s.hardware_ids = std::move(ids);
        if (port) s.parameters = {{L"PortName", port}};
        return tree().Add(s);
    }
};

struct LookupCase {
    const char* name;
    const wchar_t* id;
    bool found;
    const wchar_t* instance;
};

class LookupTest : public ComCtrlTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(LookupTest, WholeIdWithoutRegardToCase) {
    const LookupCase& c = GetParam();
    // Before the tablet's port in no order that matters: a device without IDs, one that is
    // not present, and one whose ID only begins like the port's.
    AddDevice(L"ROOT\\NOIDS\\0000", std::nullopt, nullptr);
    DWORD gone = AddDevice(L"ROOT\\GONE\\0000", std::vector<std::wstring>{L"ROOT\\GONE"}, L"COM9");
    tree().Unplug(gone);
    AddDevice(L"ROOT\\LONGER\\0000", std::vector<std::wstring>{std::wstring(kAtPortId) + L"&COL01"}, L"COM8");
    WCHAR inst[COMCTRL_INSTANCE_CCH] = L"x";
    EXPECT_EQ(c.found ? TRUE : FALSE, ComCtrl::GetDeviceParamReg(c.id, inst, COMCTRL_INSTANCE_CCH));
    EXPECT_STREQ(c.instance, inst);
}

INSTANTIATE_TEST_SUITE_P(
    Ids, LookupTest,
    ::testing::Values(LookupCase{"Exact", kAtPortId, true, kPortInstance},
                      LookupCase{"OtherCase", L"usb\\vid_1a2b&pid_3c4d&mi_03", true, kPortInstance},
                      LookupCase{"SecondEntry", L"USB\\VID_1A2B&PID_3C4D&REV_0002&MI_03", true, kPortInstance},
                      LookupCase{"OnlyAPrefix", L"USB\\VID_1A2B&PID_3C4D&MI_0", false, L""},
                      LookupCase{"LongerEntryOnly", L"ROOT\\LONGER", false, L""},
                      LookupCase{"NotPresent", L"ROOT\\GONE", false, L""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComCtrlTest, PortNameReads) {
    WCHAR port[COMCTRL_PORTNAME_CCH];
    EXPECT_TRUE(ComCtrl::GetPortName(kAtPortId, port));
    EXPECT_STREQ(L"COM5", port);

    winsim::Registry r(machine());
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        DWORD type;
        BOOL ok;
        std::wstring value;
    };
    auto utf16 = [](const std::wstring& s) { return winsim::Registry::Utf16Bytes(s); };
    std::wstring full(COMCTRL_PORTNAME_CCH, L'C');
    std::vector<Case> cases = {
        {"no terminator, short", utf16(L"COM6"), REG_SZ, TRUE, L"COM6"},
        {"fills the buffer without terminator", utf16(full), REG_SZ, FALSE, L""},
        {"fits with its terminator", utf16(full.substr(1) + std::wstring(1, L'\0')), REG_SZ, TRUE, full.substr(1)},
        {"longer than the buffer", utf16(full + L"C"), REG_SZ, FALSE, L""},
        {"a DWORD", {5, 0, 0, 0}, REG_DWORD, FALSE, L""},
    };
    for (auto& c : cases) {
        r.SetValue(kParams, L"PortName", c.type, c.bytes);
        WCHAR out[COMCTRL_PORTNAME_CCH];
        EXPECT_EQ(c.ok, ComCtrl::GetPortName(kAtPortId, out)) << c.what;
        EXPECT_EQ(c.value, out) << c.what;
    }
}

TEST_F(ComCtrlTest, MissingDeviceParametersMeansNoPortAndNotInUse) {
    winsim::Registry(machine()).DeleteKey(kParams);
    WCHAR port[COMCTRL_PORTNAME_CCH];
    EXPECT_FALSE(ComCtrl::GetPortName(kAtPortId, port));
    CComCtrl com;
    EXPECT_FALSE(com.Open(kAtPortId));
    EXPECT_FALSE(com.IsUsingCom(kAtPortId));
    WCHAR result[16];
    EXPECT_FALSE(com.GetAtCommand(L"AT", result, sizeof result, 0));
}

TEST_F(ComCtrlTest, OpenSetsThePortUp) {
    CComCtrl com;
    DWORD t0 = GetTickCount();
    ASSERT_TRUE(com.Open(kAtPortId));
    EXPECT_EQ(1000u, GetTickCount() - t0);
    EXPECT_EQ(1u, ports().purge_count(L"COM5"));
    EXPECT_EQ(0x0Fu, ports().last_purge_flags(L"COM5"));
    COMMTIMEOUTS t = ports().timeouts(L"COM5");
    EXPECT_EQ(0u, t.ReadIntervalTimeout);
    EXPECT_EQ(1u, t.ReadTotalTimeoutMultiplier);
    EXPECT_EQ(100u, t.ReadTotalTimeoutConstant);
    EXPECT_EQ(0u, t.WriteTotalTimeoutMultiplier);
    EXPECT_EQ(3000u, t.WriteTotalTimeoutConstant);
    DCB d = ports().dcb(L"COM5");
    EXPECT_EQ(static_cast<DWORD>(CBR_115200), d.BaudRate);
    EXPECT_EQ(8, d.ByteSize);
    EXPECT_EQ(NOPARITY, d.Parity);
    EXPECT_EQ(ONESTOPBIT, d.StopBits);
    EXPECT_EQ(1u, d.fOutxCtsFlow);
    EXPECT_EQ(static_cast<DWORD>(RTS_CONTROL_HANDSHAKE), d.fRtsControl);
    EXPECT_EQ(static_cast<DWORD>(DTR_CONTROL_ENABLE), d.fDtrControl);
    EXPECT_EQ(0u, d.fTXContinueOnXoff);
    EXPECT_EQ(0u, d.fAbortOnError);
    EXPECT_EQ(4060, d.XonLim);
    EXPECT_EQ(2706, d.XoffLim);
    // The rest as the port had it.
    EXPECT_EQ(1u, d.fBinary);
    EXPECT_EQ(0x11, d.XonChar);
    EXPECT_EQ(0x13, d.XoffChar);
    EXPECT_TRUE(ports().IsOpen(L"COM5"));
    // Opening again closes the port held first instead of failing on it.
    EXPECT_TRUE(com.Open(kAtPortId));
    EXPECT_TRUE(com.Close());
    EXPECT_FALSE(ports().IsOpen(L"COM5"));
}

struct ReplyCase {
    const char* name;
    const wchar_t* command;
    std::string reply;  // what the port receives after the write
    std::wstring result;
};

class ReplyTest : public ComCtrlTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyTest, ResultTextOfTheReply) {
    const ReplyCase& c = GetParam();
    ports().set_mode(L"COM5", ModemMode::Silent);  // the test speaks for the modem
    CComCtrl com;
    ASSERT_TRUE(com.Open(kAtPortId));
    ports().Send(L"COM5", c.reply, 10);
    WCHAR result[64];
    EXPECT_TRUE(com.GetAtCommand(c.command, result, sizeof result, 300));
    EXPECT_EQ(c.result, result);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    ::testing::Values(ReplyCase{"StatusWithEcho", L"AT+CFUN?", "AT+CFUN?\r\r\n+CFUN: 1\r\n\r\nOK\r\n", L"1"},
                      ReplyCase{"NoEcho", L"AT+CFUN=1", "\r\nOK\r\n", L"OK"},
                      ReplyCase{"Identify", L"ATI", "ATI\r\r\nModel 1\r\nOK", L"Model 1OK"},
                      ReplyCase{"Empty", L"AT+CFUN?", "", L""},
                      ReplyCase{"Garbage", L"AT+CFUN?", "#$\x7F%&", L"#$\x7F%&"},
                      // Short and odd replies never read beyond what came.
                      ReplyCase{"StatusMissing", L"AT+CFUN?", "AT+CFUN?\r+CFUN:", L""},
                      ReplyCase{"StatusAfterBlanks", L"AT+CFUN?", "AT+CFUN?\r\r\n+CFUN:   4\r\n", L"4"},
                      ReplyCase{"StatusBeforeTheEcho", L"AT+CFUN?", "+CFUN: 0\r\nAT+CFUN?\r\n", L"0"},
                      ReplyCase{"EchoInTheMiddle", L"AT+CFUN=1", "x\r\nAT+CFUN=1\r\r\nOK\r\n", L"xOK"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComCtrlTest, LongRepliesAreCutToTheBuffers) {
    ports().set_mode(L"COM5", ModemMode::Silent);
    CComCtrl com;
    ASSERT_TRUE(com.Open(kAtPortId));
    ports().Send(L"COM5", std::string(300, 'z'), 10);
    WCHAR result[8];
    for (auto& ch : result) ch = L'#';
    EXPECT_TRUE(com.GetAtCommand(L"AT", result, sizeof result, 300));
    EXPECT_EQ(std::wstring(7, L'z'), result);
    // The read took 256 bytes; the other 44 wait for the next read.
    WCHAR rest[64];
    EXPECT_TRUE(com.GetAtCommand(L"AT", rest, sizeof rest, 0));
    EXPECT_EQ(std::wstring(44, L'z'), rest);
}

TEST_F(ComCtrlTest, ExchangeWithTheModemEndToEnd) {
    ports().set_cfun(L"COM5", 4);
    CComCtrl com;
    ASSERT_TRUE(com.Open(kAtPortId));
    WCHAR result[64];
    ASSERT_TRUE(com.GetAtCommand(L"AT+CFUN?", result, sizeof result, 300));
    EXPECT_STREQ(L"4", result);
    ASSERT_TRUE(com.GetAtCommand(L"AT+CFUN=1", result, sizeof result, 300));
    EXPECT_STREQ(L"OK", result);
    ASSERT_TRUE(com.GetAtCommand(L"AT+CFUN?", result, sizeof result, 300));
    EXPECT_STREQ(L"1", result);
    EXPECT_EQ(1, ports().cfun(L"COM5"));
    auto log = ports().log();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("AT+CFUN=1", log[1].line);
}

TEST_F(ComCtrlTest, WriteFailurePurgesAndKeepsThePortOpen) {
    CComCtrl com;
    ASSERT_TRUE(com.Open(kAtPortId));
    ports().set_write_error(L"COM5", ERROR_GEN_FAILURE);
    WCHAR result[16] = L"old";
    EXPECT_FALSE(com.GetAtCommand(L"AT", result, sizeof result, 0));
    EXPECT_STREQ(L"", result);
    EXPECT_EQ(2u, ports().purge_count(L"COM5"));
    ports().set_write_error(L"COM5", 0);
    EXPECT_TRUE(com.GetAtCommand(L"AT", result, sizeof result, 100));
    EXPECT_STREQ(L"OK", result);
}

TEST_F(ComCtrlTest, PortThatCannotBeOpenedIsInUse) {
    CComCtrl com;
    EXPECT_FALSE(com.IsUsingCom(kAtPortId));
    EXPECT_FALSE(ports().IsOpen(L"COM5"));  // the trial handle was closed
    {
        auto hold = ports().HoldAsOtherProcess(L"COM5");
        EXPECT_TRUE(com.IsUsingCom(kAtPortId));
        EXPECT_FALSE(com.Open(kAtPortId));
    }
    // The port's device is present, its port fails to open: in use too.
    ports().set_open_error(L"COM5", ERROR_GEN_FAILURE);
    EXPECT_TRUE(com.IsUsingCom(kAtPortId));
    ports().set_open_error(L"COM5", 0);
    // A port whose device is not found is not in use.
    tree().Unplug(tree().Find(kPortInstance));
    EXPECT_FALSE(com.IsUsingCom(kAtPortId));
    EXPECT_FALSE(com.IsUsingCom(L"USB\\VID_FFFF&PID_FFFF"));
}

TEST_F(ComCtrlTest, SetupBuildLogsEveryStep) {
    EnableLog();
    CComCtrl com;
    ASSERT_TRUE(com.Open(kAtPortId));
    auto log = Logged();
    ASSERT_EQ(5u, log.size());
    EXPECT_EQ(std::wstring(L"ComCtrl::GetDeviceParamReg():Found! = ") + kAtPortId + L"\n\n", log[0]);
    EXPECT_EQ(std::wstring(L"ComCtrl::GetDeviceParamReg():Got Device Param Registry Key! = ") + kPortInstance + L"\n\n",
              log[1]);
    EXPECT_EQ(std::wstring(L"ComCtrl::GetPortName():sKey = SYSTEM\\CurrentControlSet\\Enum\\") + kPortInstance +
                  L"\\Device Parameters\n\n",
              log[2]);
    EXPECT_EQ(L"ComCtrl::GetPortName(): Get portname = COM5\n\n", log[3]);
    EXPECT_EQ(0u, log[4].find(L"Open() COM port open completed(\\\\.\\COM5) : hComm = 0x")) << log[4];

    process().debug_output.clear();
    WCHAR result[16];
    ASSERT_TRUE(com.GetAtCommand(L"ATE0", result, sizeof result, 100));
    log = Logged();
    ASSERT_EQ(4u, log.size());
    EXPECT_EQ(L"GetAtCommand() Write completed szInput : [ATE0\r]\n\n", log[0]);
    EXPECT_EQ(L"GetAtCommand() ReadFile completed szOutput : [ATE0\r\r\nOK\r\n]\n\n", log[1]);
    EXPECT_EQ(L"GetAtCommand() Delete Command(ATE0) from Result(ATE0OK) \n\n", log[2]);
    EXPECT_EQ(L"GetAtCommand() Result Code Complete pszResult : [OK]\n\n", log[3]);

    process().debug_output.clear();
    WCHAR port[COMCTRL_PORTNAME_CCH];
    EXPECT_FALSE(ComCtrl::GetPortName(L"NONE", port));
    log = Logged();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(L"ComCtrl::GetDeviceParamReg():Donot find. = NONE\n\n", log[0]);
    EXPECT_EQ(L"ComCtrl::GetPortName():Failed get device param regisry! = NONE\n\n", log[1]);

    com.Close();
    auto hold = ports().HoldAsOtherProcess(L"COM5");
    process().debug_output.clear();
    EXPECT_TRUE(com.IsUsingCom(kAtPortId));
    log = Logged();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(L"IsUsingCom() COM port is unavailable by other process(\\\\.\\COM5) : hComm = 0xFFFFFFFF\n\n",
              log.back());
}

TEST_F(ComCtrlTest, WithoutTheDebugObjectNothingIsLogged) {
    // The setup program's settings say log, but the service and the GUI have no object.
    winsim::Registry(machine()).SetDword(L"HKLM\\SOFTWARE\\Quarven\\OrvashTool", L"DebugMode", 1);
    CComCtrl com;
    ASSERT_TRUE(com.Open(kAtPortId));
    WCHAR result[16];
    EXPECT_TRUE(com.GetAtCommand(L"AT", result, sizeof result, 100));
    EXPECT_FALSE(com.IsUsingCom(L"NONE"));
    EXPECT_TRUE(DebugLines().empty());
}

}  // namespace
