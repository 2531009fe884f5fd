// winsim: the battery class interface: the device interface class GUID_DEVICE_BATTERY, the
// IOCTL_BATTERY_* control codes and their structures, as the Windows power documentation
// describes them.
//
// Model notes (winsim/devices.h holds the battery model):
//   - IOCTL_BATTERY_QUERY_TAG: in a ULONG wait in milliseconds, out the ULONG tag. An empty
//     slot fails with ERROR_FILE_NOT_FOUND and writes BATTERY_TAG_INVALID; a non-zero wait
//     first waits on the machine's clock for a battery to be inserted.
//   - IOCTL_BATTERY_QUERY_INFORMATION: in BATTERY_QUERY_INFORMATION; a tag that is not the
//     battery's current one fails with ERROR_FILE_NOT_FOUND.
//   - IOCTL_BATTERY_QUERY_STATUS: in BATTERY_WAIT_STATUS, out BATTERY_STATUS; with a
//     time-out the request waits for the status to leave the given one, and returns the
//     status it then has (also when the time-out runs out).
// The GUID is a constant of each unit (as in devguid.h), so the header needs no defining
// unit and may follow <initguid.h>.
#pragma once
#include "windows.h"
#include "guiddef.h"

static const GUID GUID_DEVICE_BATTERY =
    WINSIM_GUID_INIT(0x72631e54, 0x78a4, 0x11d0, 0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a);

#define IOCTL_BATTERY_QUERY_TAG CTL_CODE(FILE_DEVICE_BATTERY, 0x10, METHOD_BUFFERED, FILE_READ_ACCESS)
#define IOCTL_BATTERY_QUERY_INFORMATION CTL_CODE(FILE_DEVICE_BATTERY, 0x11, METHOD_BUFFERED, FILE_READ_ACCESS)
#define IOCTL_BATTERY_SET_INFORMATION CTL_CODE(FILE_DEVICE_BATTERY, 0x12, METHOD_BUFFERED, FILE_WRITE_ACCESS)
#define IOCTL_BATTERY_QUERY_STATUS CTL_CODE(FILE_DEVICE_BATTERY, 0x13, METHOD_BUFFERED, FILE_READ_ACCESS)

#define BATTERY_TAG_INVALID 0

// BATTERY_INFORMATION Capabilities.
#define BATTERY_SET_CHARGE_SUPPORTED 0x00000001
#define BATTERY_SET_DISCHARGE_SUPPORTED 0x00000002
#define BATTERY_SET_CHARGINGSOURCE_SUPPORTED 0x00000004
#define BATTERY_IS_SHORT_TERM 0x20000000
#define BATTERY_CAPACITY_RELATIVE 0x40000000
#define BATTERY_SYSTEM_BATTERY 0x80000000

// BATTERY_STATUS PowerState.
#define BATTERY_POWER_ON_LINE 0x00000001
#define BATTERY_DISCHARGING 0x00000002
#define BATTERY_CHARGING 0x00000004
#define BATTERY_CRITICAL 0x00000008

#define BATTERY_UNKNOWN_CAPACITY 0xFFFFFFFF
#define BATTERY_UNKNOWN_VOLTAGE 0xFFFFFFFF
#define BATTERY_UNKNOWN_RATE 0x80000000
#define BATTERY_UNKNOWN_TIME 0xFFFFFFFF

typedef enum _BATTERY_QUERY_INFORMATION_LEVEL {
    BatteryInformation = 0,
    BatteryGranularityInformation,
    BatteryTemperature,
    BatteryEstimatedTime,
    BatteryDeviceName,
    BatteryManufactureDate,
    BatteryManufactureName,
    BatteryUniqueID,
    BatterySerialNumber
} BATTERY_QUERY_INFORMATION_LEVEL;

typedef struct _BATTERY_QUERY_INFORMATION {
    ULONG BatteryTag;
    BATTERY_QUERY_INFORMATION_LEVEL InformationLevel;
    LONG AtRate;
} BATTERY_QUERY_INFORMATION, *PBATTERY_QUERY_INFORMATION;

typedef struct _BATTERY_INFORMATION {
    ULONG Capabilities;
    UCHAR Technology;  // 0 primary, 1 rechargeable
    UCHAR Reserved[3];
    UCHAR Chemistry[4];  // "PbAc", "LION", "NiCd", "NiMH", "NiZn", "RAM" ...
    ULONG DesignedCapacity;
    ULONG FullChargedCapacity;
    ULONG DefaultAlert1;
    ULONG DefaultAlert2;
    ULONG CriticalBias;
    ULONG CycleCount;
} BATTERY_INFORMATION, *PBATTERY_INFORMATION;

typedef struct _BATTERY_REPORTING_SCALE {
    ULONG Granularity;
    ULONG Capacity;
} BATTERY_REPORTING_SCALE, *PBATTERY_REPORTING_SCALE;

typedef struct _BATTERY_MANUFACTURE_DATE {
    UCHAR Day;
    UCHAR Month;
    USHORT Year;
} BATTERY_MANUFACTURE_DATE, *PBATTERY_MANUFACTURE_DATE;

typedef struct _BATTERY_WAIT_STATUS {
    ULONG BatteryTag;
    ULONG Timeout;
    ULONG PowerState;
    ULONG LowCapacity;
    ULONG HighCapacity;
} BATTERY_WAIT_STATUS, *PBATTERY_WAIT_STATUS;

typedef struct _BATTERY_STATUS {
    ULONG PowerState;
    ULONG Capacity;
    ULONG Voltage;
    LONG Rate;
} BATTERY_STATUS, *PBATTERY_STATUS;
