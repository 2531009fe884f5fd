// winsim tool: "port" and "modem" - the COM ports and the modem behind each.
//
// A tool invocation is a process that ends at once, so "port hold" sets the port's
// persisted hold flag: every open then fails with ERROR_ACCESS_DENIED (and the port's
// device refuses removal) until "port release".
#include "tool.h"

#include "winsim/devices.h"
#include "winsim/serial.h"

#include <cstdio>

namespace winsim::tool {
namespace {

const char* kPortUsage = "port list | port show|hold|release COMn";
const char* kModemHelp =
    "modem show COMn | modem log [--clear | --limit N] | modem set COMn echo on|off | modem set COMn cfun 0|1|4 |\n"
    "  modem set COMn mode normal|silent|late|garbage | modem set COMn delay|late-delay MS |\n"
    "  modem set COMn model TEXT | modem set COMn write-error|read-error N";

extern const Command kPort;
extern const Command kModem;

std::wstring PortArg(const std::string& s) { return Upper(Wide(s)); }

int RunPort(Context& ctx, const Args& a) {
    if (a.empty()) return BadArgs(kPort, "missing subcommand");
    Machine& m = ctx.machine();
    SerialPorts sp(m);
    DeviceTree t(m);
    if (a[0] == "list" && a.size() == 1) {
        for (auto& n : t.List()) {
            std::wstring port = t.PortName(n.devinst);
            if (port.empty()) continue;
            std::printf("%-6s %s  %s%s\n", Utf8(port).c_str(), Utf8(n.instance_id).c_str(),
                        n.present ? "present" : "not present", sp.held(port) ? ", held" : "");
        }
        return 0;
    }
    if (a.size() != 2) return BadArgs(kPort, "bad arguments");
    std::wstring port = PortArg(a[1]);
    if (a[0] == "show") {
        DCB d = sp.dcb(port);
        COMMTIMEOUTS to = sp.timeouts(port);
        std::printf("device     %s\n", t.FindPort(port) ? "present" : "absent");
        std::printf("held       %s\n", sp.held(port) ? "yes" : "no");
        std::printf("line       %u baud, %u data bits, parity %u, stop bits %u\n", d.BaudRate, d.ByteSize, d.Parity,
                    d.StopBits);
        std::printf("flow       CTS %u, RTS control %u, DTR control %u, XonLim %u, XoffLim %u\n", d.fOutxCtsFlow,
                    d.fRtsControl, d.fDtrControl, d.XonLim, d.XoffLim);
        std::printf("timeouts   interval %u, read %u x n + %u, write %u x n + %u\n", to.ReadIntervalTimeout,
                    to.ReadTotalTimeoutMultiplier, to.ReadTotalTimeoutConstant, to.WriteTotalTimeoutMultiplier,
                    to.WriteTotalTimeoutConstant);
        std::printf("purges     %u (last flags 0x%X)\n", sp.purge_count(port), sp.last_purge_flags(port));
        return 0;
    }
    if (a[0] == "hold" || a[0] == "release") {
        sp.set_held(port, a[0] == "hold");
        std::printf("%s %s\n", Utf8(port).c_str(), a[0] == "hold" ? "held" : "released");
        return 0;
    }
    return BadArgs(kPort, "bad arguments");
}

void ShowModem(SerialPorts& sp, const std::wstring& port) {
    std::printf("echo        %s\n", sp.echo(port) ? "on" : "off");
    std::printf("cfun        %d\n", sp.cfun(port));
    std::printf("mode        %s\n", SerialPorts::ModeName(sp.mode(port)));
    std::printf("delay       %u ms (late mode %u ms)\n", sp.reply_delay(port), sp.late_delay(port));
    std::printf("model       %s\n", sp.model(port).c_str());
    if (sp.write_error(port)) std::printf("write error %u\n", sp.write_error(port));
    if (sp.read_error(port)) std::printf("read error  %u\n", sp.read_error(port));
}

std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int RunModem(Context& ctx, const Args& a) {
    if (a.empty()) return BadArgs(kModem, "missing subcommand");
    if (a[0] == "help") {
        std::printf("usage: winsim %s\n", kModemHelp);
        return 0;
    }
    SerialPorts sp(ctx.machine());
    if (a[0] == "log") {
        if (int rc = LogOptions(ctx, kModem, a, "modem_log"); rc >= 0) return rc;
        for (auto& c : sp.log())
            std::printf("%10llu ms  %-6s %-20s -> %s\n", static_cast<unsigned long long>(c.time_ms),
                        Utf8(c.port).c_str(), c.line.c_str(),
                        c.reply.empty() ? "(no reply)" : Printable(c.reply).c_str());
        PrintDropped(ctx, "modem_log");
        return 0;
    }
    if (a[0] == "show" && a.size() == 2) {
        ShowModem(sp, PortArg(a[1]));
        return 0;
    }
    if (a[0] == "set" && a.size() >= 4) {
        std::wstring port = PortArg(a[1]);
        const std::string& k = a[2];
        const std::string& v = a[3];
        uint64_t n = 0;
        bool num = ParseNumber(v, &n) && n <= 0xFFFFFFFFull;
        if (k == "echo" && (v == "on" || v == "off")) {
            sp.set_echo(port, v == "on");
        } else if (k == "cfun" && (v == "0" || v == "1" || v == "4")) {
            sp.set_cfun(port, v[0] - '0');
        } else if (k == "mode" && SerialPorts::ModeFromName(v)) {
            sp.set_mode(port, *SerialPorts::ModeFromName(v));
        } else if (k == "delay" && num) {
            sp.set_reply_delay(port, static_cast<DWORD>(n));
        } else if (k == "late-delay" && num) {
            sp.set_late_delay(port, static_cast<DWORD>(n));
        } else if (k == "write-error" && num) {
            sp.set_write_error(port, static_cast<DWORD>(n));
        } else if (k == "read-error" && num) {
            sp.set_read_error(port, static_cast<DWORD>(n));
        } else if (k == "model") {
            std::string text = v;
            for (size_t i = 4; i < a.size(); ++i) text += " " + a[i];
            sp.set_model(port, text);
        } else {
            return BadArgs(kModem, "bad setting");
        }
        ShowModem(sp, port);
        return 0;
    }
    return BadArgs(kModem, "bad arguments");
}

const Command kPort{"port", kPortUsage, "the COM ports: list, line settings, hold for another process", RunPort};
const Command kModem{"modem", "modem show|log|set ... (modem help)",
                     "the modem behind a COM port: echo, AT+CFUN state, modes, log", RunModem};
Registrar r1(kPort);
Registrar r2(kModem);

}  // namespace
}  // namespace winsim::tool
