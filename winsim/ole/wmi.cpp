// winsim: the WMI client objects (wbemcli.h) over the machine's WMI data.
#include <initguid.h>

#include "wmi_internal.h"

#include "winsim/kernel.h"

#include <memory>
#include <vector>

using namespace winsim;

namespace {

const HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BA);  // RPC_S_SERVER_UNAVAILABLE

#define WINSIM_COM_REFCOUNT                                            \
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); } \
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

template <class Self, class Iface>
HRESULT QueryFor(Self* self, const IID& own, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == own) {
        *ppv = static_cast<Iface*>(self);
        self->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// A property as IWbemClassObject::Get gives it.
HRESULT ToVariant(const wmi::Value& v, VARIANT* out) {
    VariantInit(out);
    if (v.is_null) {
        out->vt = VT_NULL;
        return S_OK;
    }
    CIMTYPE base = v.type & ~CIM_FLAG_ARRAY;
    auto scalar_vt = [](CIMTYPE t) -> VARTYPE {
        switch (t) {
        case CIM_STRING:
        case CIM_DATETIME:
        case CIM_REFERENCE:
        case CIM_SINT64:
        case CIM_UINT64: return VT_BSTR;
        case CIM_UINT8: return VT_UI1;
        case CIM_SINT16: return VT_I2;
        case CIM_BOOLEAN: return VT_BOOL;
        case CIM_REAL32: return VT_R4;
        case CIM_REAL64: return VT_R8;
        default: return VT_I4;
        }
    };
    VARTYPE vt = scalar_vt(base);
    auto put_scalar = [&](VARIANT* dst, int64_t n, const std::wstring* text) -> HRESULT {
        dst->vt = vt;
        switch (vt) {
        case VT_BSTR: {
            std::wstring s = text ? *text : std::to_wstring(base == CIM_UINT64 ? static_cast<int64_t>(n) : n);
            if (base == CIM_UINT64 && !text) s = std::to_wstring(static_cast<uint64_t>(n));
            dst->bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
            return dst->bstrVal ? S_OK : WBEM_E_OUT_OF_MEMORY;
        }
        case VT_UI1: dst->bVal = static_cast<BYTE>(n); return S_OK;
        case VT_I2: dst->iVal = static_cast<SHORT>(n); return S_OK;
        case VT_BOOL: dst->boolVal = n ? VARIANT_TRUE : VARIANT_FALSE; return S_OK;
        case VT_R4: dst->fltVal = static_cast<FLOAT>(n); return S_OK;
        case VT_R8: dst->dblVal = static_cast<double>(n); return S_OK;
        default: dst->lVal = static_cast<LONG>(n); return S_OK;
        }
    };
    if (!(v.type & CIM_FLAG_ARRAY)) return put_scalar(out, v.number, base == CIM_STRING ? &v.text : nullptr);

    size_t n = base == CIM_STRING ? v.texts.size() : v.numbers.size();
    SAFEARRAY* sa = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(n));
    if (!sa) return WBEM_E_OUT_OF_MEMORY;
    for (size_t i = 0; i < n; ++i) {
        VARIANT e;
        VariantInit(&e);
        HRESULT hr = put_scalar(&e, base == CIM_STRING ? 0 : v.numbers[i], base == CIM_STRING ? &v.texts[i] : nullptr);
        LONG idx = static_cast<LONG>(i);
        if (SUCCEEDED(hr)) {
            void* p = vt == VT_BSTR ? static_cast<void*>(e.bstrVal) : static_cast<void*>(&e.llVal);
            hr = SafeArrayPutElement(sa, &idx, p);
        }
        VariantClear(&e);
        if (FAILED(hr)) {
            SafeArrayDestroy(sa);
            return hr;
        }
    }
    out->vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    out->parray = sa;
    return S_OK;
}

class ClassObject final : public IWbemClassObject, public com::ObjectBase {
public:
    ClassObject(std::wstring cls, wmi::Instance inst) : cls_(std::move(cls)), inst_(std::move(inst)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return QueryFor<ClassObject, IWbemClassObject>(this, IID_IWbemClassObject, riid, ppv);
    }
    WINSIM_COM_REFCOUNT

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, long flags, VARIANT* val, CIMTYPE* type, long* flavor) override {
        if (!name || flags != 0) return WBEM_E_INVALID_PARAMETER;
        HRESULT hr;
        if (wmi::Injected(CurrentMachine(), wmi::Step::Get, &hr)) return hr;
        if (flavor) *flavor = 0;
        if (IEquals(name, L"__CLASS")) {
            if (type) *type = CIM_STRING;
            return val ? ToVariant(wmi::Value::Text(cls_), val) : S_OK;
        }
        for (const auto& [n, v] : inst_) {
            if (!IEquals(n, name)) continue;
            if (type) *type = v.type;
            return val ? ToVariant(v, val) : S_OK;
        }
        return WBEM_E_NOT_FOUND;
    }

    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR, long, VARIANT*, CIMTYPE) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, long, VARIANT*, SAFEARRAY**) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE BeginEnumeration(long) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE Next(long, BSTR*, VARIANT*, CIMTYPE*, long*) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE EndEnumeration() override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** copy) override {
        if (!copy) return WBEM_E_INVALID_PARAMETER;
        *copy = new ClassObject(cls_, inst_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetObjectText(long, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(long, IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE SpawnInstance(long, IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE CompareTo(long, IWbemClassObject*) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, long, IWbemClassObject**, IWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, long, IWbemClassObject*, IWbemClassObject*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(long) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE NextMethod(long, BSTR*, IWbemClassObject**, IWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }

private:
    std::wstring cls_;
    wmi::Instance inst_;
};

class Enumerator final : public IEnumWbemClassObject, public com::ObjectBase {
public:
    Enumerator(std::wstring cls, std::vector<wmi::Instance> list, uint64_t ready_at_ms)
        : cls_(std::move(cls)), list_(std::move(list)), ready_at_(ready_at_ms) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return QueryFor<Enumerator, IEnumWbemClassObject>(this, IID_IEnumWbemClassObject, riid, ppv);
    }
    WINSIM_COM_REFCOUNT

    HRESULT STDMETHODCALLTYPE Reset() override {
        pos_ = 0;
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE Next(long timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) override {
        if (!objects || !returned) return WBEM_E_INVALID_PARAMETER;
        *returned = 0;
        if (timeout < 0 && timeout != static_cast<long>(WBEM_INFINITE)) return WBEM_E_INVALID_PARAMETER;
        HRESULT hr;
        Machine& m = CurrentMachine();
        if (wmi::Injected(m, wmi::Step::Next, &hr)) return hr;
        uint64_t now = m.NowMs();
        if (count > 0 && pos_ < list_.size() && now < ready_at_) {
            uint64_t wait = ready_at_ - now;
            if (timeout != static_cast<long>(WBEM_INFINITE) && static_cast<uint64_t>(timeout) < wait) {
                if (timeout > 0) Sleep(static_cast<DWORD>(timeout));
                return WBEM_S_TIMEDOUT;
            }
            Sleep(static_cast<DWORD>(wait));
        } else if (count > 0 && pos_ >= list_.size() && now < ready_at_) {
            // The provider's answer that there is nothing takes as long.
            uint64_t wait = ready_at_ - now;
            if (timeout != static_cast<long>(WBEM_INFINITE) && static_cast<uint64_t>(timeout) < wait) {
                if (timeout > 0) Sleep(static_cast<DWORD>(timeout));
                return WBEM_S_TIMEDOUT;
            }
            Sleep(static_cast<DWORD>(wait));
        }
        while (*returned < count && pos_ < list_.size()) {
            objects[*returned] = new ClassObject(cls_, list_[pos_++]);
            ++*returned;
        }
        return *returned == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** e) override {
        if (!e) return WBEM_E_INVALID_PARAMETER;
        auto* c = new Enumerator(cls_, list_, ready_at_);
        c->pos_ = pos_;
        *e = c;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(long, ULONG n) override {
        pos_ = pos_ + n > list_.size() ? list_.size() : pos_ + n;
        return pos_ < list_.size() ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }

private:
    std::wstring cls_;
    std::vector<wmi::Instance> list_;
    uint64_t ready_at_;
    size_t pos_ = 0;
};

class Services final : public IWbemServices, public com::ObjectBase {
public:
    explicit Services(std::wstring ns) : ns_(std::move(ns)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return QueryFor<Services, IWbemServices>(this, IID_IWbemServices, riid, ppv);
    }
    WINSIM_COM_REFCOUNT

    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR filter, long, IWbemContext*,
                                                 IEnumWbemClassObject** e) override {
        if (!e) return WBEM_E_INVALID_PARAMETER;
        *e = nullptr;
        if (!filter) return WBEM_E_INVALID_PARAMETER;
        Machine& m = CurrentMachine();
        HRESULT hr;
        if (wmi::Injected(m, wmi::Step::CreateInstanceEnum, &hr)) return hr;
        std::wstring cls = wmi::ClassName(m, ns_, filter);
        if (cls.empty()) return WBEM_E_INVALID_CLASS;
        *e = new Enumerator(cls, wmi::Instances(m, ns_, cls), m.NowMs() + wmi::ProviderDelay(m, ns_, cls));
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, long, IWbemContext*, IWbemServices**,
                                            IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE QueryObjectSink(long, IWbemObjectSink**) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR, long, IWbemContext*, IWbemClassObject**,
                                        IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, long, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, long, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, long, IWbemContext*, IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, long, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, long, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR, const BSTR, long, IWbemContext*, IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, long, IWbemContext*,
                                                    IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, long, IWbemContext*,
                                                         IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, long, IWbemContext*, IWbemClassObject*,
                                         IWbemClassObject**, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, long, IWbemContext*, IWbemClassObject*,
                                              IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }

private:
    std::wstring ns_;
};

class Locator final : public IWbemLocator, public com::ObjectBase {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return QueryFor<Locator, IWbemLocator>(this, IID_IWbemLocator, riid, ppv);
    }
    WINSIM_COM_REFCOUNT

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR, const BSTR, const BSTR, long, const BSTR,
                                            IWbemContext*, IWbemServices** out) override {
        if (!out) return WBEM_E_INVALID_PARAMETER;
        *out = nullptr;
        if (!resource) return WBEM_E_INVALID_PARAMETER;
        HRESULT hr;
        if (wmi::Injected(CurrentMachine(), wmi::Step::ConnectServer, &hr)) return hr;
        bool remote = false;
        std::wstring ns = wmi::CanonicalNamespace(resource, &remote);
        if (remote) return kServerUnavailable;
        if (ns.empty()) return WBEM_E_INVALID_NAMESPACE;
        *out = new Services(ns);
        return WBEM_S_NO_ERROR;
    }
};

}  // namespace

namespace winsim::wmi::detail {

void RegisterLocator(Machine&, const std::function<void(const CLSID&, com::Factory)>& add) {
    add(CLSID_WbemLocator, [](REFIID riid, void** ppv) -> HRESULT {
        auto* l = new Locator();
        HRESULT hr = l->QueryInterface(riid, ppv);
        l->Release();
        return hr;
    });
}

}  // namespace winsim::wmi::detail
