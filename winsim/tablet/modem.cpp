// winsim: the AT-command modem behind each serial port.
#include "devices_internal.h"
#include "winsim/serial.h"

#include <algorithm>
#include <cctype>

namespace winsim {

namespace serial {

std::string Ns(const std::wstring& port) { return "serial." + Utf8(Upper(port)); }

namespace {

std::string UpperAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

void LogLine(Machine& m, const std::wstring& port, const std::string& line, const std::string& reply) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(), "INSERT INTO modem_log (time_ms, port, line, reply) VALUES (?, ?, ?, ?)");
    st.Bind(1, static_cast<int64_t>(m.NowMs())).Bind(2, Utf8(Upper(port))).Bind(3, line).Bind(4, reply).Run();
    s.KeepLast("modem_log", sqlite3_last_insert_rowid(s.db()));
}

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
// What a modem talking at the wrong speed sends: no line of it reads as an AT reply.
const std::string kGarbage = std::string("\xFE\x13~%\x80", 5) + "#q\x7F" + std::string("\x00\x9C", 2) + "\r";

// The reply to one command line, changing the modem's state.
std::string Answer(SerialPorts& sp, const std::wstring& port, const std::string& line) {
    std::string u = UpperAscii(Trim(line));
    if (u.rfind("AT", 0) != 0) return std::string();
    std::string cmd = u.substr(2);
    if (cmd.empty()) return kOk;
    if (cmd == "Z") {
        sp.set_echo(port, true);
        return kOk;
    }
    if (cmd == "E0" || cmd == "E") {
        sp.set_echo(port, false);
        return kOk;
    }
    if (cmd == "E1") {
        sp.set_echo(port, true);
        return kOk;
    }
    if (cmd == "I" || cmd == "I0") return "\r\n" + sp.model(port) + "\r\n" + kOk;
    if (cmd == "+CFUN?") return "\r\n+CFUN: " + std::to_string(sp.cfun(port)) + "\r\n" + kOk;
    if (cmd == "+CFUN=?") return "\r\n+CFUN: (0,1,4)\r\n" + kOk;
    if (cmd.rfind("+CFUN=", 0) == 0) {
        std::string arg = cmd.substr(6);
        size_t comma = arg.find(',');
        std::string state = arg.substr(0, comma);
        if (comma != std::string::npos) {
            std::string rst = arg.substr(comma + 1);
            if (rst != "0" && rst != "1") return kError;
        }
        if (state == "0" || state == "1" || state == "4") {
            sp.set_cfun(port, state[0] - '0');
            return kOk;
        }
        return kError;
    }
    return kError;
}

}  // namespace

std::vector<RxChunk> ModemInput(Machine& m, const std::wstring& port, std::string* line_buf, const std::string& bytes,
                                uint64_t now) {
    SerialPorts sp(m);
    std::vector<RxChunk> out;
    ModemMode mode = sp.mode(port);
    std::string echo;
    for (char c : bytes) {
        // The echo follows the echo setting at the time each byte comes in.
        if (mode == ModemMode::Normal || mode == ModemMode::Late) {
            if (sp.echo(port)) echo += c;
        }
        if (c == '\n') continue;
        if (c != '\r') {
            *line_buf += c;
            continue;
        }
        std::string line = *line_buf;
        line_buf->clear();
        if (!echo.empty()) {
            out.push_back(RxChunk{now, echo});
            echo.clear();
        }
        std::string reply;
        switch (mode) {
        case ModemMode::Silent: break;
        case ModemMode::Garbage:
            if (!Trim(line).empty()) reply = kGarbage;
            break;
        case ModemMode::Normal:
        case ModemMode::Late: reply = Answer(sp, port, line); break;
        }
        LogLine(m, port, line, reply);
        if (!reply.empty()) {
            DWORD delay = mode == ModemMode::Late ? sp.late_delay(port) : sp.reply_delay(port);
            out.push_back(RxChunk{now + delay, reply});
        }
    }
    if (!echo.empty()) out.push_back(RxChunk{now, echo});
    return out;
}

}  // namespace serial

using serial::Ns;

bool SerialPorts::echo(const std::wstring& port) { return m_.store().GetInt(Ns(port), "echo", 1) != 0; }
void SerialPorts::set_echo(const std::wstring& port, bool on) { m_.store().SetInt(Ns(port), "echo", on); }
int SerialPorts::cfun(const std::wstring& port) { return static_cast<int>(m_.store().GetInt(Ns(port), "cfun", 1)); }
void SerialPorts::set_cfun(const std::wstring& port, int state) { m_.store().SetInt(Ns(port), "cfun", state); }

ModemMode SerialPorts::mode(const std::wstring& port) {
    auto t = m_.store().GetText(Ns(port), "mode");
    auto v = t ? ModeFromName(*t) : std::nullopt;
    return v ? *v : ModemMode::Normal;
}
void SerialPorts::set_mode(const std::wstring& port, ModemMode mode) {
    m_.store().SetText(Ns(port), "mode", ModeName(mode));
}
DWORD SerialPorts::reply_delay(const std::wstring& port) {
    return static_cast<DWORD>(m_.store().GetInt(Ns(port), "reply_delay", 50));
}
void SerialPorts::set_reply_delay(const std::wstring& port, DWORD ms) {
    m_.store().SetInt(Ns(port), "reply_delay", ms);
}
DWORD SerialPorts::late_delay(const std::wstring& port) {
    return static_cast<DWORD>(m_.store().GetInt(Ns(port), "late_delay", 2000));
}
void SerialPorts::set_late_delay(const std::wstring& port, DWORD ms) { m_.store().SetInt(Ns(port), "late_delay", ms); }
std::string SerialPorts::model(const std::wstring& port) {
    auto t = m_.store().GetText(Ns(port), "model");
    return t ? *t : std::string("Quarven QM-3G Mobile Broadband Module");
}
void SerialPorts::set_model(const std::wstring& port, const std::string& line) {
    m_.store().SetText(Ns(port), "model", line);
}

std::vector<ModemCommand> SerialPorts::log() {
    Store& s = m_.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(), "SELECT time_ms, port, line, reply FROM modem_log ORDER BY seq");
    std::vector<ModemCommand> v;
    while (st.Step()) {
        ModemCommand c;
        c.time_ms = static_cast<uint64_t>(st.Int(0));
        c.port = Wide(st.Text(1));
        c.line = st.Text(2);
        c.reply = st.Text(3);
        v.push_back(std::move(c));
    }
    return v;
}

void SerialPorts::clear_log() { m_.store().ClearLog("modem_log"); }

const char* SerialPorts::ModeName(ModemMode m) {
    switch (m) {
    case ModemMode::Normal: return "normal";
    case ModemMode::Silent: return "silent";
    case ModemMode::Late: return "late";
    case ModemMode::Garbage: return "garbage";
    }
    return "normal";
}

std::optional<ModemMode> SerialPorts::ModeFromName(const std::string& s) {
    for (ModemMode m : {ModemMode::Normal, ModemMode::Silent, ModemMode::Late, ModemMode::Garbage})
        if (s == ModeName(m)) return m;
    return std::nullopt;
}

}  // namespace winsim
