// winsim: kernel32 debug output: OutputDebugString reaches the machine's debug log.
#include "kernel32_internal.h"

using namespace winsim;

void WINAPI OutputDebugStringW(LPCWSTR s) {
    Thread& t = CurrentThread();
    t.machine.AddDebugLine(DebugLine{t.machine.NowMs(), t.process->pid, t.tid, s ? s : L""});
}
