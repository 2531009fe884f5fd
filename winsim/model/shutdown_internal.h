// winsim: the state behind winsim/shutdown.h, shared by advapi32 (tokens), user32
// (ExitWindowsEx) and setupapi (SetupPromptReboot).
#pragma once

#include "winsim/kernel.h"
#include "winsim/shutdown.h"

#include <map>
#include <mutex>
#include <set>

namespace winsim::shutdown {

struct State {
    explicit State(Machine&) {}
    std::mutex mu;
    std::vector<Request> requests;
    PromptAnswer answer = PromptAnswer::Decline;
    DWORD answer_error = 0;
    int prompts = 0;
    DWORD exit_error = 0;
    std::set<std::wstring> withheld;                  // privileges the user does not hold
    std::map<DWORD, std::set<std::wstring>> enabled;  // per process
};

State& StateOf(Machine& m);
void Record(Machine& m, const Process& p, UINT flags, DWORD reason, bool prompted);

}  // namespace winsim::shutdown
