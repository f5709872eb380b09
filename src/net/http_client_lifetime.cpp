// TAdvHttp's threads and lifetime: the request worker, WinInet's status
// callback, the delivery of events to the creating thread, and the
// destruction that waits for (or abandons) every thread inside the component.
#include "net/http_client_lifetime.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <utility>

#include "net/event_window.h"

namespace flinter::net {
namespace {

std::atomic<long> live_links{0};

}  // namespace

live_link::live_link() noexcept { ++live_links; }
live_link::~live_link() { --live_links; }

long live_request_links() noexcept { return live_links; }

namespace {

constexpr DWORD kWorkerStackSize = 8192;

thread_local handler_frame* innermost_handler = nullptr;
thread_local processing_mark processing_here{nullptr, 0};

class handler_scope {
public:
    explicit handler_scope(handler_frame& frame) noexcept : frame_(frame) {
        frame_.outer = innermost_handler;
        innermost_handler = &frame_;
    }
    ~handler_scope() { innermost_handler = frame_.outer; }
    handler_scope(const handler_scope&) = delete;
    handler_scope& operator=(const handler_scope&) = delete;

private:
    handler_frame& frame_;
};

}  // namespace

const handler_frame* innermost_handler_frame() noexcept { return innermost_handler; }

processing_scope::processing_scope(const TAdvHttp& component, unsigned serial) noexcept : outer_(processing_here) {
    processing_here = {&component, serial};
}

processing_scope::~processing_scope() { processing_here = outer_; }

namespace {

// Keeps the component reachable for one callback or one worker, or finds it
// being destroyed. Destruction waits until every pin has gone, except those of
// threads that cannot move before the destruction returns.
class owner_pin {
public:
    explicit owner_pin(std::shared_ptr<owner_cell> cell) : cell_(std::move(cell)) {
        std::lock_guard lock(cell_->mutex);
        owner_ = cell_->owner;
        if (owner_) cell_->pinned.push_back(::GetCurrentThreadId());
    }
    ~owner_pin() {
        if (!owner_) return;
        std::lock_guard lock(cell_->mutex);
        auto& pinned = cell_->pinned;
        pinned.erase(std::find(pinned.begin(), pinned.end(), ::GetCurrentThreadId()));
        if (cell_->gone) ::SetEvent(cell_->pin_released.get());
    }
    owner_pin(const owner_pin&) = delete;
    owner_pin& operator=(const owner_pin&) = delete;
    TAdvHttp* owner() const noexcept { return owner_; }

private:
    std::shared_ptr<owner_cell> cell_;
    TAdvHttp* owner_ = nullptr;
};

// Waits for a handle while running the messages sent to this thread, so that
// an event delivery in flight cannot dead-lock against the wait. A message that
// was already waiting counts too, also when the host has looked at its queue
// meanwhile (which marks it as seen).
void wait_processing_sent_messages(HANDLE handle) noexcept {
    while (::MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE) ==
           WAIT_OBJECT_0 + 1) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool contains(const std::vector<DWORD>& threads, DWORD thread) {
    return std::find(threads.begin(), threads.end(), thread) != threads.end();
}

// A thread inside WinInet's credential dialog, which waits for a person:
// destruction does not wait for it, but cancels the dialog as the user's
// Cancel would, or keeps it from being made. Throws request_abandoned when the
// component has already begun to go.
class credential_dialog_scope;
thread_local credential_dialog_scope* dialog_here = nullptr;
LRESULT CALLBACK note_credential_dialog(int code, WPARAM wparam, LPARAM lparam) noexcept;

class credential_dialog_scope {
public:
    explicit credential_dialog_scope(owner_cell& cell) : cell_(cell), outer_(dialog_here) {
        {
            std::lock_guard lock(cell_.mutex);
            if (cell_.gone) throw request_abandoned{};
            cell_.in_dialog.push_back({::GetCurrentThreadId(), nullptr});
        }
        dialog_here = this;
        hook_.reset(::SetWindowsHookExW(WH_CBT, &note_credential_dialog, nullptr, ::GetCurrentThreadId()));
    }
    ~credential_dialog_scope() {
        hook_.reset();
        dialog_here = outer_;
        std::lock_guard lock(cell_.mutex);
        cell_.in_dialog.erase(entry());
    }
    credential_dialog_scope(const credential_dialog_scope&) = delete;
    credential_dialog_scope& operator=(const credential_dialog_scope&) = delete;

    // A dialog window being made on this thread. The first is WinInet's: it is
    // made before this thread can run anything else. False: do not make it.
    bool note_window(HWND window) {
        std::lock_guard lock(cell_.mutex);
        const auto e = entry();
        if (e->window) return true;
        if (cell_.gone) return false;
        e->window = window;
        return true;
    }

private:
    std::vector<owner_cell::dialog>::iterator entry() {
        auto& in_dialog = cell_.in_dialog;
        return std::find_if(in_dialog.begin(), in_dialog.end(),
                            [](const owner_cell::dialog& d) { return d.thread == ::GetCurrentThreadId(); });
    }

    owner_cell& cell_;
    credential_dialog_scope* const outer_;
    unique_hhook hook_;
};

LRESULT CALLBACK note_credential_dialog(int code, WPARAM wparam, LPARAM lparam) noexcept {
    if (code == HCBT_CREATEWND && dialog_here) {
        const HWND window = reinterpret_cast<HWND>(wparam);
        wchar_t name[8] = {};
        ::GetClassNameW(window, name, 8);
        if (std::wcscmp(name, L"#32770") == 0 && !dialog_here->note_window(window)) return 1;
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

// A module reference for a worker, so that the library cannot be unloaded
// under it; the worker gives it up with its last instruction.
HMODULE module_reference() {
    HMODULE module = nullptr;
    check_win32(::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                     reinterpret_cast<LPCWSTR>(&module_reference), &module));
    return module;
}

INTERNET_ASYNC_RESULT async_result(const void* info, DWORD length) noexcept {
    INTERNET_ASYNC_RESULT result{};
    if (info && length >= sizeof result) std::memcpy(&result, info, sizeof result);
    return result;
}

}  // namespace

void CALLBACK advhttp_status_callback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                                      DWORD length) noexcept try {
    auto* link = reinterpret_cast<request_link*>(context);
    if (!link) return;
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        delete link;  // WinInet's last word on this handle
        return;
    }
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        const INTERNET_ASYNC_RESULT result = async_result(info, length);
        switch (link->pending.exchange(pending_kind::none)) {
            case pending_kind::wake_worker:
                link->result = result;
                ::SetEvent(link->completed.get());
                return;
            case pending_kind::start_worker: {
                owner_pin pin(link->cell);
                if (pin.owner()) pin.owner()->hand_over_to_worker(result, link->serial);
                return;
            }
            case pending_kind::none:
                return;
        }
        return;
    }
    // Once the request has ended, its late notices would mix with the next one's.
    if (link->closed) return;
    owner_pin pin(link->cell);
    if (!pin.owner()) return;
    pin.owner()->on_status(status, info, length);
    if (status == INTERNET_STATUS_REDIRECT) pin.owner()->limit_redirects(*link);
} catch (const request_abandoned&) {
} catch (...) {
    log_at_boundary("TAdvHttp status callback: ");
}

DWORD WINAPI advhttp_worker_main(void* param) noexcept {
    HMODULE module = nullptr;
    try {
        const std::unique_ptr<worker_start> start(static_cast<worker_start*>(param));
        module = start->module;
        ::WaitForSingleObject(start->go.get(), INFINITE);
        if (start->run) {
            const owner_pin pin(start->cell);
            if (pin.owner()) pin.owner()->run_worker(start->sent, start->serial);
        }
    } catch (const request_abandoned&) {
        // The component went during a delivery; nothing of it was touched since.
    } catch (...) {
        log_at_boundary("TAdvHttp request worker: ");
    }
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

// ---- Destruction ----

// This thread, and the senders of this component's handlers running on it.
std::vector<DWORD> TAdvHttp::threads_held_by_this_one() const {
    std::vector<DWORD> held{::GetCurrentThreadId()};
    for (const handler_frame* f = innermost_handler; f; f = f->outer)
        if (f->component == this) held.push_back(f->sender);
    return held;
}

// From here on no thread enters; those inside leave at their next delivery
// (queued ones are dropped as this wait runs them) or as they come back from
// WinInet. Returns the threads not waited for: the held ones, and those in the
// credential dialog, whose dialog is cancelled here (or never made).
std::vector<DWORD> TAdvHttp::detach_from_threads(std::vector<DWORD> unwaited) {
    std::vector<owner_cell::dialog> in_dialog;
    {
        std::lock_guard lock(cell_->mutex);
        cell_->owner = nullptr;
        cell_->gone = true;
        in_dialog = cell_->in_dialog;
    }
    for (const auto& d : in_dialog) {
        if (d.window) ::PostMessageW(d.window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        unwaited.push_back(d.thread);
    }
    for (;;) {
        {
            std::lock_guard lock(cell_->mutex);
            const auto& pinned = cell_->pinned;
            if (std::all_of(pinned.begin(), pinned.end(), [&](DWORD t) { return contains(unwaited, t); }))
                return unwaited;
        }
        wait_processing_sent_messages(cell_->pin_released.get());
    }
}

void TAdvHttp::wait_for_workers(const std::vector<DWORD>& unwaited) noexcept {
    std::vector<worker_thread> workers;
    {
        std::lock_guard lock(workers_mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers)
        if (!contains(unwaited, worker.id)) wait_processing_sent_messages(worker.handle.get());
}

void TAdvHttp::reap_finished_workers() {
    std::lock_guard lock(workers_mutex_);
    std::erase_if(workers_, [](const worker_thread& w) { return ::WaitForSingleObject(w.handle.get(), 0) == WAIT_OBJECT_0; });
}

bool TAdvHttp::WorkerRunning() {
    reap_finished_workers();
    std::lock_guard lock(workers_mutex_);
    return !workers_.empty();
}

// ---- Events ----

struct TAdvHttp::raise_context {
    TAdvHttp* component;
    const TNotifyEvent* handler;
    const owner_cell* cell;
    handler_frame frame;
};

// On the handler's thread. A completion ends its request as the handler
// returns, so that Busy is false by the time the caller sees the completion
// (unless the handler started the next request, or destroyed the component).
void TAdvHttp::run_handler(void* context) {
    auto& c = *static_cast<raise_context*>(context);
    if (c.cell->gone) return;  // destruction began while the delivery waited
    const handler_scope scope(c.frame);
    const TNotifyEvent handler = *c.handler;  // it may replace itself
    struct request_end {
        const raise_context& c;
        ~request_end() {
            if (c.frame.completing != 0 && !c.cell->gone) c.component->end_request(c.frame.completing);
        }
    } const end{c};
    handler(*c.component);
}

void TAdvHttp::raise(const TNotifyEvent& handler, unsigned completing) {
    if (cell_->gone) throw request_abandoned{};
    if (!handler) return;
    const std::shared_ptr<owner_cell> cell = cell_;  // outlives us, should a handler destroy us
    const unsigned processing = processing_here.component == this ? processing_here.serial : 0;
    raise_context context{this, &handler, cell.get(), {this, ::GetCurrentThreadId(), processing, completing, nullptr}};
    delivery d{&run_handler, &context, nullptr};
    if (windowed_owner_)
        deliver_through_window(d);
    else
        run_delivery(d);
    if (cell->gone) throw request_abandoned{};
    if (d.raised) std::rethrow_exception(d.raised);
}

// ---- Request workers ----

// A worker for the request, made now and waiting until start_worker hands it
// the request; should it not be made, start_worker makes one then.
void TAdvHttp::park_worker(unsigned serial) noexcept {
    release_parked_worker(nullptr, 0);  // one request at a time: none is left, but never two
    try {
        auto start = std::make_unique<worker_start>(cell_, serial, module_reference());
        DWORD id = 0;
        unique_handle worker(::CreateThread(nullptr, kWorkerStackSize, &advhttp_worker_main, start.get(), 0, &id));
        if (!worker) {
            ::FreeLibrary(start->module);
            return;
        }
        std::lock_guard lock(workers_mutex_);
        parked_ = start.release();  // the worker's, handed over through go
        parked_thread_ = {std::move(worker), id};
    } catch (const std::exception&) {
    }
}

// With `sent`: hands the request `serial` to its parked worker; without:
// lets the parked worker end unused. Either way it joins the workers. False
// when there was no such worker.
bool TAdvHttp::release_parked_worker(const INTERNET_ASYNC_RESULT* sent, unsigned serial) noexcept {
    std::lock_guard lock(workers_mutex_);
    if (!parked_ || (sent && parked_->serial != serial)) return false;
    if (sent) {
        parked_->sent = *sent;
        parked_->run = true;
    }
    ::SetEvent(parked_->go.get());  // from here on the worker may free it
    parked_ = nullptr;
    workers_.push_back(std::move(parked_thread_));
    return true;
}

// False when the thread cannot start; the failure has gone to OnError.
bool TAdvHttp::start_worker(const INTERNET_ASYNC_RESULT& sent, unsigned serial) {
    reap_finished_workers();
    if (release_parked_worker(&sent, serial)) return true;
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    try {
        auto start = std::make_unique<worker_start>(cell_, serial, module_reference());
        start->sent = sent;
        start->run = true;
        ::SetEvent(start->go.get());
        DWORD id = 0;
        unique_handle worker(::CreateThread(nullptr, kWorkerStackSize, &advhttp_worker_main, start.get(), 0, &id));
        if (worker) {
            start.release();  // the worker's now
            std::lock_guard lock(workers_mutex_);
            workers_.push_back({std::move(worker), id});
            return true;
        }
        error = ::GetLastError();
        ::FreeLibrary(start->module);
    } catch (const std::exception&) {
    }
    report_failure(error);
    return false;
}

// From WinInet's thread, once the send has completed: the worker takes the
// request over; should it not start, the request ends here.
void TAdvHttp::hand_over_to_worker(const INTERNET_ASYNC_RESULT& sent, unsigned serial) {
    bool started = false;
    worker_step([&] { started = start_worker(sent, serial); });
    if (started) return;
    close_request();
    end_request(serial);
}

// ---- The credential dialog ----

// The dialog is left before the check, so that a destruction that begins
// later waits for this thread.
DWORD TAdvHttp::ask_for_credentials() {
    const HINTERNET request = request_.get();
    const DWORD error = LastError_;
    owner_cell& cell = *cell_;
    return guarded_inet_call([&] {
        const credential_dialog_scope in_dialog(cell);
        void* data = nullptr;
        return ::InternetErrorDlg(::GetDesktopWindow(), request, error,
                                  FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                      FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                                  &data);
    });
}

}  // namespace flinter::net
