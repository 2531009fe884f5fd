// winsim: the Mobile Broadband service - interfaces in the machine's store, the COM objects
// of the interface manager and its connection points (winsim/mbn.h).
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
// This unit defines the connection-point identifiers.
#include <initguid.h>
#include <ocidl.h>

#include "MbnApi.h"
#include "internal.h"
#include "winsim/com.h"
#include "winsim/kernel.h"
#include "winsim/mbn.h"

#include <functional>
#include <map>
#include <mutex>

namespace winsim::mbn {

namespace {

constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

struct Failure {
    HRESULT hr;
    unsigned count;
};

struct Sink {
    DWORD cookie;
    int kind;        // 0 interface events, 1 radio events
    IUnknown* sink;  // the sink's event interface (one reference)
    DWORD pid;       // the process that registered it (0: none)
};

// What lives with the machine object only: injected failures, counters, sinks.
struct State {
    explicit State(Machine&) {}
    ~State() = default;  // sinks left registered are dropped without a Release
    std::recursive_mutex mu;
    std::map<std::pair<std::wstring, Call>, Failure> failures;  // by lower-case id ("" any)
    std::map<Call, int> counts;
    std::vector<Sink> sinks;
    DWORD next_cookie = 1;
    ULONG next_request = 1;
};

State& St(Machine& m) { return m.Ext<State>("mbn"); }

// Counts the call and gives the failure injected for it (S_OK when none).
HRESULT Enter(Machine& m, const std::wstring& id, Call c) {
    State& s = St(m);
    std::lock_guard<std::recursive_mutex> g(s.mu);
    ++s.counts[c];
    for (const std::wstring& key : {Lower(id), std::wstring()}) {
        auto it = s.failures.find({key, c});
        if (it == s.failures.end()) continue;
        HRESULT hr = it->second.hr;
        if (it->second.count && --it->second.count == 0) s.failures.erase(it);
        return hr;
    }
    return S_OK;
}

// ---- store ---------------------------------------------------------------------------

void BindOpt(Stmt& st, int i, const std::optional<std::wstring>& v) {
    if (v)
        st.Bind(i, Utf8(*v));
    else
        st.BindNull(i);
}

std::optional<std::wstring> ColOpt(Stmt& st, int i) {
    if (st.IsNull(i)) return std::nullopt;
    return Wide(st.Text(i));
}

std::string JoinLines(const std::vector<std::wstring>& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i) out += '\n';
        out += Utf8(v[i]);
    }
    return out;
}

std::vector<std::wstring> SplitLines(const std::string& s) {
    std::vector<std::wstring> out;
    if (s.empty()) return out;
    size_t b = 0;
    for (;;) {
        size_t e = s.find('\n', b);
        out.push_back(Wide(s.substr(b, e == std::string::npos ? std::string::npos : e - b)));
        if (e == std::string::npos) break;
        b = e + 1;
    }
    return out;
}

constexpr const char* kColumns =
    "id, ready, cellular, voice, data_class, custom_data, gsm_band, cdma_band, custom_band, sms, control, "
    "device_id, manufacturer, model, firmware, sub_available, subscriber_id, sim_iccid, phones, hw_radio, "
    "sw_radio";

InterfaceSpec FromRow(Stmt& st) {
    InterfaceSpec s;
    s.id = Wide(st.Text(0));
    s.ready = static_cast<MBN_READY_STATE>(st.Int(1));
    s.cellular_class = static_cast<MBN_CELLULAR_CLASS>(st.Int(2));
    s.voice_class = static_cast<MBN_VOICE_CLASS>(st.Int(3));
    s.data_class = static_cast<ULONG>(st.Int(4));
    s.custom_data_class = ColOpt(st, 5);
    s.gsm_band_class = static_cast<ULONG>(st.Int(6));
    s.cdma_band_class = static_cast<ULONG>(st.Int(7));
    s.custom_band_class = ColOpt(st, 8);
    s.sms_caps = static_cast<ULONG>(st.Int(9));
    s.control_caps = static_cast<ULONG>(st.Int(10));
    s.device_id = ColOpt(st, 11);
    s.manufacturer = ColOpt(st, 12);
    s.model = ColOpt(st, 13);
    s.firmware_info = ColOpt(st, 14);
    s.subscriber_available = st.Int(15) != 0;
    s.subscriber_id = ColOpt(st, 16);
    s.sim_iccid = ColOpt(st, 17);
    s.telephone_numbers = SplitLines(st.Text(18));
    s.hardware_radio = static_cast<MBN_RADIO>(st.Int(19));
    s.software_radio = static_cast<MBN_RADIO>(st.Int(20));
    return s;
}

std::optional<InterfaceSpec> Load(Machine& m, const std::wstring& id) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(), (std::string("SELECT ") + kColumns + " FROM mbn_interfaces WHERE id = ?").c_str());
    st.Bind(1, Utf8(id));
    if (!st.Step()) return std::nullopt;
    return FromRow(st);
}

void Save(Machine& m, const InterfaceSpec& v) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(), (std::string("INSERT OR REPLACE INTO mbn_interfaces (") + kColumns +
                     ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                        .c_str());
    st.Bind(1, Utf8(v.id)).Bind(2, v.ready).Bind(3, v.cellular_class).Bind(4, v.voice_class);
    st.Bind(5, static_cast<int64_t>(v.data_class));
    BindOpt(st, 6, v.custom_data_class);
    st.Bind(7, static_cast<int64_t>(v.gsm_band_class)).Bind(8, static_cast<int64_t>(v.cdma_band_class));
    BindOpt(st, 9, v.custom_band_class);
    st.Bind(10, static_cast<int64_t>(v.sms_caps)).Bind(11, static_cast<int64_t>(v.control_caps));
    BindOpt(st, 12, v.device_id);
    BindOpt(st, 13, v.manufacturer);
    BindOpt(st, 14, v.model);
    BindOpt(st, 15, v.firmware_info);
    st.Bind(16, v.subscriber_available ? 1 : 0);
    BindOpt(st, 17, v.subscriber_id);
    BindOpt(st, 18, v.sim_iccid);
    st.Bind(19, JoinLines(v.telephone_numbers)).Bind(20, v.hardware_radio).Bind(21, v.software_radio);
    st.Run();
}

BSTR NewBstr(const std::optional<std::wstring>& v) {
    if (!v) return NULL;
    return SysAllocStringLen(v->c_str(), static_cast<UINT>(v->size()));
}

// ---- COM objects ---------------------------------------------------------------------

// Calls a sink as the service does: on a thread of the sink's own process (an RPC thread
// there), which the caller waits for; directly when the caller is in that process or on
// no simulated thread.
void CallSink(Machine& m, const Sink& k, const std::function<void()>& fn) {
    Thread* t = CurrentThreadOrNull();
    std::shared_ptr<Process> p = k.pid ? m.FindProcess(k.pid) : nullptr;
    if (!t || !p || t->process->pid == k.pid) {
        fn();
        return;
    }
    if (p->ended) return;
    auto th = SpawnThread(m, p, [fn] {
        fn();
        return static_cast<DWORD>(0);
    });
    if (th) WaitOn({th}, false, INFINITE);
}

std::vector<Sink> SinksOf(Machine& m, int kind) {
    State& s = St(m);
    std::lock_guard<std::recursive_mutex> g(s.mu);
    std::vector<Sink> out;
    for (const Sink& k : s.sinks)
        if (k.kind == kind) {
            k.sink->AddRef();
            out.push_back(k);
        }
    return out;
}

class SubscriberInfo final : public IMbnSubscriberInformation, public com::ObjectBase {
public:
    SubscriberInfo(Machine& m, std::wstring id) : m_(m), id_(std::move(id)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IMbnSubscriberInformation) return E_NOINTERFACE;
        *ppv = static_cast<IMbnSubscriberInformation*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE get_SubscriberID(BSTR* out) override { return Text(Call::SubscriberID, out, true); }
    HRESULT STDMETHODCALLTYPE get_SimIccID(BSTR* out) override { return Text(Call::SimIccID, out, false); }
    HRESULT STDMETHODCALLTYPE get_TelephoneNumbers(SAFEARRAY** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        HRESULT hr = Enter(m_, id_, Call::TelephoneNumbers);
        if (FAILED(hr)) return hr;
        auto v = Load(m_, id_);
        if (!v) return kNotFound;
        SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(v->telephone_numbers.size()));
        if (!sa) return E_OUTOFMEMORY;
        for (LONG i = 0; i < static_cast<LONG>(v->telephone_numbers.size()); ++i) {
            BSTR b = SysAllocString(v->telephone_numbers[i].c_str());
            SafeArrayPutElement(sa, &i, b);
            SysFreeString(b);
        }
        *out = sa;
        return S_OK;
    }

private:
    HRESULT Text(Call c, BSTR* out, bool subscriber) {
        if (!out) return E_POINTER;
        *out = nullptr;
        HRESULT hr = Enter(m_, id_, c);
        if (FAILED(hr)) return hr;
        auto v = Load(m_, id_);
        if (!v) return kNotFound;
        *out = NewBstr(subscriber ? v->subscriber_id : v->sim_iccid);
        return S_OK;
    }
    Machine& m_;
    std::wstring id_;
};

class Iface final : public IMbnInterface, public IMbnRadio, public com::ObjectBase {
public:
    Iface(Machine& m, std::wstring id) : m_(m), id_(std::move(id)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IMbnInterface) {
            *ppv = static_cast<IMbnInterface*>(this);
        } else if (riid == IID_IMbnRadio) {
            HRESULT hr = Enter(m_, id_, Call::QueryRadio);
            if (FAILED(hr)) return hr;
            *ppv = static_cast<IMbnRadio*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE get_InterfaceID(BSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        HRESULT hr = Enter(m_, id_, Call::InterfaceID);
        if (FAILED(hr)) return hr;
        auto v = Load(m_, id_);
        if (!v) return kNotFound;
        *out = NewBstr(v->id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInterfaceCapability(MBN_INTERFACE_CAPS* caps) override {
        if (!caps) return E_POINTER;
        HRESULT hr = Enter(m_, id_, Call::GetInterfaceCapability);
        if (FAILED(hr)) return hr;
        auto v = Load(m_, id_);
        if (!v) return kNotFound;
        caps->cellularClass = v->cellular_class;
        caps->voiceClass = v->voice_class;
        caps->dataClass = v->data_class;
        caps->customDataClass = NewBstr(v->custom_data_class);
        caps->gsmBandClass = v->gsm_band_class;
        caps->cdmaBandClass = v->cdma_band_class;
        caps->customBandClass = NewBstr(v->custom_band_class);
        caps->smsCaps = v->sms_caps;
        caps->controlCaps = v->control_caps;
        caps->deviceID = NewBstr(v->device_id);
        caps->manufacturer = NewBstr(v->manufacturer);
        caps->model = NewBstr(v->model);
        caps->firmwareInfo = NewBstr(v->firmware_info);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSubscriberInformation(IMbnSubscriberInformation** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        HRESULT hr = Enter(m_, id_, Call::GetSubscriberInformation);
        if (FAILED(hr)) return hr;
        auto v = Load(m_, id_);
        if (!v) return kNotFound;
        if (!v->subscriber_available) return E_PENDING;
        *out = new SubscriberInfo(m_, id_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetReadyState(MBN_READY_STATE* out) override {
        if (!out) return E_POINTER;
        HRESULT hr = Enter(m_, id_, Call::GetReadyState);
        if (FAILED(hr)) return hr;
        auto v = Load(m_, id_);
        if (!v) return kNotFound;
        *out = v->ready;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InEmergencyMode(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHomeProvider(MBN_PROVIDER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPreferredProviders(SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPreferredProviders(SAFEARRAY*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVisibleProviders(ULONG*, SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ScanNetwork(ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnection(IMbnConnection**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE get_SoftwareRadioState(MBN_RADIO* out) override {
        return Radio(Call::SoftwareRadioState, out, false);
    }
    HRESULT STDMETHODCALLTYPE get_HardwareRadioState(MBN_RADIO* out) override {
        return Radio(Call::HardwareRadioState, out, true);
    }
    HRESULT STDMETHODCALLTYPE SetSoftwareRadioState(MBN_RADIO state, ULONG* request) override {
        if (!request) return E_POINTER;
        HRESULT hr = Enter(m_, id_, Call::SetSoftwareRadioState);
        if (FAILED(hr)) return hr;
        auto v = Load(m_, id_);
        if (!v) return kNotFound;
        v->software_radio = state;
        Save(m_, *v);
        {
            State& s = St(m_);
            std::lock_guard<std::recursive_mutex> g(s.mu);
            *request = s.next_request++;
        }
        for (const Sink& k : SinksOf(m_, 1)) {
            ULONG id = *request;
            CallSink(m_, k,
                     [&] { static_cast<IMbnRadioEvents*>(k.sink)->OnSetSoftwareRadioStateComplete(this, id, S_OK); });
            k.sink->Release();
        }
        return S_OK;
    }

private:
    HRESULT Radio(Call c, MBN_RADIO* out, bool hardware) {
        if (!out) return E_POINTER;
        HRESULT hr = Enter(m_, id_, c);
        if (FAILED(hr)) return hr;
        auto v = Load(m_, id_);
        if (!v) return kNotFound;
        *out = hardware ? v->hardware_radio : v->software_radio;
        return S_OK;
    }
    Machine& m_;
    std::wstring id_;
};

class Manager;

class ConnPoint final : public IConnectionPoint, public com::ObjectBase {
public:
    ConnPoint(Machine& m, IConnectionPointContainer* owner, int kind) : m_(m), owner_(owner), kind_(kind) {
        owner_->AddRef();
    }
    ~ConnPoint() override { owner_->Release(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = kind_ == 0 ? IID_IMbnInterfaceEvents : IID_IMbnRadioEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
        if (!out) return E_POINTER;
        owner_->AddRef();
        *out = owner_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        HRESULT hr = Enter(m_, L"", Call::Advise);
        if (FAILED(hr)) return hr;
        void* events = nullptr;
        if (FAILED(sink->QueryInterface(kind_ == 0 ? IID_IMbnInterfaceEvents : IID_IMbnRadioEvents, &events)) ||
            !events)
            return CONNECT_E_CANNOTCONNECT;
        State& s = St(m_);
        std::lock_guard<std::recursive_mutex> g(s.mu);
        *cookie = s.next_cookie++;
        IUnknown* typed = kind_ == 0 ? static_cast<IUnknown*>(static_cast<IMbnInterfaceEvents*>(events))
                                     : static_cast<IUnknown*>(static_cast<IMbnRadioEvents*>(events));
        Thread* t = CurrentThreadOrNull();
        s.sinks.push_back({*cookie, kind_, typed, t ? t->process->pid : 0});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        HRESULT hr = Enter(m_, L"", Call::Unadvise);
        if (FAILED(hr)) return hr;
        IUnknown* gone = nullptr;
        {
            State& s = St(m_);
            std::lock_guard<std::recursive_mutex> g(s.mu);
            for (auto it = s.sinks.begin(); it != s.sinks.end(); ++it) {
                if (it->cookie == cookie && it->kind == kind_) {
                    gone = it->sink;
                    s.sinks.erase(it);
                    break;
                }
            }
        }
        if (!gone) return CONNECT_E_NOCONNECTION;
        gone->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

private:
    Machine& m_;
    IConnectionPointContainer* owner_;
    int kind_;
};

class Manager final : public IMbnInterfaceManager, public IConnectionPointContainer, public com::ObjectBase {
public:
    explicit Manager(Machine& m) : m_(m) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IMbnInterfaceManager)
            *ppv = static_cast<IMbnInterfaceManager*>(this);
        else if (riid == IID_IConnectionPointContainer)
            *ppv = static_cast<IConnectionPointContainer*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE GetInterface(LPCWSTR id, IMbnInterface** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        HRESULT hr = Enter(m_, id ? id : L"", Call::GetInterface);
        if (FAILED(hr)) return hr;
        if (!id) return kNotFound;
        auto v = Load(m_, id);
        if (!v) return kNotFound;
        *out = new Iface(m_, v->id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInterfaces(SAFEARRAY** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        HRESULT hr = Enter(m_, L"", Call::GetInterfaces);
        if (FAILED(hr)) return hr;
        auto all = Service(m_).Interfaces();
        SAFEARRAY* sa = SafeArrayCreateVector(VT_UNKNOWN, 0, static_cast<ULONG>(all.size()));
        if (!sa) return E_OUTOFMEMORY;
        for (LONG i = 0; i < static_cast<LONG>(all.size()); ++i) {
            Iface* f = new Iface(m_, all[i].id);
            SafeArrayPutElement(sa, &i, static_cast<IUnknown*>(static_cast<IMbnInterface*>(f)));
            f->Release();
        }
        *out = sa;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        HRESULT hr = Enter(m_, L"", Call::FindConnectionPoint);
        if (FAILED(hr)) return hr;
        int kind;
        if (riid == IID_IMbnInterfaceEvents)
            kind = 0;
        else if (riid == IID_IMbnRadioEvents)
            kind = 1;
        else
            return CONNECT_E_NOCONNECTION;
        *out = new ConnPoint(m_, static_cast<IConnectionPointContainer*>(this), kind);
        return S_OK;
    }

private:
    Machine& m_;
};

void RegisterClass(Machine& m) {
    Machine* pm = &m;
    com::RegisterFactory(m, CLSID_MbnInterfaceManager, [pm](REFIID riid, void** ppv) -> HRESULT {
        Manager* mgr = new Manager(*pm);
        HRESULT hr = mgr->QueryInterface(riid, ppv);
        mgr->Release();
        return hr;
    });
}

template <class F>
bool NotifyInterfaceSinks(Machine& m, const std::wstring& id, F call) {
    auto v = Load(m, id);
    if (!v) return false;
    Iface* f = new Iface(m, v->id);
    for (const Sink& k : SinksOf(m, 0)) {
        CallSink(m, k, [&] { call(static_cast<IMbnInterfaceEvents*>(k.sink), static_cast<IMbnInterface*>(f)); });
        k.sink->Release();
    }
    f->Release();
    return true;
}

}  // namespace

const char* CallName(Call c) {
    switch (c) {
    case Call::GetInterface: return "GetInterface";
    case Call::GetInterfaces: return "GetInterfaces";
    case Call::InterfaceID: return "InterfaceID";
    case Call::GetReadyState: return "GetReadyState";
    case Call::GetInterfaceCapability: return "GetInterfaceCapability";
    case Call::GetSubscriberInformation: return "GetSubscriberInformation";
    case Call::SubscriberID: return "SubscriberID";
    case Call::SimIccID: return "SimIccID";
    case Call::TelephoneNumbers: return "TelephoneNumbers";
    case Call::QueryRadio: return "QueryRadio";
    case Call::HardwareRadioState: return "HardwareRadioState";
    case Call::SoftwareRadioState: return "SoftwareRadioState";
    case Call::SetSoftwareRadioState: return "SetSoftwareRadioState";
    case Call::FindConnectionPoint: return "FindConnectionPoint";
    case Call::Advise: return "Advise";
    case Call::Unadvise: return "Unadvise";
    }
    return "?";
}

void Service::SetInterface(const InterfaceSpec& desc) { Save(m_, desc); }

bool Service::RemoveInterface(const std::wstring& id) {
    Store& s = m_.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(), "DELETE FROM mbn_interfaces WHERE id = ?");
    st.Bind(1, Utf8(id)).Run();
    return sqlite3_changes(s.db()) > 0;
}

std::optional<InterfaceSpec> Service::Interface(const std::wstring& id) { return Load(m_, id); }

std::vector<InterfaceSpec> Service::Interfaces() {
    Store& s = m_.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(), (std::string("SELECT ") + kColumns + " FROM mbn_interfaces ORDER BY rowid").c_str());
    std::vector<InterfaceSpec> out;
    while (st.Step()) out.push_back(FromRow(st));
    return out;
}

bool Service::SetReadyState(const std::wstring& id, MBN_READY_STATE state) {
    auto v = Load(m_, id);
    if (!v) return false;
    v->ready = state;
    Save(m_, *v);
    return NotifyInterfaceSinks(m_, id, [](IMbnInterfaceEvents* e, IMbnInterface* f) { e->OnReadyStateChange(f); });
}

bool Service::SetRadio(const std::wstring& id, MBN_RADIO hardware, MBN_RADIO software) {
    auto v = Load(m_, id);
    if (!v) return false;
    v->hardware_radio = hardware;
    v->software_radio = software;
    Save(m_, *v);
    Iface* f = new Iface(m_, v->id);
    for (const Sink& k : SinksOf(m_, 1)) {
        CallSink(m_, k, [&] { static_cast<IMbnRadioEvents*>(k.sink)->OnRadioStateChange(static_cast<IMbnRadio*>(f)); });
        k.sink->Release();
    }
    f->Release();
    return true;
}

bool Service::NotifyCapabilityAvailable(const std::wstring& id) {
    return NotifyInterfaceSinks(m_, id,
                                [](IMbnInterfaceEvents* e, IMbnInterface* f) { e->OnInterfaceCapabilityAvailable(f); });
}

bool Service::NotifySubscriberInformationChange(const std::wstring& id) {
    return NotifyInterfaceSinks(m_, id,
                                [](IMbnInterfaceEvents* e, IMbnInterface* f) { e->OnSubscriberInformationChange(f); });
}

void Service::InjectFailure(const std::wstring& id, Call call, HRESULT hr, unsigned count) {
    State& s = St(m_);
    std::lock_guard<std::recursive_mutex> g(s.mu);
    s.failures[{Lower(id), call}] = {hr, count};
}

void Service::ClearFailures() {
    State& s = St(m_);
    std::lock_guard<std::recursive_mutex> g(s.mu);
    s.failures.clear();
}

int Service::CallCount(Call call) {
    State& s = St(m_);
    std::lock_guard<std::recursive_mutex> g(s.mu);
    auto it = s.counts.find(call);
    return it == s.counts.end() ? 0 : it->second;
}

int Service::InterfaceEventSinks() {
    State& s = St(m_);
    std::lock_guard<std::recursive_mutex> g(s.mu);
    int n = 0;
    for (const Sink& k : s.sinks) n += k.kind == 0;
    return n;
}

int Service::RadioEventSinks() {
    State& s = St(m_);
    std::lock_guard<std::recursive_mutex> g(s.mu);
    int n = 0;
    for (const Sink& k : s.sinks) n += k.kind == 1;
    return n;
}

void Service::SetClassRegistered(bool on) {
    if (on)
        RegisterClass(m_);
    else
        com::UnregisterFactory(m_, CLSID_MbnInterfaceManager);
}

}  // namespace winsim::mbn

namespace winsim::internal {

void InitMbn(Machine& m) {
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS mbn_interfaces (id TEXT PRIMARY KEY COLLATE NOCASE, ready INTEGER, "
        "cellular INTEGER, voice INTEGER, data_class INTEGER, custom_data TEXT, gsm_band INTEGER, "
        "cdma_band INTEGER, custom_band TEXT, sms INTEGER, control INTEGER, device_id TEXT, manufacturer TEXT, "
        "model TEXT, firmware TEXT, sub_available INTEGER, subscriber_id TEXT, sim_iccid TEXT, phones TEXT, "
        "hw_radio INTEGER, sw_radio INTEGER)");
    mbn::RegisterClass(m);
    InitGobi(m);
}

void ResetMbn(Machine& m) { m.store().Exec("DELETE FROM mbn_interfaces"); }

void ProfileMbn(Machine& m, const std::string& profile) {
    if (profile != "tablet") return;
    mbn::InterfaceSpec s;
    s.id = mbn::kTabletInterfaceId;
    s.ready = MBN_READY_STATE_INITIALIZED;
    s.cellular_class = MBN_CELLULAR_CLASS_GSM;
    s.voice_class = MBN_VOICE_CLASS_NO_VOICE;
    s.data_class = 0x1F;  // GPRS, EDGE, UMTS, HSDPA, HSUPA
    s.gsm_band_class = 0x1;
    s.sms_caps = 0x3;
    s.control_caps = 0x1;
    s.device_id = L"359225051234567";
    s.manufacturer = L"Quarven";
    s.model = L"QM-3G";
    s.firmware_info = mbn::kTabletFirmware;
    s.subscriber_id = mbn::kTabletSubscriberId;
    s.sim_iccid = L"8981100012345678901";
    s.telephone_numbers = {L"09012345678"};
    mbn::Service(m).SetInterface(s);
    gobi::Install(m, gobi::kGobiTabletPath);
}

}  // namespace winsim::internal
