// winsim: the simulated machine's kernel: processes, threads, handles, waitable objects,
// named-object namespaces and the scheduler that drives one machine clock.
//
// Scheduling model. Every simulated thread is a real host thread, but only one of them
// runs at a time: the holder of the machine's run token. A thread gives the token up only
// inside a blocking call (a wait, Sleep, a message retrieval, a synchronous device read) or
// when it ends; the token then passes to the thread that became runnable first. Kernel
// object state is only touched by the token holder, so it needs no further locks, and a
// given program and test produce the same interleaving on every run.
//
// Time. In virtual-time mode the clock stands still while any thread runs; when every
// thread is blocked it jumps straight to the earliest deadline. In real-time mode it
// follows the host's monotonic clock (optionally scaled) and a clock thread wakes timed
// waits when they are due.
#pragma once

#include "../windef.h"
#include "../winerror.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace winsim {

class Machine;
class Process;
class Thread;
class Scheduler;

// ---------------------------------------------------------------------------------------
// Kernel objects

class KObject : public std::enable_shared_from_this<KObject> {
public:
    virtual ~KObject();
    virtual const char* TypeName() const = 0;
    // Called when a handle to the object is closed (before the reference is dropped).
    virtual void OnHandleClosed(Process&) {}
    const std::wstring& Name() const { return name_; }
    void SetName(const std::wstring& ns_key) { name_ = ns_key; }

private:
    std::wstring name_;  // namespace key when named, else empty
};

struct WaitBlock;

// An object that threads can wait on.
class Waitable : public KObject {
public:
    // True when a wait by t would be satisfied now.
    virtual bool IsSignaled(const Thread* t) const = 0;
    // Consumes the signal for t (auto-reset events reset, mutexes become owned ...).
    // Returns true when the acquisition reports abandonment (mutexes only).
    virtual bool Acquire(Thread* t) = 0;
    // Wakes the waiters that the object's new state satisfies, oldest first.
    void Signal();

    std::list<WaitBlock*> waiters;
};

class Event : public Waitable {
public:
    Event(bool manual, bool initial) : manual_reset(manual), signaled(initial) {}
    const char* TypeName() const override { return "Event"; }
    bool IsSignaled(const Thread*) const override { return signaled; }
    bool Acquire(Thread*) override {
        if (!manual_reset) signaled = false;
        return false;
    }
    void Set();
    void Reset() { signaled = false; }

    bool manual_reset;
    bool signaled;
};

class Mutex : public Waitable {
public:
    const char* TypeName() const override { return "Mutex"; }
    bool IsSignaled(const Thread* t) const override { return owner == nullptr || owner == t; }
    bool Acquire(Thread* t) override;
    // Releases one level of ownership held by t; false when t does not own it.
    bool Release(Thread* t);
    // The owning thread ended without releasing.
    void Abandon();

    Thread* owner = nullptr;
    unsigned recursion = 0;
    bool abandoned = false;
};

// ---------------------------------------------------------------------------------------
// Threads

enum class ThreadState {
    Created,  // not yet started (CREATE_SUSPENDED, or waiting for its host thread)
    Ready,    // runnable, waiting for the run token
    Running,  // holds the run token
    Blocked,  // in a blocking call
    Outside,  // attached but temporarily outside the simulation (see Scheduler::Leave)
    Parked,   // terminated from outside; its host thread never runs again
    Done,     // ended
};

// Thrown inside a simulated thread to end it (ExitThread, ExitProcess); caught by the
// thread's entry trampoline. System code never catches it.
struct ThreadExitUnwind {
    DWORD code;
};

class Thread : public Waitable {
public:
    Thread(Machine& m, std::shared_ptr<Process> p, DWORD id);
    const char* TypeName() const override { return "Thread"; }
    bool IsSignaled(const Thread*) const override { return ended; }
    bool Acquire(Thread*) override { return false; }

    Machine& machine;
    std::shared_ptr<Process> process;
    const DWORD tid;

    // Scheduler state (guarded by the scheduler's lock).
    ThreadState state = ThreadState::Created;
    std::condition_variable cv;
    WaitBlock* wait = nullptr;
    unsigned suspend_count = 0;

    // Thread state (guarded by the run token).
    bool ended = false;
    DWORD exit_code = 259;  // STILL_ACTIVE
    DWORD last_error = 0;
    int priority = 0;
    std::vector<std::weak_ptr<Mutex>> owned_mutexes;
    bool driver = false;       // an attached host thread (test or program main) that drives the machine
    std::wstring description;  // for diagnostics
    // Per-thread extensions of other subsystems (message queue, COM apartment ...).
    std::map<std::string, std::shared_ptr<void>> ext;

    // Ends the thread: exit code, abandoned mutexes, waiters released.
    void MarkEnded(DWORD code);
};

// ---------------------------------------------------------------------------------------
// Waits

struct WaitBlock {
    Thread* thread = nullptr;
    std::vector<std::shared_ptr<Waitable>> objects;
    bool wait_all = false;
    uint64_t deadline = UINT64_MAX;  // machine ms; UINT64_MAX = no time-out
    uint64_t seq = 0;
    // Set when the wait is over (guarded by the scheduler's lock).
    bool done = false;
    DWORD result = 0;
};

// ---------------------------------------------------------------------------------------
// Processes

struct DebugLine {
    uint64_t time_ms;
    DWORD pid;
    DWORD tid;
    std::wstring text;
};

class Process : public Waitable {
public:
    Process(Machine& m, DWORD id);
    const char* TypeName() const override { return "Process"; }
    bool IsSignaled(const Thread*) const override { return ended; }
    bool Acquire(Thread*) override { return false; }

    // Handle table. Values are multiples of 4 and never reused.
    HANDLE AddHandle(std::shared_ptr<KObject> obj, ACCESS_MASK access = 0x1FFFFF, bool inherit = false);
    std::shared_ptr<KObject> Lookup(HANDLE h, ACCESS_MASK* access = nullptr);
    template <class T>
    std::shared_ptr<T> LookupAs(HANDLE h) {
        return std::dynamic_pointer_cast<T>(Lookup(h));
    }
    bool CloseHandleValue(HANDLE h);
    size_t HandleCount() const { return handles_.size(); }
    // Closes every handle (process end).
    void CloseAllHandles();

    // Environment (names compared without regard to case).
    std::wstring GetEnv(const std::wstring& name, bool* found = nullptr) const;
    void SetEnv(const std::wstring& name, const std::wstring& value);
    void UnsetEnv(const std::wstring& name);
    const std::vector<std::pair<std::wstring, std::wstring>>& Env() const { return env_; }

    Machine& machine;
    const DWORD pid;
    DWORD session = 1;
    std::wstring user;        // account name, e.g. "SYSTEM" or "User"
    std::wstring user_sid;    // picks the HKEY_CURRENT_USER hive
    bool image64 = true;      // the image's bitness (the machine is 64-bit)
    std::wstring image_path;  // full Windows path of the program file
    std::wstring command_line;
    std::wstring current_dir;
    DWORD priority_class = 0x20;  // NORMAL_PRIORITY_CLASS
    DWORD parent_pid = 0;
    // Protected (or of another user in another session): other processes may open it for
    // SYNCHRONIZE and PROCESS_QUERY_LIMITED_INFORMATION only.
    bool protected_process = false;
    bool ended = false;
    DWORD exit_code = 259;                       // STILL_ACTIVE
    std::vector<std::weak_ptr<Thread>> threads;  // kept alive by their host threads and handles
    std::vector<std::shared_ptr<Thread>> LiveThreads() const;
    std::vector<DebugLine> debug_output;
    // Per-process extensions of other subsystems (window classes, modules, COM ...).
    std::map<std::string, std::shared_ptr<void>> ext;

    bool IsWow64() const { return !image64; }

private:
    struct Entry {
        std::shared_ptr<KObject> obj;
        ACCESS_MASK access;
        bool inherit;
    };
    std::map<uintptr_t, Entry> handles_;
    uintptr_t next_handle_ = 4;
    std::vector<std::pair<std::wstring, std::wstring>> env_;
};

// ---------------------------------------------------------------------------------------
// Scheduler

enum class ClockMode { Virtual, RealTime };

class Scheduler {
public:
    explicit Scheduler(Machine& m);
    ~Scheduler();

    // The calling host thread becomes thread t, a driver of the machine, and waits for
    // the token. While no driver is attached the machine stands still.
    void Attach(Thread* t);
    // A spawned thread's host thread waits for its first turn.
    void FirstRun(Thread* t);
    // The running thread ends; the token passes on. The host thread may then return.
    void Exit(Thread* t);
    // Blocks the running thread on wb (objects already registered) until it completes.
    void Block(Thread* t, WaitBlock* wb);
    // Lets every other runnable thread run once before t continues.
    void Yield(Thread* t);
    // Makes the scheduler know a new thread (before its host thread starts).
    void Register(Thread* t);
    // Makes a created or suspended thread runnable.
    void Start(Thread* t);
    // Marks a thread that is not running as terminated for good.
    void Park(Thread* t);
    // Completes wb with result; false when it was already complete. The caller holds
    // lock() and the run token.
    bool Complete(WaitBlock* wb, DWORD result);
    // Temporarily leaves the simulation (a host-side blocking call); time does not jump
    // while any thread is outside. Re-enter with Return.
    void Leave(Thread* t);
    void Return(Thread* t);
    // External activity (a host process, a host timer) that will come back with an event.
    void BeginExternal();
    void EndExternal();

    uint64_t Now();
    void SetMode(ClockMode mode, double speed);
    ClockMode Mode();
    // Sets the clock forward (never back) and wakes due waits.
    void AdvanceTo(uint64_t t);
    // Called when every thread is blocked for good in virtual time.
    std::function<void(const std::string&)> on_deadlock;
    std::string DescribeThreads();
    std::mutex& lock() { return mu_; }
    Thread* running() const { return running_; }
    size_t LiveThreads();
    bool HasReady();

private:
    void DispatchLocked(std::unique_lock<std::mutex>& lk);
    void WaitTokenLocked(std::unique_lock<std::mutex>& lk, Thread* t);
    void ExpireLocked(uint64_t now);
    void ClockThread();
    uint64_t NowLocked();
    bool CompleteLocked(WaitBlock* wb, DWORD result);
    void RemoveTimedLocked(WaitBlock* wb);

public:
    // Stops all scheduling (machine teardown); returns the number of host threads that
    // stay parked inside the scheduler.
    size_t Shutdown();

    Machine& m_;
    std::mutex mu_;
    Thread* running_ = nullptr;
    std::deque<Thread*> ready_;
    std::set<std::pair<uint64_t, uint64_t>> timed_;  // (deadline, seq)
    std::map<uint64_t, WaitBlock*> timed_blocks_;    // seq -> block
    uint64_t seq_ = 0;
    uint64_t virtual_now_ = 0;
    ClockMode mode_ = ClockMode::Virtual;
    double speed_ = 1.0;
    std::chrono::steady_clock::time_point real_base_;
    uint64_t real_base_ms_ = 0;
    int outside_ = 0;
    int external_ = 0;
    int drivers_ = 0;
    std::set<Thread*> all_;
    bool deadlock_reported_ = false;
    std::thread clock_thread_;
    std::condition_variable clock_cv_;
    bool stopping_ = false;
};

// ---------------------------------------------------------------------------------------
// Current context of the calling host thread

Thread* CurrentThreadOrNull();
Thread& CurrentThread();  // aborts with a message when called outside the simulation
Process& CurrentProcess();
Machine& CurrentMachine();

// Sets the calling thread's last error and returns ret (for "return Fail(ERROR_X, FALSE)").
template <class T>
T Fail(DWORD err, T ret) {
    CurrentThread().last_error = err;
    return ret;
}

// Waits on objects as WaitForMultipleObjects does (results WAIT_OBJECT_0 + i,
// WAIT_ABANDONED_0 + i, WAIT_TIMEOUT). With no objects it is a plain timed sleep.
DWORD WaitOn(const std::vector<std::shared_ptr<Waitable>>& objects, bool wait_all, DWORD timeout_ms);

// Releases every thread waiting on obj whose wait the current state satisfies.
void WakeWaiters(Waitable& obj);

// Runs fn as a new simulated thread of process p; returns the thread.
std::shared_ptr<Thread> SpawnThread(Machine& m, std::shared_ptr<Process> p, std::function<DWORD()> fn,
                                    bool suspended = false, const std::wstring& description = L"");

}  // namespace winsim
