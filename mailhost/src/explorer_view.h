// What an explorer window shows and how it answers the mouse and the
// keyboard: the command bars the object model holds, the folder pane, the
// message list of the current folder and a status line, all drawn from the
// model as it stands when the window paints. Input is the user's: a click on
// a control is its Click, on a folder a folder switch, on a row a selection.
// Host thread only; the handlers throw (the window procedure is the boundary).
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bar_view.h"
#include "ribbon_view.h"
#include "com/unique_res.h"

namespace mailhost {

class explorer;
class folder;

class explorer_view {
public:
    explicit explorer_view(explorer& owner);
    ~explorer_view();
    explorer_view(const explorer_view&) = delete;
    explorer_view& operator=(const explorer_view&) = delete;

    // A message of the explorer's window; false when the window's default applies.
    bool handle(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    // Where the window shows an element, in client coordinates; nullopt when it
    // shows none. Elements: "control:<caption without & or tag>" (a control of a
    // shown bar, not a dropped menu's), "ribbon:<id or label>" (a ribbon button),
    // "bar:<name>", "folder:<name or path>",
    // "item:<n>" (row n of the message list, from 1).
    std::optional<RECT> locate(const std::wstring& element);
    // The model changed: the window is painted again when messages next flow.
    void invalidate() noexcept;
    void folder_switched() noexcept { first_row_ = 0; }

private:
    struct folder_row {
        std::shared_ptr<folder> target;
        int depth;
        RECT rect;
    };
    struct layout {
        std::optional<placed_ribbon> ribbon;   // hosts with a ribbon
        std::vector<placed_bar> bars;
        RECT folders{}, list{}, status{}, banner{}, header{};
        std::vector<folder_row> folder_rows;
        std::vector<RECT> rows;   // the rows shown, from first_row_
    };

    layout lay_out(HDC dc);   // dc measures the captions
    layout lay_out();
    void paint(HDC target);
    void draw_folders(HDC dc, const layout& l);
    void draw_list(HDC dc, const layout& l);
    void draw_status(HDC dc, const layout& l);

    void mouse_down(POINT at, WPARAM keys);
    void mouse_up(POINT at);
    void double_click(POINT at);
    void key_down(WPARAM key);
    void command(WPARAM id);
    void use_control(const std::shared_ptr<control>& target, const RECT& where);
    void use_ribbon_button(const layout& l, POINT at);
    void drop_menu(const std::shared_ptr<control>& opener, const RECT& where);
    void drop_list(const std::shared_ptr<control>& list, const RECT& where);
    void select_row(int row, bool extend);
    void scroll(int rows);

    explorer& owner_;
    flinter::unique_hfont bold_, title_;
    std::shared_ptr<control> pressed_;
    std::optional<placed_ribbon_button> pressed_ribbon_;
    int first_row_ = 0;
    bool invalid_ = false;
};

// Every change a client made through the object model: the explorer windows
// draw the model again. Never throws.
void model_changed() noexcept;

}  // namespace mailhost
