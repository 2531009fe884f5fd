// CMBApiCtrl's shared members: the firmware check against the SIM's carrier, COM on the
// calling thread and the interface manager, with balanced objects, strings and apartments.
#include <gtest/gtest.h>
#include <windows.h>

#include "MBApiCtrl.h"
#include "winsim/com.h"
#include "winsim/machine.h"
#include "winsim/mbn.h"

#include <memory>
#include <optional>
#include <string>

namespace {

using winsim::mbn::Call;
using winsim::mbn::InterfaceSpec;

const wchar_t* const kId = L"{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}";
const wchar_t* const k12 = L"SWI9X15C_01.12";
const wchar_t* const k11 = L"SWI9X15C_01.11";

class MbnTest : public ::testing::Test {
protected:
    ~MbnTest() override {
        // Every check leaves no object, string or apartment behind.
        EXPECT_EQ(objects_, winsim::com::LiveObjects());
        EXPECT_EQ(strings_, winsim::com::LiveStrings());
    }
    winsim::mbn::Service service() { return winsim::mbn::Service(*m_); }
    void Put(MBN_READY_STATE ready, std::optional<std::wstring> sub, std::optional<std::wstring> fw,
             bool sub_available = true) {
        InterfaceSpec s;
        s.id = kId;
        s.ready = ready;
        s.subscriber_id = std::move(sub);
        s.firmware_info = std::move(fw);
        s.subscriber_available = sub_available;
        s.manufacturer = L"Quarven";
        s.model = L"QM-3G";
        s.device_id = L"359225051234567";
        service().SetInterface(s);
    }

    std::unique_ptr<winsim::Machine> m_ = winsim::Machine::CreateInMemory("bare");
    winsim::ProcessScope scope_{*m_};
    long objects_ = winsim::com::LiveObjects();
    long strings_ = winsim::com::LiveStrings();
};

struct FirmwareCase {
    const char* name;
    MBN_READY_STATE ready;
    std::optional<std::wstring> subscriber;
    std::optional<std::wstring> firmware;
    bool subscriber_available;
    BOOL expected;
    int subscriber_reads;  // get_SubscriberID calls
};

const FirmwareCase kFirmware[] = {
    {"Carrier50501Needs12", MBN_READY_STATE_INITIALIZED, L"505013456789012", k12, true, TRUE, 1},
    {"Carrier50501With11", MBN_READY_STATE_INITIALIZED, L"505013456789012", k11, true, FALSE, 1},
    {"Carrier50571Needs12", MBN_READY_STATE_INITIALIZED, L"505713456789012", k12, true, TRUE, 1},
    {"Carrier50572Needs12", MBN_READY_STATE_INITIALIZED, L"505723456789012", k12, true, TRUE, 1},
    {"ExactlyThePrefix", MBN_READY_STATE_INITIALIZED, L"50572", k12, true, TRUE, 1},
    {"OtherCarrierNeeds11", MBN_READY_STATE_INITIALIZED, L"440109876543210", k11, true, TRUE, 1},
    {"OtherCarrierWith12", MBN_READY_STATE_INITIALIZED, L"440109876543210", k12, true, FALSE, 1},
    {"NeighbourPrefix50573", MBN_READY_STATE_INITIALIZED, L"505733456789012", k11, true, TRUE, 1},
    {"ShorterThanPrefix", MBN_READY_STATE_INITIALIZED, L"5050", k11, true, TRUE, 1},
    {"PrefixLaterInTheIdDoesNotCount", MBN_READY_STATE_INITIALIZED, L"450501", k11, true, TRUE, 1},
    {"FirmwareInOtherCase", MBN_READY_STATE_INITIALIZED, L"440109876543210", L"swi9x15c_01.11", true, FALSE, 1},
    {"FirmwareWithTail", MBN_READY_STATE_INITIALIZED, L"440109876543210", L"SWI9X15C_01.11a", true, FALSE, 1},
    {"FirmwareCutShort", MBN_READY_STATE_INITIALIZED, L"440109876543210", L"SWI9X15C_01.1", true, FALSE, 1},
    {"NotActivatedStillChecks", MBN_READY_STATE_NOT_ACTIVATED, L"440109876543210", k11, true, TRUE, 1},
    {"EmptySubscriberId", MBN_READY_STATE_INITIALIZED, L"", k11, true, FALSE, 1},
    {"MissingSubscriberId", MBN_READY_STATE_INITIALIZED, std::nullopt, k11, true, FALSE, 1},
    {"MissingFirmware", MBN_READY_STATE_INITIALIZED, L"440109876543210", std::nullopt, true, FALSE, 1},
    {"EmptyFirmware", MBN_READY_STATE_INITIALIZED, L"440109876543210", L"", true, FALSE, 1},
    {"SubscriberInfoPending", MBN_READY_STATE_INITIALIZED, L"440109876543210", k11, false, FALSE, 0},
    {"SimNotInserted", MBN_READY_STATE_SIM_NOT_INSERTED, L"440109876543210", k11, true, FALSE, 0},
    {"RadioStackOff", MBN_READY_STATE_OFF, L"440109876543210", k11, true, FALSE, 0},
    {"BadSim", MBN_READY_STATE_BAD_SIM, L"440109876543210", k11, true, FALSE, 0},
    {"DeviceLocked", MBN_READY_STATE_DEVICE_LOCKED, L"440109876543210", k11, true, FALSE, 0},
    {"Failure", MBN_READY_STATE_FAILURE, L"440109876543210", k11, true, FALSE, 0},
};

class FirmwareCheck : public MbnTest, public ::testing::WithParamInterface<FirmwareCase> {};

TEST_P(FirmwareCheck, MatchesTheCarriersFirmware) {
    const FirmwareCase& c = GetParam();
    Put(c.ready, c.subscriber, c.firmware, c.subscriber_available);
    CMBApiCtrl mb;
    EXPECT_EQ(c.expected, mb.CheckFirmware(kId));
    EXPECT_EQ(c.subscriber_reads, service().CallCount(Call::SubscriberID));
    EXPECT_EQ(nullptr, mb.Manager());
    EXPECT_FALSE(mb.ComInitialized());
    EXPECT_EQ(0, winsim::com::Apartment());
}

INSTANTIATE_TEST_SUITE_P(Cases, FirmwareCheck, ::testing::ValuesIn(kFirmware),
                         [](const auto& info) { return std::string(info.param.name); });

// Any failing step ends the check with 0 and still releases what it got.
struct FailureCase {
    const char* name;
    Call call;
    HRESULT hr;
};

const FailureCase kFailures[] = {
    {"GetInterface", Call::GetInterface, HRESULT_FROM_WIN32(ERROR_NOT_FOUND)},
    {"GetReadyState", Call::GetReadyState, E_PENDING},
    {"GetInterfaceCapability", Call::GetInterfaceCapability, E_PENDING},
    {"GetSubscriberInformation", Call::GetSubscriberInformation, E_PENDING},
    {"SubscriberID", Call::SubscriberID, E_FAIL},
};

class FirmwareFailure : public MbnTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FirmwareFailure, EndsWithZeroAndReleasesEverything) {
    Put(MBN_READY_STATE_INITIALIZED, L"440109876543210", k11);
    service().InjectFailure(kId, GetParam().call, GetParam().hr, 1);
    CMBApiCtrl mb;
    EXPECT_FALSE(mb.CheckFirmware(kId));
    EXPECT_EQ(0, winsim::com::Apartment());
    // The failure was a single one: the next check passes.
    EXPECT_TRUE(mb.CheckFirmware(kId));
}

INSTANTIATE_TEST_SUITE_P(Steps, FirmwareFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MbnTest, UnknownInterfaceOrNoServiceIsNoMatch) {
    Put(MBN_READY_STATE_INITIALIZED, L"440109876543210", k11);
    CMBApiCtrl mb;
    EXPECT_FALSE(mb.CheckFirmware(L"{00000000-0000-0000-0000-000000000000}"));
    EXPECT_TRUE(mb.CheckFirmware(L"{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}"));  // IDs ignore case
    service().SetClassRegistered(false);
    EXPECT_FALSE(mb.CheckFirmware(kId));
    EXPECT_EQ(0, winsim::com::Apartment());
    service().SetClassRegistered(true);
    winsim::com::InjectFailure(*m_, winsim::com::Step::CoCreateInstance, E_OUTOFMEMORY, 1);
    EXPECT_FALSE(mb.CheckFirmware(kId));
    EXPECT_TRUE(mb.CheckFirmware(kId));
}

// COM already set up on the thread: in the other apartment the check runs and leaves it
// as it was; in the same apartment its own initialisation is undone again.
struct ApartmentCase {
    const char* name;
    DWORD before;  // COINIT_* the thread is in before the check
};

const ApartmentCase kApartments[] = {
    {"SingleThreaded", COINIT_APARTMENTTHREADED},
    {"MultiThreaded", COINIT_MULTITHREADED},
};

class FirmwareApartment : public MbnTest, public ::testing::WithParamInterface<ApartmentCase> {};

TEST_P(FirmwareApartment, LeavesComAsItFoundIt) {
    Put(MBN_READY_STATE_INITIALIZED, L"505013456789012", k12);
    ASSERT_EQ(S_OK, CoInitializeEx(NULL, GetParam().before));
    int kind = winsim::com::Apartment();
    CMBApiCtrl mb;
    EXPECT_TRUE(mb.CheckFirmware(kId));
    EXPECT_EQ(kind, winsim::com::Apartment());
    EXPECT_EQ(1u, winsim::com::InitCount());
    EXPECT_FALSE(mb.ComInitialized());
    CoUninitialize();
    EXPECT_EQ(0, winsim::com::Apartment());
}

INSTANTIATE_TEST_SUITE_P(Apartments, FirmwareApartment, ::testing::ValuesIn(kApartments),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MbnTest, ComThatCannotStartEndsTheCheckBeforeTheService) {
    Put(MBN_READY_STATE_INITIALIZED, L"440109876543210", k11);
    winsim::com::InjectFailure(*m_, winsim::com::Step::CoInitializeEx, E_OUTOFMEMORY, 1);
    CMBApiCtrl mb;
    EXPECT_FALSE(mb.CheckFirmware(kId));
    EXPECT_EQ(0, service().CallCount(Call::GetInterface));
    EXPECT_EQ(0, winsim::com::Apartment());
}

// InitCom and CreateManager do their work once; the flags and the manager undo it once.
TEST_F(MbnTest, ComAndManagerAreHeldOnce) {
    CMBApiCtrl mb;
    EXPECT_EQ(S_OK, mb.InitCom());
    EXPECT_EQ(S_OK, mb.InitCom());
    EXPECT_EQ(1u, winsim::com::InitCount());
    long before = winsim::com::LiveObjects();
    EXPECT_EQ(S_OK, mb.CreateManager());
    IMbnInterfaceManager* first = mb.Manager();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(S_OK, mb.CreateManager());
    EXPECT_EQ(first, mb.Manager());
    EXPECT_EQ(before + 1, winsim::com::LiveObjects());
    mb.ReleaseManager();
    mb.ReleaseManager();
    EXPECT_EQ(before, winsim::com::LiveObjects());
    mb.UninitCom();
    mb.UninitCom();
    EXPECT_EQ(0u, winsim::com::InitCount());
    EXPECT_EQ(0, winsim::com::Apartment());
}

TEST_F(MbnTest, ManagerCreationFailureKeepsNoPointer) {
    CMBApiCtrl mb;
    // Outside COM there is nothing to create.
    EXPECT_EQ(CO_E_NOTINITIALIZED, mb.CreateManager());
    EXPECT_EQ(nullptr, mb.Manager());
    ASSERT_EQ(S_OK, mb.InitCom());
    service().SetClassRegistered(false);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, mb.CreateManager());
    EXPECT_EQ(nullptr, mb.Manager());
    mb.UninitCom();
}

// The destructor releases a manager still held.
TEST_F(MbnTest, DestructorReleasesTheManager) {
    ASSERT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
    {
        CMBApiCtrl mb;
        ASSERT_EQ(S_OK, mb.CreateManager());
    }
    CoUninitialize();
}

TEST(MbnTablet, TheTabletsModuleCarriesTheMatchingFirmware) {
    auto m = winsim::Machine::CreateInMemory("tablet");
    winsim::ProcessScope scope(*m);
    CMBApiCtrl mb;
    EXPECT_TRUE(mb.CheckFirmware(winsim::mbn::kTabletInterfaceId));
}

}  // namespace
