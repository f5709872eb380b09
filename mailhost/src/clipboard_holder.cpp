#include "clipboard_holder.h"

#include <thread>

#include "com/unique_res.h"
#include "host_object.h"

namespace mailhost {
namespace {

struct holder {
    flinter::unique_handle opened, stop;
    std::thread thread;
    bool held = false;
};

// Never destroyed: a hold still running at exit ends with the process.
holder& current() {
    static auto* state = new holder;
    return *state;
}

// Wine tells clipboard users apart by window, not by thread: opened with no
// window, the clipboard would still open for another caller without one.
void keep_open(HANDLE opened, HANDLE stop, DWORD milliseconds, bool* held) {
    flinter::unique_hwnd window(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    *held = window && ::OpenClipboard(window.get());
    ::SetEvent(opened);
    if (!*held) return;
    ::WaitForSingleObject(stop, milliseconds);
    ::CloseClipboard();
}

}  // namespace

void hold_clipboard(DWORD milliseconds) {
    release_clipboard();
    holder& h = current();
    h.opened.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    h.stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!h.opened || !h.stop) fail(HRESULT_FROM_WIN32(::GetLastError()), L"No event for the clipboard holder.");
    h.held = false;
    h.thread = std::thread(keep_open, h.opened.get(), h.stop.get(), milliseconds, &h.held);
    ::WaitForSingleObject(h.opened.get(), INFINITE);
    if (!h.held) {
        release_clipboard();
        fail(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), L"The clipboard is held by someone else.");
    }
}

void release_clipboard() noexcept {
    holder& h = current();
    if (!h.thread.joinable()) return;
    ::SetEvent(h.stop.get());
    h.thread.join();
}

}  // namespace mailhost
