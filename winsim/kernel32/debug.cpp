// winsim: kernel32 debug output: OutputDebugString reaches the machine's debug log.
#include "kernel32_internal.h"

#include <string>

using namespace winsim;

void WINAPI OutputDebugStringW(LPCWSTR s) {
    Thread& t = CurrentThread();
    t.machine.AddDebugLine(DebugLine{t.machine.NowMs(), t.process->pid, t.tid, s ? s : L""});
}

void WINAPI OutputDebugStringA(LPCSTR s) {
    if (!s) s = "";
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s, -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    OutputDebugStringW(w.c_str());
}

BOOL WINAPI IsDebuggerPresent(void) { return FALSE; }
