// The object a window's class procedure hands the window's messages to:
// stored with the window once, in the slot such a class leaves to its windows
// (GWLP_USERDATA), read back for each message, and cleared before the object
// goes, so that a late message finds none. Any thread that owns the window.
#pragma once

#include <windows.h>

namespace flinter {

template <class Object>
void bind_window(HWND window, Object* object) noexcept {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
}

// The object bound to window, or null.
template <class Object>
Object* object_of_window(HWND window) noexcept {
    return reinterpret_cast<Object*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

inline void unbind_window(HWND window) noexcept { ::SetWindowLongPtrW(window, GWLP_USERDATA, 0); }

}  // namespace flinter
