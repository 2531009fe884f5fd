// winsim: internals shared by the COM, Automation and WMI models.
#pragma once

#include <ole2.h>

#include "winsim/com.h"

#include <functional>

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
