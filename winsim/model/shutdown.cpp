// winsim: the machine's record of restarts and the privileges of its processes
// (winsim/shutdown.h).
#include "shutdown_internal.h"

namespace winsim::shutdown {

State& StateOf(Machine& m) { return m.Ext<State>("shutdown"); }

std::vector<Request> Requests(Machine& m) {
    State& s = StateOf(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.requests;
}

void SetPromptAnswer(Machine& m, PromptAnswer answer, DWORD error) {
    State& s = StateOf(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.answer = answer;
    s.answer_error = error;
}

int PromptCount(Machine& m) {
    State& s = StateOf(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.prompts;
}

void SetPrivilegeHeld(Machine& m, const std::wstring& name, bool held) {
    State& s = StateOf(m);
    std::lock_guard<std::mutex> g(s.mu);
    if (held)
        s.withheld.erase(name);
    else
        s.withheld.insert(name);
}

bool PrivilegeEnabled(Machine& m, DWORD pid, const std::wstring& name) {
    State& s = StateOf(m);
    std::lock_guard<std::mutex> g(s.mu);
    auto it = s.enabled.find(pid);
    return it != s.enabled.end() && it->second.count(name) != 0;
}

void SetExitFailure(Machine& m, DWORD error) {
    State& s = StateOf(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.exit_error = error;
}

void Record(Machine& m, const Process& p, UINT flags, DWORD reason, bool prompted) {
    State& s = StateOf(m);
    std::lock_guard<std::mutex> g(s.mu);
    Request r;
    r.time_ms = m.NowMs();
    r.pid = p.pid;
    r.image = p.image_path;
    r.flags = flags;
    r.reason = reason;
    r.prompted = prompted;
    s.requests.push_back(r);
}

}  // namespace winsim::shutdown
