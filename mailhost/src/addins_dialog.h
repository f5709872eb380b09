// The COM Add-ins dialog: every registered add-in with a check box. OK
// switches on or off what the user changed, as Office's dialog does
// (OnConnection with ext_cm_AfterStartup, OnDisconnection with
// ext_dm_UserClosed, LoadBehavior written, OnAddInsUpdate); Cancel or closing
// the dialog leaves everything as it was. One at a time, over an explorer
// window, which does not take input while the dialog is open.
// Host thread only; opening throws host_error when the dialog cannot be made.
#pragma once

#include <windows.h>

namespace mailhost {

class explorer;

// Opens the dialog over owner (or brings the open one to the front); its window.
HWND open_addins_dialog(explorer& owner);
// Closes the dialog, if open, without applying anything (Outlook quits). Never throws.
void close_addins_dialog() noexcept;

}  // namespace mailhost
