// winsim tool: the host - runs the system's programs together in one machine and drives it
// with a script of commands (services, power, sessions, programs, waits), printing what the
// programs log, what the HCI driver receives and the registry changes they make.
#include "tool.h"

#include "registry_model.h"

#include <windows.h>

#include "winsim/display.h"
#include "winsim/hci.h"
#include "winsim/mbn.h"
#include "winsim/power.h"
#include "winsim/program.h"
#include "winsim/registry.h"
#include "winsim/scm.h"
#include "winsim/user.h"
#include "winsim/vundg.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>

namespace winsim::tool {

// The programs linked into the host (host_programs.cpp).
void RegisterHostPrograms(Machine& m);

namespace {

extern const Command kHost;

const char* kHostHelp =
    "winsim host [--virtual | --speed X] [--quiet] [--watch KEY]... [COMMAND [; COMMAND]...]\n"
    "Runs the commands in order (from the arguments: words separated by ';', or one whole\n"
    "command an argument; else one a line from\n"
    "standard input; '#' starts a comment) while the machine's programs run. The clock runs\n"
    "in real time (scaled by --speed) or, with --virtual, on the virtual clock.\n"
    "After each command the host prints the programs' debug output, the requests that reached\n"
    "the HCI driver and the registry changes below the watched keys (HKLM\\SOFTWARE\\Quarven and\n"
    "the services' keys, and every --watch KEY). At the end it stops the services still running.\n\n"
    "commands:\n"
    "  run PROGRAM [ARGS...]            start a program file of the machine and wait for its end\n"
    "  start [--session N] PROGRAM [ARGS...]   start a program file of the machine and go on\n"
    "  display rotate 0|1|2|3           turn the display (DMDO_DEFAULT ... DMDO_270)\n"
    "  service install NAME IMAGEPATH [auto|demand|disabled]\n"
    "  service start NAME [ARGS...] | stop NAME | control NAME CODE | query [NAME] | delete NAME\n"
    "  power suspend | resume [--no-user] [--critical] | failquery\n"
    "  session logon|logoff|lock|unlock|connect|disconnect [ID]   (default 1)\n"
    "  wait MS                          let the machine run for MS milliseconds\n"
    "  hci                              the driver's RF, power and switch state\n"
    "  hci set status N                 the driver's status word (bit 0: the switch)\n"
    "  radio on|off|up                  the module's hardware radio; up: the module came up\n"
    "  echo TEXT...                     print a line\n";

std::string StateName(DWORD s) {
    switch (s) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
    case SERVICE_PAUSED: return "PAUSED";
    default: return std::to_string(s);
    }
}

std::string Hex(DWORD v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}

std::string ValueText(const RegNamedValue& v) {
    switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::wstring s = Registry::FromBytes(v.data);
        while (!s.empty() && s.back() == L'\0') s.pop_back();
        return "\"" + Utf8(s) + "\"";
    }
    case REG_DWORD:
        if (v.data.size() == 4) {
            DWORD d = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<DWORD>(v.data[3]) << 24;
            return std::to_string(d) + " (" + Hex(d) + ")";
        }
        break;
    default: break;
    }
    return Utf8(Registry::TypeName(v.type)) + ", " + std::to_string(v.data.size()) + " bytes";
}

std::string ControlName(DWORD control, DWORD event_type) {
    static const std::map<DWORD, const char*> kPower = {{PBT_APMQUERYSUSPEND, "PBT_APMQUERYSUSPEND"},
                                                        {PBT_APMQUERYSUSPENDFAILED, "PBT_APMQUERYSUSPENDFAILED"},
                                                        {PBT_APMSUSPEND, "PBT_APMSUSPEND"},
                                                        {PBT_APMRESUMECRITICAL, "PBT_APMRESUMECRITICAL"},
                                                        {PBT_APMRESUMESUSPEND, "PBT_APMRESUMESUSPEND"},
                                                        {PBT_APMRESUMEAUTOMATIC, "PBT_APMRESUMEAUTOMATIC"}};
    static const std::map<DWORD, const char*> kSession = {
        {WTS_CONSOLE_CONNECT, "WTS_CONSOLE_CONNECT"}, {WTS_CONSOLE_DISCONNECT, "WTS_CONSOLE_DISCONNECT"},
        {WTS_SESSION_LOGON, "WTS_SESSION_LOGON"},     {WTS_SESSION_LOGOFF, "WTS_SESSION_LOGOFF"},
        {WTS_SESSION_LOCK, "WTS_SESSION_LOCK"},       {WTS_SESSION_UNLOCK, "WTS_SESSION_UNLOCK"}};
    auto name = [&](const std::map<DWORD, const char*>& t) {
        auto it = t.find(event_type);
        return it == t.end() ? std::to_string(event_type) : std::string(it->second);
    };
    switch (control) {
    case SERVICE_CONTROL_STOP: return "SERVICE_CONTROL_STOP";
    case SERVICE_CONTROL_INTERROGATE: return "SERVICE_CONTROL_INTERROGATE";
    case SERVICE_CONTROL_POWEREVENT: return "SERVICE_CONTROL_POWEREVENT " + name(kPower);
    case SERVICE_CONTROL_SESSIONCHANGE: return "SERVICE_CONTROL_SESSIONCHANGE " + name(kSession);
    default: return "control " + std::to_string(control);
    }
}

// Registry values by key path and value name.
using Snapshot = std::map<std::pair<std::wstring, std::wstring>, RegNamedValue>;

void CollectValues(Registry& reg, const std::wstring& key, Snapshot& out) {
    for (auto& v : reg.ListValues(key)) out[{key, v.name.empty() ? L"(default)" : v.name}] = v;
}

void Collect(Registry& reg, const std::wstring& key, Snapshot& out) {
    CollectValues(reg, key, out);
    for (auto& k : reg.ListKeys(key)) Collect(reg, key + L"\\" + k, out);
}

bool Below(const std::wstring& path, const std::wstring& top) {
    return path.size() > top.size() && path.compare(0, top.size(), top) == 0 && path[top.size()] == L'\\';
}

// The entries of the snapshot in a part of the registry: the key's values, or (tree) its
// whole subtree.
Snapshot Part(const Snapshot& s, const std::wstring& key, bool tree) {
    Snapshot out;
    for (auto it = s.lower_bound({key, L""}); it != s.end(); ++it) {
        const std::wstring& k = it->first.first;
        if (k == key || (tree && Below(k, key)))
            out.insert(*it);
        else if (k.compare(0, key.size(), key) != 0)
            break;
    }
    return out;
}

class Host {
public:
    Host(Machine& m, bool quiet) : m_(m), quiet_(quiet) {}

    void Watch(const std::wstring& key) { watched_.push_back(key); }

    void Begin() {
        m_.debug_sink = [](const DebugLine& l) {
            std::string t = Utf8(l.text);
            while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
            if (t.empty()) return;
            std::printf("  [debug %u] %s\n", l.pid, t.c_str());
            std::fflush(stdout);
        };
        auto hci = HciDriver(m_).log();
        hci_seen_ = hci.empty() ? 0 : hci.back().seq;
        auto vundg = VundgDriver(m_).log();
        vundg_seen_ = vundg.empty() ? 0 : vundg.back().seq;
        controls_seen_ = scm::Controls(m_).size();
        reg_seen_ = reg::Model(m_).ChangeCount();
        snapshot_ = Snap();
    }

    // Prints what happened since the last report.
    void Report() {
        for (auto& c : scm::ControlsFrom(m_, controls_seen_)) {
            std::printf("  [svc] %s handled %s -> %u\n", Utf8(c.service).c_str(),
                        ControlName(c.control, c.event_type).c_str(), c.result);
            ++controls_seen_;
        }
        for (auto& r : HciDriver(m_).log_since(hci_seen_)) {
            hci_seen_ = r.seq;
            std::printf("  [hci] pid %u %s reg %s sel %s value %s -> %s%s\n", r.pid,
                        r.in[0] == 0xFF00   ? "write"
                        : r.in[0] == 0xFE00 ? "read"
                                            : Hex(r.in[0]).c_str(),
                        Hex(r.in[1]).c_str(), Hex(r.in[3]).c_str(), Hex(r.in[0] == 0xFE00 ? r.out[2] : r.in[2]).c_str(),
                        Hex(r.out[0]).c_str(), r.completed ? "" : " (refused)");
        }
        ReportDriverEvents();
        ReportWindows();
        ReportRegistry();
        std::fflush(stdout);
    }

    // Runs one command; false on a failure (the script goes on).
    bool Run(const std::vector<std::string>& a) {
        if (a.empty()) return true;
        if (!quiet_) {
            std::string line;
            for (auto& s : a) line += (line.empty() ? "" : " ") + s;
            std::printf("> %s\n", line.c_str());
        }
        bool ok = Dispatch(a);
        Report();
        return ok;
    }

    void StopServices() {
        for (auto& name : scm::Names(m_))
            if (scm::Status(m_, name).dwCurrentState == SERVICE_RUNNING) Run({"service", "stop", Utf8(name)});
    }

private:
    // Events the maker's method and event driver fired (a rotation fires the posture event).
    void ReportDriverEvents() {
        for (auto& r : VundgDriver(m_).log_since(vundg_seen_)) {
            vundg_seen_ = r.seq;
            if (r.code != 0 || r.in.size() < 8) continue;
            DWORD id = 0, value = 0;
            std::memcpy(&id, r.in.data(), 4);
            std::memcpy(&value, r.in.data() + 4, 4);
            std::printf("  [drv] event %u fired, value %u\n", id, value);
        }
    }

    // The registry values below the watched keys that changed since the last report: the
    // keys the registry's change record names are read again, everything only when the
    // record does not reach back (or another connection changed the registry).
    void ReportRegistry() {
        // All of it reads one state of the store, taking its locks once.
        m_.store().Read([&] { ReportRegistryChanges(); });
    }

    void ReportRegistryChanges() {
        reg::Model model(m_);
        std::vector<reg::Change> changes;
        bool known = model.ChangesSince(reg_seen_, &changes);
        reg_seen_ = model.ChangeCount();
        if (known && changes.empty()) return;
        Registry reg(m_);
        std::map<std::wstring, bool> parts;  // key path -> whole subtree
        bool all = !known;
        for (const auto& c : changes) {
            if (all || c.key == 0) {
                all = true;
                break;
            }
            for (auto& w : watched_) {
                if (!reg.KeyExists(w)) {
                    if (c.tree) parts[reg.CanonicalPath(w)] = true;  // perhaps deleted with a parent
                    continue;
                }
                std::wstring top = reg.CanonicalPath(w);
                auto path = model.PathOf(c.key);
                if (!path) {
                    all = true;
                    break;
                }
                if (*path == top || Below(*path, top))
                    parts[*path] = parts[*path] || c.tree;
                else if (c.tree && Below(top, *path))
                    parts[top] = true;
            }
        }
        Snapshot before, after;
        if (all) {
            before = snapshot_;
            after = Snap();
            snapshot_ = after;
        } else {
            for (auto& [path, tree] : parts) {
                Snapshot old_part = Part(snapshot_, path, tree), new_part;
                if (reg.KeyExists(path)) (tree ? Collect : CollectValues)(reg, path, new_part);
                for (auto& [k, v] : old_part) snapshot_.erase(k);
                for (auto& [k, v] : new_part) snapshot_[k] = v;
                before.insert(old_part.begin(), old_part.end());
                after.insert(new_part.begin(), new_part.end());
            }
        }
        auto name = [](const std::pair<std::wstring, std::wstring>& k) { return Utf8(k.first + L"  " + k.second); };
        for (auto& [k, v] : after) {
            auto it = before.find(k);
            if (it == before.end())
                std::printf("  [reg] + %s = %s\n", name(k).c_str(), ValueText(v).c_str());
            else if (it->second.type != v.type || it->second.data != v.data)
                std::printf("  [reg] ~ %s = %s\n", name(k).c_str(), ValueText(v).c_str());
        }
        for (auto& [k, v] : before)
            if (!after.count(k)) std::printf("  [reg] - %s\n", name(k).c_str());
    }

    // The programs' own messages (WM_APP and up) to their top-level windows, and their
    // dialogs shown or hidden.
    void ReportWindows() {
        for (auto& p : m_.Processes()) {
            if (p->ended) continue;
            for (HWND h : user::ProcessWindows(m_, p->pid)) {
                auto info = user::Info(m_, h);
                if (!info || info->parent) continue;
                if (info->class_name == L"#32770") {
                    bool& shown = dialogs_[h];
                    if (shown != info->visible)
                        std::printf("  [dlg] pid %u dialog \"%s\" %s\n", p->pid, Utf8(info->text).c_str(),
                                    info->visible ? "shown" : "hidden");
                    shown = info->visible;
                    continue;
                }
                auto msgs = user::MessageLog(m_, h);
                size_t& seen = messages_seen_[h];
                for (size_t i = seen; i < msgs.size(); ++i)
                    if (msgs[i].msg >= WM_APP && msgs[i].msg < 0xC000)
                        std::printf("  [msg] pid %u \"%s\" %s 0x%X wParam 0x%llX\n", p->pid, Utf8(info->text).c_str(),
                                    msgs[i].posted ? "posted" : "sent", msgs[i].msg,
                                    static_cast<unsigned long long>(msgs[i].wparam));
                seen = msgs.size();
            }
        }
    }

    Snapshot Snap() {
        Snapshot s;
        Registry reg(m_);
        for (auto& k : watched_)
            if (reg.KeyExists(k)) Collect(reg, reg.CanonicalPath(k), s);
        return s;
    }

    bool Fail(const std::string& what) {
        std::printf("  failed: %s\n", what.c_str());
        return false;
    }
    bool FailWin(const std::string& what) { return Fail(what + " (error " + std::to_string(GetLastError()) + ")"); }

    static std::wstring Join(const std::vector<std::string>& a, size_t from) {
        std::wstring s;
        for (size_t i = from; i < a.size(); ++i) s += (i > from ? L" " : L"") + QuoteArgument(Wide(a[i]));
        return s;
    }

    // start --session N PATH [ARGS...]: a program of the machine in that session.
    bool StartInSession(const std::vector<std::string>& a) {
        uint64_t session = 0;
        if (a.size() < 4 || !ParseNumber(a[2], &session)) return Fail("start --session N PROGRAM");
        ProcessOptions opt;
        opt.image = Wide(a[3]);
        opt.command_line = QuoteArgument(opt.image);
        for (size_t i = 4; i < a.size(); ++i) opt.command_line += L" " + QuoteArgument(Wide(a[i]));
        opt.session = static_cast<DWORD>(session);
        if (!m_.FindSession(opt.session)) power::Logon(m_, opt.session);
        DWORD err = 0;
        auto p = StartImage(m_, opt, &err);
        if (!p) {
            SetLastError(err);
            return FailWin("cannot start " + a[3]);
        }
        std::printf("  process %u started in session %u\n", p->pid, opt.session);
        return true;
    }

    bool DisplayCmd(const std::vector<std::string>& a) {
        uint64_t o = 0;
        if (a.size() < 3 || a[1] != "rotate" || !ParseNumber(a[2], &o) || o > 3) return Fail("display rotate 0|1|2|3");
        Display(m_).Rotate(static_cast<DWORD>(o));
        std::printf("  display rotated to %u\n", static_cast<unsigned>(o));
        return true;
    }

    bool StartProgram(const std::vector<std::string>& a, bool wait) {
        if (a.size() < 2) return Fail("missing program");
        if (!wait && a[1] == "--session") return StartInSession(a);
        std::wstring cmd = Join(a, 1);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
            return FailWin("cannot start " + a[1]);
        std::printf("  process %u started\n", pi.dwProcessId);
        bool ok = true;
        if (wait) {
            WaitForSingleObject(pi.hProcess, INFINITE);
            DWORD code = 0;
            GetExitCodeProcess(pi.hProcess, &code);
            std::printf("  process %u ended with %u\n", pi.dwProcessId, code);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return ok;
    }

    SC_HANDLE OpenSvc(const std::string& name, DWORD access) {
        SC_HANDLE mgr = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (!mgr) return nullptr;
        SC_HANDLE s = OpenServiceW(mgr, Wide(name).c_str(), access);
        DWORD err = GetLastError();
        CloseServiceHandle(mgr);
        SetLastError(err);
        return s;
    }

    void PrintStatus(const std::wstring& name) {
        SERVICE_STATUS st = scm::Status(m_, name);
        auto cfg = scm::Config(m_, name);
        std::printf("  %s  %s  pid %u  accepts %s  exit %u%s\n", Utf8(name).c_str(),
                    StateName(st.dwCurrentState).c_str(), scm::ProcessId(m_, name), Hex(st.dwControlsAccepted).c_str(),
                    st.dwWin32ExitCode, cfg ? ("  image " + Utf8(cfg->image_path)).c_str() : "");
    }

    bool Service(const std::vector<std::string>& a) {
        if (a.size() < 2) return Fail("service what?");
        const std::string& op = a[1];
        if (op == "query") {
            if (a.size() > 2) {
                PrintStatus(Wide(a[2]));
            } else {
                for (auto& n : scm::Names(m_))
                    if (scm::Config(m_, n)->type & SERVICE_WIN32) PrintStatus(n);
            }
            return true;
        }
        if (a.size() < 3) return Fail("missing service name");
        const std::string& name = a[2];
        if (op == "install") {
            if (a.size() < 4) return Fail("missing image path");
            DWORD start = SERVICE_DEMAND_START;
            if (a.size() > 4)
                start = a[4] == "auto" ? SERVICE_AUTO_START : a[4] == "disabled" ? SERVICE_DISABLED : start;
            SC_HANDLE mgr = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
            SC_HANDLE s =
                CreateServiceW(mgr, Wide(name).c_str(), nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, start,
                               SERVICE_ERROR_NORMAL, Wide(a[3]).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
            bool ok = s != nullptr;
            if (!ok) FailWin("CreateServiceW");
            if (s) CloseServiceHandle(s);
            CloseServiceHandle(mgr);
            return ok;
        }
        if (op == "delete") {
            SC_HANDLE s = OpenSvc(name, DELETE);
            if (!s) return FailWin("OpenServiceW");
            bool ok = DeleteService(s);
            if (!ok) FailWin("DeleteService");
            CloseServiceHandle(s);
            return ok;
        }
        if (op == "start") {
            SC_HANDLE s = OpenSvc(name, SERVICE_START);
            if (!s) return FailWin("OpenServiceW");
            std::vector<std::wstring> args;
            for (size_t i = 3; i < a.size(); ++i) args.push_back(Wide(a[i]));
            std::vector<LPCWSTR> argv;
            for (auto& x : args) argv.push_back(x.c_str());
            bool ok = StartServiceW(s, static_cast<DWORD>(argv.size()), argv.empty() ? nullptr : argv.data());
            if (!ok) FailWin("StartServiceW");
            CloseServiceHandle(s);
            // Let it come up (up to its start time-out), then show its state.
            if (ok) scm::WaitForState(m_, Wide(name), SERVICE_RUNNING, scm::kControlTimeoutMs);
            PrintStatus(Wide(name));
            return ok;
        }
        if (op == "stop" || op == "control") {
            uint64_t code = SERVICE_CONTROL_STOP;
            if (op == "control" && (a.size() < 4 || !ParseNumber(a[3], &code))) return Fail("missing control code");
            SC_HANDLE s = OpenSvc(name, SERVICE_STOP | SERVICE_USER_DEFINED_CONTROL | SERVICE_INTERROGATE |
                                            SERVICE_PAUSE_CONTINUE | SERVICE_QUERY_STATUS);
            if (!s) return FailWin("OpenServiceW");
            SERVICE_STATUS st{};
            bool ok = ControlService(s, static_cast<DWORD>(code), &st);
            std::printf("  ControlService(%s, %u): %s, state %s\n", name.c_str(), static_cast<unsigned>(code),
                        ok ? "ok" : ("error " + std::to_string(GetLastError())).c_str(),
                        StateName(st.dwCurrentState).c_str());
            CloseServiceHandle(s);
            if (ok && code == SERVICE_CONTROL_STOP) {
                DWORD pid = scm::ProcessId(m_, Wide(name));
                (void)pid;
            }
            return ok;
        }
        return Fail("unknown service command '" + op + "'");
    }

    bool Power(const std::vector<std::string>& a) {
        if (a.size() < 2) return Fail("power what?");
        if (a[1] == "suspend") {
            bool ok = power::Suspend(m_);
            std::printf("  %s\n", ok ? "suspended" : "the suspend was denied");
            return true;
        }
        if (a[1] == "resume") {
            power::ResumeOptions o;
            for (size_t i = 2; i < a.size(); ++i) {
                if (a[i] == "--no-user") o.user_present = false;
                if (a[i] == "--critical") o.critical = true;
            }
            power::Resume(m_, o);
            std::printf("  resumed\n");
            return true;
        }
        if (a[1] == "failquery") {
            power::FailSuspendQuery(m_);
            return true;
        }
        return Fail("unknown power command '" + a[1] + "'");
    }

    bool SessionCmd(const std::vector<std::string>& a) {
        if (a.size() < 2) return Fail("session what?");
        uint64_t id = 1;
        if (a.size() > 2 && !ParseNumber(a[2], &id)) return Fail("bad session id");
        DWORD s = static_cast<DWORD>(id);
        const std::string& op = a[1];
        if (op == "logon")
            power::Logon(m_, s, a.size() > 3 ? Wide(a[3]) : L"");
        else if (op == "logoff")
            power::Logoff(m_, s);
        else if (op == "lock")
            power::Lock(m_, s);
        else if (op == "unlock")
            power::Unlock(m_, s);
        else if (op == "connect")
            power::ConsoleConnect(m_, s);
        else if (op == "disconnect")
            power::ConsoleDisconnect(m_, s);
        else
            return Fail("unknown session command '" + op + "'");
        return true;
    }

    // The tablet module's Mobile Broadband interface: its hardware radio, or the module
    // coming up (the interface events' sinks hear of its capabilities).
    bool RadioCmd(const std::vector<std::string>& a) {
        mbn::Service s(m_);
        auto desc = s.Interface(mbn::kTabletInterfaceId);
        if (!desc) return Fail("no Mobile Broadband interface of the module");
        if (a.size() == 2 && (a[1] == "on" || a[1] == "off")) {
            s.SetRadio(desc->id, a[1] == "on" ? MBN_RADIO_ON : MBN_RADIO_OFF, desc->software_radio);
            return true;
        }
        if (a.size() == 2 && a[1] == "up") return s.NotifyCapabilityAvailable(desc->id);
        return Fail("radio on|off|up");
    }

    bool Dispatch(const std::vector<std::string>& a) {
        const std::string& c = a[0];
        if (c == "run" || c == "start") return StartProgram(a, c == "run");
        if (c == "service") return Service(a);
        if (c == "power") return Power(a);
        if (c == "session") return SessionCmd(a);
        if (c == "display") return DisplayCmd(a);
        if (c == "wait") {
            uint64_t ms = 0;
            if (a.size() < 2 || !ParseNumber(a[1], &ms)) return Fail("wait MS");
            Sleep(static_cast<DWORD>(ms));
            return true;
        }
        if (c == "hci" && a.size() == 4 && a[1] == "set" && a[2] == "status") {
            uint64_t n = 0;
            if (!ParseNumber(a[3], &n) || n > 0xFFFFFFFFu) return Fail("hci set status N");
            HciDriver(m_).set_status(static_cast<DWORD>(n));
            return true;
        }
        if (c == "radio") return RadioCmd(a);
        if (c == "hci") {
            HciDriver d(m_);
            std::printf("  rf %s  power %s  switch %s\n", d.rf() ? "on" : "off", d.power() ? "on" : "off",
                        (d.status() & 1) ? "on" : "off");
            return true;
        }
        if (c == "echo") {
            std::string line;
            for (size_t i = 1; i < a.size(); ++i) line += (i > 1 ? " " : "") + a[i];
            std::printf("%s\n", line.c_str());
            return true;
        }
        return Fail("unknown command '" + c + "'");
    }

    Machine& m_;
    bool quiet_;
    std::vector<std::wstring> watched_{L"HKLM\\SOFTWARE\\Quarven", std::wstring(scm::kServicesKey)};
    uint64_t hci_seen_ = 0;
    uint64_t vundg_seen_ = 0;
    uint64_t reg_seen_ = 0;
    std::map<HWND, bool> dialogs_;
    std::map<HWND, size_t> messages_seen_;
    size_t controls_seen_ = 0;
    Snapshot snapshot_;
};

// Splits a script line into words; double quotes group, '#' outside quotes ends the line.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false, any = false;
    for (char ch : line) {
        if (ch == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && ch == '#') {
            break;
        } else if (!quoted && (ch == ' ' || ch == '\t')) {
            if (any) out.push_back(cur), cur.clear(), any = false;
        } else {
            cur += ch;
            any = true;
        }
    }
    if (any) out.push_back(cur);
    return out;
}

int RunHost(Context& ctx, const Args& a) {
    bool virtual_clock = false, quiet = false;
    double speed = 1.0;
    std::vector<std::wstring> watch;
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (a[i] == "--virtual") {
            virtual_clock = true;
        } else if (a[i] == "--speed" && i + 1 < a.size()) {
            speed = std::atof(a[++i].c_str());
            if (speed <= 0) return BadArgs(kHost, "bad speed");
        } else if (a[i] == "--quiet") {
            quiet = true;
        } else if (a[i] == "--watch" && i + 1 < a.size()) {
            watch.push_back(Wide(a[++i]));
        } else if (a[i] == "--help") {
            std::fputs(kHostHelp, stdout);
            return 0;
        } else {
            break;
        }
    }
    std::vector<std::vector<std::string>> script;
    if (i < a.size()) {
        std::vector<std::string> cmd;
        // Words separated by ";", or whole commands, one an argument (those with a blank).
        for (; i < a.size(); ++i) {
            if (a[i] == ";") {
                script.push_back(cmd), cmd.clear();
            } else if (a[i].find(' ') != std::string::npos) {
                if (!cmd.empty()) script.push_back(cmd), cmd.clear();
                script.push_back(Words(a[i]));
            } else {
                cmd.push_back(a[i]);
            }
        }
        if (!cmd.empty()) script.push_back(cmd);
    } else {
        std::string line;
        while (std::getline(std::cin, line)) script.push_back(Words(line));
    }

    Machine& m = ctx.machine();
    RegisterHostPrograms(m);
    if (!virtual_clock) m.SetClockMode(ClockMode::RealTime, speed);
    ProcessOptions opt;
    opt.image = L"C:\\Windows\\System32\\winsim.exe";
    ProcessScope scope(m, opt);
    Host host(m, quiet);
    for (auto& w : watch) host.Watch(w);
    host.Begin();
    int failures = 0;
    for (auto& cmd : script)
        if (!host.Run(cmd)) ++failures;
    host.StopServices();
    return failures ? 1 : 0;
}

const Command kHost{"host", "host [--virtual|--speed X] [COMMAND [; COMMAND]...]",
                    "run the system's programs and drive them by a script (host --help)", RunHost};
Registrar r(kHost);

// The host's service, power and session commands on their own: one command on the virtual
// clock; a service started this way is stopped again when the command ends (the machine's
// processes live only as long as the host).
template <const char* Name>
int RunOne(Context& ctx, const Args& a) {
    Args script{"--virtual", Name};
    script.insert(script.end(), a.begin(), a.end());
    return RunHost(ctx, script);
}
constexpr char kServiceName[] = "service";
constexpr char kPowerName[] = "power";
constexpr char kSessionName[] = "session";
const Command kService{"service", "service install|start|stop|control|query|delete ...",
                       "one service command of the host (host --help)", RunOne<kServiceName>};
const Command kPower{"power", "power suspend|resume|failquery", "one power command of the host", RunOne<kPowerName>};
const Command kSession{"session", "session logon|logoff|lock|unlock|connect|disconnect [ID]",
                       "one session command of the host", RunOne<kSessionName>};
Registrar r2(kService);
Registrar r3(kPower);
Registrar r4(kSession);

}  // namespace
}  // namespace winsim::tool
