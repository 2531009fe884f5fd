// winsim: setupapi's device information sets over the device tree.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include "devices_internal.h"
#include "shutdown_internal.h"
#include "winsim/devices.h"
#include "winsim/registry.h"

#include <cstddef>
#include <cstring>
#include <map>
#include <memory>

using namespace winsim;

namespace {

struct Element {
    DWORD devinst = 0;
    GUID class_guid{};
    DWORD flags = 0;  // SP_DEVINSTALL_PARAMS Flags
    DWORD flags_ex = 0;
    std::vector<uint8_t> class_params;  // as set, header first
    bool removed = false;
};

struct Interface {
    DWORD devinst = 0;
    GUID class_guid{};
    std::wstring path;
    bool active = false;
};

struct DevInfoSet {
    GUID class_guid{};
    bool interfaces = false;
    std::vector<Element> elements;
    std::vector<Interface> ifaces;
    Element set_level;
};

struct SetupState {
    std::map<const void*, std::unique_ptr<DevInfoSet>> sets;
};

SetupState& State() {
    auto& e = CurrentProcess().ext["setupapi"];
    if (!e) e = std::make_shared<SetupState>();
    return *static_cast<SetupState*>(e.get());
}

DevInfoSet* SetOf(HDEVINFO h) {
    if (!h || h == INVALID_HANDLE_VALUE) return nullptr;
    auto& sets = State().sets;
    auto it = sets.find(h);
    return it == sets.end() ? nullptr : it->second.get();
}

int Hex(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool ParseGuid(const std::wstring& s, GUID* g) {
    // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
    if (s.size() != 38 || s[0] != L'{' || s[37] != L'}' || s[9] != L'-' || s[14] != L'-' || s[19] != L'-' ||
        s[24] != L'-')
        return false;
    auto field = [&](size_t pos, size_t n, uint64_t* v) {
        *v = 0;
        for (size_t i = 0; i < n; ++i) {
            int h = Hex(s[pos + i]);
            if (h < 0) return false;
            *v = *v << 4 | static_cast<uint64_t>(h);
        }
        return true;
    };
    uint64_t a, b, c, d, e;
    if (!field(1, 8, &a) || !field(10, 4, &b) || !field(15, 4, &c) || !field(20, 4, &d) || !field(25, 12, &e))
        return false;
    g->Data1 = static_cast<DWORD>(a);
    g->Data2 = static_cast<WORD>(b);
    g->Data3 = static_cast<WORD>(c);
    g->Data4[0] = static_cast<BYTE>(d >> 8);
    g->Data4[1] = static_cast<BYTE>(d);
    for (int i = 0; i < 6; ++i) g->Data4[2 + i] = static_cast<BYTE>(e >> (8 * (5 - i)));
    return true;
}

GUID GuidOf(const std::wstring& s) {
    GUID g{};
    ParseGuid(s, &g);
    return g;
}

// The element that data names (data's DevInst, found again through Reserved).
Element* ElementOf(DevInfoSet* set, PSP_DEVINFO_DATA data, DWORD* err) {
    if (!data) {
        *err = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
        *err = ERROR_INVALID_USER_BUFFER;
        return nullptr;
    }
    size_t idx = static_cast<size_t>(data->Reserved);
    if (idx >= 1 && idx <= set->elements.size() && set->elements[idx - 1].devinst == data->DevInst)
        return &set->elements[idx - 1];
    for (auto& e : set->elements)
        if (e.devinst == data->DevInst) return &e;
    *err = ERROR_INVALID_PARAMETER;
    return nullptr;
}

// The element, or the set's own parameters when data is null.
Element* TargetOf(DevInfoSet* set, PSP_DEVINFO_DATA data, DWORD* err) {
    if (!data) return &set->set_level;
    return ElementOf(set, data, err);
}

void Fill(PSP_DEVINFO_DATA data, const Element& e, size_t index) {
    data->ClassGuid = e.class_guid;
    data->DevInst = e.devinst;
    data->Reserved = index + 1;
}

void AddDevices(DevInfoSet* set, const GUID* cls, PCWSTR enumerator, DWORD flags) {
    DeviceTree tree(CurrentMachine());
    std::wstring prefix = enumerator && *enumerator ? std::wstring(enumerator) + L"\\" : std::wstring();
    for (auto& n : tree.List()) {
        if (n.devinst == DeviceTree::kRoot) continue;
        if ((flags & DIGCF_PRESENT) && !n.present) continue;
        GUID g = GuidOf(n.class_guid);
        if (!(flags & DIGCF_ALLCLASSES) && cls && !IsEqualGUID(g, *cls)) continue;
        if (!prefix.empty() && !StartsWithI(n.instance_id, prefix)) continue;
        bool dup = false;
        for (auto& e : set->elements) dup = dup || e.devinst == n.devinst;
        if (dup) continue;
        Element e;
        e.devinst = n.devinst;
        e.class_guid = g;
        set->elements.push_back(e);
    }
}

std::wstring GuidText(const GUID& g) {
    wchar_t b[40];
    swprintf(b, 40, L"{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", static_cast<unsigned>(g.Data1), g.Data2,
             g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return b;
}

// The interfaces of the class (every class when cls is null) and their devices.
void AddInterfaces(DevInfoSet* set, const GUID* cls, PCWSTR enumerator, DWORD flags) {
    DeviceTree tree(CurrentMachine());
    std::wstring prefix = enumerator && *enumerator ? std::wstring(enumerator) + L"\\" : std::wstring();
    bool all = (flags & DIGCF_ALLCLASSES) || !cls;
    for (auto& i : tree.Interfaces(all ? std::wstring() : GuidText(*cls))) {
        if ((flags & DIGCF_PRESENT) && !i.active) continue;
        auto node = tree.Get(i.devinst);
        if (!node) continue;
        if (!prefix.empty() && !StartsWithI(node->instance_id, prefix) && !IEquals(node->instance_id, enumerator))
            continue;
        bool dup = false;
        for (auto& x : set->ifaces) dup = dup || (x.devinst == i.devinst && IEquals(x.path, i.path));
        if (dup) continue;
        set->ifaces.push_back(Interface{i.devinst, GuidOf(i.class_guid), i.path, i.active});
        bool known = false;
        for (auto& e : set->elements) known = known || e.devinst == i.devinst;
        if (!known) {
            Element e;
            e.devinst = i.devinst;
            e.class_guid = GuidOf(node->class_guid);
            set->elements.push_back(e);
        }
    }
}

HDEVINFO NewSet(std::unique_ptr<DevInfoSet> s) {
    HDEVINFO h = s.get();
    State().sets.emplace(h, std::move(s));
    SetLastError(ERROR_SUCCESS);
    return h;
}

// Registry value behind a property (empty: not a stored property).
const wchar_t* ValueName(DWORD prop) {
    switch (prop) {
    case SPDRP_DEVICEDESC: return L"DeviceDesc";
    case SPDRP_HARDWAREID: return L"HardwareID";
    case SPDRP_COMPATIBLEIDS: return L"CompatibleIDs";
    case SPDRP_SERVICE: return L"Service";
    case SPDRP_CLASS: return L"Class";
    case SPDRP_CLASSGUID: return L"ClassGUID";
    case SPDRP_DRIVER: return L"Driver";
    case SPDRP_CONFIGFLAGS: return L"ConfigFlags";
    case SPDRP_MFG: return L"Mfg";
    case SPDRP_FRIENDLYNAME: return L"FriendlyName";
    case SPDRP_LOCATION_INFORMATION: return L"LocationInformation";
    case SPDRP_CAPABILITIES: return L"Capabilities";
    case SPDRP_UI_NUMBER: return L"UINumber";
    case SPDRP_UPPERFILTERS: return L"UpperFilters";
    case SPDRP_LOWERFILTERS: return L"LowerFilters";
    default: return nullptr;
    }
}

std::vector<uint8_t> WideBytes(const std::wstring& w) {
    std::vector<uint8_t> b(w.size() * sizeof(WCHAR));
    if (!w.empty()) std::memcpy(b.data(), w.data(), b.size());
    return b;
}

BOOL CopyOut(DWORD type, const std::vector<uint8_t>& bytes, PDWORD type_out, PBYTE buf, DWORD size, PDWORD need) {
    if (type_out) *type_out = type;
    DWORD n = static_cast<DWORD>(bytes.size());
    if (need) *need = n;
    if (!buf || size < n) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    if (n) std::memcpy(buf, bytes.data(), n);
    return TRUE;
}

}  // namespace

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND, DWORD Flags) {
    return SetupDiGetClassDevsExW(ClassGuid, Enumerator, NULL, Flags, NULL, NULL, NULL);
}

HDEVINFO WINAPI SetupDiGetClassDevsExW(const GUID* ClassGuid, PCWSTR Enumerator, HWND, DWORD Flags,
                                       HDEVINFO DeviceInfoSet, PCWSTR MachineName, PVOID) {
    if (MachineName && *MachineName) return Fail<HDEVINFO>(ERROR_INVALID_MACHINENAME, INVALID_HANDLE_VALUE);
    if (!(Flags & (DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE)) && !ClassGuid)
        return Fail<HDEVINFO>(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    DevInfoSet* existing = nullptr;
    if (DeviceInfoSet && DeviceInfoSet != INVALID_HANDLE_VALUE) {
        existing = SetOf(DeviceInfoSet);
        if (!existing) return Fail<HDEVINFO>(ERROR_INVALID_HANDLE, INVALID_HANDLE_VALUE);
    }
    if (Flags & DIGCF_DEVICEINTERFACE) {
        if (existing) {
            AddInterfaces(existing, ClassGuid, Enumerator, Flags);
            SetLastError(ERROR_SUCCESS);
            return DeviceInfoSet;
        }
        auto s = std::make_unique<DevInfoSet>();
        s->interfaces = true;
        AddInterfaces(s.get(), ClassGuid, Enumerator, Flags);
        return NewSet(std::move(s));
    }
    if (existing) {
        AddDevices(existing, ClassGuid, Enumerator, Flags);
        SetLastError(ERROR_SUCCESS);
        return DeviceInfoSet;
    }
    auto s = std::make_unique<DevInfoSet>();
    if (ClassGuid && !(Flags & DIGCF_ALLCLASSES)) s->class_guid = *ClassGuid;
    AddDevices(s.get(), ClassGuid, Enumerator, Flags);
    return NewSet(std::move(s));
}

BOOL WINAPI SetupDiGetDeviceInfoListDetailW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_LIST_DETAIL_DATA_W detail) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!detail || detail->cbSize != sizeof(SP_DEVINFO_LIST_DETAIL_DATA_W))
        return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    detail->ClassGuid = set->class_guid;
    detail->RemoteMachineHandle = NULL;
    detail->RemoteMachineName[0] = 0;
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, PSP_DEVINFO_DATA data) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!data) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    // Elements removed through the set no longer count.
    DWORD seen = 0;
    for (size_t i = 0; i < set->elements.size(); ++i) {
        if (set->elements[i].removed) continue;
        if (seen++ == MemberIndex) {
            Fill(data, set->elements[i], i);
            return TRUE;
        }
    }
    return Fail(ERROR_NO_MORE_ITEMS, FALSE);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    if (!SetOf(DeviceInfoSet)) return Fail(ERROR_INVALID_HANDLE, FALSE);
    State().sets.erase(DeviceInfoSet);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    DWORD err = 0;
    Element* e = ElementOf(set, DeviceInfoData, &err);
    if (!e) return Fail(err, FALSE);
    if (Property >= SPDRP_MAXIMUM_PROPERTY || Property == SPDRP_UNUSED0 || Property == SPDRP_UNUSED1 ||
        Property == SPDRP_UNUSED2)
        return Fail(ERROR_INVALID_REG_PROPERTY, FALSE);
    DeviceTree tree(CurrentMachine());
    auto node = e->removed ? std::nullopt : tree.Get(e->devinst);
    if (!node) return Fail(ERROR_NO_SUCH_DEVINST, FALSE);
    if (Property == SPDRP_ENUMERATOR_NAME) {
        std::wstring en = node->instance_id.substr(0, node->instance_id.find(L'\\'));
        return CopyOut(REG_SZ, WideBytes(en + std::wstring(1, L'\0')), PropertyRegDataType, PropertyBuffer,
                       PropertyBufferSize, RequiredSize);
    }
    if (Property == SPDRP_PHYSICAL_DEVICE_OBJECT_NAME && node->present) {
        wchar_t pdo[32];
        swprintf(pdo, 32, L"\\Device\\%08x", static_cast<unsigned>(node->devinst));
        return CopyOut(REG_SZ, WideBytes(std::wstring(pdo) + std::wstring(1, L'\0')), PropertyRegDataType,
                       PropertyBuffer, PropertyBufferSize, RequiredSize);
    }
    if (Property == SPDRP_INSTALL_STATE) {
        std::vector<uint8_t> b(4, 0);  // CM_INSTALL_STATE_INSTALLED
        return CopyOut(REG_DWORD, b, PropertyRegDataType, PropertyBuffer, PropertyBufferSize, RequiredSize);
    }
    const wchar_t* name = ValueName(Property);
    if (!name) return Fail(ERROR_INVALID_DATA, FALSE);
    auto v = Registry(CurrentMachine()).GetValue(tree.EnumKey(e->devinst), name);
    if (!v) return Fail(ERROR_INVALID_DATA, FALSE);
    std::vector<uint8_t> bytes = v->data;
    if (v->type == REG_SZ || v->type == REG_EXPAND_SZ || v->type == REG_MULTI_SZ)
        bytes = WideBytes(Registry::FromBytes(v->data));
    return CopyOut(v->type, bytes, PropertyRegDataType, PropertyBuffer, PropertyBufferSize, RequiredSize);
}

BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, PWSTR DeviceInstanceId,
                                        DWORD DeviceInstanceIdSize, PDWORD RequiredSize) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    DWORD err = 0;
    Element* e = ElementOf(set, DeviceInfoData, &err);
    if (!e) return Fail(err, FALSE);
    auto node = e->removed ? std::nullopt : DeviceTree(CurrentMachine()).Get(e->devinst);
    if (!node) return Fail(ERROR_NO_SUCH_DEVINST, FALSE);
    DWORD need = static_cast<DWORD>(node->instance_id.size() + 1);
    if (RequiredSize) *RequiredSize = need;
    if (!DeviceInstanceId || DeviceInstanceIdSize < need) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    wmemcpy(DeviceInstanceId, node->instance_id.c_str(), need);
    return TRUE;
}

BOOL WINAPI SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                          PSP_CLASSINSTALL_HEADER params, DWORD size) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    DWORD err = 0;
    Element* e = TargetOf(set, DeviceInfoData, &err);
    if (!e) return Fail(err, FALSE);
    if (!params) {
        if (size != 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        e->class_params.clear();
        e->flags &= ~static_cast<DWORD>(DI_CLASSINSTALLPARAMS);
        return TRUE;
    }
    if (params->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    if (size < sizeof(SP_CLASSINSTALL_HEADER)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (params->InstallFunction == DIF_PROPERTYCHANGE) {
        if (size != sizeof(SP_PROPCHANGE_PARAMS)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
        auto* pc = reinterpret_cast<PSP_PROPCHANGE_PARAMS>(params);
        if (pc->StateChange < DICS_ENABLE || pc->StateChange > DICS_STOP) return Fail(ERROR_INVALID_FLAGS, FALSE);
        if (pc->Scope != DICS_FLAG_GLOBAL && pc->Scope != DICS_FLAG_CONFIGSPECIFIC &&
            pc->Scope != DICS_FLAG_CONFIGGENERAL)
            return Fail(ERROR_INVALID_FLAGS, FALSE);
    } else if (params->InstallFunction == DIF_REMOVE) {
        if (size != sizeof(SP_REMOVEDEVICE_PARAMS)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    const uint8_t* p = reinterpret_cast<const uint8_t*>(params);
    e->class_params.assign(p, p + size);
    e->flags |= DI_CLASSINSTALLPARAMS;
    return TRUE;
}

namespace {

BOOL Remove(DevInfoSet* set, Element* e) {
    DeviceTree tree(CurrentMachine());
    if (e->removed || !tree.Get(e->devinst)) return Fail(ERROR_NO_SUCH_DEVINST, FALSE);
    tree.Uninstall(e->devinst);
    for (auto& other : set->elements)
        if (!tree.Get(other.devinst)) other.removed = true;
    for (auto& i : set->ifaces)
        if (!tree.Get(i.devinst)) i.active = false;
    return TRUE;
}

BOOL PropertyChange(DevInfoSet* set, Element* e) {
    const std::vector<uint8_t>* params = &e->class_params;
    if (params->empty()) params = &set->set_level.class_params;
    if (params->size() != sizeof(SP_PROPCHANGE_PARAMS)) return Fail(ERROR_NO_CLASSINSTALL_PARAMS, FALSE);
    SP_PROPCHANGE_PARAMS pc;
    std::memcpy(&pc, params->data(), sizeof pc);
    if (pc.ClassInstallHeader.InstallFunction != DIF_PROPERTYCHANGE) return Fail(ERROR_NO_CLASSINSTALL_PARAMS, FALSE);
    if (pc.Scope == DICS_FLAG_CONFIGSPECIFIC && pc.HwProfile > 1) return Fail(ERROR_INVALID_HWPROFILE, FALSE);
    if (e->removed) return Fail(ERROR_NO_SUCH_DEVINST, FALSE);
    DWORD flags = 0;
    DWORD err = DeviceTree(CurrentMachine()).ChangeState(e->devinst, pc.StateChange, pc.Scope, &flags);
    if (err) return Fail(err, FALSE);
    e->flags |= flags;
    return TRUE;
}

}  // namespace

BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (InstallFunction != DIF_PROPERTYCHANGE && InstallFunction != DIF_REMOVE) return Fail(ERROR_DI_DO_DEFAULT, FALSE);
    DWORD err = 0;
    Element* e = ElementOf(set, DeviceInfoData, &err);
    if (!e) return Fail(err, FALSE);
    if (InstallFunction == DIF_REMOVE) {
        // The class installer may refuse the removal as it refuses a property change.
        auto node = DeviceTree(CurrentMachine()).Get(e->devinst);
        if (node && !e->removed && node->installer_error) return Fail(node->installer_error, FALSE);
        return Remove(set, e);
    }
    return PropertyChange(set, e);
}

BOOL WINAPI SetupDiRemoveDevice(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    DWORD err = 0;
    Element* e = ElementOf(set, DeviceInfoData, &err);
    if (!e) return Fail(err, FALSE);
    return Remove(set, e);
}

BOOL WINAPI SetupDiGetDeviceInstallParamsW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                           PSP_DEVINSTALL_PARAMS_W params) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!params) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W)) return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    DWORD err = 0;
    Element* e = TargetOf(set, DeviceInfoData, &err);
    if (!e) return Fail(err, FALSE);
    std::memset(params, 0, sizeof *params);
    params->cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
    params->Flags = e->flags;
    params->FlagsEx = e->flags_ex;
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA data) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!InterfaceClassGuid) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    DWORD only = 0;
    if (DeviceInfoData) {
        DWORD err = 0;
        Element* e = ElementOf(set, DeviceInfoData, &err);
        if (!e) return Fail(err, FALSE);
        only = e->devinst;
    }
    DWORD seen = 0;
    for (size_t i = 0; i < set->ifaces.size(); ++i) {
        const Interface& f = set->ifaces[i];
        if (!IsEqualGUID(f.class_guid, *InterfaceClassGuid) || (only && f.devinst != only)) continue;
        if (seen++ != MemberIndex) continue;
        data->InterfaceClassGuid = f.class_guid;
        bool installed = DeviceTree(CurrentMachine()).Get(f.devinst).has_value();
        data->Flags = !installed ? SPINT_REMOVED : f.active ? SPINT_ACTIVE : 0;
        data->Reserved = i + 1;
        return TRUE;
    }
    return Fail(ERROR_NO_MORE_ITEMS, FALSE);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA DeviceInfoData) {
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (!set) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!DeviceInterfaceData) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    size_t idx = static_cast<size_t>(DeviceInterfaceData->Reserved);
    if (idx < 1 || idx > set->ifaces.size() ||
        !IsEqualGUID(set->ifaces[idx - 1].class_guid, DeviceInterfaceData->InterfaceClassGuid))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    const Interface& f = set->ifaces[idx - 1];
    const DWORD fixed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath));
    if (!detail && size != 0) return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    if (detail && (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || size < fixed + sizeof(WCHAR)))
        return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER, FALSE);
    DWORD need = fixed + static_cast<DWORD>((f.path.size() + 1) * sizeof(WCHAR));
    if (RequiredSize) *RequiredSize = need;
    if (DeviceInfoData) {
        for (size_t i = 0; i < set->elements.size(); ++i)
            if (set->elements[i].devinst == f.devinst) Fill(DeviceInfoData, set->elements[i], i);
    }
    if (!detail || size < need) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    wmemcpy(detail->DevicePath, f.path.c_str(), f.path.size() + 1);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Restart prompt (winsim/shutdown.h)

INT WINAPI SetupPromptReboot(HSPFILEQ queue, HWND, BOOL scan_only) {
    // Scanning looks at a queue's files in use; this machine keeps none.
    if (scan_only) {
        if (!queue) return Fail(ERROR_INVALID_PARAMETER, -1);
        return 0;
    }
    Process& self = CurrentProcess();
    shutdown::State& s = shutdown::StateOf(self.machine);
    shutdown::PromptAnswer answer;
    DWORD error;
    {
        std::lock_guard<std::mutex> g(s.mu);
        ++s.prompts;
        answer = s.answer;
        error = s.answer_error;
    }
    switch (answer) {
    case shutdown::PromptAnswer::Fail: return Fail(error ? error : ERROR_GEN_FAILURE, -1);
    case shutdown::PromptAnswer::Restart:
        shutdown::Record(self.machine, self, EWX_REBOOT, 0, true);
        return SPFILEQ_REBOOT_RECOMMENDED | SPFILEQ_REBOOT_IN_PROGRESS;
    default: return SPFILEQ_REBOOT_RECOMMENDED;
    }
}
