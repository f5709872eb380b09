// The base of every window of the add-in. It owns the native window, maps the
// handle to the object once, runs the handlers inside the boundary guard, and
// turns a failure while the window builds its controls into an exception from
// create_window/create_dialog, the window destroyed. UI thread only (checked,
// see com/ui_thread.h); an exception escaping a later handler is logged.
#pragma once

#include <windows.h>

#include <exception>
#include <optional>

namespace flinter {

// A window's caption, frame styles, screen position of its frame and the size
// of its client area in pixels. Dialogs ignore the position: they are placed
// when first shown.
struct window_frame {
    const wchar_t* caption = L"";
    DWORD style = 0;
    DWORD ex_style = 0;
    int left = 0, top = 0;
    int client_width = 0, client_height = 0;
};

class window_base {
public:
    window_base(const window_base&) = delete;
    window_base& operator=(const window_base&) = delete;

    HWND handle() const noexcept { return handle_; }
    HWND control(int id) const noexcept { return ::GetDlgItem(handle_, id); }
    bool visible() const noexcept { return ::IsWindowVisible(handle_) != FALSE; }

protected:
    window_base() = default;
    ~window_base() { destroy(); }

    // A hidden window of this module's class class_name (registered at first
    // use, button-face background); owner may be null. build_controls runs
    // during the creation.
    void create_window(const wchar_t* class_name, const window_frame& frame, HWND owner);

    // A hidden dialog: the dialog manager gives it Tab, Enter (IDOK) and Escape
    // (IDCANCEL); font "MS Sans Serif" 8. build_controls runs during the creation.
    void create_dialog(const window_frame& frame, HWND owner);

    // Destroys the native window without calling back into the object. The
    // derived class calls it first in its destructor, so that the controls go
    // before the fonts, pictures and libraries they use.
    void destroy() noexcept;

    // Adds the controls; may throw, which fails the creation.
    virtual void build_controls() {}

    // A message for the window; nullopt leaves it to the default handling. For
    // a dialog, a value is the message's result (the dialog manager's rules
    // for returning it are the base's business).
    virtual std::optional<LRESULT> handle_message(UINT message, WPARAM wparam, LPARAM lparam) = 0;

private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    static INT_PTR CALLBACK dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    static window_base* attached_to(HWND window) noexcept;
    void attach(HWND window) noexcept;
    void detach() noexcept;
    bool built() noexcept;
    std::optional<LRESULT> guarded(UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    void caught() noexcept;
    void end_creation(HWND created);

    HWND handle_ = nullptr;   // from the first message with the object to the last
    bool creating_ = false;
    std::exception_ptr creation_failure_;
};

}  // namespace flinter
