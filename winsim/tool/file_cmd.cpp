// winsim tool: the machine's files.
#include "tool.h"

#include "winsim/files.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace winsim::tool {
namespace {

// Text of a file: UTF-16LE after a byte-order mark, UTF-8 after its mark, else code page 1252.
std::wstring Decode(const std::string& b) {
    if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xFE)
        return FromUtf16(reinterpret_cast<const uint8_t*>(b.data()) + 2, b.size() - 2);
    if (b.size() >= 3 && b.compare(0, 3, "\xEF\xBB\xBF") == 0) return Wide(b.substr(3));
    int n = MultiByteToWideChar(CP_ACP, 0, b.data(), static_cast<int>(b.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, b.data(), static_cast<int>(b.size()), &w[0], n);
    return w;
}

extern const Command kType;
int RunType(Context& ctx, const Args& a) {
    if (a.size() != 1) return BadArgs(kType, "expected one path");
    auto bytes = files::ReadBytes(ctx.machine(), Wide(a[0]));
    if (!bytes) return Error("no file " + a[0]);
    std::wstring text = Decode(*bytes);
    std::wstring out;
    for (wchar_t c : text)
        if (c != L'\r') out += c;
    std::fputs(Utf8(out).c_str(), stdout);
    return 0;
}
const Command kType{"type", "type PATH", "print a text file of the machine (UTF-16LE, UTF-8 or ANSI)", RunType};
Registrar r1(kType);

extern const Command kPut;
int RunPut(Context& ctx, const Args& a) {
    if (a.size() != 2) return BadArgs(kPut, "expected a host file and a machine path");
    std::ifstream in(a[0], std::ios::binary);
    if (!in) return Error("cannot read " + a[0]);
    std::ostringstream ss;
    ss << in.rdbuf();
    std::wstring path = Wide(a[1]);
    auto pos = path.find_last_of(L'\\');
    if (pos != std::wstring::npos && pos > 2) files::CreateFolders(ctx.machine(), path.substr(0, pos));
    if (!files::WriteBytes(ctx.machine(), path, ss.str())) return Error("cannot write " + a[1]);
    return 0;
}
const Command kPut{"put", "put HOSTFILE PATH", "copy a host file into the machine", RunPut};
Registrar r2(kPut);

}  // namespace
}  // namespace winsim::tool
