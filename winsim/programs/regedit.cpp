// winsim: the stand-in registry editor. "regedit [/s] FILE" imports a .reg file (both
// dialects) through the machine's importer into the view of its own bitness and the hive
// of its own user; exit code 0, or 1 when the file is missing or malformed (nothing is
// imported then). It shows no window: /s is accepted and changes nothing.
#include <windows.h>

#include "programs_internal.h"
#include "winsim/files.h"
#include "winsim/kernel.h"
#include "winsim/registry.h"

#include <vector>

namespace winsim::programs {

namespace {

int WINAPI RegeditMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    Process& p = CurrentProcess();
    std::vector<std::wstring> args = SplitCommandLine(p.command_line);
    std::wstring file;
    for (size_t i = 1; i < args.size(); ++i) {
        if (!args[i].empty() && (args[i][0] == L'/' || args[i][0] == L'-')) continue;
        if (file.empty()) file = args[i];
    }
    if (file.empty()) return 1;
    Machine& m = CurrentMachine();
    auto bytes = files::ReadBytes(m, files::FullPath(file, p.current_dir));
    if (!bytes) return 1;
    Registry reg(m, p.user_sid);
    RegImportResult r = reg.ImportRegFile(std::vector<uint8_t>(bytes->begin(), bytes->end()),
                                          p.image64 ? RegView::Native : RegView::Wow32);
    return r.ok ? 0 : 1;
}

}  // namespace

ProgramInfo RegeditProgram() {
    ProgramInfo info;
    info.file_name = L"regedit.exe";
    info.default_folder = L"C:\\Windows";
    info.wwinmain = &RegeditMain;
    return info;
}

}  // namespace winsim::programs
