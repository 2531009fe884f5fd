// winsim: internals shared by the device tree, the serial ports, the display, the maker's
// drivers and the communications functions.
#pragma once

#include <windows.h>

#include "winsim/machine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

inline bool StartsWithI(const std::wstring& s, const std::wstring& prefix) {
    return s.size() >= prefix.size() && IEquals(s.substr(0, prefix.size()), prefix);
}

namespace devices {
void CreateSchema(Machine& m);
// The root node and its registry key (every profile has them).
void EnsureRoot(Machine& m);
// Forgets every node and change (the registry is erased separately).
void Erase(Machine& m);
// The device trees of the profiles.
void ProfileDevices(Machine& m, const std::string& profile);
// The symbolic link of a device interface and its key under DeviceClasses.
std::wstring InterfacePath(const std::wstring& instance_id, const std::wstring& class_guid);
std::wstring InterfaceKey(const std::wstring& class_guid, const std::wstring& path);
// Batteries: the schema and the device models of the stored batteries (at machine open),
// the forgetting of one that is uninstalled, and of all (the machine is reset).
void InitBatteries(Machine& m);
void ForgetBattery(Machine& m, DWORD devinst);
void EraseBatteries(Machine& m);
}  // namespace devices

namespace serial {
void Init(Machine& m);
void Reset(Machine& m);
// The settings namespace of a port ("serial.COM5").
std::string Ns(const std::wstring& port);
// Bytes a port receives, due at machine time at.
struct RxChunk {
    uint64_t at;
    std::string bytes;
};
// Feeds bytes written to the port into its modem (line_buf holds a line not yet ended);
// returns what the modem sends back.
std::vector<RxChunk> ModemInput(Machine& m, const std::wstring& port, std::string* line_buf, const std::string& bytes,
                                uint64_t now);
// The port behind a handle of the calling process (0, its name in port), or the error for a
// communications call on it: the handle is unknown, not a port's, or its device is gone.
DWORD PortOfHandle(HANDLE h, std::wstring* port);
// The settings a program makes (SerialPorts::dcb and timeouts read them back).
void SaveDcb(Machine& m, const std::wstring& port, const DCB& d);
void SaveTimeouts(Machine& m, const std::wstring& port, const COMMTIMEOUTS& t);
// Purges the port's queues as PurgeComm's flags say, and counts the purge.
void Purge(Machine& m, const std::wstring& port, DWORD flags);
}  // namespace serial

namespace display {
void Init(Machine& m);
void Profile(Machine& m, const std::string& profile);
}  // namespace display

}  // namespace winsim
