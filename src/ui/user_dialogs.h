// Everything the add-in shows the user and then waits for, and everything it
// hands to the system: the boxes, the colour chooser and the browser. One set
// belongs to each module, which passes it to its windows and commands; the
// class factory and registration, which run without a module, use the
// library's. Tests replace the members; everything else in the windows is
// real. UI thread only; the members must not throw.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace flinter {

struct user_dialogs {
    // The common colour chooser; nullopt when the user cancels.
    std::function<std::optional<COLORREF>(HWND owner)> choose_color{};
    // An error box of a window for a failure the user should see.
    std::function<void(HWND owner, const std::string& message)> show_error{};
    // Opens an address in the default browser, maximised; the result is ignored.
    std::function<void(const std::string& url)> open_url{};
    // A notice with the product caption and OK only; owner may be null.
    std::function<void(HWND owner, const std::string& text)> show_message{};
    // A failure while the factory creates the add-in object.
    std::function<void(const std::wstring& text)> dax_error_box{};
    // A failure of a module event handler that OnError did not handle; owner
    // may be null.
    std::function<void(HWND owner, const std::wstring& caption, const std::wstring& text)> module_error_box{};
    // Hosts that should be closed before (un)registration: IDCANCEL, IDRETRY or IDIGNORE.
    std::function<int(const std::wstring& caption, const std::wstring& text)> running_hosts_dialog{};
};

// The real ones: the chooser (opening on its own last choice, black at
// first), message boxes, ShellExecuteA.
user_dialogs default_user_dialogs();

// The library's set, the real ones until a test replaces them: what a new
// module starts with, and what the class factory and registration show.
user_dialogs& library_dialogs();

}  // namespace flinter
