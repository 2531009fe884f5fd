// WMI: namespaces, enumeration with its time-out, typed properties as VARIANTs, the
// profiles' data and injected failures.
#include <gtest/gtest.h>
#include <windows.h>
#include <wbemidl.h>

#include "winsim/com.h"
#include "winsim/machine.h"
#include "winsim/wmi.h"

#include <string>

namespace {

using winsim::wmi::Value;

class WmiTest : public ::testing::Test {
protected:
    explicit WmiTest(const std::string& profile = "bare") : machine(winsim::Machine::CreateInMemory(profile)) {
        scope = std::make_unique<winsim::ProcessScope>(*machine);
        EXPECT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_WbemLocator, NULL, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                         reinterpret_cast<void**>(&locator)));
    }
    ~WmiTest() override {
        if (services) services->Release();
        if (locator) locator->Release();
        CoUninitialize();
        scope.reset();
        EXPECT_EQ(live, winsim::com::LiveObjects());
        EXPECT_EQ(strings, winsim::com::LiveStrings());
    }
    HRESULT Connect(const wchar_t* ns) {
        if (services) services->Release();
        services = nullptr;
        BSTR b = SysAllocString(ns);
        HRESULT hr = locator->ConnectServer(b, NULL, NULL, NULL, 0, NULL, NULL, &services);
        SysFreeString(b);
        return hr;
    }
    // The first instance's property, or the HRESULT that stopped the way there.
    HRESULT First(const wchar_t* cls, const wchar_t* prop, VARIANT* v, CIMTYPE* type = nullptr, long timeout = 10000) {
        BSTR c = SysAllocString(cls);
        IEnumWbemClassObject* e = nullptr;
        HRESULT hr = services->CreateInstanceEnum(c, 0, NULL, &e);
        SysFreeString(c);
        if (FAILED(hr)) return hr;
        IWbemClassObject* o = nullptr;
        ULONG n = 0;
        hr = e->Next(timeout, 1, &o, &n);
        e->Release();
        if (n == 0) return hr == S_OK ? E_FAIL : hr;
        hr = o->Get(prop, 0, v, type, NULL);
        o->Release();
        return hr;
    }

    long live = winsim::com::LiveObjects();
    long strings = winsim::com::LiveStrings();
    std::unique_ptr<winsim::Machine> machine;
    std::unique_ptr<winsim::ProcessScope> scope;
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
};

TEST_F(WmiTest, NamespacesInAnyForm) {
    const struct {
        const wchar_t* ns;
        HRESULT hr;
    } cases[] = {{L"root\\CIMV2", S_OK},
                 {L"\\\\.\\root\\cimv2", S_OK},
                 {L"ROOT\\WMI", S_OK},
                 {L"\\\\.\\ROOT\\wmi", S_OK},
                 {L"//./root/cimv2", S_OK},
                 {L"\\\\localhost\\root\\WMI", S_OK},
                 {L"root\\default", WBEM_E_INVALID_NAMESPACE},
                 {L"", WBEM_E_INVALID_NAMESPACE},
                 {L"\\\\other\\root\\cimv2", static_cast<HRESULT>(0x800706BA)}};
    for (const auto& c : cases) EXPECT_EQ(c.hr, Connect(c.ns)) << winsim::Utf8(c.ns);
    EXPECT_EQ(WBEM_E_INVALID_PARAMETER, locator->ConnectServer(NULL, NULL, NULL, NULL, 0, NULL, NULL, &services));
}

TEST_F(WmiTest, TypedPropertiesAsVariants) {
    winsim::wmi::SetInstances(*machine, winsim::wmi::kCimV2, L"Test_Class",
                              {{{L"Text", Value::Text(L"abc")},
                                {L"Texts", Value::Texts({L"x", L"yz"})},
                                {L"U32", Value::Int(CIM_UINT32, 4000000000LL)},
                                {L"U16", Value::Int(CIM_UINT16, 65535)},
                                {L"U64", Value::Int(CIM_UINT64, 8589934592LL)},
                                {L"Flag", Value::Bool(true)},
                                {L"Bytes", Value::Bytes({1, 255})},
                                {L"Nothing", Value::Null(CIM_STRING)}},
                               {{L"Text", Value::Text(L"second")}}});
    ASSERT_EQ(S_OK, Connect(L"root\\cimv2"));
    VARIANT v;
    CIMTYPE t = 0;
    ASSERT_EQ(S_OK, First(L"test_class", L"TEXT", &v, &t));
    EXPECT_EQ(VT_BSTR, v.vt);
    EXPECT_EQ(CIM_STRING, t);
    EXPECT_EQ(std::wstring(L"abc"), v.bstrVal);
    VariantClear(&v);
    ASSERT_EQ(S_OK, First(L"Test_Class", L"Texts", &v, &t));
    EXPECT_EQ(VT_ARRAY | VT_BSTR, v.vt);
    EXPECT_EQ(CIM_STRING | CIM_FLAG_ARRAY, t);
    LONG one = 1;
    BSTR s = nullptr;
    EXPECT_EQ(S_OK, SafeArrayGetElement(v.parray, &one, &s));
    EXPECT_EQ(std::wstring(L"yz"), s);
    SysFreeString(s);
    VariantClear(&v);
    ASSERT_EQ(S_OK, First(L"Test_Class", L"U32", &v));
    EXPECT_EQ(VT_I4, v.vt);
    EXPECT_EQ(static_cast<LONG>(4000000000LL), v.lVal);  // WMI hands uint32 over as VT_I4
    VariantClear(&v);
    ASSERT_EQ(S_OK, First(L"Test_Class", L"U16", &v));
    EXPECT_EQ(VT_I4, v.vt);
    EXPECT_EQ(65535, v.lVal);
    ASSERT_EQ(S_OK, First(L"Test_Class", L"U64", &v));
    EXPECT_EQ(VT_BSTR, v.vt);  // 64-bit integers are text
    EXPECT_EQ(std::wstring(L"8589934592"), v.bstrVal);
    VariantClear(&v);
    ASSERT_EQ(S_OK, First(L"Test_Class", L"Flag", &v));
    EXPECT_EQ(VT_BOOL, v.vt);
    EXPECT_EQ(VARIANT_TRUE, v.boolVal);
    ASSERT_EQ(S_OK, First(L"Test_Class", L"Bytes", &v));
    EXPECT_EQ(VT_ARRAY | VT_UI1, v.vt);
    EXPECT_EQ(255, static_cast<BYTE*>(v.parray->pvData)[1]);
    VariantClear(&v);
    ASSERT_EQ(S_OK, First(L"Test_Class", L"Nothing", &v, &t));
    EXPECT_EQ(VT_NULL, v.vt);
    EXPECT_EQ(CIM_STRING, t);
    ASSERT_EQ(S_OK, First(L"Test_Class", L"__CLASS", &v));
    EXPECT_EQ(std::wstring(L"Test_Class"), v.bstrVal);
    VariantClear(&v);
    EXPECT_EQ(WBEM_E_NOT_FOUND, First(L"Test_Class", L"Missing", &v));
    EXPECT_EQ(WBEM_E_INVALID_CLASS, First(L"No_Class", L"Text", &v));
}

TEST_F(WmiTest, EnumerationEndsAndTimesOut) {
    winsim::wmi::SetInstances(*machine, winsim::wmi::kCimV2, L"Two",
                              {{{L"N", Value::Int(CIM_SINT32, 1)}}, {{L"N", Value::Int(CIM_SINT32, 2)}}});
    winsim::wmi::SetInstances(*machine, winsim::wmi::kCimV2, L"Empty", {});
    ASSERT_EQ(S_OK, Connect(L"root\\CIMV2"));
    BSTR c = SysAllocString(L"Two");
    IEnumWbemClassObject* e = nullptr;
    ASSERT_EQ(S_OK, services->CreateInstanceEnum(c, WBEM_FLAG_FORWARD_ONLY, NULL, &e));
    SysFreeString(c);
    IWbemClassObject* objs[3] = {};
    ULONG n = 0;
    EXPECT_EQ(WBEM_S_FALSE, e->Next(WBEM_INFINITE, 3, objs, &n));
    EXPECT_EQ(2u, n);
    objs[0]->Release();
    objs[1]->Release();
    EXPECT_EQ(WBEM_S_FALSE, e->Next(0, 1, objs, &n));
    EXPECT_EQ(0u, n);
    e->Release();

    VARIANT v;
    uint64_t start = machine->NowMs();
    EXPECT_EQ(WBEM_S_FALSE, First(L"Empty", L"N", &v));  // at once
    EXPECT_EQ(start, machine->NowMs());
    // A slow provider: the time-out comes first, on the machine's clock.
    winsim::wmi::SetProviderDelay(*machine, winsim::wmi::kCimV2, L"Two", 15000);
    EXPECT_EQ(WBEM_S_TIMEDOUT, First(L"Two", L"N", &v, nullptr, 10000));
    EXPECT_EQ(start + 10000, machine->NowMs());
    EXPECT_EQ(S_OK, First(L"Two", L"N", &v, nullptr, WBEM_INFINITE));
    EXPECT_EQ(start + 25000, machine->NowMs());
    EXPECT_EQ(1, v.lVal);
}

TEST_F(WmiTest, InjectedFailures) {
    using winsim::wmi::Step;
    winsim::wmi::InjectFailure(*machine, Step::ConnectServer, WBEM_E_ACCESS_DENIED, 1);
    EXPECT_EQ(WBEM_E_ACCESS_DENIED, Connect(L"root\\cimv2"));
    ASSERT_EQ(S_OK, Connect(L"root\\cimv2"));
    VARIANT v;
    winsim::wmi::InjectFailure(*machine, Step::Get, WBEM_E_FAILED, 1);
    EXPECT_EQ(WBEM_E_FAILED, First(L"Win32_ComputerSystem", L"Name", &v));
    winsim::wmi::InjectFailure(*machine, Step::Next, WBEM_E_PROVIDER_FAILURE);
    EXPECT_EQ(WBEM_E_PROVIDER_FAILURE, First(L"Win32_ComputerSystem", L"Name", &v));
    winsim::wmi::ClearFailures(*machine);
    EXPECT_EQ(S_OK, First(L"Win32_ComputerSystem", L"Name", &v));
    VariantClear(&v);
}

TEST_F(WmiTest, BareProfileIsAPlainPc) {
    ASSERT_EQ(S_OK, Connect(L"\\\\.\\root\\CIMV2"));
    VARIANT v;
    ASSERT_EQ(S_OK, First(L"Win32_ComputerSystemProduct", L"Vendor", &v));
    EXPECT_EQ(std::wstring(L"System manufacturer"), v.bstrVal);
    VariantClear(&v);
    ASSERT_EQ(S_OK, First(L"Win32_ComputerSystem", L"OEMStringArray", &v));
    EXPECT_EQ(VT_NULL, v.vt);
}

class WmiTablet : public WmiTest {
protected:
    WmiTablet() : WmiTest("tablet") {}
};

TEST_F(WmiTablet, VendorAndOemStringWithItsRegionLetter) {
    ASSERT_EQ(S_OK, Connect(L"\\\\.\\root\\CIMV2"));
    VARIANT v;
    ASSERT_EQ(S_OK, First(L"Win32_ComputerSystemProduct", L"Vendor", &v));
    EXPECT_EQ(std::wstring(L"QUARVEN"), v.bstrVal);
    VariantClear(&v);
    ASSERT_EQ(S_OK, First(L"Win32_ComputerSystem", L"OEMStringArray", &v));
    ASSERT_EQ(VT_ARRAY | VT_BSTR, v.vt);
    BSTR first = static_cast<BSTR*>(v.parray->pvData)[0];
    ASSERT_GE(SysStringLen(first), 6u);
    EXPECT_EQ(L'J', first[5]);
    VariantClear(&v);
    ASSERT_EQ(S_OK, Connect(L"root\\WMI"));
    ASSERT_EQ(S_OK, First(L"MS_SystemInformation", L"SystemManufacturer", &v));
    EXPECT_EQ(std::wstring(L"QUARVEN"), v.bstrVal);
    VariantClear(&v);
    EXPECT_EQ(4u, winsim::wmi::Classes(*machine, winsim::wmi::kCimV2).size() +
                      winsim::wmi::Classes(*machine, winsim::wmi::kWmi).size());
}

TEST(WmiStore, InstancesRoundTripAndReset) {
    auto m = winsim::Machine::CreateInMemory();
    winsim::wmi::SetInstances(*m, winsim::wmi::kWmi, L"C", {{{L"A", Value::Texts({})}, {L"B", Value::Texts({L""})}}});
    auto inst = winsim::wmi::Instances(*m, winsim::wmi::kWmi, L"c");
    ASSERT_EQ(1u, inst.size());
    EXPECT_TRUE(inst[0][0].second.texts.empty());
    EXPECT_EQ(1u, inst[0][1].second.texts.size());
    EXPECT_EQ(L"{\"\"}", winsim::wmi::Describe(inst[0][1].second));
    m->Reset("bare");
    EXPECT_FALSE(winsim::wmi::ClassExists(*m, winsim::wmi::kWmi, L"C"));
    EXPECT_TRUE(winsim::wmi::ClassExists(*m, winsim::wmi::kCimV2, L"win32_computersystem"));
}

}  // namespace
