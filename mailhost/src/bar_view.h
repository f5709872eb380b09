// The command bars of one window as a user sees them: where each shown bar and
// control goes, how they are drawn, and which control a point falls on, all
// read from the object model as it stands. Host thread only; throws only
// std::bad_alloc.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "command_bars.h"

namespace mailhost {

struct placed_control {
    std::shared_ptr<control> item;
    RECT rect;
};

struct placed_bar {
    std::shared_ptr<command_bar> bar;
    RECT rect;
    bool floating = false;
    bool vertical = false;
    std::vector<placed_control> controls;
};

// Places the shown bars of a window: docked bars (Position top, bottom, left,
// right, and the menu bar) along the edges of *area, which shrinks by what
// the docks take; a dock's rows follow RowIndex (0 first, -1 last) and the
// bars of a row their Left (their Top in a side dock), pushed along where
// they would overlap. A floating bar goes to Left/Top inside what is left.
// Shown controls only; dc measures the captions in the font selected into it.
// Without with_builtin, Office's own bars are left out (a host with a ribbon
// shows only the add-ins' bars, as on Office 2010's Add-Ins tab).
std::vector<placed_bar> lay_out_bars(command_bars& bars, HDC dc, RECT& area, bool with_builtin = true);

// Draws placed bars as laid out; pressed is the control under a held mouse button.
void draw_bars(HDC dc, const std::vector<placed_bar>& bars, const control* pressed);

// The control drawn at point (floating bars lie on top); null where there is none.
std::shared_ptr<control> control_at(const std::vector<placed_bar>& bars, POINT point);

// A caption as the user reads it: "&Print..." is "Print...".
std::wstring without_accelerator(const std::wstring& caption);

}  // namespace mailhost
