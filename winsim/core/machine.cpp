// winsim: the machine object, its processes, sessions, names and profiles.
#include "winsim/machine.h"

#include "internal.h"
#include "winsim/device.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace winsim {

namespace {
// Host threads may stay parked inside the scheduler of a machine that is gone; the
// scheduler is then kept alive here for them.
std::vector<Scheduler*>& Graveyard() {
    static auto* v = new std::vector<Scheduler*>();
    return *v;
}

const char* kProfiles[] = {"bare", "tablet"};

int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
    // Days since 1970-01-01 of a proleptic Gregorian date.
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

constexpr int64_t kMs1601To1970 = 11644473600000LL;
}  // namespace

std::unique_ptr<Machine> Machine::CreateInMemory(const std::string& profile) {
    char tmpl[] = "/tmp/winsim-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("winsim: cannot create a temporary folder");
    std::unique_ptr<Machine> m(new Machine(tmpl, true));
    m->store_ = std::make_unique<Store>(":memory:");
    m->SetBootLocalTime(2026, 1, 5, 12, 0, 0, 0);
    m->Init();
    m->ApplyProfile(profile);
    return m;
}

std::unique_ptr<Machine> Machine::Open(const std::string& folder, const std::string& profile) {
    bool fresh = !fs::exists(fs::path(folder) / "machine.db");
    fs::create_directories(folder);
    std::unique_ptr<Machine> m(new Machine(folder, false));
    m->store_ = std::make_unique<Store>((fs::path(folder) / "machine.db").string());
    // The clock of a machine opened from a folder starts at the host's local time.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm lt{};
    localtime_r(&ts.tv_sec, &lt);
    m->SetBootLocalTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec,
                        static_cast<int>(ts.tv_nsec / 1000000));
    m->Init();
    if (fresh) {
        m->ApplyProfile(profile);
        m->store().SetText("machine", "profile", profile);
    }
    return m;
}

std::string Machine::DefaultFolder() {
    if (const char* e = std::getenv("WINSIM_MACHINE"); e && *e) return e;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.winsim/machine";
}

std::vector<std::string> Machine::Profiles() { return {std::begin(kProfiles), std::end(kProfiles)}; }

Machine::Machine(const std::string& folder, bool in_memory)
    : folder_(folder), in_memory_(in_memory), sched_(new Scheduler(*this)) {
    sessions_[0] = Session{0, L"SYSTEM", L"S-1-5-18"};
    sessions_[1] = Session{1, L"User", L"S-1-5-21-3623811015-3361044348-30300820-1001"};
}

Machine::~Machine() {
    size_t parked = sched_->Shutdown();
    if (parked == 0) {
        delete sched_;
    } else {
        Graveyard().push_back(sched_);
    }
    sched_ = nullptr;
    {
        std::lock_guard<std::recursive_mutex> g(mu_);
        processes_.clear();
        names_.clear();
        devices_.clear();
    }
    ext_.clear();
    store_.reset();
    if (in_memory_) {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
}

void Machine::Init() {
    fs::create_directories(fs::path(folder_) / "drive_c");
    internal::InitRegistry(*this);
    internal::InitFiles(*this);
    internal::InitDrivers(*this);
    internal::InitModules(*this);
    internal::InitDriverStore(*this);
    internal::InitWmi(*this);
    internal::InitMbn(*this);
    internal::InitSetupDlg(*this);
    internal::InitSystemPrograms(*this);
    internal::InitDifx(*this);
    internal::InitBroadcasts(*this);
    internal::InitSessionNotifications(*this);
}

void Machine::ApplyProfile(const std::string& profile) {
    bool known = false;
    for (const char* p : kProfiles) known = known || profile == p;
    if (!known) throw std::runtime_error("winsim: unknown machine profile '" + profile + "'");
    internal::ProfileRegistry(*this, profile);
    internal::ProfileFiles(*this, profile);
    internal::ProfileDrivers(*this, profile);
    internal::ProfileWmi(*this, profile);
    internal::ProfileSmbios(*this, profile);
    internal::ProfileMbn(*this, profile);
    internal::ProfileSystemPrograms(*this);
    internal::ProfileNetwork(*this, profile);
}

void Machine::Reset(const std::string& profile) {
    internal::ResetMbn(*this);
    internal::ResetWmi(*this);
    internal::ResetMsgBox(*this);
    internal::ResetDrivers(*this);
    internal::ResetFiles(*this);
    internal::ResetRegistry(*this);
    store().Exec("DELETE FROM settings");
    ApplyProfile(profile);
    store().SetText("machine", "profile", profile);
}

std::string Machine::DriveRoot(wchar_t d) const {
    if (d == L'Z' || d == L'z') return "/";
    if (d == L'C' || d == L'c') return (fs::path(folder_) / "drive_c").string();
    return std::string();
}

void Machine::SetBootLocalTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    boot_local_ms_ = kMs1601To1970 + days * 86400000LL + hour * 3600000LL + minute * 60000LL + second * 1000LL + ms;
}

// ---------------------------------------------------------------------------------------
// Processes and sessions

const Session* Machine::FindSession(DWORD id) const {
    auto it = sessions_.find(id);
    return it == sessions_.end() ? nullptr : &it->second;
}

void Machine::AddSession(const Session& s) { sessions_[s.id] = s; }

DWORD Machine::NewThreadId() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    DWORD id = next_tid_;
    next_tid_ += 4;
    return id;
}

std::vector<std::pair<std::wstring, std::wstring>> Machine::BaseEnvironment(const Session& s) {
    std::wstring profile = s.id == 0 ? L"C:\\Windows\\system32\\config\\systemprofile" : L"C:\\Users\\" + s.user;
    std::wstring temp = s.id == 0 ? L"C:\\Windows\\TEMP" : profile + L"\\AppData\\Local\\Temp";
    return {
        {L"ALLUSERSPROFILE", L"C:\\ProgramData"},
        {L"APPDATA", profile + L"\\AppData\\Roaming"},
        {L"CommonProgramFiles", L"C:\\Program Files\\Common Files"},
        {L"CommonProgramFiles(x86)", L"C:\\Program Files (x86)\\Common Files"},
        {L"CommonProgramW6432", L"C:\\Program Files\\Common Files"},
        {L"COMPUTERNAME", L"QTABLET"},
        {L"ComSpec", L"C:\\Windows\\system32\\cmd.exe"},
        {L"LOCALAPPDATA", profile + L"\\AppData\\Local"},
        {L"NUMBER_OF_PROCESSORS", L"4"},
        {L"OS", L"Windows_NT"},
        {L"Path", L"C:\\Windows\\system32;C:\\Windows;C:\\Windows\\System32\\Wbem"},
        {L"PATHEXT", L".COM;.EXE;.BAT;.CMD;.VBS;.JS;.WSF;.MSC"},
        {L"PROCESSOR_ARCHITECTURE", L"AMD64"},
        {L"ProgramData", L"C:\\ProgramData"},
        {L"ProgramFiles", L"C:\\Program Files"},
        {L"ProgramFiles(x86)", L"C:\\Program Files (x86)"},
        {L"ProgramW6432", L"C:\\Program Files"},
        {L"PUBLIC", L"C:\\Users\\Public"},
        {L"SystemDrive", L"C:"},
        {L"SystemRoot", L"C:\\Windows"},
        {L"TEMP", temp},
        {L"TMP", temp},
        {L"USERDOMAIN", L"QTABLET"},
        {L"USERNAME", s.id == 0 ? L"QTABLET$" : s.user},
        {L"USERPROFILE", profile},
        {L"windir", L"C:\\Windows"},
    };
}

std::shared_ptr<Process> Machine::CreateProcess(const ProcessOptions& opt) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    const Session* s = FindSession(opt.session);
    if (!s) throw std::runtime_error("winsim: no session " + std::to_string(opt.session));
    auto p = std::make_shared<Process>(*this, next_pid_);
    next_pid_ += 4;
    p->session = s->id;
    p->user = opt.user.empty() ? s->user : opt.user;
    p->user_sid = s->user_sid;
    p->image64 = opt.image64;
    p->image_path = opt.image;
    p->parent_pid = opt.parent_pid;
    if (!opt.command_line.empty()) {
        p->command_line = opt.command_line;
    } else {
        p->command_line = opt.image.find(L' ') != std::wstring::npos ? L"\"" + opt.image + L"\"" : opt.image;
    }
    if (!opt.current_dir.empty()) {
        p->current_dir = opt.current_dir;
    } else {
        auto pos = opt.image.find_last_of(L'\\');
        p->current_dir = pos == std::wstring::npos ? L"C:\\" : opt.image.substr(0, pos);
        if (p->current_dir.size() == 2) p->current_dir += L'\\';
    }
    for (auto& [k, v] : BaseEnvironment(*s)) p->SetEnv(k, v);
    if (!opt.image64) {
        p->SetEnv(L"ProgramFiles", L"C:\\Program Files (x86)");
        p->SetEnv(L"CommonProgramFiles", L"C:\\Program Files (x86)\\Common Files");
        p->SetEnv(L"PROCESSOR_ARCHITECTURE", L"x86");
        p->SetEnv(L"PROCESSOR_ARCHITEW6432", L"AMD64");
    }
    for (auto& [k, v] : opt.env) p->SetEnv(k, v);
    processes_[p->pid] = p;
    return p;
}

std::shared_ptr<Process> Machine::FindProcess(DWORD pid) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    auto it = processes_.find(pid);
    return it == processes_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<Process>> Machine::Processes() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    std::vector<std::shared_ptr<Process>> v;
    for (auto& [pid, p] : processes_) v.push_back(p);
    return v;
}

void Machine::TerminateProcess(Process& p, DWORD code) {
    if (p.ended) return;
    p.ended = true;
    p.exit_code = code;
    Thread* self = CurrentThreadOrNull();
    for (auto& t : p.LiveThreads()) {
        if (t->ended) continue;
        if (t.get() != self) sched_->Park(t.get());
        t->MarkEnded(code);
    }
    p.CloseAllHandles();
    p.Signal();
}

void Machine::RunFor(DWORD ms) {
    if (CurrentThreadOrNull()) {
        WaitOn({}, false, ms);
    } else {
        sched_->AdvanceTo(sched_->Now() + ms);
    }
}

void Machine::RunUntilIdle() {
    Thread& t = CurrentThread();
    // Each yield lets everything that is runnable run once; repeat until nothing was.
    while (sched_->HasReady()) sched_->Yield(&t);
}

// ---------------------------------------------------------------------------------------
// Names, debug output, devices

std::wstring Machine::NamespaceKey(const std::wstring& name, DWORD session) {
    static const std::wstring kGlobal = L"Global\\";
    static const std::wstring kLocal = L"Local\\";
    if (name.compare(0, kGlobal.size(), kGlobal) == 0) return L"G\\" + name.substr(kGlobal.size());
    std::wstring rest = name.compare(0, kLocal.size(), kLocal) == 0 ? name.substr(kLocal.size()) : name;
    if (session == 0) return L"G\\" + rest;
    return L"S" + std::to_wstring(session) + L"\\" + rest;
}

std::shared_ptr<KObject> Machine::LookupName(const std::wstring& key) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    auto it = names_.find(key);
    if (it == names_.end()) return nullptr;
    auto obj = it->second.lock();
    if (!obj) names_.erase(it);
    return obj;
}

void Machine::BindName(const std::wstring& key, std::shared_ptr<KObject> obj) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    obj->SetName(key);
    names_[key] = obj;
}

void Machine::UnbindName(const std::wstring& key, const KObject* obj) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    auto it = names_.find(key);
    if (it != names_.end()) {
        auto cur = it->second.lock();
        if (!cur || cur.get() == obj) names_.erase(it);
    }
}

std::vector<DebugLine> Machine::DebugOutput() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    return debug_;
}

void Machine::ClearDebugOutput() {
    std::lock_guard<std::recursive_mutex> g(mu_);
    debug_.clear();
    for (auto& [pid, p] : processes_) p->debug_output.clear();
}

void Machine::AddDebugLine(const DebugLine& l) {
    std::function<void(const DebugLine&)> sink;
    {
        std::lock_guard<std::recursive_mutex> g(mu_);
        debug_.push_back(l);
        if (auto it = processes_.find(l.pid); it != processes_.end()) it->second->debug_output.push_back(l);
        sink = debug_sink;
    }
    if (sink) sink(l);
}

void Machine::RegisterDevice(const std::wstring& name, std::shared_ptr<DeviceModel> model) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    devices_[Upper(name)] = std::move(model);
}

std::shared_ptr<DeviceModel> Machine::FindDevice(const std::wstring& name) {
    std::lock_guard<std::recursive_mutex> g(mu_);
    auto it = devices_.find(Upper(name));
    return it == devices_.end() ? nullptr : it->second;
}

DeviceModel::~DeviceModel() = default;

}  // namespace winsim
