// The device tree's additions for the setup library: phantoms, removal, device-node enable
// and disable, the _Ex forms, device interfaces and batteries behind GUID_DEVICE_BATTERY.
#include <batclass.h>

#include "devices_test_util.h"
#include "sim_fixture.h"
#include "winsim/registry.h"

#include <cstddef>
#include <filesystem>

using namespace devtest;
using winsim::BatteryState;
using winsim::DeviceSpec;
using winsim::DeviceTree;

namespace {

constexpr const wchar_t* kBatteryInstance = L"ACPI\\PNP0C0A\\1";
constexpr const wchar_t* kBatteryPath = L"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";

// The interface paths of a device-interface set, each with its flags.
std::vector<std::pair<std::wstring, DWORD>> InterfacePaths(const GUID* cls, DWORD flags) {
    std::vector<std::pair<std::wstring, DWORD>> v;
    HDEVINFO set = SetupDiGetClassDevsW(cls, NULL, NULL, flags | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return v;
    SP_DEVICE_INTERFACE_DATA d;
    d.cbSize = sizeof d;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, NULL, cls, i, &d); ++i) {
        DWORD need = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &d, NULL, 0, &need, NULL);
        std::vector<BYTE> buf(need);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buf.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(set, &d, detail, need, NULL, NULL))
            v.emplace_back(detail->DevicePath, d.Flags);
    }
    SetupDiDestroyDeviceInfoList(set);
    return v;
}

class DeviceAdditionsTest : public SimTest {
protected:
    DeviceAdditionsTest() : SimTest("tablet") {}
    DeviceTree tree() { return DeviceTree(machine()); }

    DWORD AddPhantom(const std::wstring& instance, const std::wstring& hwid) {
        DeviceSpec s;
        s.instance_id = instance;
        s.class_name = L"Net";
        s.class_guid = winsim::devclass::kNet;
        s.hardware_ids = std::vector<std::wstring>{hwid};
        s.description = L"Old adapter";
        s.attached = false;
        return tree().Add(s);
    }
};

TEST_F(DeviceAdditionsTest, PhantomsAreListedWithoutThePresentFlagAndRemovable) {
    const std::wstring id = L"PCI\\VEN_1D2E&DEV_0887&SUBSYS_00000000&REV_01\\4&1&0&00E0";
    DWORD dn = AddPhantom(id, L"PCI\\VEN_1D2E&DEV_0887");
    EXPECT_FALSE(Contains(ListIds(&GUID_DEVCLASS_NET, NULL, DIGCF_PRESENT), id));
    EXPECT_TRUE(Contains(ListIds(&GUID_DEVCLASS_NET, NULL, 0), id));
    EXPECT_TRUE(Contains(ListIds(NULL, NULL, DIGCF_ALLCLASSES), id));
    ULONG st = 0, pr = 0;
    EXPECT_EQ(static_cast<DWORD>(CR_NO_SUCH_DEVNODE), CM_Get_DevNode_Status(&st, &pr, dn, 0));
    DEVINST found = 0;
    EXPECT_EQ(static_cast<DWORD>(CR_NO_SUCH_DEVNODE), CM_Locate_DevNodeW(&found, const_cast<WCHAR*>(id.c_str()), 0));
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS),
              CM_Locate_DevNodeW(&found, const_cast<WCHAR*>(id.c_str()), CM_LOCATE_DEVNODE_PHANTOM));
    EXPECT_EQ(dn, found);

    // Its properties still read; then SetupDiRemoveDevice uninstalls it.
    OneDevice d(id, DIGCF_ALLCLASSES);
    ASSERT_TRUE(d.found);
    BYTE buf[256];
    EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyW(d.set, &d.data, SPDRP_HARDWAREID, NULL, buf, sizeof buf, NULL));
    std::wstring drv = tree().DriverKey(dn);
    ASSERT_FALSE(drv.empty());
    ASSERT_TRUE(SetupDiRemoveDevice(d.set, &d.data));
    EXPECT_EQ(0u, tree().Find(id));
    winsim::Registry r(machine());
    EXPECT_FALSE(r.KeyExists(drv));
    EXPECT_FALSE(SetupDiRemoveDevice(d.set, &d.data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_DEVINST), GetLastError());
}

TEST_F(DeviceAdditionsTest, DeviceNodeDisableAndEnable) {
    DWORD net = tree().Find(kNetInstance);
    ULONG st = 0, pr = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Disable_DevNode(net, CM_DISABLE_UI_NOT_OK));
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_DevNode_Status(&st, &pr, net, 0));
    EXPECT_TRUE(st & DN_HAS_PROBLEM);
    EXPECT_EQ(static_cast<ULONG>(CM_PROB_DISABLED), pr);
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Enable_DevNode(net, 0));
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_DevNode_Status(&st, &pr, net, 0));
    EXPECT_TRUE(st & DN_STARTED);

    // The root and a node without DN_DISABLEABLE refuse; a restart-bound change says so.
    DWORD computer = tree().Find(L"ACPI_HAL\\PNP0C08\\0");
    EXPECT_EQ(static_cast<DWORD>(CR_NOT_DISABLEABLE), CM_Disable_DevNode(DeviceTree::kRoot, CM_DISABLE_UI_NOT_OK));
    EXPECT_EQ(static_cast<DWORD>(CR_NOT_DISABLEABLE), CM_Disable_DevNode(computer, CM_DISABLE_UI_NOT_OK));
    tree().SetRestartNeeded(net, DI_NEEDREBOOT);
    EXPECT_EQ(static_cast<DWORD>(CR_NEED_RESTART), CM_Disable_DevNode(net, CM_DISABLE_UI_NOT_OK));
    EXPECT_TRUE(tree().Get(net)->change_pending);
}

TEST_F(DeviceAdditionsTest, DeviceNodeDisableIsVetoedByAnOpenDeviceBelow) {
    DWORD port = tree().Find(kPortInstance);
    DEVINST module = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Parent(&module, port, 0));
    tree().AddOpen(port, 1);
    EXPECT_EQ(static_cast<DWORD>(CR_REMOVE_VETOED), CM_Disable_DevNode(module, CM_DISABLE_UI_NOT_OK));
    EXPECT_EQ(static_cast<DWORD>(CR_REMOVE_VETOED), CM_Disable_DevNode(port, CM_DISABLE_POLITE));
    EXPECT_TRUE(tree().IsPresent(port));
    // The absolute form goes through; the open device goes away with its parent.
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Disable_DevNode(module, CM_DISABLE_ABSOLUTE));
    EXPECT_FALSE(tree().IsPresent(port));
    tree().AddOpen(port, -1);
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Enable_DevNode(module, 0));
    EXPECT_TRUE(tree().IsPresent(port));
}

TEST_F(DeviceAdditionsTest, ExFormsServeOnlyThisMachine) {
    DWORD port = tree().Find(kPortInstance);
    DEVINST p1 = 0, p2 = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Parent(&p1, port, 0));
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Parent_Ex(&p2, port, 0, NULL));
    EXPECT_EQ(p1, p2);
    DEVINST c = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Child_Ex(&c, p1, 0, NULL));
    EXPECT_EQ(port, c);
    ULONG st = 0, pr = 0;
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_DevNode_Status_Ex(&st, &pr, port, 0, NULL));
    EXPECT_TRUE(st & DN_STARTED);

    // The machine handle of a device information set is null here.
    HDEVINFO set = SetupDiGetClassDevsExW(NULL, NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES, NULL, NULL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    SP_DEVINFO_LIST_DETAIL_DATA_W detail;
    detail.cbSize = sizeof detail;
    ASSERT_TRUE(SetupDiGetDeviceInfoListDetailW(set, &detail));
    EXPECT_EQ(NULL, detail.RemoteMachineHandle);
    SetupDiDestroyDeviceInfoList(set);

    HMACHINE other = reinterpret_cast<HMACHINE>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(static_cast<DWORD>(CR_INVALID_MACHINENAME), CM_Get_DevNode_Status_Ex(&st, &pr, port, 0, other));
    EXPECT_EQ(static_cast<DWORD>(CR_INVALID_MACHINENAME), CM_Disable_DevNode_Ex(port, CM_DISABLE_UI_NOT_OK, other));
    EXPECT_EQ(static_cast<DWORD>(CR_INVALID_MACHINENAME), CM_Enable_DevNode_Ex(port, 0, other));
    EXPECT_TRUE(tree().IsPresent(port));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              SetupDiGetClassDevsExW(NULL, NULL, NULL, DIGCF_ALLCLASSES, NULL, L"\\\\OTHER", NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_MACHINENAME), GetLastError());
}

TEST_F(DeviceAdditionsTest, BatteryInterfaceEnumerationAndDetailSizes) {
    auto paths = InterfacePaths(&GUID_DEVICE_BATTERY, DIGCF_PRESENT);
    ASSERT_EQ(1u, paths.size());
    EXPECT_EQ(kBatteryPath, paths[0].first);
    EXPECT_EQ(static_cast<DWORD>(SPINT_ACTIVE), paths[0].second);
    EXPECT_TRUE(InterfacePaths(&GUID_DEVCLASS_NET, DIGCF_PRESENT).empty());

    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVICE_BATTERY, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    SP_DEVICE_INTERFACE_DATA d;
    d.cbSize = sizeof d - 1;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVICE_BATTERY, 0, &d));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError());
    d.cbSize = sizeof d;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, NULL, NULL, 0, &d));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVICE_BATTERY, 1, &d));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVICE_BATTERY, 0, &d));
    EXPECT_TRUE(IsEqualGUID(GUID_DEVICE_BATTERY, d.InterfaceClassGuid));

    // The size query also names the device; the size counts the fixed part and the path.
    DWORD need = 0;
    SP_DEVINFO_DATA dev;
    dev.cbSize = sizeof dev;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &d, NULL, 0, &need, &dev));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    const DWORD fixed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    EXPECT_EQ(fixed + (wcslen(kBatteryPath) + 1) * sizeof(WCHAR), need);
    EXPECT_EQ(tree().Find(kBatteryInstance), dev.DevInst);
    std::vector<BYTE> buf(need + 16, 0xEE);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buf.data());
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &d, NULL, need, NULL, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError());
    detail->cbSize = need;  // the whole size instead of the fixed part's
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &d, detail, need, NULL, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &d, detail, need - sizeof(WCHAR), NULL, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &d, detail, need, NULL, NULL));
    EXPECT_STREQ(kBatteryPath, detail->DevicePath);
    EXPECT_EQ(0xEE, buf[need]);
    SetupDiDestroyDeviceInfoList(set);

    // Unplugged: only a set without DIGCF_PRESENT holds the interface, as not active.
    tree().Unplug(tree().Find(kBatteryInstance));
    EXPECT_TRUE(InterfacePaths(&GUID_DEVICE_BATTERY, DIGCF_PRESENT).empty());
    auto all = InterfacePaths(&GUID_DEVICE_BATTERY, 0);
    ASSERT_EQ(1u, all.size());
    EXPECT_EQ(0u, all[0].second);
}

TEST_F(DeviceAdditionsTest, InterfacesAreMirroredAndGoWithTheDevice) {
    winsim::Registry r(machine());
    const std::wstring k =
        L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
        L"{72631e54-78a4-11d0-bcf7-00aa00b7b32a}\\##?#acpi#pnp0c0a#1#"
        L"{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
    EXPECT_EQ(kBatteryInstance, r.GetString(k, L"DeviceInstance"));
    EXPECT_EQ(kBatteryPath, r.GetString(k + L"\\#", L"SymbolicLink"));
    DWORD dn = tree().Find(kBatteryInstance);
    ASSERT_TRUE(tree().Battery(dn));
    tree().Uninstall(dn);
    EXPECT_FALSE(r.KeyExists(k));
    EXPECT_FALSE(tree().Battery(dn));
    EXPECT_TRUE(tree().Interfaces(winsim::devclass::kBattery).empty());
    HANDLE h = CreateFileW(kBatteryPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// The battery's answers to the three requests, through its interface path.
class BatteryIoTest : public DeviceAdditionsTest {
protected:
    void SetUp() override {
        h_ = CreateFileW(kBatteryPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, h_);
    }
    void TearDown() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    DWORD battery() { return tree().Find(kBatteryInstance); }

    BOOL Tag(ULONG wait, ULONG* tag) {
        DWORD n = 0;
        *tag = 0xBAD;
        return DeviceIoControl(h_, IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait, tag, sizeof *tag, &n, NULL);
    }
    template <class T>
    BOOL Info(ULONG tag, BATTERY_QUERY_INFORMATION_LEVEL level, T* out, LONG at_rate = 0) {
        BATTERY_QUERY_INFORMATION q{tag, level, at_rate};
        DWORD n = 0;
        return DeviceIoControl(h_, IOCTL_BATTERY_QUERY_INFORMATION, &q, sizeof q, out, sizeof *out, &n, NULL);
    }
    BOOL Status(BATTERY_WAIT_STATUS w, BATTERY_STATUS* s) {
        DWORD n = 0;
        return DeviceIoControl(h_, IOCTL_BATTERY_QUERY_STATUS, &w, sizeof w, s, sizeof *s, &n, NULL);
    }

    HANDLE h_ = INVALID_HANDLE_VALUE;
};

struct BatteryCase {
    const char* name;
    BatteryState state;
    ULONG capabilities;
    ULONG power_state;
};

class BatteryCaseTest : public BatteryIoTest, public ::testing::WithParamInterface<BatteryCase> {};

TEST_P(BatteryCaseTest, TagInformationAndStatus) {
    const BatteryCase& c = GetParam();
    tree().SetBattery(battery(), c.state);
    ULONG tag = 0;
    ASSERT_TRUE(Tag(0, &tag));
    EXPECT_EQ(c.state.tag, tag);
    BATTERY_INFORMATION bi;
    ASSERT_TRUE(Info(tag, BatteryInformation, &bi));
    EXPECT_EQ(c.capabilities, bi.Capabilities);
    EXPECT_EQ(c.state.designed_capacity, bi.DesignedCapacity);
    EXPECT_EQ(0, memcmp(bi.Chemistry, c.state.chemistry.data(), 4));
    BATTERY_STATUS s;
    ASSERT_TRUE(Status(BATTERY_WAIT_STATUS{tag, 0, 0, 0, 0}, &s));
    EXPECT_EQ(c.power_state, s.PowerState);
    EXPECT_EQ(c.state.capacity, s.Capacity);
    // A tag that is not the battery's own.
    EXPECT_FALSE(Info(tag + 1, BatteryInformation, &bi));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(Status(BATTERY_WAIT_STATUS{tag + 1, 0, 0, 0, 0}, &s));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatteryCaseTest,
    ::testing::Values(BatteryCase{"OnMains", BatteryState::OnMains(), BATTERY_SYSTEM_BATTERY,
                                  BATTERY_POWER_ON_LINE | BATTERY_CHARGING},
                      BatteryCase{"OnBattery", BatteryState::OnBattery(), BATTERY_SYSTEM_BATTERY, BATTERY_DISCHARGING},
                      BatteryCase{"Ups", BatteryState::Ups(),
                                  BATTERY_SYSTEM_BATTERY | BATTERY_IS_SHORT_TERM | BATTERY_CAPACITY_RELATIVE,
                                  BATTERY_POWER_ON_LINE},
                      BatteryCase{"UpsOnItsBattery", BatteryState::Ups(false),
                                  BATTERY_SYSTEM_BATTERY | BATTERY_IS_SHORT_TERM | BATTERY_CAPACITY_RELATIVE,
                                  BATTERY_DISCHARGING}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BatteryIoTest, EmptySlotGivesTheInvalidTagAndWaitsOnTheClock) {
    BatteryState empty = BatteryState::OnMains();
    empty.tag = BATTERY_TAG_INVALID;
    tree().SetBattery(battery(), empty);
    ULONG tag = 0;
    EXPECT_FALSE(Tag(0, &tag));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(static_cast<ULONG>(BATTERY_TAG_INVALID), tag);
    BATTERY_INFORMATION bi;
    EXPECT_FALSE(Info(0, BatteryInformation, &bi));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    DWORD t0 = GetTickCount();
    EXPECT_FALSE(Tag(2500, &tag));
    EXPECT_EQ(2500u, GetTickCount() - t0);

    // A battery inserted during the wait ends it with the new tag.
    struct Inserter {
        static DWORD WINAPI Run(LPVOID) {
            Sleep(1200);
            BatteryState b = BatteryState::OnMains();
            b.tag = 7;
            DeviceTree t(winsim::CurrentMachine());
            t.SetBattery(t.Find(kBatteryInstance), b);
            return 0;
        }
    };
    HANDLE th = CreateThread(NULL, 0, Inserter::Run, NULL, 0, NULL);
    ASSERT_NE(nullptr, th);
    t0 = GetTickCount();
    ASSERT_TRUE(Tag(INFINITE, &tag));
    EXPECT_EQ(7u, tag);
    EXPECT_LE(GetTickCount() - t0, 2000u);
    WaitForSingleObject(th, INFINITE);
    CloseHandle(th);
}

TEST_F(BatteryIoTest, StatusWaitEndsOnChangeOrTimeOut) {
    ULONG tag = 0;
    ASSERT_TRUE(Tag(0, &tag));
    BATTERY_STATUS s;
    ASSERT_TRUE(Status(BATTERY_WAIT_STATUS{tag, 0, 0, 0, 0}, &s));
    // Same power state and capacity within the bounds: the request waits its time-out.
    DWORD t0 = GetTickCount();
    ASSERT_TRUE(Status(BATTERY_WAIT_STATUS{tag, 3000, s.PowerState, s.Capacity - 1, s.Capacity + 1}, &s));
    EXPECT_EQ(3000u, GetTickCount() - t0);
    // Another power state than the given one: at once.
    t0 = GetTickCount();
    ASSERT_TRUE(Status(BATTERY_WAIT_STATUS{tag, 3000, BATTERY_DISCHARGING, 0, BATTERY_UNKNOWN_CAPACITY}, &s));
    EXPECT_EQ(0u, GetTickCount() - t0);
}

TEST_F(BatteryIoTest, InformationLevelsAndBufferRules) {
    ULONG tag = 0;
    ASSERT_TRUE(Tag(0, &tag));
    ULONG seconds = 0;
    ASSERT_TRUE(Info(tag, BatteryEstimatedTime, &seconds));
    EXPECT_EQ(BATTERY_UNKNOWN_TIME, seconds);  // on mains
    ASSERT_TRUE(Info(tag, BatteryEstimatedTime, &seconds, -10000));
    EXPECT_EQ(30000u * 3600u / 10000u, seconds);  // at the asked rate
    BatteryState on_battery = BatteryState::OnBattery();
    on_battery.tag = tag;
    tree().SetBattery(battery(), on_battery);
    ASSERT_TRUE(Info(tag, BatteryEstimatedTime, &seconds));
    EXPECT_EQ(30000u * 3600u / 9000u, seconds);

    WCHAR name[32];
    ASSERT_TRUE(Info(tag, BatteryDeviceName, &name));
    EXPECT_STREQ(L"Battery", name);
    WCHAR tiny[3];
    EXPECT_FALSE(Info(tag, BatteryDeviceName, &tiny));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_FALSE(Info(tag, BatterySerialNumber, &name));  // none reported
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());

    BATTERY_INFORMATION bi;
    BATTERY_QUERY_INFORMATION q{tag, BatteryInformation, 0};
    DWORD n = 0;
    EXPECT_FALSE(DeviceIoControl(h_, IOCTL_BATTERY_QUERY_INFORMATION, &q, sizeof q, &bi, sizeof bi - 1, &n, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_FALSE(DeviceIoControl(h_, IOCTL_BATTERY_QUERY_INFORMATION, &q, sizeof q - 1, &bi, sizeof bi, &n, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(DeviceIoControl(h_, IOCTL_BATTERY_SET_INFORMATION, &q, sizeof q, NULL, 0, &n, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());

    // Unplugged, the battery answers no more and cannot be opened.
    tree().Unplug(battery());
    EXPECT_FALSE(Tag(0, &tag));
    HANDLE h2 =
        CreateFileW(kBatteryPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h2);
}

TEST_F(DeviceAdditionsTest, AddedBatteriesAndTheUpsOnlyMachine) {
    // The tablet's own battery goes; a UPS on USB is the only battery left.
    tree().Uninstall(tree().Find(kBatteryInstance));
    DeviceSpec ups;
    ups.instance_id = L"HID\\VID_2E4F&PID_FFFF\\7&1A2B3C&0&0000";
    ups.hardware_ids = std::vector<std::wstring>{L"HID\\VID_2E4F&PID_FFFF", L"HID_DEVICE_UPS"};
    ups.description = L"HID UPS Battery";
    ups.service = L"HidBatt";
    DWORD dn = tree().AddBattery(ups, BatteryState::Ups());
    EXPECT_EQ(std::vector<DWORD>{dn}, tree().Batteries());
    auto paths = InterfacePaths(&GUID_DEVICE_BATTERY, DIGCF_PRESENT);
    ASSERT_EQ(1u, paths.size());
    EXPECT_EQ(L"\\\\?\\hid#vid_2e4f&pid_ffff#7&1a2b3c&0&0000#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}", paths[0].first);
    // An empty instance ID takes the next ACPI battery number.
    DWORD second = tree().AddBattery(DeviceSpec{}, BatteryState::OnBattery());
    EXPECT_EQ(L"ACPI\\PNP0C0A\\1", tree().Get(second)->instance_id);
    EXPECT_EQ(2u, InterfacePaths(&GUID_DEVICE_BATTERY, DIGCF_PRESENT).size());
    EXPECT_THROW(tree().SetBattery(tree().Find(kNetInstance), BatteryState()), std::invalid_argument);
}

TEST(DeviceBatteryPersistence, TheBatteryOpensAfterReopeningTheMachine) {
    char tmpl[] = "/tmp/winsim-battest-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    std::string folder = tmpl;
    {
        auto m = winsim::Machine::Open(folder, "tablet");
        DeviceTree t(*m);
        BatteryState b = BatteryState::OnBattery();
        b.tag = 42;
        t.SetBattery(t.Find(kBatteryInstance), b);
    }
    {
        auto m = winsim::Machine::Open(folder, "tablet");
        winsim::ProcessOptions o;
        o.image = L"C:\\Windows\\System32\\probe.exe";
        winsim::ProcessScope scope(*m, o);
        HANDLE h = CreateFileW(kBatteryPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        ULONG wait = 0, tag = 0;
        DWORD n = 0;
        EXPECT_TRUE(DeviceIoControl(h, IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait, &tag, sizeof tag, &n, NULL));
        EXPECT_EQ(42u, tag);
        CloseHandle(h);
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

TEST(DeviceBatteryProfiles, TheBareMachineHasNone) {
    auto m = winsim::Machine::CreateInMemory("bare");
    winsim::ProcessOptions o;
    o.image = L"C:\\Windows\\System32\\probe.exe";
    winsim::ProcessScope scope(*m, o);
    EXPECT_TRUE(DeviceTree(*m).Batteries().empty());
    EXPECT_TRUE(InterfacePaths(&GUID_DEVICE_BATTERY, DIGCF_PRESENT).empty());
}

}  // namespace
