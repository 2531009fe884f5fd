// winsim: COM apartments, class creation and proxy security (objbase.h, ole2.h,
// winsim/com.h).
#include "com_internal.h"

#include "winsim/kernel.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

using namespace winsim;

namespace {

std::atomic<long> g_live_objects{0};

struct ClsidLess {
    bool operator()(const CLSID& a, const CLSID& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
};

struct Injected {
    HRESULT hr;
    unsigned count;
};

struct ComState {
    explicit ComState(Machine& m) {
        wmi::detail::RegisterLocator(m, [this](const CLSID& c, com::Factory f) { classes[c] = std::move(f); });
        shell::detail::RegisterShellLink(m, [this](const CLSID& c, com::Factory f) { classes[c] = std::move(f); });
        netcfg::detail::RegisterNetCfg(m, [this](const CLSID& c, com::Factory f) { classes[c] = std::move(f); });
    }
    std::mutex mu;
    std::map<CLSID, com::Factory, ClsidLess> classes;
    std::map<com::Step, Injected> failures;
};

ComState& State(Machine& m) { return m.Ext<ComState>("com"); }

struct Apartment {
    int kind = 0;  // 0 none, else COINIT_* + 1
    unsigned count = 0;
    unsigned ole = 0;
};

Apartment& Apt() {
    Thread& t = CurrentThread();
    auto& slot = t.ext["com.apartment"];
    if (!slot) slot = std::make_shared<Apartment>();
    return *static_cast<Apartment*>(slot.get());
}

}  // namespace

namespace winsim::com {

ObjectBase::ObjectBase() { ++g_live_objects; }
ObjectBase::~ObjectBase() { --g_live_objects; }
ULONG ObjectBase::AddRefImpl() { return static_cast<ULONG>(__atomic_add_fetch(&refs_, 1, __ATOMIC_SEQ_CST)); }
ULONG ObjectBase::ReleaseImpl() {
    long n = __atomic_sub_fetch(&refs_, 1, __ATOMIC_SEQ_CST);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

long LiveObjects() { return g_live_objects.load(); }

void RegisterFactory(Machine& m, const CLSID& clsid, Factory factory) {
    ComState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.classes[clsid] = std::move(factory);
}

void UnregisterFactory(Machine& m, const CLSID& clsid) {
    ComState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.classes.erase(clsid);
}

void InjectFailure(Machine& m, Step step, HRESULT hr, unsigned count) {
    ComState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.failures[step] = {hr, count};
}

void ClearFailures(Machine& m) {
    ComState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.failures.clear();
}

int Apartment() { return Apt().kind; }
unsigned InitCount() { return Apt().count; }
unsigned OleInitCount() { return Apt().ole; }

namespace detail {

bool Injected(Step step, HRESULT* hr) {
    Thread* t = CurrentThreadOrNull();
    if (!t) return false;
    ComState& s = State(CurrentMachine());
    std::lock_guard<std::mutex> g(s.mu);
    auto it = s.failures.find(step);
    if (it == s.failures.end()) return false;
    *hr = it->second.hr;
    if (it->second.count && --it->second.count == 0) s.failures.erase(it);
    return true;
}

}  // namespace detail
}  // namespace winsim::com

extern "C" {

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD coinit) {
    HRESULT hr;
    if (com::detail::Injected(com::Step::CoInitializeEx, &hr)) return hr;
    int kind = (coinit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED + 1 : COINIT_MULTITHREADED + 1;
    ::Apartment& a = Apt();
    if (a.count == 0) {
        a.kind = kind;
        a.count = 1;
        return S_OK;
    }
    if (a.kind != kind) return RPC_E_CHANGED_MODE;
    ++a.count;
    return S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void WINAPI CoUninitialize(void) {
    ::Apartment& a = Apt();
    if (a.count == 0) return;
    if (--a.count == 0) a.kind = 0;
}

HRESULT WINAPI OleInitialize(LPVOID) {
    HRESULT hr;
    if (com::detail::Injected(com::Step::OleInitialize, &hr)) return hr;
    hr = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return hr;
    ::Apartment& a = Apt();
    ++a.ole;
    return (hr == S_FALSE || a.ole > 1) ? S_FALSE : S_OK;
}

void WINAPI OleUninitialize(void) {
    ::Apartment& a = Apt();
    if (a.ole == 0) return;
    --a.ole;
    CoUninitialize();
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    HRESULT hr;
    if (com::detail::Injected(com::Step::CoCreateInstance, &hr)) return hr;
    if (Apt().count == 0) return CO_E_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    com::Factory f;
    {
        ComState& s = State(CurrentMachine());
        std::lock_guard<std::mutex> g(s.mu);
        auto it = s.classes.find(clsid);
        if (it == s.classes.end()) return REGDB_E_CLASSNOTREG;
        f = it->second;
    }
    return f(riid, ppv);
}

HRESULT WINAPI CoSetProxyBlanket(IUnknown* proxy, DWORD, DWORD, WCHAR*, DWORD, DWORD, RPC_AUTH_IDENTITY_HANDLE, DWORD) {
    if (!proxy) return E_INVALIDARG;
    HRESULT hr;
    if (com::detail::Injected(com::Step::CoSetProxyBlanket, &hr)) return hr;
    return S_OK;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }

void WINAPI CoTaskMemFree(LPVOID pv) { std::free(pv); }

}  // extern "C"
