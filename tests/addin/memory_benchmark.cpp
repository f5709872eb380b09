// Prints figures, asserts nothing: the memory the add-in adds to the host
// process. The simulated Outlook starts on the samples with and without the
// registered add-in, each start in a process of its own, in turns; memory is
// read in that process after start-up and after 1,000 selection changes
// (with the add-in, its message information window opened with "Analyzer"). Registers the add-in and removes it again.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "addin_test_config.h"
#include "addin_test_support.h"
#include "figures_process.h"
#include "mailhost/simulated_outlook.h"

namespace {

using namespace addin_testing;
using namespace flinter::net::testing;

constexpr int kRounds = 3;
constexpr int kSelectionChanges = 1000;
constexpr wchar_t kAnalyzerTag[] = L"{9EF8F00C-4864-4380-89E3-8E624638A221}";

void read_memory(figures& f, const std::string& when) {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    // The commit charge: Windows' private bytes; Wine leaves PrivateUsage at 0.
    f["private_" + when] = static_cast<double>(memory.PagefileUsage) / (1024.0 * 1024.0);
    f["working_set_" + when] = static_cast<double>(memory.WorkingSetSize) / (1024.0 * 1024.0);
}

// The child: one start of the simulated Outlook, with or without the add-in.
int run_child(bool with_addin, const std::string& out) {
    figures f;
    {
        mailhost::simulated_outlook outlook(
            {.mailbox = kSamplesMailbox, .explorers = 1, .addins = with_addin ? kProgId : L"",
             .audit = false});
        read_memory(f, "startup");
        if (with_addin && FAILED(mailhost_click(1, kAnalyzerTag, nullptr))) {
            std::fprintf(stderr, "memory_benchmark: the add-in's \"Analyzer\" button is not there\n");
            return 1;
        }
        const int messages = mailhost_folder_count(L"Inbox");
        for (int i = 0; i < kSelectionChanges; ++i) {
            const int item = i % messages + 1;
            mailhost_select(1, &item, 1);
        }
        read_memory(f, "selections");
    }
    return write_figures(f, out) ? 0 : 1;
}

int run_parent() {
    if (FAILED(mailhost_register()) || regsvr32(beside_this_test(L"QAV_Flinter.dll")) != 0) {
        std::fprintf(stderr, "memory_benchmark: the add-in could not be registered\n");
        return 1;
    }
    record_recent_update_check();
    std::map<std::string, std::vector<double>> with, without;
    bool ok = true;
    for (int round = 0; ok && round < kRounds; ++round) {
        for (const bool addin : {false, true}) {
            figures f;
            ok = ok && run_figures_child(addin ? "--addin=1" : "--addin=0", f);
            for (const auto& [name, value] : f) (addin ? with : without)[name].push_back(value);
        }
    }
    remove_registration();
    mailhost_unregister();
    if (!ok) {
        std::fprintf(stderr, "memory_benchmark: a run failed\n");
        return 1;
    }
    std::printf("### %s\n\n", flavour());
    std::printf("| %s, the host process, medians of %d starts each (MiB) | without the add-in | with the add-in |"
                " added by the add-in |\n|---|---:|---:|---:|\n", flavour(), kRounds);
    const auto row = [&](const char* what, const std::string& name) {
        const double a = median(without[name]), b = median(with[name]);
        std::printf("| %s | %.1f | %.1f | %.1f |\n", what, a, b, b - a);
    };
    row("private bytes after start-up", "private_startup");
    row("working set after start-up", "working_set_startup");
    row("private bytes after 1,000 selection changes", "private_selections");
    row("working set after 1,000 selection changes", "working_set_selections");
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (FAILED(::CoInitialize(nullptr))) return 1;
    const std::string addin = option(argc, argv, "addin");
    const int status = addin.empty() ? run_parent() : run_child(addin == "1", option(argc, argv, "out"));
    ::CoUninitialize();
    return status;
}
