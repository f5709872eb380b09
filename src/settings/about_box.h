// The About box TAboutBox: product name, version, the maker's contacts and a
// link to the maker's tools page. Created hidden and without owner; shown
// modally. UI thread only; creation throws hresult_error.
#pragma once

#include <windows.h>

#include "com/unique_res.h"
#include "settings/ui_seams.h"

namespace flinter {

class TAboutBox {
public:
    static constexpr int kClientWidth = 275, kClientHeight = 315;
    enum control_id : int { ProductName = 101, Version1, Label1, Label2, Label3, Label4, Label5, OKButton_id };

    explicit TAboutBox(ui_seams seams = default_ui_seams());
    TAboutBox(const TAboutBox&) = delete;
    TAboutBox& operator=(const TAboutBox&) = delete;

    HWND handle() const noexcept { return window_.get(); }
    HWND control(int id) const noexcept { return ::GetDlgItem(handle(), id); }
    bool visible() const noexcept { return ::IsWindowVisible(handle()) != FALSE; }

    // Every showing sets the version text again.
    void FormShow();
    // Returns when OKButton or the close box ends the showing.
    void ShowModal();

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    INT_PTR handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    void create_controls(HWND window);
    INT_PTR color_static(HDC dc, HWND control);

    ui_seams seams_;
    unique_hfont font_;
    unique_hfont bold_font_;
    unique_hfont link_font_;
    unique_hbitmap logo_;
    unique_hbrush white_;
    bool closed_ = true;
    bool shown_before_ = false;
    unique_hwnd window_;
};

}  // namespace flinter
