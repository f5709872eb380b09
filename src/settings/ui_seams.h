// What the settings window and the About box hand to the user or the system
// and then wait for: the colour chooser, the error box and the browser. Tests
// replace these; everything else in the windows is real. UI thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace flinter {

// The maker's addresses and contacts.
inline constexpr char kMakerWebSite[] = "http://www.qav-flinter.example/";
inline constexpr char kMakerDownloadPage[] = "http://www.qav-flinter.example/download.htm";
inline constexpr char kMakerUpdatePage[] = "http://www.qav-flinter.example/update.htm";
inline constexpr char kMakerToolsPage[] = "http://www.qav-flinter.example/postini-tools.htm";
inline constexpr char kMakerSupportPhone[] = "+1 (555) 010-0140";
inline constexpr char kMakerSupportEmail[] = "support@qav-flinter.example";

struct ui_seams {
    // The common colour chooser; nullopt when the user cancels.
    std::function<std::optional<COLORREF>(HWND owner)> choose_color;
    // An error box for a failure the user should see.
    std::function<void(HWND owner, const std::string& message)> show_error;
    // Opens an address in the default browser, maximised; the result is ignored.
    std::function<void(const std::string& url)> open_url;
};

// The real chooser (opening on its own last choice, black at first), a
// message box captioned "QAV_Flinter", and ShellExecuteA.
ui_seams default_ui_seams();

}  // namespace flinter
