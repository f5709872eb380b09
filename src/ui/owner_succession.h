// Keeps the add-in's owned windows alive when their owner goes. Windows owned
// by a host window are destroyed with it, but the add-in's windows live as
// long as the add-in. So when the owner is about to be destroyed, the windows
// pass to the host window in front of those left, or become unowned when none
// is left; that window then owns them while it lives, and so on. UI thread
// only (a CBT hook of that thread sees the destruction before the owned
// windows go); the constructor throws hresult_error when it cannot watch.
#pragma once

#include <windows.h>

#include <vector>

namespace flinter {

class owner_succession {
public:
    // owner: the window that owns the followed windows at first, or null.
    explicit owner_succession(HWND owner);
    ~owner_succession();
    owner_succession(const owner_succession&) = delete;
    owner_succession& operator=(const owner_succession&) = delete;

    // The window that owns the followed windows now; null when none does.
    HWND owner() const noexcept { return owner_; }

    // From now on window, created with owner() as its owner, passes on with it.
    void follow(HWND window);

private:
    static LRESULT CALLBACK watch(int code, WPARAM wparam, LPARAM lparam) noexcept;
    void pass_on(HWND going) noexcept;

    HWND owner_;
    std::vector<HWND> windows_;
};

}  // namespace flinter
