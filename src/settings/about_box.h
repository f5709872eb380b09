// The About box TAboutBox: product name, version, the maker's contacts and a
// link to the maker's tools page. Created hidden and without owner, at the
// host's start-up, which waits for it; its fonts and the decoded logo, which
// nobody sees before it shows, come with its first showing. Shown modally.
// UI thread only; creation throws hresult_error.
#pragma once

#include <windows.h>

#include "com/unique_res.h"
#include "ui/user_dialogs.h"
#include "ui/window_base.h"

namespace flinter {

class TAboutBox final : public window_base {
public:
    enum control_id : int { ProductName = 101, Version1, Label1, Label2, Label3, Label4, Label5, OKButton_id };

    explicit TAboutBox(user_dialogs dialogs = library_dialogs());
    ~TAboutBox() { destroy(); }

    // Every showing sets the version text again.
    void FormShow();
    // Returns when OKButton or the close box ends the showing. Throws
    // hresult_error at once when the native window is gone.
    void ShowModal();

private:
    void build_controls() override;
    // Fonts and the logo, as the window first appears.
    void dress_for_showing();
    std::optional<LRESULT> handle_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    std::optional<LRESULT> color_static(HDC dc, HWND control);

    user_dialogs dialogs_;
    unique_hfont font_;
    unique_hfont bold_font_;
    unique_hfont link_font_;
    unique_hbitmap logo_;
    unique_hbrush white_;
    bool closed_ = true;
    bool shown_before_ = false;
    bool dressed_ = false;
};

}  // namespace flinter
