// Power and session events of the machine: what services that accept them get, in which
// order, and what is recorded for the windows.
#include <gtest/gtest.h>
#include <windows.h>

#include "advapi32/services_test_service.h"
#include "sim_fixture.h"
#include "winsim/hci.h"
#include "winsim/power.h"
#include "winsim/scm.h"

namespace {

class PowerTest : public SimTest {
protected:
    PowerTest() : SimTest("tablet") {}
    void SetUp() override {
        scmtest::Install(machine(), L"C:\\Test\\testsvc.exe");
        mgr_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        svc_ = CreateServiceW(mgr_, L"TestSvc", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, L"C:\\Test\\testsvc.exe", nullptr, nullptr,
                              nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, svc_);
    }
    void TearDown() override {
        SERVICE_STATUS st;
        if (winsim::scm::Status(machine(), L"TestSvc").dwCurrentState == SERVICE_RUNNING)
            ControlService(svc_, SERVICE_CONTROL_STOP, &st);
        if (DWORD pid = winsim::scm::ProcessId(machine(), L"TestSvc")) {
            HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid);
            WaitForSingleObject(p, 60000);
            CloseHandle(p);
        }
        CloseServiceHandle(svc_);
        CloseServiceHandle(mgr_);
    }
    void Start(DWORD accepted) {
        scmtest::Svc().accepted = accepted;
        ASSERT_TRUE(StartServiceW(svc_, 0, nullptr));
        ASSERT_TRUE(winsim::scm::WaitForState(machine(), L"TestSvc", SERVICE_RUNNING, 5000));
    }
    // The (control, event) pairs the service's handler saw.
    std::vector<std::pair<DWORD, DWORD>> Seen() {
        std::vector<std::pair<DWORD, DWORD>> v;
        for (auto& s : scmtest::Svc().seen) v.emplace_back(s.control, s.event_type);
        return v;
    }
    std::vector<DWORD> Recorded(winsim::power::Kind kind) {
        std::vector<DWORD> v;
        for (auto& e : winsim::power::Events(machine()))
            if (e.kind == kind) v.push_back(e.code);
        return v;
    }
    SC_HANDLE mgr_ = nullptr;
    SC_HANDLE svc_ = nullptr;
};

constexpr DWORD P = SERVICE_CONTROL_POWEREVENT;
constexpr DWORD S = SERVICE_CONTROL_SESSIONCHANGE;
constexpr DWORD kAll = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_POWEREVENT | SERVICE_ACCEPT_SESSIONCHANGE;

struct Sequence {
    const char* what;
    void (*run)(winsim::Machine&);
    std::vector<std::pair<DWORD, DWORD>> seen;
};

const Sequence kSequences[] = {
    {"suspend",
     [](winsim::Machine& m) { EXPECT_TRUE(winsim::power::Suspend(m)); },
     {{P, PBT_APMQUERYSUSPEND}, {P, PBT_APMSUSPEND}}},
    {"resume with a user present",
     [](winsim::Machine& m) { winsim::power::Resume(m); },
     {{P, PBT_APMRESUMEAUTOMATIC}, {P, PBT_APMRESUMESUSPEND}}},
    {"resume with nobody there",
     [](winsim::Machine& m) {
         winsim::power::Resume(m, {false, false});
     },
     {{P, PBT_APMRESUMEAUTOMATIC}}},
    {"critical resume",
     [](winsim::Machine& m) {
         winsim::power::Resume(m, {true, true});
     },
     {{P, PBT_APMRESUMECRITICAL}, {P, PBT_APMRESUMEAUTOMATIC}, {P, PBT_APMRESUMESUSPEND}}},
    {"failed suspend query",
     [](winsim::Machine& m) { winsim::power::FailSuspendQuery(m); },
     {{P, PBT_APMQUERYSUSPEND}, {P, PBT_APMQUERYSUSPENDFAILED}}},
    {"logon, lock, unlock, logoff",
     [](winsim::Machine& m) {
         winsim::power::Logon(m, 1);
         winsim::power::Lock(m, 1);
         winsim::power::Unlock(m, 1);
         winsim::power::Logoff(m, 1);
     },
     {{S, WTS_SESSION_LOGON}, {S, WTS_SESSION_LOCK}, {S, WTS_SESSION_UNLOCK}, {S, WTS_SESSION_LOGOFF}}},
    {"console disconnect and connect",
     [](winsim::Machine& m) {
         winsim::power::ConsoleDisconnect(m, 1);
         EXPECT_EQ(0xFFFFFFFFu, m.active_console_session);
         winsim::power::ConsoleConnect(m, 1);
         EXPECT_EQ(1u, m.active_console_session);
     },
     {{S, WTS_CONSOLE_DISCONNECT}, {S, WTS_CONSOLE_CONNECT}}},
};

TEST_F(PowerTest, AServiceThatAcceptsThemGetsTheEventsInOrder) {
    Start(kAll);
    for (const auto& s : kSequences) {
        scmtest::Svc().seen.clear();
        s.run(machine());
        EXPECT_EQ(s.seen, Seen()) << s.what;
    }
}

TEST_F(PowerTest, AServiceThatDoesNotAcceptThemGetsNothingButTheyAreRecorded) {
    Start(SERVICE_ACCEPT_STOP);
    winsim::power::ClearEvents(machine());
    EXPECT_TRUE(winsim::power::Suspend(machine()));
    winsim::power::Resume(machine());
    winsim::power::Logoff(machine(), 1);
    EXPECT_TRUE(Seen().empty());
    EXPECT_EQ((std::vector<DWORD>{PBT_APMQUERYSUSPEND, PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND}),
              Recorded(winsim::power::Kind::Power));
    EXPECT_EQ((std::vector<DWORD>{WTS_SESSION_LOGOFF}), Recorded(winsim::power::Kind::Session));
}

TEST_F(PowerTest, ADeniedQueryKeepsTheMachineOn) {
    // The query is denied by the broadcast answer and by any other error code alike.
    for (DWORD code : {static_cast<DWORD>(BROADCAST_QUERY_DENY), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED),
                       static_cast<DWORD>(ERROR_BUSY)}) {
        SCOPED_TRACE(code);
        scmtest::Svc().deny_suspend = true;
        scmtest::Svc().deny_code = code;
        Start(kAll);
        EXPECT_FALSE(winsim::power::Suspend(machine()));
        EXPECT_FALSE(winsim::power::Suspended(machine()));
        EXPECT_EQ((std::vector<std::pair<DWORD, DWORD>>{{P, PBT_APMQUERYSUSPEND}, {P, PBT_APMQUERYSUSPENDFAILED}}),
                  Seen());
        SERVICE_STATUS st;
        ASSERT_TRUE(ControlService(svc_, SERVICE_CONTROL_STOP, &st));
        ASSERT_TRUE(winsim::scm::WaitForState(machine(), L"TestSvc", SERVICE_STOPPED, 5000));
        DWORD pid = winsim::scm::ProcessId(machine(), L"TestSvc");
        if (pid) {
            HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, pid);
            WaitForSingleObject(p, 60000);
            CloseHandle(p);
        }
        scmtest::Svc().seen.clear();
    }
}

TEST_F(PowerTest, ListenersSeeEveryEventAfterTheServices) {
    Start(kAll);
    std::vector<std::pair<DWORD, size_t>> heard;  // code, events the service had seen by then
    winsim::power::AddListener(
        machine(), [&](const winsim::power::Event& e) { heard.emplace_back(e.code, scmtest::Svc().seen.size()); });
    winsim::power::Suspend(machine());
    EXPECT_EQ((std::vector<std::pair<DWORD, size_t>>{{PBT_APMQUERYSUSPEND, 1}, {PBT_APMSUSPEND, 2}}), heard);
}

TEST_F(PowerTest, SessionEventsCarryTheSessionId) {
    Start(kAll);
    winsim::power::Logon(machine(), 2, L"Second");
    ASSERT_NE(nullptr, machine().FindSession(2));
    EXPECT_EQ(L"Second", machine().FindSession(2)->user);
    auto events = winsim::power::Events(machine());
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(2u, events.back().session);
}

struct ResumeRf {
    int setting;  // HciDriver::rf_after_resume
    bool rf_before;
    bool rf_after;
};

TEST_F(PowerTest, WhetherRfComesBackAfterAResumeIsTheDriversSetting) {
    const ResumeRf cases[] = {{-1, false, false}, {-1, true, true}, {0, true, false}, {1, false, true}};
    winsim::HciDriver hci(machine());
    for (const auto& c : cases) {
        hci.set_rf(c.rf_before);
        hci.set_rf_after_resume(c.setting);
        winsim::power::Suspend(machine());
        winsim::power::Resume(machine());
        EXPECT_EQ(c.rf_after, hci.rf()) << c.setting << " " << c.rf_before;
    }
}

TEST(PowerOffTheSimulation, AnOperationRunsAsASystemProcessWhenCalledFromOutside) {
    auto m = winsim::Machine::CreateInMemory();
    winsim::power::Logoff(*m, 1);
    auto events = winsim::power::Events(*m);
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(static_cast<DWORD>(WTS_SESSION_LOGOFF), events[0].code);
}

}  // namespace
