// winsim: running the system's programs as processes of a simulated machine.
#pragma once

#include "machine.h"
#include "resources.h"

#include <functional>
#include <memory>

#include <optional>
#include <string>
#include <vector>

namespace winsim {

using WMainFn = int (*)(int argc, wchar_t** argv);
using WWinMainFn = int (*)(HINSTANCE inst, HINSTANCE prev, LPWSTR cmdline, int show);

struct ProgramInfo {
    std::wstring file_name;       // "RVQXSVC.exe"
    std::wstring default_folder;  // where the program is installed by default, e.g. "C:\Program Files\Quarven\Veltrane"
    WMainFn wmain = nullptr;      // console programs
    WWinMainFn wwinmain = nullptr;  // Windows programs
    // The strings of the program's version resource (name, value) and its translation;
    // StandaloneMain attaches them to the image file (none: the file keeps what it has).
    std::vector<std::pair<std::wstring, std::wstring>> version_strings;
    WORD version_language = 0x0409;
    WORD version_codepage = 1200;
    // The resources of the program's image (strings, icons, menus, dialogs, manifest);
    // RunProgram attaches them to the process (null: none).
    std::shared_ptr<const ResourceTable> resources;
    // A program without an entry of its own (RegisterDescribedProgram); its exit code.
    std::function<int()> run;
};

// A program that a test describes rather than writes: at its start it applies its effect
// on the machine (on its own main thread, so the Windows API may be called), then runs for
// run_ms of the machine's time, or until it is ended when never_ends, and exits with
// exit_code.
struct DescribedProgram {
    std::wstring file_name;
    DWORD exit_code = 0;
    DWORD run_ms = 0;
    bool never_ends = false;
    std::function<void()> effect;
};
// Registers it as RegisterProgram does (the image file names it by file_name).
void RegisterDescribedProgram(const DescribedProgram& desc);

// A start by CreateProcessW, as the machine records it.
struct ProcessStart {
    DWORD pid = 0;
    DWORD parent_pid = 0;
    std::wstring image;         // the full path of the image that runs
    std::wstring command_line;  // as given (or the quoted image path when none was)
    std::wstring current_dir;
    DWORD flags = 0;  // the creation flags
    bool image64 = true;
};
// Every start of the machine so far, in order.
std::vector<ProcessStart> ProcessStarts(Machine& m);
void RecordProcessStart(Machine& m, const ProcessStart& start);

// Splits a command line as the Microsoft C runtime does for argv.
std::vector<std::wstring> SplitCommandLine(const std::wstring& cmdline);
// Quotes an argument so that SplitCommandLine gives it back.
std::wstring QuoteArgument(const std::wstring& arg);
// The arguments part of a command line (after the program name), as wWinMain receives it.
std::wstring ArgumentsOf(const std::wstring& cmdline);

// Runs the program's entry on the calling host thread as the main thread of process p
// (which must have no threads yet) and returns its exit code. When the entry returns, the
// process ends as on Windows: every other thread of it is stopped.
int RunProgram(Machine& m, std::shared_ptr<Process> p, const ProgramInfo& info);

// main() of a standalone Linux executable of a system program: opens the machine of
// $WINSIM_MACHINE (else the default folder; created from the tablet profile), creates the
// program's process (image $WINSIM_IMAGE or the program's default path; session
// $WINSIM_SESSION, default 1; a 32-bit image when $WINSIM_IMAGE32 is 1), writes the
// program's image file there if it is missing, runs the program with the host arguments
// and returns its exit code. The clock runs in real time unless $WINSIM_CLOCK is
// "virtual". Debug output goes to stderr when $WINSIM_DEBUG_OUTPUT is 1.
int StandaloneMain(int argc, char** argv, const ProgramInfo& info);

// Writes the placeholder image file that names a program of the machine.
void InstallProgramImage(Machine& m, const std::wstring& path, const std::wstring& program);

// The programs that image files can name ("WINSIM-IMAGE:<file_name>"), for every machine
// of the host process; file names compare without regard to case. Registering a name
// again replaces its entry.
void RegisterProgram(const ProgramInfo& info);
void UnregisterProgram(const std::wstring& file_name);
// Nullopt when no program of that name is registered.
std::optional<ProgramInfo> FindProgram(const std::wstring& file_name);

// What a program file of the machine holds.
enum class ImageKind { Missing, Program, HostExecutable, Invalid };
struct ImageFile {
    ImageKind kind = ImageKind::Missing;
    std::wstring program;   // Program: the name the image names (registered or not)
    std::string host_path;  // HostExecutable: the file on the host
};
ImageFile ReadImageFile(Machine& m, const std::wstring& full_path);

// Starts the image opt.image (a full path) as a new process of the machine: its main
// thread runs the program's entry on a new host thread (or waits for a host child
// process). Callable on a simulated thread only. Returns nullptr and sets *error
// (ERROR_FILE_NOT_FOUND, ERROR_BAD_EXE_FORMAT) when the image cannot run. The main thread
// starts suspended when asked, and is returned in *main_thread.
std::shared_ptr<Process> StartImage(Machine& m, const ProcessOptions& opt, DWORD* error, bool suspended = false,
                                    std::shared_ptr<Thread>* main_thread = nullptr);

}  // namespace winsim
