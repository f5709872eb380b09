// TAdvHttp's request and response sides. Three kinds of thread meet here: the
// creating thread (properties, Execute, every handler), WinInet's callback
// threads and the request worker; the last two only hand events over.
#include "net/http_client.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cwchar>
#include <utility>

#include "com/hresult_error.h"
#include "core/text/ascii.h"
#include "net/event_window.h"
#include "net/url_parts.h"

namespace flinter::net {
namespace {

std::atomic<long> live_links{0};

// Counts itself among the live request links for as long as it exists.
struct live_link {
    live_link() noexcept { ++live_links; }
    ~live_link() { --live_links; }
    live_link(const live_link&) = delete;
    live_link& operator=(const live_link&) = delete;
};

// Thrown through a thread's own frames once the component's destruction has
// begun: from then on nothing of the component may be touched, since a
// handler below on the stack may already have freed it.
struct request_abandoned {};

}  // namespace

long live_request_links() noexcept { return live_links; }

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

namespace {

constexpr DWORD kHeaderBufferSize = 8192;
constexpr DWORD kWorkerStackSize = 8192;

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

thread_local handler_frame* innermost_handler = nullptr;
thread_local processing_mark processing_here{nullptr, 0};

// Marks this thread as the one processing a request's response (the worker,
// or the caller of Execute).
class processing_scope {
public:
    processing_scope(const TAdvHttp& component, unsigned serial) noexcept : outer_(processing_here) {
        processing_here = {&component, serial};
    }
    ~processing_scope() { processing_here = outer_; }
    processing_scope(const processing_scope&) = delete;
    processing_scope& operator=(const processing_scope&) = delete;

private:
    processing_mark outer_;
};

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

// The first handler of `component` running on this thread that matches.
template <class Match>
const handler_frame* handler_here(const TAdvHttp* component, Match match) noexcept {
    for (const handler_frame* f = innermost_handler; f; f = f->outer)
        if (f->component == component && match(*f)) return f;
    return nullptr;
}

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

INTERNET_ASYNC_RESULT async_result(const void* info, DWORD length) noexcept {
    INTERNET_ASYNC_RESULT result{};
    if (info && length >= sizeof result) std::memcpy(&result, info, sizeof result);
    return result;
}

DWORD number_info(const void* info, DWORD length) noexcept {
    DWORD value = 0;
    if (info && length >= sizeof value) std::memcpy(&value, info, sizeof value);
    return value;
}

// Status texts are read no further than the length WinInet gives. Some
// WinInet builds (Wine's, for the redirect) hand the ANSI callback UTF-16
// text: a zero second byte of an even-sized text is taken as that.
std::string text_info(const void* info, DWORD length) {
    if (!info || length == 0) return {};
    const auto* bytes = static_cast<const char*>(info);
    if (length < 4 || length % 2 != 0 || bytes[0] == 0 || bytes[1] != 0)
        return std::string(bytes, ::strnlen(bytes, length));
    std::wstring wide(length / 2, L'\0');
    std::memcpy(wide.data(), bytes, wide.size() * sizeof(wchar_t));
    wide.resize(::wcsnlen(wide.c_str(), wide.size()));
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(n > 0 ? n : 0, '\0');
    if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    return text;
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

// ---- Life cycle ----

TAdvHttp::TAdvHttp(owner_kind owner)
    : windowed_owner_(owner == owner_kind::windowed),
      cell_(std::make_shared<owner_cell>(this)),
      abort_event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    check_win32(abort_event_ ? TRUE : FALSE);
    RequestFlags_ = request_flags_for(InternetFlags_);
    if (windowed_owner_) acquire_event_window();
}

// Threads that are held up in a delivery running below this call on this
// thread cannot move before it returns; destruction does not wait for them.
TAdvHttp::~TAdvHttp() {
    Aborting_ = true;
    ::SetEvent(abort_event_.get());
    const std::vector<DWORD> unwaited = detach_from_threads(threads_held_by_this_one());
    release_parked_worker(nullptr, 0);
    wait_for_workers(unwaited);
    close_request();
    session_.reset();
    if (windowed_owner_) release_event_window();
}

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

void TAdvHttp::on_status(DWORD status, const void* info, DWORD length) {
    auto set_server_info = [&] {
        std::lock_guard lock(info_mutex_);
        ServerInfo_ = text_info(info, length);
    };
    switch (status) {
        case INTERNET_STATUS_RESOLVING_NAME: raise(OnResolvingName); break;
        case INTERNET_STATUS_NAME_RESOLVED: set_server_info(); raise(OnNameResolved); break;
        case INTERNET_STATUS_CONNECTING_TO_SERVER: set_server_info(); raise(OnConnectingToServer); break;
        case INTERNET_STATUS_CONNECTED_TO_SERVER: set_server_info(); raise(OnConnectedToServer); break;
        case INTERNET_STATUS_SENDING_REQUEST: raise(OnSendingRequest); break;
        case INTERNET_STATUS_REQUEST_SENT:
            BytesSent_ = number_info(info, length);
            raise(OnRequestSent);
            break;
        case INTERNET_STATUS_RECEIVING_RESPONSE: raise(OnReceivingResponse); break;
        case INTERNET_STATUS_RESPONSE_RECEIVED:
            ResponseBytes_ = number_info(info, length);
            TotalResponseBytes_ += ResponseBytes_;
            raise(OnResponseReceived);
            break;
        case INTERNET_STATUS_CLOSING_CONNECTION: raise(OnClosingConnection); break;
        case INTERNET_STATUS_CONNECTION_CLOSED: raise(OnConnectionClosed); break;
        case INTERNET_STATUS_REDIRECT: {
            std::lock_guard lock(info_mutex_);
            RedirectURL_ = text_info(info, length);
        }
            raise(OnRedirect);
            break;
        case INTERNET_STATUS_INTERMEDIATE_RESPONSE: raise(OnIntermediateResponse); break;
        case INTERNET_STATUS_STATE_CHANGE: raise(OnStateChange); break;
        default: break;
    }
}

// WinInet follows redirects inside the pending send. One past MaxRedirects
// ends the send here, on WinInet's thread, as a failed send ends: the send's
// completion is claimed so that no worker starts, and closing the handles
// stops WinInet. A send the worker waits for (an authentication round) is
// left to its own bounds.
void TAdvHttp::limit_redirects(request_link& link) {
    if (MaxRedirects_ == 0 || ++redirects_ <= MaxRedirects_) return;
    pending_kind expected = pending_kind::start_worker;
    if (!link.pending.compare_exchange_strong(expected, pending_kind::none)) return;
    worker_step([&] { report_failure(kTooManyRedirects); });
    close_request();
    end_request(link.serial);
}

std::string TAdvHttp::ServerInfo() const {
    std::lock_guard lock(info_mutex_);
    return ServerInfo_;
}

std::string TAdvHttp::RedirectURL() const {
    std::lock_guard lock(info_mutex_);
    return RedirectURL_;
}

// ---- Checking WinInet calls ----

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

bool TAdvHttp::report_inet(BOOL ok) {
    LastError_ = 0;
    if (ok) return true;
    report_failure(::GetLastError());
    return false;
}

void TAdvHttp::report_failure(DWORD code) {
    LastError_ = code;
    if (code == 0 || code == ERROR_IO_PENDING) return;
    if (request_failure_ == 0) request_failure_ = code;
    raise(OnError);
}

// The caller has no result to go on with, so a failed call throws whatever
// its code: a 0 or ERROR_IO_PENDING left behind must not pass as success.
void TAdvHttp::require_inet(BOOL ok) {
    if (report_inet(ok)) return;
    const DWORD code = LastError_;
    throw EInetError(code, inet_error_text(code));
}

// ---- Properties ----

std::string TAdvHttp::Text() const { return text_until_zero(ResponseStream_); }

// Every request property changes here: refused while a request owns the
// component (see the header); then stored, and should the follow-up (splitting
// or rebuilding the address, reopening the session) fail, the old value returns.
template <class T, class FollowUp>
void TAdvHttp::set_property(T& field, T value, FollowUp follow_up) {
    try {
        refuse_while_request_runs();
        T old = std::exchange(field, std::move(value));
        try {
            follow_up();
        } catch (const request_abandoned&) {
            throw;
        } catch (...) {
            field = std::move(old);
            throw;
        }
    } catch (const request_abandoned&) {
        // An OnError handler destroyed the component; nothing of it is left to touch.
    } catch (...) {
        if (RaiseExceptions_) throw;
    }
}

template <class T>
void TAdvHttp::set_property(T& field, T value) {
    set_property(field, std::move(value), [] {});
}

// While Busy, only a handler that the request's response steps wait for may
// change it: its processing thread stands still until the handler returns.
void TAdvHttp::refuse_while_request_runs() const {
    const unsigned running = busy_serial_;
    if (running == 0) return;
    if (handler_here(this, [&](const handler_frame& f) { return f.processing == running; })) return;
    throw EInetError(0, "A request is in progress");
}

void TAdvHttp::SetConnectTimeout(int value) { set_property(ConnectTimeout_, value); }
void TAdvHttp::SetDefaultUi(bool value) { set_property(DefaultUi_, value); }
void TAdvHttp::SetRequestHeaders(const std::vector<std::string>& lines) { set_property(RequestHeaders_, lines); }
void TAdvHttp::SetAcceptTypes(const std::vector<std::string>& lines) { set_property(AcceptTypes_, lines); }
void TAdvHttp::SetMethod(const std::string& value) { set_property(Method_, value); }
void TAdvHttp::SetText(const std::string& value) { set_property(RequestStream_, value); }
void TAdvHttp::SetAuthRetries(int value) { set_property(AuthRetries_, value); }
void TAdvHttp::SetMaxResponseSize(std::size_t value) { set_property(MaxResponseSize_, value); }
void TAdvHttp::SetMaxRedirects(int value) { set_property(MaxRedirects_, value); }

void TAdvHttp::SetInternetFlags(internet_flag_set value) {
    set_property(InternetFlags_, value, [this] { RequestFlags_ = request_flags_for(InternetFlags_); });
}

void TAdvHttp::SetURL(const std::string& value) {
    set_property(URL_, value, [this] { split_url(URL_); });
}

void TAdvHttp::SetHostName(const std::string& value) { set_property(HostName_, value, [this] { rebuild_url(); }); }
void TAdvHttp::SetURLPath(const std::string& value) { set_property(URLPath_, value, [this] { rebuild_url(); }); }
void TAdvHttp::SetPort(int value) { set_property(Port_, value, [this] { rebuild_url(); }); }
void TAdvHttp::SetSSL(bool value) { set_property(SSL_, value, [this] { rebuild_url(); }); }

void TAdvHttp::SetExtraInfo(const std::string& value) {
    set_property(ExtraInfo_, normalize_extra_info(value), [this] { rebuild_url(); });
}

void TAdvHttp::SetUserName(const std::string& value) {
    set_property(UserName_, value, [this] { pass_to_connection(INTERNET_OPTION_USERNAME, UserName_); });
}

void TAdvHttp::SetPassword(const std::string& value) {
    set_property(Password_, value, [this] { pass_to_connection(INTERNET_OPTION_PASSWORD, Password_); });
}

void TAdvHttp::SetProxyUserName(const std::string& value) {
    set_property(ProxyUserName_, value, [this] { pass_to_connection(INTERNET_OPTION_PROXY_USERNAME, ProxyUserName_); });
}

void TAdvHttp::SetProxyPassword(const std::string& value) {
    set_property(ProxyPassword_, value, [this] { pass_to_connection(INTERNET_OPTION_PROXY_PASSWORD, ProxyPassword_); });
}

void TAdvHttp::SetUserAgent(const std::string& value) {
    set_property(UserAgent_, value, [this] { reopen_session_if_open(); });
}

void TAdvHttp::SetProxy(const std::string& value) {
    set_property(Proxy_, value, [this] { reopen_session_if_open(); });
}

void TAdvHttp::split_url(const std::string& url) {
    const auto parts = crack_url(url);
    require_inet(parts.has_value());
    // The scheme is judged first, so that a refused address changes nothing.
    if (parts->scheme != INTERNET_SCHEME_HTTP && parts->scheme != INTERNET_SCHEME_HTTPS)
        throw EInetError(0, "Invalid protocol");
    HostName_ = parts->host;
    URLPath_ = parts->path;
    ExtraInfo_ = parts->extra;
    if (parts->scheme == INTERNET_SCHEME_HTTPS) SSL_ = true;
    Port_ = parts->port;
    if (!parts->user.empty()) SetUserName(parts->user);
    if (!parts->password.empty()) SetPassword(parts->password);
}

void TAdvHttp::rebuild_url() {
    const auto combined = combine_url(url_base(SSL_, HostName_, Port_), URLPath_ + ExtraInfo_);
    require_inet(combined.has_value());
    URL_ = *combined;
}

// An empty value is no credential; handing it over would make WinInet answer
// a challenge with empty credentials, one extra round trip per challenge.
void TAdvHttp::pass_to_connection(DWORD option, const std::string& value) {
    if (!connection_ || value.empty()) return;
    ::InternetSetOptionA(connection_.get(), option, const_cast<char*>(value.c_str()), static_cast<DWORD>(value.size()));
}

// A running request keeps its session; the next Execute opens the new one.
void TAdvHttp::reopen_session_if_open() {
    if (!session_) return;
    if (Busy()) {
        session_stale_ = true;
        return;
    }
    open_session();
}

// ---- Which request owns the component ----

// Idle, or called from the running request's own OnRequestComplete handler:
// that request has closed its handles, and its processing thread touches
// nothing more once the handler returns. Returns the new request, or 0.
unsigned TAdvHttp::claim_request() {
    unsigned serial = ++last_serial_;
    if (serial == 0) serial = ++last_serial_;
    unsigned running = 0;
    if (busy_serial_.compare_exchange_strong(running, serial)) return serial;
    if (!handler_here(this, [&](const handler_frame& f) { return f.completing == running; })) return 0;
    return busy_serial_.compare_exchange_strong(running, serial) ? serial : 0;
}

// One step, so that a request that has ended can never release a newer one.
void TAdvHttp::end_request(unsigned serial) noexcept {
    busy_serial_.compare_exchange_strong(serial, 0);
}

// ---- Request side ----

void TAdvHttp::open_session() {
    session_.reset();
    HINTERNET session =
        Proxy_.empty()
            ? ::InternetOpenA(UserAgent_.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, OpenFlags_)
            : ::InternetOpenA(UserAgent_.c_str(), INTERNET_OPEN_TYPE_PROXY, Proxy_.c_str(), nullptr, OpenFlags_);
    require_inet(session != nullptr);
    session_.reset(session);
    session_open_flags_ = OpenFlags_;
    session_stale_ = false;
    require_inet(::InternetSetStatusCallback(session, &advhttp_status_callback) != INTERNET_INVALID_STATUS_CALLBACK);
}

bool TAdvHttp::Execute(bool Blocking) {
    const unsigned serial = claim_request();
    if (serial == 0) {
        if (RaiseExceptions_) throw EInetError(0, "A request is already in progress");
        return false;
    }
    try {
        const processing_scope processing(*this, serial);
        start_request(Blocking, serial);
        return !Blocking || finish_blocking(serial);
    } catch (const request_abandoned&) {
        return false;  // a handler destroyed the component
    } catch (...) {
        if (owns(serial)) {
            close_request();
            end_request(serial);
        }
        if (RaiseExceptions_) throw;
        return false;
    }
}

void TAdvHttp::start_request(bool blocking, unsigned serial) {
    OpenFlags_ = blocking ? 0 : INTERNET_FLAG_ASYNC;
    Aborting_ = false;
    redirects_ = 0;
    TotalResponseBytes_ = 0;
    TotalBytesRead_ = 0;
    ResponseBytes_ = 0;
    ChunkSize_ = 0;
    request_failure_ = 0;
    ResponseStream_.clear();
    // A session opened for the other mode would never complete (or never block).
    if (!session_ || session_stale_ || session_open_flags_ != OpenFlags_) open_session();
    connection_.reset(::InternetConnectA(session_.get(), HostName_.c_str(), static_cast<INTERNET_PORT>(Port_),
                                         nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    require_inet(connection_ ? TRUE : FALSE);
    DWORD timeout = static_cast<DWORD>(ConnectTimeout_);
    ::InternetSetOptionA(connection_.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    open_request(serial);
    RetryCount_ = 0;
    pass_to_connection(INTERNET_OPTION_USERNAME, UserName_);
    pass_to_connection(INTERNET_OPTION_PASSWORD, Password_);
    if (!blocking) park_worker(serial);
    send_first(blocking, serial);
}

void TAdvHttp::open_request(unsigned serial) {
    const std::string object = URLPath_ + ExtraInfo_;
    auto accept = accept_type_array(AcceptTypes_);
    auto link = std::make_unique<request_link>(cell_, serial);
    HINTERNET request = ::HttpOpenRequestA(connection_.get(), Method_.c_str(), object.c_str(), nullptr, nullptr,
                                           accept.empty() ? nullptr : accept.data(),
                                           open_request_flags(RequestFlags_, SSL_),
                                           reinterpret_cast<DWORD_PTR>(link.get()));
    require_inet(request != nullptr);
    request_.reset(request);
    link_ = link.release();  // WinInet's now, until the handle's closing notification
}

// Sends from copies held by the request's link, so that a pending send never
// reads a RequestStream that Text has replaced meanwhile.
BOOL TAdvHttp::send_request() {
    std::string& headers = link_->sent_headers;
    std::string& body = link_->sent_body;
    headers = request_header_block(RequestHeaders_);
    body = RequestStream_;
    return guarded_inet_call([&] {
        return ::HttpSendRequestA(request_.get(), headers.empty() ? nullptr : headers.c_str(),
                                  static_cast<DWORD>(headers.size()), body.empty() ? nullptr : body.data(),
                                  static_cast<DWORD>(body.size()));
    });
}

void TAdvHttp::send_first(bool blocking, unsigned serial) {
    if (blocking) {
        require_inet(send_request());
        return;
    }
    request_link& link = *link_;
    link.pending = pending_kind::start_worker;
    const BOOL ok = send_request();
    const DWORD error = ok ? 0 : ::GetLastError();
    if (!ok && error == ERROR_IO_PENDING) return;  // the completion starts the worker
    if (link.pending.exchange(pending_kind::none) != pending_kind::start_worker) return;
    ::SetLastError(error);
    require_inet(ok);
    if (!start_worker(INTERNET_ASYNC_RESULT{1, 0}, serial)) throw EInetError(LastError_, inet_error_text(LastError_));
}

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

void TAdvHttp::close_request() noexcept {
    release_parked_worker(nullptr, 0);  // a request that ends before its send completed
    if (link_) link_->closed = true;
    link_ = nullptr;
    request_.reset();
    connection_.reset();
    Aborting_ = false;
}

// ---- Response side ----

// The blocking request's response, on the caller's thread: its events as the
// worker raises them, a handler's error to the caller, and any failed step
// fails Execute.
bool TAdvHttp::finish_blocking(unsigned serial) {
    const bool complete = read_response();
    close_request();
    const DWORD failure = request_failure_;
    if (complete) raise(OnRequestComplete, serial);
    end_request(serial);
    if (failure == 0) return true;
    if (RaiseExceptions_) throw EInetError(failure, inet_error_text(failure));
    return false;
}

// The request stays Busy until its completion has been delivered, so that
// nothing can start another request while this one's last event is on its way.
void TAdvHttp::run_worker(const INTERNET_ASYNC_RESULT& sent, unsigned serial) {
    const processing_scope processing(*this, serial);
    bool complete = false;
    const bool ran = worker_step([&] {
        if (sent.dwResult != 0) {
            complete = read_response();
        } else {
            report_failure(sent.dwError);
        }
    });
    // A handler's error ended the reading; what was read completes all the same.
    if (!ran) complete = sent.dwResult != 0 && LastError_ != ERROR_INTERNET_OPERATION_CANCELLED;
    close_request();
    if (complete) worker_step([&] { raise(OnRequestComplete, serial); });
    end_request(serial);
}

// Status, authentication rounds, headers and body; whether OnRequestComplete is due.
bool TAdvHttp::read_response() {
    while (status_needs_auth())
        if (!retry_authentication()) return false;
    read_headers();
    read_body();
    return LastError_ != ERROR_INTERNET_OPERATION_CANCELLED;
}

// In non-blocking mode the next call on the request may complete later; arm
// the link first, so that a completion that comes early still wakes us.
void TAdvHttp::arm_for_worker() noexcept {
    if (OpenFlags_ & INTERNET_FLAG_ASYNC) link_->pending = pending_kind::wake_worker;
}

bool TAdvHttp::finish_worker_call(BOOL ok) {
    if (!(OpenFlags_ & INTERNET_FLAG_ASYNC)) return report_inet(ok);
    request_link& link = *link_;
    const DWORD error = ok ? 0 : ::GetLastError();
    if (ok || error != ERROR_IO_PENDING) {
        // Finished at once; should a completion have been sent anyway, take it.
        if (link.pending.exchange(pending_kind::none) == pending_kind::none)
            ::WaitForSingleObject(link.completed.get(), INFINITE);
        ::SetLastError(error);
        return report_inet(ok);
    }
    const HANDLE waits[] = {link.completed.get(), abort_event_.get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return false;
    // A failed pending read or send ends like a failed call; a zero result
    // without an error is a read that met the end of the body.
    if (link.result.dwResult == 0 && link.result.dwError != 0) {
        report_failure(link.result.dwError);
        return false;
    }
    LastError_ = 0;
    return true;
}

bool TAdvHttp::status_needs_auth() {
    DWORD code = 0;
    DWORD size = sizeof code;
    DWORD index = 0;
    if (!report_inet(::HttpQueryInfoA(request_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                                      &size, &index)))
        return false;
    StatusCode_ = code;
    if (code == HTTP_STATUS_DENIED) {
        raise(OnNeedAuth);
        return true;
    }
    if (code == HTTP_STATUS_PROXY_AUTH_REQ) {
        raise(OnNeedProxyAuth);
        return true;
    }
    return false;
}

bool TAdvHttp::retry_authentication() {
    if (RetryCount_ >= AuthRetries_) {
        give_up_authentication();
        return false;
    }
    if (DefaultUi_) {
        const DWORD answer = ask_for_credentials();
        if (answer == ERROR_SUCCESS || answer == ERROR_CANCELLED) {
            give_up_authentication();
            return false;
        }
    }
    ++RetryCount_;
    if (Aborting_) return false;
    arm_for_worker();
    return finish_worker_call(send_request());
}

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

void TAdvHttp::give_up_authentication() { report_failure(ERROR_INTERNET_OPERATION_CANCELLED); }

void TAdvHttp::read_headers() {
    std::string block(kHeaderBufferSize, '\0');
    DWORD size = kHeaderBufferSize;
    DWORD index = 0;
    if (!report_inet(::HttpQueryInfoA(request_.get(), HTTP_QUERY_RAW_HEADERS_CRLF, block.data(), &size, &index)))
        return;
    block.resize(size < kHeaderBufferSize ? size : kHeaderBufferSize);
    const std::vector<std::string_view> lines = text::split_lines(block);
    ResponseHeaders_.assign(lines.begin(), lines.end());
}

void TAdvHttp::read_body() {
    ResponseStream_.clear();
    DWORD bytes = 0;
    while (request_ && !Aborting_ && read_chunk(bytes) && bytes > 0 && store_chunk(bytes)) {
    }
}

bool TAdvHttp::read_chunk(DWORD& bytes) {
    request_link& link = *link_;
    link.bytes_read = 0;
    arm_for_worker();
    const BOOL ok = guarded_inet_call(
        [&] { return ::InternetReadFile(request_.get(), link.buffer.data(), kReadChunkSize, &link.bytes_read); });
    if (!finish_worker_call(ok)) return false;
    bytes = link.bytes_read < kReadChunkSize ? link.bytes_read : kReadChunkSize;
    return true;
}

// At the limit the part that fits is kept and delivered like any chunk; then
// the read ends as a failed one.
bool TAdvHttp::store_chunk(DWORD bytes) {
    const std::size_t held = ResponseStream_.size();
    const chunk_fit fit = fit_response_chunk(held, bytes, MaxResponseSize_);
    if (fit.kept > 0) {
        ChunkPosition_ = static_cast<DWORD>(held);
        ResponseStream_.append(link_->buffer.data(), fit.kept);
        ChunkSize_ = static_cast<DWORD>(fit.kept);
        TotalBytesRead_ += static_cast<DWORD>(fit.kept);
        raise(OnDataAvailable);
    }
    if (!fit.over_limit) return true;
    report_failure(kResponseTooLarge);
    return false;
}

}  // namespace flinter::net
