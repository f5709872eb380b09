#include "ribbon_view.h"

#include <algorithm>

#include "drawing.h"
#include "ribbon.h"

namespace mailhost {
namespace {

constexpr int kStripHeight = 24;
constexpr int kBodyHeight = 94;
constexpr int kPicture = 32;
constexpr int kButtonMinWidth = 44;
constexpr int kGroupLabel = 16;
constexpr int kGap = 4;

const COLORREF kStripFill = RGB(43, 87, 154);
const COLORREF kChosenTab = kRibbonBackground;
const COLORREF kLines = RGB(210, 210, 210);
const COLORREF kPressed = RGB(198, 198, 198);
const COLORREF kText = RGB(40, 40, 40);
const COLORREF kWhite = RGB(255, 255, 255);

// The tabs of Outlook's explorer; Home (the mail Home tab, TabMail) is the one shown.
const wchar_t* const kTabs[] = {L"File", L"Home", L"Send / Receive", L"Folder", L"View"};
constexpr int kHomeTab = 1;

int text_width(HDC dc, const std::wstring& text) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void text_in(HDC dc, const std::wstring& text, RECT r, COLORREF colour, UINT format) {
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void draw_picture(HDC dc, const ribbon_picture& picture, int x, int y) {
    const BITMAPINFO header = top_down_32_bits(picture.width, picture.height);
    ::StretchDIBits(dc, x, y, kPicture, kPicture, 0, 0, picture.width, picture.height, picture.pixels.data(), &header,
                    DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace

placed_ribbon lay_out_ribbon(const std::vector<std::shared_ptr<ribbon_connection>>& ribbons, HDC dc, RECT& area) {
    placed_ribbon placed;
    placed.strip = {area.left, area.top, area.right, std::min<LONG>(area.top + kStripHeight, area.bottom)};
    placed.body = {area.left, placed.strip.bottom, area.right, std::min<LONG>(placed.strip.bottom + kBodyHeight, area.bottom)};
    area.top = placed.body.bottom;
    int x = placed.body.left + kGap;
    for (const auto& ribbon : ribbons) {
        for (const auto& group : ribbon->explorer_groups()) {
            if (group.tab != L"TabMail") continue;
            const int group_left = x;
            for (const auto& button : group.buttons) {
                const int width = std::max(kButtonMinWidth, text_width(dc, button.label) + 8);
                placed.buttons.push_back({ribbon, button.id, button.label,
                                          RECT{x, placed.body.top + 3, x + width, placed.body.bottom - kGroupLabel - 2}});
                x += width + 2;
            }
            const int right = std::max(x, group_left + text_width(dc, group.label) + 12);
            placed.groups.push_back({group.label, RECT{group_left, placed.body.top + 2, right, placed.body.bottom - 2}});
            x = right + kGap;
        }
    }
    return placed;
}

void draw_ribbon(HDC dc, const placed_ribbon& ribbon, const placed_ribbon_button* pressed) {
    fill(dc, ribbon.strip, kStripFill);
    fill(dc, ribbon.body, kRibbonBackground);
    int x = ribbon.strip.left + 6;
    for (int tab = 0; tab < static_cast<int>(std::size(kTabs)); ++tab) {
        const RECT r{x, ribbon.strip.top + 3, x + text_width(dc, kTabs[tab]) + 18, ribbon.strip.bottom};
        if (tab == kHomeTab) fill(dc, r, kChosenTab);
        text_in(dc, kTabs[tab], r, tab == kHomeTab ? kText : kWhite, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        x = r.right + 2;
    }
    for (const auto& group : ribbon.groups) {
        const RECT label{group.rect.left, group.rect.bottom - kGroupLabel, group.rect.right, group.rect.bottom};
        text_in(dc, group.label, label, kText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        const RECT separator{group.rect.right + kGap / 2 - 1, group.rect.top + 4, group.rect.right + kGap / 2,
                             group.rect.bottom - 4};
        fill(dc, separator, kLines);
    }
    for (const auto& button : ribbon.buttons) {
        const RECT& r = button.rect;
        if (pressed && pressed->owner == button.owner && pressed->id == button.id) fill(dc, r, kPressed);
        if (const ribbon_picture* picture = button.owner->picture(button.id))
            draw_picture(dc, *picture, (r.left + r.right - kPicture) / 2, r.top + 4);
        const RECT label{r.left + 2, r.top + kPicture + 8, r.right - 2, r.bottom};
        text_in(dc, button.label, label, kText, DT_CENTER | DT_WORDBREAK);
    }
}

const placed_ribbon_button* ribbon_button_at(const placed_ribbon& ribbon, POINT point) {
    for (const auto& button : ribbon.buttons)
        if (::PtInRect(&button.rect, point)) return &button;
    return nullptr;
}

}  // namespace mailhost
