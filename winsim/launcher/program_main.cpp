// main() of a system program's standalone Linux executable: runs the program's Windows
// entry point as a process of the simulated machine.
#include <windows.h>

#include "winsim/program.h"

#ifdef WINSIM_PROGRAM_VERSION
#include "Version.h"
#endif

#ifdef WINSIM_PROGRAM_RESOURCES
// The program's resource table, generated from its resource header (vq_add_program RESOURCES).
std::shared_ptr<const winsim::ResourceTable> WINSIM_PROGRAM_RESOURCES();
#endif

#ifdef WINSIM_GUI_PROGRAM
int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
#else
int wmain(int argc, wchar_t** argv);
#endif

int main(int argc, char** argv) {
    winsim::ProgramInfo info;
    info.file_name = WINSIM_PROGRAM_FILE;
    info.default_folder = WINSIM_PROGRAM_FOLDER;
#ifdef WINSIM_PROGRAM_VERSION
    // The program's version resource, from the same header as the Windows build's.
#define WINSIM_VERSION_STRING(name, value) {VQ_WIDE(name), VQ_WIDE(value)},
    info.version_strings = {VQ_VERSION_STRINGS(WINSIM_VERSION_STRING)};
#undef WINSIM_VERSION_STRING
    info.version_language = VQ_VERSION_LANGUAGE;
    info.version_codepage = VQ_VERSION_CODEPAGE;
#endif
#ifdef WINSIM_PROGRAM_RESOURCES
    info.resources = WINSIM_PROGRAM_RESOURCES();
#endif
#ifdef WINSIM_GUI_PROGRAM
    info.wwinmain = &wWinMain;
#else
    info.wmain = &wmain;
#endif
    return winsim::StandaloneMain(argc, argv, info);
}
