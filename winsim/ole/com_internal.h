// winsim: internals shared by the COM, Automation and WMI models.
#pragma once

#include <ole2.h>

#include "winsim/com.h"

#include <functional>
#include <string>

namespace winsim::com::detail {

// True (and *hr set) when a failure is injected for the step on the current machine.
bool Injected(Step step, HRESULT* hr);

}  // namespace winsim::com::detail

namespace winsim::wmi::detail {

// Adds the WMI locator class to the classes of a machine's COM model (called while the
// model is set up).
void RegisterLocator(Machine& m, const std::function<void(const CLSID&, com::Factory)>& add);

}  // namespace winsim::wmi::detail

namespace winsim::shell::detail {

// Adds the shell link class (CLSID_ShellLink) to the classes of a machine's COM model.
void RegisterShellLink(Machine& m, const std::function<void(const CLSID&, com::Factory)>& add);

}  // namespace winsim::shell::detail

namespace winsim::netcfg::detail {

// Adds the network configuration class (CLSID_CNetCfg) to the classes of a machine's COM
// model.
void RegisterNetCfg(Machine& m, const std::function<void(const CLSID&, com::Factory)>& add);
// Adds an adapter's component and the paths of the client, the service and the protocol
// to it.
void BindNewAdapter(Machine& m, const std::wstring& id, const std::wstring& name, const std::wstring& guid,
                    const std::wstring& pnp_id);

}  // namespace winsim::netcfg::detail
