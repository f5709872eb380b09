#include "addins_dialog.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "addins.h"
#include "com/hresult_error.h"
#include "com/module.h"
#include "com/text_conversion.h"
#include "com/unique_res.h"
#include "drawing.h"
#include "explorer_view.h"
#include "model.h"

namespace mailhost {
namespace {

const wchar_t kDialogClass[] = L"mailhost_addins_dialog";
constexpr int kFirstBox = 100;
constexpr int kWidth = 460;
constexpr int kMargin = 10;
constexpr int kBoxHeight = 20;
constexpr int kButtonWidth = 84;

class addins_dialog;

// The open dialog; never destroyed at exit, when windows are gone already.
std::unique_ptr<addins_dialog>& open_dialog() {
    static auto* slot = new std::unique_ptr<addins_dialog>;
    return *slot;
}

LRESULT CALLBACK dialog_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

class addins_dialog {
public:
    explicit addins_dialog(explorer& owner) : owner_(owner.window()), entries_(owner.app().addins->listing()) {
        WNDCLASSEXW wc{};
        wc.lpfnWndProc = dialog_procedure;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kDialogClass;
        flinter::register_window_class(wc);
        const int list_height = std::max<int>(static_cast<int>(entries_.size()), 3) * kBoxHeight;
        const int client_height = 30 + list_height + 64;
        RECT frame{0, 0, kWidth, client_height};
        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
        RECT over{};
        ::GetWindowRect(owner_, &over);
        const int width = frame.right - frame.left, height = frame.bottom - frame.top;
        window_.reset(::CreateWindowExW(WS_EX_DLGMODALFRAME, kDialogClass, L"COM Add-Ins", style,
                                        (over.left + over.right - width) / 2, (over.top + over.bottom - height) / 2,
                                        width, height, owner_, nullptr, flinter::this_module(), nullptr));
        if (!window_) fail(HRESULT_FROM_WIN32(::GetLastError()), L"The COM Add-Ins dialog could not be opened.");
        add_child(L"STATIC", L"Add-Ins available:", 0, kMargin, kMargin, 300, 16, 0);
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            HWND box = add_child(L"BUTTON", entries_[i].name, BS_AUTOCHECKBOX | WS_TABSTOP, kMargin + 4,
                                 30 + static_cast<int>(i) * kBoxHeight, kWidth - 3 * kMargin - kButtonWidth - 4,
                                 kBoxHeight - 2, kFirstBox + static_cast<int>(i));
            ::SendMessageW(box, BM_SETCHECK, entries_[i].connected ? BST_CHECKED : BST_UNCHECKED, 0);
            boxes_.push_back(box);
        }
        const int right = kWidth - kMargin - kButtonWidth;
        add_child(L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, right, 30, kButtonWidth, 24, IDOK);
        add_child(L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, right, 60, kButtonWidth, 24, IDCANCEL);
        const int details = 30 + list_height + 10;
        location_ = add_child(L"STATIC", L"", SS_PATHELLIPSIS, kMargin, details, kWidth - 2 * kMargin, 16, 0);
        behavior_ = add_child(L"STATIC", L"", SS_ENDELLIPSIS, kMargin, details + 20, kWidth - 2 * kMargin, 16, 0);
        show_details(0);
        // Modal to the explorer, as Office's dialog is, without a loop of its own.
        ::EnableWindow(owner_, FALSE);
        ::ShowWindow(window_.get(), SW_SHOW);
    }

    // The owner takes input again before the window goes, so that it gets the activation back.
    ~addins_dialog() {
        if (::IsWindow(owner_)) ::EnableWindow(owner_, TRUE);
    }

    HWND window() const { return window_.get(); }
    // The window went without us (its owner closed): nothing is left to destroy.
    void forget_window() noexcept { (void)window_.release(); }

    // True when the dialog is done.
    bool command(WPARAM wparam) {
        const int id = LOWORD(wparam);
        if (id == IDCANCEL) return true;
        if (id == IDOK) {
            apply();
            return true;
        }
        if (id >= kFirstBox && id < kFirstBox + static_cast<int>(boxes_.size())) show_details(id - kFirstBox);
        return false;
    }

private:
    HWND add_child(const wchar_t* kind, const std::wstring& text, DWORD style, int x, int y, int width, int height,
                   int id) {
        HWND child = ::CreateWindowExW(0, kind, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                       window_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                       flinter::this_module(), nullptr);
        if (!child) fail(HRESULT_FROM_WIN32(::GetLastError()), L"The COM Add-Ins dialog could not be opened.");
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(gui_font()), FALSE);
        return child;
    }

    void show_details(std::size_t index) {
        if (index >= entries_.size()) return;
        ::SetWindowTextW(location_, (L"Location: " + entries_[index].location).c_str());
        ::SetWindowTextW(behavior_, (L"Load Behavior: " + entries_[index].load_behavior).c_str());
    }

    // What the user changed, one add-in after the other; one that fails does not stop the rest.
    void apply() {
        auto app = running_application();
        if (!app || !app->addins) return;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const bool wanted = ::SendMessageW(boxes_[i], BM_GETCHECK, 0, 0) == BST_CHECKED;
            if (wanted == entries_[i].connected) continue;
            try {
                app->addins->set_connected(entries_[i].prog_id, wanted);
            } catch (const std::exception& e) {
                log_call(L"COM Add-Ins dialog: " + entries_[i].prog_id + L": " + flinter::widen(e.what()));
            }
            if (!app->running()) return;
        }
        model_changed();
    }

    HWND owner_;
    std::vector<addin_listing> entries_;
    flinter::unique_hwnd window_;
    std::vector<HWND> boxes_;
    HWND location_ = nullptr, behavior_ = nullptr;
};

LRESULT CALLBACK dialog_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    auto& open = open_dialog();
    addins_dialog* dialog = open && open->window() == window ? open.get() : nullptr;
    if (!dialog) return ::DefWindowProcW(window, message, wparam, lparam);
    try {
        switch (message) {
        case WM_COMMAND:
            if (dialog->command(wparam)) open.reset();
            return 0;
        case WM_CLOSE:
            open.reset();
            return 0;
        case WM_NCDESTROY:
            dialog->forget_window();
            open.reset();
            break;
        default:
            break;
        }
    } catch (...) {
        flinter::log_at_boundary("COM Add-Ins dialog");
        return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

HWND open_addins_dialog(explorer& owner) {
    auto& open = open_dialog();
    if (open && ::IsWindow(open->window())) {
        ::SetWindowPos(open->window(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        return open->window();
    }
    open = std::make_unique<addins_dialog>(owner);
    return open->window();
}

void close_addins_dialog() noexcept { open_dialog().reset(); }

}  // namespace mailhost
