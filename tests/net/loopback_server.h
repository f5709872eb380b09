// A small HTTP/1.1 server on 127.0.0.1 (port chosen by the system) that runs
// on threads of the test process and answers by path:
//   /plain /zero /bigheaders /auth /basic /proxyauth /proxybasic /slow /endless /reset /stall
//   /redirect /size/<n> /text/<percent-encoded body>     (see loopback_server.cpp)
// and, as a hostile update server would:
//   /drip /hugeheaders /redirectloop/<n> /silent /garbage/<n>
// It also serves as a proxy for itself: an absolute address is answered by
// its path.
// Destruction stops it: every connection is shut and every thread joined.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace flinter::net::testing {

class loopback_server {
public:
    struct request {
        std::string method, path, headers, body;
    };

    loopback_server();
    ~loopback_server();
    loopback_server(const loopback_server&) = delete;
    loopback_server& operator=(const loopback_server&) = delete;

    int port() const noexcept { return port_; }
    std::string url(const std::string& path) const;
    std::vector<request> requests() const;
    int count(const std::string& path) const;
    int count_under(const std::string& prefix) const;  // paths that start with it

    // A loopback port on which nothing listens: connecting is refused.
    static int closed_port();

    static constexpr int kSlowPieces = 20;
    static constexpr int kSlowPieceSize = 1000;  // the whole body spans two read chunks
    static constexpr int kDripIntervalMs = 300;   // /drip: one byte of the answer at a time
    static constexpr std::size_t kHugeHeaderBytes = 4u << 20;  // /hugeheaders
    static constexpr int kMaxRedirectHops = 1000;  // /redirectloop/<n>, then it answers 508
    static constexpr int kGarbageKinds = 5;        // /garbage/0 .. /garbage/4

private:
    void accept_loop();
    void serve(SOCKET s);
    bool answer(SOCKET s, const request& r);
    std::optional<bool> answer_hostile(SOCKET s, const std::string& path);
    bool pause(int milliseconds);  // false when the server is stopping

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::condition_variable stop_signal_;
    std::vector<request> requests_;
    std::vector<SOCKET> open_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

}  // namespace flinter::net::testing
