// What the settings window and the About box hand to the user or the system
// and then wait for: the colour chooser, the error box and the browser. Tests
// replace these; everything else in the windows is real. UI thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace flinter {

struct ui_seams {
    // The common colour chooser; nullopt when the user cancels.
    std::function<std::optional<COLORREF>(HWND owner)> choose_color;
    // An error box for a failure the user should see.
    std::function<void(HWND owner, const std::string& message)> show_error;
    // Opens an address in the default browser, maximised; the result is ignored.
    std::function<void(const std::string& url)> open_url;
};

// The real chooser (opening on its own last choice, black at first), a
// message box with the product caption, and ShellExecuteA.
ui_seams default_ui_seams();

}  // namespace flinter
