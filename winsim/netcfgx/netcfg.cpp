// winsim: the network configuration object (CLSID_CNetCfg) and its interfaces over the
// machine's components and binding paths (winsim/netcfg.h).
#include <windows.h>

#include <ole2.h>
// Defines the GUIDs of netcfgx.h here.
#include <initguid.h>

#include <netcfgx.h>

#include "com_internal.h"
#include "winsim/devices.h"
#include "winsim/kernel.h"
#include "winsim/netcfg.h"
#include "winsim/registry.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

using namespace winsim;

namespace {

struct State {
    explicit State(Machine&) {}
    // Reads the machine's adapters once, outside the machine's extension lock (the store
    // must not be entered while it is held).
    void Seed(Machine& m);
    std::once_flag seeded;
    std::mutex mu;
    std::vector<netcfg::Component> components;
    std::wstring holder;  // the write lock's holder ("" free)
    const void* holder_instance = nullptr;
    HRESULT apply_result = S_OK;
    unsigned applies = 0;
    unsigned open = 0;
};

State& St(Machine& m) {
    State& s = m.Ext<State>("netcfg");
    std::call_once(s.seeded, [&] { s.Seed(m); });
    return s;
}

bool SameGuid(const std::wstring& a, const GUID& b) {
    wchar_t text[40];
    std::swprintf(text, 40, L"{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", b.Data1, b.Data2, b.Data3,
                  b.Data4[0], b.Data4[1], b.Data4[2], b.Data4[3], b.Data4[4], b.Data4[5], b.Data4[6], b.Data4[7]);
    return IEquals(a, text);
}

GUID ParseGuid(const std::wstring& s) {
    GUID g{};
    unsigned d[11] = {};
    if (std::swscanf(s.c_str(), L"{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2], &d[3], &d[4], &d[5],
                     &d[6], &d[7], &d[8], &d[9], &d[10]) == 11) {
        g.Data1 = d[0];
        g.Data2 = static_cast<unsigned short>(d[1]);
        g.Data3 = static_cast<unsigned short>(d[2]);
        for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<unsigned char>(d[3 + i]);
    }
    return g;
}

netcfg::Component* FindById(State& s, const std::wstring& id) {
    for (auto& c : s.components)
        if (IEquals(c.id, id)) return &c;
    return nullptr;
}

void AddPath(State& s, const wchar_t* id, const std::wstring& token) {
    netcfg::Component* c = FindById(s, id);
    if (!c) return;
    for (auto& p : c->paths)
        if (IEquals(p.token, token)) return;
    c->paths.push_back({token, true});
}

// The adapter's component and the paths of the client, the service and the protocol to it.
void BindAdapter(State& s, const std::wstring& id, const std::wstring& name, const std::wstring& guid,
                 const std::wstring& pnp_id) {
    netcfg::Component a;
    a.id = Lower(id);
    a.display_name = name;
    a.class_guid = netcfg::kNet;
    a.bind_name = guid;
    a.pnp_id = pnp_id;
    bool replaced = false;
    for (auto& c : s.components)
        if (IEquals(c.id, a.id) && IEquals(c.bind_name, guid)) c = a, replaced = true;
    if (!replaced) s.components.push_back(a);
    AddPath(s, L"ms_tcpip", L"ms_tcpip->" + guid);
    AddPath(s, L"ms_msclient", L"ms_msclient->ms_netbt->ms_tcpip->" + guid);
    AddPath(s, L"ms_server", L"ms_server->ms_netbt->ms_tcpip->" + guid);
}

void State::Seed(Machine& m) {
    struct Adapter {
        std::wstring id, name, guid, pnp_id;
    };
    std::vector<Adapter> adapters;
    DeviceTree tree(m);
    Registry reg(m);
    for (const DeviceNode& n : tree.List()) {
        if (!IEquals(n.class_guid, devclass::kNet)) continue;
        std::wstring key = tree.DriverKey(n.devinst);
        auto guid = key.empty() ? std::nullopt : reg.GetString(key, L"NetCfgInstanceId");
        if (!guid || guid->empty()) continue;
        auto ids = reg.GetMultiString(tree.EnumKey(n.devinst), L"HardwareID");
        std::wstring id = ids && !ids->empty() ? ids->front() : n.instance_id;
        adapters.push_back(
            {id, reg.GetString(tree.EnumKey(n.devinst), L"DeviceDesc").value_or(id), *guid, n.instance_id});
    }
    const wchar_t* const base[][4] = {
        {L"ms_msclient", L"Client for Networks", netcfg::kNetClient, L"LanmanWorkstation"},
        {L"ms_server", L"File and Printer Sharing", netcfg::kNetService, L"LanmanServer"},
        {L"ms_tcpip", L"Internet Protocol (TCP/IP)", netcfg::kNetTrans, L"Tcpip"},
    };
    std::lock_guard<std::mutex> g(mu);
    for (auto& b : base) {
        netcfg::Component c;
        c.id = b[0];
        c.display_name = b[1];
        c.class_guid = b[2];
        c.bind_name = b[3];
        components.push_back(c);
    }
    for (const Adapter& a : adapters) BindAdapter(*this, a.id, a.name, a.guid, a.pnp_id);
}

LPWSTR TaskCopy(const std::wstring& s) {
    auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(wchar_t)));
    if (p) std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(wchar_t));
    return p;
}

HRESULT OutText(LPWSTR* out, const std::wstring& s) {
    if (!out) return E_POINTER;
    *out = TaskCopy(s);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// One INetCfg instance's session: its lock, its initialisation and its changes not yet
// applied (by component ID and token).
struct Session {
    Machine* m = nullptr;
    bool locked = false;
    bool initialized = false;
    std::map<std::pair<std::wstring, std::wstring>, bool> pending;
};

template <class I>
class Unknown : public I, public com::ObjectBase {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

protected:
    HRESULT Query(REFIID riid, const IID& own, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, own)) {
            *ppv = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
};

class PathObject : public Unknown<INetCfgBindingPath> {
public:
    PathObject(std::shared_ptr<Session> s, std::wstring owner, std::wstring token)
        : s_(std::move(s)), owner_(std::move(owner)), token_(std::move(token)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return Query(riid, IID_INetCfgBindingPath, ppv);
    }
    HRESULT STDMETHODCALLTYPE IsSamePathAs(INetCfgBindingPath*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsSubPathOf(INetCfgBindingPath*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsEnabled() override {
        auto it = s_->pending.find({Lower(owner_), Lower(token_)});
        if (it != s_->pending.end()) return it->second ? S_OK : S_FALSE;
        State& st = St(*s_->m);
        std::lock_guard<std::mutex> g(st.mu);
        netcfg::Component* c = FindById(st, owner_);
        if (c)
            for (auto& p : c->paths)
                if (IEquals(p.token, token_)) return p.enabled ? S_OK : S_FALSE;
        return NETCFG_E_NOT_INITIALIZED;
    }
    HRESULT STDMETHODCALLTYPE Enable(BOOL enable) override {
        if (!s_->initialized) return NETCFG_E_NOT_INITIALIZED;
        if (!s_->locked) return NETCFG_E_NO_WRITE_LOCK;
        s_->pending[{Lower(owner_), Lower(token_)}] = enable != FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPathToken(LPWSTR* out) override { return OutText(out, token_); }
    HRESULT STDMETHODCALLTYPE GetOwner(INetCfgComponent**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDepth(ULONG* depth) override {
        if (!depth) return E_POINTER;
        ULONG n = 1;
        for (size_t p = token_.find(L"->"); p != std::wstring::npos; p = token_.find(L"->", p + 2)) ++n;
        *depth = n;
        return S_OK;
    }

private:
    std::shared_ptr<Session> s_;
    std::wstring owner_, token_;
};

// An enumerator over a snapshot of items made on demand.
template <class IEnum, class Item, class Make>
class EnumObject : public Unknown<IEnum> {
public:
    EnumObject(const IID& iid, size_t count, Make make) : iid_(iid), count_(count), make_(std::move(make)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return this->Query(riid, iid_, ppv); }
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, Item** items, ULONG* fetched) override {
        if (!items || (celt > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        while (n < celt && pos_ < count_) items[n++] = make_(pos_++);
        if (fetched) *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override {
        pos_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnum**) override { return E_NOTIMPL; }

private:
    IID iid_;
    size_t count_;
    size_t pos_ = 0;
    Make make_;
};

template <class IEnum, class Item, class Make>
IEnum* MakeEnum(const IID& iid, size_t count, Make make) {
    return new EnumObject<IEnum, Item, Make>(iid, count, std::move(make));
}

class ComponentObject : public Unknown<INetCfgComponent>, public INetCfgComponentBindings {
public:
    ComponentObject(std::shared_ptr<Session> s, netcfg::Component c) : s_(std::move(s)), c_(std::move(c)) {}
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv && IsEqualGUID(riid, IID_INetCfgComponentBindings)) {
            *ppv = static_cast<INetCfgComponentBindings*>(this);
            AddRef();
            return S_OK;
        }
        return Query(riid, IID_INetCfgComponent, ppv);
    }
    HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR* out) override { return OutText(out, c_.display_name); }
    HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpText(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* out) override { return OutText(out, c_.id); }
    HRESULT STDMETHODCALLTYPE GetCharacteristics(LPDWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInstanceGuid(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPnpDevNodeId(LPWSTR* out) override {
        if (c_.pnp_id.empty()) return E_UNEXPECTED;
        return OutText(out, c_.pnp_id);
    }
    HRESULT STDMETHODCALLTYPE GetClassGuid(GUID* out) override {
        if (!out) return E_POINTER;
        *out = ParseGuid(c_.class_guid);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBindName(LPWSTR* out) override { return OutText(out, c_.bind_name); }
    HRESULT STDMETHODCALLTYPE GetDeviceStatus(ULONG* out) override {
        if (!out) return E_POINTER;
        if (!IEquals(c_.class_guid, netcfg::kNet)) return E_UNEXPECTED;
        *out = c_.status;
        return S_OK;
    }
    // INetCfgComponentBindings
    HRESULT STDMETHODCALLTYPE BindTo(INetCfgComponent*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnbindFrom(INetCfgComponent*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SupportsBindingInterface(DWORD, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsBoundTo(INetCfgComponent*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsBindableTo(INetCfgComponent*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumBindingPaths(DWORD flags, IEnumNetCfgBindingPath** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (c_.paths_fail) return E_FAIL;
        if (flags != EBP_ABOVE && flags != EBP_BELOW) return E_INVALIDARG;
        std::vector<std::wstring> tokens;
        if (flags == EBP_BELOW)
            for (auto& p : c_.paths) tokens.push_back(p.token);
        auto s = s_;
        std::wstring owner = c_.id;
        *out = MakeEnum<IEnumNetCfgBindingPath, INetCfgBindingPath>(
            IID_IEnumNetCfgBindingPath, tokens.size(),
            [s, owner, tokens](size_t i) -> INetCfgBindingPath* { return new PathObject(s, owner, tokens[i]); });
        return S_OK;
    }

private:
    std::shared_ptr<Session> s_;
    netcfg::Component c_;
};

IEnumNetCfgComponent* EnumOfClass(const std::shared_ptr<Session>& s, const GUID* cls) {
    std::vector<netcfg::Component> list;
    {
        State& st = St(*s->m);
        std::lock_guard<std::mutex> g(st.mu);
        for (auto& c : st.components)
            if (!cls || SameGuid(c.class_guid, *cls)) list.push_back(c);
    }
    return MakeEnum<IEnumNetCfgComponent, INetCfgComponent>(
        IID_IEnumNetCfgComponent, list.size(),
        [s, list](size_t i) -> INetCfgComponent* { return new ComponentObject(s, list[i]); });
}

class ClassObject : public Unknown<INetCfgClass> {
public:
    ClassObject(std::shared_ptr<Session> s, const GUID& cls) : s_(std::move(s)), cls_(cls) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return Query(riid, IID_INetCfgClass, ppv);
    }
    HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR, INetCfgComponent**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumComponents(IEnumNetCfgComponent** out) override {
        if (!out) return E_POINTER;
        *out = EnumOfClass(s_, &cls_);
        return S_OK;
    }

private:
    std::shared_ptr<Session> s_;
    GUID cls_;
};

class NetCfgObject : public Unknown<INetCfg>, public INetCfgLock {
public:
    explicit NetCfgObject(Machine& m) : s_(std::make_shared<Session>()) { s_->m = &m; }
    ~NetCfgObject() override {
        State& st = St(*s_->m);
        std::lock_guard<std::mutex> g(st.mu);
        if (s_->initialized && st.open) --st.open;
        if (s_->locked && st.holder_instance == s_.get()) st.holder.clear(), st.holder_instance = nullptr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv && IsEqualGUID(riid, IID_INetCfgLock)) {
            *ppv = static_cast<INetCfgLock*>(this);
            AddRef();
            return S_OK;
        }
        return Query(riid, IID_INetCfg, ppv);
    }
    HRESULT STDMETHODCALLTYPE Initialize(PVOID) override {
        if (s_->initialized) return NETCFG_E_ALREADY_INITIALIZED;
        s_->initialized = true;
        State& st = St(*s_->m);
        std::lock_guard<std::mutex> g(st.mu);
        ++st.open;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Uninitialize() override {
        if (!s_->initialized) return NETCFG_E_NOT_INITIALIZED;
        s_->initialized = false;
        s_->pending.clear();
        State& st = St(*s_->m);
        std::lock_guard<std::mutex> g(st.mu);
        if (st.open) --st.open;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Apply() override {
        if (!s_->initialized) return NETCFG_E_NOT_INITIALIZED;
        if (!s_->locked) return NETCFG_E_NO_WRITE_LOCK;
        State& st = St(*s_->m);
        std::lock_guard<std::mutex> g(st.mu);
        ++st.applies;
        HRESULT hr = st.apply_result;
        if (FAILED(hr)) return hr;
        for (auto& [key, enabled] : s_->pending) {
            netcfg::Component* c = FindById(st, key.first);
            if (!c) continue;
            for (auto& p : c->paths)
                if (IEquals(p.token, key.second)) p.enabled = enabled;
        }
        s_->pending.clear();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Cancel() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumComponents(const GUID* cls, IEnumNetCfgComponent** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!s_->initialized) return NETCFG_E_NOT_INITIALIZED;
        *out = EnumOfClass(s_, cls);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR, INetCfgComponent**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryNetCfgClass(const GUID* cls, REFIID riid, void** ppv) override {
        if (!ppv || !cls) return E_POINTER;
        *ppv = nullptr;
        if (!s_->initialized) return NETCFG_E_NOT_INITIALIZED;
        if (!IsEqualGUID(riid, IID_INetCfgClass)) return E_NOINTERFACE;
        *ppv = static_cast<INetCfgClass*>(new ClassObject(s_, *cls));
        return S_OK;
    }
    // INetCfgLock
    HRESULT STDMETHODCALLTYPE AcquireWriteLock(DWORD timeout, LPCWSTR desc, LPWSTR* holder) override {
        if (holder) *holder = nullptr;
        if (s_->initialized) return NETCFG_E_ALREADY_INITIALIZED;
        if (s_->locked) return S_OK;
        State& st = St(*s_->m);
        std::unique_lock<std::mutex> g(st.mu);
        if (!st.holder.empty()) {
            // Another client has it: wait, then look again.
            g.unlock();
            Sleep(timeout);
            g.lock();
            if (!st.holder.empty()) {
                if (holder) *holder = TaskCopy(st.holder);
                return S_FALSE;
            }
        }
        st.holder = desc && *desc ? desc : L"(unnamed)";
        st.holder_instance = s_.get();
        s_->locked = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReleaseWriteLock() override {
        if (s_->initialized) return NETCFG_E_ALREADY_INITIALIZED;
        if (!s_->locked) return S_FALSE;
        State& st = St(*s_->m);
        std::lock_guard<std::mutex> g(st.mu);
        s_->locked = false;
        if (st.holder_instance == s_.get()) st.holder.clear(), st.holder_instance = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsWriteLocked(LPWSTR* holder) override {
        State& st = St(*s_->m);
        std::lock_guard<std::mutex> g(st.mu);
        if (holder) *holder = st.holder.empty() ? nullptr : TaskCopy(st.holder);
        return st.holder.empty() ? S_FALSE : S_OK;
    }

private:
    std::shared_ptr<Session> s_;
};

}  // namespace

namespace winsim::netcfg {

void AddComponent(Machine& m, const Component& c) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    if (Component* old = FindById(s, c.id))
        *old = c;
    else
        s.components.push_back(c);
}

std::vector<Component> Components(Machine& m) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.components;
}

std::optional<bool> PathEnabled(Machine& m, const std::wstring& token) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    for (auto& c : s.components)
        for (auto& p : c.paths)
            if (IEquals(p.token, token)) return p.enabled;
    return std::nullopt;
}

void HoldLock(Machine& m, const std::wstring& holder) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.holder = holder;
    s.holder_instance = nullptr;
}

std::wstring LockHolder(Machine& m) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.holder;
}

void SetApplyResult(Machine& m, HRESULT hr) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.apply_result = hr;
}

unsigned ApplyCount(Machine& m) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.applies;
}

unsigned OpenInstances(Machine& m) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.open;
}

namespace detail {

void RegisterNetCfg(Machine& m, const std::function<void(const CLSID&, com::Factory)>& add) {
    Machine* pm = &m;
    add(CLSID_CNetCfg, [pm](REFIID riid, void** ppv) -> HRESULT {
        auto* obj = new NetCfgObject(*pm);
        HRESULT hr = obj->QueryInterface(riid, ppv);
        obj->Release();
        return hr;
    });
}

// Adds an adapter's component and its paths (winsim::net::AddAdapter).
void BindNewAdapter(Machine& m, const std::wstring& id, const std::wstring& name, const std::wstring& guid,
                    const std::wstring& pnp_id) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    BindAdapter(s, id, name, guid, pnp_id);
}

}  // namespace detail
}  // namespace winsim::netcfg
