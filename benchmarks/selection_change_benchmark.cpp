// Prints figures, asserts nothing about speed: one selection change in the
// simulated Outlook with the message information window showing, from the
// user's selection to the rendered verdict (the event through the add-in's
// sink, the host calls for the selected item, the header read through MAPI,
// the evaluation and the rich-text rendering), for a typical header and for a
// 64 KiB one; and, as the floor, the same change with the window hidden,
// which delivers the event and nothing else; then the parts of the work one
// by one. The add-in runs in-process with its own module; start-up writes the
// add-in key, which is removed at the end.
#include <windows.h>
#include <wrl/client.h>
#include <addin.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "addin/com_server.h"
#include "addin_test_config.h"
#include "addin_test_support.h"
#include "analysis/header_retrieval.h"
#include "com/late_bound.h"
#include "com/unique_res.h"
#include "commands/addin_module.h"
#include "core/analysis/header_evaluation.h"
#include "mailhost/simulated_outlook.h"

namespace {

using namespace flinter;
using Microsoft::WRL::ComPtr;

constexpr int kWarmUps = 10;
// Runs for a typical header and for the large one, whose refresh takes long under Wine.
constexpr int kRuns = 300, kLargeRuns = 30;
constexpr std::size_t kLargeHeader = 64 * 1024;

double now_ms() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct figures {
    double median, fastest, slowest;
};

figures timed(const std::function<void()>& work, int runs) {
    for (int i = 0; i < kWarmUps; ++i) work();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = now_ms();
        work();
        times.push_back(now_ms() - start);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front(), times.back()};
}

// select(item) in explorer 1 fires SelectionChange and returns once every
// sink has handled it.
figures time_selection(int item, int runs) {
    return timed([item] { mailhost_select(1, &item, 1); }, runs);
}

// The steps of one refresh, each on its own (medians).
struct steps {
    double retrieval, raw_header_window, evaluation, rendering, formatting, filling, height;
};

steps time_steps(IDispatch* application, TAddInModule& module, int item, int runs) {
    mailhost_select(1, &item, 1);
    const auto selection = get_object(get_object(application, L"ActiveExplorer").Get(), L"Selection");
    const variant selected = get(selection.Get(), L"Item", {variant(1)});
    const std::string header = GetMessageHeader(selected.get(), nullptr);
    const auto lines = EvaluateHeader(header, {}, '.').lines;
    const rich_verdict verdict = format_verdict(lines);
    Tfinfo& info = *module.finfo();
    return {timed([&] { GetMessageHeader(selected.get(), nullptr); }, runs).median,
            timed([&] { module.fheader()->show_header_text(header); }, runs).median,
            timed([&] { EvaluateHeader(header, {}, '.'); }, runs).median,
            timed([&] { info.render(lines, 0xFFFFFF); }, runs).median,
            timed([&] { format_verdict(lines); }, runs).median,
            timed([&] { info.fill(verdict, 0xFFFFFF); }, runs).median,
            timed([&] { info.fit_height_to_lines(); }, runs).median};
}

std::string read_file(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// The size of a message's header block, its closing line end included.
std::size_t header_size(const std::string& message) { return message.find("\r\n\r\n") + 2; }

// The sample message with relay lines added at the top until its header block
// holds 64 KiB or a little more, as a long chain of relays leaves it.
std::string message_with_large_header(const std::string& sample) {
    std::string relays;
    for (int hop = 0; relays.size() + header_size(sample) < kLargeHeader; ++hop) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "Received: from relay%d.example.net (relay%d.example.net [192.0.2.%d])\r\n"
                      "\tby relay%d.example.net with ESMTP id %08X; Tue, 14 Mar 2006 09:%02d:00 -0800\r\n",
                      hop + 1, hop + 1, hop % 250 + 1, hop + 2, 0x4F1A0000 + hop, hop % 60);
        relays += line;
    }
    return relays + sample;
}

int run() {
    addin_testing::record_recent_update_check();
    std::wstring mailbox = kSamplesMailbox;
    std::replace(mailbox.begin(), mailbox.end(), L'/', L'\\');
    const std::string sample = read_file(mailbox + L"\\01-spam.eml");
    if (sample.find("\r\n\r\n") == std::string::npos) {
        std::fprintf(stderr, "selection_change_benchmark: the sample message could not be read\n");
        return 1;
    }
    figures typical{}, large{}, hidden{};
    steps typical_steps{}, large_steps{};
    const std::string large_message = message_with_large_header(sample);
    {
        mailhost::simulated_outlook outlook({.mailbox = kSamplesMailbox, .explorers = 1});
        if (FAILED(mailhost_add_message(L"Inbox", large_message.c_str(), 43))) return 1;
        const int large_item = mailhost_folder_count(L"Inbox");

        TComServer server{this_module_file_name()};
        TafwFactory factory{server, addin_testing::quiet_korv_class()};
        ComPtr<IDTExtensibility2> addin;
        unique_safearray custom_array(::SafeArrayCreateVector(VT_VARIANT, 0, 0));
        SAFEARRAY* custom = custom_array.get();
        if (FAILED(factory.CreateInstance(nullptr, IID_PPV_ARGS(&addin))) ||
            FAILED(addin->OnConnection(outlook.application(), ext_cm_AfterStartup, nullptr, &custom))) {
            std::fprintf(stderr, "selection_change_benchmark: the add-in did not connect\n");
            return 1;
        }
        auto& module = static_cast<TAddInModule&>(*static_cast<TafwAddin*>(addin.Get())->Module());
        hidden = time_selection(1, kRuns);
        module.finfo()->show();
        typical = time_selection(1, kRuns);
        large = time_selection(large_item, kLargeRuns);
        typical_steps = time_steps(outlook.application(), module, 1, kRuns);
        large_steps = time_steps(outlook.application(), module, large_item, kLargeRuns);
        addin->OnDisconnection(ext_dm_HostShutdown, &custom);
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, addin_testing::kAddInKey);

#ifdef _WIN64
    const char* flavour = "x64";
#else
    const char* flavour = "x86";
#endif
    std::printf("### %s\n\n", flavour);
    std::printf("| %s, one SelectionChange (ms) | median | fastest | slowest |\n|---|---:|---:|---:|\n", flavour);
    const auto row = [](const std::string& what, const figures& f) {
        std::printf("| %s | %.3f | %.3f | %.3f |\n", what.c_str(), f.median, f.fastest, f.slowest);
    };
    const std::string runs = std::to_string(kRuns) + " runs", large_runs = std::to_string(kLargeRuns) + " runs";
    row("window hidden: the event alone, " + runs, hidden);
    row("window showing, typical header (" + std::to_string(header_size(sample)) + " bytes), " + runs, typical);
    row("window showing, large header (" + std::to_string(header_size(large_message)) + " bytes), " + large_runs,
        large);
    std::printf("\n| %s, the steps of one refresh, medians (ms) | typical header | large header |\n"
                "|---|---:|---:|\n", flavour);
    const auto step = [](const char* what, double typical_ms, double large_ms) {
        std::printf("| %s | %.3f | %.3f |\n", what, typical_ms, large_ms);
    };
    step("header read through MAPI", typical_steps.retrieval, large_steps.retrieval);
    step("raw-header window's text set (hidden)", typical_steps.raw_header_window, large_steps.raw_header_window);
    step("evaluation", typical_steps.evaluation, large_steps.evaluation);
    step("rendering into the information window", typical_steps.rendering, large_steps.rendering);
    step("- the lines formatted as one text with its spans", typical_steps.formatting, large_steps.formatting);
    step("- the box emptied and filled in one insertion", typical_steps.filling, large_steps.filling);
    step("- the window's height fitted to the lines", typical_steps.height, large_steps.height);
    std::printf("\n");
    return 0;
}

}  // namespace

int main() {
    if (FAILED(::CoInitialize(nullptr))) return 1;
    const int status = run();
    ::CoUninitialize();
    return status;
}
