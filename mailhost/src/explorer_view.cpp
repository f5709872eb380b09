#include "explorer_view.h"

#include <windowsx.h>

#include <algorithm>
#include <sstream>

#include "addins.h"
#include "addins_dialog.h"
#include "drawing.h"
#include "model.h"
#include "ribbon.h"

namespace mailhost {
namespace {

constexpr int kFolderPaneWidth = 200;
constexpr int kRow = 18;
constexpr int kPaneHeader = 22;
constexpr int kBanner = 30;
constexpr int kColumnHeader = 20;
constexpr int kStatus = 20;
constexpr int kSplit = 4;
constexpr int kIndent = 14;
constexpr int kReceivedWidth = 190;
// Entries of the window's system menu (the low four bits of an id are the system's).
constexpr UINT kNewWindowCommand = MAILHOST_SC_NEW_WINDOW;
constexpr UINT kAddInsCommand = MAILHOST_SC_ADDINS;
// The Office control id of File > Exit, whose default action ends Outlook.
constexpr int kExitId = 752;

const COLORREF kDockFill = RGB(196, 218, 250);
const COLORREF kPaneHeaderFill = RGB(89, 135, 214);
const COLORREF kBannerFill = RGB(221, 236, 254);
const COLORREF kColumnFill = RGB(240, 240, 240);
const COLORREF kLines = RGB(123, 164, 224);
const COLORREF kSelectedFill = RGB(49, 106, 197);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kText = RGB(0, 0, 0);

using unique_hmenu = flinter::unique_res<HMENU, &::DestroyMenu>;

flinter::unique_hfont derived_font(int height, int weight) {
    LOGFONTW description{};
    ::GetObjectW(gui_font(), sizeof description, &description);
    if (height) description.lfHeight = height;
    description.lfWeight = weight;
    return flinter::unique_hfont(::CreateFontIndirectW(&description));
}

void text_in(HDC dc, const std::wstring& text, RECT r, COLORREF colour, UINT format = DT_LEFT) {
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                format | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

// A memory surface with the window's font, for measuring and for drawing off-screen.
class surface {
public:
    surface(HDC compatible, int width, int height)
        : dc_(::CreateCompatibleDC(compatible)),
          bitmap_(compatible ? ::CreateCompatibleBitmap(compatible, std::max(width, 1), std::max(height, 1)) : nullptr) {
        if (bitmap_) old_bitmap_ = ::SelectObject(dc_.get(), bitmap_.get());
        old_font_ = ::SelectObject(dc_.get(), gui_font());
    }
    ~surface() {
        ::SelectObject(dc_.get(), old_font_);
        if (old_bitmap_) ::SelectObject(dc_.get(), old_bitmap_);
    }
    surface(const surface&) = delete;
    surface& operator=(const surface&) = delete;
    HDC get() const { return dc_.get(); }

private:
    flinter::unique_hdc dc_;
    flinter::unique_hbitmap bitmap_;
    HGDIOBJ old_bitmap_ = nullptr, old_font_ = nullptr;
};

// Selects a GDI object into a DC for one scope.
class selected {
public:
    selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
    ~selected() { ::SelectObject(dc_, old_); }
    selected(const selected&) = delete;
    selected& operator=(const selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

bool same_text(const std::wstring& a, const std::wstring& b) { return ::_wcsicmp(a.c_str(), b.c_str()) == 0; }

// "Jonas Olsen <j.olsen@example.org>" shows as Jonas Olsen, as Outlook lists senders.
std::wstring display_name(const std::wstring& from) {
    std::wstring name = from.substr(0, from.find(L'<'));
    while (!name.empty() && (name.back() == L' ' || name.back() == L'"')) name.pop_back();
    while (!name.empty() && name.front() == L'"') name.erase(0, 1);
    return name.empty() ? from : name;
}

// "Tue, 14 Mar 2006 18:12:31 +0100" shows as "Tue 14 Mar 2006 18:12".
std::wstring short_date(const std::wstring& date) {
    std::wistringstream words(date);
    std::vector<std::wstring> parts;
    for (std::wstring word; words >> word;) parts.push_back(word);
    if (parts.size() < 5 || parts[4].size() < 5 || parts[4][2] != L':') return date;
    if (parts[0].back() == L',') parts[0].pop_back();
    return parts[0] + L" " + parts[1] + L" " + parts[2] + L" " + parts[3] + L" " + parts[4].substr(0, 5);
}

std::wstring folder_label(const folder& f) {
    const std::size_t count = f.items.size();
    return count ? f.name() + L" (" + std::to_wstring(count) + L")" : f.name();
}

void add_folder_rows(const std::shared_ptr<folder>& f, int depth, std::vector<std::pair<std::shared_ptr<folder>, int>>& out) {
    out.emplace_back(f, depth);
    for (const auto& child : f->children) add_folder_rows(child, depth + 1, out);
}

// Builds a menu of a bar's shown controls; a popup control's bar becomes a submenu.
class menu_of_bar {
public:
    HMENU build(const command_bar& bar) {
        HMENU menu = ::CreatePopupMenu();
        int shown = 0;
        for (const auto& c : bar.controls()) {
            if (!c->visible()) continue;
            if (c->begin_group() && shown > 0) ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            const UINT greyed = c->reachable() ? 0 : MF_GRAYED;
            if (c->type() == kPopup && c->popup_bar()) {
                ::AppendMenuW(menu, MF_POPUP | greyed, reinterpret_cast<UINT_PTR>(build(*c->popup_bar())),
                              c->caption().c_str());
            } else {
                items_.push_back(c);
                ::AppendMenuW(menu, MF_STRING | greyed, items_.size(), c->caption().c_str());
            }
            ++shown;
        }
        return menu;
    }
    std::shared_ptr<control> chosen(UINT_PTR id) const {
        return id >= 1 && id <= items_.size() ? items_[id - 1] : nullptr;
    }

private:
    std::vector<std::shared_ptr<control>> items_;
};

}  // namespace

explorer_view::explorer_view(explorer& owner)
    : owner_(owner), bold_(derived_font(0, FW_BOLD)), title_(derived_font(-18, FW_BOLD)) {
    if (HMENU system = ::GetSystemMenu(owner_.window(), FALSE)) {
        ::AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(system, MF_STRING, kNewWindowCommand, L"Open in New &Window\tCtrl+Shift+W");
        ::AppendMenuW(system, MF_STRING, kAddInsCommand, L"COM &Add-Ins...\tCtrl+Shift+A");
    }
}

explorer_view::~explorer_view() = default;

void explorer_view::invalidate() noexcept {
    if (invalid_ || !owner_.window()) return;
    invalid_ = true;
    ::InvalidateRect(owner_.window(), nullptr, FALSE);
}

bool explorer_view::handle(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    const POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    result = 0;
    switch (message) {
    case WM_PAINT: {
        const painting scope(owner_.window());
        invalid_ = false;
        paint(scope.dc());
        return true;
    }
    case WM_PRINTCLIENT:
        paint(reinterpret_cast<HDC>(wparam));
        return true;
    case WM_ERASEBKGND:
        result = 1;   // every pixel is painted
        return true;
    case WM_SIZE:
        invalid_ = false;
        invalidate();
        return false;
    case WM_LBUTTONDOWN:
        mouse_down(at, wparam);
        return true;
    case WM_LBUTTONUP:
        mouse_up(at);
        return true;
    case WM_LBUTTONDBLCLK:
        double_click(at);
        return true;
    case WM_CAPTURECHANGED:
        if (pressed_ || pressed_ribbon_) {
            pressed_.reset();
            pressed_ribbon_.reset();
            invalidate();
        }
        return true;
    case WM_MOUSEWHEEL:
        scroll(-GET_WHEEL_DELTA_WPARAM(wparam) / WHEEL_DELTA * 3);
        return true;
    case WM_KEYDOWN:
        key_down(wparam);
        return true;
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) != kNewWindowCommand && (wparam & 0xFFF0) != kAddInsCommand) return false;
        command(wparam & 0xFFF0);
        return true;
    default:
        return false;
    }
}

explorer_view::layout explorer_view::lay_out(HDC dc) {
    layout l;
    RECT client{};
    ::GetClientRect(owner_.window(), &client);
    RECT area = client;
    area.bottom = std::max(area.top, area.bottom - kStatus);
    l.status = {client.left, area.bottom, client.right, client.bottom};
    if (owner_.app().has_ribbon() && owner_.app().addins) l.ribbon = lay_out_ribbon(owner_.app().addins->ribbons(), dc, area);
    else if (owner_.app().has_ribbon()) l.ribbon = lay_out_ribbon({}, dc, area);
    l.bars = lay_out_bars(*owner_.bars(), dc, area, !owner_.app().has_ribbon());
    l.folders = {area.left, area.top, std::min<LONG>(area.left + kFolderPaneWidth, area.right), area.bottom};
    l.list = {std::min<LONG>(l.folders.right + kSplit, area.right), area.top, area.right, area.bottom};
    l.banner = {l.list.left, l.list.top, l.list.right, std::min<LONG>(l.list.top + kBanner, l.list.bottom)};
    l.header = {l.list.left, l.banner.bottom, l.list.right, std::min<LONG>(l.banner.bottom + kColumnHeader, l.list.bottom)};

    std::vector<std::pair<std::shared_ptr<folder>, int>> tree;
    if (auto root = owner_.app().root()) add_folder_rows(root, 0, tree);
    int y = l.folders.top + kPaneHeader;
    for (const auto& [target, depth] : tree) {
        if (y + kRow > l.folders.bottom) break;
        l.folder_rows.push_back({target, depth, {l.folders.left, y, l.folders.right, y + kRow}});
        y += kRow;
    }
    const auto current = owner_.current_folder();
    const int count = current ? static_cast<int>(current->items.size()) : 0;
    first_row_ = std::clamp(first_row_, 0, std::max(0, count - 1));
    y = l.header.bottom;
    for (int i = first_row_; i < count && y + kRow <= l.list.bottom; ++i, y += kRow)
        l.rows.push_back({l.list.left, y, l.list.right, y + kRow});
    return l;
}

explorer_view::layout explorer_view::lay_out() {
    surface measuring(nullptr, 0, 0);
    return lay_out(measuring.get());
}

void explorer_view::paint(HDC target) {
    RECT client{};
    ::GetClientRect(owner_.window(), &client);
    // Drawn off-screen and copied at once, so that the window never shows half a picture.
    surface canvas(target, client.right, client.bottom);
    HDC dc = canvas.get();
    fill(dc, client, kDockFill);
    ::SetBkMode(dc, TRANSPARENT);
    const layout l = lay_out(dc);
    draw_folders(dc, l);
    draw_list(dc, l);
    draw_status(dc, l);
    draw_bars(dc, l.bars, pressed_.get());
    if (l.ribbon) draw_ribbon(dc, *l.ribbon, pressed_ribbon_ ? &*pressed_ribbon_ : nullptr);
    ::BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
}

void explorer_view::draw_folders(HDC dc, const layout& l) {
    fill(dc, l.folders, kWhite);
    RECT header{l.folders.left, l.folders.top, l.folders.right, std::min<LONG>(l.folders.top + kPaneHeader, l.folders.bottom)};
    fill(dc, header, kPaneHeaderFill);
    {
        selected font(dc, bold_.get());
        text_in(dc, L"Folder List", RECT{header.left + 6, header.top, header.right, header.bottom}, kWhite);
    }
    const auto current = owner_.current_folder();
    for (const auto& row : l.folder_rows) {
        const bool chosen = row.target == current;
        RECT text{row.rect.left + 6 + row.depth * kIndent, row.rect.top, row.rect.right - 2, row.rect.bottom};
        if (chosen) {
            RECT mark{text.left - 3, row.rect.top, row.rect.right - 2, row.rect.bottom};
            fill(dc, mark, kSelectedFill);
        }
        text_in(dc, folder_label(*row.target), text, chosen ? kWhite : kText);
    }
}

void explorer_view::draw_list(HDC dc, const layout& l) {
    fill(dc, l.list, kWhite);
    fill(dc, l.banner, kBannerFill);
    const auto current = owner_.current_folder();
    if (!current) return;
    {
        selected font(dc, title_.get());
        text_in(dc, current->name(), RECT{l.banner.left + 8, l.banner.top, l.banner.right - 4, l.banner.bottom}, kText);
    }
    fill(dc, l.header, kColumnFill);
    const LONG width = l.list.right - l.list.left;
    const LONG from_right = l.list.left + std::max<LONG>(120, width * 3 / 10);
    const LONG received_left = std::max(from_right, l.list.right - kReceivedWidth);
    const LONG columns[] = {l.list.left, from_right, received_left, l.list.right};
    const wchar_t* titles[] = {L"From", L"Subject", L"Received"};
    for (int c = 0; c < 3; ++c) {
        text_in(dc, titles[c], RECT{columns[c] + 6, l.header.top, columns[c + 1] - 2, l.header.bottom}, kText);
        RECT line{columns[c + 1] - 1, l.header.top + 3, columns[c + 1], l.header.bottom - 3};
        fill(dc, line, kLines);
    }
    if (current->items.empty()) {
        RECT note{l.list.left, l.header.bottom + 8, l.list.right, l.header.bottom + 8 + kRow};
        text_in(dc, L"There are no items to show in this view.", note, RGB(110, 110, 110), DT_CENTER);
        return;
    }
    const auto& chosen = owner_.selection();
    for (std::size_t i = 0; i < l.rows.size(); ++i) {
        const auto& item = current->items[first_row_ + i];
        const RECT& r = l.rows[i];
        const bool is_selected = std::find(chosen.begin(), chosen.end(), item) != chosen.end();
        if (is_selected) fill(dc, r, kSelectedFill);
        const COLORREF colour = is_selected ? kWhite : kText;
        const std::wstring cells[] = {display_name(item->sender()), item->subject(), short_date(item->received())};
        for (int c = 0; c < 3; ++c) text_in(dc, cells[c], RECT{columns[c] + 6, r.top, columns[c + 1] - 4, r.bottom}, colour);
    }
}

void explorer_view::draw_status(HDC dc, const layout& l) {
    fill(dc, l.status, kColumnFill);
    RECT line{l.status.left, l.status.top, l.status.right, l.status.top + 1};
    fill(dc, line, kLines);
    const auto current = owner_.current_folder();
    const std::size_t count = current ? current->items.size() : 0;
    const std::wstring text = std::to_wstring(count) + (count == 1 ? L" Item" : L" Items");
    text_in(dc, text, RECT{l.status.left + 6, l.status.top, l.status.right - 6, l.status.bottom}, kText);
    text_in(dc, L"Microsoft Outlook (simulated)", RECT{l.status.left + 6, l.status.top, l.status.right - 6, l.status.bottom},
            RGB(90, 90, 90), DT_RIGHT);
}

void explorer_view::mouse_down(POINT at, WPARAM keys) {
    ::SetFocus(owner_.window());
    const layout l = lay_out();
    if (const placed_ribbon_button* button = l.ribbon ? ribbon_button_at(*l.ribbon, at) : nullptr) {
        pressed_ribbon_ = *button;
        ::SetCapture(owner_.window());
        invalidate();
        return;
    }
    if (auto target = control_at(l.bars, at)) {
        pressed_ = std::move(target);
        ::SetCapture(owner_.window());
        invalidate();
        return;
    }
    for (const auto& row : l.folder_rows) {
        if (!::PtInRect(&row.rect, at)) continue;
        if (row.target != owner_.current_folder()) owner_.switch_folder(row.target);
        return;
    }
    for (std::size_t i = 0; i < l.rows.size(); ++i)
        if (::PtInRect(&l.rows[i], at)) return select_row(first_row_ + static_cast<int>(i), (keys & MK_CONTROL) != 0);
}

void explorer_view::mouse_up(POINT at) {
    if (pressed_ribbon_) return use_ribbon_button(lay_out(), at);
    if (!pressed_) return;
    const auto target = std::move(pressed_);
    pressed_.reset();
    if (::GetCapture() == owner_.window()) ::ReleaseCapture();
    invalidate();
    // A click is a press and a release on the same control, as a button takes it.
    const layout l = lay_out();
    if (control_at(l.bars, at) != target) return;
    for (const auto& bar : l.bars)
        for (const auto& c : bar.controls)
            if (c.item == target) return use_control(target, c.rect);
}

// A click is a press and a release on the same button; it reaches the add-in's onAction.
void explorer_view::use_ribbon_button(const layout& l, POINT at) {
    const placed_ribbon_button pressed = std::move(*pressed_ribbon_);
    pressed_ribbon_.reset();
    if (::GetCapture() == owner_.window()) ::ReleaseCapture();
    invalidate();
    const placed_ribbon_button* released = l.ribbon ? ribbon_button_at(*l.ribbon, at) : nullptr;
    if (!released || released->owner != pressed.owner || released->id != pressed.id) return;
    pressed.owner->click(pressed.id, std::static_pointer_cast<explorer>(owner_.shared_from_this()));
}

void explorer_view::double_click(POINT at) {
    const layout l = lay_out();
    for (std::size_t i = 0; i < l.rows.size(); ++i) {
        if (!::PtInRect(&l.rows[i], at)) continue;
        auto opened = owner_.app().open_inspector(owner_.current_folder()->items[first_row_ + i]);
        if (!opened->closed()) ::SetForegroundWindow(opened->window());   // the user opened it: it takes the focus
        return;
    }
    mouse_down(at, 0);   // elsewhere a second click is a click
}

void explorer_view::use_control(const std::shared_ptr<control>& target, const RECT& where) {
    switch (target->type()) {
    case kButton: {
        bool cancel_default = false;
        const HRESULT hr = target->click_as_user(&cancel_default);
        if (SUCCEEDED(hr) && !cancel_default && target->builtin() && target->id() == kExitId) owner_.app().quit();
        break;
    }
    case kPopup:
        drop_menu(target, where);
        break;
    case kDropdown:
    case kComboBox:
        drop_list(target, where);
        break;
    default:
        break;   // typing into an edit box is not modelled in the window
    }
}

void explorer_view::drop_menu(const std::shared_ptr<control>& opener, const RECT& where) {
    if (!opener->reachable() || !opener->popup_bar()) return;
    menu_of_bar builder;
    unique_hmenu menu(builder.build(*opener->popup_bar()));
    POINT corner{where.left, where.bottom};
    ::ClientToScreen(owner_.window(), &corner);
    const UINT_PTR id = ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_NONOTIFY,
                                         corner.x, corner.y, 0, owner_.window(), nullptr);
    if (auto chosen = builder.chosen(id)) use_control(chosen, where);
}

void explorer_view::drop_list(const std::shared_ptr<control>& list, const RECT& where) {
    if (!list->reachable()) return;
    unique_hmenu menu(::CreatePopupMenu());
    const auto& entries = list->list();
    for (std::size_t i = 0; i < entries.size(); ++i)
        ::AppendMenuW(menu.get(), MF_STRING | (entries[i] == list->text() ? MF_CHECKED : 0), i + 1, entries[i].c_str());
    POINT corner{where.left, where.bottom};
    ::ClientToScreen(owner_.window(), &corner);
    const UINT_PTR id = ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_NONOTIFY,
                                         corner.x, corner.y, 0, owner_.window(), nullptr);
    if (id >= 1 && id <= entries.size()) list->change_as_user(std::wstring(entries[id - 1]));
}

void explorer_view::select_row(int row, bool extend) {
    const auto current = owner_.current_folder();
    if (!current || row < 0 || row >= static_cast<int>(current->items.size())) return;
    const auto& item = current->items[row];
    std::vector<std::shared_ptr<mail_item>> chosen;
    if (extend) {
        chosen = owner_.selection();
        if (const auto found = std::find(chosen.begin(), chosen.end(), item); found != chosen.end())
            chosen.erase(found);
        else
            chosen.push_back(item);
    } else {
        chosen.push_back(item);
    }
    // Keep the chosen row in sight.
    const layout l = lay_out();
    const int shown = std::max(1, static_cast<int>((l.list.bottom - l.header.bottom) / kRow));
    if (row < first_row_) first_row_ = row;
    if (row >= first_row_ + shown) first_row_ = row - shown + 1;
    owner_.select(std::move(chosen));
}

void explorer_view::scroll(int rows) {
    first_row_ = std::max(0, first_row_ + rows);
    invalidate();
}

void explorer_view::key_down(WPARAM key) {
    const bool control_key = ::GetKeyState(VK_CONTROL) < 0, shift = ::GetKeyState(VK_SHIFT) < 0;
    if (control_key && shift && key == 'W') return command(kNewWindowCommand);
    if (control_key && shift && key == 'A') return command(kAddInsCommand);
    if (key != VK_UP && key != VK_DOWN) return;
    const auto current = owner_.current_folder();
    if (!current || current->items.empty()) return;
    const auto& chosen = owner_.selection();
    int row = -1;
    if (!chosen.empty()) {
        const auto found = std::find(current->items.begin(), current->items.end(), chosen.front());
        if (found != current->items.end()) row = static_cast<int>(found - current->items.begin());
    }
    row = std::clamp(row + (key == VK_DOWN ? 1 : -1), 0, static_cast<int>(current->items.size()) - 1);
    select_row(row, false);
}

void explorer_view::command(WPARAM id) {
    if (id == kNewWindowCommand) {
        auto opened = owner_.app().open_explorer(owner_.current_folder(), true);
        if (!opened->closed()) {
            opened->activate();
            ::SetForegroundWindow(opened->window());   // the user asked for it: it takes the focus
        }
    } else if (id == kAddInsCommand) {
        open_addins_dialog(owner_);
    }
}

std::optional<RECT> explorer_view::locate(const std::wstring& element) {
    const auto colon = element.find(L':');
    if (colon == std::wstring::npos) return std::nullopt;
    const std::wstring kind = element.substr(0, colon), name = element.substr(colon + 1);
    const layout l = lay_out();
    if (kind == L"ribbon" && l.ribbon) {
        for (const auto& button : l.ribbon->buttons)
            if (button.id == name || same_text(button.label, name)) return button.rect;
    } else if (kind == L"control") {
        for (const auto& bar : l.bars)
            for (const auto& c : bar.controls)
                if (c.item->tag() == name || same_text(without_accelerator(c.item->caption()), name)) return c.rect;
    } else if (kind == L"bar") {
        for (const auto& bar : l.bars)
            if (same_text(bar.bar->name(), name)) return bar.rect;
    } else if (kind == L"folder") {
        const auto target = owner_.app().find_folder(name);
        for (const auto& row : l.folder_rows)
            if (target && row.target == target) return row.rect;
    } else if (kind == L"item") {
        const int index = _wtoi(name.c_str()) - 1 - first_row_;
        if (index >= 0 && index < static_cast<int>(l.rows.size())) return l.rows[index];
    }
    return std::nullopt;
}

void model_changed() noexcept {
    const auto& app = running_application();
    if (!app) return;
    for (const auto& window : app->explorers) window->repaint();
}

}  // namespace mailhost
