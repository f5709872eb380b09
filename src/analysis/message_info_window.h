// The message information window Tfinfo: a tool window whose rich-text box
// `ed` shows the coloured verdict, and whose edChange reveals the raw-header
// window when the box holds exactly the code word. Created hidden; the close
// box only hides it. UI thread only; creation and rendering throw hresult_error.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/raw_header_window.h"
#include "com/unique_res.h"
#include "core/analysis/header_evaluation.h"
#include "ui/window_base.h"

namespace flinter {

// The verdict as the rich-text box takes it: the whole text at once, and the
// emphasised spans in the box's character positions (a line break counts as one).
struct rich_verdict {
    struct span {
        LONG first, length;
        emphasis_kind kind;
    };
    std::wstring text;
    std::vector<span> spans;
};

rich_verdict format_verdict(const std::vector<TEvaluationLine>& lines);

class Tfinfo final : public window_base {
public:
    static constexpr char kCodeWord[] = "plumbthesources";

    // owner: the host window in front at start-up, or null for a top-level window.
    Tfinfo(HWND owner, Tfheader& header);
    ~Tfinfo() { destroy(); }

    HWND ed() const noexcept { return ed_; }
    void show();

    // Colours the box's background and empties it (the state before retrieval).
    void clear(std::int32_t background);

    // Fills the box with the lines and their emphasis, caret at the start, and
    // sets the window's outer height from the number of displayed lines.
    void render(const std::vector<TEvaluationLine>& lines, std::int32_t background);

    // The two halves of render: the box emptied (unless it is already) and
    // filled, then the height.
    void fill(const rich_verdict& verdict, std::int32_t background);
    void fit_height_to_lines();

private:
    // Lines as the box displays them, wrapped lines counted, without the empty
    // position after a final line break.
    int displayed_line_count() const;
    void build_controls() override;
    std::optional<LRESULT> handle_message(UINT message, WPARAM wparam, LPARAM lparam) override;
    void edChange();
    void set_background(std::int32_t background);

    Tfheader& header_;
    unique_hmodule rich_edit_library_;
    unique_hfont font_;
    HWND ed_ = nullptr;   // child of the window, destroyed with it
    COLORREF background_ = CLR_INVALID;   // the box's, as last set
};

}  // namespace flinter
