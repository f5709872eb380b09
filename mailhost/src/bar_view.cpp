#include "bar_view.h"

#include <algorithm>
#include <climits>
#include <map>

#include "drawing.h"

namespace mailhost {
namespace {

constexpr int kIcon = 16;        // a face is drawn 16 by 16, as Office draws toolbar faces
constexpr int kHeight = 22;      // a control's height on a toolbar
constexpr int kGrip = 7;         // the grip at the head of a docked bar
constexpr int kPad = 2;          // between a bar's edge and its controls
constexpr int kGroupGap = 6;     // before a control that begins a group
constexpr int kTitle = 16;       // the title strip of a floating bar
constexpr int kBarGap = 2;       // between two bars of one row

const COLORREF kBarFill = RGB(227, 239, 255);
const COLORREF kBarBorder = RGB(123, 164, 224);
const COLORREF kGripDots = RGB(39, 65, 118);
const COLORREF kTitleFill = RGB(42, 102, 201);
const COLORREF kPressedFill = RGB(255, 213, 140);
const COLORREF kDownFill = RGB(255, 192, 111);
const COLORREF kActiveBorder = RGB(0, 0, 128);
const COLORREF kText = RGB(0, 0, 0);
const COLORREF kGreyText = RGB(141, 141, 141);

enum class look { icon, caption, icon_and_caption, icon_over_caption };

enum class dock { top, bottom, left, right, floating, none };

dock dock_of(const command_bar& bar) {
    switch (bar.position()) {
    case 0: return dock::left;
    case 1: case 6: return dock::top;
    case 2: return dock::right;
    case 3: return dock::bottom;
    case 4: return dock::floating;
    default: return dock::none;   // a popup shows only when dropped
    }
}

bool is_menu_bar(const command_bar& bar) { return bar.bar_type() == 1; }

// MsoButtonStyle; "automatic" shows the face on a toolbar and the caption in a menu.
look look_of(const control& c, const command_bar& bar) {
    switch (c.style()) {
    case 1: return look::icon;
    case 2: case 14: return look::caption;
    case 3: case 7: return look::icon_and_caption;
    case 11: case 15: return look::icon_over_caption;
    default:
        if (bar.bar_type() != 0) return look::caption;
        return c.button_face().source != 0 ? look::icon : look::caption;
    }
}

SIZE text_size(HDC dc, const std::wstring& text) {
    RECT r{0, 0, 0, 0};
    if (text.empty()) return {0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE);
    return {r.right - r.left, r.bottom - r.top};
}

SIZE control_size(HDC dc, const control& c, const command_bar& bar) {
    const SIZE text = text_size(dc, c.caption());
    if (c.type() == kPopup) return {text.cx + (is_menu_bar(bar) ? 14 : 24), kHeight};
    if (c.type() != kButton) return {std::max(c.width(), 80), kHeight};
    switch (look_of(c, bar)) {
    case look::icon: return {kIcon + 7, kHeight};
    case look::caption: return {text.cx + 12, kHeight};
    case look::icon_and_caption: return {3 + kIcon + 4 + text.cx + 8, kHeight};
    case look::icon_over_caption: return {std::max<LONG>(kIcon, text.cx) + 10, kIcon + text.cy + 10};
    }
    return {kIcon + 7, kHeight};
}

void move_by(placed_bar& placed, int dx, int dy) {
    ::OffsetRect(&placed.rect, dx, dy);
    for (auto& c : placed.controls) ::OffsetRect(&c.rect, dx, dy);
}

// A bar's controls placed from its own top-left corner.
placed_bar measure(HDC dc, const std::shared_ptr<command_bar>& bar, dock where) {
    placed_bar placed{bar, {}, where == dock::floating, where == dock::left || where == dock::right, {}};
    const int head = placed.floating ? 0 : kGrip;
    const int top = placed.floating ? kTitle : 0;
    int along = (placed.vertical ? top + head : head) + kPad;
    LONG across = kHeight;
    for (const auto& c : bar->controls()) {
        if (!c->visible()) continue;
        if (c->begin_group() && !placed.controls.empty()) along += kGroupGap;
        const SIZE size = control_size(dc, *c, *bar);
        RECT r = placed.vertical ? RECT{kPad, along, kPad + size.cx, along + size.cy}
                                 : RECT{along, top + kPad, along + size.cx, top + kPad + size.cy};
        along += placed.vertical ? size.cy : size.cx;
        across = std::max(across, placed.vertical ? size.cx : size.cy);
        placed.controls.push_back({c, r});
    }
    along = std::max(along, (placed.vertical ? top + head : head) + kPad + kHeight);   // an empty bar keeps a stub
    // The controls of a row share its height; those of a column its width.
    for (auto& c : placed.controls) {
        if (placed.vertical) c.rect.right = c.rect.left + across;
        else c.rect.bottom = c.rect.top + across;
    }
    placed.rect = placed.vertical ? RECT{0, 0, across + 2 * kPad, along + kPad}
                                  : RECT{0, 0, along + kPad, top + across + 2 * kPad};
    return placed;
}

// RowIndex: msoBarRowFirst (0) before every row, msoBarRowLast (-1) after.
int row_rank(int row_index) {
    if (row_index == 0) return INT_MIN;
    if (row_index == -1) return INT_MAX;
    return row_index;
}

int thickness(const placed_bar& p, bool vertical) {
    return vertical ? p.rect.right - p.rect.left : p.rect.bottom - p.rect.top;
}

// One dock: its bars in rows (columns for a side dock), placed from the dock's
// outer edge inwards; the area loses what the dock takes.
void lay_out_dock(std::vector<placed_bar> bars, dock where, RECT& area, std::vector<placed_bar>& out) {
    if (bars.empty()) return;
    const bool vertical = where == dock::left || where == dock::right;
    // A menu bar keeps a row of its own, stretched across the dock, as Office shows it.
    std::map<std::pair<int, int>, std::vector<placed_bar>> rows;
    for (auto& p : bars) rows[{row_rank(p.bar->row_index()), is_menu_bar(*p.bar) ? 0 : 1}].push_back(std::move(p));
    std::vector<std::pair<int, std::vector<placed_bar>>> ordered;   // (thickness, bars), inner rows last
    int total = 0;
    for (auto& [key, row] : rows) {
        std::stable_sort(row.begin(), row.end(), [vertical](const placed_bar& a, const placed_bar& b) {
            return vertical ? a.bar->top() < b.bar->top() : a.bar->left() < b.bar->left();
        });
        int size = 0;
        for (const auto& p : row) size = std::max(size, thickness(p, vertical));
        total += size;
        ordered.emplace_back(size, std::move(row));
    }
    int edge = where == dock::top ? area.top : where == dock::bottom ? area.bottom - total
             : where == dock::left ? area.left : area.right - total;
    for (auto& [size, row] : ordered) {
        const int start = vertical ? area.top : area.left;
        const int end = vertical ? area.bottom : area.right;
        int cursor = start;
        for (auto& p : row) {
            const int offset = vertical ? p.bar->top() : p.bar->left();
            const int at = std::max(start + std::max(offset, 0), cursor);
            move_by(p, vertical ? edge : at, vertical ? at : edge);
            if (is_menu_bar(*p.bar)) {
                if (vertical) p.rect.bottom = std::max<LONG>(p.rect.bottom, end);
                else p.rect.right = std::max<LONG>(p.rect.right, end);
            }
            cursor = (vertical ? p.rect.bottom : p.rect.right) + kBarGap;
            out.push_back(std::move(p));
        }
        edge += size;
    }
    switch (where) {
    case dock::top: area.top += total; break;
    case dock::bottom: area.bottom -= total; break;
    case dock::left: area.left += total; break;
    default: area.right -= total; break;
    }
}

DWORD to_pixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

int luminance(DWORD pixel) {
    return (((pixel >> 16) & 0xFF) * 30 + ((pixel >> 8) & 0xFF) * 59 + (pixel & 0xFF) * 11) / 100;
}

// A picture face scaled to 16 by 16; the mask's white pixels let the background through.
void draw_picture(HDC dc, const face& f, int x, int y, bool greyed, COLORREF background) {
    if (f.width <= 0 || f.height <= 0 || f.pixels.size() < static_cast<std::size_t>(f.width) * f.height) return;
    const bool masked = f.mask_width > 0 && f.mask_height > 0 &&
                        f.mask.size() >= static_cast<std::size_t>(f.mask_width) * f.mask_height;
    std::vector<DWORD> out(kIcon * kIcon, to_pixel(background));
    for (int row = 0; row < kIcon; ++row) {
        for (int col = 0; col < kIcon; ++col) {
            if (masked) {
                const DWORD m = f.mask[(row * f.mask_height / kIcon) * f.mask_width + col * f.mask_width / kIcon];
                if (luminance(m) >= 128) continue;
            }
            DWORD pixel = f.pixels[(row * f.height / kIcon) * f.width + col * f.width / kIcon] & 0x00FFFFFF;
            if (greyed) {
                const DWORD grey = 128 + luminance(pixel) / 2;
                pixel = (grey << 16) | (grey << 8) | grey;
            }
            out[row * kIcon + col] = pixel;
        }
    }
    const BITMAPINFO header = top_down_32_bits(kIcon, kIcon);
    ::SetDIBitsToDevice(dc, x, y, kIcon, kIcon, 0, 0, 0, kIcon, out.data(), &header, DIB_RGB_COLORS);
}

// Office's built-in faces are its own artwork: a FaceId shows as a tile with
// the caption's first letter, in a colour that tells faces apart.
void draw_face_id(HDC dc, const control& c, int x, int y, bool greyed) {
    static const COLORREF tiles[] = {RGB(52, 101, 164), RGB(78, 154, 6), RGB(196, 160, 0),
                                     RGB(117, 80, 123), RGB(204, 0, 0), RGB(206, 92, 0)};
    const COLORREF tile = greyed ? RGB(170, 170, 170) : tiles[static_cast<unsigned>(c.id() * 7 + c.type()) % 6];
    RECT r{x + 1, y + 1, x + kIcon - 1, y + kIcon - 1};
    fill(dc, r, tile);
    const std::wstring caption = without_accelerator(c.caption());
    const std::wstring letter = caption.empty() ? L"?" : caption.substr(0, 1);
    ::SetTextColor(dc, RGB(255, 255, 255));
    ::DrawTextW(dc, letter.c_str(), 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void draw_face(HDC dc, const control& c, int x, int y, bool greyed, COLORREF background) {
    const face& f = c.button_face();
    if (f.source == 1) draw_face_id(dc, c, x, y, greyed);
    else if (f.source == 2 || f.source == 3) draw_picture(dc, f, x, y, greyed, background);
}

void draw_caption(HDC dc, const std::wstring& caption, RECT r, UINT format, bool greyed) {
    ::SetTextColor(dc, greyed ? kGreyText : kText);
    ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &r, format | DT_SINGLELINE | DT_END_ELLIPSIS);
}

void draw_arrow(HDC dc, int x, int y, bool greyed) {
    const COLORREF colour = greyed ? kGreyText : kText;
    for (int i = 0; i < 3; ++i) {
        RECT line{x + i, y + i, x + 5 - i, y + i + 1};
        fill(dc, line, colour);
    }
}

void draw_button(HDC dc, const control& c, const command_bar& bar, const RECT& r, bool greyed, COLORREF back) {
    const int middle = (r.top + r.bottom - kIcon) / 2;
    switch (look_of(c, bar)) {
    case look::icon:
        draw_face(dc, c, (r.left + r.right - kIcon) / 2, middle, greyed, back);
        break;
    case look::caption:
        draw_caption(dc, c.caption(), RECT{r.left + 6, r.top, r.right - 4, r.bottom}, DT_LEFT | DT_VCENTER, greyed);
        break;
    case look::icon_and_caption:
        draw_face(dc, c, r.left + 3, middle, greyed, back);
        draw_caption(dc, c.caption(), RECT{r.left + 3 + kIcon + 4, r.top, r.right - 2, r.bottom},
                     DT_LEFT | DT_VCENTER, greyed);
        break;
    case look::icon_over_caption:
        draw_face(dc, c, (r.left + r.right - kIcon) / 2, r.top + 4, greyed, back);
        draw_caption(dc, c.caption(), RECT{r.left + 2, r.top + 4 + kIcon, r.right - 2, r.bottom - 2},
                     DT_CENTER | DT_VCENTER, greyed);
        break;
    }
}

// Edit boxes and lists: a white field with the text, and the drop-down arrow of lists.
void draw_field(HDC dc, const control& c, const RECT& r, bool greyed) {
    RECT box{r.left + 1, r.top + 2, r.right - 1, r.bottom - 2};
    fill(dc, box, greyed ? RGB(240, 240, 240) : RGB(255, 255, 255));
    frame(dc, box, kBarBorder);
    RECT text{box.left + 3, box.top, box.right - (c.type() == kEdit ? 2 : 14), box.bottom};
    ::SetTextColor(dc, greyed ? kGreyText : kText);
    ::DrawTextW(dc, c.text().c_str(), static_cast<int>(c.text().size()), &text,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (c.type() != kEdit) draw_arrow(dc, box.right - 10, (box.top + box.bottom) / 2 - 1, greyed);
}

void draw_control(HDC dc, const placed_control& placed, const command_bar& bar, bool pressed) {
    const control& c = *placed.item;
    const RECT& r = placed.rect;
    const bool greyed = !c.reachable();
    const bool down = c.type() == kButton && c.state() == 1;
    COLORREF back = kBarFill;
    if ((pressed || down) && !greyed) {
        back = pressed ? kPressedFill : kDownFill;
        fill(dc, r, back);
        frame(dc, r, kActiveBorder);
    }
    if (c.type() == kButton) {
        draw_button(dc, c, bar, r, greyed, back);
    } else if (c.type() == kPopup) {
        const bool menu = is_menu_bar(bar);
        draw_caption(dc, c.caption(), RECT{r.left + 6, r.top, r.right - (menu ? 4 : 12), r.bottom},
                     DT_LEFT | DT_VCENTER, greyed);
        if (!menu) draw_arrow(dc, r.right - 10, (r.top + r.bottom) / 2 - 1, greyed);
    } else {
        draw_field(dc, c, r, greyed);
    }
}

void draw_bar(HDC dc, const placed_bar& p, const control* pressed) {
    fill(dc, p.rect, kBarFill);
    frame(dc, p.rect, kBarBorder);
    if (p.floating) {
        RECT title{p.rect.left, p.rect.top, p.rect.right, p.rect.top + kTitle};
        fill(dc, title, kTitleFill);
        ::SetTextColor(dc, RGB(255, 255, 255));
        title.left += 4;
        ::DrawTextW(dc, p.bar->name_local().c_str(), -1, &title, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    } else {
        for (int i = 4; i < (p.vertical ? p.rect.right - p.rect.left : p.rect.bottom - p.rect.top) - 4; i += 4) {
            RECT dot = p.vertical ? RECT{p.rect.left + i, p.rect.top + 3, p.rect.left + i + 2, p.rect.top + 5}
                                  : RECT{p.rect.left + 3, p.rect.top + i, p.rect.left + 5, p.rect.top + i + 2};
            fill(dc, dot, kGripDots);
        }
    }
    for (std::size_t i = 0; i < p.controls.size(); ++i) {
        const auto& c = p.controls[i];
        if (i > 0 && c.item->begin_group()) {
            const int at = (p.vertical ? c.rect.top : c.rect.left) - kGroupGap / 2;
            RECT line = p.vertical ? RECT{c.rect.left + 2, at, c.rect.right - 2, at + 1}
                                   : RECT{at, c.rect.top + 2, at + 1, c.rect.bottom - 2};
            fill(dc, line, kBarBorder);
        }
        draw_control(dc, c, *p.bar, c.item.get() == pressed);
    }
}

}  // namespace

std::wstring without_accelerator(const std::wstring& caption) {
    std::wstring plain;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size()) ++i;   // "&&" is a literal "&"
        plain += caption[i];
    }
    return plain;
}

std::vector<placed_bar> lay_out_bars(command_bars& bars, HDC dc, RECT& area, bool with_builtin) {
    std::map<dock, std::vector<placed_bar>> docks;
    for (const auto& bar : bars.bars()) {
        if (!bar->visible() || bar->deleted() || (bar->builtin() && !with_builtin)) continue;
        const dock where = dock_of(*bar);
        if (where != dock::none) docks[where].push_back(measure(dc, bar, where));
    }
    std::vector<placed_bar> placed;
    for (dock where : {dock::top, dock::bottom, dock::left, dock::right})
        lay_out_dock(std::move(docks[where]), where, area, placed);
    for (auto& p : docks[dock::floating]) {
        const LONG width = p.rect.right, height = p.rect.bottom;
        const LONG x = std::clamp<LONG>(area.left + p.bar->left(), area.left, std::max(area.left, area.right - width));
        const LONG y = std::clamp<LONG>(area.top + p.bar->top(), area.top, std::max(area.top, area.bottom - height));
        move_by(p, x, y);
        placed.push_back(std::move(p));
    }
    return placed;
}

void draw_bars(HDC dc, const std::vector<placed_bar>& bars, const control* pressed) {
    ::SetBkMode(dc, TRANSPARENT);
    for (const auto& p : bars) draw_bar(dc, p, pressed);
}

std::shared_ptr<control> control_at(const std::vector<placed_bar>& bars, POINT point) {
    for (auto bar = bars.rbegin(); bar != bars.rend(); ++bar) {
        if (!::PtInRect(&bar->rect, point)) continue;
        for (const auto& c : bar->controls)
            if (::PtInRect(&c.rect, point)) return c.item;
        return nullptr;   // the bar's own surface
    }
    return nullptr;
}

}  // namespace mailhost
