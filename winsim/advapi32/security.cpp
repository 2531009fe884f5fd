// winsim: advapi32 security descriptors (absolute form): initialisation, the DACL and the
// validity check.
#include <windows.h>

#include "winsim/kernel.h"

#include <cstring>

using namespace winsim;

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR psd, DWORD revision) {
    if (!psd) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (revision != SECURITY_DESCRIPTOR_REVISION) return Fail(1305 /* ERROR_UNKNOWN_REVISION */, FALSE);
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(psd);
    std::memset(sd, 0, sizeof(*sd));
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR psd, BOOL present, PACL dacl, BOOL defaulted) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(psd);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(1305, FALSE);
    sd->Control = static_cast<WORD>(sd->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    if (present) {
        sd->Control |= SE_DACL_PRESENT;
        if (defaulted) sd->Control |= SE_DACL_DEFAULTED;
        sd->Dacl = dacl;
    } else {
        sd->Dacl = nullptr;
    }
    return TRUE;
}
