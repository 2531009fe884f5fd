// winsim: the module vendor's connection library GobiApi.dll, a module whose two entries
// record their calls (winsim/mbn.h).
#include <windows.h>

#include "GobiApi.h"
#include "internal.h"
#include "winsim/kernel.h"
#include "winsim/mbn.h"
#include "winsim/modules.h"

#include <mutex>

namespace winsim::gobi {

namespace {

struct State {
    explicit State(Machine&) {}
    std::mutex mu;
    std::vector<CallRecord> calls;
    ULONG connect_result = 0;
    ULONG disconnect_result = 0;
};

State& St(Machine& m) { return m.Ext<State>("gobi"); }

ULONG Record(const char* entry, bool null_args) {
    Machine& m = CurrentMachine();
    Thread* t = CurrentThreadOrNull();
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.calls.push_back({entry, null_args, t ? static_cast<DWORD>(t->process->pid) : 0});
    return std::string(entry) == GOBIAPI_CONNECT_NAME ? s.connect_result : s.disconnect_result;
}

ULONG __cdecl StandInConnect(CHAR* pDeviceNode, CHAR* pDeviceKey) {
    return Record(GOBIAPI_CONNECT_NAME, pDeviceNode == NULL && pDeviceKey == NULL);
}

ULONG __cdecl StandInDisconnect(void) { return Record(GOBIAPI_DISCONNECT_NAME, true); }

// The entries keep the project's prototype.
const PFN_QCWWANConnect kConnect = &StandInConnect;
const PFN_QCWWANDisconnect kDisconnect = &StandInDisconnect;

}  // namespace

void SetVariant(Machine& m, Variant v) {
    ModuleSpec desc;
    desc.name = kModuleName;
    if (v == Variant::Full || v == Variant::NoDisconnect)
        desc.exports[GOBIAPI_CONNECT_NAME] = reinterpret_cast<void*>(kConnect);
    if (v == Variant::Full || v == Variant::NoConnect)
        desc.exports[GOBIAPI_DISCONNECT_NAME] = reinterpret_cast<void*>(kDisconnect);
    Modules(m).Register(desc);
}

void Install(Machine& m, const std::wstring& path) { Modules(m).InstallFile(path, kModuleName); }

void SetResults(Machine& m, ULONG connect, ULONG disconnect) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.connect_result = connect;
    s.disconnect_result = disconnect;
}

std::vector<CallRecord> Calls(Machine& m) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.calls;
}

int ConnectCalls(Machine& m) {
    int n = 0;
    for (auto& c : Calls(m)) n += c.entry == GOBIAPI_CONNECT_NAME;
    return n;
}

int DisconnectCalls(Machine& m) {
    int n = 0;
    for (auto& c : Calls(m)) n += c.entry == GOBIAPI_DISCONNECT_NAME;
    return n;
}

}  // namespace winsim::gobi

namespace winsim::internal {

void InitGobi(Machine& m) { gobi::SetVariant(m, gobi::Variant::Full); }

}  // namespace winsim::internal
