// Prints figures, asserts nothing about speed: EvaluateHeader on a 50 MiB
// header against one ASCII lower-casing pass over the same bytes, the least
// any evaluation of lowered text has to do. Portable: built for every flavour.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/analysis/header_evaluation.h"
#include "core/text/ascii.h"

namespace {

using namespace flinter;

constexpr std::size_t kHeaderSize = 50u << 20;
constexpr int kRuns = 7;

#if defined(_WIN64)
constexpr const char* kFlavour = "x64";
#elif defined(_WIN32)
constexpr const char* kFlavour = "x86";
#else
constexpr const char* kFlavour = "native";
#endif

// A scanned message's header as the service stamps it: relays, the
// service's lines and the usual fields.
constexpr std::string_view kScanned =
        "Received: from exprod7mx123.postini.com (exprod7mx123.postini.com [203.0.113.123])\r\n"
        "\tby mail.example.com (Postfix) with SMTP id 4F1A22C0B7\r\n"
        "\tfor <dana.fischer@example.com>; Tue, 14 Mar 2006 09:12:44 -0800 (PST)\r\n"
        "Received: from source ([198.51.100.77]) by exprod7mx123.postini.com ([203.0.113.123]) with SMTP;\r\n"
        "\tTue, 14 Mar 2006 11:12:40 CST\r\n"
        "X-pstn-levels:     (S: 4.21350/99.90000 CV:99.9000 R:95.9108 P:95.9108 M:17.2410 C:21.4500 )\r\n"
        "X-pstn-settings: 2 (0.5000:50.0000) s cv gt3 gt2 gt1 r p m c \r\n"
        "X-pstn-addr: good (user approved)\r\n"
        "From: \"Ink Deals\" <offers@inkdeals.example>\r\n"
        "To: dana.fischer@example.com\r\n"
        "Subject: Lowest prices on printer ink - this week only\r\n"
        "Date: Tue, 14 Mar 2006 18:12:31 +0100\r\n"
        "Message-ID: <20060314171231.7731.offers@inkdeals.example>\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n";
// Relay lines of a message that never met the service, whose marks the
// evaluation then looks for through the whole text.
constexpr std::string_view kUnscanned =
    "Received: from relay7.example.net (relay7.example.net [192.0.2.7])\r\n"
    "\tby relay8.example.net with ESMTP id 4F1A0007; Tue, 14 Mar 2006 09:07:00 -0800\r\n";

// block repeated until the text holds 50 MiB.
std::string large_header(std::string_view block) {
    std::string header;
    header.reserve(kHeaderSize + block.size());
    while (header.size() < kHeaderSize) header += block;
    return header;
}

template <class Work>
double median_ms(Work work) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::size_t sink = 0;   // keeps the work from being optimised away

// One row: the header's lowering pass, then its evaluation, every section on.
void row(const char* what, std::string_view block) {
    const std::string header = large_header(block);
    const double lowering = median_ms([&] { sink += text::ascii_lower(header).size(); });
    const double evaluation = median_ms([&] { sink += EvaluateHeader(header, {}, '.').lines.size(); });
    const double mib = static_cast<double>(header.size()) / (1 << 20);
    std::printf("| %s | %.1f | %.1f (%.0f MiB/s) | %.2f |\n", what, lowering, evaluation,
                mib * 1000 / evaluation, evaluation / lowering);
}

}  // namespace

int main() {
    std::printf("### %s\n\n", kFlavour);
    std::printf("| %s, %u MiB header, medians of %d runs | one lowering pass (ms) | EvaluateHeader (ms) |"
                " evaluation in lowering passes |\n|---|---:|---:|---:|\n",
                kFlavour, static_cast<unsigned>(kHeaderSize >> 20), kRuns);
    row("a scanned message's header, repeated", kScanned);
    row("relay lines only, no mark of the service", kUnscanned);
    std::printf("\n");
    return sink == 0;
}
