// winsim: what kernel32's sources share: the calling process, its machine and the objects
// behind its handles.
#pragma once

#include <windows.h>

#include "winsim/machine.h"

#include <memory>

namespace winsim::kernel32 {

inline Process& Proc() { return CurrentProcess(); }
inline Machine& Mach() { return CurrentMachine(); }

// The object of type T behind a handle of the calling process (null when the handle is
// unknown or of another type); access receives the handle's granted rights.
template <class T>
std::shared_ptr<T> Obj(HANDLE h, ACCESS_MASK* access = nullptr) {
    if (!h) return nullptr;
    return std::dynamic_pointer_cast<T>(Proc().Lookup(h, access));
}

}  // namespace winsim::kernel32
