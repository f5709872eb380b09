// The raw-header window Tfheader: a caption-less, always-on-top dialog-framed
// window whose Memo1 shows the last retrieved header text. Created hidden;
// the close box only hides it. A hidden window's Memo1 takes the text as the
// window appears: an edit control lays out its whole text when it gets it,
// which for a long header would cost every selection change far more than the
// rest of the evaluation. UI thread only; creation throws hresult_error.
#pragma once

#include <windows.h>

#include <string>
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

    // The header as retrieved (8-bit, system code page) becomes Memo1's text:
    // now while the window shows, otherwise when it next appears.
    void show_header_text(std::string_view header) override;

private:
    void build_controls() override;
    std::optional<LRESULT> handle_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void update_memo();

    unique_hfont font_;
    HWND memo_ = nullptr;   // child of the window, destroyed with it
    std::string header_;
    bool memo_stale_ = false;   // header_ is newer than Memo1's text
};

}  // namespace flinter
