// TAdvHttp's request and response sides. Three kinds of thread meet here: the
// creating thread (properties, Execute, every handler), WinInet's callback
// threads and the request worker; the last two only hand events over. The
// threads themselves, and what keeps them safe from the component's
// destruction, are in http_client_lifetime.cpp.
#include "net/http_client.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cwchar>
#include <utility>

#include "com/hresult_error.h"
#include "core/text/ascii.h"
#include "net/event_window.h"
#include "net/http_client_lifetime.h"
#include "net/url_parts.h"

namespace flinter::net {
namespace {

constexpr DWORD kHeaderBufferSize = 8192;

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

// ---- Events ----

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
