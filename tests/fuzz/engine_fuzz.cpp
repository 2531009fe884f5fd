// The setup program running any script: the input is the plain script, encrypted beside the
// program and run silently on a fresh simulated machine on the virtual clock. Sleeps and
// waits cost no real time; a run past the program's bound on section runs, or longer than
// a simulated day, fails as a crash rather than a time-out.
#include "CryptCtrl.h"
#include "SetupCtrl.h"
#include "SetupExec.h"
#include "SetupGlobals.h"
#include "fuzz_support.h"
#include "winsim/program.h"
#include "winsim/registry.h"

#include <stdio.h>
#include <stdlib.h>

std::shared_ptr<const winsim::ResourceTable> SetupFuzzResources();

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const wchar_t* kImage = L"C:\\Program Files\\Quarven\\Setup\\Setup.exe";
    const wchar_t* kIni = L"C:\\Program Files\\Quarven\\Setup\\Setup.ini";
    const wchar_t* kDat = L"C:\\Program Files\\Quarven\\Setup\\Setup.dat";
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::CreateInMemory("tablet");
    winsim::files::CreateFolders(*machine, fuzz::kFolder);
    winsim::InstallProgramImage(*machine, kImage, L"Setup.exe");
    {
        winsim::ProcessOptions tool;
        winsim::ProcessScope scope(*machine, tool);
        winsim::files::WriteBytes(*machine, kIni, std::string(reinterpret_cast<const char*>(data), size));
        CCryptCtrl crypt;
        if (crypt.EncryptFile(kIni, kDat, CRYPT_PASS_PHRASE, 1) != 0) return 0;
        DeleteFileW(kIni);
    }
    winsim::ProcessOptions o;
    o.image = kImage;
    o.command_line = winsim::QuoteArgument(kImage) + L" /s";
    auto process = machine->CreateProcess(o);
    winsim::ProgramInfo info;
    info.file_name = L"Setup.exe";
    info.default_folder = fuzz::kFolder;
    info.wwinmain = &SetupWinMain;
    info.resources = SetupFuzzResources();
    uint64_t start = machine->NowMs();
    winsim::RunProgram(*machine, process, info);
    if (GetSectionRuns() > SETUP_MAX_SECTION_RUNS || machine->NowMs() - start > 24ull * 3600 * 1000) {
        fprintf(stderr, "setup ran %d sections in %llu ms of virtual time\n", GetSectionRuns(),
                static_cast<unsigned long long>(machine->NowMs() - start));
        abort();
    }
    return 0;
}
