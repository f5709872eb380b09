// The host windows that own the add-in's windows and boxes. UI thread.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace flinter {

// The native window of the host window that the application's property
// names ("ActiveWindow", "ActiveExplorer"), through its IOleWindow; null when
// there is none or the host cannot tell.
HWND HostWindowOf(IDispatch* application, const wchar_t* property) noexcept;

// The host window in front, of any kind: the add-in's windows take it as
// their owner at start-up.
inline HWND ActiveHostWindow(IDispatch* application) noexcept { return HostWindowOf(application, L"ActiveWindow"); }

// The window of the host's explorer in front, which owns the add-in's message
// boxes as it owns Outlook's own (so that the user cannot act in Outlook's
// windows while one shows).
inline HWND ExplorerWindowInFront(IDispatch* application) noexcept {
    return HostWindowOf(application, L"ActiveExplorer");
}

}  // namespace flinter
