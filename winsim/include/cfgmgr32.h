// winsim: the configuration manager (cfgmgr32) over the machine's device tree
// (winsim/devices.h), with the node status bits and problem codes of cfg.h.
//
// Model notes:
//   - DEVINST values are the tree's node numbers: stable for the life of the machine,
//     shared by every process, never reused. 0 and numbers the tree never gave are
//     CR_INVALID_DEVNODE. A node that is installed but not present (removed, held after
//     CM_Query_And_Remove_SubTreeW, or below a disabled or absent parent) keeps its number:
//     CM_Get_Parent still answers for it, CM_Setup_DevNode accepts it, the other calls give
//     CR_NO_SUCH_DEVNODE. CM_Get_Child and CM_Get_Sibling walk present nodes only.
//   - CM_Query_And_Remove_SubTreeW removes the node and everything below it at once; the
//     node is then "held": CM_Reenumerate_DevNode of its parent brings it back only after
//     CM_Setup_DevNode(CM_SETUP_DEVNODE_RESET) has released it. An open handle to a device
//     of the subtree (a COM port, say) vetoes with PNP_VetoOutstandingOpen and the
//     instance ID of that device; the root node vetoes with PNP_VetoIllegalDeviceRequest.
//   - CM_Disable_DevNode and CM_Enable_DevNode act on the running state and the
//     config-specific flag, as the class installer's config-specific property change does.
//     A node that cannot be disabled (the root, DN_DISABLEABLE clear) gives
//     CR_NOT_DISABLEABLE; one that a program holds open, itself or a present device below
//     it, gives CR_REMOVE_VETOED (unless CM_DISABLE_ABSOLUTE); a change that waits for the restart gives CR_NEED_RESTART.
//   - The _Ex forms take the machine handle of SP_DEVINFO_LIST_DETAIL_DATA: NULL is this
//     machine; any other handle is CR_INVALID_MACHINENAME (there are no remote machines).
#pragma once
#include "windows.h"
#include "guiddef.h"

typedef DWORD DEVINST, *PDEVINST;
typedef DWORD DEVNODE, *PDEVNODE;
typedef DWORD RETURN_TYPE;
typedef RETURN_TYPE CONFIGRET;
typedef CHAR* DEVINSTID_A;
typedef WCHAR* DEVINSTID_W;
typedef HANDLE HMACHINE, *PHMACHINE;

#define MAX_DEVICE_ID_LEN 200
#define MAX_DEVNODE_ID_LEN MAX_DEVICE_ID_LEN

// Results.
#define CR_SUCCESS 0x00000000
#define CR_DEFAULT 0x00000001
#define CR_OUT_OF_MEMORY 0x00000002
#define CR_INVALID_POINTER 0x00000003
#define CR_INVALID_FLAG 0x00000004
#define CR_INVALID_DEVNODE 0x00000005
#define CR_INVALID_DEVINST CR_INVALID_DEVNODE
#define CR_INVALID_RES_DES 0x00000006
#define CR_INVALID_LOG_CONF 0x00000007
#define CR_INVALID_ARBITRATOR 0x00000008
#define CR_INVALID_NODELIST 0x00000009
#define CR_DEVNODE_HAS_REQS 0x0000000A
#define CR_DEVINST_HAS_REQS CR_DEVNODE_HAS_REQS
#define CR_INVALID_RESOURCEID 0x0000000B
#define CR_DLVXD_NOT_FOUND 0x0000000C
#define CR_NO_SUCH_DEVNODE 0x0000000D
#define CR_NO_SUCH_DEVINST CR_NO_SUCH_DEVNODE
#define CR_NO_MORE_LOG_CONF 0x0000000E
#define CR_NO_MORE_RES_DES 0x0000000F
#define CR_ALREADY_SUCH_DEVNODE 0x00000010
#define CR_ALREADY_SUCH_DEVINST CR_ALREADY_SUCH_DEVNODE
#define CR_INVALID_RANGE_LIST 0x00000011
#define CR_INVALID_RANGE 0x00000012
#define CR_FAILURE 0x00000013
#define CR_NO_SUCH_LOGICAL_DEV 0x00000014
#define CR_CREATE_BLOCKED 0x00000015
#define CR_NOT_SYSTEM_VM 0x00000016
#define CR_REMOVE_VETOED 0x00000017
#define CR_APM_VETOED 0x00000018
#define CR_INVALID_LOAD_TYPE 0x00000019
#define CR_BUFFER_SMALL 0x0000001A
#define CR_NO_ARBITRATOR 0x0000001B
#define CR_NO_REGISTRY_HANDLE 0x0000001C
#define CR_REGISTRY_ERROR 0x0000001D
#define CR_INVALID_DEVICE_ID 0x0000001E
#define CR_INVALID_DATA 0x0000001F
#define CR_INVALID_API 0x00000020
#define CR_DEVLOADER_NOT_READY 0x00000021
#define CR_NEED_RESTART 0x00000022
#define CR_NO_MORE_HW_PROFILES 0x00000023
#define CR_DEVICE_NOT_THERE 0x00000024
#define CR_NO_SUCH_VALUE 0x00000025
#define CR_WRONG_TYPE 0x00000026
#define CR_INVALID_PRIORITY 0x00000027
#define CR_NOT_DISABLEABLE 0x00000028
#define CR_FREE_RESOURCES 0x00000029
#define CR_QUERY_VETOED 0x0000002A
#define CR_CANT_SHARE_IRQ 0x0000002B
#define CR_NO_DEPENDENT 0x0000002C
#define CR_SAME_RESOURCES 0x0000002D
#define CR_NO_SUCH_REGISTRY_KEY 0x0000002E
#define CR_INVALID_MACHINENAME 0x0000002F
#define CR_REMOTE_COMM_FAILURE 0x00000030
#define CR_MACHINE_UNAVAILABLE 0x00000031
#define CR_NO_CM_SERVICES 0x00000032
#define CR_ACCESS_DENIED 0x00000033
#define CR_CALL_NOT_IMPLEMENTED 0x00000034
#define CR_INVALID_PROPERTY 0x00000035
#define CR_DEVICE_INTERFACE_ACTIVE 0x00000036
#define CR_NO_SUCH_DEVICE_INTERFACE 0x00000037
#define CR_INVALID_REFERENCE_STRING 0x00000038
#define CR_INVALID_CONFLICT_LIST 0x00000039
#define CR_INVALID_INDEX 0x0000003A
#define CR_INVALID_STRUCTURE_SIZE 0x0000003B

// Node status bits.
#define DN_ROOT_ENUMERATED 0x00000001
#define DN_DRIVER_LOADED 0x00000002
#define DN_ENUM_LOADED 0x00000004
#define DN_STARTED 0x00000008
#define DN_MANUAL 0x00000010
#define DN_NEED_TO_ENUM 0x00000020
#define DN_NOT_FIRST_TIME 0x00000040
#define DN_HARDWARE_ENUM 0x00000080
#define DN_LIAR 0x00000100
#define DN_HAS_MARK 0x00000200
#define DN_HAS_PROBLEM 0x00000400
#define DN_FILTERED 0x00000800
#define DN_MOVED 0x00001000
#define DN_DISABLEABLE 0x00002000
#define DN_REMOVABLE 0x00004000
#define DN_PRIVATE_PROBLEM 0x00008000
#define DN_MF_PARENT 0x00010000
#define DN_MF_CHILD 0x00020000
#define DN_WILL_BE_REMOVED 0x00040000
#define DN_NOT_FIRST_TIMEE 0x00080000
#define DN_STOP_FREE_RES 0x00100000
#define DN_REBAL_CANDIDATE 0x00200000
#define DN_BAD_PARTIAL 0x00400000
#define DN_NT_ENUMERATOR 0x00800000
#define DN_NT_DRIVER 0x01000000
#define DN_NEEDS_LOCKING 0x02000000
#define DN_ARM_WAKEUP 0x04000000
#define DN_APM_ENUMERATOR 0x08000000
#define DN_APM_DRIVER 0x10000000
#define DN_SILENT_INSTALL 0x20000000
#define DN_NO_SHOW_IN_DM 0x40000000
#define DN_BOOT_LOG_PROB 0x80000000

// Problem codes.
#define CM_PROB_NOT_CONFIGURED 0x00000001
#define CM_PROB_DEVLOADER_FAILED 0x00000002
#define CM_PROB_OUT_OF_MEMORY 0x00000003
#define CM_PROB_ENTRY_IS_WRONG_TYPE 0x00000004
#define CM_PROB_LACKED_ARBITRATOR 0x00000005
#define CM_PROB_BOOT_CONFIG_CONFLICT 0x00000006
#define CM_PROB_FAILED_FILTER 0x00000007
#define CM_PROB_DEVLOADER_NOT_FOUND 0x00000008
#define CM_PROB_INVALID_DATA 0x00000009
#define CM_PROB_FAILED_START 0x0000000A
#define CM_PROB_LIAR 0x0000000B
#define CM_PROB_NORMAL_CONFLICT 0x0000000C
#define CM_PROB_NOT_VERIFIED 0x0000000D
#define CM_PROB_NEED_RESTART 0x0000000E
#define CM_PROB_REENUMERATION 0x0000000F
#define CM_PROB_PARTIAL_LOG_CONF 0x00000010
#define CM_PROB_UNKNOWN_RESOURCE 0x00000011
#define CM_PROB_REINSTALL 0x00000012
#define CM_PROB_REGISTRY 0x00000013
#define CM_PROB_VXDLDR 0x00000014
#define CM_PROB_WILL_BE_REMOVED 0x00000015
#define CM_PROB_DISABLED 0x00000016
#define CM_PROB_DEVLOADER_NOT_READY 0x00000017
#define CM_PROB_DEVICE_NOT_THERE 0x00000018
#define CM_PROB_MOVED 0x00000019
#define CM_PROB_TOO_EARLY 0x0000001A
#define CM_PROB_NO_VALID_LOG_CONF 0x0000001B
#define CM_PROB_FAILED_INSTALL 0x0000001C
#define CM_PROB_HARDWARE_DISABLED 0x0000001D
#define CM_PROB_CANT_SHARE_IRQ 0x0000001E
#define CM_PROB_FAILED_ADD 0x0000001F
#define CM_PROB_DISABLED_SERVICE 0x00000020
#define CM_PROB_TRANSLATION_FAILED 0x00000021
#define CM_PROB_NO_SOFTCONFIG 0x00000022
#define CM_PROB_BIOS_TABLE 0x00000023
#define CM_PROB_IRQ_TRANSLATION_FAILED 0x00000024
#define CM_PROB_FAILED_DRIVER_ENTRY 0x00000025
#define CM_PROB_DRIVER_FAILED_PRIOR_UNLOAD 0x00000026
#define CM_PROB_DRIVER_FAILED_LOAD 0x00000027
#define CM_PROB_DRIVER_SERVICE_KEY_INVALID 0x00000028
#define CM_PROB_LEGACY_SERVICE_NO_DEVICES 0x00000029
#define CM_PROB_DUPLICATE_DEVICE 0x0000002A
#define CM_PROB_FAILED_POST_START 0x0000002B
#define CM_PROB_HALTED 0x0000002C
#define CM_PROB_PHANTOM 0x0000002D
#define CM_PROB_SYSTEM_SHUTDOWN 0x0000002E
#define CM_PROB_HELD_FOR_EJECT 0x0000002F
#define CM_PROB_DRIVER_BLOCKED 0x00000030
#define CM_PROB_REGISTRY_TOO_LARGE 0x00000031
#define CM_PROB_SETPROPERTIES_FAILED 0x00000032

typedef enum _PNP_VETO_TYPE {
    PNP_VetoTypeUnknown,
    PNP_VetoLegacyDevice,
    PNP_VetoPendingClose,
    PNP_VetoWindowsApp,
    PNP_VetoWindowsService,
    PNP_VetoOutstandingOpen,
    PNP_VetoDevice,
    PNP_VetoDriver,
    PNP_VetoIllegalDeviceRequest,
    PNP_VetoInsufficientPower,
    PNP_VetoNonDisableable,
    PNP_VetoLegacyDriver,
    PNP_VetoInsufficientRights,
    PNP_VetoAlreadyRemoved
} PNP_VETO_TYPE,
    *PPNP_VETO_TYPE;

// Flags.
#define CM_LOCATE_DEVNODE_NORMAL 0x00000000
#define CM_LOCATE_DEVNODE_PHANTOM 0x00000001
#define CM_LOCATE_DEVNODE_CANCELREMOVE 0x00000002
#define CM_LOCATE_DEVNODE_NOVALIDATION 0x00000004
#define CM_LOCATE_DEVNODE_BITS 0x00000007
#define CM_LOCATE_DEVINST_NORMAL CM_LOCATE_DEVNODE_NORMAL
#define CM_LOCATE_DEVINST_PHANTOM CM_LOCATE_DEVNODE_PHANTOM

#define CM_REMOVE_UI_OK 0x00000000
#define CM_REMOVE_UI_NOT_OK 0x00000001
#define CM_REMOVE_NO_RESTART 0x00000002
#define CM_REMOVE_BITS 0x00000003

#define CM_SETUP_DEVNODE_READY 0x00000000
#define CM_SETUP_DEVINST_READY CM_SETUP_DEVNODE_READY
#define CM_SETUP_DOWNLOAD 0x00000001
#define CM_SETUP_WRITE_LOG_CONFS 0x00000002
#define CM_SETUP_PROP_CHANGE 0x00000003
#define CM_SETUP_DEVNODE_RESET 0x00000004
#define CM_SETUP_DEVINST_RESET CM_SETUP_DEVNODE_RESET
#define CM_SETUP_DEVNODE_CONFIG 0x00000005
#define CM_SETUP_BITS 0x00000007

#define CM_REENUMERATE_NORMAL 0x00000000
#define CM_REENUMERATE_SYNCHRONOUS 0x00000001
#define CM_REENUMERATE_RETRY_INSTALLATION 0x00000002
#define CM_REENUMERATE_ASYNCHRONOUS 0x00000004
#define CM_REENUMERATE_BITS 0x00000007

#define CM_DISABLE_POLITE 0x00000000
#define CM_DISABLE_ABSOLUTE 0x00000001
#define CM_DISABLE_HARDWARE 0x00000002
#define CM_DISABLE_UI_NOT_OK 0x00000004
#define CM_DISABLE_BITS 0x00000007

WINSIM_BEGIN_C

CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST pdnDevInst, DEVINSTID_W pDeviceID, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Child(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Sibling(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG pulStatus, PULONG pulProblemNumber, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST dnDevInst, PWSTR Buffer, ULONG BufferLen, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Device_ID_Size(PULONG pulLen, DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Query_And_Remove_SubTreeW(DEVINST dnAncestor, PPNP_VETO_TYPE pVetoType, PWSTR pszVetoName,
                                              ULONG ulNameLength, ULONG ulFlags);
CONFIGRET WINAPI CM_Setup_DevNode(DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Reenumerate_DevNode(DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Disable_DevNode(DEVINST dnDevInst, ULONG ulFlags);
CONFIGRET WINAPI CM_Enable_DevNode(DEVINST dnDevInst, ULONG ulFlags);

// Registry properties of a node (CM_DRP_* is the SPDRP_* number plus one), read from its
// Enum key as SetupDiGetDeviceRegistryPropertyW reads them; *pulLength in bytes.
#define CM_DRP_DEVICEDESC 0x00000001
#define CM_DRP_HARDWAREID 0x00000002
#define CM_DRP_COMPATIBLEIDS 0x00000003
#define CM_DRP_SERVICE 0x00000005
#define CM_DRP_CLASS 0x00000008
#define CM_DRP_CLASSGUID 0x00000009
#define CM_DRP_DRIVER 0x0000000A
#define CM_DRP_CONFIGFLAGS 0x0000000B
#define CM_DRP_MFG 0x0000000C
#define CM_DRP_FRIENDLYNAME 0x0000000D
#define CM_DRP_LOCATION_INFORMATION 0x0000000E
#define CM_DRP_MIN 0x00000001
#define CM_DRP_MAX 0x00000025
CONFIGRET WINAPI CM_Get_DevNode_Registry_PropertyW(DEVINST dnDevInst, ULONG ulProperty, PULONG pulRegDataType,
                                                   PVOID Buffer, PULONG pulLength, ULONG ulFlags);
// Waits until no device installation is pending (winsim/driverstore.h): WAIT_OBJECT_0, or
// WAIT_TIMEOUT when installs are still pending after dwTimeout milliseconds.
DWORD WINAPI CMP_WaitNoPendingInstallEvents(DWORD dwTimeout);

CONFIGRET WINAPI CM_Get_Parent_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine);
CONFIGRET WINAPI CM_Get_Child_Ex(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine);
CONFIGRET WINAPI CM_Get_DevNode_Status_Ex(PULONG pulStatus, PULONG pulProblemNumber, DEVINST dnDevInst, ULONG ulFlags,
                                          HMACHINE hMachine);
CONFIGRET WINAPI CM_Disable_DevNode_Ex(DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine);
CONFIGRET WINAPI CM_Enable_DevNode_Ex(DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine);

WINSIM_END_C

#define CM_Locate_DevNode CM_Locate_DevNodeW
#define CM_Locate_DevInst CM_Locate_DevNodeW
#define CM_Get_Device_ID CM_Get_Device_IDW
#define CM_Get_DevNode_Registry_Property CM_Get_DevNode_Registry_PropertyW
#define CM_Query_And_Remove_SubTree CM_Query_And_Remove_SubTreeW
#define CM_Setup_DevInst CM_Setup_DevNode
#define CM_Reenumerate_DevInst CM_Reenumerate_DevNode
#define CM_Disable_DevInst CM_Disable_DevNode
#define CM_Enable_DevInst CM_Enable_DevNode
#define CM_Disable_DevInst_Ex CM_Disable_DevNode_Ex
#define CM_Enable_DevInst_Ex CM_Enable_DevNode_Ex
