// winsim: a stand-in for the setup program's dialog library "Pavrix.dll" (SetupDlgLib.h).
//
// The module loads where its file is (winsim/modules.h); each entry can be left out. Every
// call is recorded. The progress dialog is a real window of the calling thread (class
// "#32770", title "Setup") with a progress bar and two static controls (caption and
// detail); a show fills the four handles of the record and shows it, a hide hides it (the
// window lives until its thread ends or another show replaces it). The modal dialog
// gives the queued answers in turn (IDOK when none is queued); the string window gives
// the set result.
#pragma once

#include "machine.h"

#include <string>
#include <vector>

namespace winsim::setupdlg {

inline constexpr const wchar_t* kModuleName = L"Pavrix.dll";

struct Entries {
    bool domodal = true, show = true, strwin = true;
};
// Registers the module with the chosen entries (every machine starts with all three).
void Register(Machine& m, Entries entries = Entries());
// Writes the module's file at path.
void Install(Machine& m, const std::wstring& path);

void QueueModalAnswer(Machine& m, int answer);
void SetStrWinResult(Machine& m, int result);

struct Call {
    std::string entry;
    uint64_t time_ms = 0;
    int dlg = 0;            // the record's DLG
    HWND window = nullptr;  // parent or owner
    int show = 0;           // show flag (SetupDlgShowDlg, SetupDlgStrWin)
    std::wstring text;      // SetupDlgStrWin's message
    double x = 0, y = 0;
    int font = 0, r = 0, g = 0, b = 0;
};
std::vector<Call> Calls(Machine& m);

}  // namespace winsim::setupdlg
