// The HTTP client's figures for `make bench`: three setups side by side against
// one loopback server, each measured in a process of its own (so that its peak
// memory is its own), in several rounds; prints this flavour's medians as a
// markdown table with each figure's ratio to the floor, then what the
// non-blocking client's events cost: one delivery (a cross-thread SendMessage
// handled on the user-interface thread, measured bare) and how many a request
// and a chunk take. Asserts nothing.
//   floor         the same WinInet calls, synchronous, on a worker thread that
//                 the user-interface thread waits for (running its messages)
//   blocking      TAdvHttp, Execute(true) on the user-interface thread
//   non-blocking  TAdvHttp, Execute(false), window owner, every handler installed
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "http_test_support.h"
#include "figures_process.h"
#include "loopback_server.h"
#include "message_probe.h"
#include "net/http_client.h"

namespace {

using flinter::net::TAdvHttp;
using flinter::net::testing::figures;
using flinter::net::testing::flavour;
using flinter::net::testing::median;
using flinter::net::testing::message_delay_probe;
using flinter::net::testing::option;
using flinter::net::testing::run_figures_child;
using flinter::net::testing::write_figures;
using flinter::net::testing::now_ms;

constexpr int kRounds = 3;
constexpr int kWarmUps = 20;
constexpr int kSmallRequests = 300;
constexpr int kLargeRequests = 5;
constexpr int kStallRuns = 3;
constexpr int kDestructions = 5;
constexpr std::size_t kLargeBody = 10 * 1024 * 1024;
constexpr std::size_t kChunk = 16384;  // TAdvHttp's reads
constexpr DWORD kRequestFlags = 0x8040F200;  // TAdvHttp's default flags

const char* const kSetups[] = {"floor", "blocking", "non-blocking"};

double thread_cpu_ms() {
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// ---- The user-interface thread ----

// Measures the worst delay of a posted message while it is set.
message_delay_probe* active_probe = nullptr;

// The user-interface thread's message loop, until done() holds.
void run_messages_until(const std::function<bool()>& done, HANDLE wake = nullptr) {
    flinter::net::testing::run_messages_until(done, active_probe, wake);
}

void run_messages_for(double ms) {
    const double end = now_ms() + ms;
    run_messages_until([&] { return now_ms() >= end; });
}

// ---- One delivery, bare ----

LRESULT CALLBACK answer_at_once(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return message == WM_APP ? 0 : ::DefWindowProcW(window, message, wparam, lparam);
}

struct round_trips {
    HWND window;
    int count;
    std::atomic<bool> done{false};
};

DWORD WINAPI send_round_trips(void* param) {
    auto& r = *static_cast<round_trips*>(param);
    for (int i = 0; i < r.count; ++i) ::SendMessageW(r.window, WM_APP, 0, 0);
    r.done = true;
    return 0;
}

// Milliseconds of one SendMessage from another thread to a window of this
// thread, handled at once while this thread runs its message loop: what the
// non-blocking client pays per event at least.
double delivery_ms() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &answer_at_once;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"http_benchmark.delivery";
    ::RegisterClassExW(&wc);
    round_trips r{::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                    nullptr),
                  2000};
    const double start = now_ms();
    HANDLE sender = ::CreateThread(nullptr, 0, &send_round_trips, &r, 0, nullptr);
    run_messages_until([&] { return r.done.load(); }, sender);
    const double elapsed = now_ms() - start;
    ::WaitForSingleObject(sender, INFINITE);
    ::CloseHandle(sender);
    ::DestroyWindow(r.window);
    return elapsed / r.count;
}

// ---- The three setups ----

class setup {
public:
    virtual ~setup() = default;
    // One request; returns the milliseconds from its start until the
    // user-interface thread saw it complete, and the body's size.
    virtual double fetch(const std::string& path, std::size_t& size) = 0;
    // Starts a request to /stall, whose server sends the head and a few bytes
    // of the body and then nothing for 20 s, and returns once the answer's head
    // is in; false when the setup cannot be destroyed meanwhile.
    virtual bool begin_stalled_read() { return false; }
    // Events delivered to handlers during the last fetch (NaN: no handlers).
    virtual double deliveries() const { return NAN; }
    // While on, each fetch notes when Execute returned and when each event
    // reached its handler; the medians go to `f` as at_<step>.
    virtual void record_timeline(bool) {}
    virtual void add_timeline(figures&) const {}
};

// The floor: WinInet's synchronous calls on a thread of its own.
class raw_client : public setup {
public:
    explicit raw_client(int port)
        : port_(port),
          session_(::InternetOpenA("Orvalis WinInet Component", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)),
          go_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          done_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          thread_(::CreateThread(nullptr, 0, &raw_client::run, this, 0, nullptr)) {}

    // Ends a read in progress by closing its handle, then the thread and session.
    ~raw_client() override {
        close_request();
        quit_ = true;
        ::SetEvent(go_);
        ::WaitForSingleObject(thread_, INFINITE);
        ::InternetCloseHandle(session_);
        for (HANDLE h : {thread_, go_, done_}) ::CloseHandle(h);
    }

    double fetch(const std::string& path, std::size_t& size) override {
        finished_ = false;
        path_ = path;
        const double start = now_ms();
        ::SetEvent(go_);
        run_messages_until([&] { return finished_.load(); }, done_);
        size = body_.size();
        return now_ms() - start;
    }

    bool begin_stalled_read() override {
        finished_ = false;
        answered_ = false;
        path_ = "/stall";
        ::SetEvent(go_);
        run_messages_until([&] { return answered_.load(); });
        return true;
    }

private:
    static DWORD WINAPI run(void* self) {
        auto& c = *static_cast<raw_client*>(self);
        while (::WaitForSingleObject(c.go_, INFINITE) == WAIT_OBJECT_0 && !c.quit_) {
            c.request_once();
            c.finished_ = true;
            ::SetEvent(c.done_);
        }
        return 0;
    }

    void request_once() {
        body_.clear();
        HINTERNET connection = ::InternetConnectA(session_, "127.0.0.1", static_cast<INTERNET_PORT>(port_), nullptr,
                                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        request_ = ::HttpOpenRequestA(connection, "GET", path_.c_str(), nullptr, nullptr, nullptr, kRequestFlags, 0);
        HINTERNET request = request_;
        if (request && ::HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
            answered_ = true;
            DWORD status = 0, size = sizeof status, index = 0;
            ::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index);
            std::vector<char> headers(8192);
            size = static_cast<DWORD>(headers.size());
            index = 0;
            ::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &size, &index);
            std::vector<char> buffer(16384);
            DWORD read = 0;
            while (::InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read) && read > 0) {
                body_.append(buffer.data(), read);
            }
        }
        close_request();
        ::InternetCloseHandle(connection);
    }

    void close_request() {
        if (HINTERNET request = request_.exchange(nullptr)) ::InternetCloseHandle(request);
    }

    int port_;
    HINTERNET session_;
    HANDLE go_, done_, thread_;
    std::string path_, body_;
    std::atomic<HINTERNET> request_{nullptr};
    std::atomic<bool> quit_{false}, finished_{false}, answered_{false};
};

class advhttp_client : public setup {
public:
    advhttp_client(int port, bool blocking) : port_(port), blocking_(blocking) {
        if (!blocking_) install_every_handler();
        http_.OnRequestComplete = [this](TAdvHttp&) {
            completed_at_ = now_ms();
            note("OnRequestComplete");
            ++events_;
        };
    }

    double deliveries() const override { return blocking_ ? NAN : static_cast<double>(events_); }

    double fetch(const std::string& path, std::size_t& size) override {
        http_.SetURL(url(path));
        completed_at_ = 0;
        events_ = 0;
        start_ = now_ms();
        http_.Execute(blocking_);
        note("Execute_returned");
        run_messages_until([&] { return completed_at_ != 0 && !http_.Busy(); });
        size = http_.ResponseStream().size();
        return completed_at_ - start_;
    }

    void record_timeline(bool on) override { recording_ = on; }
    void add_timeline(figures& f) const override {
        for (const auto& [step, times] : timeline_) f["at_" + step] = median(times);
    }

    bool begin_stalled_read() override {
        if (blocking_) return false;  // the user-interface thread itself waits in the read
        http_.SetURL(url("/stall"));
        http_.Execute(false);
        run_messages_until([&] { return http_.TotalResponseBytes() > 0; });
        return true;
    }

private:
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

    void note(const char* step) {
        if (recording_) timeline_[step].push_back(now_ms() - start_);
    }

    // As a real add-in would: something small on every event.
    void install_every_handler() {
        using slot = TAdvHttp::TNotifyEvent TAdvHttp::*;
        const std::pair<slot, const char*> slots[] = {
            {&TAdvHttp::OnResolvingName, "OnResolvingName"}, {&TAdvHttp::OnNameResolved, "OnNameResolved"},
            {&TAdvHttp::OnConnectingToServer, "OnConnectingToServer"},
            {&TAdvHttp::OnConnectedToServer, "OnConnectedToServer"},
            {&TAdvHttp::OnSendingRequest, "OnSendingRequest"}, {&TAdvHttp::OnRequestSent, "OnRequestSent"},
            {&TAdvHttp::OnReceivingResponse, "OnReceivingResponse"},
            {&TAdvHttp::OnResponseReceived, "OnResponseReceived"},
            {&TAdvHttp::OnClosingConnection, "OnClosingConnection"},
            {&TAdvHttp::OnConnectionClosed, "OnConnectionClosed"}, {&TAdvHttp::OnRedirect, "OnRedirect"},
            {&TAdvHttp::OnIntermediateResponse, "OnIntermediateResponse"},
            {&TAdvHttp::OnStateChange, "OnStateChange"}, {&TAdvHttp::OnNeedAuth, "OnNeedAuth"},
            {&TAdvHttp::OnNeedProxyAuth, "OnNeedProxyAuth"}, {&TAdvHttp::OnError, "OnError"}};
        for (const auto& [member, name] : slots)
            http_.*member = [this, name = name](TAdvHttp&) {
                note(name);
                ++events_;
            };
        http_.OnDataAvailable = [this](TAdvHttp& h) {
            note("OnDataAvailable");
            bytes_seen_ += h.ChunkSize();
            ++events_;
        };
    }

    int port_;
    bool blocking_;
    TAdvHttp http_;
    double completed_at_ = 0, start_ = 0;
    long events_ = 0;
    std::size_t bytes_seen_ = 0;
    bool recording_ = false;
    std::map<std::string, std::vector<double>> timeline_;  // step -> ms from Execute, per fetch
};

std::unique_ptr<setup> make_setup(const std::string& kind, int port) {
    if (kind == "floor") return std::make_unique<raw_client>(port);
    return std::make_unique<advhttp_client>(port, kind == "blocking");
}

// ---- One setup's figures, in a process of its own ----


double destruction_ms(std::unique_ptr<setup>& s) {
    const double start = now_ms();
    s.reset();
    return now_ms() - start;
}

// The update check's own arrangement: only OnRequestComplete, whose delivery
// is waiting for the user-interface thread when the component goes.
double destruction_with_completion_pending_ms(int port) {
    auto http = std::make_unique<TAdvHttp>();
    http->OnRequestComplete = [](TAdvHttp&) {};
    http->SetURL("http://127.0.0.1:" + std::to_string(port) + "/plain");
    http->Execute(false);
    flinter::net::testing::wait_for_sent_message();
    const double start = now_ms();
    http.reset();
    return now_ms() - start;
}

figures measure(const std::string& kind, int port) {
    figures f;
    auto s = make_setup(kind, port);
    std::size_t size = 0;
    for (int i = 0; i < kWarmUps; ++i) s->fetch("/plain", size);

    std::vector<double> small;
    const double cpu_before = thread_cpu_ms();
    s->record_timeline(true);
    for (int i = 0; i < kSmallRequests; ++i) small.push_back(s->fetch("/plain", size));
    s->record_timeline(false);
    f["ui_cpu_ms"] = (thread_cpu_ms() - cpu_before) / kSmallRequests;
    s->add_timeline(f);
    f["small_ms"] = median(small);
    f["small_deliveries"] = s->deliveries();
    f["delivery_ms"] = delivery_ms();

    // Throughput and the posted messages' delay in separate runs: the probe
    // costs CPU of its own, and only where messages are being run.
    const std::string large = "/size/" + std::to_string(kLargeBody);
    std::vector<double> rates, stalls;
    for (int i = 0; i < kLargeRequests; ++i) {
        const double ms = s->fetch(large, size);
        if (size != kLargeBody) std::fprintf(stderr, "%s: 10 MiB body came as %zu bytes\n", kind.c_str(), size);
        rates.push_back((static_cast<double>(kLargeBody) / (1024.0 * 1024.0)) / (ms / 1000.0));
    }
    f["chunk_deliveries"] = s->deliveries() / static_cast<double>(kLargeBody / kChunk);
    for (int i = 0; i < kStallRuns; ++i) {
        message_delay_probe probe;
        active_probe = &probe;
        s->fetch(large, size);
        run_messages_for(5);  // the tick held up by a blocking request arrives now
        active_probe = nullptr;
        stalls.push_back(probe.worst_ms());
    }
    f["large_mib_s"] = median(rates);
    f["stall_ms"] = median(stalls);
    s.reset();

    // The floor's synchronous read cannot be cut short: it waits out the
    // server's stall, so once a round is enough.
    const int stalled_runs = kind == "floor" ? 1 : kDestructions;
    std::vector<double> idle, stalled, pending;
    for (int i = 0; i < kDestructions; ++i) {
        auto d = make_setup(kind, port);
        d->fetch("/plain", size);
        idle.push_back(destruction_ms(d));
        d = make_setup(kind, port);
        if (i < stalled_runs && d->begin_stalled_read()) {
            run_messages_for(50);  // into the body's read, which the server leaves waiting
            stalled.push_back(destruction_ms(d));
        }
        if (kind == "non-blocking") pending.push_back(destruction_with_completion_pending_ms(port));
    }
    f["destroy_idle_ms"] = median(idle);
    f["destroy_stalled_ms"] = median(stalled);
    f["destroy_pending_ms"] = median(pending);

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    f["peak_mib"] = static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0);
    return f;
}

int run_child(const std::string& kind, int port, const std::string& out) {
    return write_figures(measure(kind, port), out) ? 0 : 1;
}

// ---- The parent: rounds of children, then the table ----

std::string cell(double value, double floor, int decimals, bool ratio) {
    if (std::isnan(value)) return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string result = text;
    if (ratio && !std::isnan(floor) && floor > 0) {
        const double r = value / floor;
        if (r < 0.01)
            std::snprintf(text, sizeof text, " (<0.01×)");
        else
            std::snprintf(text, sizeof text, " (%.2f×)", r);
        result += text;
    }
    return result;
}

// The lowest and highest of the rounds' figures, and of each round's ratio to
// the floor of the same round: how steady the figure is from run to run.
void print_spread(std::map<std::string, std::map<std::string, std::vector<double>>>& rounds, const char* name) {
    const std::vector<double>& floor = rounds["floor"][name];
    const auto spread = [&](const char* kind) {
        const std::vector<double>& v = rounds[kind][name];
        if (v.empty() || v.size() != floor.size()) return std::string("n/a");
        double low_ratio = v[0] / floor[0], high_ratio = low_ratio;
        for (std::size_t i = 1; i < v.size(); ++i) {
            low_ratio = std::min(low_ratio, v[i] / floor[i]);
            high_ratio = std::max(high_ratio, v[i] / floor[i]);
        }
        char text[96];
        std::snprintf(text, sizeof text, "%.2f–%.2f (%.2f–%.2f×)", *std::min_element(v.begin(), v.end()),
                      *std::max_element(v.begin(), v.end()), low_ratio, high_ratio);
        return std::string(text);
    };
    char floor_text[64];
    std::snprintf(floor_text, sizeof floor_text, "%.2f–%.2f", *std::min_element(floor.begin(), floor.end()),
                  *std::max_element(floor.begin(), floor.end()));
    std::printf("| small request, lowest–highest of the rounds (ms; each round's ratio to its floor) |"
                " %s | %s | %s |\n", floor_text, spread("blocking").c_str(), spread("non-blocking").c_str());
}

// Where the non-blocking small request spends its time: when Execute returned
// and when each event reached its handler, in the order they came.
void print_timeline(std::map<std::string, std::vector<double>>& figures_of_setup, double floor_ms) {
    std::vector<std::pair<double, std::string>> steps;
    for (const auto& [name, values] : figures_of_setup)
        if (name.rfind("at_", 0) == 0) steps.emplace_back(median(values), name.substr(3));
    std::sort(steps.begin(), steps.end());
    std::printf("\n| %s, the non-blocking small request step by step, medians of %d rounds | ms from Execute |"
                " in the floor's small requests |\n|---|---:|---:|\n", flavour(), kRounds);
    for (const auto& [at, step] : steps) {
        const std::string what = step == "Execute_returned" ? "`Execute` returned" : "`" + step + "` handled";
        std::printf("| %s | %.2f | %.2f× |\n", what.c_str(), at, at / floor_ms);
    }
}

int run_parent() {
    flinter::net::testing::loopback_server server;
    std::map<std::string, std::map<std::string, std::vector<double>>> rounds;  // setup -> figure -> values
    for (int round = 0; round < kRounds; ++round) {
        for (const char* kind : kSetups) {
            figures f;
            if (!run_figures_child("--setup=" + std::string(kind) + " --port=" + std::to_string(server.port()), f)) {
                std::fprintf(stderr, "the %s setup failed\n", kind);
                return 1;
            }
            for (const auto& [name, value] : f) rounds[kind][name].push_back(value);
        }
    }
    auto figure = [&](const char* kind, const char* name) { return median(rounds[kind][name]); };

    struct row {
        const char* label;
        const char* name;
        int decimals;
        bool ratio;
    };
    const row rows[] = {
        {"small request, Execute to completion (ms)", "small_ms", 2, true},
        {"10 MiB body (MiB/s)", "large_mib_s", 1, true},
        {"user-interface thread CPU per small request (ms)", "ui_cpu_ms", 3, false},
        {"worst delay of a posted message during a 10 MiB body (ms)", "stall_ms", 2, true},
        {"destruction when idle (ms)", "destroy_idle_ms", 2, true},
        {"destruction during a stalled read (ms)", "destroy_stalled_ms", 2, true},
        {"destruction with the completion pending (ms)", "destroy_pending_ms", 2, false},
        {"peak working set of the process (MiB)", "peak_mib", 1, true},
    };
    std::printf("### %s\n\n", flavour());
    std::printf("| %s, median of %d rounds | floor: synchronous WinInet on a worker | TAdvHttp blocking | "
                "TAdvHttp non-blocking, every handler |\n|---|---:|---:|---:|\n",
                flavour(), kRounds);
    for (const row& r : rows) {
        const double floor = figure("floor", r.name);
        std::printf("| %s | %s | %s | %s |\n", r.label, cell(floor, NAN, r.decimals, false).c_str(),
                    cell(figure("blocking", r.name), floor, r.decimals, r.ratio).c_str(),
                    cell(figure("non-blocking", r.name), floor, r.decimals, r.ratio).c_str());
        if (std::string(r.name) == "small_ms") print_spread(rounds, r.name);
    }
    // Each event is one delivery at least: what the design costs beyond the floor.
    const double delivery = figure("floor", "delivery_ms");
    const double per_chunk = figure("non-blocking", "chunk_deliveries");
    const double small_deliveries = figure("non-blocking", "small_deliveries");
    const double floor_body_ms = (kLargeBody / (1024.0 * 1024.0)) / figure("floor", "large_mib_s") * 1000.0;
    const double ceiling = (kLargeBody / (1024.0 * 1024.0)) /
                           ((floor_body_ms + per_chunk * (kLargeBody / kChunk) * delivery) / 1000.0);
    std::printf("\n| %s, what the non-blocking client's events cost, medians of %d rounds | |\n|---|---:|\n",
                flavour(), kRounds);
    std::printf("| one delivery: SendMessage from another thread, handled at once on the user-interface thread"
                " (ms) | %.3f |\n", delivery);
    std::printf("| deliveries in a small request, every handler installed | %.0f |\n", small_deliveries);
    std::printf("| the floor's small request plus that many deliveries (ms) | %.2f (%.2f×) |\n",
                figure("floor", "small_ms") + small_deliveries * delivery,
                (figure("floor", "small_ms") + small_deliveries * delivery) / figure("floor", "small_ms"));
    std::printf("| deliveries per 16 KiB chunk of a body, every handler installed | %.2f |\n", per_chunk);
    std::printf("| 10 MiB at the floor's rate plus those deliveries (MiB/s) | %.1f (%.2f×) |\n", ceiling,
                ceiling / figure("floor", "large_mib_s"));
    print_timeline(rounds["non-blocking"], figure("floor", "small_ms"));
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kind = option(argc, argv, "setup");
    if (kind.empty()) return run_parent();
    return run_child(kind, std::stoi(option(argc, argv, "port")), option(argc, argv, "out"));
}
