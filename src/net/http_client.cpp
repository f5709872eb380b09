// TAdvHttp's request and response sides. Three kinds of thread meet here: the
// creating thread (properties, Execute, every handler), WinInet's callback
// threads and the request worker; the last two only hand events over.
#include "net/http_client.h"

#include <array>
#include <cstring>

#include "com/hresult_error.h"
#include "core/text/ascii.h"
#include "net/event_window.h"
#include "net/url_parts.h"

namespace flinter::net {

// Who the WinInet callbacks may reach: the component until it detaches, and
// how many callbacks are inside it, so that destruction can wait for them.
struct owner_cell {
    explicit owner_cell(TAdvHttp* o)
        : owner(o),
          idle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          no_links(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
        check_win32(idle && no_links ? TRUE : FALSE);
    }
    std::mutex mutex;
    TAdvHttp* owner;
    int active = 0;
    unique_handle idle;
    int links = 0;  // request handles WinInet has not yet said goodbye for
    unique_handle no_links;
};

enum class pending_kind { none, start_worker, wake_worker };

constexpr DWORD kReadChunkSize = 16384;

// The context WinInet holds for one request handle. It lives until WinInet's
// last notification for that handle (INTERNET_STATUS_HANDLE_CLOSING), so a
// late completion always finds its read buffer and event, even after the
// component is gone.
struct request_link {
    explicit request_link(std::shared_ptr<owner_cell> c)
        : cell(std::move(c)), completed(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        check_win32(completed ? TRUE : FALSE);
        std::lock_guard lock(cell->mutex);
        if (cell->links++ == 0) ::ResetEvent(cell->no_links.get());
    }
    ~request_link() {
        std::lock_guard lock(cell->mutex);
        if (--cell->links == 0) ::SetEvent(cell->no_links.get());
    }
    request_link(const request_link&) = delete;
    request_link& operator=(const request_link&) = delete;
    std::shared_ptr<owner_cell> cell;
    std::atomic<pending_kind> pending{pending_kind::none};
    INTERNET_ASYNC_RESULT result{};
    unique_handle completed;
    std::array<char, kReadChunkSize> buffer{};
    DWORD bytes_read = 0;
    // WinInet may read a pending send's data after HttpSendRequestA returned.
    std::string sent_headers, sent_body;
};

namespace {

constexpr DWORD kHeaderBufferSize = 8192;
// How long destruction waits for WinInet's last notifications, which reach
// this library's code even after the component is gone.
constexpr DWORD kHandleClosingWait = 2000;
constexpr DWORD kWorkerStackSize = 8192;

struct worker_start {
    TAdvHttp* owner;
    INTERNET_ASYNC_RESULT sent;
};

void log_at_boundary(const char* where) noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        ::OutputDebugStringA(where);
        ::OutputDebugStringA(e.what());
    } catch (...) {
        ::OutputDebugStringA(where);
    }
}

// Keeps the component reachable for one callback, or finds it detached.
class callback_pin {
public:
    explicit callback_pin(owner_cell& cell) : cell_(cell) {
        std::lock_guard lock(cell_.mutex);
        owner_ = cell_.owner;
        if (owner_) ++cell_.active;
    }
    ~callback_pin() {
        if (!owner_) return;
        std::lock_guard lock(cell_.mutex);
        if (--cell_.active == 0 && !cell_.owner) ::SetEvent(cell_.idle.get());
    }
    callback_pin(const callback_pin&) = delete;
    callback_pin& operator=(const callback_pin&) = delete;
    TAdvHttp* owner() const noexcept { return owner_; }

private:
    owner_cell& cell_;
    TAdvHttp* owner_ = nullptr;
};

// Waits for a handle while running the messages sent to this thread, so that
// an event delivery in flight cannot dead-lock against the wait.
void wait_processing_sent_messages(HANDLE handle) noexcept {
    while (::MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
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

// Closes the request's handles when processing ends by any road, unless a
// newer request (started from a completion handler) owns them by then.
class TAdvHttp::request_closer {
public:
    explicit request_closer(TAdvHttp& owner) : owner_(owner), serial_(owner.request_serial_) {}
    ~request_closer() {
        if (owner_.request_serial_ == serial_) owner_.close_request();
    }
    request_closer(const request_closer&) = delete;
    request_closer& operator=(const request_closer&) = delete;

private:
    TAdvHttp& owner_;
    unsigned serial_;
};

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
                callback_pin pin(*link->cell);
                if (pin.owner()) pin.owner()->start_worker(result);
                return;
            }
            case pending_kind::none:
                return;
        }
        return;
    }
    callback_pin pin(*link->cell);
    if (pin.owner()) pin.owner()->on_status(status, info, length);
} catch (...) {
    log_at_boundary("TAdvHttp status callback: ");
}

DWORD WINAPI advhttp_worker_main(void* param) noexcept {
    std::unique_ptr<worker_start> start(static_cast<worker_start*>(param));
    try {
        start->owner->run_worker(start->sent);
    } catch (...) {
        log_at_boundary("TAdvHttp request worker: ");
    }
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

TAdvHttp::~TAdvHttp() {
    destroying_ = true;
    Aborting_ = true;
    ::SetEvent(abort_event_.get());
    detach_from_callbacks();
    wait_for_workers();
    close_request();
    session_.reset();
    wait_for_handles_closing();
    if (windowed_owner_) release_event_window();
}

// An abandoned read or send keeps its handle alive in WinInet until the server
// answers; the wait is bounded so that a silent server cannot hold us here.
void TAdvHttp::wait_for_handles_closing() noexcept {
    const ULONGLONG end = ::GetTickCount64() + kHandleClosingWait;
    for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
        const HANDLE no_links = cell_->no_links.get();
        const DWORD r = ::MsgWaitForMultipleObjects(1, &no_links, FALSE, static_cast<DWORD>(end - now), QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void TAdvHttp::detach_from_callbacks() noexcept {
    {
        std::lock_guard lock(cell_->mutex);
        cell_->owner = nullptr;
        if (cell_->active == 0) return;
    }
    wait_processing_sent_messages(cell_->idle.get());
}

void TAdvHttp::wait_for_workers() noexcept {
    std::vector<unique_handle> workers;
    {
        std::lock_guard lock(workers_mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) wait_processing_sent_messages(worker.get());
}

void TAdvHttp::reap_finished_workers() {
    std::lock_guard lock(workers_mutex_);
    std::erase_if(workers_, [](const unique_handle& w) { return ::WaitForSingleObject(w.get(), 0) == WAIT_OBJECT_0; });
}

bool TAdvHttp::WorkerRunning() {
    reap_finished_workers();
    std::lock_guard lock(workers_mutex_);
    return !workers_.empty();
}

// ---- Events ----

void TAdvHttp::raise(const TNotifyEvent& handler) {
    if (destroying_ || !handler) return;
    if (!windowed_owner_) {
        handler(*this);
        return;
    }
    delivery d{[this, run = handler] {
                   if (!destroying_) run(*this);
               },
               nullptr};
    deliver_through_window(d);
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

std::string TAdvHttp::ServerInfo() const {
    std::lock_guard lock(info_mutex_);
    return ServerInfo_;
}

std::string TAdvHttp::RedirectURL() const {
    std::lock_guard lock(info_mutex_);
    return RedirectURL_;
}

// ---- Checking WinInet calls ----

bool TAdvHttp::report_inet(BOOL ok) {
    LastError_ = 0;
    if (ok) return true;
    report_failure(::GetLastError());
    return false;
}

void TAdvHttp::report_failure(DWORD code) {
    LastError_ = code;
    if (code != 0 && code != ERROR_IO_PENDING) raise(OnError);
}

void TAdvHttp::require_inet(BOOL ok) {
    if (report_inet(ok)) return;
    const DWORD code = LastError_;
    if (code != 0 && code != ERROR_IO_PENDING) throw EInetError(code, inet_error_text(code));
}

// ---- Properties ----

std::string TAdvHttp::Text() const { return text_until_zero(ResponseStream_); }

void TAdvHttp::SetInternetFlags(internet_flag_set value) noexcept {
    InternetFlags_ = value;
    RequestFlags_ = request_flags_for(value);
}

void TAdvHttp::guarded_setter(const std::function<void()>& change) {
    try {
        change();
    } catch (...) {
        if (RaiseExceptions_) throw;
    }
}

void TAdvHttp::SetURL(const std::string& value) {
    guarded_setter([&] {
        const std::string old = URL_;
        URL_ = value;
        try {
            split_url(value);
        } catch (...) {
            URL_ = old;
            throw;
        }
    });
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

void TAdvHttp::SetHostName(const std::string& value) {
    guarded_setter([&] {
        const std::string old = HostName_;
        HostName_ = value;
        try {
            rebuild_url();
        } catch (...) {
            HostName_ = old;
            throw;
        }
    });
}

void TAdvHttp::SetURLPath(const std::string& value) {
    guarded_setter([&] {
        const std::string old = URLPath_;
        URLPath_ = value;
        try {
            rebuild_url();
        } catch (...) {
            URLPath_ = old;
            throw;
        }
    });
}

void TAdvHttp::SetExtraInfo(const std::string& value) {
    guarded_setter([&] {
        const std::string old = ExtraInfo_;
        ExtraInfo_ = normalize_extra_info(value);
        try {
            rebuild_url();
        } catch (...) {
            ExtraInfo_ = old;
            throw;
        }
    });
}

void TAdvHttp::SetPort(int value) {
    Port_ = value;
    guarded_setter([&] { rebuild_url(); });
}

void TAdvHttp::SetSSL(bool value) {
    SSL_ = value;
    guarded_setter([&] { rebuild_url(); });
}

// An empty value is no credential; handing it over would make WinInet answer
// a challenge with empty credentials, one extra round trip per challenge.
void TAdvHttp::pass_option(HINTERNET handle, DWORD option, const std::string& value) {
    if (value.empty()) return;
    ::InternetSetOptionA(handle, option, const_cast<char*>(value.c_str()), static_cast<DWORD>(value.size()));
}

void TAdvHttp::SetUserName(const std::string& value) {
    UserName_ = value;
    if (connection_) pass_option(connection_.get(), INTERNET_OPTION_USERNAME, value);
}

void TAdvHttp::SetPassword(const std::string& value) {
    Password_ = value;
    if (connection_) pass_option(connection_.get(), INTERNET_OPTION_PASSWORD, value);
}

void TAdvHttp::SetProxyUserName(const std::string& value) {
    ProxyUserName_ = value;
    if (connection_) pass_option(connection_.get(), INTERNET_OPTION_PROXY_USERNAME, value);
}

void TAdvHttp::SetProxyPassword(const std::string& value) {
    ProxyPassword_ = value;
    if (connection_) pass_option(connection_.get(), INTERNET_OPTION_PROXY_PASSWORD, value);
}

void TAdvHttp::SetUserAgent(const std::string& value) {
    UserAgent_ = value;
    reopen_session_if_open();
}

void TAdvHttp::SetProxy(const std::string& value) {
    Proxy_ = value;
    reopen_session_if_open();
}

// A running request keeps its session; the next Execute opens the new one.
void TAdvHttp::reopen_session_if_open() {
    if (!session_) return;
    if (Busy_) {
        session_stale_ = true;
        return;
    }
    guarded_setter([&] { open_session(); });
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
    if (Busy_) {
        if (RaiseExceptions_) throw EInetError(0, "A request is already in progress");
        return false;
    }
    const unsigned serial = ++request_serial_;
    try {
        start_request(Blocking);
        return true;
    } catch (...) {
        if (request_serial_ == serial) close_request();
        if (RaiseExceptions_) throw;
        return false;
    }
}

void TAdvHttp::start_request(bool blocking) {
    OpenFlags_ = blocking ? 0 : INTERNET_FLAG_ASYNC;
    Busy_ = true;
    Aborting_ = false;
    TotalResponseBytes_ = 0;
    TotalBytesRead_ = 0;
    ResponseBytes_ = 0;
    ChunkSize_ = 0;
    ResponseStream_.clear();
    // A session opened for the other mode would never complete (or never block).
    if (!session_ || session_stale_ || session_open_flags_ != OpenFlags_) open_session();
    connection_.reset(::InternetConnectA(session_.get(), HostName_.c_str(), static_cast<INTERNET_PORT>(Port_),
                                         nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    require_inet(connection_ ? TRUE : FALSE);
    DWORD timeout = static_cast<DWORD>(ConnectTimeout_);
    ::InternetSetOptionA(connection_.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    open_request();
    RetryCount_ = 0;
    pass_option(connection_.get(), INTERNET_OPTION_USERNAME, UserName_);
    pass_option(connection_.get(), INTERNET_OPTION_PASSWORD, Password_);
    send_first(blocking);
    if (blocking) process_response();
}

void TAdvHttp::open_request() {
    const std::string object = URLPath_ + ExtraInfo_;
    auto accept = accept_type_array(AcceptTypes_);
    auto link = std::make_unique<request_link>(cell_);
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
    return ::HttpSendRequestA(request_.get(), headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), body.empty() ? nullptr : body.data(),
                              static_cast<DWORD>(body.size()));
}

void TAdvHttp::send_first(bool blocking) {
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
    start_worker(INTERNET_ASYNC_RESULT{1, 0});
}

void TAdvHttp::start_worker(const INTERNET_ASYNC_RESULT& sent) noexcept {
    try {
        reap_finished_workers();
        auto start = std::make_unique<worker_start>(worker_start{this, sent});
        DWORD id = 0;
        unique_handle worker(::CreateThread(nullptr, kWorkerStackSize, &advhttp_worker_main, start.get(), 0, &id));
        check_win32(worker ? TRUE : FALSE);
        start.release();  // the worker's now
        std::lock_guard lock(workers_mutex_);
        workers_.push_back(std::move(worker));
    } catch (...) {
        log_at_boundary("TAdvHttp cannot start its worker: ");
        LastError_ = ERROR_NOT_ENOUGH_MEMORY;
        close_request();
    }
}

void TAdvHttp::close_request() noexcept {
    link_ = nullptr;
    request_.reset();
    connection_.reset();
    Aborting_ = false;
    Busy_ = false;
}

// ---- Response side ----

void TAdvHttp::run_worker(const INTERNET_ASYNC_RESULT& sent) {
    request_closer closer(*this);
    if (sent.dwResult == 0) {
        report_failure(sent.dwError);
        return;
    }
    process_response();
}

void TAdvHttp::process_response() {
    request_closer closer(*this);
    while (status_needs_auth())
        if (!retry_authentication()) return;
    read_headers();
    read_body();
    if (LastError_ != ERROR_INTERNET_OPERATION_CANCELLED) raise(OnRequestComplete);
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
        void* data = nullptr;
        const DWORD answer = ::InternetErrorDlg(::GetDesktopWindow(), request_.get(), LastError_,
                                                FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                                    FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                                                &data);
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
    close_request();
}

bool TAdvHttp::read_chunk(DWORD& bytes) {
    request_link& link = *link_;
    link.bytes_read = 0;
    arm_for_worker();
    const BOOL ok = ::InternetReadFile(request_.get(), link.buffer.data(), kReadChunkSize, &link.bytes_read);
    if (!finish_worker_call(ok)) return false;
    bytes = link.bytes_read < kReadChunkSize ? link.bytes_read : kReadChunkSize;
    return true;
}

bool TAdvHttp::store_chunk(DWORD bytes) {
    const std::size_t held = ResponseStream_.size();
    const bool over = MaxResponseSize_ != 0 && held + bytes > MaxResponseSize_;
    const std::size_t kept = over ? MaxResponseSize_ - held : bytes;
    ChunkPosition_ = static_cast<DWORD>(held);
    ResponseStream_.append(link_->buffer.data(), kept);
    ChunkSize_ = static_cast<DWORD>(kept);
    TotalBytesRead_ += static_cast<DWORD>(kept);
    if (over) {
        report_failure(kResponseTooLarge);
        return false;
    }
    raise(OnDataAvailable);
    return true;
}

}  // namespace flinter::net
