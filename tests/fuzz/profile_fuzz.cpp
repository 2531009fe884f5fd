// The profile functions over a file of any bytes (ANSI, or UTF-16 with its byte-order mark).
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::Sim sim;
    const wchar_t* kIni = L"C:\\Program Files\\Quarven\\Setup\\fuzz.ini";
    sim.Put(kIni, data, size);
    WCHAR out[512];
    GetPrivateProfileSectionW(L"INIT", out, 512, kIni);
    GetPrivateProfileSectionNamesW(out, 512, kIni);
    GetPrivateProfileStringW(L"INIT", NULL, L"", out, 512, kIni);
    GetPrivateProfileStringW(L"INIT", L"CMD1", L"-", out, 8, kIni);
    GetPrivateProfileIntW(L"INIT", L"RETURN_MASK", 0, kIni);
    WritePrivateProfileStringW(L"INIT", L"CMD2", L"X", kIni);
    WritePrivateProfileStringW(L"INIT", L"CMD1", NULL, kIni);
    GetPrivateProfileStringW(L"INIT", L"CMD2", L"-", out, 512, kIni);
    return 0;
}
