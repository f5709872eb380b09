// The raw-header window Tfheader: a caption-less, always-on-top dialog-framed
// window whose Memo1 shows the last retrieved header text. Created hidden;
// the close box only hides it. UI thread only; creation throws hresult_error.
#pragma once

#include <windows.h>

#include <string_view>

#include "analysis/header_retrieval.h"
#include "com/unique_res.h"
#include "ui/window_base.h"

namespace flinter {

class Tfheader final : public window_base, public header_text_sink {
public:
    Tfheader();
    ~Tfheader() { destroy(); }

    HWND Memo1() const noexcept { return memo_; }
    void show();
    void hide();

    // Sets Memo1's text to the header as retrieved (8-bit, system code page).
    void show_header_text(std::string_view header) override;

private:
    void build_controls() override;
    std::optional<LRESULT> handle_message(UINT message, WPARAM wparam, LPARAM lparam) override;

    unique_hfont font_;
    HWND memo_ = nullptr;   // child of the window, destroyed with it
};

}  // namespace flinter
