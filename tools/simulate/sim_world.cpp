#include "sim_world.h"

#include <windows.h>

#include "MainFrm.h"
#include "RVQXCTRLApp.h"
#include "SvcMain.h"
#include "winsim/devices.h"
#include "winsim/display.h"
#include "winsim/hci.h"
#include "winsim/mbn.h"
#include "winsim/power.h"
#include "winsim/program.h"
#include "winsim/registry.h"
#include "winsim/scm.h"
#include "winsim/serial.h"
#include "winsim/user.h"
#include "winsim/vundg.h"

#include <algorithm>
#include <deque>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

std::shared_ptr<const winsim::ResourceTable> RvqxCtrlSimResources();

namespace sim {

namespace {

const wchar_t* kSvc = L"C:\\Program Files\\Quarven\\Veltrane\\RVQXSVC.exe";
const wchar_t* kGui = L"C:\\Program Files\\Quarven\\Veltrane\\RVQXCTRL.exe";
const wchar_t* kKey = L"HKLM\\SOFTWARE\\Quarven\\Veltrane";
const wchar_t* kModuleId = L"USB\\VID_1A2B&PID_3C4D";
const wchar_t* kModemPort = L"COM5";
constexpr DWORD kRfSelector = 0x2000;
constexpr DWORD kPostureSelector = 3;

// Sampling period of the invariants.
constexpr uint64_t kStepMs = 500;

// The bounds, from the programs' own timers (BoundsText says the same in words).
// A posture change reaches the frame as WM_DISPLAYCHANGE at once and as the driver's event
// 700 ms later (the event wait's pauses of 200 and 500 ms); the decision goes to the
// service and the HCI driver with no timer in between.
constexpr uint64_t kDecisionMs = 1000;
// Before a sleep the frame's thread may wait up to 50 x 300 ms for a short suspend to pass,
// then WaitTimeRemoveComplete for the module's removal; messages wait behind it.
constexpr uint64_t kShortSuspendMs = 50 * 300;
// The frame registers for session notices 3000 ms after its start.
constexpr uint64_t kSessionRegisterMs = 3000;
// The radio watcher, after the module came up: up to 5 ready-state reads 1000 ms apart,
// 1000 ms, then up to 3 passes of RF off, 500 ms, a decision and 4000 ms.
constexpr uint64_t kRadioRefreshMs = 5 * 1000 + 1000 + 3 * (500 + 4000);
// A frame's tear-down waits up to 500 ms for each of its three threads and the session
// thread and 1000 ms for the radio watcher.
constexpr uint64_t kExitMs = 4 * 500 + 1000 + 2000;
// The service's stop waits up to 500 ms for each of its three threads.
constexpr uint64_t kStopMs = 3 * 500 + 1500;
// Ended processes are looked at this long after they ended.
constexpr uint64_t kSettleMs = 1000;
// A GUI reads the RF-stop posture from the driver while it sets up, this soon after its start.
constexpr uint64_t kSetUpMs = 100;

int WINAPI GuiWinMain(HINSTANCE inst, HINSTANCE, LPWSTR cmdline, int show) { return RvqxCtrlMain(inst, cmdline, show); }

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

struct Failed {
    std::string invariant, what;
};

// The settings a program read when it started.
struct Snapshot {
    std::map<std::string, DWORD> v;
    DWORD get(const char* name) const {
        auto it = v.find(name);
        return it == v.end() ? 0 : it->second;
    }
};

struct Gui {
    std::shared_ptr<winsim::Process> proc;
    DWORD session = 0;
    uint64_t started = 0;
    Snapshot settings;
    bool drives = false;         // module found, RF-stop posture known and RF control allowed at its start
    int stop_posture = 0;        // the RF-stop posture it read at its start (6: the read failed)
    bool waits_ready = false;    // started while the service was not running
    uint64_t registered_at = 0;  // when it hears of session changes
    bool unsure = false;         // not the console's since its start: active only once registered
    bool registered = false;     // registered_at has passed (Register has looked at it)
    // It may drive RF: the console's instance at its start, at a console connect it heard or
    // when it registers as the console's, and at a logoff it heard while the console's; no
    // longer once another instance signalled the active-sync event while it was outside the
    // console's session.
    bool active = false;
    bool exiting = false;
    uint64_t exit_due = 0;
};

// Who drives RF: the console's GUI (RF follows the posture), else instances outside the
// console's session that still drive RF (they decide for another session: RF on only at
// posture 5), else nobody.
enum class Rule { None, Console, Outside };

struct Service {
    std::shared_ptr<winsim::Process> proc;
    Snapshot settings;
    bool drives = false;  // module found and RF control allowed at its start
    bool siewa = false;
};

class World {
public:
    World(const std::vector<Event>& events, const RunOptions& o) : events_(events), opt_(o) {}

    RunResult Run(void (*progress)(size_t, uint64_t)) {
        machine_ = winsim::Machine::CreateInMemory("tablet");
        winsim::Machine& m = *machine_;
        winsim::ProgramInfo svc;
        svc.file_name = L"RVQXSVC.exe";
        svc.wmain = RvqxSvcMain;
        winsim::RegisterProgram(svc);
        winsim::InstallProgramImage(m, kSvc, L"RVQXSVC.exe");
        winsim::ProgramInfo gui;
        gui.file_name = L"RVQXCTRL.exe";
        gui.wwinmain = GuiWinMain;
        gui.resources = RvqxCtrlSimResources();
        winsim::RegisterProgram(gui);
        winsim::InstallProgramImage(m, kGui, L"RVQXCTRL.exe");
        // The service logs to the debugger when its settings say so.
        if (opt_.debug)
            winsim::Registry(m).SetDword(L"HKLM\\SOFTWARE\\Quarven\\WirelessAPL\\Sorbelt", L"DebugMode", 1);
        if (opt_.debug)
            m.debug_sink = [this](const winsim::DebugLine& l) {
                std::string t = Narrow(l.text);
                while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
                if (!t.empty())
                    std::printf("%10llu   [debug %u] %s\n", static_cast<unsigned long long>(Now()), l.pid, t.c_str());
            };
        winsim::ProcessOptions self;
        self.image = L"C:\\Windows\\System32\\simulate.exe";
        self.session = 0;
        self.user = L"SYSTEM";
        winsim::ProcessScope scope(m, self);
        self_pid_ = scope.process().pid;
        t0_ = m.NowMs();
        module_ = 0;
        auto ids = winsim::DeviceTree(m).FindByHardwareId(kModuleId);
        if (!ids.empty()) module_ = ids.front();
        orientation_ = winsim::Display(m).orientation();
        stop_posture_ = StopPosture(winsim::HciDriver(m).posture_flags());
        rf_seen_ = winsim::HciDriver(m).rf();
        plst_ = winsim::VundgDriver(m).plst();

        RunResult r;
        try {
            for (size_t i = 0; i < events_.size(); ++i) {
                event_ = i;
                Advance(events_[i].delay_ms);
                if (progress) progress(i, Now());
                if (opt_.debug)
                    std::printf("%10llu > %s\n", static_cast<unsigned long long>(Now()), Format(events_[i]).c_str());
                Register();
                Apply(events_[i]);
                Check();
            }
            event_ = events_.size();
            // Long enough for every obligation and bound still open.
            Advance(static_cast<uint32_t>(std::max<uint64_t>(Horizon() + kStepMs, Now()) - Now()));
            Finish();
        } catch (const Failed& f) {
            r.ok = false;
            r.event = event_;
            r.time_ms = Now();
            r.invariant = f.invariant;
            r.what = f.what;
        }
        r.virtual_ms = Now();
        // Whatever still runs ends with the machine.
        for (auto& p : m.Processes())
            if (!p->ended && p->pid != self_pid_) m.TerminateProcess(*p, 1);
        return r;
    }

private:
    uint64_t Now() { return machine_->NowMs() - t0_; }

    [[noreturn]] void Fail(const std::string& invariant, const std::string& what) { throw Failed{invariant, what}; }

    // ---------------------------------------------------------------------------------
    // Time

    void Advance(uint32_t ms) {
        uint64_t end = Now() + ms;
        while (Now() < end) {
            uint64_t step = std::min<uint64_t>(kStepMs, end - Now());
            Sleep(static_cast<DWORD>(step));
            EndTimedFaults();
            Check();
        }
    }

    // The latest time an obligation or bound still open falls due.
    uint64_t Horizon() {
        uint64_t h = Now();
        if (obliged_) h = std::max(h, due_);
        for (auto& g : guis_)
            if (g.exiting) h = std::max(h, g.exit_due);
        for (auto& f : faults_) h = std::max(h, f.until);
        if (hold_) h = std::max(h, hold_until_);
        return h + kDecisionMs;
    }

    // ---------------------------------------------------------------------------------
    // Events

    Snapshot ReadSettings() {
        Snapshot s;
        winsim::Registry reg(*machine_);
        for (auto& v : reg.ListValues(kKey))
            if (v.type == REG_DWORD && v.data.size() == 4)
                s.v[Narrow(v.name)] =
                    v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<DWORD>(v.data[3]) << 24;
        return s;
    }

    // The first flag in the driver's order names the RF-stop posture (its orientation + 1).
    static int StopPosture(DWORD f) {
        return (f & 0x2000) ? 2 : (f & 0x1000) ? 4 : (f & 0x8000) ? 3 : (f & 0x4000) ? 1 : 0;
    }

    bool ModulePresent() { return module_ && winsim::DeviceTree(*machine_).IsPresent(module_); }
    bool FaultOn(DWORD selector) {
        for (auto& f : faults_)
            if (f.selector == selector) return true;
        return false;
    }
    uint64_t FaultUntil(DWORD selector) {
        uint64_t until = 0;
        for (auto& f : faults_)
            if (f.selector == selector) until = std::max(until, f.until);
        return until;
    }
    bool ServiceRunning() { return winsim::scm::Status(*machine_, L"RVQXSVC").dwCurrentState == SERVICE_RUNNING; }
    Gui* GuiIn(DWORD session) {
        for (auto& g : guis_)
            if (g.session == session && !g.proc->ended && !g.exiting) return &g;
        return nullptr;
    }
    Gui* ConsoleGui() { return GuiIn(machine_->active_console_session); }
    static bool Running(const Gui& g) { return !g.proc->ended && !g.exiting; }
    bool LoggedOn(DWORD s) { return logged_on_.count(s) != 0; }
    // The posture code the GUI reads: the driver's PLST (its low two bits: 1 the tablet
    // posture, in which the orientation counts, 3 none, 0 and 2 no stop) and the orientation.
    int PostureCode() {
        switch (plst_ & 3) {
        case 1: return static_cast<int>(orientation_) + 1;
        case 3: return 0;
        default: return 5;
        }
    }
    // RF stops when the posture code equals the RF-stop posture the console's GUI read.
    bool InStopPosture() {
        Gui* g = ConsoleGui();
        return PostureCode() == (g ? g->stop_posture : stop_posture_);
    }

    uint64_t Setting(const Gui& g, const char* name) { return g.settings.get(name); }

    // A trigger after which the console's GUI decides again within bound ms (or later, when
    // its thread may still be blocked before a sleep or the radio watcher is at work).
    void Trigger(uint64_t bound, const char* why) {
        if (Authority() != Rule::Console) return;
        uint64_t due = std::max(Now(), blocked_until_) + bound;
        if (hold_) due = std::max(due, hold_until_ + kDecisionMs);
        // A console connect it did not hear reaches it when it registers (and polls).
        Gui* g = ConsoleGui();
        // It first looks at the display StartTime after its start: a rotation before that is
        // taken then.
        uint64_t first = g->started + Setting(*g, "StartTime");
        if (Now() < first) due = std::max(due, first + kDecisionMs);
        if (g->unsure && Now() < g->registered_at)
            due = std::max(due, g->registered_at + Setting(*g, "ResumePollingInterval") + kDecisionMs);
        // A decision already on its way (the polling after a start, a console connect or a
        // resume) takes the display as it is then: a rotation meanwhile may wait for it, as
        // the GUI compares with the posture it last decided on.
        std::string reason = why;
        if (obliged_ && Now() < due_ && due_ > due) {
            due = due_;
            reason += " after " + why_;
        }
        Oblige(Rule::Console, due, reason);
    }

    // A trigger after which the instances outside the console's session that drive RF decide
    // for another session (each rotation, a resume).
    void TriggerOutside(const char* why) {
        if (Authority() != Rule::Outside) return;
        uint64_t due = std::max(Now(), blocked_until_) + kDecisionMs;
        std::string reason = why;
        if (obliged_ && rule_ == Rule::Outside && Now() < due_ && due_ > due) {
            due = due_;
            reason += " after " + why_;
        }
        Oblige(Rule::Outside, due, reason);
    }

    void Oblige(Rule rule, uint64_t due, const std::string& reason) {
        obliged_ = true;
        rule_ = rule;
        due_ = due;
        why_ = reason;
        if (opt_.debug)
            std::printf("%10llu   [sim] RF must be %s from %llu (%s)\n", static_cast<unsigned long long>(Now()),
                        WantRf(rule) ? "on" : "off", static_cast<unsigned long long>(due), reason.c_str());
    }

    // An instance's signal of the active-sync event: each instance outside the console's
    // session stops driving RF (its watcher hears it, registered or not).
    void Signal() {
        for (auto& h : guis_)
            if (!h.proc->ended && h.session != machine_->active_console_session) h.active = false;
    }

    // An instance hears session notices from registered_at on; one whose session the console
    // connected to before then takes the missed connect (it drives RF and signals).
    void Register() {
        for (auto& g : guis_) {
            if (g.registered || g.proc->ended || Now() < g.registered_at) continue;
            g.registered = true;
            if (g.session == machine_->active_console_session && !g.active) {
                g.active = true;
                Signal();
            }
        }
    }
    bool Heard(const Gui& g) { return Now() >= g.registered_at; }

    // The instance's start-up or resume polling runs: its ticks follow the posture wherever
    // the console is.
    bool Polling(const Gui& g) {
        HWND f = FrameOf(g);
        if (!f) return false;
        for (auto& t : winsim::user::Timers(*machine_, f))
            if (t.id == TIMER_POLLSTART || t.id == TIMER_POLLRESUME) return true;
        return false;
    }

    void StartGui(DWORD session) {
        winsim::ProcessOptions o;
        o.image = kGui;
        o.session = session;
        Gui g;
        g.session = session;
        g.started = Now();
        g.settings = ReadSettings();
        // Without its polling periods (missing counts as 0) the GUI never polls: nothing then
        // brings RF back in step after a start, a resume or a console switch.
        g.drives = ModulePresent() && g.settings.get("DisableSAR") != 1 && g.settings.get("DisabledRFCtrl") != 1 &&
                   g.settings.get("StartTime") && g.settings.get("ResumePollingInterval") &&
                   g.settings.get("ResumeRecoveryWaitTime");
        // It reads the RF-stop posture while it sets up: a fault of the read through all of
        // that time makes it 6; one that ends meanwhile leaves it unknown.
        g.stop_posture = stop_posture_;
        if (FaultOn(kPostureSelector)) {
            if (FaultUntil(kPostureSelector) >= Now() + kSetUpMs)
                g.stop_posture = 6;
            else
                g.drives = false;
        }
        g.waits_ready = !ServiceRunning();
        g.registered_at = Now() + kSessionRegisterMs;
        g.unsure = session != machine_->active_console_session;
        g.active = !g.unsure;
        DWORD err = 0;
        g.proc = winsim::StartImage(*machine_, o, &err);
        if (!g.proc)
            Fail("program-start", "the GUI did not start in session " + std::to_string(session) + " (error " +
                                      std::to_string(err) + ")");
        guis_.push_back(g);
        Signal();
        if (session == machine_->active_console_session && !g.waits_ready)
            Trigger(Setting(g, "StartTime") + kDecisionMs, "GUI start");
    }

    // The frame of that instance (a session may hold a GUI that ends and its successor).
    HWND FrameOf(const Gui& g) {
        for (HWND h : winsim::user::ProcessWindows(*machine_, g.proc->pid)) {
            auto info = winsim::user::Info(*machine_, h);
            if (info && info->class_name == FRAME_CLASS) return h;
        }
        return nullptr;
    }

    void ExitGui(Gui& g) {
        g.exiting = true;
        g.exit_due = std::max(Now(), blocked_until_) + kExitMs;
        HWND f = FrameOf(g);
        if (f) PostMessageW(f, WM_CLOSE, 0, 0);
    }

    void Logoff(DWORD s) {
        // As Windows ends a session: its windows are told, its programs end (a program that
        // does not answer is ended by force), then the services hear of it.
        for (auto& g : guis_) {
            if (g.session != s || g.proc->ended) continue;
            // Before a sleep the frame's thread may still wait for the module's removal.
            bool responsive = blocked_until_ <= Now();
            HWND f = FrameOf(g);
            DWORD_PTR r = 0;
            if (f) {
                SendMessageTimeoutW(f, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &r);
                SendMessageTimeoutW(f, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &r);
            }
            uint64_t due = Now() + kExitMs;
            while (!g.proc->ended && Now() < due) Sleep(100);
            if (!g.proc->ended) {
                if (responsive)
                    Fail("no-hang", "the GUI of session " + std::to_string(s) + " did not end at the logoff");
                machine_->TerminateProcess(*g.proc, 0);
            }
            g.exiting = false;
        }
        for (auto& p : machine_->Processes())
            if (!p->ended && p->session == s && p->pid != self_pid_ && !(hold_port_ && p->pid == hold_port_->pid()))
                machine_->TerminateProcess(*p, 0);
        winsim::power::Logoff(*machine_, s);
        logged_on_.erase(s);
    }

    void StopSvc() {
        if (!ServiceRunning()) return;
        SC_HANDLE mgr = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE s = mgr ? OpenServiceW(mgr, L"RVQXSVC", SERVICE_STOP | SERVICE_QUERY_STATUS) : nullptr;
        SERVICE_STATUS st{};
        uint64_t due = Now() + kStopMs;
        if (s) ControlService(s, SERVICE_CONTROL_STOP, &st);
        if (s) CloseServiceHandle(s);
        if (mgr) CloseServiceHandle(mgr);
        while (Now() < due && !(svc_.proc && svc_.proc->ended)) Sleep(100);
        if (!svc_.proc || !svc_.proc->ended || ServiceRunning())
            Fail("no-hang", "the service did not stop within " + std::to_string(kStopMs) + " ms");
    }

    void StartSvc() {
        if (ServiceRunning()) return;
        SC_HANDLE mgr = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE s = mgr ? OpenServiceW(mgr, L"RVQXSVC", SERVICE_START) : nullptr;
        Snapshot settings = ReadSettings();
        bool present = ModulePresent();
        bool ok = s && StartServiceW(s, 0, nullptr);
        if (s) CloseServiceHandle(s);
        if (mgr) CloseServiceHandle(mgr);
        if (!s) return;  // not installed
        if (!ok || !winsim::scm::WaitForState(*machine_, L"RVQXSVC", SERVICE_RUNNING, winsim::scm::kControlTimeoutMs))
            Fail("program-start", "the service did not start (error " + std::to_string(GetLastError()) + ")");
        svc_.proc = machine_->FindProcess(winsim::scm::ProcessId(*machine_, L"RVQXSVC"));
        svc_.settings = settings;
        svc_.siewa = settings.get("SieWAMode") == 1;
        // DisableSAR makes the service keep RF on by itself.
        svc_.drives = (present || svc_.siewa) && settings.get("DisabledRFCtrl") != 1 &&
                      (svc_.siewa || settings.get("DisableSAR") != 1);
        services_[svc_.proc ? svc_.proc->pid : 0] = svc_.siewa;
        for (auto& g : guis_) {
            if (!g.waits_ready) continue;
            g.waits_ready = false;
            // The waiter was released: the start-up polling decides.
            if (&g == ConsoleGui()) Trigger(Setting(g, "StartTime") + kDecisionMs, "service start");
        }
    }

    void Suspend(uint64_t ms, int64_t how) {
        winsim::Machine& m = *machine_;
        obliged_ = false;
        // Each instance that drives RF may wait for the module's removal before the sleep.
        uint64_t wait_remove = 0;
        for (auto& x : guis_)
            if (Running(x)) wait_remove = std::max<uint64_t>(wait_remove, Setting(x, "WaitTimeRemoveComplete"));
        if (!winsim::power::Suspend(m)) return;
        blocked_until_ = Now() + kShortSuspendMs + wait_remove + 1000;
        uint64_t end = Now() + ms;
        while (Now() < end) {
            Sleep(static_cast<DWORD>(std::min<uint64_t>(kStepMs, end - Now())));
            EndTimedFaults();
            CheckSaveStatus();
            CheckEnded();
        }
        CheckSaveStatus();
        winsim::power::ResumeOptions o;
        o.user_present = how != 1;
        o.critical = how == 2;
        o.from_failure = how == 3;
        if (winsim::HciDriver(m).rf_after_resume() >= 0) external_rf_ = true;
        winsim::power::Resume(m, o);
        TriggerOutside("resume");
        if (Gui* g = ConsoleGui()) {
            // Either resume event starts the polling: directly, or the automatic resume's
            // check hands over to it one period later. The re-add follows after its wait.
            uint64_t period = Setting(*g, "ResumePollingInterval");
            Trigger(std::max(2 * period, Setting(*g, "ResumeRecoveryWaitTime")) + kDecisionMs, "resume");
        }
    }

    // Session s takes the console; as when users switch, the session that had it is
    // disconnected first.
    void ConnectConsole(DWORD s) {
        winsim::Machine& m = *machine_;
        if (!LoggedOn(s) || m.active_console_session == s) return;
        DWORD prev = m.active_console_session;
        if (LoggedOn(prev)) winsim::power::ConsoleDisconnect(m, prev);
        previous_console_ = prev;
        winsim::power::ConsoleConnect(m, s);
        for (auto& x : guis_)
            if (Now() < x.registered_at) x.unsure = true;
        Gui* g = GuiIn(s);
        // The instance of the session that connects drives RF and signals.
        if (g && Heard(*g)) {
            g->active = true;
            Signal();
        }
        obliged_ = false;
        if (g) Trigger(Setting(*g, "ResumePollingInterval") + kDecisionMs, "console connect");
    }

    void Apply(const Event& e) {
        winsim::Machine& m = *machine_;
        DWORD s = static_cast<DWORD>(e.a);
        switch (e.kind) {
        case Kind::Set:
            if (e.a < 0)
                winsim::Registry(m).DeleteValue(kKey, std::wstring(e.name.begin(), e.name.end()));
            else
                winsim::Registry(m).SetDword(kKey, std::wstring(e.name.begin(), e.name.end()), static_cast<DWORD>(e.a));
            break;
        case Kind::StopFlags:
            winsim::HciDriver(m).set_posture_flags(static_cast<DWORD>(e.a));
            stop_posture_ = StopPosture(static_cast<DWORD>(e.a));
            break;
        case Kind::RfResume: winsim::HciDriver(m).set_rf_after_resume(static_cast<int>(e.a)); break;
        case Kind::Plst:
            // No event tells the GUI: the next rotation, resume or polling takes it.
            winsim::VundgDriver(m).set_plst(static_cast<DWORD>(e.a));
            plst_ = static_cast<DWORD>(e.a);
            obliged_ = false;
            break;
        case Kind::Install: {
            std::wstring cmd = std::wstring(L"\"") + kSvc + L"\" -InstallService";
            STARTUPINFOW si{};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi{};
            if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
                Fail("program-start", "RVQXSVC -InstallService did not start");
            if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
                Fail("no-hang", "RVQXSVC -InstallService did not end");
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
            break;
        }
        case Kind::SvcStart: StartSvc(); break;
        case Kind::SvcStop: StopSvc(); break;
        case Kind::Logon:
        case Kind::LogonNoGui:
            if (LoggedOn(s)) break;
            winsim::power::Logon(m, s);
            logged_on_.insert(s);
            if (e.kind == Kind::Logon && !GuiIn(s)) StartGui(s);
            break;
        case Kind::Logoff:
            if (!LoggedOn(s)) break;
            {
                Gui* g = ConsoleGui();
                bool console = s == m.active_console_session;
                Logoff(s);
                // Of the instances that heard it, the console's drives RF again.
                for (auto& x : guis_)
                    if (Running(x) && Heard(x) && x.session == m.active_console_session) x.active = true;
                // The service switched RF off for the logoff; the console's GUI, if it hears
                // of it, decides again.
                g = console ? nullptr : g;
                if (g && g->started + kSessionRegisterMs <= Now())
                    Trigger(kDecisionMs, "logoff of another session");
                else
                    obliged_ = false;
            }
            break;
        case Kind::Lock:
            if (LoggedOn(s)) winsim::power::Lock(m, s);
            break;
        case Kind::Unlock:
            if (LoggedOn(s)) winsim::power::Unlock(m, s);
            break;
        case Kind::Connect: ConnectConsole(s); break;
        case Kind::SwitchBack: ConnectConsole(previous_console_); break;
        case Kind::Disconnect:
            if (m.active_console_session != s) break;
            winsim::power::ConsoleDisconnect(m, s);
            for (auto& x : guis_)
                if (Now() < x.registered_at) x.unsure = true;
            obliged_ = false;
            break;
        case Kind::GuiStart:
            if (LoggedOn(s) && !GuiIn(s)) StartGui(s);
            break;
        case Kind::GuiExit:
            if (Gui* g = GuiIn(s)) ExitGui(*g);
            break;
        case Kind::Rotate: {
            DWORD o = static_cast<DWORD>(e.a & 3);
            bool was = InStopPosture();
            winsim::Display(m).Rotate(o);
            orientation_ = o;
            if (InStopPosture() != was) Trigger(kDecisionMs, "rotation");
            TriggerOutside("rotation");
            break;
        }
        case Kind::Suspend: Suspend(static_cast<uint64_t>(std::max<int64_t>(e.a, 0)), e.b); break;
        case Kind::FailQuery: winsim::power::FailSuspendQuery(m); break;
        case Kind::Unplug:
            if (module_ && !unplugged_) winsim::DeviceTree(m).Unplug(module_);
            unplugged_ = module_ != 0;
            break;
        case Kind::Plug:
            if (unplugged_) winsim::DeviceTree(m).Plug(module_);
            unplugged_ = false;
            break;
        case Kind::Switch: winsim::HciDriver(m).set_switch(e.a != 0); break;
        case Kind::Radio: {
            winsim::mbn::Service mbn(m);
            auto desc = mbn.Interface(winsim::mbn::kTabletInterfaceId);
            if (!desc) break;
            if (e.a == 2) {
                Gui* g = ConsoleGui();
                if (g && g->settings.get("EnableRFRefresh") == 1) {
                    hold_ = true;
                    hold_until_ = Now() + kRadioRefreshMs;
                }
                mbn.NotifyCapabilityAvailable(desc->id);
                // The watcher decides again only for a radio that is off while the switch is on
                // and the driver's status shows bit 13.
                DWORD status = winsim::HciDriver(m).status();
                bool refresh = desc->hardware_radio == MBN_RADIO_OFF && (status & 0x2001) == 0x2001;
                if (g && g->settings.get("EnableRFRefresh") == 1 && refresh) Trigger(kDecisionMs, "module came up");
            } else {
                mbn.SetRadio(desc->id, e.a ? MBN_RADIO_ON : MBN_RADIO_OFF, desc->software_radio);
            }
            break;
        }
        case Kind::HciError:
        case Kind::HciRefuse: {
            winsim::HciDriver hci(m);
            DWORD sel = static_cast<DWORD>(e.a);
            uint64_t ms = static_cast<uint64_t>(std::max<int64_t>(e.kind == Kind::HciError ? e.c : e.b, 0));
            if (e.kind == Kind::HciError)
                hci.set_error(sel, static_cast<DWORD>(e.b));
            else
                hci.set_refused(sel, true);
            faults_.push_back({sel, e.kind == Kind::HciRefuse, Now() + ms});
            if (sel == kRfSelector) obliged_ = false;
            // A GUI still setting up may not have read its RF-stop posture: it may not drive RF.
            if (sel == kPostureSelector)
                for (auto& g : guis_)
                    if (Now() < g.started + kSetUpMs) g.drives = false;
            break;
        }
        case Kind::ComHold:
            hold_port_.reset();
            try {
                hold_port_ = winsim::SerialPorts(m).HoldAsOtherProcess(kModemPort);
            } catch (const std::exception&) {
                break;  // the port went with the module
            }
            hold_port_until_ = Now() + static_cast<uint64_t>(std::max<int64_t>(e.a, 0));
            break;
        }
    }

    struct Fault {
        DWORD selector;
        bool refusal;
        uint64_t until;
    };

    void EndTimedFaults() {
        winsim::HciDriver hci(*machine_);
        for (size_t i = 0; i < faults_.size();) {
            if (faults_[i].until > Now()) {
                ++i;
                continue;
            }
            Fault f = faults_[i];
            faults_.erase(faults_.begin() + static_cast<long>(i));
            if (FaultOn(f.selector)) continue;
            hci.set_error(f.selector, 0);
            hci.set_refused(f.selector, false);
        }
        if (hold_port_ && hold_port_until_ <= Now()) hold_port_.reset();
        if (hold_ && hold_until_ <= Now()) hold_ = false;
    }

    // ---------------------------------------------------------------------------------
    // Invariants

    // Who drives RF now, with everything the RF rule needs: the service runs and may switch
    // RF, the machine is awake and RF requests reach the driver; the console's GUI drives RF
    // and is not waiting for the service, or there is none and some instance elsewhere still
    // drives RF.
    Rule Authority() {
        if (winsim::power::Suspended(*machine_)) return Rule::None;
        if (!ServiceRunning() || !svc_.drives || FaultOn(kRfSelector)) return Rule::None;
        if (Gui* g = ConsoleGui()) return g->drives && !g->waits_ready ? Rule::Console : Rule::None;
        bool any = false;
        for (auto& h : guis_) {
            if (!Running(h) || !h.active || !h.drives) continue;
            // Before it hears session notices, or while a polling of its time at the console
            // runs, it may still follow the posture.
            if (!h.registered || Polling(h)) return Rule::None;
            any = true;
        }
        return any ? Rule::Outside : Rule::None;
    }

    // What the rule's decision is now.
    bool WantRf(Rule rule) { return rule == Rule::Console ? !InStopPosture() : PostureCode() == 5; }

    void CheckRf() {
        Rule rule = Authority();
        if (rule == Rule::None || rule != rule_) obliged_ = false;
        if (!obliged_ || Now() < due_ || !ModulePresent()) return;
        bool rf = winsim::HciDriver(*machine_).rf();
        bool want = WantRf(rule);
        if (rf == want) return;
        std::string what = std::string("RF is ") + (rf ? "on" : "off") + " " +
                           std::to_string(Now() - due_ + kDecisionMs) + " ms after the decision was due (" + why_ +
                           "), with the display " + (InStopPosture() ? "in" : "out of") +
                           " the RF-stop posture (orientation " + std::to_string(orientation_) + ", posture " +
                           std::to_string(PostureCode()) + ")";
        if (rule == Rule::Outside) what += ", decided outside the console's session";
        Fail("rf-follows-posture", what);
    }

    // SaveStatus holds the last state the service's state machine put into effect, and the
    // driver's RF holds it too unless something else has switched RF since.
    void CheckSaveStatus() {
        winsim::Machine& m = *machine_;
        winsim::HciDriver hci(m);
        auto log = hci.log();
        hci.clear_log();
        for (auto& r : log) {
            if (r.in[0] != 0xFF00u || r.in[1] != 0x56u || r.in[3] != kRfSelector) continue;
            if (!r.completed || (r.out[0] & 0xFF00) != 0) continue;
            auto it = services_.find(r.pid);
            if (it == services_.end() || it->second) {
                external_rf_ = true;  // switched directly, not through the state machine
                continue;
            }
            put_ = r.in[2] != 0 ? 1 : 0;
            external_rf_ = false;
            if (opt_.debug)
                std::printf("%10llu   [sim] the service switched RF %s\n", static_cast<unsigned long long>(Now()),
                            *put_ ? "on" : "off");
        }
        if (opt_.debug) {
            for (auto& c : winsim::scm::Controls(m))
                std::printf("%10llu   [sim] the service handled control %u (%u) from its queue\n",
                            static_cast<unsigned long long>(c.time_ms - t0_), c.control, c.event_type);
        }
        winsim::scm::ClearControls(m);
        bool rf = hci.rf();
        if (rf != rf_seen_ && opt_.debug)
            std::printf("%10llu   [sim] the driver's RF is %s\n", static_cast<unsigned long long>(Now()),
                        rf ? "on" : "off");
        rf_seen_ = rf;
        if (!put_) return;
        auto saved = winsim::Registry(m).GetDword(kKey, L"SaveStatus");
        std::string bad;
        if (!saved || *saved != *put_)
            bad = "SaveStatus is " + (saved ? std::to_string(*saved) : std::string("missing")) +
                  " after the service last switched RF " + (*put_ ? "on" : "off");
        else if (!external_rf_ && rf != (*put_ == 1))
            bad = std::string("the driver's RF is ") + (rf ? "on" : "off") + " while SaveStatus says " +
                  std::to_string(*saved);
        if (bad.empty()) {
            save_bad_since_.reset();
            return;
        }
        // A request in flight writes the driver first and SaveStatus right after.
        if (!save_bad_since_) save_bad_since_ = Now();
        if (Now() - *save_bad_since_ >= 2 * kStepMs) Fail("save-status", bad);
    }

    void CheckEnded() {
        winsim::Machine& m = *machine_;
        for (auto& g : guis_)
            if (g.exiting && !g.proc->ended && Now() >= g.exit_due)
                Fail("no-hang", "the GUI of session " + std::to_string(g.session) + " did not end within " +
                                    std::to_string(kExitMs) + " ms of WM_CLOSE");
        for (auto& p : m.Processes()) {
            if (!p->ended || p->pid == self_pid_ || checked_.count(p->pid)) continue;
            auto seen = ended_seen_.emplace(p->pid, Now()).first->second;
            if (Now() - seen < kSettleMs) continue;
            checked_.insert(p->pid);
            std::string name = Narrow(p->image_path) + " (pid " + std::to_string(p->pid) + ")";
            for (auto& t : p->LiveThreads())
                if (!t->ended)
                    Fail("nothing-left", name + " ended with its thread " + std::to_string(t->tid) + " still running");
            if (p->HandleCount())
                Fail("nothing-left", name + " ended with " + std::to_string(p->HandleCount()) + " handles open");
            if (!winsim::user::ProcessWindows(m, p->pid).empty())
                Fail("nothing-left", name + " ended with windows left");
        }
    }

    void Check() {
        Register();
        CheckSaveStatus();
        CheckRf();
        CheckEnded();
    }

    // The end: every GUI closes and the service stops, each within its bound, and nothing of
    // them is left.
    void Finish() {
        for (auto& g : guis_)
            if (!g.proc->ended && !g.exiting) ExitGui(g);
        uint64_t end = Now();
        for (auto& g : guis_) end = std::max(end, g.exiting ? g.exit_due : end);
        while (Now() < end) {
            bool all = true;
            for (auto& g : guis_) all &= g.proc->ended;
            if (all) break;
            Sleep(100);
            CheckEnded();
        }
        CheckEnded();
        obliged_ = false;
        hold_port_.reset();
        StopSvc();
        Advance(static_cast<uint32_t>(kSettleMs + kStepMs));
        for (auto& p : machine_->Processes())
            if (!p->ended && p->pid != self_pid_)
                Fail("no-hang", Narrow(p->image_path) + " (pid " + std::to_string(p->pid) + ") still runs at the end");
    }

    const std::vector<Event>& events_;
    RunOptions opt_;
    std::unique_ptr<winsim::Machine> machine_;
    DWORD self_pid_ = 0;
    uint64_t t0_ = 0;
    size_t event_ = 0;
    DWORD module_ = 0;
    bool unplugged_ = false;
    DWORD orientation_ = 0;
    int stop_posture_ = 0;
    DWORD plst_ = 1;
    std::set<DWORD> logged_on_;
    std::deque<Gui> guis_;  // pointers to its elements stay valid as GUIs start
    Service svc_;
    std::map<DWORD, bool> services_;  // every service process: pid -> SieWA mode
    std::vector<Fault> faults_;
    std::unique_ptr<winsim::SerialPorts::Hold> hold_port_;
    uint64_t hold_port_until_ = 0;
    bool hold_ = false;  // the radio watcher may switch RF off and decide again until hold_until_
    uint64_t hold_until_ = 0;
    uint64_t blocked_until_ = 0;
    DWORD previous_console_ = 0;  // the session that had the console before the last connect
    bool obliged_ = false;
    Rule rule_ = Rule::None;
    uint64_t due_ = 0;
    std::string why_;
    std::optional<DWORD> put_;  // what the state machine last put into effect
    bool external_rf_ = false;
    bool rf_seen_ = false;
    std::optional<uint64_t> save_bad_since_;
    std::map<DWORD, uint64_t> ended_seen_;
    std::set<DWORD> checked_;
};

}  // namespace

RunResult Run(const std::vector<Event>& events, const RunOptions& options, void (*progress)(size_t, uint64_t)) {
    World w(events, options);
    return w.Run(progress);
}

std::string BoundsText() {
    return "RF follows the posture within 1000 ms of a rotation that changes the decision (WM_DISPLAYCHANGE at\n"
           "once, the driver's event 700 ms later), StartTime + 1000 ms after the GUI's start or the service's\n"
           "(the first tick of the start-up polling), ResumePollingInterval + 1000 ms after a console connect,\n"
           "max(2 x ResumePollingInterval, ResumeRecoveryWaitTime) + 1000 ms after a resume; all measured from the\n"
           "end of the frame's wait before a sleep (50 x 300 ms + WaitTimeRemoveComplete + 1000 ms after the\n"
           "suspend) and of the radio watcher's refresh (19500 ms after the module came up). A rotation while\n"
           "one of those decisions is on its way is due with it (the GUI compares with the posture it last\n"
           "decided on, and the polling reads the display as it then is).\n"
           "With no GUI in the console's session, an instance elsewhere that still drives RF decides for another\n"
           "session within 1000 ms of each rotation and resume (RF on only at posture 5).\n"
           "A GUI ends within 5000 ms of WM_CLOSE or WM_ENDSESSION (its threads' 500 ms stops and the radio\n"
           "watcher's 1000 ms); the service stops within 3000 ms (its three threads' 500 ms stops).\n";
}

}  // namespace sim
