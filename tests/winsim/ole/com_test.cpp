// COM basics: apartments per thread, OLE counting, class creation, BSTR, VARIANT
// conversion and SAFEARRAY vectors.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include "winsim/com.h"
#include "winsim/machine.h"

#include <string>
#include <vector>

namespace {

class ComTest : public ::testing::Test {
protected:
    ~ComTest() override {
        EXPECT_EQ(live_objects, winsim::com::LiveObjects());
        EXPECT_EQ(live_strings, winsim::com::LiveStrings());
    }
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory();
    winsim::ProcessScope scope{*machine};
    long live_objects = winsim::com::LiveObjects();
    long live_strings = winsim::com::LiveStrings();
};

TEST_F(ComTest, ApartmentsCountPerThread) {
    EXPECT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
    EXPECT_EQ(S_FALSE, CoInitializeEx(NULL, COINIT_MULTITHREADED));
    EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(NULL, COINIT_APARTMENTTHREADED));
    EXPECT_EQ(RPC_E_CHANGED_MODE, OleInitialize(NULL));
    EXPECT_EQ(2u, winsim::com::InitCount());
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(0, winsim::com::Apartment());
    CoUninitialize();  // unbalanced: nothing happens
    EXPECT_EQ(S_OK, CoInitialize(NULL));
    EXPECT_EQ(COINIT_APARTMENTTHREADED + 1, winsim::com::Apartment());
    CoUninitialize();

    // Another thread has its own apartment.
    EXPECT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
    HANDLE h = CreateThread(
        NULL, 0,
        [](LPVOID) -> DWORD {
            HRESULT hr = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
            CoUninitialize();
            return static_cast<DWORD>(hr);
        },
        NULL, 0, NULL);
    WaitForSingleObject(h, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    EXPECT_EQ(static_cast<DWORD>(S_OK), code);
    CoUninitialize();
}

TEST_F(ComTest, OleInitializeIsFalseWhenComOrOleAlreadyRuns) {
    EXPECT_EQ(S_OK, OleInitialize(NULL));
    EXPECT_EQ(S_FALSE, OleInitialize(NULL));
    OleUninitialize();
    OleUninitialize();
    EXPECT_EQ(0u, winsim::com::InitCount());
    EXPECT_EQ(S_OK, CoInitialize(NULL));
    EXPECT_EQ(S_FALSE, OleInitialize(NULL));  // COM already there
    OleUninitialize();
    EXPECT_EQ(1u, winsim::com::InitCount());
    CoUninitialize();
    winsim::com::InjectFailure(*machine, winsim::com::Step::OleInitialize, E_OUTOFMEMORY, 1);
    EXPECT_EQ(E_OUTOFMEMORY, OleInitialize(NULL));
    EXPECT_EQ(0u, winsim::com::InitCount());
}

// A class registered by a test.
struct Thing final : IClassFactory, winsim::com::ObjectBase {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

const CLSID kThing = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST_F(ComTest, CreateInstanceOfRegisteredClasses) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CO_E_NOTINITIALIZED, CoCreateInstance(kThing, NULL, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    EXPECT_EQ(nullptr, p);
    ASSERT_EQ(S_OK, CoInitialize(NULL));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(kThing, NULL, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    winsim::com::RegisterFactory(*machine, kThing, [](REFIID riid, void** ppv) {
        auto* t = new Thing();
        HRESULT hr = t->QueryInterface(riid, ppv);
        t->Release();
        return hr;
    });
    ASSERT_EQ(S_OK, CoCreateInstance(kThing, NULL, CLSCTX_INPROC_SERVER, IID_IClassFactory, &p));
    EXPECT_EQ(live_objects + 1, winsim::com::LiveObjects());
    EXPECT_EQ(S_OK, CoSetProxyBlanket(static_cast<IUnknown*>(p), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, NULL,
                                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, NULL, EOAC_NONE));
    EXPECT_EQ(0u, static_cast<IClassFactory*>(p)->Release());
    const IID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(kThing, NULL, CLSCTX_INPROC_SERVER, other, &p));
    IUnknown* outer = reinterpret_cast<IUnknown*>(&p);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(kThing, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
    EXPECT_EQ(E_INVALIDARG, CoSetProxyBlanket(NULL, 0, 0, NULL, 0, 0, NULL, 0));
    winsim::com::UnregisterFactory(*machine, kThing);
    CoUninitialize();
}

TEST_F(ComTest, Bstrs) {
    BSTR s = SysAllocString(L"abc");
    EXPECT_EQ(3u, SysStringLen(s));
    EXPECT_EQ(3u * sizeof(WCHAR), SysStringByteLen(s));
    EXPECT_EQ(std::wstring(L"abc"), s);
    SysFreeString(s);
    BSTR z = SysAllocStringLen(NULL, 4);
    EXPECT_EQ(4u, SysStringLen(z));
    EXPECT_EQ(0, z[0]);
    EXPECT_EQ(0, z[4]);
    SysFreeString(z);
    BSTR part = SysAllocStringLen(L"abcdef", 2);
    EXPECT_EQ(std::wstring(L"ab"), part);
    SysFreeString(part);
    EXPECT_EQ(nullptr, SysAllocString(NULL));
    EXPECT_EQ(0u, SysStringLen(NULL));
    SysFreeString(NULL);
    winsim::com::InjectFailure(*machine, winsim::com::Step::SysAllocString, E_OUTOFMEMORY, 1);
    EXPECT_EQ(nullptr, SysAllocString(L"x"));
}

TEST_F(ComTest, TaskMemoryOfZeroBytesIsAValidBlock) {
    void* p = CoTaskMemAlloc(0);
    EXPECT_NE(nullptr, p);
    CoTaskMemFree(p);
    CoTaskMemFree(NULL);
}

struct ConvCase {
    VARIANT v;
    const wchar_t* want;  // null: the conversion fails with hr
    HRESULT hr;
};

VARIANT Make(VARTYPE vt, int64_t n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = n;
    return v;
}

TEST_F(ComTest, ChangeTypeToText) {
    VARIANT r8 = Make(VT_R8, 0);
    r8.dblVal = 2.5;
    VARIANT b = Make(VT_BOOL, 0);
    b.boolVal = VARIANT_TRUE;
    LONG target = 42;
    VARIANT ref = Make(VT_I4 | VT_BYREF, 0);
    ref.plVal = &target;
    const ConvCase cases[] = {
        {Make(VT_I4, -17), L"-17", S_OK},
        {Make(VT_UI1, 200), L"200", S_OK},
        {Make(VT_I2, -2), L"-2", S_OK},
        {Make(VT_UI4, 0xFFFFFFFF), L"4294967295", S_OK},
        {Make(VT_I8, -5000000000LL), L"-5000000000", S_OK},
        {Make(VT_EMPTY, 0), L"", S_OK},
        {Make(VT_NULL, 0), nullptr, DISP_E_TYPEMISMATCH},
        {b, L"-1", S_OK},
        {r8, L"2.5", S_OK},
        {ref, L"42", S_OK},
        {Make(VT_UNKNOWN, 0), nullptr, DISP_E_TYPEMISMATCH},
        {Make(VT_ERROR, 0), nullptr, DISP_E_TYPEMISMATCH},
        {Make(0x77, 0), nullptr, DISP_E_BADVARTYPE},
    };
    for (const ConvCase& c : cases) {
        VARIANT out;
        VariantInit(&out);
        HRESULT hr = VariantChangeType(&out, &c.v, 0, VT_BSTR);
        EXPECT_EQ(c.hr, hr) << c.v.vt;
        if (c.want) {
            EXPECT_EQ(VT_BSTR, out.vt);
            EXPECT_EQ(std::wstring(c.want), out.bstrVal) << c.v.vt;
        }
        VariantClear(&out);
    }
    VARIANT inplace = Make(VT_I4, 7);
    EXPECT_EQ(S_OK, VariantChangeType(&inplace, &inplace, 0, VT_BSTR));
    EXPECT_EQ(std::wstring(L"7"), inplace.bstrVal);
    VariantClear(&inplace);
    EXPECT_EQ(VT_EMPTY, inplace.vt);
    VARIANT alpha;
    VariantInit(&alpha);
    EXPECT_EQ(S_OK, VariantChangeType(&alpha, &b, VARIANT_ALPHABOOL, VT_BSTR));
    EXPECT_EQ(std::wstring(L"True"), alpha.bstrVal);
    VariantClear(&alpha);
}

TEST_F(ComTest, SafeArrayVectors) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 1, 3);
    ASSERT_NE(nullptr, sa);
    const wchar_t* texts[] = {L"a", L"bc", L""};
    for (LONG i = 1; i <= 3; ++i) {
        BSTR s = SysAllocString(texts[i - 1]);
        EXPECT_EQ(S_OK, SafeArrayPutElement(sa, &i, s));
        SysFreeString(s);
    }
    LONG lo = 0, hi = 0;
    EXPECT_EQ(S_OK, SafeArrayGetLBound(sa, 1, &lo));
    EXPECT_EQ(S_OK, SafeArrayGetUBound(sa, 1, &hi));
    EXPECT_EQ(1, lo);
    EXPECT_EQ(3, hi);
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetLBound(sa, 2, &lo));
    EXPECT_EQ(sizeof(BSTR), SafeArrayGetElemsize(sa));
    BSTR got = nullptr;
    LONG two = 2, four = 4;
    EXPECT_EQ(S_OK, SafeArrayGetElement(sa, &two, &got));
    EXPECT_EQ(std::wstring(L"bc"), got);
    SysFreeString(got);
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(sa, &four, &got));
    void* data = nullptr;
    EXPECT_EQ(S_OK, SafeArrayAccessData(sa, &data));
    EXPECT_EQ(std::wstring(L"a"), static_cast<BSTR*>(data)[0]);
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(sa));
    EXPECT_EQ(S_OK, SafeArrayUnaccessData(sa));
    // A VARIANT holding it copies deeply and clears it.
    VARIANT v, c;
    VariantInit(&v);
    VariantInit(&c);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = sa;
    EXPECT_EQ(S_OK, VariantCopy(&c, &v));
    EXPECT_NE(v.parray, c.parray);
    EXPECT_EQ(S_OK, VariantClear(&v));
    EXPECT_EQ(S_OK, VariantClear(&c));

    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 2);
    BYTE b = 0xAB;
    LONG zero = 0;
    EXPECT_EQ(S_OK, SafeArrayPutElement(bytes, &zero, &b));
    VARTYPE vt = 0;
    EXPECT_EQ(S_OK, SafeArrayGetVartype(bytes, &vt));
    EXPECT_EQ(VT_UI1, vt);
    BYTE out = 0;
    EXPECT_EQ(S_OK, SafeArrayGetElement(bytes, &zero, &out));
    EXPECT_EQ(0xAB, out);
    EXPECT_EQ(S_OK, SafeArrayDestroy(bytes));
    EXPECT_EQ(nullptr, SafeArrayCreateVector(static_cast<VARTYPE>(36), 0, 1));
}

// Sequences of initialisations on one thread: each success needs its CoUninitialize, a
// mode clash gives RPC_E_CHANGED_MODE and needs none.
struct InitStep {
    char op;           // 'm' CoInitializeEx MTA, 's' STA, 'u' CoUninitialize
    HRESULT expected;  // for 'm' and 's'
};

struct InitCase {
    const char* name;
    std::vector<InitStep> steps;
    unsigned count_after;
    int apartment_after;
};

const InitCase kInitCases[] = {
    {"RepeatIsFalse", {{'m', S_OK}, {'m', S_FALSE}, {'u', 0}}, 1, COINIT_MULTITHREADED + 1},
    {"ClashNeedsNoUndo", {{'s', S_OK}, {'m', RPC_E_CHANGED_MODE}, {'u', 0}}, 0, 0},
    {"BalancedLeavesNoApartment", {{'m', S_OK}, {'m', S_FALSE}, {'u', 0}, {'u', 0}}, 0, 0},
    {"ExtraUninitializeIsHarmless", {{'m', S_OK}, {'u', 0}, {'u', 0}, {'s', S_OK}}, 1, COINIT_APARTMENTTHREADED + 1},
    {"ModeChangesOnlyWhenLeft",
     {{'m', S_OK}, {'u', 0}, {'s', S_OK}, {'m', RPC_E_CHANGED_MODE}},
     1,
     COINIT_APARTMENTTHREADED + 1},
};

class ComInitSequence : public ComTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(ComInitSequence, CountsPerThread) {
    for (const InitStep& st : GetParam().steps) {
        if (st.op == 'u')
            CoUninitialize();
        else
            EXPECT_EQ(st.expected,
                      CoInitializeEx(NULL, st.op == 's' ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED));
    }
    EXPECT_EQ(GetParam().count_after, winsim::com::InitCount());
    EXPECT_EQ(GetParam().apartment_after, winsim::com::Apartment());
    while (winsim::com::InitCount()) CoUninitialize();
}

INSTANTIATE_TEST_SUITE_P(Sequences, ComInitSequence, ::testing::ValuesIn(kInitCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComTest, ObjectReferenceCountsAreVisible) {
    auto* t = new Thing();
    EXPECT_EQ(1, t->RefCount());
    void* p = nullptr;
    ASSERT_EQ(S_OK, t->QueryInterface(IID_IClassFactory, &p));
    EXPECT_EQ(2, t->RefCount());
    EXPECT_EQ(1u, t->Release());
    EXPECT_EQ(live_objects + 1, winsim::com::LiveObjects());
    EXPECT_EQ(0u, t->Release());
}

}  // namespace
