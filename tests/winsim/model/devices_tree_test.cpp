// The device tree through SetupAPI and the configuration manager: enumeration, properties,
// the registry mirror, eject and re-add, vetoes, property changes and change records.
#include "devices_test_util.h"
#include "sim_fixture.h"
#include "winsim/registry.h"

#include <filesystem>

using namespace devtest;
using winsim::DeviceChangeKind;
using winsim::DeviceTree;

namespace {

class DeviceTreeTest : public SimTest {
protected:
    DeviceTreeTest() : SimTest("tablet") {}
    DeviceTree tree() { return DeviceTree(machine()); }
    DWORD Node(const wchar_t* id) { return tree().Find(id); }
    DWORD module() { return Node(kModuleInstance); }
    DWORD port() { return Node(kPortInstance); }
    DWORD net() { return Node(kNetInstance); }
    DWORD hub() { return Node(kHubInstance); }

    // "r"/"a" + instance ID of every recorded change.
    std::vector<std::wstring> ChangeLog() {
        std::vector<std::wstring> v;
        for (auto& c : tree().Changes())
            v.push_back((c.kind == DeviceChangeKind::Arrival ? L"a " : L"r ") + c.instance_id);
        return v;
    }

    // A property change as the service makes it: parameters set, class installer called.
    BOOL PropChange(OneDevice& d, DWORD state, DWORD scope, bool call = true) {
        SP_PROPCHANGE_PARAMS p{};
        p.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        p.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        p.StateChange = state;
        p.Scope = scope;
        p.HwProfile = 0;
        if (!SetupDiSetClassInstallParamsW(d.set, &d.data, &p.ClassInstallHeader, sizeof p)) return FALSE;
        return call ? SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, d.set, &d.data) : TRUE;
    }

    std::pair<ULONG, ULONG> Status(DWORD dn, CONFIGRET* cr = nullptr) {
        ULONG st = 0, pr = 0;
        CONFIGRET r = CM_Get_DevNode_Status(&st, &pr, dn, 0);
        if (cr) *cr = r;
        return {st, pr};
    }
};

TEST_F(DeviceTreeTest, ClassAndEnumeratorFiltersAndStableOrder) {
    auto all = ListIds(NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    EXPECT_EQ(all, ListIds(NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    for (auto* id : {kModuleInstance, kPortInstance, kNetInstance, kHubInstance}) EXPECT_TRUE(Contains(all, id)) << id;
    EXPECT_FALSE(Contains(all, DeviceTree::kRootId));

    auto display = ListIds(&GUID_DEVCLASS_DISPLAY, L"PCI", DIGCF_PRESENT);
    ASSERT_EQ(1u, display.size());
    EXPECT_EQ(L"PCI\\VEN_1D2E&DEV_4012&SUBSYS_80011A2B&REV_09\\3&11583659&0&10", display[0]);
    EXPECT_TRUE(ListIds(&GUID_DEVCLASS_DISPLAY, L"USB", DIGCF_PRESENT).empty());
    EXPECT_EQ(std::vector<std::wstring>{kNetInstance}, ListIds(&GUID_DEVCLASS_NET, NULL, DIGCF_PRESENT));
    auto usb = ListIds(&GUID_DEVCLASS_USB, NULL, DIGCF_PRESENT);
    ASSERT_EQ(3u, usb.size());  // controller, root hub, module: in installation order
    EXPECT_EQ(kHubInstance, usb[1]);
    EXPECT_EQ(kModuleInstance, usb[2]);
    // The enumerator compares without regard to case and as a whole component.
    EXPECT_EQ(usb.size() - 1, ListIds(&GUID_DEVCLASS_USB, L"usb", DIGCF_PRESENT).size());
    EXPECT_TRUE(ListIds(&GUID_DEVCLASS_USB, L"US", DIGCF_PRESENT).empty());

    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupDiGetClassDevsW(NULL, NULL, NULL, DIGCF_PRESENT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

struct PropCase {
    const char* name;
    const wchar_t* instance;
    DWORD property;
    DWORD buffer_bytes;  // given to the call
    BOOL ok;
    DWORD error;
    DWORD type;
    std::wstring value;  // the data as host WCHARs, terminators included
};

class PropertyTest : public DeviceTreeTest, public ::testing::WithParamInterface<PropCase> {};

const std::wstring kZ(1, L'\0');
const std::wstring kModuleIds =
    std::wstring(L"USB\\VID_1A2B&PID_3C4D&REV_0002") + kZ + L"USB\\VID_1A2B&PID_3C4D" + kZ + kZ;

TEST_P(PropertyTest, ReadsWithTheDocumentedSizesAndErrors) {
    const PropCase& c = GetParam();
    OneDevice d(c.instance);
    ASSERT_TRUE(d.found);
    std::vector<BYTE> buf(1024, 0xEE);
    DWORD type = 0xBAD, need = 0xBAD;
    BOOL ok = SetupDiGetDeviceRegistryPropertyW(d.set, &d.data, c.property, &type, c.buffer_bytes ? buf.data() : NULL,
                                                c.buffer_bytes, &need);
    EXPECT_EQ(c.ok, ok);
    if (!ok) {
        EXPECT_EQ(c.error, GetLastError());
    }
    if (c.error == ERROR_INVALID_DATA || c.error == ERROR_INVALID_REG_PROPERTY) return;
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.value.size() * sizeof(WCHAR), need);
    if (ok) {
        EXPECT_EQ(c.value, std::wstring(reinterpret_cast<const WCHAR*>(buf.data()), need / sizeof(WCHAR)));
        EXPECT_EQ(0xEE, buf[need]);  // nothing written beyond
    } else {
        EXPECT_EQ(0xEE, buf[0]);  // nothing written into a short buffer
    }
}

INSTANTIATE_TEST_SUITE_P(
    Properties, PropertyTest,
    ::testing::Values(
        PropCase{"HardwareIds", kModuleInstance, SPDRP_HARDWAREID, 1024, TRUE, 0, REG_MULTI_SZ, kModuleIds},
        PropCase{"HardwareIdsSizeQuery", kModuleInstance, SPDRP_HARDWAREID, 0, FALSE, ERROR_INSUFFICIENT_BUFFER,
                 REG_MULTI_SZ, kModuleIds},
        PropCase{"HardwareIdsOneShort", kModuleInstance, SPDRP_HARDWAREID,
                 static_cast<DWORD>(kModuleIds.size() * sizeof(WCHAR) - 1), FALSE, ERROR_INSUFFICIENT_BUFFER,
                 REG_MULTI_SZ, kModuleIds},
        PropCase{"Description", kModuleInstance, SPDRP_DEVICEDESC, 1024, TRUE, 0, REG_SZ,
                 std::wstring(L"USB Composite Device") + kZ},
        PropCase{"Service", kPortInstance, SPDRP_SERVICE, 1024, TRUE, 0, REG_SZ, std::wstring(L"qvser") + kZ},
        PropCase{"DriverKey", kNetInstance, SPDRP_DRIVER, 1024, TRUE, 0, REG_SZ,
                 std::wstring(L"{4d36e972-e325-11ce-bfc1-08002be10318}\\0000") + kZ},
        PropCase{"Enumerator", kNetInstance, SPDRP_ENUMERATOR_NAME, 1024, TRUE, 0, REG_SZ, std::wstring(L"USB") + kZ},
        PropCase{"NoFriendlyName", kHubInstance, SPDRP_FRIENDLYNAME, 1024, FALSE, ERROR_INVALID_DATA, 0, L""},
        PropCase{"UnusedProperty", kHubInstance, SPDRP_UNUSED0, 1024, FALSE, ERROR_INVALID_REG_PROPERTY, 0, L""},
        PropCase{"BeyondTheLast", kHubInstance, SPDRP_MAXIMUM_PROPERTY, 1024, FALSE, ERROR_INVALID_REG_PROPERTY, 0,
                 L""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceTreeTest, DeviceWithoutHardwareIdsAndBadRecords) {
    winsim::DeviceSpec s;
    s.instance_id = L"ROOT\\LEGACY_BEEP\\0000";
    s.class_name = L"LegacyDriver";
    s.class_guid = L"{8ecc055d-047f-11d1-a537-0000f8753ed1}";
    s.description = L"Beep";
    s.driver_key = false;
    tree().Add(s);
    OneDevice d(s.instance_id);
    ASSERT_TRUE(d.found);
    DWORD need = 0;
    BYTE buf[64];
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(d.set, &d.data, SPDRP_HARDWAREID, NULL, buf, sizeof buf, &need));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), GetLastError());
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(d.set, &d.data, SPDRP_DRIVER, NULL, buf, sizeof buf, &need));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), GetLastError());
    DWORD st = 0, pr = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_DevNode_Status(&st, &pr, d.data.DevInst, 0));
    EXPECT_TRUE(st & DN_ROOT_ENUMERATED);

    SP_DEVINFO_DATA bad = d.data;
    bad.cbSize = sizeof bad - 1;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(d.set, &bad, SPDRP_DEVICEDESC, NULL, buf, sizeof buf, &need));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError());
    SP_DEVINFO_DATA e;
    e.cbSize = sizeof e;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(d.set, 100000, &e));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), GetLastError());
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(reinterpret_cast<HDEVINFO>(&e)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(DeviceTreeTest, InstanceIdNeedsRoomForTheTerminator) {
    OneDevice d(kPortInstance);
    ASSERT_TRUE(d.found);
    std::wstring id = kPortInstance;
    std::vector<WCHAR> buf(id.size() + 1);
    DWORD need = 0;
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdW(d.set, &d.data, buf.data(), static_cast<DWORD>(id.size()), &need));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(id.size() + 1, need);
    EXPECT_TRUE(SetupDiGetDeviceInstanceIdW(d.set, &d.data, buf.data(), need, &need));
    EXPECT_EQ(id, buf.data());
}

TEST_F(DeviceTreeTest, RegistryMirrorsTheTree) {
    winsim::Registry r(machine());
    const std::wstring e = L"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\";
    EXPECT_EQ(L"COM5", r.GetString(e + kPortInstance + L"\\Device Parameters", L"PortName"));
    EXPECT_EQ(L"{4d36e978-e325-11ce-bfc1-08002be10318}", r.GetString(e + kPortInstance, L"ClassGUID"));
    EXPECT_EQ(L"COM5",
              r.GetString(L"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM", L"\\Device\\VQSerial" + std::to_wstring(port())));
    auto driver = r.GetString(e + kNetInstance, L"Driver");
    ASSERT_TRUE(driver);
    EXPECT_EQ(L"{7E1C4A2B-3D5F-4E6A-8B9C-0D1E2F3A4B5C}",
              r.GetString(L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + *driver, L"NetCfgInstanceId"));
    EXPECT_EQ(L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + *driver, tree().DriverKey(net()));
    // The product's lists name the module and its port by hardware ID.
    auto ids = r.GetMultiString(e + kModuleInstance, L"HardwareID");
    ASSERT_TRUE(ids);
    EXPECT_TRUE(Contains(*ids, *r.GetString(L"HKLM\\SOFTWARE\\Quarven\\WirelessDeviceID", L"3GID_SupportRL0")));
    auto port_ids = r.GetMultiString(e + kPortInstance, L"HardwareID");
    ASSERT_TRUE(port_ids);
    EXPECT_TRUE(Contains(*port_ids, *r.GetString(L"HKLM\\SOFTWARE\\Quarven\\Veltrane", L"ATCMDId0")));
}

TEST_F(DeviceTreeTest, NavigationAndInvalidNodes) {
    DEVINST p = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Parent(&p, module(), 0));
    EXPECT_EQ(hub(), p);
    // Up to the root, which has no parent.
    DEVINST dn = module();
    int depth = 0;
    while (CM_Get_Parent(&p, dn, 0) == CR_SUCCESS) dn = p, ++depth;
    EXPECT_EQ(DeviceTree::kRoot, dn);
    EXPECT_EQ(5, depth);  // hub, controller, PCI root, computer, root
    DEVINST root = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Locate_DevNodeW(&root, NULL, 0));
    EXPECT_EQ(DeviceTree::kRoot, root);

    DEVINST c = 0, s = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Child(&c, module(), 0));
    EXPECT_EQ(port(), c);
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Sibling(&s, c, 0));
    EXPECT_EQ(net(), s);
    EXPECT_EQ(static_cast<DWORD>(CR_NO_SUCH_DEVNODE), CM_Get_Sibling(&s, net(), 0));
    EXPECT_EQ(static_cast<DWORD>(CR_NO_SUCH_DEVNODE), CM_Get_Child(&c, port(), 0));

    for (DEVINST bad : {0u, 99999u}) {
        ULONG st, pr;
        EXPECT_EQ(static_cast<DWORD>(CR_INVALID_DEVNODE), CM_Get_Parent(&p, bad, 0)) << bad;
        EXPECT_EQ(static_cast<DWORD>(CR_INVALID_DEVNODE), CM_Get_DevNode_Status(&st, &pr, bad, 0)) << bad;
        EXPECT_EQ(static_cast<DWORD>(CR_INVALID_DEVNODE), CM_Query_And_Remove_SubTreeW(bad, NULL, NULL, 0, 0));
        EXPECT_EQ(static_cast<DWORD>(CR_INVALID_DEVNODE), CM_Setup_DevNode(bad, CM_SETUP_DEVNODE_RESET));
        EXPECT_EQ(static_cast<DWORD>(CR_INVALID_DEVNODE), CM_Reenumerate_DevNode(bad, CM_REENUMERATE_NORMAL));
    }
    WCHAR id[MAX_DEVICE_ID_LEN];
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Device_IDW(net(), id, MAX_DEVICE_ID_LEN, 0));
    EXPECT_STREQ(kNetInstance, id);
    ULONG len = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Device_ID_Size(&len, net(), 0));
    EXPECT_EQ(wcslen(kNetInstance), len);
    EXPECT_EQ(static_cast<DWORD>(CR_BUFFER_SMALL), CM_Get_Device_IDW(net(), id, len - 1, 0));
}

TEST_F(DeviceTreeTest, EjectAndReAddRoundTrip) {
    tree().ClearChanges();
    DEVINST composite = module(), parent = 0;
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Parent(&parent, composite, 0));
    PNP_VETO_TYPE veto = PNP_VetoDevice;
    WCHAR name[260] = L"x";
    ASSERT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Query_And_Remove_SubTreeW(composite, &veto, name, 260, 0));
    EXPECT_EQ(PNP_VetoTypeUnknown, veto);
    EXPECT_STREQ(L"", name);

    auto present = ListIds(NULL, NULL, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    for (auto* id : {kModuleInstance, kPortInstance, kNetInstance}) EXPECT_FALSE(Contains(present, id)) << id;
    EXPECT_TRUE(Contains(present, kHubInstance));
    // Installed, not present: the flags-0 listing still has them.
    EXPECT_TRUE(Contains(ListIds(NULL, NULL, DIGCF_ALLCLASSES), kPortInstance));
    // The nodes stay known: the parent still answers, the rest says "no such node now".
    DEVINST p2 = 0;
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Get_Parent(&p2, composite, 0));
    EXPECT_EQ(parent, p2);
    CONFIGRET cr;
    Status(composite, &cr);
    EXPECT_EQ(static_cast<DWORD>(CR_NO_SUCH_DEVNODE), cr);
    EXPECT_EQ(static_cast<DWORD>(CR_NO_SUCH_DEVNODE), CM_Reenumerate_DevNode(composite, CM_REENUMERATE_NORMAL));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileW(L"\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    // Held: re-enumerating the parent alone does not bring it back.
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Reenumerate_DevNode(parent, CM_REENUMERATE_NORMAL));
    EXPECT_FALSE(tree().IsPresent(composite));
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Setup_DevNode(composite, CM_SETUP_DEVNODE_RESET));
    EXPECT_FALSE(tree().IsPresent(composite));
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Reenumerate_DevNode(parent, CM_REENUMERATE_NORMAL));
    EXPECT_TRUE(tree().IsPresent(composite));
    EXPECT_TRUE(tree().IsPresent(port()));
    EXPECT_TRUE(tree().IsPresent(net()));
    EXPECT_EQ(composite, module());  // the same node numbers

    std::vector<std::wstring> expected = {std::wstring(L"r ") + kNetInstance,    std::wstring(L"r ") + kPortInstance,
                                          std::wstring(L"r ") + kModuleInstance, std::wstring(L"a ") + kModuleInstance,
                                          std::wstring(L"a ") + kPortInstance,   std::wstring(L"a ") + kNetInstance};
    EXPECT_EQ(expected, ChangeLog());
    auto changes = tree().Changes();
    EXPECT_EQ(L"COM5", changes[1].port_name);
    EXPECT_EQ(L"", changes[0].port_name);

    HANDLE h = CreateFileW(L"\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
}

TEST_F(DeviceTreeTest, OpenPortVetoesTheEjectUntilClosed) {
    HANDLE h = CreateFileW(L"\\\\.\\COM5", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    tree().ClearChanges();
    for (DEVINST dn : {module(), hub()}) {
        PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
        WCHAR name[260] = L"";
        EXPECT_EQ(static_cast<DWORD>(CR_REMOVE_VETOED), CM_Query_And_Remove_SubTreeW(dn, &veto, name, 260, 0));
        EXPECT_EQ(PNP_VetoOutstandingOpen, veto);
        EXPECT_STREQ(kPortInstance, name);
    }
    // A short name buffer gets what fits, terminated.
    WCHAR small[5];
    EXPECT_EQ(static_cast<DWORD>(CR_REMOVE_VETOED), CM_Query_And_Remove_SubTreeW(module(), NULL, small, 5, 0));
    EXPECT_STREQ(L"USB\\", small);
    EXPECT_TRUE(tree().IsPresent(port()));
    EXPECT_TRUE(ChangeLog().empty());
    // The network adapter alone is not held by the port.
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Query_And_Remove_SubTreeW(net(), NULL, NULL, 0, 0));
    CloseHandle(h);
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Query_And_Remove_SubTreeW(module(), NULL, NULL, 0, 0));
}

TEST_F(DeviceTreeTest, InjectedVetoAndTheRoot) {
    tree().SetVeto(net(), PNP_VetoDriver, L"qvwwan");
    PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
    WCHAR name[260];
    EXPECT_EQ(static_cast<DWORD>(CR_REMOVE_VETOED), CM_Query_And_Remove_SubTreeW(module(), &veto, name, 260, 0));
    EXPECT_EQ(PNP_VetoDriver, veto);
    EXPECT_STREQ(L"qvwwan", name);
    tree().SetVeto(net(), 0, L"");
    EXPECT_EQ(static_cast<DWORD>(CR_REMOVE_VETOED),
              CM_Query_And_Remove_SubTreeW(DeviceTree::kRoot, &veto, name, 260, 0));
    EXPECT_EQ(PNP_VetoIllegalDeviceRequest, veto);
    EXPECT_EQ(static_cast<DWORD>(CR_INVALID_FLAG), CM_Query_And_Remove_SubTreeW(module(), NULL, NULL, 0, 0x100));
    EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), CM_Query_And_Remove_SubTreeW(module(), &veto, name, 260, 0));
}

struct ChangeCase {
    const char* name;
    DWORD disable_scope;  // scope of the disabling change
    DWORD enable_scope;   // scope of the change that should bring it back (0: none)
    bool enabled_after;
};

class PropertyChangeTest : public DeviceTreeTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(PropertyChangeTest, DisabledDeviceStaysPresentWithProblem22) {
    const ChangeCase& c = GetParam();
    OneDevice d(kModuleInstance);
    ASSERT_TRUE(d.found);
    auto [st0, pr0] = Status(module());
    EXPECT_TRUE(st0 & DN_STARTED);
    EXPECT_TRUE(st0 & DN_DISABLEABLE);
    EXPECT_EQ(0u, pr0);

    ASSERT_TRUE(PropChange(d, DICS_DISABLE, c.disable_scope)) << GetLastError();
    auto [st1, pr1] = Status(module());
    EXPECT_TRUE(st1 & DN_HAS_PROBLEM);
    EXPECT_TRUE(st1 & DN_DISABLEABLE);
    EXPECT_FALSE(st1 & DN_STARTED);
    EXPECT_EQ(static_cast<ULONG>(CM_PROB_DISABLED), pr1);
    EXPECT_TRUE(Contains(ListIds(&GUID_DEVCLASS_USB, NULL, DIGCF_PRESENT), kModuleInstance));
    EXPECT_FALSE(tree().IsPresent(port()));  // its functions go with it
    winsim::Registry r(machine());
    const std::wstring k = L"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + std::wstring(kModuleInstance);
    EXPECT_EQ(c.disable_scope == DICS_FLAG_GLOBAL ? 1u : 0u, r.GetDword(k, L"ConfigFlags").value_or(99));

    if (c.enable_scope) {
        ASSERT_TRUE(PropChange(d, DICS_ENABLE, c.enable_scope));
    }
    auto [st2, pr2] = Status(module());
    EXPECT_EQ(c.enabled_after, (st2 & DN_STARTED) != 0);
    EXPECT_EQ(c.enabled_after ? 0u : static_cast<ULONG>(CM_PROB_DISABLED), pr2);
    EXPECT_EQ(c.enabled_after, tree().IsPresent(port()));
    SP_DEVINSTALL_PARAMS_W ip;
    ip.cbSize = sizeof ip;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsW(d.set, &d.data, &ip));
    EXPECT_EQ(0u, ip.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT));
}

INSTANTIATE_TEST_SUITE_P(
    Scopes, PropertyChangeTest,
    ::testing::Values(ChangeCase{"GlobalBack", DICS_FLAG_GLOBAL, DICS_FLAG_GLOBAL, true},
                      ChangeCase{"ConfigBack", DICS_FLAG_CONFIGSPECIFIC, DICS_FLAG_CONFIGSPECIFIC, true},
                      // Each scope has its own flag: enabling the other one changes nothing.
                      ChangeCase{"GlobalOffConfigOn", DICS_FLAG_GLOBAL, DICS_FLAG_CONFIGSPECIFIC, false},
                      ChangeCase{"ConfigOffGlobalOn", DICS_FLAG_CONFIGSPECIFIC, DICS_FLAG_GLOBAL, false},
                      ChangeCase{"StaysOff", DICS_FLAG_CONFIGSPECIFIC, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceTreeTest, RestartNeededKeepsTheDeviceRunningUntilTheRestart) {
    tree().SetRestartNeeded(module(), DI_NEEDREBOOT);
    OneDevice d(kModuleInstance);
    ASSERT_TRUE(d.found);
    ASSERT_TRUE(PropChange(d, DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC));
    SP_DEVINSTALL_PARAMS_W ip;
    ip.cbSize = sizeof ip;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsW(d.set, &d.data, &ip));
    EXPECT_EQ(static_cast<DWORD>(DI_NEEDREBOOT), ip.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT));
    EXPECT_TRUE(ip.Flags & DI_CLASSINSTALLPARAMS);
    EXPECT_TRUE(Status(module()).first & DN_STARTED);
    tree().Restart();
    EXPECT_EQ(static_cast<ULONG>(CM_PROB_DISABLED), Status(module()).second);

    ip.cbSize = sizeof ip - 1;
    EXPECT_FALSE(SetupDiGetDeviceInstallParamsW(d.set, &d.data, &ip));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError());
}

TEST_F(DeviceTreeTest, ClassInstallerRefusals) {
    OneDevice hubdev(kHubInstance);
    ASSERT_TRUE(hubdev.found);
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, hubdev.set, &hubdev.data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS), GetLastError());

    OneDevice pci(L"ACPI\\PNP0A08\\0");
    ASSERT_TRUE(pci.found);
    EXPECT_FALSE(PropChange(pci, DICS_DISABLE, DICS_FLAG_GLOBAL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_DISABLEABLE), GetLastError());

    SP_PROPCHANGE_PARAMS p{};
    p.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER) + 1;
    p.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    EXPECT_FALSE(SetupDiSetClassInstallParamsW(hubdev.set, &hubdev.data, &p.ClassInstallHeader, sizeof p));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), GetLastError());

    tree().SetInstallerError(hub(), ERROR_GEN_FAILURE);
    EXPECT_FALSE(PropChange(hubdev, DICS_DISABLE, DICS_FLAG_GLOBAL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
    EXPECT_TRUE(Status(hub()).first & DN_STARTED);
    // It refuses the removal too.
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, hubdev.set, &hubdev.data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
    EXPECT_NE(0u, tree().Find(kHubInstance));
}

TEST_F(DeviceTreeTest, ListenersHearEachChangeAfterItIsRecorded) {
    std::vector<std::pair<DeviceChangeKind, std::wstring>> heard;
    size_t recorded_when_first_heard = 0;
    tree().AddListener([&](const winsim::DeviceChange& c) {
        if (heard.empty()) recorded_when_first_heard = DeviceTree(machine()).Changes().size();
        heard.emplace_back(c.kind, c.port_name);
    });
    tree().ClearChanges();
    tree().Unplug(module());
    ASSERT_EQ(3u, heard.size());
    EXPECT_EQ(3u, recorded_when_first_heard);  // the whole operation is recorded first
    EXPECT_EQ(L"COM5", heard[1].second);
    tree().Plug(module());
    ASSERT_EQ(6u, heard.size());
    EXPECT_EQ(DeviceChangeKind::Arrival, heard[3].first);
}

TEST_F(DeviceTreeTest, ClassInstallerRemoveUninstalls) {
    OneDevice d(kNetInstance);
    ASSERT_TRUE(d.found);
    std::wstring drv = tree().DriverKey(net());
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, d.set, &d.data));
    EXPECT_EQ(0u, net());
    winsim::Registry r(machine());
    EXPECT_FALSE(r.KeyExists(L"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + std::wstring(kNetInstance)));
    EXPECT_FALSE(r.KeyExists(drv));
    SP_DEVINFO_DATA e;
    e.cbSize = sizeof e;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(d.set, 1000, &e));
    BYTE buf[16];
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(d.set, &d.data, SPDRP_DEVICEDESC, NULL, buf, sizeof buf, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_DEVINST), GetLastError());
}

TEST(DeviceTreePersistence, SurvivesReopeningTheMachineFolder) {
    char tmpl[] = "/tmp/winsim-devtest-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    std::string folder = tmpl;
    DWORD composite = 0;
    {
        auto m = winsim::Machine::Open(folder, "tablet");
        DeviceTree t(*m);
        composite = t.Find(kModuleInstance);
        ASSERT_NE(0u, composite);
        EXPECT_EQ(static_cast<DWORD>(CR_SUCCESS), t.RemoveSubtree(composite, nullptr, nullptr));
    }
    {
        auto m = winsim::Machine::Open(folder, "tablet");
        DeviceTree t(*m);
        EXPECT_EQ(composite, t.Find(kModuleInstance));
        auto n = t.Get(composite);
        ASSERT_TRUE(n);
        EXPECT_TRUE(n->held);
        EXPECT_FALSE(n->present);
        auto ch = t.Changes();
        ASSERT_GE(ch.size(), 3u);
        EXPECT_EQ(DeviceChangeKind::Removal, ch.back().kind);
        EXPECT_EQ(kModuleInstance, ch.back().instance_id);
        t.ResetHold(composite);
        t.Reenumerate(n->parent);
        EXPECT_TRUE(t.IsPresent(t.Find(kPortInstance)));
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

}  // namespace
