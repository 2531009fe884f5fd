// winsim: internals of the WMI model.
#pragma once

#include "com_internal.h"
#include "winsim/wmi.h"

#include <map>
#include <string>

namespace winsim::wmi {

// The class's name as stored (its own case), or "" when the namespace has no such class.
std::wstring ClassName(Machine& m, const std::wstring& ns, const std::wstring& cls);
DWORD ProviderDelay(Machine& m, const std::wstring& ns, const std::wstring& cls);
// True (and *hr set) when a failure is injected for the step.
bool Injected(Machine& m, Step step, HRESULT* hr);

}  // namespace winsim::wmi
