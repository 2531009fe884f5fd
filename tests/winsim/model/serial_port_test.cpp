// COM ports and the modem: exclusive opens, recorded line settings, reads under
// COMMTIMEOUTS on the machine clock, the modem's replies and a port that goes away.
#include <windows.h>

#include "devices_test_util.h"
#include "sim_fixture.h"
#include "winsim/serial.h"

#include <cstring>
#include <string>

namespace {

using winsim::ModemMode;
using winsim::SerialPorts;

constexpr const wchar_t* kCom5 = L"\\\\.\\COM5";

class SerialTest : public SimTest {
protected:
    SerialTest() : SimTest("tablet") {}
    SerialPorts ports() { return SerialPorts(machine()); }

    HANDLE OpenPort(DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) {
        return CreateFileW(kCom5, GENERIC_READ | GENERIC_WRITE, share, NULL, OPEN_EXISTING, 0, NULL);
    }

    static void SetTimeouts(HANDLE h, DWORD interval, DWORD mult, DWORD constant) {
        COMMTIMEOUTS t = {interval, mult, constant, 0, 3000};
        ASSERT_TRUE(SetCommTimeouts(h, &t));
    }

    static bool Write(HANDLE h, const std::string& s) {
        DWORD n = 0;
        return WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &n, NULL) && n == s.size();
    }

    static std::string Read(HANDLE h, DWORD n = 256) {
        std::string buf(n, '\0');
        DWORD got = 0;
        if (!ReadFile(h, &buf[0], n, &got, NULL)) return "<error>";
        buf.resize(got);
        return buf;
    }

    // Opens the port from a thread of another process; returns the Win32 error (0: opened,
    // and closed again).
    DWORD OpenFromOtherProcess(DWORD share) {
        winsim::ProcessOptions o;
        o.image = L"C:\\Program Files\\Other\\other.exe";
        auto p = machine().CreateProcess(o);
        DWORD result = 0xBAD;
        auto t = winsim::SpawnThread(machine(), p, [&]() -> DWORD {
            HANDLE h = CreateFileW(kCom5, GENERIC_READ | GENERIC_WRITE, share, NULL, OPEN_EXISTING, 0, NULL);
            result = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
            return 0;
        });
        winsim::WaitOn({t}, false, INFINITE);
        return result;
    }
};

TEST_F(SerialTest, OneOpenerAcrossTheMachineWhateverTheSharing) {
    HANDLE h = OpenPort();
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_TRUE(ports().IsOpen(L"COM5"));
    EXPECT_EQ(process().pid, ports().OpenerPid(L"COM5"));
    for (DWORD share : {0u, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)}) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenPort(share));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), OpenFromOtherProcess(share));
    }
    CloseHandle(h);
    EXPECT_FALSE(ports().IsOpen(L"COM5"));
    EXPECT_EQ(0u, OpenFromOtherProcess(0));

    // Held for another process, and the persisted hold.
    {
        auto hold = ports().HoldAsOtherProcess(L"COM5");
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenPort());
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_NE(0u, hold->pid());
    }
    h = OpenPort();
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    ports().set_held(L"COM5", true);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), OpenFromOtherProcess(0));
    ports().set_held(L"COM5", false);

    // Ports without a device.
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(L"\\\\.\\COM7", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(SerialTest, LineSettingsAreRecorded) {
    HANDLE h = OpenPort();
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DCB d;
    std::memset(&d, 0, sizeof d);
    ASSERT_TRUE(GetCommState(h, &d));
    EXPECT_EQ(sizeof(DCB), d.DCBlength);
    EXPECT_EQ(static_cast<DWORD>(CBR_9600), d.BaudRate);
    EXPECT_EQ(8, d.ByteSize);
    d.BaudRate = CBR_115200;
    d.fOutxCtsFlow = 1;
    d.fRtsControl = RTS_CONTROL_HANDSHAKE;
    d.XonLim = 4060;
    d.XoffLim = 2706;
    ASSERT_TRUE(SetCommState(h, &d));
    DCB rec = ports().dcb(L"COM5");
    EXPECT_EQ(static_cast<DWORD>(CBR_115200), rec.BaudRate);
    EXPECT_EQ(1u, rec.fOutxCtsFlow);
    EXPECT_EQ(static_cast<DWORD>(RTS_CONTROL_HANDSHAKE), rec.fRtsControl);
    EXPECT_EQ(4060, rec.XonLim);
    EXPECT_EQ(2706, rec.XoffLim);

    struct Bad {
        const char* what;
        void (*spoil)(DCB&);
    } bad[] = {{"baud 0", [](DCB& x) { x.BaudRate = 0; }},      {"byte size 9", [](DCB& x) { x.ByteSize = 9; }},
               {"byte size 4", [](DCB& x) { x.ByteSize = 4; }}, {"parity 5", [](DCB& x) { x.Parity = 5; }},
               {"stop bits 3", [](DCB& x) { x.StopBits = 3; }}, {"xon = xoff", [](DCB& x) { x.XonChar = x.XoffChar; }}};
    for (auto& b : bad) {
        DCB x = rec;
        b.spoil(x);
        EXPECT_FALSE(SetCommState(h, &x)) << b.what;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << b.what;
    }
    EXPECT_EQ(static_cast<DWORD>(CBR_115200), ports().dcb(L"COM5").BaudRate);  // unchanged

    COMMTIMEOUTS t = {0, 1, 100, 0, 3000}, back{};
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    ASSERT_TRUE(GetCommTimeouts(h, &back));
    EXPECT_EQ(0, std::memcmp(&t, &back, sizeof t));
    EXPECT_EQ(100u, ports().timeouts(L"COM5").ReadTotalTimeoutConstant);
    EXPECT_TRUE(PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR));
    EXPECT_FALSE(PurgeComm(h, 0x10));
    EXPECT_EQ(1u, ports().purge_count(L"COM5"));
    EXPECT_EQ(0x0Fu, ports().last_purge_flags(L"COM5"));
    CloseHandle(h);

    // A file is no port.
    HANDLE f = CreateFileW(L"C:\\x.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    EXPECT_FALSE(GetCommState(f, &d));
    CloseHandle(f);
}

struct ReadCase {
    const char* name;
    DWORD interval, mult, constant;  // COMMTIMEOUTS read values
    ModemMode mode;
    bool echo;
    std::string extra;  // the modem also sends this, extra_delay ms after the write
    DWORD extra_delay;
    DWORD elapsed;         // ms until ReadFile returns
    std::string expected;  // what it returns ("" checks only the size below)
    size_t size;
};

const std::string kCfunReply = "\r\n+CFUN: 1\r\n\r\nOK\r\n";
const std::string kEcho = "AT+CFUN?\r";

class SerialReadTest : public SerialTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(SerialReadTest, ReadFollowsTheTimeoutsOnTheMachineClock) {
    const ReadCase& c = GetParam();
    ports().set_mode(L"COM5", c.mode);
    ports().set_echo(L"COM5", c.echo);
    HANDLE h = OpenPort();
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    SetTimeouts(h, c.interval, c.mult, c.constant);
    ASSERT_TRUE(Write(h, "AT+CFUN?\r"));
    if (!c.extra.empty()) ports().Send(L"COM5", c.extra, c.extra_delay);
    DWORD t0 = GetTickCount();
    std::string got = Read(h);
    EXPECT_EQ(c.elapsed, GetTickCount() - t0);
    if (!c.expected.empty() || c.size == 0) {
        EXPECT_EQ(c.expected, got);
    }
    EXPECT_EQ(c.size, got.size());
    CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, SerialReadTest,
    ::testing::Values(
        // The AT exchange's settings: 100 + 1 x 256 ms, with everything that came.
        ReadCase{"TotalWithReply", 0, 1, 100, ModemMode::Normal, true, "", 0, 356, kEcho + kCfunReply,
                 kEcho.size() + kCfunReply.size()},
        ReadCase{"FullBufferEarly", 0, 1, 100, ModemMode::Normal, false, std::string(300, 'x'), 10, 10, "", 256},
        ReadCase{"SilentModem", 0, 1, 100, ModemMode::Silent, true, "", 0, 356, "", 0},
        ReadCase{"LateReplyGivesTheEcho", 0, 1, 100, ModemMode::Late, true, "", 0, 356, kEcho, kEcho.size()},
        ReadCase{"IntervalEndsBeforeTheReply", 20, 0, 0, ModemMode::Normal, true, "", 0, 20, kEcho, kEcho.size()},
        ReadCase{"ImmediateRead", MAXDWORD, 0, 0, ModemMode::Normal, true, "", 0, 0, kEcho, kEcho.size()},
        ReadCase{"FirstByteOrConstant", MAXDWORD, MAXDWORD, 1000, ModemMode::Normal, false, "", 0, 50, kCfunReply,
                 kCfunReply.size()},
        ReadCase{"NoTimeoutWaitsForTheCount", 0, 0, 0, ModemMode::Normal, false, std::string(256, 'y'), 700, 700, "",
                 256}),
    [](const auto& info) { return std::string(info.param.name); });

struct ModemCase {
    const char* name;
    bool echo;
    int cfun;
    ModemMode mode;
    std::string command;  // without CR
    std::string reply;    // all bytes read after 356 ms
    int cfun_after;
    bool echo_after;
};

class ModemTest : public SerialTest, public ::testing::WithParamInterface<ModemCase> {};

TEST_P(ModemTest, RepliesToTheCommandLine) {
    const ModemCase& c = GetParam();
    ports().set_echo(L"COM5", c.echo);
    ports().set_cfun(L"COM5", c.cfun);
    ports().set_mode(L"COM5", c.mode);
    ports().set_model(L"COM5", "Model 1");
    HANDLE h = OpenPort();
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    SetTimeouts(h, 0, 1, 100);
    ASSERT_TRUE(Write(h, c.command + "\r"));
    EXPECT_EQ(c.reply, Read(h));
    EXPECT_EQ(c.cfun_after, ports().cfun(L"COM5"));
    EXPECT_EQ(c.echo_after, ports().echo(L"COM5"));
    auto log = ports().log();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(c.command, log[0].line);
    CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ModemTest,
    ::testing::Values(
        ModemCase{"QueryEcho", true, 1, ModemMode::Normal, "AT+CFUN?", "AT+CFUN?\r" + kCfunReply, 1, true},
        ModemCase{"QueryNoEcho", false, 4, ModemMode::Normal, "AT+CFUN?", "\r\n+CFUN: 4\r\n\r\nOK\r\n", 4, false},
        ModemCase{"SetRadioOn", false, 4, ModemMode::Normal, "AT+CFUN=1", "\r\nOK\r\n", 1, false},
        ModemCase{"SetRadioOff", true, 1, ModemMode::Normal, "at+cfun=0", "at+cfun=0\r\r\nOK\r\n", 0, true},
        ModemCase{"BadState", false, 1, ModemMode::Normal, "AT+CFUN=7", "\r\nERROR\r\n", 1, false},
        ModemCase{"Identify", true, 1, ModemMode::Normal, "ATI", "ATI\r\r\nModel 1\r\n\r\nOK\r\n", 1, true},
        ModemCase{"Unknown", false, 1, ModemMode::Normal, "AT+COPS?", "\r\nERROR\r\n", 1, false},
        ModemCase{"EchoOff", true, 1, ModemMode::Normal, "ATE0", "ATE0\r\r\nOK\r\n", 1, false},
        ModemCase{"NotACommand", false, 1, ModemMode::Normal, "hello", "", 1, false},
        ModemCase{"Silent", true, 4, ModemMode::Silent, "AT+CFUN=1", "", 4, true},
        ModemCase{"Garbage", true, 4, ModemMode::Garbage, "AT+CFUN=1",
                  std::string("\xFE\x13~%\x80#q\x7F", 8) + std::string("\x00\x9C\r", 3), 4, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialTest, ReplyDelayCountsFromTheWrite) {
    ports().set_echo(L"COM5", false);
    ports().set_reply_delay(L"COM5", 400);
    HANDLE h = OpenPort();
    SetTimeouts(h, 0, 1, 100);
    ASSERT_TRUE(Write(h, "AT\r"));
    EXPECT_EQ("", Read(h));  // 356 ms: not yet
    Sleep(44);
    EXPECT_EQ("\r\nOK\r\n", Read(h, 6));
    // A purge drops what has arrived, not what is still coming.
    ASSERT_TRUE(Write(h, "AT\r"));
    Sleep(200);
    ASSERT_TRUE(Write(h, "AT+CFUN?\r"));
    Sleep(250);  // the first reply is in, the second comes at 400 ms after its write
    EXPECT_TRUE(PurgeComm(h, PURGE_RXCLEAR));
    EXPECT_EQ(kCfunReply, Read(h));
    CloseHandle(h);
}

TEST_F(SerialTest, UnpluggedModuleTakesThePortAway) {
    HANDLE h = OpenPort();
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    winsim::DeviceTree t(machine());
    DWORD module = t.Find(devtest::kModuleInstance);
    t.Unplug(module);
    DWORD n = 0;
    char buf[8];
    EXPECT_FALSE(WriteFile(h, "AT\r", 3, &n, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_COMMAND), GetLastError());
    EXPECT_FALSE(ReadFile(h, buf, 8, &n, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_COMMAND), GetLastError());
    DCB d;
    EXPECT_FALSE(GetCommState(h, &d));
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenPort());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    t.Plug(module);
    // The old handle stays dead; a new open finds the new device.
    EXPECT_FALSE(WriteFile(h, "AT\r", 3, &n, NULL));
    HANDLE h2 = OpenPort();
    EXPECT_NE(INVALID_HANDLE_VALUE, h2);
    EXPECT_TRUE(WriteFile(h2, "AT\r", 3, &n, NULL));
    CloseHandle(h);
    CloseHandle(h2);
}

TEST_F(SerialTest, InjectedOpenAndTransferFailures) {
    ports().set_open_error(L"COM5", ERROR_GEN_FAILURE);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenPort());
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
    ports().set_open_error(L"COM5", 0);
    HANDLE h = OpenPort();
    ports().set_write_error(L"COM5", ERROR_GEN_FAILURE);
    DWORD n = 5;
    EXPECT_FALSE(WriteFile(h, "AT\r", 3, &n, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
    EXPECT_EQ(0u, n);
    ports().set_write_error(L"COM5", 0);
    ports().set_read_error(L"COM5", ERROR_SEM_TIMEOUT);
    char buf[4];
    EXPECT_FALSE(ReadFile(h, buf, 4, &n, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SEM_TIMEOUT), GetLastError());
    CloseHandle(h);
}

}  // namespace
