// Prints figures, asserts nothing: the memory the add-in adds to the host
// process. The simulated Outlook starts on the samples with and without the
// registered add-in (the library as it ships, stripped), each start in a
// process of its own, in turns; memory is read in that process after
// start-up and after 1,000 selection changes (with the add-in, its message
// information window opened with "Analyzer"). Then, each in a process of its
// own, what start-up adds step by step: the system libraries, each of the
// four windows (made by the same code, linked into this program), the
// library's image, the start-up itself; and the library's image as the build
// tree has it, with its debug information. Registers the add-in and removes
// it again.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "addin_test_config.h"
#include "addin_test_support.h"
#include "analysis/message_info_window.h"
#include "analysis/raw_header_window.h"
#include "ui/window_support.h"
#include "com/registry.h"
#include "com/text_conversion.h"
#include "figures_process.h"
#include "mailhost/simulated_outlook.h"
#include "settings/about_box.h"
#include "settings/settings_window.h"

namespace {

using namespace addin_testing;
using namespace flinter::net::testing;

constexpr int kRounds = 3;
constexpr int kSelectionChanges = 1000;
constexpr wchar_t kAnalyzerTag[] = L"{9EF8F00C-4864-4380-89E3-8E624638A221}";
constexpr wchar_t kShippedLibrary[] = L"shipped\\QAV_Flinter.dll";
constexpr wchar_t kBuildTreeLibrary[] = L"QAV_Flinter.dll";
constexpr double kMiB = 1024.0 * 1024.0;

// Bytes in use in every heap of the process.
double heap_in_use() {
    std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    double bytes = 0;
    for (HANDLE heap : heaps) {
        if (!::HeapLock(heap)) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
        ::HeapUnlock(heap);
    }
    return bytes;
}

// The commit charge (Windows' private bytes; Wine leaves PrivateUsage at 0
// and counts here what is resident and not backed by a file), the working
// set and the heaps' bytes in use, under `when`.
void read_memory(figures& f, const std::string& when) {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    f["private_" + when] = static_cast<double>(memory.PagefileUsage) / kMiB;
    f["working_set_" + when] = static_cast<double>(memory.WorkingSetSize) / kMiB;
    f["heap_" + when] = heap_in_use() / kMiB;
}

// ---- One start of the simulated Outlook, with or without the add-in ----

int run_start(bool with_addin, const std::string& out) {
    figures f;
    {
        mailhost::simulated_outlook outlook(
            {.mailbox = kSamplesMailbox, .explorers = 1, .addins = with_addin ? kProgId : L"", .audit = false});
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

// ---- What start-up adds, step by step, in one process ----

// The base names of the modules loaded now.
std::set<std::wstring> loaded_module_names() {
    std::set<std::wstring> names;
    for (const auto& path : loaded_module_paths()) names.insert(path.substr(path.find_last_of(L"\\/") + 1));
    return names;
}

// The simulated Outlook without the add-in, then the rich edit loaded, as
// the add-in's start-up loads it; `modules` notes the libraries that brought.
void start_with_rich_edit(figures& f, HMODULE& rich_edit) {
    const std::set<std::wstring> host_modules = loaded_module_names();
    rich_edit = ::LoadLibraryW(L"riched20.dll");
    read_memory(f, "rich_edit");
    for (const auto& name : loaded_module_names())
        if (!host_modules.count(name)) f["loads_" + flinter::wide_to_acp(name)] = 1;
}

// Outlook, the rich edit, the library's image, then the add-in switched on:
// each step's figures less the previous step's are what it added.
int run_steps(const std::string& out) {
    figures f;
    // Outlook must not connect the add-in itself: it is switched on below.
    auto addin_key = flinter::registry_key::create(HKEY_CURRENT_USER, kAddInKey);
    addin_key.set_dword(L"LoadBehavior", 2);
    mailhost::simulated_outlook outlook(
        {.mailbox = kSamplesMailbox, .explorers = 1, .addins = kProgId, .audit = false});
    read_memory(f, "outlook");
    HMODULE rich_edit = nullptr;
    start_with_rich_edit(f, rich_edit);
    HMODULE library = ::LoadLibraryW(beside_this_test(kShippedLibrary).c_str());
    read_memory(f, "library");
    const bool started =
        SUCCEEDED(mailhost_connect_addin(kProgId, TRUE)) && ::FindWindowW(L"QAV_Flinter.Tfinfo", nullptr);
    read_memory(f, "addin_started");
    ::FreeLibrary(library);
    ::FreeLibrary(rich_edit);
    addin_key.set_dword(L"LoadBehavior", 3);
    if (!started) {
        std::fprintf(stderr, "memory_benchmark: the add-in did not start\n");
        return 1;
    }
    return write_figures(f, out) ? 0 : 1;
}

// Outlook and the rich edit, then the four windows one by one as the
// start-up makes them, hidden, by the same code linked into this program.
int run_windows(const std::string& out) {
    figures f;
    mailhost::simulated_outlook outlook({.mailbox = kSamplesMailbox, .explorers = 1, .audit = false});
    read_memory(f, "outlook");
    HMODULE rich_edit = nullptr;
    start_with_rich_edit(f, rich_edit);
    {
        auto about = std::make_unique<flinter::TAboutBox>();
        read_memory(f, "about_box");
        auto settings = std::make_unique<flinter::Tfset>(nullptr, *about);
        read_memory(f, "settings_window");
        auto header = std::make_unique<flinter::Tfheader>();
        read_memory(f, "raw_header_window");
        auto info = std::make_unique<flinter::Tfinfo>(nullptr, *header);
        read_memory(f, "information_window");
    }
    ::FreeLibrary(rich_edit);
    return write_figures(f, out) ? 0 : 1;
}

// ---- A library's image alone ----

// Bytes of the library's sections whose data does not begin on a page of the
// file: Wine cannot map those from the file and reads them into private memory.
double unaligned_section_bytes(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    IMAGE_DOS_HEADER dos{};
    file.read(reinterpret_cast<char*>(&dos), sizeof dos);
    file.seekg(dos.e_lfanew + 4);
    IMAGE_FILE_HEADER header{};
    file.read(reinterpret_cast<char*>(&header), sizeof header);
    file.seekg(header.SizeOfOptionalHeader, std::ios::cur);
    double bytes = 0;
    for (int i = 0; i < header.NumberOfSections && file; ++i) {
        IMAGE_SECTION_HEADER section{};
        file.read(reinterpret_cast<char*>(&section), sizeof section);
        if (section.SizeOfRawData != 0 && section.PointerToRawData % 4096 != 0)
            bytes += (section.SizeOfRawData + 4095) / 4096 * 4096.0;
    }
    return bytes;
}

int run_image(const std::wstring& library_file, const std::string& out) {
    figures f;
    const std::wstring path = beside_this_test(library_file.c_str());
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes);
    f["file"] = attributes.nFileSizeLow / kMiB;
    f["unaligned"] = unaligned_section_bytes(path) / kMiB;
    read_memory(f, "before");
    HMODULE library = ::LoadLibraryW(path.c_str());
    read_memory(f, "loaded");
    if (!library) return 1;
    ::FreeLibrary(library);
    return write_figures(f, out) ? 0 : 1;
}

// ---- The parent: the children, then the tables ----

struct collected {
    std::map<std::string, std::vector<double>> without, with, steps, windows, shipped, build_tree;
    std::string libraries;
};

void keep(std::map<std::string, std::vector<double>>& into, const figures& f) {
    for (const auto& [name, value] : f) into[name].push_back(value);
}

bool collect(collected& c) {
    for (int round = 0; round < kRounds; ++round) {
        for (const bool addin : {false, true}) {
            figures f;
            if (!run_figures_child(addin ? "--start=addin" : "--start=plain", f)) return false;
            keep(addin ? c.with : c.without, f);
        }
        figures steps, windows, shipped, build_tree;
        if (!run_figures_child("--start=steps", steps) || !run_figures_child("--start=windows", windows) ||
            !run_figures_child("--start=shipped", shipped) || !run_figures_child("--start=build_tree", build_tree))
            return false;
        keep(c.steps, steps);
        keep(c.windows, windows);
        for (const auto& [name, value] : steps) {
            const std::string library = name.rfind("loads_", 0) == 0 ? name.substr(6) : "";
            if (!library.empty() && c.libraries.find(library) == std::string::npos)
                c.libraries += (c.libraries.empty() ? "" : ", ") + library;
        }
        keep(c.shipped, shipped);
        keep(c.build_tree, build_tree);
    }
    return true;
}

void print_starts(collected& c) {
    std::printf("| %s, the host process, medians of %d starts each (MiB) | without the add-in | with the add-in |"
                " added by the add-in |\n|---|---:|---:|---:|\n", flavour(), kRounds);
    const auto row = [&](const char* what, const std::string& name) {
        const double a = median(c.without[name]), b = median(c.with[name]);
        std::printf("| %s | %.1f | %.1f | %.1f |\n", what, a, b, b - a);
    };
    row("private bytes after start-up", "private_startup");
    row("working set after start-up", "working_set_startup");
    row("heaps' bytes in use after start-up", "heap_startup");
    row("private bytes after 1,000 selection changes", "private_selections");
    row("working set after 1,000 selection changes", "working_set_selections");
}

// A table of steps: each row what its step added to the one before.
class step_table {
public:
    step_table(std::map<std::string, std::vector<double>>& figures, const char* first)
        : figures_(figures), before_(first) {}
    void row(const std::string& what, const char* step) {
        std::printf("| %s | %+.2f | %+.2f | %+.2f |\n", what.c_str(), added("private", step),
                    added("working_set", step), added("heap", step));
        before_ = step;
    }

private:
    double value(const std::string& measure, const std::string& step) {
        return median(figures_[measure + "_" + step]);
    }
    double added(const char* measure, const char* step) { return value(measure, step) - value(measure, before_); }

    std::map<std::string, std::vector<double>>& figures_;
    std::string before_;
};

void print_steps(collected& c) {
    const char* head = " | private bytes | working set | heaps' bytes in use |\n|---|---:|---:|---:|\n";
    std::printf("\n| %s, what start-up adds, step by step, medians of %d (MiB)%s", flavour(), kRounds, head);
    std::printf("| the simulated Outlook started, one explorer (the base, not added) | %.2f | %.2f | %.2f |\n",
                median(c.steps["private_outlook"]), median(c.steps["working_set_outlook"]),
                median(c.steps["heap_outlook"]));
    step_table steps(c.steps, "outlook");
    steps.row("the rich edit loaded (" + (c.libraries.empty() ? std::string("already there") : c.libraries) + ")",
              "rich_edit");
    steps.row("QAV_Flinter.dll loaded, as shipped", "library");
    steps.row("the add-in started: its module, toolbar, four windows, settings", "addin_started");

    std::printf("\n| %s, of which the four windows, made one by one by the same code (MiB)%s", flavour(), head);
    step_table windows(c.windows, "rich_edit");
    windows.row("the About box, hidden", "about_box");
    windows.row("the settings window, hidden, with its HTTP client", "settings_window");
    windows.row("the raw-header window, hidden", "raw_header_window");
    windows.row("the message information window, hidden", "information_window");

    std::printf("\n| %s, QAV_Flinter.dll loaded alone, medians of %d (MiB) | file | sections not on a page of"
                " the file | private bytes added | working set added |\n|---|---:|---:|---:|---:|\n",
                flavour(), kRounds);
    const auto image = [](const char* what, std::map<std::string, std::vector<double>>& f) {
        std::printf("| %s | %.2f | %.2f | %+.2f | %+.2f |\n", what, median(f["file"]), median(f["unaligned"]),
                    median(f["private_loaded"]) - median(f["private_before"]),
                    median(f["working_set_loaded"]) - median(f["working_set_before"]));
    };
    image("as shipped (dist/, stripped)", c.shipped);
    image("as the build tree has it, with debug information", c.build_tree);
}

int run_parent() {
    if (FAILED(mailhost_register()) || regsvr32(beside_this_test(kShippedLibrary)) != 0) {
        std::fprintf(stderr, "memory_benchmark: the add-in could not be registered\n");
        return 1;
    }
    record_recent_update_check();
    collected c;
    const bool ok = collect(c);
    remove_registration();
    mailhost_unregister();
    if (!ok) {
        std::fprintf(stderr, "memory_benchmark: a run failed\n");
        return 1;
    }
    std::printf("### %s\n\n", flavour());
    print_starts(c);
    print_steps(c);
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (FAILED(::CoInitialize(nullptr))) return 1;
    const std::string start = option(argc, argv, "start"), out = option(argc, argv, "out");
    int status = 0;
    if (start.empty()) {
        status = run_parent();
    } else if (start == "plain" || start == "addin") {
        status = run_start(start == "addin", out);
    } else if (start == "steps") {
        status = run_steps(out);
    } else if (start == "windows") {
        status = run_windows(out);
    } else {
        status = run_image(start == "shipped" ? kShippedLibrary : kBuildTreeLibrary, out);
    }
    ::CoUninitialize();
    return status;
}
