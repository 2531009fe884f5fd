// WMI access: arrays joined and logged by index, scalars in their text form, null and empty
// values, the time-out, each failing step with its log line, and the OLE pairing.
#include "WmiCtrl.h"
#include "lib_fixture.h"
#include "winsim/com.h"
#include "winsim/wmi.h"

#include <stdexcept>
#include <string>

namespace {

using winsim::wmi::Value;

const wchar_t* const kNs = L"\\\\.\\root\\CIMV2";

class WmiCtrlTest : public LibTest {
protected:
    WmiCtrlTest() : LibTest() {
        winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Test_Class",
                                  {{{L"Oem", Value::Texts({L"QVT10J-0100", L"Tablet", L"X"})},
                                    {L"Count", Value::Int(CIM_UINT32, 1234)},
                                    {L"Big", Value::Int(CIM_UINT64, 9000000000LL)},
                                    {L"Name", Value::Text(L"abc")},
                                    {L"Null", Value::Null(CIM_STRING)},
                                    {L"EmptyList", Value::Texts({})},
                                    {L"Bytes", Value::Bytes({7, 8})},
                                    {L"Long", Value::Texts({std::wstring(200, L'a'), std::wstring(200, L'b')})}}});
        winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Empty_Class", {});
    }
    ~WmiCtrlTest() override {
        EXPECT_EQ(objects_, winsim::com::LiveObjects());
        EXPECT_EQ(strings_, winsim::com::LiveStrings());
        EXPECT_EQ(0u, winsim::com::InitCount());
    }
    std::wstring Get(const wchar_t* cls, const wchar_t* prop, int* ret = nullptr, const wchar_t* ns = kNs) {
        out_[0] = L'#';
        wcscpy(out_, L"untouched");
        int r = wmi_.GetValue(ns, cls, prop, out_);
        if (ret) *ret = r;
        return out_;
    }

    WmiCtrl wmi_;
    WCHAR out_[WMICTRL_TEXT_CCH];
    long objects_ = winsim::com::LiveObjects();
    long strings_ = winsim::com::LiveStrings();
};

TEST_F(WmiCtrlTest, ArrayJoinedWithoutSeparatorEachElementLogged) {
    int r = 0;
    EXPECT_EQ(L"QVT10J-0100TabletX", Get(L"Test_Class", L"Oem", &r));
    EXPECT_EQ(1, r);
    EXPECT_TRUE(Logged(L"      (0) QVT10J-0100\n"));
    EXPECT_TRUE(Logged(L"      (1) Tablet\n"));
    EXPECT_TRUE(Logged(L"      (2) X\n"));
    EXPECT_EQ(L"78", Get(L"Test_Class", L"Bytes", &r));
    EXPECT_EQ(1, r);
}

TEST_F(WmiCtrlTest, ScalarsInTheirTextForm) {
    int r = 0;
    EXPECT_EQ(L"1234", Get(L"Test_Class", L"Count", &r));
    EXPECT_EQ(1, r);
    EXPECT_TRUE(Logged(L"1234\n"));
    EXPECT_EQ(L"9000000000", Get(L"Test_Class", L"big", &r));
    EXPECT_EQ(L"abc", Get(L"TEST_CLASS", L"Name", &r));
}

TEST_F(WmiCtrlTest, NullAndEmptyValues) {
    int r = 1;
    std::wstring got = Get(L"Test_Class", L"Null", &r);
    EXPECT_EQ(0, r);
    EXPECT_EQ(L"", got);                          // the first four characters cleared
    EXPECT_EQ(std::wstring(L"uched"), out_ + 4);  // "untouched": the rest stays
    EXPECT_TRUE(Logged(L"Error Property Value is <empty> or <null>\n"));
    Get(L"Test_Class", L"EmptyList", &r);
    EXPECT_EQ(0, r);  // nothing was converted
}

TEST_F(WmiCtrlTest, LongArraysAreCutToTheBuffer) {
    int r = 0;
    std::wstring got = Get(L"Test_Class", L"Long", &r);
    EXPECT_EQ(1, r);
    EXPECT_EQ(std::wstring(200, L'a') + std::wstring(59, L'b'), got);
}

TEST_F(WmiCtrlTest, TabletVendorAndOemString) {
    winsim::wmi::SetInstances(machine(), winsim::wmi::kCimV2, L"Win32_ComputerSystemProduct",
                              {{{L"Vendor", Value::Text(L"QUARVEN")}}});
    EXPECT_EQ(L"QUARVEN", Get(L"Win32_ComputerSystemProduct", L"Vendor"));
}

TEST_F(WmiCtrlTest, NoInstanceAfterTheTimeOut) {
    int r = 1;
    uint64_t start = machine().NowMs();
    Get(L"Empty_Class", L"Any", &r);
    EXPECT_EQ(0, r);
    EXPECT_TRUE(Logged(L"Could not find the instance.\n"));
    winsim::wmi::SetProviderDelay(machine(), winsim::wmi::kCimV2, L"Test_Class", 60000);
    ClearLogs();
    start = machine().NowMs();
    Get(L"Test_Class", L"Name", &r);
    EXPECT_EQ(0, r);
    EXPECT_EQ(start + WMICTRL_NEXT_TIMEOUT_MS, machine().NowMs());
    EXPECT_TRUE(Logged(L"Could not find the instance.\n"));
}

struct StepCase {
    int kind;  // 0 com step, 1 wmi step, 2 input
    winsim::com::Step com;
    winsim::wmi::Step wmi;
    const wchar_t* ns;
    const wchar_t* cls;
    const wchar_t* prop;
    const wchar_t* log;
};

TEST_F(WmiCtrlTest, EachFailingStepLogsItsLine) {
    using CS = winsim::com::Step;
    using WS = winsim::wmi::Step;
    const StepCase cases[] = {
        {0, CS::CoCreateInstance, WS::Get, kNs, L"Test_Class", L"Name",
         L"Error 80004005: Could not create instance of IWbemLocator interface.\n"},
        {1, CS::OleInitialize, WS::ConnectServer, kNs, L"Test_Class", L"Name",
         L"Error 80004005: Failed to connect to namespace \\\\.\\root\\CIMV2.\n"},
        {2, CS::OleInitialize, WS::Get, L"root\\nothing", L"Test_Class", L"Name",
         L"Error 8004100E: Failed to connect to namespace root\\nothing.\n"},
        {0, CS::CoSetProxyBlanket, WS::Get, kNs, L"Test_Class", L"Name", L"Error 80004005: Failed to impersonate.\n"},
        {2, CS::OleInitialize, WS::Get, kNs, L"No_Class", L"Name",
         L"Error 80041010: Failed to get a reference to instance enumerator.\n"},
        {1, CS::OleInitialize, WS::Next, kNs, L"Test_Class", L"Name", L"Could not find the instance.\n"},
        {2, CS::OleInitialize, WS::Get, kNs, L"Test_Class", L"Missing",
         L"Error 80041002: Failed to get property valueto get of Missing.\n"},
        {0, CS::SysAllocString, WS::Get, kNs, L"Test_Class", L"Name", L"Out of memory.\n"},
    };
    for (const StepCase& c : cases) {
        if (c.kind == 0) winsim::com::InjectFailure(machine(), c.com, E_FAIL);
        if (c.kind == 1) winsim::wmi::InjectFailure(machine(), c.wmi, E_FAIL);
        ClearLogs();
        WCHAR out[WMICTRL_TEXT_CCH] = L"x";
        EXPECT_EQ(0, wmi_.GetValue(c.ns, c.cls, c.prop, out)) << winsim::Utf8(c.log);
        EXPECT_TRUE(Logged(c.log)) << winsim::Utf8(c.log);
        winsim::com::ClearFailures(machine());
        winsim::wmi::ClearFailures(machine());
        EXPECT_EQ(0u, winsim::com::InitCount());
    }
}

TEST_F(WmiCtrlTest, OleMustBeFreshOnTheThread) {
    ASSERT_EQ(S_OK, CoInitializeEx(NULL, COINIT_APARTMENTTHREADED));
    int r = 1;
    Get(L"Test_Class", L"Name", &r);
    EXPECT_EQ(0, r);
    EXPECT_TRUE(Logged(L"Error 1: Failed to initialize COM library.\n"));
    EXPECT_EQ(1u, winsim::com::InitCount());  // the S_FALSE initialisation was undone
    EXPECT_EQ(0u, winsim::com::OleInitCount());
    CoUninitialize();
    ASSERT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
    ClearLogs();
    Get(L"Test_Class", L"Name", &r);
    EXPECT_TRUE(Logged(L"Error 80010106: Failed to initialize COM library.\n"));
    EXPECT_EQ(1u, winsim::com::InitCount());
    CoUninitialize();
    EXPECT_EQ(0, wmi_.GetValue(kNs, L"Test_Class", L"Name", NULL));
}

// A locator whose connection faults: the fault is logged, nothing obtained stays held and
// OLE is uninitialised (the fixture checks objects, strings and OLE).
class FaultingLocator : public IWbemLocator, public winsim::com::ObjectBase {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IWbemLocator)) return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<IWbemLocator*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR, const BSTR, const BSTR, const BSTR, long, const BSTR,
                                            IWbemContext*, IWbemServices**) override {
        throw std::runtime_error("provider fault");
    }
};

TEST_F(WmiCtrlTest, FaultInAQueryIsCaughtAndLogged) {
    winsim::com::RegisterFactory(machine(), CLSID_WbemLocator, [](REFIID riid, void** ppv) {
        auto* locator = new FaultingLocator();
        HRESULT hr = locator->QueryInterface(riid, ppv);
        locator->Release();
        return hr;
    });
    int r = 1;
    Get(L"Test_Class", L"Name", &r);
    EXPECT_EQ(0, r);
    EXPECT_TRUE(Logged(L"WmiCtrl::GetValue() Get Exception Error\n"));
}

TEST_F(WmiCtrlTest, ScalarAndArrayHelpers) {
    VARIANT v;
    VariantInit(&v);
    WCHAR out[16];
    EXPECT_EQ(0, wmi_.GetScalar(&v, out, 16));
    EXPECT_TRUE(Logged(L"<empty>\n"));
    v.vt = VT_UNKNOWN;
    v.punkVal = NULL;
    EXPECT_EQ(0, wmi_.GetScalar(&v, out, 16));
    EXPECT_TRUE(Logged(L"<non-printable>\n"));

    // An array of VARIANTs: a null element is not printable and adds nothing.
    SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 5, 3);
    VARIANT e;
    VariantInit(&e);
    e.vt = VT_I4;
    e.lVal = 1;
    LONG i = 5;
    SafeArrayPutElement(sa, &i, &e);
    e.vt = VT_NULL;
    i = 6;
    SafeArrayPutElement(sa, &i, &e);
    e.vt = VT_I4;
    e.lVal = 3;
    i = 7;
    SafeArrayPutElement(sa, &i, &e);
    VARIANT arr;
    VariantInit(&arr);
    arr.vt = VT_ARRAY | VT_VARIANT;
    arr.parray = sa;
    int converted = 0;
    EXPECT_EQ(1, wmi_.GetArrayString(&arr, L", ", out, 16, &converted));
    EXPECT_EQ(std::wstring(L"1, 3"), out);
    EXPECT_EQ(2, converted);
    EXPECT_TRUE(Logged(L"      (1): <non-printable>\n"));
    EXPECT_TRUE(Logged(L"      (2) 3\n"));
    VariantClear(&arr);

    BSTR b = wmi_.BstrToAnsi(L"abc", -1);
    EXPECT_EQ(4u, SysStringLen(b));  // the terminator counted inside
    SysFreeString(b);
    b = wmi_.AnsiToBstrr(NULL, 5);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(0u, SysStringLen(b));
    SysFreeString(b);
    b = wmi_.AnsiToBstrr(L"abcdef", 2);
    EXPECT_EQ(std::wstring(L"ab"), b);
    SysFreeString(b);
}

}  // namespace
