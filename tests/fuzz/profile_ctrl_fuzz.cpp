// The setup library's INI/INF reader over a file of any bytes: sections, key lists,
// substitution from [Strings] and field splitting.
#include "ProfileCtrl.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::Sim sim;
    const wchar_t* kInf = L"C:\\Program Files\\Quarven\\Setup\\fuzz.inf";
    sim.Put(kInf, data, size);
    CProfileCtrl profile;
    if (!profile.Open(kInf)) return 0;
    WCHAR out[512];
    profile.HasSection(L"Version");
    profile.GetString(L"Version", L"DriverVer", out, 512, 1);
    CProfileEntryList entries;
    profile.GetKeyValues(L"Strings", &entries, 1);
    CTextList lines;
    profile.GetSectionLines(L"Manufacturer", &lines, 1, L",", 1);
    WCHAR field[64];
    CProfileCtrl::GetField(out, L",", 2, field, 64);
    return 0;
}
