// winsim tool: the system's programs linked into the host, registered under their image
// names so that the machine's image files run them.
#include "tool.h"

#include "winsim/program.h"

// The service's entry point (service/SvcMain.h).
int RvqxSvcMain(int argc, wchar_t** argv);

// The GUI's entry point (gui/RVQXCTRLApp.h) and resource table.
int RvqxCtrlMain(HINSTANCE hInstance, LPCWSTR pszCmdLine, int nCmdShow);
std::shared_ptr<const winsim::ResourceTable> RvqxCtrlResources();
namespace {
int WINAPI RvqxCtrlWinMain(HINSTANCE inst, HINSTANCE, LPWSTR cmdline, int show) {
    return RvqxCtrlMain(inst, cmdline, show);
}
}  // namespace

namespace winsim::tool {

void RegisterHostPrograms(Machine& m) {
    ProgramInfo svc;
    svc.file_name = L"RVQXSVC.exe";
    svc.default_folder = L"C:\\Program Files\\Quarven\\Veltrane";
    svc.wmain = RvqxSvcMain;
    RegisterProgram(svc);
    // Its image file where the program is installed, unless one is there already.
    InstallProgramImage(m, svc.default_folder + L"\\" + svc.file_name, svc.file_name);

    ProgramInfo gui;
    gui.file_name = L"RVQXCTRL.exe";
    gui.default_folder = L"C:\\Program Files\\Quarven\\Veltrane";
    gui.wwinmain = RvqxCtrlWinMain;
    gui.resources = RvqxCtrlResources();
    RegisterProgram(gui);
    InstallProgramImage(m, gui.default_folder + L"\\" + gui.file_name, gui.file_name);
}

}  // namespace winsim::tool
