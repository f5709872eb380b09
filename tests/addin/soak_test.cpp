// The add-in in a long session: selection changes with the information window
// showing, explorer windows opened and closed, the add-in switched off and on
// in the COM Add-ins dialog. Open handles, GDI objects, window classes, the
// host's references and the advised sinks must end where they started.
// The full campaign runs in make test; FLINTER_SOAK=short runs a short one
// while working on it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "addin_test_config.h"
#include "addin_test_support.h"
#include "com/hresult_error.h"
#include "com/text_conversion.h"
#include "end_to_end_support.h"
#include "mailhost/simulated_outlook.h"
#include "process_resources.h"

namespace {

using namespace addin_testing;
using mailhost::simulated_outlook;

struct campaign {
    int selection_changes, explorer_cycles, connect_cycles;
};

campaign chosen_campaign() {
    const char* soak = std::getenv("FLINTER_SOAK");
    if (soak && std::string(soak) == "short") return {60, 6, 6};
    return {1000, 100, 100};
}

struct resource_counts {
    flinter::testing::process_resources process;
    long references, sinks;
};

resource_counts measure(const char* when) {
    const resource_counts counts{flinter::testing::measure_process_resources(), mailhost_outstanding_ref_count(),
                                 mailhost_advised_sink_count()};
    std::printf("%-22s %s, host references %ld, advised sinks %ld\n", when,
                flinter::testing::describe(counts.process).c_str(), counts.references, counts.sinks);
    return counts;
}

BOOL CALLBACK find_button(HWND child, LPARAM wanted) {
    auto* search = reinterpret_cast<std::pair<const wchar_t*, HWND>*>(wanted);
    wchar_t text[128] = {};
    ::GetWindowTextW(child, text, 128);
    if (::_wcsicmp(text, search->first) != 0) return TRUE;
    search->second = child;
    return FALSE;
}

void press_in(HWND window, const wchar_t* text) {
    std::pair<const wchar_t*, HWND> search{text, nullptr};
    ::EnumChildWindows(window, find_button, reinterpret_cast<LPARAM>(&search));
    ASSERT_NE(nullptr, search.second) << "no control \"" << flinter::narrow(text) << "\"";
    ::SendMessageW(search.second, BM_CLICK, 0, 0);
}

// The user ticks or clears the add-in in the COM Add-ins dialog and presses OK.
void switch_in_addins_dialog() {
    HWND dialog = nullptr;
    ASSERT_EQ(S_OK, mailhost_open_addins_dialog(1, &dialog));
    ASSERT_NO_FATAL_FAILURE(press_in(dialog, L"DOD_Flinter"));
    ASSERT_NO_FATAL_FAILURE(press_in(dialog, L"OK"));
}

void change_selection(int step) {
    int row = step % 6 + 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &row, 1));
}

void open_and_close_explorer() {
    int index = 0;
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, &index));
    ASSERT_EQ(S_OK, mailhost_switch_folder(index, L"Calendar", nullptr));
    ASSERT_EQ(S_OK, mailhost_switch_folder(index, L"Inbox", nullptr));
    ASSERT_EQ(S_OK, mailhost_close_explorer(index));
}

// The user presses "Analyzer", which shows the information window.
void show_information_window() {
    ASSERT_NO_FATAL_FAILURE(press(L"Analyzer"));
    ASSERT_TRUE(::IsWindowVisible(information_window()));
}

class Soak : public registered_addin_test {};

TEST_F(Soak, ResourcesReturnToWhereTheyStarted) {
    const campaign run = chosen_campaign();
    std::printf("%d selection changes, %d explorer open/close cycles, %d connect/disconnect cycles\n",
                run.selection_changes, run.explorer_cycles, run.connect_cycles);
    simulated_outlook outlook({.mailbox = kSamplesMailbox, .addins = kProgId});
    // One round of each first, so that what is made once per process is made.
    ASSERT_NO_FATAL_FAILURE(show_information_window());
    ASSERT_NO_FATAL_FAILURE(change_selection(0));
    ASSERT_NO_FATAL_FAILURE(open_and_close_explorer());
    ASSERT_NO_FATAL_FAILURE(switch_in_addins_dialog());
    ASSERT_NO_FATAL_FAILURE(switch_in_addins_dialog());
    ASSERT_NO_FATAL_FAILURE(show_information_window());
    ASSERT_NO_FATAL_FAILURE(change_selection(1));
    const resource_counts start = measure("start");

    for (int i = 0; i < run.selection_changes; ++i) ASSERT_NO_FATAL_FAILURE(change_selection(i));
    EXPECT_TRUE(::IsWindowVisible(information_window()));
    measure("after selection changes");
    for (int i = 0; i < run.explorer_cycles; ++i) ASSERT_NO_FATAL_FAILURE(open_and_close_explorer());
    measure("after explorer cycles");
    for (int i = 0; i < run.connect_cycles; ++i) {
        ASSERT_NO_FATAL_FAILURE(switch_in_addins_dialog());
        EXPECT_EQ(nullptr, information_window()) << "switched off";
        ASSERT_NO_FATAL_FAILURE(switch_in_addins_dialog());
    }
    measure("after connect cycles");
    ASSERT_NO_FATAL_FAILURE(show_information_window());
    ASSERT_NO_FATAL_FAILURE(change_selection(1));

    const resource_counts end = measure("end");
    EXPECT_EQ(start.process.handles, end.process.handles);
    EXPECT_EQ(start.process.gdi, end.process.gdi);
    EXPECT_EQ(start.process.classes, end.process.classes);
    EXPECT_EQ(start.references, end.references) << simulated_outlook::outstanding_refs();
    EXPECT_EQ(start.sinks, end.sinks) << simulated_outlook::advised_sinks();
}

}  // namespace
