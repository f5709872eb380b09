// What lets a TAdvHttp be destroyed at any moment, by any handler: the state
// its request links and workers share with it (which outlives it as long as
// they need it), what each thread is doing for a component, and the way a
// thread leaves once the component has gone. The request worker, WinInet's
// status callback and the delivery of events to the creating thread live in
// http_client_lifetime.cpp; the client's requests and responses use what is
// declared here.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com/hresult_error.h"
#include "com/unique_res.h"
#include "net/http_client.h"

namespace flinter::net {

// Counts itself among the live request links for as long as it exists.
struct live_link {
    live_link() noexcept;
    ~live_link();
    live_link(const live_link&) = delete;
    live_link& operator=(const live_link&) = delete;
};

// Thrown through a thread's own frames once the component's destruction has
// begun: from then on nothing of the component may be touched, since a
// handler below on the stack may already have freed it.
struct request_abandoned {};

// Who WinInet's threads and the workers may reach: the component until its
// destruction begins, and which threads are inside it, so that destruction
// can wait for them. Request links and workers share it, so it outlives the
// component as long as they need it.
struct owner_cell {
    explicit owner_cell(TAdvHttp* o)
        : owner(o), pin_released(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        check_win32(pin_released ? TRUE : FALSE);
    }
    std::mutex mutex;
    TAdvHttp* owner;
    std::atomic<bool> gone{false};  // destruction has begun
    std::vector<DWORD> pinned;      // the thread of every pin held
    unique_handle pin_released;     // set as each pin goes once destruction has begun
    struct dialog {
        DWORD thread;
        HWND window;  // once made
    };
    std::vector<dialog> in_dialog;  // threads inside WinInet's credential dialog
};

enum class pending_kind { none, start_worker, wake_worker };

constexpr DWORD kReadChunkSize = 16384;

// The context WinInet holds for one request handle. It lives until WinInet's
// last notification for that handle (INTERNET_STATUS_HANDLE_CLOSING), so a
// late completion always finds its read buffer and event, even after the
// component is gone; an abandoned read keeps it until the server answers.
// Meanwhile it counts as live, which keeps the library loaded.
struct request_link {
    request_link(std::shared_ptr<owner_cell> c, unsigned s)
        : cell(std::move(c)), serial(s), completed(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        check_win32(completed ? TRUE : FALSE);
    }
    request_link(const request_link&) = delete;
    request_link& operator=(const request_link&) = delete;
    live_link counted;
    std::shared_ptr<owner_cell> cell;
    const unsigned serial;            // the request the handle belongs to
    std::atomic<bool> closed{false};  // the component has closed the handle
    std::atomic<pending_kind> pending{pending_kind::none};
    INTERNET_ASYNC_RESULT result{};
    unique_handle completed;
    std::array<char, kReadChunkSize> buffer{};
    DWORD bytes_read = 0;
    // WinInet may read a pending send's data after HttpSendRequestA returned.
    std::string sent_headers, sent_body;
};

// What a request worker is given. A non-blocking request's worker is made as
// the request starts, so that making a thread does not hold up the response:
// it waits on `go` until the send's completion hands it the request (`run`),
// or the request ends without it.
struct worker_start {
    worker_start(std::shared_ptr<owner_cell> c, unsigned s, HMODULE m)
        : cell(std::move(c)), serial(s), module(m), go(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        check_win32(go ? TRUE : FALSE);
    }
    live_link counted;
    std::shared_ptr<owner_cell> cell;
    INTERNET_ASYNC_RESULT sent{};
    const unsigned serial;
    HMODULE module;  // a reference on this library, given up as the worker exits
    unique_handle go;
    bool run = false;  // written before go is set
};

// ---- What each thread is doing for the components ----

// A handler running on this thread, and the thread that raised it, which waits
// in the delivery until the handler returns.
struct handler_frame {
    const TAdvHttp* component;
    DWORD sender;
    unsigned processing;  // the request whose response the sender processes, or 0
    unsigned completing;  // the request whose OnRequestComplete this is, or 0
    handler_frame* outer;
};

struct processing_mark {
    const TAdvHttp* component;
    unsigned serial;
};

// The innermost handler running on this thread, or null.
const handler_frame* innermost_handler_frame() noexcept;

// Marks this thread as the one processing a request's response (the worker,
// or the caller of Execute).
class processing_scope {
public:
    processing_scope(const TAdvHttp& component, unsigned serial) noexcept;
    ~processing_scope();
    processing_scope(const processing_scope&) = delete;
    processing_scope& operator=(const processing_scope&) = delete;

private:
    processing_mark outer_;
};

// The first handler of `component` running on this thread that matches.
template <class Match>
const handler_frame* handler_here(const TAdvHttp* component, Match match) noexcept {
    for (const handler_frame* f = innermost_handler_frame(); f; f = f->outer)
        if (f->component == component && match(*f)) return f;
    return nullptr;
}

// The worker has no caller to hand a handler's error to: the error ends the
// step it was raised in and is logged. False when it did.
template <class Step>
bool worker_step(Step step) {
    try {
        step();
        return true;
    } catch (const request_abandoned&) {
        throw;
    } catch (...) {
        log_at_boundary("TAdvHttp event handler: ");
        return false;
    }
}

void CALLBACK advhttp_status_callback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                                      DWORD length) noexcept;

// A call that may raise events on this very thread (all of a blocking
// request's; Wine's inside a non-blocking read) may return after a handler
// destroyed the component: then nothing of it may be touched any more, and
// the thread leaves through request_abandoned. The call's last error is kept.
template <class Call>
auto TAdvHttp::guarded_inet_call(Call call) {
    const std::shared_ptr<owner_cell> cell = cell_;
    const auto result = call();
    if (cell->gone) throw request_abandoned{};
    return result;
}

}  // namespace flinter::net
