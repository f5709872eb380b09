// Prints figures, asserts nothing about speed: the "Spam" report per message
// against the simulated Outlook on the samples, from the command to the last
// forward sent (save, header read through MAPI, forward, address, body,
// attachment, send), for one selected message and for every sample at once.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "commands/spam_report.h"
#include "commands_test_config.h"
#include "figures_process.h"
#include "message_probe.h"
#include "mailhost/simulated_outlook.h"
#include "temp_folder.h"

namespace {

using namespace flinter;
using namespace flinter::net::testing;

constexpr int kWarmUps = 5;
constexpr int kRuns = 50;

struct no_window : header_text_sink {
    void show_header_text(std::string_view) override {}
};

// Milliseconds per message of reporting `items`, median of kRuns reports.
double per_message_ms(IDispatch* application, const std::vector<int>& items) {
    testing_support::temp_folder work;
    no_window raw_headers;
    const spam_report_settings settings{.email = "abuse@report.example"};
    const spam_report_environment environment{.work_folder = work.path(), .temp_folder = work.path(),
                                              .raw_header_window = &raw_headers,
                                              .dialogs = {.show_message = [](HWND, const std::string&) {}}};
    mailhost_select(1, items.data(), static_cast<int>(items.size()));
    std::vector<double> times;
    for (int i = 0; i < kWarmUps + kRuns; ++i) {
        const double start = now_ms();
        if (ReportSpam(application, settings, environment) != 0) return -1;
        if (i >= kWarmUps) times.push_back((now_ms() - start) / static_cast<double>(items.size()));
    }
    return median(times);
}

}  // namespace

int main() {
    if (FAILED(::CoInitialize(nullptr))) return 1;
    double one = -1, all = -1;
    int messages = 0;
    {
        mailhost::simulated_outlook outlook({.mailbox = kSamplesMailbox, .explorers = 1});
        messages = mailhost_folder_count(L"Inbox");
        std::vector<int> every(static_cast<std::size_t>(messages));
        for (int i = 0; i < messages; ++i) every[static_cast<std::size_t>(i)] = i + 1;
        one = per_message_ms(outlook.application(), {1});
        all = per_message_ms(outlook.application(), every);
    }
    ::CoUninitialize();
    if (one < 0 || all < 0) {
        std::fprintf(stderr, "spam_report_benchmark: a report failed\n");
        return 1;
    }
    std::printf("### %s\n\n", flavour());
    std::printf("| %s, the \"Spam\" report, medians of %d reports | ms per message |\n|---|---:|\n", flavour(), kRuns);
    std::printf("| one message selected (01-spam.eml) | %.2f |\n", one);
    std::printf("| the %d samples selected at once | %.2f |\n\n", messages, all);
    return 0;
}
