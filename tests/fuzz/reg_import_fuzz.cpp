// winsim's .reg import over any text (UTF-16LE), then the export of what it made.
#include "fuzz_support.h"
#include "winsim/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::Sim sim;
    winsim::Registry reg(sim.machine());
    reg.ImportReg(fuzz::Utf16(data, size));
    reg.ExportReg(L"HKLM\\SOFTWARE\\Fuzz");
    reg.DeleteKey(L"HKLM\\SOFTWARE\\Fuzz");
    return 0;
}
