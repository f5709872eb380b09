// The add-in object following Outlook's windows, connected to the simulated
// Outlook with a module that records the events it receives: which window
// each event names, when an explorer's bars are placed, what closing windows
// frees, Cancel and failing handlers, events that arrive while a handler runs
// messages, and what is left in Outlook after disconnection.
#include <gtest/gtest.h>

#include <windows.h>
#include <wrl/client.h>
#include <addin.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "addin/com_server.h"
#include "addin/explorer_in_front.h"
#include "addin/outlook_wrappers.h"
#include "addin_test_config.h"
#include "addin_test_support.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/unique_res.h"
#include "framework/office_ids.h"
#include "simulated_outlook_test.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;

constexpr char kRecorder[] = R"(
object Recorder: TRecordingModule
  AddInName = "Recorder"
  SupportedApps = [ohaOutlook]
end
)";

// What the recording module does besides recording; reset by each test.
struct reactions {
    bool cancel_folder_switch = false;
    bool fail_activate = false;
    bool run_messages_in_selection_change = false;
};
reactions react;
std::vector<std::wstring> events;
IDispatch* host = nullptr;
const TafwCOMAddInModule* recorder = nullptr;   // the connected recording module

// The add-in object's tracking; it exists from the start of its start-up step on.
const outlook_tracking& tracking() { return *recorder->AddInObject()->Tracking(); }

void run_queued_messages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// "E2" for Outlook's second open explorer, "I1" for its first inspector.
std::wstring window_name(IDispatch* object) {
    for (const auto& [collection, prefix] : {std::pair{L"Explorers", L"E"}, std::pair{L"Inspectors", L"I"}}) {
        const auto list = get_object(host, collection);
        for (int i = 1, n = get(list.Get(), L"Count").as_int(); i <= n; ++i)
            if (same_object(get_object(list.Get(), L"Item", {variant(i)}).Get(), object))
                return prefix + std::to_wstring(i);
    }
    return L"?";
}

template <class T>
bool followed(const std::vector<std::unique_ptr<T>>& list, const component& sender) {
    return std::any_of(list.begin(), list.end(), [&](const auto& w) { return w.get() == &sender; });
}

// The sender as the events name it: a window wrapper the add-in follows by
// its window, the collections' sinks by their class, no sender as "none".
std::wstring who(const component* sender) {
    if (!sender) return L"none";
    const auto* server = dynamic_cast<const TOleServer*>(sender);
    if (!server) return L"module?";
    if (dynamic_cast<const TExplorers*>(server)) return L"Explorers";
    if (dynamic_cast<const TInspectors*>(server)) return L"Inspectors";
    if (dynamic_cast<const TNameSpace*>(server)) return L"NameSpace";
    const bool is_followed =
        followed(tracking().Explorers(), *sender) || followed(tracking().Inspectors(), *sender);
    return window_name(server->DefaultInterface()) + (is_followed ? L"" : L" (not followed)");
}

void record(const wchar_t* event, const component* sender, const std::wstring& more = {}) {
    events.push_back(std::wstring(event) + L" " + who(sender) + (more.empty() ? L"" : L" " + more));
}

class recording_module final : public TafwCOMAddInModule {
public:
    recording_module() : TafwCOMAddInModule("Recorder", "TRecordingModule") {
        load(definition::read_definition(kRecorder), handler_table());
        recorder = this;
        // A handler of the application's own, set before the framework hooks the event.
        OnAddInStartupComplete = [this](component&) {
            static_cast<TOutlookApplication*>(HostWrapper())->OnOptionsPagesAdd = [](TOutlookApplication&, IDispatch*) {
                events.push_back(L"OptionsPagesAdd of the earlier handler");
            };
        };
        OnOLNewExplorer = [](component* s, IDispatch* e) { record(L"NewExplorer", s, window_name(e)); };
        OnOLNewInspector = [](component* s, IDispatch* i) { record(L"NewInspector", s, window_name(i)); };
        OnOLExplorerActivate = [](component& s) {
            record(L"Activate", &s);
            if (react.fail_activate) throw hresult_error(E_FAIL, "no bars today");
        };
        OnOLExplorerFolderSwitch = [](component& s) { record(L"FolderSwitch", &s); };
        OnOLExplorerBeforeFolderSwitch = [](component& s, IDispatch* folder, VARIANT_BOOL& cancel) {
            record(L"BeforeFolderSwitch", &s, get(folder, L"Name").as_wstring());
            if (react.cancel_folder_switch) cancel = VARIANT_TRUE;
        };
        OnOLExplorerViewSwitch = [](component& s) { record(L"ViewSwitch", &s); };
        OnOLExplorerBeforeViewSwitch = [](component& s, const VARIANT& view, VARIANT_BOOL& cancel) {
            record(L"BeforeViewSwitch", &s, variant(view).as_wstring());
            cancel = VARIANT_TRUE;
        };
        OnOLExplorerDeactivate = [](component& s) { record(L"Deactivate", &s); };
        OnOLExplorerSelectionChange = [](component& s) {
            record(L"SelectionChange", &s);
            if (!react.run_messages_in_selection_change) return;
            run_queued_messages();
            events.push_back(L"SelectionChange handler returns");
        };
        OnOLExplorerClose = [](component& s) { record(L"Close", &s); };
        OnOLInspectorActivate = [](component& s) { record(L"InspectorActivate", &s); };
        OnOLInspectorDeactivate = [](component& s) { record(L"InspectorDeactivate", &s); };
        OnOLInspectorClose = [](component& s) { record(L"InspectorClose", &s); };
    }

    void OptionsPagesAdd(IDispatch* pages) override {
        events.push_back(std::wstring(L"OptionsPagesAdd ") + (pages ? L"pages" : L"no pages"));
    }
    void FolderPagesAdd(component* name_space, IDispatch* pages, IDispatch* folder) override {
        record(L"FolderPagesAdd", name_space, std::wstring(pages ? L"pages " : L"no pages ") + get(folder, L"Name").as_wstring());
    }
};

addin_class recorder_class() {
    return {"TRecorder", addin_testing::kKorv, {addin_testing::kIkorv}, &create_addin_object<TafwAddin>,
            [] { return module_ptr(new recording_module()); }};
}

std::vector<std::wstring> lines_of(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::wstringstream stream(text);
    for (std::wstring line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// Objects of a kind that have sinks advised, from the simulated Outlook's report.
int objects_with_sinks(const wchar_t* kind) {
    const auto lines = lines_of(mailhost::simulated_outlook::advised_sinks());
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const auto& l) { return l.starts_with(std::wstring(kind) + L"#"); }));
}

class OutlookTracking : public testing_support::simulated_outlook_test {
protected:
    void SetUp() override {
        simulated_outlook_test::SetUp();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, addin_testing::kAddInKey);
        react = {};
        events.clear();
        library_dialogs().module_error_box = [this](HWND, const std::wstring&, const std::wstring& text) {
            error_boxes.push_back(text);
        };
    }
    void TearDown() override {
        disconnect(ext_dm_HostShutdown);
        library_dialogs() = default_user_dialogs();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, addin_testing::kAddInKey);
        host = nullptr;
        recorder = nullptr;
        simulated_outlook_test::TearDown();
    }

    // Outlook with the samples, then the add-in connected as the user would
    // after Outlook started (the whole start-up runs inside OnConnection).
    void connect(int explorers = 1) {
        host = start({.mailbox = kSamplesMailbox, .explorers = explorers});
        baseline_refs = mailhost_outstanding_ref_count();
        ASSERT_EQ(S_OK, factory.CreateInstance(nullptr, IID_PPV_ARGS(&addin)));
        ASSERT_EQ(S_OK, addin->OnConnection(host, ext_cm_AfterStartup, nullptr, &custom));
        ASSERT_NE(nullptr, addin_object()->Tracking());
    }
    void disconnect(ext_DisconnectMode mode) {
        if (!addin) return;
        if (mode == ext_dm_HostShutdown) {
            EXPECT_EQ(S_OK, addin->OnBeginShutdown(&custom));
        }
        EXPECT_EQ(S_OK, addin->OnDisconnection(mode, &custom));
        addin.Reset();
    }
    TafwAddin* addin_object() const { return static_cast<TafwAddin*>(addin.Get()); }
    TafwCOMAddInModule& module() const { return *addin_object()->Module(); }

    ComPtr<IDispatch> explorer(int n) const {
        return get_object(get_object(host, L"Explorers").Get(), L"Item", {variant(n)});
    }
    // The explorer whose command bars the module's bars now go into.
    std::wstring bars_window() const {
        for (int n = 1; n <= mailhost_explorer_count(); ++n)
            if (same_object(get_object(explorer(n).Get(), L"CommandBars").Get(), module().command_bars().Get()))
                return L"E" + std::to_wstring(n);
        return L"none";
    }
    std::vector<std::wstring> take_events() { return std::exchange(events, {}); }
    static void select(int explorer, int item) { ASSERT_EQ(S_OK, mailhost_select(explorer, &item, 1)); }

    unique_safearray custom_{::SafeArrayCreateVector(VT_VARIANT, 0, 0)};
    SAFEARRAY* custom = custom_.get();
    TComServer server{this_module_file_name()};
    TafwFactory factory{server, recorder_class()};
    ComPtr<IDTExtensibility2> addin;
    long baseline_refs = 0;   // Outlook's references held by the test itself
    std::vector<std::wstring> error_boxes;
};

using lines = std::vector<std::wstring>;

TEST_F(OutlookTracking, ASelectionChangeNamesTheExplorerWhoseSelectionChanged) {
    connect(2);   // of the windows open at start-up only the active one is followed
    EXPECT_EQ(1u, tracking().Explorers().size());
    int third = 0;
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, &third));
    take_events();

    select(1, 1);
    select(3, 2);
    select(2, 1);
    EXPECT_EQ((lines{L"SelectionChange E1", L"SelectionChange E3"}), take_events());
}

TEST_F(OutlookTracking, BarsGoToTheActiveExplorerAtStartUpAndToANewOneAtItsFirstFolderSwitchOrActivation) {
    connect();
    EXPECT_EQ((lines{L"NewExplorer none E1", L"Activate E1"}), take_events());
    EXPECT_EQ(L"E1", bars_window());

    struct step {
        const char* action;
        std::function<void()> act;
        lines expected;
        const wchar_t* bars;
    };
    int index = 0;
    BOOL cancelled = FALSE;
    const step steps[] = {
        {"a second explorer opens in the background",
         [&] { ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", FALSE, &index)); },
         {L"NewExplorer Explorers E2"}, L"E1"},
        {"its first folder switch places the bars",
         [&] { ASSERT_EQ(S_OK, mailhost_switch_folder(2, L"Calendar", &cancelled)); },
         {L"BeforeFolderSwitch E2 Calendar", L"Activate E2", L"FolderSwitch E2"}, L"E2"},
        {"later folder switches do not",
         [&] { ASSERT_EQ(S_OK, mailhost_switch_folder(2, L"Inbox", &cancelled)); },
         {L"BeforeFolderSwitch E2 Inbox", L"FolderSwitch E2"}, L"E2"},
        {"each activation places them",
         [&] {
             ASSERT_EQ(S_OK, mailhost_activate_explorer(2));
             ASSERT_EQ(S_OK, mailhost_activate_explorer(1));
         },
         {L"Deactivate E1", L"Activate E2", L"Deactivate E2", L"Activate E1"}, L"E1"},
        {"a third explorer opened in front gets them at its activation",
         [&] { ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, &index)); },
         {L"NewExplorer Explorers E3", L"Deactivate E1", L"Activate E3"}, L"E3"},
        {"and the next folder switch of any explorer places them again, once",
         [&] {
             ASSERT_EQ(S_OK, mailhost_switch_folder(2, L"Calendar", &cancelled));
             ASSERT_EQ(S_OK, mailhost_switch_folder(2, L"Inbox", &cancelled));
         },
         {L"BeforeFolderSwitch E2 Calendar", L"Activate E2", L"FolderSwitch E2", L"BeforeFolderSwitch E2 Inbox",
          L"FolderSwitch E2"},
         L"E2"},
    };
    for (const step& s : steps) {
        SCOPED_TRACE(s.action);
        s.act();
        EXPECT_EQ(s.expected, take_events());
        EXPECT_EQ(s.bars, bars_window());
    }
}

TEST_F(OutlookTracking, ClosingWindowsFreesTheirWrappersAndTheLastExplorerEndsInspectorTracking) {
    connect();
    take_events();
    int index = 0;
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", FALSE, &index));
    ASSERT_EQ(S_OK, mailhost_add_message(L"Inbox", "Subject: a note\r\n\r\nremember the milk\r\n", outlook::olNote));
    const int note = mailhost_folder_count(L"Inbox");
    for (int item : {1, 2, 3, note}) ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", item, &index));
    // Each inspector is activated on arrival, then again as Outlook brings it to the front.
    EXPECT_EQ((lines{L"NewExplorer Explorers E2", L"NewInspector Inspectors I1", L"InspectorActivate I1",
                     L"Deactivate E1", L"InspectorActivate I1", L"NewInspector Inspectors I2",
                     L"InspectorActivate I2", L"InspectorDeactivate I1", L"InspectorActivate I2",
                     L"NewInspector Inspectors I3", L"InspectorActivate I3", L"InspectorDeactivate I2",
                     L"InspectorActivate I3", L"InspectorDeactivate I3"}),
              take_events())
        << "the note's inspector (I4) is not followed";
    ASSERT_EQ(3u, tracking().Inspectors().size());
    EXPECT_EQ(L"Mailbox\\Inbox", tracking().Inspectors()[0]->FolderPath);
    EXPECT_EQ(2, objects_with_sinks(L"Explorer"));
    EXPECT_EQ(3, objects_with_sinks(L"Inspector"));

    ASSERT_EQ(S_OK, mailhost_fire(L"Inspector1", TInspector::kClose, nullptr, 0));
    EXPECT_EQ(lines{}, take_events()) << "its window still shows and an explorer is open";
    ASSERT_EQ(S_OK, mailhost_close_inspector(1));
    EXPECT_EQ(lines{L"InspectorClose I1"}, take_events());
    EXPECT_EQ(2, objects_with_sinks(L"Inspector"));

    ASSERT_EQ(S_OK, mailhost_close_explorer(2));
    EXPECT_EQ(lines{L"Close E2"}, take_events());
    ASSERT_EQ(1u, tracking().Explorers().size());
    EXPECT_TRUE(same_object(explorer(1).Get(), tracking().Explorers()[0]->DefaultInterface()));
    EXPECT_EQ(1, objects_with_sinks(L"Explorer"));

    ASSERT_EQ(S_OK, mailhost_close_explorer(1));   // the inspectors keep Outlook running
    EXPECT_EQ((lines{L"Close E1", L"InspectorClose I2", L"InspectorClose I1"}), take_events())
        << "from the last inspector followed to the first";
    EXPECT_TRUE(tracking().Explorers().empty());
    EXPECT_TRUE(tracking().Inspectors().empty());
    EXPECT_EQ(0, objects_with_sinks(L"Explorer"));
    EXPECT_EQ(0, objects_with_sinks(L"Inspector"));
}

TEST_F(OutlookTracking, HandlersCancelThroughOutlookAndTheirFailuresGoToTheErrorReport) {
    connect();
    int index = 0;
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", FALSE, &index));
    take_events();

    react.cancel_folder_switch = true;
    BOOL cancelled = FALSE;
    ASSERT_EQ(S_OK, mailhost_switch_folder(2, L"Calendar", &cancelled));
    EXPECT_TRUE(cancelled);
    ASSERT_EQ(S_OK, mailhost_switch_view(2, L"By Sender", &cancelled));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ((lines{L"BeforeFolderSwitch E2 Calendar", L"BeforeViewSwitch E2 By Sender"}), take_events());

    react = {.fail_activate = true};
    ASSERT_EQ(S_OK, mailhost_switch_folder(2, L"Calendar", &cancelled));
    EXPECT_EQ((lines{L"BeforeFolderSwitch E2 Calendar", L"Activate E2", L"FolderSwitch E2"}), take_events())
        << "the folder switch goes on after the failed handler";
    ASSERT_EQ(1u, error_boxes.size());
    EXPECT_NE(std::wstring::npos, error_boxes[0].find(L"no bars today")) << error_boxes[0];

    ASSERT_EQ(S_OK, mailhost_fire(L"Explorer2", 0xF0FF, nullptr, 0));
    EXPECT_EQ(lines{}, take_events());
}

TEST_F(OutlookTracking, OptionsPagesGoToAnEarlierHandlerFirstThenToTheModulesHooks) {
    connect();
    take_events();
    ASSERT_EQ(S_OK, mailhost_show_options(nullptr, nullptr));
    ASSERT_EQ(S_OK, mailhost_show_options(L"Inbox", nullptr));
    EXPECT_EQ((lines{L"OptionsPagesAdd of the earlier handler", L"OptionsPagesAdd pages",
                     L"FolderPagesAdd NameSpace pages Inbox"}),
              take_events());
    EXPECT_TRUE(error_boxes.empty());
}

TEST_F(OutlookTracking, AWindowThatCannotBeReadAtStartUpLeavesTheOtherWindowsAndPagesFollowed) {
    struct read_case {
        const wchar_t* target;
        const wchar_t* member;
        lines startup;   // what start-up raised
        lines later;     // what a new explorer, a new inspector and the two kinds of pages raise then
    };
    const lines pages{L"OptionsPagesAdd of the earlier handler", L"OptionsPagesAdd pages",
                      L"FolderPagesAdd NameSpace pages Inbox"};
    const auto then = [&pages](lines windows) {
        windows.insert(windows.end(), pages.begin(), pages.end());
        return windows;
    };
    const read_case cases[] = {
        {L"Application", L"ActiveExplorer", {L"NewInspector Inspectors I1", L"InspectorActivate I1"},
         then({L"NewExplorer Explorers E2", L"NewInspector Inspectors I2", L"InspectorActivate I2",
               L"InspectorDeactivate I1", L"InspectorActivate I2"})},
        {L"Inspector", L"CurrentItem", {L"NewExplorer none E1", L"Activate E1"},
         then({L"NewExplorer Explorers E2", L"NewInspector Inspectors I2", L"InspectorActivate I2",
               L"InspectorActivate I2"})},
    };
    for (const read_case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.target) + L"." + c.member));
        host = start({.mailbox = kSamplesMailbox, .explorers = 1});
        int index = 0;
        ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", 1, &index));
        take_events();
        ASSERT_EQ(S_OK, mailhost_fail(c.target, c.member, E_FAIL, 1));
        ASSERT_EQ(S_OK, factory.CreateInstance(nullptr, IID_PPV_ARGS(&addin)));
        EXPECT_EQ(S_OK, addin->OnConnection(host, ext_cm_AfterStartup, nullptr, &custom));
        EXPECT_EQ(1, mailhost_injected_failures());
        EXPECT_EQ(c.startup, take_events());

        ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", FALSE, &index));
        ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", 2, &index));
        ASSERT_EQ(S_OK, mailhost_show_options(nullptr, nullptr));
        ASSERT_EQ(S_OK, mailhost_show_options(L"Inbox", nullptr));
        EXPECT_EQ(c.later, take_events());
        disconnect(ext_dm_HostShutdown);
        EXPECT_EQ(0, mailhost_advised_sink_count()) << mailhost::simulated_outlook::advised_sinks();
    }
    EXPECT_TRUE(error_boxes.empty());
}

TEST_F(OutlookTracking, AnExplorerClosedWhileItsOwnSelectionChangeHandlerRunsMessages) {
    connect();
    int index = 0;
    ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", FALSE, &index));
    take_events();
    react.run_messages_in_selection_change = true;

    ASSERT_EQ(S_OK, mailhost_queue_user_actions(TRUE));
    select(2, 1);
    select(1, 2);
    ASSERT_EQ(S_OK, mailhost_close_explorer(2));
    ASSERT_EQ(S_OK, mailhost_queue_user_actions(FALSE));
    run_queued_messages();

    EXPECT_EQ((lines{L"SelectionChange E2", L"SelectionChange E1", L"Close E2", L"SelectionChange handler returns",
                     L"SelectionChange handler returns"}),
              take_events());
    ASSERT_EQ(1u, tracking().Explorers().size());
    EXPECT_EQ(1, objects_with_sinks(L"Explorer"));
    select(1, 3);
    EXPECT_EQ((lines{L"SelectionChange E1", L"SelectionChange handler returns"}), take_events());
}

TEST_F(OutlookTracking, DisconnectionLeavesNoSinkAdvisedAndEveryReferenceReleased) {
    for (const auto mode : {ext_dm_HostShutdown, ext_dm_UserClosed}) {
        SCOPED_TRACE(mode == ext_dm_HostShutdown ? "host shut-down" : "switched off by the user");
        connect();
        int index = 0;
        ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, &index));
        ASSERT_EQ(S_OK, mailhost_open_inspector(L"Inbox", 1, &index));
        BOOL cancelled = FALSE;
        ASSERT_EQ(S_OK, mailhost_switch_folder(1, L"Calendar", &cancelled));
        select(2, 1);
        EXPECT_LT(0, mailhost_advised_sink_count());

        disconnect(mode);
        EXPECT_EQ(0, mailhost_advised_sink_count()) << mailhost::simulated_outlook::advised_sinks();
        EXPECT_EQ(baseline_refs, mailhost_outstanding_ref_count()) << mailhost::simulated_outlook::outstanding_refs();
        EXPECT_TRUE(error_boxes.empty());
    }
}

}  // namespace
}  // namespace flinter
