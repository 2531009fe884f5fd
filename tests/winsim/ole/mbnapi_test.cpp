// The machine's Mobile Broadband service through its COM interfaces: the manager and its
// interfaces, subscriber information, radio states, the event connection points, injected
// failures, the state kept in the machine's store, and a sink called in its own process when
// another process reports the change.
#include <gtest/gtest.h>
#include <windows.h>
#include <ocidl.h>
#include <oleauto.h>

#include "MbnApi.h"
#include "winsim/com.h"
#include "winsim/machine.h"
#include "winsim/mbn.h"
#include "winsim/program.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using winsim::mbn::Call;

const wchar_t* const kId = L"{11111111-2222-3333-4444-555555555555}";

class MbnService : public ::testing::Test {
protected:
    MbnService() {
        winsim::mbn::InterfaceSpec s;
        s.id = kId;
        s.firmware_info = L"FW_1";
        s.subscriber_id = L"440101234567890";
        s.sim_iccid = L"8981";
        s.telephone_numbers = {L"0901", L"0902"};
        s.model = L"QM-3G";
        service().SetInterface(s);
        EXPECT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_MbnInterfaceManager, NULL, CLSCTX_ALL, IID_IMbnInterfaceManager,
                                         reinterpret_cast<void**>(&mgr)));
    }
    ~MbnService() override {
        if (mgr) mgr->Release();
        CoUninitialize();
        EXPECT_EQ(objects, winsim::com::LiveObjects());
        EXPECT_EQ(strings, winsim::com::LiveStrings());
    }
    winsim::mbn::Service service() { return winsim::mbn::Service(*m); }
    IMbnInterface* Get(const wchar_t* id = kId) {
        IMbnInterface* f = nullptr;
        EXPECT_EQ(S_OK, mgr->GetInterface(id, &f));
        return f;
    }

    long objects = winsim::com::LiveObjects();
    long strings = winsim::com::LiveStrings();
    std::unique_ptr<winsim::Machine> m = winsim::Machine::CreateInMemory("bare");
    winsim::ProcessScope scope{*m};
    IMbnInterfaceManager* mgr = nullptr;
};

std::wstring Take(BSTR b) {
    std::wstring s = b ? std::wstring(b, SysStringLen(b)) : L"(null)";
    SysFreeString(b);
    return s;
}

TEST_F(MbnService, InterfacesByIdWithoutRegardToCase) {
    IMbnInterface* f = nullptr;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), mgr->GetInterface(L"{00000000-0000-0000-0000-000000000000}", &f));
    EXPECT_EQ(nullptr, f);
    EXPECT_EQ(E_POINTER, mgr->GetInterface(kId, nullptr));
    f = Get(L"{11111111-2222-3333-4444-555555555555}");
    ASSERT_NE(nullptr, f);
    BSTR id = nullptr;
    ASSERT_EQ(S_OK, f->get_InterfaceID(&id));
    EXPECT_EQ(std::wstring(kId), Take(id));
    MBN_READY_STATE rs = MBN_READY_STATE_OFF;
    EXPECT_EQ(S_OK, f->GetReadyState(&rs));
    EXPECT_EQ(MBN_READY_STATE_INITIALIZED, rs);
    f->Release();

    SAFEARRAY* all = nullptr;
    ASSERT_EQ(S_OK, mgr->GetInterfaces(&all));
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(all, 1, &lo);
    SafeArrayGetUBound(all, 1, &hi);
    EXPECT_EQ(0, hi - lo);
    IUnknown* u = nullptr;
    LONG i = 0;
    ASSERT_EQ(S_OK, SafeArrayGetElement(all, &i, &u));
    IMbnInterface* g = nullptr;
    EXPECT_EQ(S_OK, u->QueryInterface(IID_IMbnInterface, reinterpret_cast<void**>(&g)));
    g->Release();
    u->Release();
    SafeArrayDestroy(all);
}

TEST_F(MbnService, CapabilityRecordHasNullForMissingStrings) {
    IMbnInterface* f = Get();
    MBN_INTERFACE_CAPS caps;
    memset(&caps, 0xAB, sizeof caps);
    ASSERT_EQ(S_OK, f->GetInterfaceCapability(&caps));
    EXPECT_EQ(MBN_CELLULAR_CLASS_GSM, caps.cellularClass);
    EXPECT_EQ(L"FW_1", Take(caps.firmwareInfo));
    EXPECT_EQ(L"QM-3G", Take(caps.model));
    EXPECT_EQ(nullptr, caps.manufacturer);
    EXPECT_EQ(nullptr, caps.deviceID);
    EXPECT_EQ(nullptr, caps.customDataClass);
    EXPECT_EQ(nullptr, caps.customBandClass);
    f->Release();
}

TEST_F(MbnService, SubscriberInformation) {
    IMbnInterface* f = Get();
    IMbnSubscriberInformation* s = nullptr;
    ASSERT_EQ(S_OK, f->GetSubscriberInformation(&s));
    BSTR b = nullptr;
    ASSERT_EQ(S_OK, s->get_SubscriberID(&b));
    EXPECT_EQ(L"440101234567890", Take(b));
    ASSERT_EQ(S_OK, s->get_SimIccID(&b));
    EXPECT_EQ(L"8981", Take(b));
    SAFEARRAY* phones = nullptr;
    ASSERT_EQ(S_OK, s->get_TelephoneNumbers(&phones));
    LONG i = 1;
    BSTR second = nullptr;
    ASSERT_EQ(S_OK, SafeArrayGetElement(phones, &i, &second));
    EXPECT_EQ(L"0902", Take(second));
    SafeArrayDestroy(phones);
    s->Release();

    // A missing subscriber ID reads as NULL; information not yet there is E_PENDING.
    auto iface = *service().Interface(kId);
    iface.subscriber_id.reset();
    service().SetInterface(iface);
    ASSERT_EQ(S_OK, f->GetSubscriberInformation(&s));
    b = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(S_OK, s->get_SubscriberID(&b));
    EXPECT_EQ(nullptr, b);
    s->Release();
    iface.subscriber_available = false;
    service().SetInterface(iface);
    s = reinterpret_cast<IMbnSubscriberInformation*>(1);
    EXPECT_EQ(E_PENDING, f->GetSubscriberInformation(&s));
    EXPECT_EQ(nullptr, s);
    f->Release();
}

TEST_F(MbnService, RadioStatesThroughQueryInterface) {
    IMbnInterface* f = Get();
    IMbnRadio* r = nullptr;
    ASSERT_EQ(S_OK, f->QueryInterface(IID_IMbnRadio, reinterpret_cast<void**>(&r)));
    service().SetRadio(kId, MBN_RADIO_OFF, MBN_RADIO_ON);
    MBN_RADIO hw = MBN_RADIO_ON, sw = MBN_RADIO_OFF;
    EXPECT_EQ(S_OK, r->get_HardwareRadioState(&hw));
    EXPECT_EQ(S_OK, r->get_SoftwareRadioState(&sw));
    EXPECT_EQ(MBN_RADIO_OFF, hw);
    EXPECT_EQ(MBN_RADIO_ON, sw);
    ULONG req = 0;
    EXPECT_EQ(S_OK, r->SetSoftwareRadioState(MBN_RADIO_OFF, &req));
    EXPECT_NE(0u, req);
    EXPECT_EQ(MBN_RADIO_OFF, service().Interface(kId)->software_radio);
    r->Release();
    f->Release();
}

TEST_F(MbnService, AnInterfaceRemovedAfterItWasHandedOutIsGone) {
    IMbnInterface* f = Get();
    ASSERT_TRUE(service().RemoveInterface(kId));
    MBN_READY_STATE rs;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), f->GetReadyState(&rs));
    f->Release();
    EXPECT_FALSE(service().RemoveInterface(kId));
}

// Failures injected for one interface, for all, for a number of calls.
struct FailureCase {
    const char* name;
    const wchar_t* for_id;
    unsigned count;
    int failing_calls;  // of three GetReadyState calls
};

const FailureCase kFailures[] = {
    {"OnceForTheInterface", kId, 1, 1},
    {"TwiceForAny", L"", 2, 2},
    {"UntilClearedForTheInterface", kId, 0, 3},
    {"ForAnotherInterfaceOnly", L"{99999999-2222-3333-4444-555555555555}", 0, 0},
};

class MbnFailures : public MbnService, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(MbnFailures, FailTheCallsTheyWereGivenFor) {
    const FailureCase& c = GetParam();
    service().InjectFailure(c.for_id, Call::GetReadyState, E_PENDING, c.count);
    IMbnInterface* f = Get();
    int failed = 0;
    for (int i = 0; i < 3; ++i) {
        MBN_READY_STATE rs;
        failed += f->GetReadyState(&rs) == E_PENDING;
    }
    EXPECT_EQ(c.failing_calls, failed);
    EXPECT_EQ(3, service().CallCount(Call::GetReadyState));
    service().ClearFailures();
    MBN_READY_STATE rs;
    EXPECT_EQ(S_OK, f->GetReadyState(&rs));
    f->Release();
}

INSTANTIATE_TEST_SUITE_P(Injection, MbnFailures, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// A sink for both kinds of notification, counting what it receives.
struct TestSink final : IMbnInterfaceEvents, IMbnRadioEvents {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMbnInterfaceEvents)
            *ppv = static_cast<IMbnInterfaceEvents*>(this);
        else if (riid == IID_IMbnRadioEvents && radio)
            *ppv = static_cast<IMbnRadioEvents*>(this);
        else
            return *ppv = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnInterfaceCapabilityAvailable(IMbnInterface* f) override {
        ++capability;
        BSTR id = nullptr;
        if (f && SUCCEEDED(f->get_InterfaceID(&id))) last_id = Take(id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnSubscriberInformationChange(IMbnInterface*) override { return ++subscriber, S_OK; }
    HRESULT STDMETHODCALLTYPE OnReadyStateChange(IMbnInterface*) override {
        ready_pid = GetCurrentProcessId();
        ready_tid = GetCurrentThreadId();
        return ++ready, S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEmergencyModeChange(IMbnInterface*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnHomeProviderAvailable(IMbnInterface*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPreferredProvidersChange(IMbnInterface*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnSetPreferredProvidersComplete(IMbnInterface*, ULONG, HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScanNetworkComplete(IMbnInterface*, ULONG, HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnRadioStateChange(IMbnRadio*) override { return ++radio_changes, S_OK; }
    HRESULT STDMETHODCALLTYPE OnSetSoftwareRadioStateComplete(IMbnRadio*, ULONG, HRESULT) override {
        return ++radio_sets, S_OK;
    }
    long refs = 1;
    bool radio = true;
    int capability = 0, subscriber = 0, ready = 0, radio_changes = 0, radio_sets = 0;
    DWORD ready_pid = 0, ready_tid = 0;  // where the last OnReadyStateChange ran
    std::wstring last_id;
};

IConnectionPoint* FindPoint(IMbnInterfaceManager* mgr, REFIID iid, HRESULT* hr) {
    IConnectionPointContainer* c = nullptr;
    EXPECT_EQ(S_OK, mgr->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&c)));
    IConnectionPoint* p = nullptr;
    *hr = c->FindConnectionPoint(iid, &p);
    c->Release();
    return p;
}

TEST_F(MbnService, SinksHearNotificationsUntilUnadvised) {
    TestSink sink;
    HRESULT hr;
    IConnectionPoint* cp = FindPoint(mgr, IID_IMbnInterfaceEvents, &hr);
    ASSERT_EQ(S_OK, hr);
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, cp->Advise(static_cast<IMbnInterfaceEvents*>(&sink), &cookie));
    EXPECT_NE(0u, cookie);
    EXPECT_EQ(2, sink.refs);  // the connection point keeps the sink
    EXPECT_EQ(1, service().InterfaceEventSinks());

    EXPECT_TRUE(service().NotifyCapabilityAvailable(kId));
    EXPECT_TRUE(service().SetReadyState(kId, MBN_READY_STATE_SIM_NOT_INSERTED));
    EXPECT_TRUE(service().NotifySubscriberInformationChange(kId));
    EXPECT_FALSE(service().NotifyCapabilityAvailable(L"{nope}"));
    EXPECT_EQ(1, sink.capability);
    EXPECT_EQ(1, sink.ready);
    EXPECT_EQ(1, sink.subscriber);
    EXPECT_EQ(std::wstring(kId), sink.last_id);
    EXPECT_EQ(2, sink.refs);

    EXPECT_EQ(CONNECT_E_NOCONNECTION, cp->Unadvise(cookie + 100));
    EXPECT_EQ(S_OK, cp->Unadvise(cookie));
    EXPECT_EQ(1, sink.refs);
    EXPECT_EQ(0, service().InterfaceEventSinks());
    service().NotifyCapabilityAvailable(kId);
    EXPECT_EQ(1, sink.capability);
    cp->Release();
}

winsim::Machine* g_notifier_machine;

// Another process of the machine reporting a ready state; its exit code is its thread.
int NotifierMain(int, wchar_t**) {
    winsim::mbn::Service(*g_notifier_machine).SetReadyState(kId, MBN_READY_STATE_SIM_NOT_INSERTED);
    return static_cast<int>(GetCurrentThreadId());
}

TEST_F(MbnService, SinkIsCalledOnAThreadOfItsOwnProcessWhenAnotherReports) {
    TestSink sink;
    HRESULT hr;
    IConnectionPoint* cp = FindPoint(mgr, IID_IMbnInterfaceEvents, &hr);
    ASSERT_EQ(S_OK, hr);
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, cp->Advise(static_cast<IMbnInterfaceEvents*>(&sink), &cookie));
    g_notifier_machine = m.get();
    winsim::ProgramInfo info;
    info.file_name = L"notifier.exe";
    info.wmain = NotifierMain;
    winsim::RegisterProgram(info);
    winsim::InstallProgramImage(*m, L"C:\\notifier.exe", L"notifier.exe");
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(L"C:\\notifier.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 60000));
    DWORD notifier_tid = 0;
    GetExitCodeProcess(pi.hProcess, &notifier_tid);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(1, sink.ready);
    EXPECT_EQ(GetCurrentProcessId(), sink.ready_pid);
    EXPECT_NE(pi.dwProcessId, sink.ready_pid);
    EXPECT_NE(GetCurrentThreadId(), sink.ready_tid);
    EXPECT_NE(notifier_tid, sink.ready_tid);
    EXPECT_EQ(S_OK, cp->Unadvise(cookie));
    cp->Release();
    g_notifier_machine = nullptr;
}

TEST_F(MbnService, RadioSinksHearStateChangesAndCompletions) {
    TestSink sink;
    HRESULT hr;
    IConnectionPoint* cp = FindPoint(mgr, IID_IMbnRadioEvents, &hr);
    ASSERT_EQ(S_OK, hr);
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, cp->Advise(static_cast<IMbnInterfaceEvents*>(&sink), &cookie));
    EXPECT_EQ(1, service().RadioEventSinks());
    service().SetRadio(kId, MBN_RADIO_OFF, MBN_RADIO_ON);
    IMbnInterface* f = Get();
    IMbnRadio* r = nullptr;
    ASSERT_EQ(S_OK, f->QueryInterface(IID_IMbnRadio, reinterpret_cast<void**>(&r)));
    ULONG req = 0;
    r->SetSoftwareRadioState(MBN_RADIO_OFF, &req);
    EXPECT_EQ(1, sink.radio_changes);
    EXPECT_EQ(1, sink.radio_sets);
    EXPECT_EQ(0, sink.ready);
    r->Release();
    f->Release();
    EXPECT_EQ(S_OK, cp->Unadvise(cookie));
    cp->Release();
    EXPECT_EQ(1, sink.refs);
}

struct PointCase {
    const char* name;
    const IID* iid;
    bool sink_has_radio;
    HRESULT find;
    HRESULT advise;
};

const PointCase kPoints[] = {
    {"InterfaceEvents", &IID_IMbnInterfaceEvents, true, S_OK, S_OK},
    {"RadioEvents", &IID_IMbnRadioEvents, true, S_OK, S_OK},
    {"SinkWithoutTheInterface", &IID_IMbnRadioEvents, false, S_OK, CONNECT_E_CANNOTCONNECT},
    {"NoSuchPoint", &IID_IMbnInterface, true, CONNECT_E_NOCONNECTION, S_OK},
};

class MbnPoints : public MbnService, public ::testing::WithParamInterface<PointCase> {};

TEST_P(MbnPoints, FindAndAdvise) {
    const PointCase& c = GetParam();
    TestSink sink;
    sink.radio = c.sink_has_radio;
    HRESULT hr;
    IConnectionPoint* cp = FindPoint(mgr, *c.iid, &hr);
    EXPECT_EQ(c.find, hr);
    if (FAILED(hr)) {
        EXPECT_EQ(nullptr, cp);
        return;
    }
    IID got;
    EXPECT_EQ(S_OK, cp->GetConnectionInterface(&got));
    EXPECT_TRUE(got == *c.iid);
    DWORD cookie = 0;
    EXPECT_EQ(c.advise, cp->Advise(static_cast<IMbnInterfaceEvents*>(&sink), &cookie));
    if (SUCCEEDED(c.advise)) {
        EXPECT_EQ(S_OK, cp->Unadvise(cookie));
    }
    EXPECT_EQ(1, sink.refs);
    cp->Release();
}

INSTANTIATE_TEST_SUITE_P(Points, MbnPoints, ::testing::ValuesIn(kPoints),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MbnClass, CreationNeedsComAndTheRegisteredClass) {
    auto m = winsim::Machine::CreateInMemory("bare");
    winsim::ProcessScope scope(*m);
    void* p = nullptr;
    EXPECT_EQ(CO_E_NOTINITIALIZED,
              CoCreateInstance(CLSID_MbnInterfaceManager, NULL, CLSCTX_ALL, IID_IMbnInterfaceManager, &p));
    ASSERT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
    winsim::mbn::Service(*m).SetClassRegistered(false);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_MbnInterfaceManager, NULL, CLSCTX_ALL, IID_IMbnInterfaceManager, &p));
    winsim::mbn::Service(*m).SetClassRegistered(true);
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_MbnInterfaceManager, NULL, CLSCTX_ALL, IID_IMbnRadio, &p));
    EXPECT_EQ(nullptr, p);
    // The bare machine has the service but no interface.
    IMbnInterfaceManager* mgr = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MbnInterfaceManager, NULL, CLSCTX_ALL, IID_IMbnInterfaceManager,
                                     reinterpret_cast<void**>(&mgr)));
    IMbnInterface* f = nullptr;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), mgr->GetInterface(winsim::mbn::kTabletInterfaceId, &f));
    mgr->Release();
    CoUninitialize();
}

TEST(MbnPersistence, InterfacesSurviveReopeningAndResetRestoresTheProfile) {
    char tmpl[] = "/tmp/winsim-mbntest-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    std::string folder = tmpl;
    {
        auto m = winsim::Machine::Open(folder, "tablet");
        winsim::mbn::Service s(*m);
        auto tablet = s.Interface(winsim::mbn::kTabletInterfaceId);
        ASSERT_TRUE(tablet);
        EXPECT_EQ(MBN_READY_STATE_INITIALIZED, tablet->ready);
        EXPECT_EQ(std::wstring(winsim::mbn::kTabletSubscriberId), tablet->subscriber_id.value_or(L""));
        EXPECT_EQ(std::wstring(winsim::mbn::kTabletFirmware), tablet->firmware_info.value_or(L""));
        tablet->firmware_info.reset();
        tablet->telephone_numbers = {L"1", L"2", L"3"};
        s.SetInterface(*tablet);
    }
    {
        auto m = winsim::Machine::Open(folder, "tablet");
        winsim::mbn::Service s(*m);
        auto tablet = s.Interface(winsim::mbn::kTabletInterfaceId);
        ASSERT_TRUE(tablet);
        EXPECT_FALSE(tablet->firmware_info);
        EXPECT_EQ(3u, tablet->telephone_numbers.size());
        m->Reset("tablet");
        EXPECT_EQ(std::wstring(winsim::mbn::kTabletFirmware),
                  s.Interface(winsim::mbn::kTabletInterfaceId)->firmware_info.value_or(L""));
        m->Reset("bare");
        EXPECT_TRUE(s.Interfaces().empty());
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
