#include "http_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace flinter::net::testing {

bool pump_until(const std::function<bool()>& done, DWORD limit_ms) {
    const ULONGLONG end = ::GetTickCount64() + limit_ms;
    while (!done()) {
        if (::GetTickCount64() > end) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    }
    return true;
}

bool pump_until_idle(TAdvHttp& http) {
    return pump_until([&] { return !http.Busy() && !http.WorkerRunning(); });
}

bool wait_for_sent_message(DWORD limit_ms) {
    const ULONGLONG end = ::GetTickCount64() + limit_ms;
    while (!(HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) {
        if (::GetTickCount64() > end) return false;
        ::Sleep(1);
    }
    return true;
}

namespace {

struct guard_watch {
    const char* what;
    DWORD limit_ms;
    HANDLE dismissed;
};

DWORD WINAPI watch_for_hang(void* param) {
    const std::unique_ptr<guard_watch> watch(static_cast<guard_watch*>(param));
    if (::WaitForSingleObject(watch->dismissed, watch->limit_ms) == WAIT_OBJECT_0) return 0;
    std::fprintf(stderr, "hang: %s\n", watch->what);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), 3);
    return 0;
}

}  // namespace

hang_guard::hang_guard(const char* what, DWORD limit_ms)
    : dismissed_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), watcher_(nullptr) {
    // The watcher owns its copy of the details.
    auto* watch = new guard_watch{what, limit_ms, dismissed_};
    watcher_ = ::CreateThread(nullptr, 0, &watch_for_hang, watch, 0, nullptr);
}

hang_guard::~hang_guard() {
    ::SetEvent(dismissed_);
    ::WaitForSingleObject(watcher_, INFINITE);
    ::CloseHandle(watcher_);
    ::CloseHandle(dismissed_);
}

void event_recorder::attach(TAdvHttp& http) {
    auto note = [this](const char* name) {
        return [this, name](TAdvHttp& sender) {
            records_.push_back({name, ::GetCurrentThreadId(), sender.LastError()});
        };
    };
    http.OnResolvingName = note("ResolvingName");
    http.OnNameResolved = note("NameResolved");
    http.OnConnectingToServer = note("ConnectingToServer");
    http.OnConnectedToServer = note("ConnectedToServer");
    http.OnSendingRequest = note("SendingRequest");
    http.OnRequestSent = note("RequestSent");
    http.OnReceivingResponse = note("ReceivingResponse");
    http.OnResponseReceived = note("ResponseReceived");
    http.OnClosingConnection = note("ClosingConnection");
    http.OnConnectionClosed = note("ConnectionClosed");
    http.OnRedirect = note("Redirect");
    http.OnIntermediateResponse = note("IntermediateResponse");
    http.OnStateChange = note("StateChange");
    http.OnNeedAuth = note("NeedAuth");
    http.OnNeedProxyAuth = note("NeedProxyAuth");
    http.OnDataAvailable = note("DataAvailable");
    http.OnRequestComplete = note("RequestComplete");
    http.OnError = note("Error");
}

std::vector<std::string> event_recorder::names() const {
    std::vector<std::string> result;
    for (const auto& r : records_) result.push_back(r.name);
    return result;
}

int event_recorder::count(const std::string& name) const {
    return static_cast<int>(std::count_if(records_.begin(), records_.end(),
                                          [&](const event_record& r) { return r.name == name; }));
}

}  // namespace flinter::net::testing
