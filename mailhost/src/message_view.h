// What an inspector window shows: the message's sender, recipients and
// subject above its text, drawn from the item as it stands. Host thread only;
// throws only std::bad_alloc.
#pragma once

#include <windows.h>

namespace mailhost {

class mail_item;

// Paints window for WM_PAINT, WM_PRINTCLIENT and WM_ERASEBKGND; false for other messages.
bool show_message(HWND window, const mail_item& item, UINT message, WPARAM wparam, LRESULT& result);

}  // namespace mailhost
