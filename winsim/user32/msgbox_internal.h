// winsim: what DialogBoxParamW needs of the machine's answers (msgbox.cpp).
#pragma once

#include "winsim/msgbox.h"

namespace winsim::msgboximpl {
// Takes the next queued dialog click (nullopt when none).
std::optional<int> TakeDialogClick(Machine& m);
// Records a dialog box shown by the current process.
void RecordDialog(Machine& m, WORD template_id, const std::wstring& caption, int clicked);
}  // namespace winsim::msgboximpl
