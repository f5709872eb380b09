// What the framework shows the user and waits for: the "DAX Error" box of the
// class factory, the module error report's box and the running-host dialog of
// registration, and the host window that owns the add-in's boxes. Tests
// replace the boxes; the defaults are message boxes. UI thread; the seams
// must not throw.
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

// The window of the host's explorer in front, which owns the add-in's message
// boxes as it owns Outlook's own (so that the user cannot act in Outlook's
// windows while one shows); null when there is none or the host cannot tell.
HWND ExplorerWindowInFront(IDispatch* application) noexcept;

// The process-wide seams, message boxes until a test replaces them.
framework_ui& framework_ui_seams();
framework_ui default_framework_ui();

}  // namespace flinter
