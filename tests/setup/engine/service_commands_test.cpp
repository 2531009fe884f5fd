// CHECK_SVCSTART and CMD_SVC through their table rows, on services whose states follow the
// virtual clock.
#include "unit_fixture.h"

#include "winsim/scm.h"

#include <string>
#include <vector>

namespace {

using winsim::scm::kNever;

std::wstring ServiceKey(const wchar_t* name) { return std::wstring(winsim::scm::kServicesKey) + L"\\" + name; }

class ServiceCommandTest : public EngineUnitTest {
protected:
    static constexpr const wchar_t* kScript = L"C:\\Program Files\\Quarven\\Setup\\Svc.ini";

    // A service: kNever stopped, 0 running, else running that many ms from now.
    void AddService(const wchar_t* name, DWORD runs_after) {
        winsim::Registry r(machine());
        std::wstring key = ServiceKey(name);
        r.SetDword(key, L"Type", SERVICE_WIN32_OWN_PROCESS);
        r.SetDword(key, L"Start", SERVICE_AUTO_START);
        r.SetExpandString(key, L"ImagePath", L"C:\\Program Files\\Svc\\svc.exe");
        r.SetString(key, L"DisplayName", std::wstring(name) + L" service");
        DWORD state = runs_after == 0        ? SERVICE_RUNNING
                      : runs_after == kNever ? SERVICE_STOPPED
                                             : SERVICE_START_PENDING;
        winsim::scm::Simulate(machine(), name, {runs_after == kNever ? 0 : runs_after, 0}, state);
    }
    unsigned Run(const wchar_t* keyword, const std::wstring& lines, int* quit, uint64_t* elapsed) {
        std::wstring text = L"[S]\r\n" + lines;
        std::string bytes = "\xFF\xFE";
        for (wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
        EXPECT_TRUE(winsim::files::WriteBytes(machine(), kScript, bytes));
        Create();
        g_pSetupEnv->SetScriptPath(kScript);
        const SetupCommand* row = FindSetupCommand(keyword);
        *quit = 0;
        uint64_t start = machine().NowMs();
        unsigned r = row->pfnHandler(L"", L"S", quit, 0);
        *elapsed = machine().NowMs() - start;
        return r;
    }
};

struct CheckCase {
    const char* name;
    const wchar_t* lines;
    unsigned result;
    uint64_t elapsed;
};

class CheckSvcStartTest : public ServiceCommandTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckSvcStartTest, WaitsForEachService) {
    const CheckCase& c = GetParam();
    AddService(L"Up", 0);
    AddService(L"Slow", 1500);
    AddService(L"Down", kNever);
    int quit = 0;
    uint64_t elapsed = 0;
    EXPECT_EQ(c.result, Run(L"CHECK_SVCSTART", c.lines, &quit, &elapsed));
    EXPECT_EQ(c.result != 0, quit != 0);
    EXPECT_EQ(c.elapsed, elapsed);
}

INSTANTIATE_TEST_SUITE_P(
    CheckSvcStart, CheckSvcStartTest,
    ::testing::Values(CheckCase{"none", L"SVC=0\r\nTIMEOUT=5000\r\n", 0, 0},
                      CheckCase{"runningOneLook", L"SVC=1\r\nSVC1=Up\r\n", 0, 0},
                      CheckCase{"startingOneLook", L"SVC=1\r\nSVC1=Slow\r\n", 44, 0},
                      CheckCase{"startingInTime", L"SVC=1\r\nSVC1=Slow\r\nTIMEOUT=5000\r\nINTERVAL=1000\r\n", 0, 2000},
                      // The missing first one still lets the second be waited for.
                      CheckCase{"missingThenStarting",
                                L"SVC=2\r\nSVC1=Gone\r\nSVC2=Slow\r\nTIMEOUT=5000\r\nINTERVAL=1000\r\n", 44, 2000},
                      // Each service has the whole time-out.
                      CheckCase{"stoppedThenUp", L"SVC=2\r\nSVC1=Down\r\nSVC2=Up\r\nTIMEOUT=2500\r\nINTERVAL=1000\r\n",
                                44, 3000}),
    [](const ::testing::TestParamInfo<CheckCase>& i) { return std::string(i.param.name); });

struct CmdCase {
    const char* name;
    const wchar_t* lines;
    unsigned result;
    DWORD a_start;             // Start of service A afterwards
    const wchar_t* a_display;  // its display name
    bool b_marked;             // B marked for delete
};

class CmdSvcTest : public ServiceCommandTest, public ::testing::WithParamInterface<CmdCase> {};

TEST_P(CmdSvcTest, ChangesInOrder) {
    const CmdCase& c = GetParam();
    AddService(L"A", kNever);
    AddService(L"B", kNever);
    int quit = 0;
    uint64_t elapsed = 0;
    EXPECT_EQ(c.result, Run(L"CMD_SVC", c.lines, &quit, &elapsed));
    EXPECT_EQ(0, quit);
    winsim::Registry r(machine());
    EXPECT_EQ(c.a_start, r.GetDword(ServiceKey(L"A"), L"Start").value_or(0));
    EXPECT_EQ(std::wstring(c.a_display), r.GetString(ServiceKey(L"A"), L"DisplayName").value_or(L"<absent>"));
    EXPECT_EQ(c.b_marked, winsim::scm::MarkedForDelete(machine(), L"B") || !r.KeyExists(ServiceKey(L"B")));
}

INSTANTIATE_TEST_SUITE_P(
    CmdSvc, CmdSvcTest,
    ::testing::Values(
        CmdCase{"none", L"SVC=0\r\n", 0, SERVICE_AUTO_START, L"A service", false},
        CmdCase{"disableInCapitals", L"SVC=1\r\nSVC1_NAME=A\r\nSVC1_CMPCODE=DISABLE\r\n", 0, SERVICE_DISABLED,
                L"A service", false},
        CmdCase{"unknownEndsTheList",
                L"SVC=3\r\nSVC1_NAME=A\r\nSVC1_CMPCODE=enable\r\nSVC2_NAME=A\r\nSVC2_CMPCODE=start\r\n"
                L"SVC3_NAME=B\r\nSVC3_CMPCODE=delete\r\n",
                73, SERVICE_DEMAND_START, L"A service", false},
        CmdCase{"failureGoesOn",
                L"SVC=3\r\nSVC1_NAME=Gone\r\nSVC1_CMPCODE=enable\r\nSVC2_NAME=A\r\nSVC2_CMPCODE=updatedisp\r\n"
                L"SVC2_VALUE=Renamed\r\nSVC3_NAME=B\r\nSVC3_CMPCODE=delete\r\n",
                73, SERVICE_AUTO_START, L"Renamed", true},
        CmdCase{"emptyDisplayNameRefused", L"SVC=1\r\nSVC1_NAME=A\r\nSVC1_CMPCODE=updatedisp\r\nSVC1_VALUE=\r\n", 73,
                SERVICE_AUTO_START, L"A service", false},
        CmdCase{"descriptionAndDelete",
                L"SVC=2\r\nSVC1_NAME=A\r\nSVC1_CMPCODE=updatedisc\r\nSVC1_VALUE=%ExecuteDir%\r\nSVC2_NAME=B\r\n"
                L"SVC2_CMPCODE=Delete\r\n",
                0, SERVICE_AUTO_START, L"A service", true}),
    [](const ::testing::TestParamInfo<CmdCase>& i) { return std::string(i.param.name); });

TEST_F(ServiceCommandTest, DescriptionIsTakenUnexpanded) {
    AddService(L"A", kNever);
    int quit = 0;
    uint64_t elapsed = 0;
    EXPECT_EQ(0u, Run(L"CMD_SVC", L"SVC=1\r\nSVC1_NAME=A\r\nSVC1_CMPCODE=updatedisc\r\nSVC1_VALUE=%ExecuteDir%\r\n",
                      &quit, &elapsed));
    EXPECT_EQ(L"%ExecuteDir%", winsim::Registry(machine()).GetString(ServiceKey(L"A"), L"Description"));
    EXPECT_TRUE(Logged(L"CSetupCtrl::CmdSvcFromIni:Start count=1"));
    EXPECT_TRUE(Logged(L"CSetupCtrl::CmdSvcFromIni:End"));
}

}  // namespace
