// winsim: the system's own programs on every machine: registered in the host process, and
// their images installed where Windows keeps them.
#include "programs_internal.h"

#include "internal.h"

namespace winsim::internal {

void InitSystemPrograms(Machine&) {
    RegisterProgram(programs::RegeditProgram());
    RegisterProgram(programs::Rundll32Program());
    RegisterProgram(programs::NetProgram());
}

void ProfileSystemPrograms(Machine& m) {
    // The 64-bit programs and their 32-bit twins under SysWOW64.
    InstallProgramImage(m, L"C:\\Windows\\regedit.exe", L"regedit.exe");
    InstallProgramImage(m, L"C:\\Windows\\SysWOW64\\regedit.exe", L"regedit.exe");
    InstallProgramImage(m, L"C:\\Windows\\System32\\rundll32.exe", L"rundll32.exe");
    InstallProgramImage(m, L"C:\\Windows\\SysWOW64\\rundll32.exe", L"rundll32.exe");
    InstallProgramImage(m, L"C:\\Windows\\System32\\net.exe", L"net.exe");
}

}  // namespace winsim::internal
