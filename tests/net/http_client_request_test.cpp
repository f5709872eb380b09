// TAdvHttp requests against the loopback server: bodies, headers, statuses,
// authentication rounds, failures and limits, with every event on this thread.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "http_test_support.h"
#include "loopback_server.h"
#include "net/http_client.h"

namespace flinter::net {
namespace {

using testing::event_recorder;
using testing::loopback_server;
using testing::pump_until_idle;

std::string server_pattern(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i) text += static_cast<char>('a' + i % 26);
    return text;
}

class AdvHttpRequest : public ::testing::Test {
protected:
    void SetUp() override { events.attach(http); }

    // Starts a non-blocking request for `path` and waits until it has ended.
    void fetch(const std::string& path) {
        http.SetURL(server.url(path));
        ASSERT_TRUE(http.Execute(false));
        ASSERT_TRUE(pump_until_idle(http)) << "request did not end";
    }

    void expect_all_on_this_thread() const {
        for (const auto& r : events.records()) EXPECT_EQ(r.thread, ::GetCurrentThreadId()) << r.name;
    }

    void expect_request_closed() const {
        EXPECT_FALSE(http.Busy());
        EXPECT_EQ(http.RequestHandle(), nullptr);
        EXPECT_EQ(http.ConnectionHandle(), nullptr);
    }

    DWORD error_code_at(const std::string& name) const {
        for (const auto& r : events.records())
            if (r.name == name) return r.last_error;
        return 0xDEADBEEF;
    }

    loopback_server server;
    TAdvHttp http;
    event_recorder events;
};

TEST_F(AdvHttpRequest, BlockingGetCarriesTheRequestOutBeforeReturning) {
    http.SetURL(server.url("/plain"));
    ASSERT_TRUE(http.Execute(true));
    EXPECT_EQ(http.Text(), "Hello, loopback");
    EXPECT_EQ(http.StatusCode(), 200u);
    ASSERT_FALSE(http.ResponseHeaders().empty());
    EXPECT_EQ(http.ResponseHeaders().front(), "HTTP/1.1 200 OK");
    EXPECT_EQ(events.count("RequestComplete"), 1);
    EXPECT_EQ(events.names().back(), "RequestComplete");
    EXPECT_EQ(http.TotalBytesRead(), 15u);
    expect_all_on_this_thread();
    expect_request_closed();
}

TEST_F(AdvHttpRequest, NonBlockingGetDeliversEveryEventOnTheCreatingThread) {
    fetch("/plain");
    EXPECT_EQ(http.Text(), "Hello, loopback");
    EXPECT_EQ(events.count("RequestComplete"), 1);
    EXPECT_EQ(events.names().back(), "RequestComplete");
    EXPECT_GE(events.count("DataAvailable"), 1);
    EXPECT_TRUE(events.seen("SendingRequest"));
    EXPECT_TRUE(events.seen("ResponseReceived"));
    EXPECT_FALSE(events.seen("Error"));
    EXPECT_GT(http.TotalResponseBytes(), 0u);
    expect_all_on_this_thread();
    expect_request_closed();
}

TEST_F(AdvHttpRequest, TextStopsBeforeAZeroByte) {
    fetch("/zero");
    EXPECT_EQ(http.Text(), "abc");
    EXPECT_EQ(http.ResponseStream(), std::string("abc\0def", 7));
}

TEST_F(AdvHttpRequest, HeaderBlockOver8192BytesFailsTheQueryButTheBodyIsRead) {
    fetch("/plain");
    const auto earlier_headers = http.ResponseHeaders();
    events = {};
    events.attach(http);
    fetch("/bigheaders");
    EXPECT_EQ(events.count("Error"), 1);
    EXPECT_EQ(error_code_at("Error"), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(events.names().back(), "RequestComplete");
    EXPECT_EQ(http.ResponseHeaders(), earlier_headers);
    EXPECT_EQ(http.Text(), "body");
}

TEST_F(AdvHttpRequest, NoAuthRetriesGivesUpAfterTheFirst401) {
    http.SetAuthRetries(0);
    http.SetDefaultUi(false);
    fetch("/auth");
    EXPECT_EQ(events.count("NeedAuth"), 1);
    EXPECT_EQ(events.names().back(), "Error");
    EXPECT_FALSE(events.seen("RequestComplete"));
    EXPECT_EQ(error_code_at("Error"), static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
    EXPECT_EQ(server.count("/auth"), 1);
    expect_request_closed();
}

TEST_F(AdvHttpRequest, Endless401IsSentAuthRetriesMoreTimesThenGivenUp) {
    http.SetDefaultUi(false);
    http.SetAuthRetries(3);
    fetch("/auth");
    EXPECT_EQ(server.count("/auth"), 4);
    EXPECT_EQ(events.count("NeedAuth"), 4);
    EXPECT_EQ(events.count("Error"), 1);
    EXPECT_EQ(events.names().back(), "Error");
    EXPECT_FALSE(events.seen("RequestComplete"));
    EXPECT_EQ(http.LastError(), static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
    EXPECT_EQ(http.RetryCount(), 3);
    expect_all_on_this_thread();
    expect_request_closed();
}

TEST_F(AdvHttpRequest, BlockingAuthenticationRoundsAreCountedTheSameWay) {
    http.SetDefaultUi(false);
    http.SetAuthRetries(2);
    http.SetURL(server.url("/auth"));
    http.SetRaiseExceptions(false);
    EXPECT_FALSE(http.Execute(true));
    EXPECT_EQ(server.count("/auth"), 3);
    EXPECT_EQ(events.count("NeedAuth"), 3);
    EXPECT_FALSE(events.seen("RequestComplete"));
    expect_request_closed();
}

TEST_F(AdvHttpRequest, CredentialsGivenInOnNeedAuthAreUsedForTheRetry) {
    http.SetDefaultUi(false);
    http.OnNeedAuth = [](TAdvHttp& h) {
        h.SetUserName("user");
        h.SetPassword("pw");
    };
    fetch("/basic");
    EXPECT_EQ(http.StatusCode(), 200u);
    EXPECT_EQ(http.Text(), "welcome");
    EXPECT_EQ(http.RetryCount(), 1);
    EXPECT_EQ(events.names().back(), "RequestComplete");
    EXPECT_FALSE(events.seen("Error"));
}

TEST_F(AdvHttpRequest, ProxyAuthenticationRequestRaisesOnNeedProxyAuth) {
    http.SetDefaultUi(false);
    http.SetAuthRetries(1);
    fetch("/proxyauth");
    EXPECT_EQ(http.StatusCode(), 407u);
    EXPECT_EQ(events.count("NeedProxyAuth"), 2);
    EXPECT_FALSE(events.seen("NeedAuth"));
    EXPECT_EQ(events.names().back(), "Error");
    EXPECT_EQ(http.LastError(), static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
}

TEST_F(AdvHttpRequest, RefusedConnectionRaisesOnlyOnError) {
    http.SetURL("http://127.0.0.1:" + std::to_string(loopback_server::closed_port()) + "/plain");
    ASSERT_TRUE(http.Execute(false));
    ASSERT_TRUE(pump_until_idle(http));
    EXPECT_EQ(events.count("Error"), 1);
    EXPECT_EQ(error_code_at("Error"), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_FALSE(events.seen("RequestComplete"));
    expect_all_on_this_thread();
    expect_request_closed();
}

TEST_F(AdvHttpRequest, BlockingRefusedConnectionRaisesEInetErrorOrReturnsFalse) {
    http.SetURL("http://127.0.0.1:" + std::to_string(loopback_server::closed_port()) + "/plain");
    try {
        http.Execute(true);
        FAIL() << "no error";
    } catch (const EInetError& e) {
        EXPECT_EQ(e.code(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
        EXPECT_EQ(std::string(e.what()), inet_error_text(ERROR_INTERNET_CANNOT_CONNECT));
    }
    expect_request_closed();
    http.SetRaiseExceptions(false);
    EXPECT_FALSE(http.Execute(true));
    EXPECT_EQ(events.count("Error"), 2);
    expect_request_closed();
}

// Every step of a blocking request counts: a failed status or header query, a
// failed read or authentication given up makes Execute fail, after the events
// the non-blocking request would raise.
TEST_F(AdvHttpRequest, BlockingExecuteFailsWhenAResponseStepFailed) {
    struct row { const char* path; bool fails; bool completes; };
    const row rows[] = {
        {"/plain", false, true}, {"/bigheaders", true, true}, {"/reset", true, true}, {"/auth", true, false},
    };
    http.SetDefaultUi(false);
    http.SetAuthRetries(0);
    for (const row& r : rows) {
        SCOPED_TRACE(r.path);
        events = {};
        events.attach(http);
        http.SetURL(server.url(r.path));
        if (!r.fails) {
            EXPECT_TRUE(http.Execute(true));
        } else {
            try {
                http.Execute(true);
                ADD_FAILURE() << "no error";
            } catch (const EInetError& e) {
                EXPECT_EQ(e.code(), error_code_at("Error"));
            }
        }
        EXPECT_EQ(events.seen("RequestComplete"), r.completes);
        expect_request_closed();
    }
}

TEST_F(AdvHttpRequest, SlowBodyArrivesInChunksThatAddUp) {
    std::vector<std::pair<DWORD, DWORD>> chunks;  // position, size
    http.OnDataAvailable = [&](TAdvHttp& h) {
        EXPECT_EQ(h.ChunkPosition() + h.ChunkSize(), h.TotalBytesRead());
        chunks.emplace_back(h.ChunkPosition(), h.ChunkSize());
    };
    fetch("/slow");
    const std::size_t total = loopback_server::kSlowPieces * loopback_server::kSlowPieceSize;
    ASSERT_EQ(http.ResponseStream().size(), total);
    EXPECT_EQ(http.TotalBytesRead(), total);
    DWORD expected_position = 0;
    for (const auto& [position, size] : chunks) {
        EXPECT_EQ(position, expected_position);
        expected_position += size;
    }
    EXPECT_EQ(expected_position, total);
    EXPECT_GE(chunks.size(), 2u);
    std::string expected;
    for (int i = 0; i < loopback_server::kSlowPieces; ++i)
        expected += server_pattern(loopback_server::kSlowPieceSize);
    EXPECT_EQ(http.ResponseStream(), expected);
}

TEST_F(AdvHttpRequest, EndlessBodyEndsAtTheResponseLimit) {
    constexpr std::size_t kLimit = 64 * 1024 + 1;   // odd: the limit falls inside a chunk
    std::size_t delivered = 0;
    http.OnDataAvailable = [&](TAdvHttp& h) { delivered += h.ChunkSize(); };
    http.SetMaxResponseSize(kLimit);
    fetch("/endless");
    EXPECT_EQ(http.ResponseStream().size(), kLimit);
    EXPECT_EQ(delivered, kLimit) << "the kept part of the last chunk raises OnDataAvailable too";
    EXPECT_EQ(events.count("Error"), 1);
    EXPECT_EQ(error_code_at("Error"), TAdvHttp::kResponseTooLarge);
    EXPECT_EQ(events.names().back(), "RequestComplete");
    expect_request_closed();
}

TEST_F(AdvHttpRequest, BodyOfExactlyTheLimitIsNoError) {
    http.SetMaxResponseSize(64 * 1024);
    fetch("/size/65536");
    EXPECT_EQ(http.ResponseStream().size(), 65536u);
    EXPECT_FALSE(events.seen("Error"));
    EXPECT_EQ(events.names().back(), "RequestComplete");
}

// A data handler may change the limit, since the read waits for it: one
// lowered below what is already held ends the read with what is held.
TEST_F(AdvHttpRequest, LimitLoweredBelowWhatIsHeldEndsTheReadKeepingIt) {
    std::size_t first_chunk = 0;
    http.OnDataAvailable = [&](TAdvHttp& h) {
        if (first_chunk != 0) return;
        first_chunk = h.ChunkSize();
        h.SetMaxResponseSize(1);
    };
    fetch("/size/100000");
    ASSERT_GT(first_chunk, 1u);
    EXPECT_EQ(http.ResponseStream(), server_pattern(first_chunk));
    EXPECT_EQ(error_code_at("Error"), TAdvHttp::kResponseTooLarge);
    EXPECT_EQ(events.names().back(), "RequestComplete");
    expect_request_closed();
}

TEST_F(AdvHttpRequest, ConnectionResetDuringAPendingReadEndsTheReadNotTheWorker) {
    fetch("/reset");
    EXPECT_TRUE(events.seen("Error"));
    EXPECT_EQ(events.names().back(), "RequestComplete");
    EXPECT_LT(http.ResponseStream().size(), 100000u);
    expect_request_closed();
}

TEST_F(AdvHttpRequest, RequestDetailsReachTheServer) {
    http.SetMethod("POST");
    http.SetText("name=value");
    http.SetRequestHeaders({"X-Flinter-Test: 1"});
    http.SetAcceptTypes({"text/html", "", "text/plain"});
    http.SetUserAgent("Loopback agent");
    fetch("/plain");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, "name=value");
    EXPECT_NE(requests[0].headers.find("\r\nX-Flinter-Test: 1\r\n"), std::string::npos);
    EXPECT_NE(requests[0].headers.find("\r\nAccept: text/html\r\n"), std::string::npos) << requests[0].headers;
    EXPECT_EQ(requests[0].headers.find("text/plain"), std::string::npos);
    EXPECT_NE(requests[0].headers.find("\r\nUser-Agent: Loopback agent\r\n"), std::string::npos);
}

// While a request runs, its properties belong to it: outside the handlers that
// its response steps wait for, a change is refused and changes nothing.
TEST_F(AdvHttpRequest, RequestPropertiesCannotChangeWhileARequestRuns) {
    struct row { const char* name; std::function<void(TAdvHttp&)> change; std::function<bool(const TAdvHttp&)> kept; };
    const row rows[] = {
        {"Text", [](TAdvHttp& h) { h.SetText("new body"); }, [](const TAdvHttp& h) { return h.RequestStream() == "first"; }},
        {"URL", [](TAdvHttp& h) { h.SetURL("http://example.org/x"); }, [](const TAdvHttp& h) { return h.HostName() == "127.0.0.1"; }},
        {"Port", [](TAdvHttp& h) { h.SetPort(8080); }, [](const TAdvHttp& h) { return h.Port() != 8080; }},
        {"UserName", [](TAdvHttp& h) { h.SetUserName("user"); }, [](const TAdvHttp& h) { return h.UserName().empty(); }},
        {"RequestHeaders", [](TAdvHttp& h) { h.SetRequestHeaders({"X-New: 1"}); }, [](const TAdvHttp& h) { return h.RequestHeaders().empty(); }},
        {"Method", [](TAdvHttp& h) { h.SetMethod("PUT"); }, [](const TAdvHttp& h) { return h.Method() == "POST"; }},
        {"AuthRetries", [](TAdvHttp& h) { h.SetAuthRetries(9); }, [](const TAdvHttp& h) { return h.AuthRetries() == 3; }},
        {"MaxResponseSize", [](TAdvHttp& h) { h.SetMaxResponseSize(1); }, [](const TAdvHttp& h) { return h.MaxResponseSize() == 0; }},
        {"MaxRedirects", [](TAdvHttp& h) { h.SetMaxRedirects(1); }, [](const TAdvHttp& h) { return h.MaxRedirects() == 0; }},
        {"UserAgent", [](TAdvHttp& h) { h.SetUserAgent("other"); }, [](const TAdvHttp& h) { return h.UserAgent() != "other"; }},
    };
    http.SetMethod("POST");
    http.SetText("first");
    http.SetURL(server.url("/slow"));
    ASSERT_TRUE(http.Execute(false));
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_THROW(r.change(http), EInetError);
        EXPECT_TRUE(r.kept(http));
    }
    ASSERT_TRUE(pump_until_idle(http));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, "first");
    http.SetText("second");   // idle again
    EXPECT_EQ(http.RequestStream(), "second");
}

TEST_F(AdvHttpRequest, ProxyReceivesTheRequestForTheServer) {
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(loopback_server::closed_port()) + "/plain";
    http.SetProxy("127.0.0.1:" + std::to_string(server.port()));
    http.SetURL(unreachable);
    ASSERT_TRUE(http.Execute(false));
    ASSERT_TRUE(pump_until_idle(http));
    EXPECT_EQ(http.Text(), "Hello, loopback");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, unreachable);
}

TEST_F(AdvHttpRequest, ProxyCredentialsGivenInOnNeedProxyAuthAreUsedForTheRetry) {
    http.SetDefaultUi(false);
    http.SetProxy("127.0.0.1:" + std::to_string(server.port()));
    http.OnNeedProxyAuth = [](TAdvHttp& h) {
        h.SetProxyUserName("user");
        h.SetProxyPassword("pw");
    };
    http.SetURL("http://127.0.0.1:" + std::to_string(loopback_server::closed_port()) + "/proxybasic");
    ASSERT_TRUE(http.Execute(false));
    ASSERT_TRUE(pump_until_idle(http));
    EXPECT_EQ(http.Text(), "through");
    EXPECT_EQ(http.RetryCount(), 1);
}

TEST_F(AdvHttpRequest, ChangingTheUserAgentOpensANewSession) {
    fetch("/plain");
    const HINTERNET first = http.SessionHandle();
    ASSERT_NE(first, nullptr);
    http.SetUserAgent("Second agent");
    EXPECT_NE(http.SessionHandle(), nullptr);
    fetch("/plain");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].headers.find("\r\nUser-Agent: Second agent\r\n"), std::string::npos);
}

TEST_F(AdvHttpRequest, BlockingAndNonBlockingRequestsCanFollowEachOther) {
    fetch("/plain");
    http.SetURL(server.url("/zero"));
    ASSERT_TRUE(http.Execute(true));
    EXPECT_EQ(http.Text(), "abc");
    fetch("/size/10");
    EXPECT_EQ(http.Text(), "abcdefghij");
    EXPECT_EQ(events.count("RequestComplete"), 3);
}

TEST_F(AdvHttpRequest, RedirectIsReportedAndFollowed) {
    fetch("/redirect");
    EXPECT_TRUE(events.seen("Redirect"));
    EXPECT_NE(http.RedirectURL().find("/plain"), std::string::npos) << http.RedirectURL();
    EXPECT_EQ(http.Text(), "Hello, loopback");
}

// Wine's WinInet follows a redirect loop without end (here until the server
// stops it, and on after its handle was closed): one redirect past
// MaxRedirects ends the request as a failed send, and WinInet's late
// completion of the abandoned send raises nothing.
TEST_F(AdvHttpRequest, RedirectLoopEndsOneRedirectPastMaxRedirects) {
    http.SetMaxRedirects(3);
    fetch("/redirectloop/0");
    EXPECT_EQ(events.count("Redirect"), 4);
    EXPECT_EQ(events.count("Error"), 1);
    EXPECT_EQ(error_code_at("Error"), TAdvHttp::kTooManyRedirects);
    expect_request_closed();
    ASSERT_TRUE(testing::pump_until([] { return live_request_links() == 0; })) << "WinInet never let go";
    EXPECT_EQ(events.names().back(), "Error");
    EXPECT_FALSE(http.Busy());
}

TEST_F(AdvHttpRequest, SecondExecuteWhileBusyIsRefused) {
    http.SetURL(server.url("/slow"));
    ASSERT_TRUE(http.Execute(false));
    try {
        http.Execute(false);
        FAIL() << "second request started";
    } catch (const EInetError& e) {
        EXPECT_STREQ(e.what(), "A request is already in progress");
    }
    http.SetRaiseExceptions(false);
    EXPECT_FALSE(http.Execute(true));
    ASSERT_TRUE(pump_until_idle(http));
    EXPECT_EQ(events.count("RequestComplete"), 1);
    EXPECT_EQ(http.ResponseStream().size(),
              std::size_t{loopback_server::kSlowPieces * loopback_server::kSlowPieceSize});
    EXPECT_EQ(server.count("/slow"), 1);
}

// The request owns the component while its completion is being delivered, and
// no longer once that has returned.
TEST_F(AdvHttpRequest, BusyLastsUntilTheCompletionHasBeenDelivered) {
    int completions = 0;
    bool busy_in_handler = false;
    http.OnRequestComplete = [&](TAdvHttp& h) {
        ++completions;
        busy_in_handler = h.Busy();
    };
    http.SetURL(server.url("/plain"));
    ASSERT_TRUE(http.Execute(false));
    ASSERT_TRUE(testing::pump_until([&] { return completions == 1; }));
    EXPECT_TRUE(busy_in_handler);
    EXPECT_FALSE(http.Busy());
}

TEST_F(AdvHttpRequest, CompletionHandlerMayStartTheNextRequest) {
    int completions = 0;
    http.OnRequestComplete = [&](TAdvHttp& h) {
        if (++completions == 1) {
            h.SetURL(server.url("/zero"));
            h.Execute(false);
        }
    };
    fetch("/plain");
    ASSERT_TRUE(testing::pump_until([&] { return completions == 2 && !http.Busy() && !http.WorkerRunning(); }));
    EXPECT_EQ(http.Text(), "abc");
    expect_request_closed();
}

}  // namespace
}  // namespace flinter::net
