#include "user_view.h"

#include <oleidl.h>
#include <wrl/client.h>

#include <algorithm>

#include "com/late_bound.h"
#include "mailhost/mailhost.h"

namespace journeys {
namespace {

using Microsoft::WRL::ComPtr;
using flinter::get;
using flinter::get_object;
using flinter::variant;

window_seen seen(HWND window) {
    if (!window || !::IsWindow(window)) return {};
    return {window, ::IsWindowVisible(window) != FALSE, ::IsWindowEnabled(window) != FALSE};
}

std::wstring class_of(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> thread_windows() {
    std::vector<HWND> windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

int bars_named(IDispatch* bars, const wchar_t* name) {
    int copies = 0;
    for (int i = 1, n = get(bars, L"Count").as_int(); i <= n; ++i)
        if (get(get_object(bars, L"Item", {variant(i)}).Get(), L"Name").as_wstring() == name) ++copies;
    return copies;
}

bool located(int explorer, const std::wstring& element) {
    RECT where{};
    return mailhost_locate(explorer, element.c_str(), &where) == S_OK;
}

explorer_seen look_at_explorer(IDispatch* explorer, int number, HWND front) {
    explorer_seen e;
    e.window = seen(mailhost_explorer_window(number));
    e.in_front = e.window.handle && e.window.handle == front;
    try {
        const auto folder = get_object(explorer, L"CurrentFolder");
        e.folder = get(folder.Get(), L"FolderPath").as_wstring();
        e.folder.erase(0, e.folder.find_first_not_of(L'\\'));
        e.item_type = get(folder.Get(), L"DefaultItemType").as_int();
        e.rows = get(get_object(folder.Get(), L"Items").Get(), L"Count").as_int();
        e.selected = get(get_object(explorer, L"Selection").Get(), L"Count").as_int();
        e.bar_copies = bars_named(get_object(explorer, L"CommandBars").Get(), kBarName);
    } catch (const std::exception&) {
        // What the host does not answer counts as not shown.
    }
    e.bar_shown = located(number, std::wstring(L"bar:") + kBarName);
    for (const wchar_t* caption : kButtons) {
        if (located(number, std::wstring(L"control:") + caption)) e.buttons.push_back(caption);
        if (located(number, std::wstring(L"ribbon:") + caption)) e.ribbon_buttons.push_back(caption);
    }
    return e;
}

}  // namespace

bool explorer_seen::shows_button(const std::wstring& caption) const {
    return window.usable() && (std::find(buttons.begin(), buttons.end(), caption) != buttons.end() || shows_on_ribbon(caption));
}

bool explorer_seen::shows_on_ribbon(const std::wstring& caption) const {
    return window.usable() && std::find(ribbon_buttons.begin(), ribbon_buttons.end(), caption) != ribbon_buttons.end();
}

bool user_view::user_can_act() const {
    if (!running) return true;   // the user can start Outlook
    for (const auto& e : explorers)
        if (e.window.usable()) return true;
    for (const auto& i : inspectors)
        if (i.usable()) return true;
    for (const auto& b : boxes)
        if (b.window.usable()) return true;
    return settings.usable() || about.usable() || addins_dialog.usable();
}

int user_view::explorer_number(HWND window) const {
    for (std::size_t i = 0; i < explorers.size(); ++i)
        if (explorers[i].window.handle == window) return static_cast<int>(i) + 1;
    return 0;
}

const explorer_seen* user_view::in_front() const {
    for (const auto& e : explorers)
        if (e.in_front) return &e;
    return nullptr;
}

HWND window_of(IDispatch* object) noexcept {
    ComPtr<IOleWindow> window;
    HWND handle = nullptr;
    if (object && SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&window)))) window->GetWindow(&handle);
    return handle;
}

std::wstring text_of(HWND window) {
    const int length = static_cast<int>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int copied = static_cast<int>(::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

user_view look(IDispatch* application) {
    user_view view;
    view.running = mailhost_running() != FALSE;
    if (view.running && application) {
        try {
            const HWND front = window_of(get_object(application, L"ActiveWindow").Get());
            const auto explorers = get_object(application, L"Explorers");
            for (int i = 1, n = get(explorers.Get(), L"Count").as_int(); i <= n; ++i)
                view.explorers.push_back(look_at_explorer(get_object(explorers.Get(), L"Item", {variant(i)}).Get(), i, front));
            const auto inspectors = get_object(application, L"Inspectors");
            for (int i = 1, n = get(inspectors.Get(), L"Count").as_int(); i <= n; ++i) {
                const auto inspector = get_object(inspectors.Get(), L"Item", {variant(i)});
                view.inspectors.push_back(seen(window_of(inspector.Get())));
                view.inspector_bar_copies += bars_named(get_object(inspector.Get(), L"CommandBars").Get(), kBarName);
            }
        } catch (const std::exception&) {
            // Outlook went while it was looked at.
        }
    }
    for (HWND window : thread_windows()) {
        const std::wstring kind = class_of(window), caption = text_of(window);
        if (kind == L"QAV_Flinter.Tfinfo") view.info = seen(window);
        else if (kind == L"QAV_Flinter.Tfheader") view.header = seen(window);
        else if (kind == L"mailhost_addins_dialog") view.addins_dialog = seen(window);
        else if (kind != L"#32770" || !::IsWindowVisible(window)) continue;
        else if (caption == L"Settings") view.settings = seen(window);
        else if (caption == L"About") view.about = seen(window);
        else {
            wchar_t text[1024] = {};
            ::GetDlgItemTextW(window, 0xFFFF, text, 1024);
            view.boxes.push_back({seen(window), caption, text, ::GetWindow(window, GW_OWNER)});
        }
    }
    return view;
}

}  // namespace journeys
