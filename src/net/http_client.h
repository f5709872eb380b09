// TAdvHttp: one HTTP request at a time over WinInet. Properties and Execute
// belong to the creating thread; WinInet's callback threads and the request
// worker hand every event to that thread through the hidden window (unless the
// owner is not windowed). Execute and the setters throw EInetError.
//
// A request owns the component from Execute until its last event has been
// delivered (Busy). Meanwhile Execute is refused, except from the request's
// own OnRequestComplete handler, which may start the next request; and a
// request property cannot change (EInetError, nothing changed), except from a
// handler that the response steps wait for (OnNeedAuth may give credentials
// for the retry). Handlers are set while no request runs.
// A handler may destroy the component, also while it runs a modal loop; what
// is still on its way is then dropped.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com/unique_res.h"
#include "core/net/http_rules.h"
#include "net/inet_error.h"

namespace flinter::net {

struct request_link;
struct owner_cell;
struct worker_start;

// Request handles WinInet has not yet said goodbye for, plus request workers
// not yet ended, over all components: each may still run this library's code,
// so the library must not unload while any is alive (DllCanUnloadNow).
long live_request_links() noexcept;

// A windowed owner gets its events on the creating thread; any other owner
// gets them on whichever thread raised them.
enum class owner_kind { windowed, plain };

class TAdvHttp {
public:
    using TNotifyEvent = std::function<void(TAdvHttp& sender)>;

    // LastError when the response outgrows MaxResponseSize.
    static constexpr DWORD kResponseTooLarge = ERROR_BUFFER_OVERFLOW;
    // LastError when a non-blocking request is redirected more than MaxRedirects times.
    static constexpr DWORD kTooManyRedirects = ERROR_HTTP_REDIRECT_FAILED;

    explicit TAdvHttp(owner_kind owner = owner_kind::windowed);
    // Waits for a running worker (processing sent messages meanwhile), except
    // one held up by a delivery below this call; nor does it wait for a thread
    // in WinInet's credential dialog, whose dialog it cancels. Then closes the
    // handles. No event runs once destruction has begun, and a thread not
    // waited for touches nothing of the component afterwards. WinInet may
    // answer an abandoned read later; its request link lives on until then
    // (live_request_links).
    ~TAdvHttp();
    TAdvHttp(const TAdvHttp&) = delete;
    TAdvHttp& operator=(const TAdvHttp&) = delete;

    int ConnectTimeout() const noexcept { return ConnectTimeout_; }
    void SetConnectTimeout(int value);
    bool RaiseExceptions() const noexcept { return RaiseExceptions_; }
    void SetRaiseExceptions(bool value) noexcept { RaiseExceptions_ = value; }
    const std::string& UserAgent() const noexcept { return UserAgent_; }
    void SetUserAgent(const std::string& value);
    const std::string& Proxy() const noexcept { return Proxy_; }
    void SetProxy(const std::string& value);
    bool SSL() const noexcept { return SSL_; }
    void SetSSL(bool value);
    const std::string& URL() const noexcept { return URL_; }
    void SetURL(const std::string& value);
    const std::string& URLPath() const noexcept { return URLPath_; }
    void SetURLPath(const std::string& value);
    const std::string& ExtraInfo() const noexcept { return ExtraInfo_; }
    void SetExtraInfo(const std::string& value);
    int Port() const noexcept { return Port_; }
    void SetPort(int value);
    const std::string& UserName() const noexcept { return UserName_; }
    void SetUserName(const std::string& value);
    const std::string& Password() const noexcept { return Password_; }
    void SetPassword(const std::string& value);
    const std::string& ProxyUserName() const noexcept { return ProxyUserName_; }
    void SetProxyUserName(const std::string& value);
    const std::string& ProxyPassword() const noexcept { return ProxyPassword_; }
    void SetProxyPassword(const std::string& value);
    const std::string& HostName() const noexcept { return HostName_; }
    void SetHostName(const std::string& value);
    bool DefaultUi() const noexcept { return DefaultUi_; }
    void SetDefaultUi(bool value);
    const std::vector<std::string>& RequestHeaders() const noexcept { return RequestHeaders_; }
    void SetRequestHeaders(const std::vector<std::string>& lines);
    const std::vector<std::string>& AcceptTypes() const noexcept { return AcceptTypes_; }
    void SetAcceptTypes(const std::vector<std::string>& lines);
    const std::string& Method() const noexcept { return Method_; }
    void SetMethod(const std::string& value);
    // Get: the response body up to its first zero byte. Set: the request body.
    std::string Text() const;
    void SetText(const std::string& value);
    int AuthRetries() const noexcept { return AuthRetries_; }
    void SetAuthRetries(int value);
    internet_flag_set InternetFlags() const noexcept { return InternetFlags_; }
    void SetInternetFlags(internet_flag_set value);
    // The most response bytes kept; 0 keeps everything. Reaching it ends the
    // read like a failed read: OnError, then OnRequestComplete with what was kept.
    std::size_t MaxResponseSize() const noexcept { return MaxResponseSize_; }
    void SetMaxResponseSize(std::size_t value);
    // The most redirects a non-blocking request follows; 0 leaves it to WinInet
    // (Wine's follows a loop without end). One more ends the request like a
    // failed send: OnError with kTooManyRedirects, no OnRequestComplete.
    int MaxRedirects() const noexcept { return MaxRedirects_; }
    void SetMaxRedirects(int value);

    // Blocking: carries the request out on this thread; any failed step (also
    // a failed query or read, or authentication given up) fails it, after the
    // events a non-blocking request would raise. Non-blocking: starts it and
    // returns; events follow. False on failure when RaiseExceptions is false;
    // a second Execute while Busy is refused the same way.
    bool Execute(bool Blocking);

    // Run-time state; stable for event handlers and once Busy is false.
    HINTERNET SessionHandle() const noexcept { return session_.get(); }
    HINTERNET ConnectionHandle() const noexcept { return connection_.get(); }
    HINTERNET RequestHandle() const noexcept { return request_.get(); }
    DWORD OpenFlags() const noexcept { return OpenFlags_; }
    DWORD RequestFlags() const noexcept { return RequestFlags_; }
    DWORD LastError() const noexcept { return LastError_; }
    DWORD StatusCode() const noexcept { return StatusCode_; }
    const std::vector<std::string>& ResponseHeaders() const noexcept { return ResponseHeaders_; }
    const std::string& ResponseStream() const noexcept { return ResponseStream_; }
    const std::string& RequestStream() const noexcept { return RequestStream_; }
    std::string ServerInfo() const;
    std::string RedirectURL() const;
    DWORD BytesSent() const noexcept { return BytesSent_; }
    DWORD ResponseBytes() const noexcept { return ResponseBytes_; }
    DWORD TotalResponseBytes() const noexcept { return TotalResponseBytes_; }
    DWORD ChunkSize() const noexcept { return ChunkSize_; }
    DWORD TotalBytesRead() const noexcept { return TotalBytesRead_; }
    DWORD ChunkPosition() const noexcept { return ChunkPosition_; }
    int RetryCount() const noexcept { return RetryCount_; }
    bool Aborting() const noexcept { return Aborting_; }
    void SetAborting(bool value) noexcept { Aborting_ = value; }
    // From Execute until the request's last event has been delivered.
    bool Busy() const noexcept { return busy_serial_ != 0; }
    // True while a request worker has not yet ended (it ends just after the
    // request it served stops being Busy).
    bool WorkerRunning();

    TNotifyEvent OnResolvingName, OnNameResolved, OnConnectingToServer, OnConnectedToServer,
        OnSendingRequest, OnRequestSent, OnReceivingResponse, OnResponseReceived,
        OnClosingConnection, OnConnectionClosed, OnRedirect, OnIntermediateResponse, OnStateChange,
        OnNeedAuth, OnNeedProxyAuth, OnDataAvailable, OnRequestComplete, OnError;

private:
    friend void CALLBACK advhttp_status_callback(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) noexcept;
    friend DWORD WINAPI advhttp_worker_main(void* param) noexcept;

    // Events: `completing` names the request whose OnRequestComplete it is.
    struct raise_context;
    void raise(const TNotifyEvent& handler, unsigned completing = 0);
    static void run_handler(void* context);
    void on_status(DWORD status, const void* info, DWORD length);
    void limit_redirects(request_link& link);

    // WinInet call results: record LastError, raise OnError on a real failure.
    template <class Call>
    auto guarded_inet_call(Call call);
    bool report_inet(BOOL ok);
    void report_failure(DWORD code);
    void require_inet(BOOL ok);

    // Properties
    template <class T, class FollowUp>
    void set_property(T& field, T value, FollowUp follow_up);
    template <class T>
    void set_property(T& field, T value);
    void refuse_while_request_runs() const;
    void split_url(const std::string& url);
    void rebuild_url();
    void pass_to_connection(DWORD option, const std::string& value);

    // Which request owns the component (0: none)
    unsigned claim_request();
    bool owns(unsigned serial) const noexcept { return busy_serial_ == serial; }
    void end_request(unsigned serial) noexcept;

    // Request side
    void open_session();
    void reopen_session_if_open();
    void start_request(bool blocking, unsigned serial);
    void open_request(unsigned serial);
    BOOL send_request();
    void send_first(bool blocking, unsigned serial);
    void park_worker(unsigned serial) noexcept;
    bool release_parked_worker(const INTERNET_ASYNC_RESULT* sent, unsigned serial) noexcept;
    bool start_worker(const INTERNET_ASYNC_RESULT& sent, unsigned serial);
    void hand_over_to_worker(const INTERNET_ASYNC_RESULT& sent, unsigned serial);
    void reap_finished_workers();
    void close_request() noexcept;

    // Response side
    bool finish_blocking(unsigned serial);
    void run_worker(const INTERNET_ASYNC_RESULT& sent, unsigned serial);
    bool read_response();
    void arm_for_worker() noexcept;
    bool finish_worker_call(BOOL ok);
    bool status_needs_auth();
    bool retry_authentication();
    DWORD ask_for_credentials();
    void give_up_authentication();
    void read_headers();
    void read_body();
    bool read_chunk(DWORD& bytes);
    bool store_chunk(DWORD bytes);

    // Destruction
    std::vector<DWORD> threads_held_by_this_one() const;
    std::vector<DWORD> detach_from_threads(std::vector<DWORD> unwaited);
    void wait_for_workers(const std::vector<DWORD>& unwaited) noexcept;

    int ConnectTimeout_ = 30000;
    bool RaiseExceptions_ = true;
    std::string UserAgent_ = "Orvalis WinInet Component";
    std::string Proxy_;
    bool SSL_ = false;
    std::string URL_, URLPath_, ExtraInfo_;
    int Port_ = 80;
    std::string UserName_, Password_, ProxyUserName_, ProxyPassword_;
    std::string HostName_ = "localhost";
    bool DefaultUi_ = true;
    std::vector<std::string> RequestHeaders_, AcceptTypes_;
    std::string Method_ = "GET";
    int AuthRetries_ = 3;
    internet_flag_set InternetFlags_ = default_internet_flags();
    std::size_t MaxResponseSize_ = 0;
    int MaxRedirects_ = 0;

    unique_hinternet session_, connection_, request_;
    DWORD session_open_flags_ = 0;
    bool session_stale_ = false;
    DWORD OpenFlags_ = 0;
    DWORD RequestFlags_ = 0;
    std::atomic<DWORD> LastError_{0};
    DWORD StatusCode_ = 0;
    std::vector<std::string> ResponseHeaders_;
    std::string ResponseStream_, RequestStream_;
    mutable std::mutex info_mutex_;  // status texts come from WinInet's threads
    std::string ServerInfo_, RedirectURL_;
    std::atomic<DWORD> BytesSent_{0}, ResponseBytes_{0}, TotalResponseBytes_{0};
    DWORD ChunkSize_ = 0, TotalBytesRead_ = 0, ChunkPosition_ = 0;
    int RetryCount_ = 0;
    std::atomic<int> redirects_{0};  // followed by the running request
    std::atomic<bool> Aborting_{false};
    std::atomic<unsigned> busy_serial_{0}, last_serial_{0};
    DWORD request_failure_ = 0;  // the request's first reported failure

    const bool windowed_owner_;
    std::shared_ptr<owner_cell> cell_;
    request_link* link_ = nullptr;  // the open request's callback context
    unique_handle abort_event_;
    struct worker_thread {
        unique_handle handle;
        DWORD id;
    };
    std::mutex workers_mutex_;
    std::vector<worker_thread> workers_;
    worker_start* parked_ = nullptr;  // the running request's worker, not yet handed the request
    worker_thread parked_thread_{};
};

}  // namespace flinter::net
