// The ribbon of an explorer window as a user sees it: a tab strip with Home
// chosen, and on Home the add-ins' groups for the mail Home tab (TabMail),
// each with its large buttons (picture above, label below) and its label at
// the bottom. Read from the add-ins' ribbons as they stand. Host thread only;
// throws only std::bad_alloc.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace mailhost {

class ribbon_connection;

struct placed_ribbon_button {
    std::shared_ptr<ribbon_connection> owner;
    std::wstring id, label;
    RECT rect;
};

struct placed_ribbon_group {
    std::wstring label;
    RECT rect;
};

struct placed_ribbon {
    RECT strip{}, body{};
    std::vector<placed_ribbon_group> groups;
    std::vector<placed_ribbon_button> buttons;
};

// Takes the ribbon's room from the top of *area; dc measures the labels.
placed_ribbon lay_out_ribbon(const std::vector<std::shared_ptr<ribbon_connection>>& ribbons, HDC dc, RECT& area);
// Draws it, asking the add-ins for pictures not yet had; pressed: the button under a held mouse button.
void draw_ribbon(HDC dc, const placed_ribbon& ribbon, const placed_ribbon_button* pressed);
// The button at point; null where there is none.
const placed_ribbon_button* ribbon_button_at(const placed_ribbon& ribbon, POINT point);

}  // namespace mailhost
