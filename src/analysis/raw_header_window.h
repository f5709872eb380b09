// The raw-header window Tfheader: a caption-less, always-on-top dialog-framed
// window whose Memo1 shows the last retrieved header text. Created hidden;
// the close box only hides it. UI thread only; creation throws hresult_error.
#pragma once

#include <windows.h>

#include <string_view>

#include "analysis/header_retrieval.h"
#include "com/unique_res.h"

namespace flinter {

class Tfheader final : public header_text_sink {
public:
    static constexpr int kLeft = 456, kTop = 284, kClientWidth = 398, kClientHeight = 251;

    Tfheader();
    Tfheader(const Tfheader&) = delete;
    Tfheader& operator=(const Tfheader&) = delete;

    HWND handle() const noexcept { return window_.get(); }
    HWND Memo1() const noexcept { return memo_; }
    bool visible() const noexcept { return ::IsWindowVisible(handle()) != FALSE; }
    void show();
    void hide();

    // Sets Memo1's text to the header as retrieved (8-bit, system code page).
    void show_header_text(std::string_view header) override;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    unique_hfont font_;
    unique_hwnd window_;
    HWND memo_ = nullptr;   // child of window_, destroyed with it
};

}  // namespace flinter
