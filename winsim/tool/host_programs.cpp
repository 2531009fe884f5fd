// winsim tool: the system's programs linked into the host, registered under their image
// names so that the machine's image files run them.
#include "tool.h"

#include "winsim/program.h"

// The service's entry point (service/SvcMain.h).
int RvqxSvcMain(int argc, wchar_t** argv);

namespace winsim::tool {

void RegisterHostPrograms(Machine& m) {
    ProgramInfo svc;
    svc.file_name = L"RVQXSVC.exe";
    svc.default_folder = L"C:\\Program Files\\Quarven\\Veltrane";
    svc.wmain = RvqxSvcMain;
    RegisterProgram(svc);
    // Its image file where the program is installed, unless one is there already.
    InstallProgramImage(m, svc.default_folder + L"\\" + svc.file_name, svc.file_name);
}

}  // namespace winsim::tool
