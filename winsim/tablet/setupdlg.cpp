// winsim: the stand-in for the setup program's dialog library (winsim/setupdlg.h).
#include <windows.h>

#include <commctrl.h>

#include "SetupDlgLib.h"
#include "internal.h"
#include "winsim/kernel.h"
#include "winsim/modules.h"
#include "winsim/setupdlg.h"

#include <deque>
#include <mutex>

namespace winsim::setupdlg {

namespace {

struct State {
    explicit State(Machine&) {}
    std::mutex mu;
    std::vector<Call> calls;
    std::deque<int> answers;
    int strwin_result = 0;
};

State& St(Machine& m) { return m.Ext<State>("setupdlg"); }

void Record(Call c) {
    Machine& m = CurrentMachine();
    c.time_ms = m.NowMs();
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.calls.push_back(c);
}

int __cdecl StandInDoModal(SetupDlgDesc* desc, HWND parent) {
    Call c;
    c.entry = SETUPDLG_DOMODAL_NAME;
    c.dlg = desc ? desc->DLG : 0;
    c.window = parent;
    Record(c);
    State& s = St(CurrentMachine());
    std::lock_guard<std::mutex> g(s.mu);
    if (s.answers.empty()) return IDOK;
    int answer = s.answers.front();
    s.answers.pop_front();
    return answer;
}

void __cdecl StandInShow(SetupDlgDesc* desc, HWND owner, int show) {
    Call c;
    c.entry = SETUPDLG_SHOW_NAME;
    c.dlg = desc ? desc->DLG : 0;
    c.window = owner;
    c.show = show;
    Record(c);
    if (!desc) return;
    if (!show) {
        if (IsWindow(desc->hDialog)) ShowWindow(desc->hDialog, SW_HIDE);
        return;
    }
    HWND dlg = desc->hDialog;
    if (!IsWindow(dlg) || GetWindowThreadProcessId(dlg, nullptr) != GetCurrentThreadId()) {
        dlg = CreateWindowExW(0, L"STATIC", L"Setup", WS_POPUP | WS_CAPTION, 100, 100, 400, 150, owner, nullptr,
                              nullptr, nullptr);
        desc->hDialog = dlg;
        desc->hProgressBar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 80, 380, 20, dlg,
                                             nullptr, nullptr, nullptr);
        desc->hCaption =
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 380, 20, dlg, nullptr, nullptr, nullptr);
        desc->hDetail =
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 40, 380, 20, dlg, nullptr, nullptr, nullptr);
    }
    ShowWindow(dlg, SW_SHOW);
}

int __cdecl StandInStrWin(int show, LPCWSTR text, double x, double y, int font, int r, int g, int b) {
    Call c;
    c.entry = SETUPDLG_STRWIN_NAME;
    c.show = show;
    c.text = text ? text : L"";
    c.x = x;
    c.y = y;
    c.font = font;
    c.r = r;
    c.g = g;
    c.b = b;
    Record(c);
    State& s = St(CurrentMachine());
    std::lock_guard<std::mutex> lock(s.mu);
    return s.strwin_result;
}

// The entries keep the project's prototypes.
const PFN_SetupDlgDoModalDlg kDoModal = &StandInDoModal;
const PFN_SetupDlgShowDlg kShow = &StandInShow;
const PFN_SetupDlgStrWin kStrWin = &StandInStrWin;

}  // namespace

void Register(Machine& m, Entries entries) {
    ModuleSpec desc;
    desc.name = kModuleName;
    if (entries.domodal) desc.exports[SETUPDLG_DOMODAL_NAME] = reinterpret_cast<void*>(kDoModal);
    if (entries.show) desc.exports[SETUPDLG_SHOW_NAME] = reinterpret_cast<void*>(kShow);
    if (entries.strwin) desc.exports[SETUPDLG_STRWIN_NAME] = reinterpret_cast<void*>(kStrWin);
    Modules(m).Register(desc);
}

void Install(Machine& m, const std::wstring& path) { Modules(m).InstallFile(path, kModuleName); }

void QueueModalAnswer(Machine& m, int answer) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.answers.push_back(answer);
}

void SetStrWinResult(Machine& m, int result) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.strwin_result = result;
}

std::vector<Call> Calls(Machine& m) {
    State& s = St(m);
    std::lock_guard<std::mutex> g(s.mu);
    return s.calls;
}

}  // namespace winsim::setupdlg

namespace winsim::internal {

void InitSetupDlg(Machine& m) { setupdlg::Register(m); }

}  // namespace winsim::internal
