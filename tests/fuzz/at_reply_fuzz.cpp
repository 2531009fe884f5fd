// The result text of a modem's AT reply: the input is the command, a NUL, the cleaned reply.
#include "ComCtrl.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = fuzz::Utf16(data, size);
    size_t cut = text.find(L'\0');
    std::wstring command = cut == std::wstring::npos ? text : text.substr(0, cut);
    std::wstring reply = cut == std::wstring::npos ? L"" : text.substr(cut + 1);
    WCHAR out[COMCTRL_IO_BYTES];
    CComCtrl::ExtractResult(command.c_str(), reply.c_str(), out, COMCTRL_IO_BYTES);
    CComCtrl::ExtractResult(command.c_str(), reply.c_str(), out, 4);
    return 0;
}
