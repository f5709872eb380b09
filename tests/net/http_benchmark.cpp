// Prints figures, asserts nothing about speed: the time from Execute to
// OnRequestComplete for a small body, and the throughput of a 10 MiB body,
// both non-blocking with events delivered through the hidden window.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "http_test_support.h"
#include "loopback_server.h"
#include "net/http_client.h"

using flinter::net::TAdvHttp;
using flinter::net::testing::loopback_server;
using flinter::net::testing::pump_until;

namespace {

double now_ms() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Milliseconds from Execute to OnRequestComplete; negative on failure.
double timed_request(TAdvHttp& http, bool& completed) {
    completed = false;
    double end = 0;
    http.OnRequestComplete = [&](TAdvHttp&) {
        end = now_ms();
        completed = true;
    };
    const double start = now_ms();
    if (!http.Execute(false)) return -1;
    if (!pump_until([&] { return completed && !http.WorkerRunning(); })) return -1;
    return end - start;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    loopback_server server;
    TAdvHttp http;
    bool completed = false;
#if defined(_WIN64)
    const char* flavour = "x64";
#else
    const char* flavour = "x86";
#endif

    http.SetURL(server.url("/plain"));
    for (int i = 0; i < 10; ++i) timed_request(http, completed);  // warm-up
    std::vector<double> small;
    for (int i = 0; i < 200; ++i) {
        const double ms = timed_request(http, completed);
        if (ms < 0 || http.Text() != "Hello, loopback") return std::fprintf(stderr, "small request failed\n"), 1;
        small.push_back(ms);
    }
    std::sort(small.begin(), small.end());

    http.SetURL(server.url("/size/10485760"));
    std::vector<double> rates;
    for (int i = 0; i < 5; ++i) {
        const double ms = timed_request(http, completed);
        if (ms <= 0 || http.ResponseStream().size() != 10485760) return std::fprintf(stderr, "large request failed\n"), 1;
        rates.push_back(10.0 / (ms / 1000.0));
    }

    std::printf("| flavour | small body: median ms | small body: min ms | small body: 90th percentile ms | 10 MiB body: median MiB/s |\n");
    std::printf("| %s | %.2f | %.2f | %.2f | %.1f |\n", flavour, median(small), small.front(),
                small[small.size() * 9 / 10], median(rates));
    return 0;
}
