// The driver store: OEM INFs copied in and taken out (forced or not, in use or not), driver
// updates that bind devices and leave installs pending, node properties and the devices a
// re-enumeration detects.
#include <windows.h>

#include <cfgmgr32.h>
#include <newdev.h>
#include <setupapi.h>

#include "sim_fixture.h"
#include "winsim/devices.h"
#include "winsim/driverstore.h"
#include "winsim/files.h"

namespace {

namespace ds = winsim::driverstore;

const wchar_t* const kInf =
    L"[Version]\r\nSignature=\"$WINDOWS NT$\"\r\nClass=Net\r\nProvider=%Prov%\r\n"
    L"[Manufacturer]\r\n%Prov%=Models, NTamd64\r\n"
    L"[Models.NTamd64]\r\n%Desc%=Inst, PCI\\VEN_8086&DEV_4229, PCI\\VEN_8086&CC_0280\r\n"
    L"[Strings]\r\nProv=\"Acme\"\r\nDesc=\"Acme Wireless\"\r\n";

class DriverStore : public SimTest {
protected:
    DWORD AddDevice(const std::wstring& instance, const std::wstring& hwid) {
        winsim::DeviceSpec d;
        d.instance_id = instance;
        d.class_name = L"Net";
        d.class_guid = winsim::devclass::kNet;
        d.hardware_ids = std::vector<std::wstring>{hwid};
        return winsim::DeviceTree(machine()).Add(d);
    }
    void PutInf(const std::wstring& path, const std::wstring& text = kInf) {
        winsim::files::CreateFolders(machine(), L"C:\\Drv");
        winsim::files::WriteBytes(machine(), path, ds::InfBytes(text, true));
    }
};

TEST_F(DriverStore, CopyTakesTheNextFreeNameAndKeepsOneCopyOfATextTyped) {
    PutInf(L"C:\\Drv\\net.inf");
    ds::AddOemInf(machine(), L"[Version]\r\nClass=Other\r\n");
    WCHAR dest[MAX_PATH];
    PWSTR part = nullptr;
    ASSERT_TRUE(SetupCopyOEMInfW(L"C:\\Drv\\net.inf", L"C:\\Drv", SPOST_PATH, 0, dest, MAX_PATH, NULL, &part));
    EXPECT_STREQ(L"C:\\Windows\\INF\\oem1.inf", dest);
    EXPECT_STREQ(L"oem1.inf", part);
    ASSERT_TRUE(SetupCopyOEMInfW(L"C:\\Drv\\net.inf", L"C:\\Drv", SPOST_PATH, 0, dest, MAX_PATH, NULL, NULL));
    EXPECT_STREQ(L"C:\\Windows\\INF\\oem1.inf", dest);
    EXPECT_FALSE(SetupCopyOEMInfW(L"C:\\Drv\\net.inf", NULL, SPOST_NONE, SP_COPY_NOOVERWRITE, NULL, 0, NULL, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
    EXPECT_FALSE(SetupCopyOEMInfW(L"C:\\Drv\\none.inf", NULL, SPOST_NONE, 0, NULL, 0, NULL, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ((std::vector<std::wstring>{L"oem0.inf", L"oem1.inf"}), ds::OemInfs(machine()));
}

TEST_F(DriverStore, UninstallKeepsAnInfInUseUnlessForced) {
    DWORD dev = AddDevice(L"PCI\\VEN_8086&DEV_4229\\3&1", L"PCI\\VEN_8086&DEV_4229");
    std::wstring name = ds::AddOemInf(machine(), kInf);
    ds::BindDriver(machine(), dev, name);
    struct Case {
        const wchar_t* name;
        DWORD flags;
        DWORD error;  // 0 removed
    } cases[] = {
        {L"C:\\Windows\\INF\\oem0.inf", SUOI_FORCEDELETE, ERROR_INVALID_PARAMETER},
        {L"oem0.inf", 2, ERROR_INVALID_FLAGS},
        {L"oem0.inf", 0, ERROR_INF_IN_USE_BY_DEVICES},
        {L"oem0.inf", SUOI_FORCEDELETE, 0},
        {L"oem0.inf", SUOI_FORCEDELETE, ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << " " << c.error);
        BOOL ok = SetupUninstallOEMInfW(c.name, c.flags, NULL);
        EXPECT_EQ(c.error == 0, ok != FALSE);
        if (!ok) {
            EXPECT_EQ(c.error, GetLastError());
        }
    }
    EXPECT_TRUE(ds::OemInfs(machine()).empty());
}

TEST_F(DriverStore, UpdateBindsCarriersAndLeavesAnInstallPending) {
    DWORD dev = AddDevice(L"PCI\\VEN_8086&DEV_4229\\3&1", L"PCI\\VEN_8086&DEV_4229");
    PutInf(L"C:\\Drv\\net.inf");
    struct Case {
        const wchar_t* id;
        const wchar_t* inf;
        DWORD flags;
        DWORD error;
    } cases[] = {
        {L"PCI\\VEN_8086&DEV_4229", L"Drv\\net.inf", INSTALLFLAG_FORCE, ERROR_INVALID_PARAMETER},
        {L"PCI\\VEN_8086&DEV_4229", L"C:\\Drv\\gone.inf", INSTALLFLAG_FORCE, ERROR_FILE_NOT_FOUND},
        {L"PCI\\VEN_8086&DEV_9999", L"C:\\Drv\\net.inf", INSTALLFLAG_FORCE, ERROR_NO_SUCH_DEVINST},
        {L"PCI\\VEN_8086&CC_0280", L"C:\\Drv\\net.inf", 0, ERROR_NO_SUCH_DEVINST},  // no device carries it
        {L"pci\\ven_8086&dev_4229", L"C:\\Drv\\net.inf", 0, 0},
        {L"PCI\\VEN_8086&DEV_4229", L"C:\\Drv\\net.inf", 0, ERROR_NO_MORE_ITEMS},
        {L"PCI\\VEN_8086&DEV_4229", L"C:\\Drv\\net.inf", INSTALLFLAG_FORCE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.inf << " " << c.flags);
        BOOL ok = UpdateDriverForPlugAndPlayDevicesW(NULL, c.id, c.inf, c.flags, NULL);
        EXPECT_EQ(c.error == 0, ok != FALSE);
        if (!ok) {
            EXPECT_EQ(c.error, GetLastError());
        }
    }
    EXPECT_EQ(L"oem0.inf", ds::BoundInf(machine(), dev));
    EXPECT_EQ(7u, ds::Updates(machine()).size());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), CMP_WaitNoPendingInstallEvents(500));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), CMP_WaitNoPendingInstallEvents(INFINITE));
    EXPECT_EQ(0u, ds::PendingMs(machine()));
}

TEST_F(DriverStore, NodePropertiesAndDetectionByReenumeration) {
    DWORD dev = AddDevice(L"PCI\\VEN_8086&DEV_4229\\3&1", L"PCI\\VEN_8086&DEV_4229");
    WCHAR buf[200];
    ULONG len = sizeof buf, type = 0;
    ASSERT_EQ(static_cast<CONFIGRET>(CR_SUCCESS),
              CM_Get_DevNode_Registry_PropertyW(dev, CM_DRP_DRIVER, &type, buf, &len, 0));
    EXPECT_EQ(static_cast<ULONG>(REG_SZ), type);
    EXPECT_EQ(winsim::DeviceTree(machine()).DriverKey(dev),
              L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + std::wstring(buf));
    len = 2;
    EXPECT_EQ(static_cast<CONFIGRET>(CR_BUFFER_SMALL),
              CM_Get_DevNode_Registry_PropertyW(dev, CM_DRP_HARDWAREID, NULL, buf, &len, 0));
    EXPECT_EQ((wcslen(L"PCI\\VEN_8086&DEV_4229") + 2) * sizeof(WCHAR), len);
    len = sizeof buf;
    EXPECT_EQ(static_cast<CONFIGRET>(CR_NO_SUCH_VALUE),
              CM_Get_DevNode_Registry_PropertyW(dev, CM_DRP_FRIENDLYNAME, NULL, buf, &len, 0));

    winsim::DeviceSpec later;
    later.instance_id = L"USB\\VID_1199&PID_9011\\5&2";
    later.class_guid = winsim::devclass::kNet;
    later.hardware_ids = std::vector<std::wstring>{L"USB\\VID_1199&PID_9011"};
    ds::QueueDetection(machine(), later);
    EXPECT_EQ(0u, winsim::DeviceTree(machine()).Find(later.instance_id));
    DEVINST root = 0;
    ASSERT_EQ(static_cast<CONFIGRET>(CR_SUCCESS), CM_Locate_DevNodeW(&root, NULL, CM_LOCATE_DEVNODE_NORMAL));
    ASSERT_EQ(static_cast<CONFIGRET>(CR_SUCCESS), CM_Reenumerate_DevNode(root, 0));
    EXPECT_NE(0u, winsim::DeviceTree(machine()).Find(later.instance_id));
}

}  // namespace
