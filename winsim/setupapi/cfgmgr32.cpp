// winsim: the configuration manager's node functions over the device tree.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include "devices_internal.h"
#include "winsim/devices.h"
#include "winsim/driverstore.h"

using namespace winsim;

namespace {

DeviceTree Tree() { return DeviceTree(CurrentMachine()); }

// The node, or the CONFIGRET why not: unknown numbers are invalid, installed nodes that
// are not present do not exist now.
CONFIGRET Known(DEVINST dn, std::optional<DeviceNode>* out) {
    if (dn == 0) return CR_INVALID_DEVNODE;
    *out = Tree().Get(dn);
    return *out ? CR_SUCCESS : CR_INVALID_DEVNODE;
}

CONFIGRET Present(DEVINST dn, std::optional<DeviceNode>* out) {
    CONFIGRET cr = Known(dn, out);
    if (cr) return cr;
    return (*out)->present ? CR_SUCCESS : CR_NO_SUCH_DEVNODE;
}

}  // namespace

CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST pdnDevInst, DEVINSTID_W pDeviceID, ULONG ulFlags) {
    if (!pdnDevInst) return CR_INVALID_POINTER;
    *pdnDevInst = 0;
    if (ulFlags & ~static_cast<ULONG>(CM_LOCATE_DEVNODE_BITS)) return CR_INVALID_FLAG;
    DeviceTree t = Tree();
    if (!pDeviceID || !*pDeviceID) {
        *pdnDevInst = DeviceTree::kRoot;
        return CR_SUCCESS;
    }
    if (wcslen(pDeviceID) > MAX_DEVICE_ID_LEN) return CR_INVALID_DEVICE_ID;
    DWORD dn = t.Find(pDeviceID);
    if (!dn) return CR_NO_SUCH_DEVNODE;
    if (!(ulFlags & CM_LOCATE_DEVNODE_PHANTOM) && !t.IsPresent(dn)) return CR_NO_SUCH_DEVNODE;
    *pdnDevInst = dn;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
    if (!pdnDevInst) return CR_INVALID_POINTER;
    *pdnDevInst = 0;
    if (ulFlags) return CR_INVALID_FLAG;
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Known(dnDevInst, &n)) return cr;
    if (n->parent == 0) return CR_NO_SUCH_DEVNODE;
    *pdnDevInst = n->parent;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Child(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
    if (!pdnDevInst) return CR_INVALID_POINTER;
    *pdnDevInst = 0;
    if (ulFlags) return CR_INVALID_FLAG;
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Present(dnDevInst, &n)) return cr;
    auto kids = Tree().Children(dnDevInst, true);
    if (kids.empty()) return CR_NO_SUCH_DEVNODE;
    *pdnDevInst = kids.front();
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Sibling(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
    if (!pdnDevInst) return CR_INVALID_POINTER;
    *pdnDevInst = 0;
    if (ulFlags) return CR_INVALID_FLAG;
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Present(dnDevInst, &n)) return cr;
    if (n->parent == 0) return CR_NO_SUCH_DEVNODE;
    auto kids = Tree().Children(n->parent, true);
    for (size_t i = 0; i + 1 < kids.size(); ++i)
        if (kids[i] == dnDevInst) {
            *pdnDevInst = kids[i + 1];
            return CR_SUCCESS;
        }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG pulStatus, PULONG pulProblemNumber, DEVINST dnDevInst, ULONG ulFlags) {
    if (!pulStatus || !pulProblemNumber) return CR_INVALID_POINTER;
    *pulStatus = 0;
    *pulProblemNumber = 0;
    if (ulFlags) return CR_INVALID_FLAG;
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Present(dnDevInst, &n)) return cr;
    DWORD st = 0, pr = 0;
    Tree().Status(dnDevInst, &st, &pr);
    *pulStatus = st;
    *pulProblemNumber = pr;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_ID_Size(PULONG pulLen, DEVINST dnDevInst, ULONG ulFlags) {
    if (!pulLen) return CR_INVALID_POINTER;
    *pulLen = 0;
    if (ulFlags) return CR_INVALID_FLAG;
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Known(dnDevInst, &n)) return cr;
    *pulLen = static_cast<ULONG>(n->instance_id.size());
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST dnDevInst, PWSTR Buffer, ULONG BufferLen, ULONG ulFlags) {
    if (!Buffer) return CR_INVALID_POINTER;
    if (ulFlags) return CR_INVALID_FLAG;
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Known(dnDevInst, &n)) return cr;
    const std::wstring& id = n->instance_id;
    // As on Windows: as much as fits; the terminator only when there is room for it.
    size_t k = std::min<size_t>(id.size(), BufferLen);
    wmemcpy(Buffer, id.data(), k);
    if (BufferLen > id.size()) Buffer[id.size()] = 0;
    return BufferLen < id.size() ? CR_BUFFER_SMALL : CR_SUCCESS;
}

CONFIGRET WINAPI CM_Query_And_Remove_SubTreeW(DEVINST dnAncestor, PPNP_VETO_TYPE pVetoType, PWSTR pszVetoName,
                                              ULONG ulNameLength, ULONG ulFlags) {
    if (ulFlags & ~static_cast<ULONG>(CM_REMOVE_BITS)) return CR_INVALID_FLAG;
    if (pszVetoName && ulNameLength == 0) return CR_INVALID_DATA;
    if (pVetoType) *pVetoType = PNP_VetoTypeUnknown;
    if (pszVetoName) pszVetoName[0] = 0;
    if (dnAncestor == 0) return CR_INVALID_DEVNODE;
    DWORD type = 0;
    std::wstring name;
    CONFIGRET cr = Tree().RemoveSubtree(dnAncestor, &type, &name);
    if (cr == CR_REMOVE_VETOED) {
        if (pVetoType) *pVetoType = static_cast<PNP_VETO_TYPE>(type);
        if (pszVetoName) {
            size_t k = std::min<size_t>(name.size(), ulNameLength - 1);
            wmemcpy(pszVetoName, name.data(), k);
            pszVetoName[k] = 0;
        }
    }
    return cr;
}

CONFIGRET WINAPI CM_Setup_DevNode(DEVINST dnDevInst, ULONG ulFlags) {
    if (ulFlags & ~static_cast<ULONG>(CM_SETUP_BITS)) return CR_INVALID_FLAG;
    if (ulFlags == CM_SETUP_DEVNODE_RESET) return Tree().ResetHold(dnDevInst);
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Known(dnDevInst, &n)) return cr;
    // CM_SETUP_DEVNODE_READY and the others: the node is (re)started when it can be.
    if (n->parent) return Tree().Reenumerate(n->parent) == CR_SUCCESS ? CR_SUCCESS : CR_NO_SUCH_DEVNODE;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST dnDevInst, ULONG ulFlags) {
    if (ulFlags & ~static_cast<ULONG>(CM_REENUMERATE_BITS)) return CR_INVALID_FLAG;
    if (dnDevInst == 0) return CR_INVALID_DEVNODE;
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Present(dnDevInst, &n)) return cr;
    driverstore::DetectBelow(CurrentMachine(), dnDevInst);
    return Tree().Reenumerate(dnDevInst);
}

namespace {
// A device below (or at) the node is held open: disabling the node would remove it.
bool SubtreeInUse(const DeviceTree& t, DWORD devinst) {
    if (t.InUse(devinst)) return true;
    for (DWORD c : t.Children(devinst, true))
        if (SubtreeInUse(t, c)) return true;
    return false;
}
}  // namespace

CONFIGRET WINAPI CM_Disable_DevNode(DEVINST dnDevInst, ULONG ulFlags) {
    if (ulFlags & ~static_cast<ULONG>(CM_DISABLE_BITS)) return CR_INVALID_FLAG;
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Present(dnDevInst, &n)) return cr;
    if (dnDevInst == DeviceTree::kRoot || !n->disableable) return CR_NOT_DISABLEABLE;
    if (SubtreeInUse(Tree(), dnDevInst) && !(ulFlags & CM_DISABLE_ABSOLUTE)) return CR_REMOVE_VETOED;
    DWORD flags = 0;
    DWORD err = Tree().ChangeState(dnDevInst, DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC, &flags);
    if (err == ERROR_NOT_DISABLEABLE) return CR_NOT_DISABLEABLE;
    if (err) return CR_FAILURE;
    return flags ? CR_NEED_RESTART : CR_SUCCESS;
}

CONFIGRET WINAPI CM_Enable_DevNode(DEVINST dnDevInst, ULONG ulFlags) {
    if (ulFlags) return CR_INVALID_FLAG;
    std::optional<DeviceNode> n;
    if (CONFIGRET cr = Present(dnDevInst, &n)) return cr;
    DWORD flags = 0;
    DWORD err = Tree().ChangeState(dnDevInst, DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC, &flags);
    if (!err && n->disabled_global) err = Tree().ChangeState(dnDevInst, DICS_ENABLE, DICS_FLAG_GLOBAL, &flags);
    if (err) return CR_FAILURE;
    return flags ? CR_NEED_RESTART : CR_SUCCESS;
}

// ---------------------------------------------------------------------------------------
// The _Ex forms: this machine only.

namespace {
bool Local(HMACHINE h) { return h == NULL; }
}  // namespace

CONFIGRET WINAPI CM_Get_Parent_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine) {
    if (!Local(hMachine)) return CR_INVALID_MACHINENAME;
    return CM_Get_Parent(pdnDevInst, dnDevInst, ulFlags);
}

CONFIGRET WINAPI CM_Get_Child_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine) {
    if (!Local(hMachine)) return CR_INVALID_MACHINENAME;
    return CM_Get_Child(pdnDevInst, dnDevInst, ulFlags);
}

CONFIGRET WINAPI CM_Get_DevNode_Status_Ex(PULONG pulStatus, PULONG pulProblemNumber, DEVINST dnDevInst, ULONG ulFlags,
                                          HMACHINE hMachine) {
    if (!Local(hMachine)) return CR_INVALID_MACHINENAME;
    return CM_Get_DevNode_Status(pulStatus, pulProblemNumber, dnDevInst, ulFlags);
}

CONFIGRET WINAPI CM_Disable_DevNode_Ex(DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine) {
    if (!Local(hMachine)) return CR_INVALID_MACHINENAME;
    return CM_Disable_DevNode(dnDevInst, ulFlags);
}

CONFIGRET WINAPI CM_Enable_DevNode_Ex(DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine) {
    if (!Local(hMachine)) return CR_INVALID_MACHINENAME;
    return CM_Enable_DevNode(dnDevInst, ulFlags);
}
