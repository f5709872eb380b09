#include "loopback_server.h"

#include <cctype>

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace flinter::net::testing {
namespace {

constexpr std::size_t kMaxHeaderBlock = 64 * 1024;
constexpr std::size_t kMaxEndlessBytes = 256u * 1024 * 1024;

bool send_all(SOCKET s, const char* data, std::size_t size) {
    while (size > 0) {
        const int n = ::send(s, data, static_cast<int>(std::min<std::size_t>(size, 65536)), 0);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool send_text(SOCKET s, const std::string& text) { return send_all(s, text.data(), text.size()); }

// recv that gives up when the server stops, so no connection thread outlives it.
int receive(SOCKET s, char* buffer, int size, const std::atomic<bool>& stopping) {
    while (!stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval tick{0, 50000};
        const int ready = ::select(0, &readable, nullptr, nullptr, &tick);
        if (ready < 0) return -1;
        if (ready > 0) return ::recv(s, buffer, size, 0);
    }
    return -1;
}

std::string head(const std::string& status, std::size_t length, const std::string& extra = {}) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(length) + "\r\n" + extra + "\r\n";
}

std::string pattern(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + i % 26);
    return body;
}

std::size_t content_length(const std::string& headers) {
    std::string lower = headers;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::strtoul(lower.c_str() + at + 17, nullptr, 10);
}

// Reads one request; false when the peer closed or sent nonsense.
bool read_request(SOCKET s, std::string& pending, loopback_server::request& r, const std::atomic<bool>& stopping) {
    std::size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
        if (pending.size() > kMaxHeaderBlock) return false;
        char buffer[4096];
        const int n = receive(s, buffer, sizeof buffer, stopping);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
    r.headers = pending.substr(0, end + 2);
    pending.erase(0, end + 4);
    const auto first_space = r.headers.find(' ');
    const auto second_space = r.headers.find(' ', first_space + 1);
    if (first_space == std::string::npos || second_space == std::string::npos) return false;
    r.method = r.headers.substr(0, first_space);
    r.path = r.headers.substr(first_space + 1, second_space - first_space - 1);
    const std::size_t length = std::min(content_length(r.headers), kMaxHeaderBlock);
    while (pending.size() < length) {
        char buffer[4096];
        const int n = receive(s, buffer, sizeof buffer, stopping);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
    r.body = pending.substr(0, length);
    pending.erase(0, length);
    return true;
}

struct winsock {
    winsock() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    }
};

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    return address;
}

int bound_port(SOCKET s) {
    sockaddr_in address{};
    int size = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

}  // namespace

loopback_server::loopback_server() {
    static winsock started;
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = loopback(0);
    if (listener_ == INVALID_SOCKET || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, SOMAXCONN) != 0)
        throw std::runtime_error("loopback_server cannot listen");
    port_ = bound_port(listener_);
    acceptor_ = std::thread([this] { accept_loop(); });
}

loopback_server::~loopback_server() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (SOCKET s : open_) ::shutdown(s, SD_BOTH);
    }
    stop_signal_.notify_all();
    ::closesocket(listener_);
    acceptor_.join();
    for (auto& t : threads_) t.join();
}

int loopback_server::closed_port() {
    static winsock started;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = loopback(0);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int port = bound_port(s);
    ::closesocket(s);
    return port;
}

std::string loopback_server::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<loopback_server::request> loopback_server::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int loopback_server::count(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                          [&](const request& r) { return r.path == path; }));
}

int loopback_server::count_under(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                          [&](const request& r) { return r.path.rfind(prefix, 0) == 0; }));
}

void loopback_server::accept_loop() {
    while (!stopping_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval tick{0, 50000};
        if (::select(0, &readable, nullptr, nullptr, &tick) <= 0) continue;
        SOCKET s = ::accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET) continue;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::closesocket(s);
            break;
        }
        open_.push_back(s);
        threads_.emplace_back([this, s] { serve(s); });
    }
}

void loopback_server::serve(SOCKET s) {
    DWORD idle_limit = 20000;  // no connection outlives a stuck client for long
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&idle_limit), sizeof idle_limit);
    std::string pending;
    request r;
    while (!stopping_ && read_request(s, pending, r, stopping_)) {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(r);
        }
        if (!answer(s, r)) break;
    }
    std::lock_guard lock(mutex_);
    std::erase(open_, s);
    ::closesocket(s);
}

bool loopback_server::pause(int milliseconds) {
    std::unique_lock lock(mutex_);
    return !stop_signal_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopping_.load(); });
}

// "%0D%0A" and the like back to their bytes; anything malformed stays as it is.
std::string percent_decoded(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            bytes += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

// The path of a request, also when it came as a proxy's absolute address.
std::string local_path(const std::string& target) {
    if (target.rfind("http://", 0) != 0) return target;
    const auto slash = target.find('/', 7);
    return slash == std::string::npos ? "/" : target.substr(slash);
}

// The answers of a hostile update server, each bounded in bytes and time;
// nullopt for any other path. False when the connection must close afterwards.
std::optional<bool> loopback_server::answer_hostile(SOCKET s, const std::string& p) {
    if (p == "/drip") {  // the whole answer, one byte at a time
        const std::string answer = head("200 OK", 3) + "1.5";
        for (const char c : answer)
            if (!pause(kDripIntervalMs) || !send_all(s, &c, 1)) return false;
        return true;
    }
    if (p == "/hugeheaders") {
        if (!send_text(s, "HTTP/1.1 200 OK\r\n")) return false;
        const std::string filler(1000, 'h');
        for (std::size_t sent = 0; sent < kHugeHeaderBytes && !stopping_; sent += filler.size() + 20)
            if (!send_text(s, "X-Hostile-" + std::to_string(sent % 100000) + ": " + filler + "\r\n")) return false;
        return send_text(s, "Content-Length: 3\r\n\r\n1.5");
    }
    if (p.rfind("/redirectloop/", 0) == 0) {  // each hop to the next number, up to kMaxRedirectHops
        const int hop = std::atoi(p.c_str() + 14);
        if (hop >= kMaxRedirectHops) return send_text(s, head("508 Loop Detected", 13) + "redirect loop");
        return send_text(s, head("302 Found", 0, "Location: /redirectloop/" + std::to_string(hop + 1) + "\r\n"));
    }
    if (p == "/silent") {  // takes the request and answers nothing
        pause(20000);
        return false;
    }
    if (p.rfind("/garbage/", 0) == 0) {
        static const std::string kGarbage[kGarbageKinds] = {
            std::string("\x00\xFF\x13 garbage\r\n\r\n1.5", 18),        // no status line, binary
            "HTTP/1.1 abc Broken\r\nContent-Length: 3\r\n\r\n1.5",        // a status that is no number
            "HTTP/1.1 99999999999999999999 Huge\r\nContent-Length: 3\r\n\r\n1.5",
            "1.5",                                                     // a body alone
            "HTTP/1.1 200 OK" + std::string(100000, 'A'),              // a status line without end
        };
        const std::size_t kind = std::strtoul(p.c_str() + 9, nullptr, 10);
        if (kind < kGarbageKinds) send_text(s, kGarbage[kind]);
        return false;
    }
    return std::nullopt;
}

// Answers one request; false when the connection must close afterwards.
bool loopback_server::answer(SOCKET s, const request& r) {
    const std::string p = local_path(r.path);
    if (const auto hostile = answer_hostile(s, p)) return *hostile;
    if (p == "/plain") return send_text(s, head("200 OK", 15) + "Hello, loopback");
    if (p == "/zero") return send_text(s, head("200 OK", 7) + std::string("abc\0def", 7));
    if (p == "/bigheaders") {
        std::string filler;
        for (int i = 0; i < 120; ++i) filler += "X-Filler-" + std::to_string(i) + ": " + std::string(80, 'f') + "\r\n";
        return send_text(s, head("200 OK", 4, filler) + "body");
    }
    if (p == "/auth")
        return send_text(s, head("401 Unauthorized", 6, "WWW-Authenticate: Basic realm=\"loopback\"\r\n") + "denied");
    if (p == "/basic") {  // user "user", password "pw"
        if (r.headers.find("\r\nAuthorization: Basic dXNlcjpwdw==\r\n") != std::string::npos)
            return send_text(s, head("200 OK", 7) + "welcome");
        return send_text(s, head("401 Unauthorized", 6, "WWW-Authenticate: Basic realm=\"loopback\"\r\n") + "denied");
    }
    if (p == "/proxybasic") {  // proxy user "user", password "pw"
        if (r.headers.find("\r\nProxy-Authorization: Basic dXNlcjpwdw==\r\n") != std::string::npos)
            return send_text(s, head("200 OK", 7) + "through");
        return send_text(s, head("407 Proxy Authentication Required", 6,
                                 "Proxy-Authenticate: Basic realm=\"loopback\"\r\n") + "denied");
    }
    if (p == "/proxyauth")
        return send_text(s, head("407 Proxy Authentication Required", 6,
                                 "Proxy-Authenticate: Basic realm=\"loopback\"\r\n") + "denied");
    if (p.rfind("/text/", 0) == 0) {
        const std::string body = percent_decoded(p.substr(6));
        return send_text(s, head("200 OK", body.size()) + body);
    }
    if (p == "/redirect") return send_text(s, head("302 Found", 0, "Location: /plain\r\n"));
    if (p.rfind("/size/", 0) == 0) {
        const std::size_t size = std::strtoul(p.c_str() + 6, nullptr, 10);
        return send_text(s, head("200 OK", size) + pattern(size));
    }
    if (p == "/slow") {
        if (!send_text(s, head("200 OK", kSlowPieces * kSlowPieceSize))) return false;
        for (int i = 0; i < kSlowPieces; ++i)
            if (!pause(20) || !send_text(s, pattern(kSlowPieceSize))) return false;
        return true;
    }
    if (p == "/endless") {
        if (!send_text(s, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")) return false;
        const std::string block = pattern(4096);
        for (std::size_t sent = 0; sent < kMaxEndlessBytes && !stopping_; sent += block.size())
            if (!send_text(s, block)) break;
        return false;
    }
    if (p == "/reset") {
        // Part of the promised body, then an abortive close (RST).
        send_text(s, head("200 OK", 100000) + pattern(1000));
        pause(200);
        linger abort_close{1, 0};
        ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_close), sizeof abort_close);
        return false;
    }
    if (p == "/stall") {
        send_text(s, head("200 OK", 1000) + pattern(10));
        pause(20000);
        return false;
    }
    send_text(s, head("404 Not Found", 9) + "not found");
    return true;
}

}  // namespace flinter::net::testing
