// The window that owns the add-in's boxes. UI thread.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace flinter {

// The window of the host's explorer in front, which owns the add-in's message
// boxes as it owns Outlook's own (so that the user cannot act in Outlook's
// windows while one shows); null when there is none or the host cannot tell.
HWND ExplorerWindowInFront(IDispatch* application) noexcept;

}  // namespace flinter
