// winsim: the CryptoAPI model as tests reach it (see wincrypt.h for the behaviour).
#pragma once

#include "machine.h"

#include <string>

namespace winsim::crypt {

// The CryptoAPI calls that tests can make fail.
enum class Step {
    AcquireContext,
    CreateHash,
    HashData,
    GetHashParam,
    DeriveKey,
    Encrypt,
    Decrypt,
    DestroyHash,
    DestroyKey,
    ReleaseContext,
};

// The next `count` calls of step fail with error (the thread's last error); count 0 makes
// every call fail until cleared. Kept in memory until ClearFailures or the machine ends.
void InjectFailure(Machine& m, Step step, DWORD error, unsigned count = 0);
void ClearFailures(Machine& m);

// Key containers: scope is a user's SID, or "machine" for CRYPT_MACHINE_KEYSET.
bool ContainerExists(Machine& m, const std::wstring& scope, const std::wstring& name);
void CreateContainer(Machine& m, const std::wstring& scope, const std::wstring& name);
void DeleteContainer(Machine& m, const std::wstring& scope, const std::wstring& name);

// Handles of every kind open on the machine (leak checks in tests).
size_t OpenHandles(Machine& m);

}  // namespace winsim::crypt
