// The device layer's searches: the hardware-ID lists, the table search and its order, the
// single-ID search, the node status, the vendor digits and the driver-key values.
#include "dev_fixture.h"

#include <string>
#include <vector>

using namespace devlib;

namespace {

const GUID kNet = {0x4d36e972, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kModem = {0x4d36e96d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// ---------------------------------------------------------------------------------------
// List loading.

struct ListCase {
    const char* name;
    std::vector<std::pair<int, std::wstring>> values;  // number, text
    DWORD count;
    std::vector<std::wstring> table;  // the first entries expected
};

class ListLoadTest : public DevTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ListLoadTest, ReadsUpToTheFirstGap) {
    const ListCase& c = GetParam();
    winsim::Registry r(machine());
    for (const auto& v : c.values) r.SetString(kListKey, L"DevID_SupportRL" + std::to_wstring(v.first), v.second);
    dev_->IsExistByReg(L"DevID_SupportRL", NULL, NULL);
    EXPECT_EQ(c.count, dev_->GetCount());
    for (size_t i = 0; i < c.table.size(); ++i)
        EXPECT_EQ(c.table[i], std::wstring(dev_->GetSupportId(static_cast<DWORD>(i)))) << i;
    EXPECT_TRUE(Logged(L"IsExistByReg reg query count = " + std::to_wstring(c.count) + L" TickCount=0 DevCount=" +
                       std::to_wstring(c.count)));
}

std::vector<std::pair<int, std::wstring>> Numbered(int n) {
    std::vector<std::pair<int, std::wstring>> v;
    for (int i = 0; i < n; ++i) v.emplace_back(i, L"PCI\\VEN_0000&DEV_" + std::to_wstring(1000 + i));
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListLoadTest,
    ::testing::Values(
        ListCase{"three", {{0, L"A\\1"}, {1, L"B\\2"}, {2, L"C\\3"}}, 3, {L"A\\1", L"B\\2", L"C\\3", L""}},
        ListCase{"value0Missing", {{1, L"B\\2"}, {2, L"C\\3"}}, 0, {L"", L""}},
        ListCase{"gapStops", {{0, L"A\\1"}, {1, L"B\\2"}, {3, L"D\\4"}}, 2, {L"A\\1", L"B\\2", L"", L""}},
        ListCase{"noValues", {}, 0, {L""}},
        // 257 values: the 257th (number 256) is never read.
        ListCase{"atMost256", Numbered(257), 256, {L"PCI\\VEN_0000&DEV_1000"}},
        // A value too long for an entry keeps its number as an empty entry.
        ListCase{"tooLongKeepsItsPlace",
                 {{0, L"A\\1"}, {1, std::wstring(128, L'X')}, {2, L"C\\3"}},
                 3,
                 {L"A\\1", L"", L"C\\3"}},
        ListCase{"longestThatFits", {{0, std::wstring(127, L'Y')}}, 1, {std::wstring(127, L'Y')}},
        ListCase{"emptyValue", {{0, L""}, {1, L"B\\2"}}, 2, {L"", L"B\\2"}}),
    [](const ::testing::TestParamInfo<ListCase>& i) { return std::string(i.param.name); });

TEST_F(DevTest, ListEntryOfAnotherTypeIsKeptEmptyAndListedDeviceStillFound) {
    winsim::Registry r(machine());
    r.SetDword(kListKey, L"3GID_SupportRL0", 7);
    r.SetString(kListKey, L"3GID_SupportRL1", kPortShortId);
    EXPECT_EQ(1, dev_->IsExistByReg(L"3GID_SupportRL", &kModem, NULL));
    EXPECT_EQ(2u, dev_->GetCount());
    EXPECT_EQ(1u, dev_->GetMatchedIndex());
}

TEST_F(DevTest, ReadSupportIdResults) {
    WCHAR sz[DEVCTRL_ID_CCH];
    EXPECT_EQ(0, dev_->ReadSupportId(L"DevID_SupportRL", 0, sz, DEVCTRL_ID_CCH));  // no key
    SetList(L"DevID_SupportRL", {kWlanId, std::wstring(200, L'Z')});
    EXPECT_EQ(1, dev_->ReadSupportId(L"DevID_SupportRL", 0, sz, DEVCTRL_ID_CCH));
    EXPECT_STREQ(kWlanId, sz);
    EXPECT_EQ(-1, dev_->ReadSupportId(L"DevID_SupportRL", 1, sz, DEVCTRL_ID_CCH));
    EXPECT_STREQ(L"", sz);
    WCHAR small[8];
    EXPECT_EQ(-1, dev_->ReadSupportId(L"DevID_SupportRL", 0, small, 8));
    EXPECT_EQ(0, dev_->ReadSupportId(L"DevID_SupportRL", 2, sz, DEVCTRL_ID_CCH));
    // The value name is the prefix and the number in decimal.
    winsim::Registry(machine()).SetString(kListKey, L"UWBID_SupportRL12", L"USB\\VID_0001");
    EXPECT_EQ(1, dev_->ReadSupportId(L"UWBID_SupportRL", 12, sz, DEVCTRL_ID_CCH));
    EXPECT_EQ(0, dev_->ReadSupportId(L"UWBID_SupportRL", 0xC, sz, 0));
}

// ---------------------------------------------------------------------------------------
// The table search.

struct FindCase {
    const char* name;
    std::vector<std::wstring> list;
    const GUID* cls;
    const wchar_t* enumerator;
    int found;
    DWORD index;               // matched index
    const wchar_t* device_id;  // matched device ID
};

class FindListedTest : public DevTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindListedTest, FirstPairInDeviceThenTableOrder) {
    const FindCase& c = GetParam();
    SetList(L"DevID_SupportRL", c.list);
    EXPECT_EQ(c.found, dev_->IsExistByReg(L"DevID_SupportRL", c.cls, c.enumerator));
    if (c.found) {
        EXPECT_EQ(c.index, dev_->GetMatchedIndex());
        EXPECT_EQ(c.list[c.index], std::wstring(dev_->GetMatchedListId()));
        EXPECT_STREQ(c.device_id, dev_->GetMatchedDeviceId());
        EXPECT_TRUE(Logged(L"IsExistByReg Found Device TickCount=0"));
    } else {
        EXPECT_STREQ(L"", dev_->GetMatchedDeviceId());
        EXPECT_STREQ(L"", dev_->GetMatchedListId());
        EXPECT_TRUE(Logged(L"IsExistByReg Device TickCount=0"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Search, FindListedTest,
    ::testing::Values(
        // The module comes before its children; the port before the adapter. The port's
        // second ID matched, yet the matched device ID is its first.
        FindCase{"treeOrderAndFirstId", {kNetShortId, kPortShortId}, NULL, NULL, 1, 1, kPortId},
        FindCase{"classFilter", {kNetShortId, kPortShortId}, &kNet, NULL, 1, 0, kNetId},
        // The device's IDs are tried in their order before the table's order.
        FindCase{"deviceIdOrderFirst", {kPortShortId, kPortId}, &kModem, NULL, 1, 1, kPortId},
        FindCase{"tableOrderForOneId", {L"USB\\VID_1A2B&PID_3C4D&REV", L"USB\\VID_1A2B"}, NULL, NULL, 1, 0, kModuleId},
        // A bus-and-vendor entry matches the vendor's first device, in any letter case.
        FindCase{"vendorPrefixAnyCase", {L"usb\\vid_1a2b"}, NULL, NULL, 1, 0, kModuleId},
        FindCase{"pciVendorInNet", {L"PCI\\VEN_168C"}, &kNet, NULL, 1, 0, kWlanId},
        // An empty entry matches nothing; the next one still does.
        FindCase{"emptyEntrySkipped", {L"", kWlanId}, NULL, NULL, 1, 1, kWlanId},
        FindCase{"onlyEmptyEntry", {L""}, NULL, NULL, 0, 0, L""},
        FindCase{"entryLongerThanId", {L"USB\\VID_1A2B&PID_3C4D&MI_08&X"}, NULL, NULL, 0, 0, L""},
        FindCase{"enumeratorFilter", {L"USB\\VID_1A2B"}, NULL, L"PCI", 0, 0, L""},
        FindCase{"enumeratorUsb", {L"USB\\VID_1A2B&PID_3C4D&MI"}, NULL, L"USB", 1, 0, kPortId},
        FindCase{"wrongClass", {kWlanId}, &kModem, NULL, 0, 0, L""}, FindCase{"emptyList", {}, NULL, NULL, 0, 0, L""}),
    [](const ::testing::TestParamInfo<FindCase>& i) { return std::string(i.param.name); });

TEST_F(DevTest, TableSearchPassesOverPhantomsAndDevicesWithoutIds) {
    AddPhantom(L"PCI\\VEN_2A3B&DEV_4229\\4&1&0&00E0", L"PCI\\VEN_2A3B&DEV_4229");
    winsim::DeviceSpec bare = Node(L"ROOT\\NOIDS\\0000", 0, L"System", winsim::devclass::kSystem, {});
    bare.hardware_ids.reset();
    tree().Add(bare);
    SetList(L"DevID_SupportRL", {L"PCI\\VEN_2A3B", L"ROOT"});
    EXPECT_EQ(0, dev_->IsExistByReg(L"DevID_SupportRL", NULL, NULL));
    // A later successful search leaves the last match in place after a failed one.
    SetList(L"DevID_SupportRL", {kWlanId});
    EXPECT_EQ(1, dev_->IsExistByReg(L"DevID_SupportRL", NULL, NULL));
    EXPECT_EQ(0, dev_->IsExistByReg(L"3GID_SupportRL", NULL, NULL));
    EXPECT_EQ(0u, dev_->GetCount());
    EXPECT_STREQ(kWlanId, dev_->GetMatchedDeviceId());
}

TEST_F(DevTest, TableSearchLogsEachComparison) {
    SetList(L"DevID_SupportRL", {L"", L"PCI\\VEN_168C"});
    ClearLogs();
    ASSERT_EQ(1, dev_->IsExistByReg(L"DevID_SupportRL", &kNet, NULL));
    // The adapter of the module (Net, earlier in the tree) is compared first, with both of
    // its IDs; the empty entry is never compared.
    std::vector<std::wstring> expected = {
        L"SetupAPI ID = " + std::wstring(kNetId) + L", Compare ID = PCI\\VEN_168C",
        L"SetupAPI ID = " + std::wstring(kNetShortId) + L", Compare ID = PCI\\VEN_168C",
        L"SetupAPI ID = " + std::wstring(kWlanId) + L", Compare ID = PCI\\VEN_168C",
    };
    std::vector<std::wstring> seen;
    for (const auto& l : Logs())
        if (l.rfind(L"SetupAPI ID = ", 0) == 0) seen.push_back(l);
    EXPECT_EQ(expected, seen);
    EXPECT_TRUE(Logged(L"FindListedDevice: entry 0 is empty and matches nothing"));
}

// ---------------------------------------------------------------------------------------
// One ID.

struct ExistCase {
    const char* name;
    const wchar_t* id;
    const GUID* cls;
    const wchar_t* enumerator;
    const wchar_t* instance;  // nullptr: not found
};

class IsExistTest : public DevTest, public ::testing::WithParamInterface<ExistCase> {};

TEST_P(IsExistTest, PrefixMatchStoresTheInstance) {
    const ExistCase& c = GetParam();
    AddPhantom(L"PCI\\VEN_2A3B&DEV_4229\\4&1&0&00E0", L"PCI\\VEN_2A3B&DEV_4229");
    EXPECT_EQ(c.instance ? 1 : 0, dev_->IsExist(c.id, c.cls, c.enumerator));
    EXPECT_STREQ(c.instance ? c.instance : L"", dev_->GetDevInstanceId());
}

INSTANTIATE_TEST_SUITE_P(
    One, IsExistTest,
    ::testing::Values(ExistCase{"whole", kNetId, NULL, NULL, kNetInstance},
                      ExistCase{"prefixOfSecondId", L"USB\\VID_1A2B&PID_3C4D&MI_0", &kNet, NULL, kNetInstance},
                      ExistCase{"prefixFirstDevice", L"usb\\VID_1a2b", NULL, NULL, kModuleInstance},
                      ExistCase{"classNet", L"PCI\\VEN_168C", &kNet, NULL, kWlanInstance},
                      ExistCase{"phantomNotPresent", L"PCI\\VEN_2A3B&DEV_4229", NULL, NULL, nullptr},
                      ExistCase{"empty", L"", NULL, NULL, nullptr}, ExistCase{"null", nullptr, NULL, NULL, nullptr},
                      ExistCase{"longer", L"PCI\\VEN_168C&DEV_0E5A&SUBSYS_30A11A2B&REV_01&X", NULL, NULL, nullptr}),
    [](const ::testing::TestParamInfo<ExistCase>& i) { return std::string(i.param.name); });

TEST_F(DevTest, IsExistEnumeratorAndLogText) {
    ClearLogs();
    // The display adapter (PCI\VEN_1234) comes first among the PCI devices but does not match.
    ASSERT_EQ(1, dev_->IsExist(L"PCI\\VEN_1D2E", NULL, L"PCI"));
    EXPECT_STREQ(kHcInstance, dev_->GetDevInstanceId());
    ASSERT_EQ(0, dev_->IsExist(L"USB\\", NULL, L"PCI"));
    EXPECT_STREQ(kHcInstance, dev_->GetDevInstanceId());
    bool logged = false;
    for (const auto& l : Logs())
        if (l.find(L"ID = " + std::wstring(kHcId) + L", Compare ID = PCI\\VEN_1D2E") != std::wstring::npos &&
            l.rfind(L"SetupAPI Code=", 0) == 0)
            logged = true;
    EXPECT_TRUE(logged);
    EXPECT_FALSE(Logged(L"CDevCtrl::IsExist: empty hardware ID, not found"));
    EXPECT_EQ(0, dev_->IsExist(L"", NULL, NULL));
    EXPECT_TRUE(Logged(L"CDevCtrl::IsExist: empty hardware ID, not found"));
}

// ---------------------------------------------------------------------------------------
// Node status.

struct StatusCase {
    const char* name;
    const wchar_t* id;
    int setup;  // 0 none, 1 port disabled, 2 port problem 10, 3 module unplugged
    int found;
    bool started;
    DWORD problem;
    const wchar_t* matched;  // the device's ID that matched
};

class GetDevStatusTest : public DevTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(GetDevStatusTest, StatusAndProblemOfFirstMatch) {
    const StatusCase& c = GetParam();
    if (c.setup == 1) Disable(port_);
    if (c.setup == 2) tree().SetProblem(port_, CM_PROB_FAILED_START);
    if (c.setup == 3) tree().Unplug(module_);
    ULONG status = 0xFFFF, problem = 0xFFFF;
    EXPECT_EQ(c.found, dev_->GetDevStatus(c.id, &status, &problem));
    EXPECT_EQ(c.started, (status & DN_STARTED) != 0);
    EXPECT_EQ(c.problem, problem);
    if (c.found) {
        EXPECT_EQ(c.problem != 0, (status & DN_HAS_PROBLEM) != 0);
        EXPECT_TRUE(Logged(L"GetDevStatus Found! = " + std::wstring(c.matched) + L"\n"));
        wchar_t line[64];
        swprintf(line, 64, L"GetDevStatus. status=%lx problem=%lx ", static_cast<unsigned long>(status),
                 static_cast<unsigned long>(problem));
        EXPECT_TRUE(Logged(line)) << winsim::Utf8(line);
    } else {
        EXPECT_EQ(0u, status);
    }
}

INSTANTIATE_TEST_SUITE_P(Status, GetDevStatusTest,
                         ::testing::Values(StatusCase{"running", kPortShortId, 0, 1, true, 0, kPortShortId},
                                           StatusCase{"disabled", L"usb\\vid_1a2b&pid_3c4d&rev_0001&mi_03", 1, 1, false,
                                                      CM_PROB_DISABLED, kPortId},
                                           StatusCase{"failedStart", kPortId, 2, 1, false, CM_PROB_FAILED_START,
                                                      kPortId},
                                           StatusCase{"parentGone", kPortId, 3, 0, false, 0, L""},
                                           StatusCase{"empty", L"", 0, 0, false, 0, L""}),
                         [](const ::testing::TestParamInfo<StatusCase>& i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------------------
// Vendor digits.

struct VendorCase {
    const wchar_t* id;
    size_t cch;
    int result;
    const wchar_t* vendor;
};

TEST_F(DevTest, GetDeviceVendorNeedsBusPrefixAndLength) {
    const VendorCase cases[] = {
        {L"PCI\\VEN_2A3B&DEV_4229", 5, 1, L"2A3B"},
        {L"USB\\VID_1A2B&PID_3C4D", 5, 1, L"1A2B"},
        {L"usb\\vid_1a2b", 5, 1, L"1a2b"},
        {L"pci\\Ven_168c", 5, 1, L"168c"},
        {L"Pci\\VEN_168C", 5, 0, L""},  // the bus in upper or lower case only
        {L"PCI\\VEN_168", 5, 0, L""},  // too short for four digits
        {L"PCI\\", 5, 0, L""},
        {L"ACPI\\PNP0C0A", 5, 0, L""},
        {L"HID\\VID_1A2B&PID_3C4D", 5, 0, L""},
        {L"XUSB\\VID_1A2B&PID_3C4D", 5, 0, L""},  // the bus must come first
        {L"ROOT\\USB\\VID_1A2B", 5, 0, L""},
        {L"", 5, 0, L""},
        {L"PCI\\VEN_2A3B", 4, 0, L"-"},  // no room for the digits and the terminator
    };
    for (const VendorCase& c : cases) {
        WCHAR out[8] = L"-------";
        EXPECT_EQ(c.result, dev_->GetDeviceVendor(c.id, out, c.cch)) << winsim::Utf8(c.id);
        if (c.vendor[0] == L'-')
            EXPECT_EQ(L'-', out[0]);
        else
            EXPECT_STREQ(c.vendor, out) << winsim::Utf8(c.id);
    }
    EXPECT_EQ(0, dev_->GetDeviceVendor(nullptr, nullptr, 5));
}

// ---------------------------------------------------------------------------------------
// Driver keys.

class DriverKeyTest : public DevTest {
protected:
    // The adapter's driver key as SPDRP_DRIVER gives it.
    std::wstring NetDriverKey() {
        return winsim::Registry(machine())
            .GetString(L"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + std::wstring(kNetInstance), L"Driver")
            .value_or(L"");
    }
    std::wstring FullKey() { return L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + NetDriverKey(); }
};

TEST_F(DriverKeyTest, WriteThenReadRoundTripWithTerminator) {
    const std::wstring key = NetDriverKey();
    ASSERT_FALSE(key.empty());
    WCHAR out[DEVCTRL_VALUE_CCH];
    ASSERT_EQ(1, dev_->ReadDriverRegByKey(key.c_str(), L"NetCfgInstanceId", out, DEVCTRL_VALUE_CCH));
    EXPECT_STREQ(L"{5E1B7C2A-3D4F-4A6B-9C8D-7E6F5A4B3C2D}", out);
    EXPECT_TRUE(Logged(L"ReadDriverRegByKey->Found NetCfgInstanceId={5E1B7C2A-3D4F-4A6B-9C8D-7E6F5A4B3C2D}"));

    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } writes[] = {{L"WakeOnRing", L"1"}, {L"CardCfgId", L"{00000000-0000-0000-0000-000000000001}"}, {L"Empty", L""}};
    for (const auto& w : writes) {
        ASSERT_EQ(1, dev_->WriteDriverRegByKey(key.c_str(), w.name, w.text));
        auto v = winsim::Registry(machine()).GetValue(FullKey(), w.name);
        ASSERT_TRUE(v.has_value());
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), v->type);
        // UTF-16 with its terminator.
        EXPECT_EQ((wcslen(w.text) + 1) * 2, v->data.size()) << winsim::Utf8(w.name);
        ASSERT_EQ(1, dev_->ReadDriverRegByKey(key.c_str(), w.name, out, DEVCTRL_VALUE_CCH));
        EXPECT_STREQ(w.text, out);
    }
}

TEST_F(DriverKeyTest, ReadFailures) {
    const std::wstring key = NetDriverKey();
    WCHAR out[DEVCTRL_VALUE_CCH] = L"keep";
    EXPECT_EQ(0, dev_->ReadDriverRegByKey(key.c_str(), L"Missing", out, DEVCTRL_VALUE_CCH));
    EXPECT_TRUE(Logged(L"ReadDriverRegByKey->Not found Missing"));
    EXPECT_EQ(0, dev_->ReadDriverRegByKey(L"{4d36e972-e325-11ce-bfc1-08002be10318}\\0999", L"NetCfgInstanceId", out,
                                          DEVCTRL_VALUE_CCH));
    EXPECT_TRUE(Logged(L"ERROR ReadDriverRegByKey->RegOpen"));
    EXPECT_EQ(0, dev_->WriteDriverRegByKey(L"{4d36e972-e325-11ce-bfc1-08002be10318}\\0999", L"X", L"1"));
    EXPECT_EQ(0, dev_->ReadDriverRegByKey(L"", L"NetCfgInstanceId", out, DEVCTRL_VALUE_CCH));
    // A key name that does not fit the path fails rather than being cut.
    std::wstring longKey = key + std::wstring(300, L'A');
    EXPECT_EQ(0, dev_->WriteDriverRegByKey(longKey.c_str(), L"X", L"1"));
    // The value does not fit the caller's field.
    WCHAR small[10];
    EXPECT_EQ(0, dev_->ReadDriverRegByKey(key.c_str(), L"NetCfgInstanceId", small, 10));
    EXPECT_STREQ(L"", small);
    // A value longer than the 260-character read.
    winsim::Registry(machine()).SetString(FullKey(), L"Long", std::wstring(300, L'L'));
    EXPECT_EQ(0, dev_->ReadDriverRegByKey(key.c_str(), L"Long", out, DEVCTRL_VALUE_CCH));
    // Not a text.
    winsim::Registry(machine()).SetDword(FullKey(), L"Number", 5);
    EXPECT_EQ(0, dev_->ReadDriverRegByKey(key.c_str(), L"Number", out, DEVCTRL_VALUE_CCH));
}

}  // namespace
