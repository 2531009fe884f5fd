// winsim: the user in front of the machine's message boxes and modal dialog boxes.
//
// MessageBoxW draws nothing: the machine answers it at once. The answer is the first of
// the machine's queued answers, else the default answer for the box's buttons (set per
// button type, else the box's default button, MB_DEFBUTTONn). A queued answer that is no
// button of the box is used up and the default answer given instead (the record says so).
// Before it answers, the box handles what is already waiting in the thread's queue, as
// the box's own message loop would (a WM_QUIT is posted again and ends that).
//
// DialogBoxParamW runs a real modal loop. When a dialog click is queued, the machine
// clicks that control of the dialog once it is shown (BM_CLICK to the control; a
// WM_COMMAND with that ID when the dialog has no such control); otherwise something
// else (another thread, a timer) has to end the dialog.
//
// The queues, the defaults and the records are part of the machine's persistent state:
// the winsim tool can script the answers of a program that it starts later ("winsim
// msgbox ...") and read the boxes that the program showed.
#pragma once

#include "machine.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::msgbox {

enum class Source {
    Queued,    // the first queued answer
    Default,   // no answer was queued
    Rejected,  // the queued answer was no button of the box: the default was given
};

struct Record {
    int64_t seq = 0;
    uint64_t time_ms = 0;  // machine time
    DWORD pid = 0;
    std::wstring image;  // the program's image path
    HWND owner = nullptr;
    std::wstring text;
    std::wstring caption;  // as shown ("Error" when the call gave none)
    UINT type = 0;         // the uType of the call
    int answer = 0;
    Source source = Source::Default;
};

// The answers a box of this type can give, in button order (empty: not a valid type).
std::vector<int> Buttons(UINT type);
// The answer the machine gives a box of this type when nothing is queued.
int DefaultAnswer(Machine& m, UINT type);
// Sets the default answer for a button type (type & MB_TYPEMASK); nullopt goes back to the
// box's default button.
void SetDefaultAnswer(Machine& m, UINT button_type, std::optional<int> answer);

// Answers for the next boxes, first in first out.
void QueueAnswer(Machine& m, int answer);
std::vector<int> QueuedAnswers(Machine& m);
void ClearAnswers(Machine& m);

// Every box shown on the machine, oldest first.
std::vector<Record> Shown(Machine& m);
void ClearShown(Machine& m);

// Dialog boxes.
struct DialogRecord {
    int64_t seq = 0;
    uint64_t time_ms = 0;  // when it was shown
    DWORD pid = 0;
    std::wstring image;
    WORD template_id = 0;
    std::wstring caption;
    int clicked = 0;  // the control the machine clicked (0: none queued)
};

void QueueDialogClick(Machine& m, int control_id);
std::vector<int> QueuedDialogClicks(Machine& m);
void ClearDialogClicks(Machine& m);
std::vector<DialogRecord> Dialogs(Machine& m);
void ClearDialogs(Machine& m);

// Answer names ("ok", "cancel", "abort", "retry", "ignore", "yes", "no", "close", "help",
// "tryagain", "continue") and button type names ("ok", "okcancel", "abortretryignore",
// "yesnocancel", "yesno", "retrycancel", "canceltrycontinue"), as the tool reads them.
std::optional<int> AnswerByName(const std::string& name);
std::string AnswerName(int answer);
std::optional<UINT> ButtonTypeByName(const std::string& name);
std::string ButtonTypeName(UINT type);

}  // namespace winsim::msgbox
