// winsim: the machine's broadcasts to top-level windows: device arrivals and removals
// (WM_DEVICECHANGE), display changes (WM_DISPLAYCHANGE) and power events (WM_POWERBROADCAST).
#include <dbt.h>
#include <windows.h>

#include "internal.h"
#include "winsim/devices.h"
#include "winsim/display.h"
#include "winsim/power.h"
#include "winsim/user.h"

#include <cstring>
#include <vector>

namespace winsim::internal {

namespace {

// Broadcasts reach the windows of this host's processes; an operation run from outside the
// simulation (the tool) has no windows to tell.
bool CanBroadcast() { return CurrentThreadOrNull() != nullptr; }

void DeviceChanged(Machine& m, const DeviceChange& c) {
    if (!CanBroadcast()) return;
    WPARAM event = c.kind == DeviceChangeKind::Arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    if (c.port_name.empty()) {
        user::BroadcastToTopLevel(m, std::nullopt, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, user::Delivery::Send);
        return;
    }
    // A port: DEV_BROADCAST_PORT with its name, as Windows sends to every top-level window.
    size_t bytes = offsetof(DEV_BROADCAST_PORT_W, dbcp_name) + (c.port_name.size() + 1) * sizeof(WCHAR);
    std::vector<unsigned char> buf(bytes, 0);
    auto* port = reinterpret_cast<DEV_BROADCAST_PORT_W*>(buf.data());
    port->dbcp_size = static_cast<DWORD>(bytes);
    port->dbcp_devicetype = DBT_DEVTYP_PORT;
    std::memcpy(port->dbcp_name, c.port_name.c_str(), (c.port_name.size() + 1) * sizeof(WCHAR));
    user::BroadcastToTopLevel(m, std::nullopt, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(port),
                              user::Delivery::Send);
}

void DisplayChanged(Machine& m, DWORD bpp, DWORD cx, DWORD cy) {
    user::SetDesktopSize(m, static_cast<int>(cx), static_cast<int>(cy));
    if (!CanBroadcast()) return;
    user::BroadcastToTopLevel(m, std::nullopt, WM_DISPLAYCHANGE, bpp, MAKELPARAM(cx, cy), user::Delivery::Send);
}

// Every top-level window of every session, each with its own time-out.
void PowerChanged(Machine& m, const power::Event& e) {
    if (e.kind != power::Kind::Power || !CanBroadcast()) return;
    // Windows are not asked whether the machine may sleep (since Windows Vista).
    if (e.code == PBT_APMQUERYSUSPEND || e.code == PBT_APMQUERYSUSPENDFAILED) return;
    user::BroadcastToTopLevel(m, std::nullopt, WM_POWERBROADCAST, e.code, e.flags, user::Delivery::Send);
}

}  // namespace

void InitBroadcasts(Machine& m) {
    DeviceTree(m).AddListener([&m](const DeviceChange& c) { DeviceChanged(m, c); });
    Display(m).AddChangeListener([&m](DWORD bpp, DWORD cx, DWORD cy) { DisplayChanged(m, bpp, cx, cy); });
    power::AddListener(m, [&m](const power::Event& e) { PowerChanged(m, e); });
}

}  // namespace winsim::internal
