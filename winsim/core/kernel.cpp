// winsim: scheduler, waits, kernel objects, processes and threads.
#include "winsim/kernel.h"

#include "winsim/machine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace winsim {

namespace {
thread_local Thread* tls_current = nullptr;

constexpr DWORD kWaitObject0 = 0;
constexpr DWORD kWaitAbandoned0 = 0x80;
constexpr DWORD kWaitTimeout = 258;
constexpr DWORD kStillActive = 259;

const char* StateName(ThreadState s) {
    switch (s) {
    case ThreadState::Created: return "created";
    case ThreadState::Ready: return "ready";
    case ThreadState::Running: return "running";
    case ThreadState::Blocked: return "blocked";
    case ThreadState::Outside: return "outside";
    case ThreadState::Parked: return "parked";
    case ThreadState::Done: return "done";
    }
    return "?";
}

// Checks whether the wait on objects is satisfied for t and, when it is, acquires the
// objects. Runs under the run token.
std::optional<DWORD> TrySatisfy(const std::vector<std::shared_ptr<Waitable>>& objects, bool wait_all, Thread* t) {
    if (objects.empty()) return std::nullopt;
    if (!wait_all) {
        for (size_t i = 0; i < objects.size(); ++i) {
            if (objects[i]->IsSignaled(t)) {
                bool abandoned = objects[i]->Acquire(t);
                return static_cast<DWORD>((abandoned ? kWaitAbandoned0 : kWaitObject0) + i);
            }
        }
        return std::nullopt;
    }
    for (auto& o : objects)
        if (!o->IsSignaled(t)) return std::nullopt;
    bool abandoned = false;
    for (auto& o : objects) abandoned = o->Acquire(t) || abandoned;
    return abandoned ? kWaitAbandoned0 : kWaitObject0;
}
}  // namespace

// ---------------------------------------------------------------------------------------
// Current context

Thread* CurrentThreadOrNull() { return tls_current; }

Thread& CurrentThread() {
    if (!tls_current) {
        std::fputs("winsim: a Windows API function was called from a thread outside the simulation\n", stderr);
        std::abort();
    }
    return *tls_current;
}

Process& CurrentProcess() { return *CurrentThread().process; }
Machine& CurrentMachine() { return CurrentThread().machine; }

// ---------------------------------------------------------------------------------------
// Objects

KObject::~KObject() = default;

void Waitable::Signal() { WakeWaiters(*this); }

void WakeWaiters(Waitable& obj) {
    if (obj.waiters.empty()) return;
    Thread* self = CurrentThreadOrNull();
    Scheduler& s = self ? self->machine.scheduler() : obj.waiters.front()->thread->machine.scheduler();
    std::unique_lock<std::mutex> lk(s.lock());
    // Copy: completing a wait does not unregister it (the woken thread does that itself).
    std::vector<WaitBlock*> list(obj.waiters.begin(), obj.waiters.end());
    for (WaitBlock* wb : list) {
        if (wb->done) continue;
        auto r = TrySatisfy(wb->objects, wb->wait_all, wb->thread);
        if (r) s.Complete(wb, *r);
    }
}

void Event::Set() {
    signaled = true;
    Signal();
}

bool Mutex::Acquire(Thread* t) {
    if (owner == t) {
        ++recursion;
        return false;
    }
    owner = t;
    recursion = 1;
    t->owned_mutexes.push_back(std::static_pointer_cast<Mutex>(shared_from_this()));
    bool was = abandoned;
    abandoned = false;
    return was;
}

bool Mutex::Release(Thread* t) {
    if (owner != t || recursion == 0) return false;
    if (--recursion == 0) {
        owner = nullptr;
        auto& v = t->owned_mutexes;
        v.erase(std::remove_if(v.begin(), v.end(),
                               [this](const std::weak_ptr<Mutex>& w) {
                                   auto p = w.lock();
                                   return !p || p.get() == this;
                               }),
                v.end());
        Signal();
    }
    return true;
}

void Mutex::Abandon() {
    owner = nullptr;
    recursion = 0;
    abandoned = true;
    Signal();
}

Thread::Thread(Machine& m, std::shared_ptr<Process> p, DWORD id) : machine(m), process(std::move(p)), tid(id) {}

void Thread::MarkEnded(DWORD code) {
    if (ended) return;
    ended = true;
    exit_code = code;
    auto owned = std::move(owned_mutexes);
    owned_mutexes.clear();
    for (auto& w : owned)
        if (auto mx = w.lock())
            if (mx->owner == this) mx->Abandon();
    Signal();
    // The process ends with its last thread.
    Process& p = *process;
    if (!p.ended) {
        auto live = p.LiveThreads();
        bool all = std::all_of(live.begin(), live.end(), [](const std::shared_ptr<Thread>& t) { return t->ended; });
        if (all) machine.TerminateProcess(p, code);
    }
}

// ---------------------------------------------------------------------------------------
// Processes

Process::Process(Machine& m, DWORD id) : machine(m), pid(id) {}

std::vector<std::shared_ptr<Thread>> Process::LiveThreads() const {
    std::vector<std::shared_ptr<Thread>> v;
    for (auto& w : threads)
        if (auto t = w.lock()) v.push_back(t);
    return v;
}

HANDLE Process::AddHandle(std::shared_ptr<KObject> obj, ACCESS_MASK access, bool inherit) {
    uintptr_t v = next_handle_;
    next_handle_ += 4;
    handles_[v] = Entry{std::move(obj), access, inherit};
    return reinterpret_cast<HANDLE>(v);
}

std::shared_ptr<KObject> Process::Lookup(HANDLE h, ACCESS_MASK* access) {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (v == static_cast<uintptr_t>(-1)) {  // GetCurrentProcess()
        if (access) *access = 0x1FFFFF;
        return shared_from_this();
    }
    if (v == static_cast<uintptr_t>(-2)) {  // GetCurrentThread()
        if (access) *access = 0x1FFFFF;
        Thread* t = CurrentThreadOrNull();
        return t ? t->shared_from_this() : nullptr;
    }
    auto it = handles_.find(v);
    if (it == handles_.end()) return nullptr;
    if (access) *access = it->second.access;
    return it->second.obj;
}

bool Process::CloseHandleValue(HANDLE h) {
    auto it = handles_.find(reinterpret_cast<uintptr_t>(h));
    if (it == handles_.end()) return false;
    auto obj = it->second.obj;
    handles_.erase(it);
    obj->OnHandleClosed(*this);
    return true;
}

void Process::CloseAllHandles() {
    auto hs = std::move(handles_);
    handles_.clear();
    for (auto& [v, e] : hs) e.obj->OnHandleClosed(*this);
}

std::wstring Process::GetEnv(const std::wstring& name, bool* found) const {
    for (auto& [k, v] : env_)
        if (IEquals(k, name)) {
            if (found) *found = true;
            return v;
        }
    if (found) *found = false;
    return std::wstring();
}

void Process::SetEnv(const std::wstring& name, const std::wstring& value) {
    for (auto& [k, v] : env_)
        if (IEquals(k, name)) {
            v = value;
            return;
        }
    env_.emplace_back(name, value);
}

void Process::UnsetEnv(const std::wstring& name) {
    env_.erase(std::remove_if(env_.begin(), env_.end(), [&](const auto& kv) { return IEquals(kv.first, name); }),
               env_.end());
}

// ---------------------------------------------------------------------------------------
// Scheduler

Scheduler::Scheduler(Machine& m) : m_(m), real_base_(std::chrono::steady_clock::now()) {}

Scheduler::~Scheduler() {
    {
        std::lock_guard<std::mutex> g(mu_);
        stopping_ = true;
    }
    clock_cv_.notify_all();
    if (clock_thread_.joinable()) clock_thread_.join();
}

size_t Scheduler::Shutdown() {
    size_t live = 0;
    {
        std::lock_guard<std::mutex> g(mu_);
        stopping_ = true;
        for (Thread* t : all_)
            if (t->state != ThreadState::Done) ++live;
    }
    clock_cv_.notify_all();
    if (clock_thread_.joinable()) clock_thread_.join();
    return live;
}

bool Scheduler::HasReady() {
    std::lock_guard<std::mutex> g(mu_);
    for (Thread* t : ready_)
        if (t->state == ThreadState::Ready) return true;
    return false;
}

uint64_t Scheduler::NowLocked() {
    if (mode_ == ClockMode::RealTime) {
        auto el = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - real_base_).count();
        uint64_t t = real_base_ms_ + static_cast<uint64_t>(el * speed_);
        if (t > virtual_now_) virtual_now_ = t;
    }
    return virtual_now_;
}

uint64_t Scheduler::Now() {
    std::lock_guard<std::mutex> g(mu_);
    return NowLocked();
}

ClockMode Scheduler::Mode() {
    std::lock_guard<std::mutex> g(mu_);
    return mode_;
}

void Scheduler::SetMode(ClockMode mode, double speed) {
    std::unique_lock<std::mutex> lk(mu_);
    NowLocked();
    mode_ = mode;
    speed_ = speed > 0 ? speed : 1.0;
    real_base_ = std::chrono::steady_clock::now();
    real_base_ms_ = virtual_now_;
    if (mode_ == ClockMode::RealTime && !clock_thread_.joinable())
        clock_thread_ = std::thread([this] { ClockThread(); });
    clock_cv_.notify_all();
    DispatchLocked(lk);
}

void Scheduler::AdvanceTo(uint64_t t) {
    std::unique_lock<std::mutex> lk(mu_);
    if (t > virtual_now_) virtual_now_ = t;
    if (mode_ == ClockMode::RealTime) {
        real_base_ = std::chrono::steady_clock::now();
        real_base_ms_ = virtual_now_;
    }
    ExpireLocked(virtual_now_);
    DispatchLocked(lk);
}

void Scheduler::RemoveTimedLocked(WaitBlock* wb) {
    if (wb->deadline == UINT64_MAX || wb->seq == 0) return;
    timed_.erase({wb->deadline, wb->seq});
    timed_blocks_.erase(wb->seq);
}

bool Scheduler::CompleteLocked(WaitBlock* wb, DWORD result) {
    if (wb->done) return false;
    wb->done = true;
    wb->result = result;
    RemoveTimedLocked(wb);
    Thread* t = wb->thread;
    if (t->state == ThreadState::Blocked) {
        t->state = ThreadState::Ready;
        ready_.push_back(t);
    }
    return true;
}

bool Scheduler::Complete(WaitBlock* wb, DWORD result) {
    // The caller holds lock() (see WakeWaiters).
    return CompleteLocked(wb, result);
}

void Scheduler::ExpireLocked(uint64_t now) {
    while (!timed_.empty() && timed_.begin()->first <= now) {
        uint64_t seq = timed_.begin()->second;
        WaitBlock* wb = timed_blocks_[seq];
        CompleteLocked(wb, kWaitTimeout);
    }
}

void Scheduler::DispatchLocked(std::unique_lock<std::mutex>&) {
    if (running_ || stopping_ || drivers_ == 0) return;
    for (;;) {
        while (!ready_.empty()) {
            Thread* n = ready_.front();
            ready_.pop_front();
            if (n->state != ThreadState::Ready) continue;
            running_ = n;
            n->state = ThreadState::Running;
            n->cv.notify_one();
            return;
        }
        if (mode_ == ClockMode::RealTime) {
            clock_cv_.notify_all();
            return;
        }
        if (outside_ > 0 || external_ > 0) return;
        if (timed_.empty()) {
            if (!deadlock_reported_) {
                deadlock_reported_ = true;
                std::string msg = "winsim: every thread is blocked for good (deadlock)\n" + DescribeThreads();
                if (on_deadlock) {
                    on_deadlock(msg);
                } else {
                    std::fputs(msg.c_str(), stderr);
                    std::abort();
                }
            }
            return;
        }
        uint64_t d = timed_.begin()->first;
        if (d > virtual_now_) virtual_now_ = d;
        ExpireLocked(virtual_now_);
    }
}

void Scheduler::WaitTokenLocked(std::unique_lock<std::mutex>& lk, Thread* t) {
    t->cv.wait(lk, [&] { return running_ == t && !stopping_; });
}

void Scheduler::Attach(Thread* t) {
    std::unique_lock<std::mutex> lk(mu_);
    all_.insert(t);
    t->driver = true;
    ++drivers_;
    deadlock_reported_ = false;
    t->state = ThreadState::Ready;
    ready_.push_back(t);
    DispatchLocked(lk);
    WaitTokenLocked(lk, t);
}

void Scheduler::FirstRun(Thread* t) {
    std::unique_lock<std::mutex> lk(mu_);
    WaitTokenLocked(lk, t);
}

void Scheduler::Register(Thread* t) {
    std::lock_guard<std::mutex> g(mu_);
    all_.insert(t);
}

void Scheduler::Start(Thread* t) {
    std::unique_lock<std::mutex> lk(mu_);
    all_.insert(t);
    if (t->state != ThreadState::Created) return;
    t->state = ThreadState::Ready;
    ready_.push_back(t);
    DispatchLocked(lk);
}

void Scheduler::Exit(Thread* t) {
    std::unique_lock<std::mutex> lk(mu_);
    if (t->state != ThreadState::Parked) t->state = ThreadState::Done;
    if (t->driver) {
        t->driver = false;
        --drivers_;
    }
    all_.erase(t);
    if (running_ == t) running_ = nullptr;
    DispatchLocked(lk);
}

void Scheduler::Block(Thread* t, WaitBlock* wb) {
    std::unique_lock<std::mutex> lk(mu_);
    if (!wb->done) {
        if (wb->deadline != UINT64_MAX) {
            wb->seq = ++seq_;
            timed_.insert({wb->deadline, wb->seq});
            timed_blocks_[wb->seq] = wb;
            if (mode_ == ClockMode::RealTime) clock_cv_.notify_all();
        }
        t->state = ThreadState::Blocked;
        t->wait = wb;
        running_ = nullptr;
        DispatchLocked(lk);
        WaitTokenLocked(lk, t);
    }
    t->wait = nullptr;
}

void Scheduler::Yield(Thread* t) {
    std::unique_lock<std::mutex> lk(mu_);
    if (ready_.empty()) return;
    t->state = ThreadState::Ready;
    ready_.push_back(t);
    running_ = nullptr;
    DispatchLocked(lk);
    WaitTokenLocked(lk, t);
}

void Scheduler::Park(Thread* t) {
    std::unique_lock<std::mutex> lk(mu_);
    if (t->state == ThreadState::Done || t->state == ThreadState::Parked) return;
    if (t->wait && !t->wait->done) {
        t->wait->done = true;
        RemoveTimedLocked(t->wait);
        // Unregister from the objects (we hold the run token).
        for (auto& o : t->wait->objects) o->waiters.remove(t->wait);
    }
    if (t->state == ThreadState::Outside) --outside_;
    if (t->driver) {
        t->driver = false;
        --drivers_;
    }
    t->state = ThreadState::Parked;
}

void Scheduler::Leave(Thread* t) {
    std::unique_lock<std::mutex> lk(mu_);
    t->state = ThreadState::Outside;
    ++outside_;
    if (running_ == t) running_ = nullptr;
    DispatchLocked(lk);
}

void Scheduler::Return(Thread* t) {
    std::unique_lock<std::mutex> lk(mu_);
    if (t->state != ThreadState::Outside) {
        WaitTokenLocked(lk, t);  // parked meanwhile: never returns
        return;
    }
    --outside_;
    t->state = ThreadState::Ready;
    ready_.push_back(t);
    DispatchLocked(lk);
    WaitTokenLocked(lk, t);
}

void Scheduler::BeginExternal() {
    std::lock_guard<std::mutex> g(mu_);
    ++external_;
}

void Scheduler::EndExternal() {
    std::unique_lock<std::mutex> lk(mu_);
    --external_;
    DispatchLocked(lk);
}

size_t Scheduler::LiveThreads() {
    std::lock_guard<std::mutex> g(mu_);
    return all_.size();
}

std::string Scheduler::DescribeThreads() {
    std::ostringstream os;
    os << "  machine time " << virtual_now_ << " ms\n";
    for (Thread* t : all_) {
        os << "  thread " << t->tid << " of process " << t->process->pid << " (" << Utf8(t->process->image_path) << ")";
        if (!t->description.empty()) os << " [" << Utf8(t->description) << "]";
        os << ": " << StateName(t->state);
        if (t->wait && !t->wait->done) {
            os << " on";
            for (auto& o : t->wait->objects)
                os << " " << o->TypeName() << (o->Name().empty() ? "" : "(" + Utf8(o->Name()) + ")");
            if (t->wait->deadline != UINT64_MAX) os << " until " << t->wait->deadline;
        }
        os << "\n";
    }
    return os.str();
}

void Scheduler::ClockThread() {
    std::unique_lock<std::mutex> lk(mu_);
    while (!stopping_) {
        if (mode_ != ClockMode::RealTime) {
            clock_cv_.wait(lk);
            continue;
        }
        uint64_t now = NowLocked();
        ExpireLocked(now);
        DispatchLocked(lk);
        if (timed_.empty()) {
            clock_cv_.wait(lk);
        } else {
            double wait_ms = static_cast<double>(timed_.begin()->first - std::min(now, timed_.begin()->first)) / speed_;
            clock_cv_.wait_for(lk, std::chrono::duration<double, std::milli>(std::max(wait_ms, 0.05)));
        }
    }
}

// ---------------------------------------------------------------------------------------
// Waits and threads

DWORD WaitOn(const std::vector<std::shared_ptr<Waitable>>& objects, bool wait_all, DWORD timeout_ms) {
    Thread& t = CurrentThread();
    Scheduler& s = t.machine.scheduler();
    {
        std::lock_guard<std::mutex> g(s.lock());
        if (auto r = TrySatisfy(objects, wait_all, &t)) return *r;
    }
    if (timeout_ms == 0) {
        if (objects.empty()) s.Yield(&t);
        return kWaitTimeout;
    }
    WaitBlock wb;
    wb.thread = &t;
    wb.objects = objects;
    wb.wait_all = wait_all;
    wb.deadline = timeout_ms == INFINITE ? UINT64_MAX : s.Now() + timeout_ms;
    for (auto& o : objects) o->waiters.push_back(&wb);
    s.Block(&t, &wb);
    for (auto& o : objects) o->waiters.remove(&wb);
    return wb.result;
}

std::shared_ptr<Thread> SpawnThread(Machine& m, std::shared_ptr<Process> p, std::function<DWORD()> fn, bool suspended,
                                    const std::wstring& description) {
    auto t = std::make_shared<Thread>(m, p, m.NewThreadId());
    t->description = description;
    t->suspend_count = suspended ? 1 : 0;
    p->threads.push_back(t);
    Scheduler& s = m.scheduler();
    s.Register(t.get());
    std::thread([t, fn = std::move(fn), &s]() {
        tls_current = t.get();
        s.FirstRun(t.get());
        DWORD code = 0;
        try {
            code = fn();
        } catch (const ThreadExitUnwind& e) {
            code = e.code;
        }
        t->MarkEnded(code);
        tls_current = nullptr;
        s.Exit(t.get());
    }).detach();
    if (!suspended) s.Start(t.get());
    return t;
}

// ---------------------------------------------------------------------------------------
// ProcessScope

ProcessScope::ProcessScope(Machine& m, const ProcessOptions& opt) : ProcessScope(m, m.CreateProcess(opt)) {}

ProcessScope::ProcessScope(Machine& m, std::shared_ptr<Process> p) : m_(m), process_(std::move(p)) {
    if (tls_current) {
        std::fputs("winsim: ProcessScope on a thread that already is a simulated thread\n", stderr);
        std::abort();
    }
    thread_ = std::make_shared<Thread>(m, process_, m.NewThreadId());
    thread_->description = L"attached";
    process_->threads.push_back(thread_);
    tls_current = thread_.get();
    m.scheduler().Attach(thread_.get());
}

ProcessScope::~ProcessScope() {
    // The attached thread ends like any thread; its process ends when it was the last one.
    thread_->MarkEnded(0);
    tls_current = nullptr;
    m_.scheduler().Exit(thread_.get());
}

}  // namespace winsim
