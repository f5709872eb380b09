// What the framework shows the user and waits for: the "DAX Error" box of the
// class factory, the module error report's box and the running-host dialog of
// registration; and the host windows that own the add-in's windows and boxes.
// Tests replace the boxes; the defaults are message boxes. UI thread; the
// seams must not throw.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>

namespace flinter {

struct framework_ui {
    // A failure while the factory creates the add-in object.
    std::function<void(const std::wstring& text)> dax_error_box;
    // A failure of a module event handler that OnError did not handle; owner
    // may be null.
    std::function<void(HWND owner, const std::wstring& caption, const std::wstring& text)> module_error_box;
    // Hosts that should be closed before (un)registration: IDCANCEL, IDRETRY or IDIGNORE.
    std::function<int(const std::wstring& caption, const std::wstring& text)> running_hosts_dialog;
};

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

// The process-wide seams, message boxes until a test replaces them.
framework_ui& framework_ui_seams();
framework_ui default_framework_ui();

}  // namespace flinter
