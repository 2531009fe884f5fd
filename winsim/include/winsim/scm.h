// winsim: the Service Control Manager as tests and the winsim tool see it.
//
// The database is the registry, as on Windows: HKLM\SYSTEM\CurrentControlSet\Services\<name>
// with ImagePath, Type, Start, ErrorControl, Group, DisplayName, Description,
// DelayedAutostart, ObjectName (and DeleteFlag while marked for delete). A key counts as
// a service when it has a Type value. The run-time state (status, process, connection of
// a started service's dispatcher) lives in memory with the machine.
//
// Starting a service runs its ImagePath (program and arguments) as a new process in
// session 0 under SYSTEM, current folder System32 (winsim/program.h: StartImage). Its
// StartServiceCtrlDispatcherW connects it; service main runs on a new thread; each control
// runs on the dispatcher's thread, one at a time, while the sender waits (30 s at most).
//
// The functions here need a simulated thread when they deliver anything (Broadcast,
// WaitForState); the readers also work while the machine is idle.
#pragma once

#include "machine.h"

#include "../winsvc.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::scm {

constexpr const wchar_t* kServicesKey = L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
// How long a sender waits for a control's handler, and StartServiceW for the dispatcher.
constexpr DWORD kControlTimeoutMs = 30000;

struct ServiceConfig {
    std::wstring name;  // as created
    std::wstring display_name;
    std::wstring image_path;
    std::wstring group;
    std::wstring description;
    std::wstring account;
    DWORD type = 0;
    DWORD start = 0;
    DWORD error_control = 0;
    bool delayed_autostart = false;
};

// The configuration of a service (nullopt when there is no such service).
std::optional<ServiceConfig> Config(Machine& m, const std::wstring& name);
// Every service's name, in the registry's order.
std::vector<std::wstring> Names(Machine& m);
// The current status (SERVICE_STOPPED for a service that never ran or does not exist).
SERVICE_STATUS Status(Machine& m, const std::wstring& name);
// The process of a running service (0 when none).
DWORD ProcessId(Machine& m, const std::wstring& name);
bool MarkedForDelete(Machine& m, const std::wstring& name);

// Every control that reached a service's handler, in order.
struct ControlRecord {
    uint64_t time_ms;
    std::wstring service;
    DWORD control;
    DWORD event_type;
    DWORD result;  // the handler's result
};
std::vector<ControlRecord> Controls(Machine& m);
// Those from the first-th on (0: all), for a reader that follows the record as it grows.
std::vector<ControlRecord> ControlsFrom(Machine& m, size_t first);
void ClearControls(Machine& m);

// Every status a service reported with SetServiceStatus, in order.
struct StatusReport {
    uint64_t time_ms;
    SERVICE_STATUS status;
};
std::vector<StatusReport> Reports(Machine& m, const std::wstring& name);

// Delivers a control that the system sends (SERVICE_CONTROL_POWEREVENT,
// SERVICE_CONTROL_SESSIONCHANGE ...) to every running service whose accepted controls
// include accept_mask and whose handler is an extended one, in the order of the
// services' names; data is the event data. Returns each service's result.
struct Delivery {
    std::wstring service;
    DWORD result;
};
std::vector<Delivery> Broadcast(Machine& m, DWORD control, DWORD accept_mask, DWORD event_type, const void* data,
                                size_t size);

// A service without a program: the manager keeps its state and moves it by the clock.
// StartServiceW puts it into SERVICE_START_PENDING, which turns into SERVICE_RUNNING
// start_ms later; a stop control on a running one gives SERVICE_STOP_PENDING, which turns
// into SERVICE_STOPPED stop_ms later (kNever: the pending state stays). It accepts the
// stop control and interrogation only. Its configuration stays in the registry.
constexpr DWORD kNever = 0xFFFFFFFF;
struct Simulation {
    DWORD start_ms = 0;
    DWORD stop_ms = 0;
};
// Makes the existing service name a simulated one, now in state (a pending state moves
// on as above: SERVICE_START_PENDING with start_ms 3000 reaches SERVICE_RUNNING 3 s later).
void Simulate(Machine& m, const std::wstring& name, Simulation sim, DWORD state = SERVICE_STOPPED);

// Waits until the service's state is state (true) or timeout_ms pass (false).
bool WaitForState(Machine& m, const std::wstring& name, DWORD state, DWORD timeout_ms);

}  // namespace winsim::scm
