// TAdvHttp: one HTTP request at a time over WinInet. Properties and Execute
// belong to the creating thread; WinInet's callback threads and the request
// worker hand every event to that thread through the hidden window (unless the
// owner is not windowed). Execute and the setters throw EInetError.
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

// A windowed owner gets its events on the creating thread; any other owner
// gets them on whichever thread raised them.
enum class owner_kind { windowed, plain };

class TAdvHttp {
public:
    using TNotifyEvent = std::function<void(TAdvHttp& sender)>;

    // LastError when the response outgrows MaxResponseSize.
    static constexpr DWORD kResponseTooLarge = ERROR_BUFFER_OVERFLOW;

    explicit TAdvHttp(owner_kind owner = owner_kind::windowed);
    // Waits for a running worker (processing sent messages meanwhile), then
    // closes the handles; no event runs once destruction has begun.
    ~TAdvHttp();
    TAdvHttp(const TAdvHttp&) = delete;
    TAdvHttp& operator=(const TAdvHttp&) = delete;

    int ConnectTimeout() const noexcept { return ConnectTimeout_; }
    void SetConnectTimeout(int value) noexcept { ConnectTimeout_ = value; }
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
    void SetDefaultUi(bool value) noexcept { DefaultUi_ = value; }
    const std::vector<std::string>& RequestHeaders() const noexcept { return RequestHeaders_; }
    void SetRequestHeaders(const std::vector<std::string>& lines) { RequestHeaders_ = lines; }
    const std::vector<std::string>& AcceptTypes() const noexcept { return AcceptTypes_; }
    void SetAcceptTypes(const std::vector<std::string>& lines) { AcceptTypes_ = lines; }
    const std::string& Method() const noexcept { return Method_; }
    void SetMethod(const std::string& value) { Method_ = value; }
    // Get: the response body up to its first zero byte. Set: the request body.
    std::string Text() const;
    void SetText(const std::string& value) { RequestStream_ = value; }
    int AuthRetries() const noexcept { return AuthRetries_; }
    void SetAuthRetries(int value) noexcept { AuthRetries_ = value; }
    internet_flag_set InternetFlags() const noexcept { return InternetFlags_; }
    void SetInternetFlags(internet_flag_set value) noexcept;
    // The most response bytes kept; 0 keeps everything. Reaching it ends the
    // read like a failed read: OnError, then OnRequestComplete with what was kept.
    std::size_t MaxResponseSize() const noexcept { return MaxResponseSize_; }
    void SetMaxResponseSize(std::size_t value) noexcept { MaxResponseSize_ = value; }

    // Blocking: carries the request out on this thread. Non-blocking: starts it
    // and returns; events follow. False on failure when RaiseExceptions is
    // false; a second Execute while Busy is refused the same way.
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
    bool Busy() const noexcept { return Busy_; }
    // True while a request worker has not yet ended (it may still be
    // delivering OnRequestComplete after Busy went false).
    bool WorkerRunning();

    TNotifyEvent OnResolvingName, OnNameResolved, OnConnectingToServer, OnConnectedToServer,
        OnSendingRequest, OnRequestSent, OnReceivingResponse, OnResponseReceived,
        OnClosingConnection, OnConnectionClosed, OnRedirect, OnIntermediateResponse, OnStateChange,
        OnNeedAuth, OnNeedProxyAuth, OnDataAvailable, OnRequestComplete, OnError;

private:
    friend struct request_link;
    friend void CALLBACK advhttp_status_callback(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) noexcept;
    friend DWORD WINAPI advhttp_worker_main(void* param) noexcept;
    class request_closer;

    // Events
    void raise(const TNotifyEvent& handler);
    void on_status(DWORD status, const void* info, DWORD length);

    // WinInet call results: record LastError, raise OnError on a real failure.
    bool report_inet(BOOL ok);
    void report_failure(DWORD code);
    void require_inet(BOOL ok);
    void guarded_setter(const std::function<void()>& change);

    // URL
    void split_url(const std::string& url);
    void rebuild_url();

    // Request side
    void open_session();
    void reopen_session_if_open();
    void start_request(bool blocking);
    void open_request();
    void pass_option(HINTERNET handle, DWORD option, const std::string& value);
    BOOL send_request();
    void send_first(bool blocking);
    void start_worker(const INTERNET_ASYNC_RESULT& sent) noexcept;
    void reap_finished_workers();
    void close_request() noexcept;

    // Response side
    void run_worker(const INTERNET_ASYNC_RESULT& sent);
    void process_response();
    void arm_for_worker() noexcept;
    bool finish_worker_call(BOOL ok);
    bool status_needs_auth();
    bool retry_authentication();
    void give_up_authentication();
    void read_headers();
    void read_body();
    bool read_chunk(DWORD& bytes);
    bool store_chunk(DWORD bytes);

    // Destruction
    void detach_from_callbacks() noexcept;
    void wait_for_workers() noexcept;
    void wait_for_handles_closing() noexcept;

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
    std::atomic<bool> Aborting_{false}, Busy_{false}, destroying_{false};
    std::atomic<unsigned> request_serial_{0};

    const bool windowed_owner_;
    std::shared_ptr<owner_cell> cell_;
    request_link* link_ = nullptr;  // the open request's callback context
    unique_handle abort_event_;
    std::mutex workers_mutex_;
    std::vector<unique_handle> workers_;
};

}  // namespace flinter::net
