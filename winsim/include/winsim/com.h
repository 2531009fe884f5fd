// winsim: the COM model as tests and other winsim models reach it.
#pragma once

#include <objbase.h>

#include "machine.h"

#include <functional>

namespace winsim::com {

// Creates an object of a class for CoCreateInstance: returns the HRESULT and sets *ppv to
// the object's riid interface (AddRef'd).
using Factory = std::function<HRESULT(REFIID riid, void** ppv)>;

// Makes a class available to CoCreateInstance on this machine (replacing an earlier
// registration of the CLSID); the machine's own classes (the WMI locator) are registered
// when the model is first used.
void RegisterFactory(Machine& m, const CLSID& clsid, Factory factory);
void UnregisterFactory(Machine& m, const CLSID& clsid);

// The calls that tests can make fail: the next `count` calls (0: all until cleared)
// return hr (the allocation calls return NULL instead).
enum class Step { OleInitialize, CoInitializeEx, CoCreateInstance, CoSetProxyBlanket, SysAllocString };
void InjectFailure(Machine& m, Step step, HRESULT hr, unsigned count = 0);
void ClearFailures(Machine& m);

// The calling thread's apartment: 0 outside COM, else COINIT_APARTMENTTHREADED or
// COINIT_MULTITHREADED + 1; and its counts of COM and OLE initialisations.
int Apartment();
unsigned InitCount();
unsigned OleInitCount();

// Objects of winsim's COM classes and BSTRs alive in this host process.
long LiveObjects();
long LiveStrings();

// Base of winsim's COM objects: reference counting and the live count.
class ObjectBase {
public:
    ObjectBase();
    virtual ~ObjectBase();
    ULONG AddRefImpl();
    ULONG ReleaseImpl();  // deletes the object at zero
    // The current count, for tests that check that references are balanced.
    long RefCount() const { return __atomic_load_n(&refs_, __ATOMIC_SEQ_CST); }

private:
    long refs_ = 1;
};

}  // namespace winsim::com
