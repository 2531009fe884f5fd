// winsim: the simulated machine and the test API that sets it up and inspects it.
//
// A machine lives in a folder: "machine.db" (SQLite, every persistent state: registry,
// driver registers, devices, services ...) and "drive_c" (the file system of drive C:).
// Tests use a fresh in-memory machine each (its C: drive is a temporary folder).
#pragma once

#include "kernel.h"
#include "store.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winsim {

class DeviceModel;

struct ProcessOptions {
    std::wstring image = L"C:\\Windows\\System32\\winsimtest.exe";
    std::wstring command_line;  // default: the image path, quoted when it holds a blank
    DWORD session = 1;
    std::wstring user;                                       // default: the session's user
    bool image64 = true;                                     // false: a 32-bit program under WOW64
    std::wstring current_dir;                                // default: the image's folder
    std::vector<std::pair<std::wstring, std::wstring>> env;  // added to the machine's environment
    DWORD parent_pid = 0;
};

struct Session {
    DWORD id;
    std::wstring user;
    std::wstring user_sid;
};

class Machine {
public:
    // A machine in memory, set up from a profile ("bare" or "tablet").
    static std::unique_ptr<Machine> CreateInMemory(const std::string& profile = "bare");
    // Opens the machine in folder, creating it from profile when it does not exist yet.
    static std::unique_ptr<Machine> Open(const std::string& folder, const std::string& profile = "tablet");
    // $WINSIM_MACHINE, else ~/.winsim/machine.
    static std::string DefaultFolder();
    // The profiles a machine can be created from.
    static std::vector<std::string> Profiles();

    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Erases all persistent state and applies profile again.
    void Reset(const std::string& profile);
    void ApplyProfile(const std::string& profile);

    Store& store() { return *store_; }
    Scheduler& scheduler() { return *sched_; }
    const std::string& folder() const { return folder_; }
    bool in_memory() const { return in_memory_; }

    // Host folder that holds drive letter d ('C'; 'Z' is the host's root).
    std::string DriveRoot(wchar_t d) const;

    // Processes.
    std::shared_ptr<Process> CreateProcess(const ProcessOptions& opt);
    std::shared_ptr<Process> FindProcess(DWORD pid);
    std::vector<std::shared_ptr<Process>> Processes();
    // Ends a process: every thread is parked, handles closed, waiters released.
    void TerminateProcess(Process& p, DWORD code);
    DWORD NewThreadId();

    // Sessions: 0 is the services' session, 1 the console user's.
    const Session* FindSession(DWORD id) const;
    void AddSession(const Session& s);
    DWORD active_console_session = 1;

    // Clock.
    uint64_t NowMs() { return sched_->Now(); }
    // Tick count start (GetTickCount = start + machine ms, 32 bits).
    uint64_t tick_start_ms() const { return tick_start_ms_; }
    void SetTickStart(uint64_t ms) { tick_start_ms_ = ms; }
    // Local wall-clock time at machine ms 0, as milliseconds since 1601-01-01 (FILETIME/10000).
    int64_t boot_local_ms() const { return boot_local_ms_; }
    void SetBootLocalTime(int year, int month, int day, int hour, int minute, int second, int ms);
    // Minutes west of UTC (UTC = local + bias), as in TIME_ZONE_INFORMATION.
    int tz_bias_minutes = 0;
    void SetClockMode(ClockMode mode, double speed = 1.0) { sched_->SetMode(mode, speed); }
    // Lets the other threads run: when called on a simulated thread, for ms of machine
    // time (virtual mode: at once), like Sleep.
    void RunFor(DWORD ms);
    // Lets every runnable thread run until all are blocked, without moving the clock.
    void RunUntilIdle();

    // Named kernel objects. key is the namespace key built by NamespaceKey.
    std::shared_ptr<KObject> LookupName(const std::wstring& key);
    void BindName(const std::wstring& key, std::shared_ptr<KObject> obj);
    void UnbindName(const std::wstring& key, const KObject* obj);
    // "Global\X" -> "G\X"; "Local\X" or "X" -> "S<session>\X" (session 0 is global).
    static std::wstring NamespaceKey(const std::wstring& name, DWORD session);

    // Debug output of every process, in order.
    std::vector<DebugLine> DebugOutput();
    void ClearDebugOutput();
    void AddDebugLine(const DebugLine& l);
    // Called for every debug line as it is written (the winsim tool prints them).
    std::function<void(const DebugLine&)> debug_sink;

    // Devices reached as \\.\NAME.
    void RegisterDevice(const std::wstring& name, std::shared_ptr<DeviceModel> model);
    std::shared_ptr<DeviceModel> FindDevice(const std::wstring& name);
    template <class T>
    std::shared_ptr<T> Device(const std::wstring& name) {
        return std::dynamic_pointer_cast<T>(FindDevice(name));
    }

    // The environment every new top-level process starts with.
    std::vector<std::pair<std::wstring, std::wstring>> BaseEnvironment(const Session& s);

    // Extensions of other subsystems (window manager, SCM ...), created on first use.
    template <class T>
    T& Ext(const std::string& key) {
        std::lock_guard<std::recursive_mutex> g(ext_mu_);
        auto it = ext_.find(key);
        if (it == ext_.end()) it = ext_.emplace(key, std::make_shared<T>(*this)).first;
        return *static_cast<T*>(it->second.get());
    }

private:
    Machine(const std::string& folder, bool in_memory);
    void Init();

    std::string folder_;
    bool in_memory_;
    std::unique_ptr<Store> store_;
    Scheduler* sched_;  // may outlive the machine while host threads stay parked in it
    std::recursive_mutex mu_;
    std::map<DWORD, std::shared_ptr<Process>> processes_;
    std::map<DWORD, Session> sessions_;
    std::map<std::wstring, std::weak_ptr<KObject>> names_;
    std::map<std::wstring, std::shared_ptr<DeviceModel>> devices_;
    std::vector<DebugLine> debug_;
    DWORD next_pid_ = 1000;
    DWORD next_tid_ = 1004;
    uint64_t tick_start_ms_ = 0;
    int64_t boot_local_ms_ = 0;
    std::recursive_mutex ext_mu_;
    std::map<std::string, std::shared_ptr<void>> ext_;
};

// Attaches the calling host thread to a process of the machine for its lifetime: the
// thread then is a simulated thread and may call the Windows API. With no process given,
// a new one is created from opt.
class ProcessScope {
public:
    explicit ProcessScope(Machine& m, const ProcessOptions& opt = {});
    ProcessScope(Machine& m, std::shared_ptr<Process> p);
    ~ProcessScope();
    ProcessScope(const ProcessScope&) = delete;
    ProcessScope& operator=(const ProcessScope&) = delete;
    Process& process() { return *process_; }
    std::shared_ptr<Process> process_ptr() { return process_; }
    Thread& thread() { return *thread_; }

private:
    Machine& m_;
    std::shared_ptr<Process> process_;
    std::shared_ptr<Thread> thread_;
};

// Text conversions between the host's wchar_t and the machine's UTF-16 and UTF-8.
std::string Utf8(const std::wstring& w);
std::wstring Wide(const std::string& utf8);
std::u16string Utf16(const std::wstring& w);
std::wstring FromUtf16(const std::u16string& s);
std::wstring FromUtf16(const uint8_t* bytes, size_t nbytes);  // little-endian bytes
std::wstring Lower(const std::wstring& s);                    // ASCII and Latin-1 folding
std::wstring Upper(const std::wstring& s);
bool IEquals(const std::wstring& a, const std::wstring& b);

}  // namespace winsim
