// The toolbar in Outlook's explorer windows. The registered add-in, loaded by
// the simulated Outlook from the registry: its bar and buttons at start, the
// layout kept from one start to the next, everything gone when the user
// switches it off. The add-in's own module connected in this process: a
// click on each button reaches its command. A module of the test's own: the
// folder rules, one copy per window, and clicks that arrive exactly once.
#include <gtest/gtest.h>

#include <windows.h>
#include <wrl/client.h>
#include <addin.h>
#include <olectl.h>

#include <functional>
#include <optional>
#include <sstream>
#include <utility>
#include <string>
#include <vector>

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "addin/com_server.h"
#include "addin/explorer_in_front.h"
#include "addin_test_config.h"
#include "addin_test_support.h"
#include "com/late_bound.h"
#include "com/module.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "commandbars/command_bar.h"
#include "commandbars/command_bar_button.h"
#include "commandbars/event_sink.h"
#include "commands/addin_module.h"
#include "core/definition/stored_definition.h"
#include "end_to_end_support.h"
#include "settings/settings_store.h"
#include "simulated_outlook_test.h"
#include "toolbar_in_explorers.h"

namespace flinter {
namespace {

using Microsoft::WRL::ComPtr;
using mailhost::simulated_outlook;

const variant missing = variant::missing();

using addin_testing::bars_named;
using addin_testing::command_bars_of;
using addin_testing::kAnalyzerTag;
using addin_testing::kLoginTag;
using addin_testing::kSettingsTag;
using addin_testing::kSpamTag;
using addin_testing::kToolbar;
constexpr int kMsoBarLeft = 0, kMsoBarTop = 1, kMsoBarFloating = 4;

void run_queued_messages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

std::vector<std::wstring> control_texts(IDispatch* bar, const wchar_t* member) {
    std::vector<std::wstring> texts;
    const auto controls = get_object(bar, L"Controls");
    for (int i = 1, n = get(controls.Get(), L"Count").as_int(); i <= n; ++i)
        texts.push_back(get(get_object(controls.Get(), L"Item", {variant(i)}).Get(), member).as_wstring());
    return texts;
}

bool shown(IDispatch* bar) { return get(bar, L"Visible").as_bool(); }

void click(int explorer, const wchar_t* tag) { ASSERT_EQ(S_OK, mailhost_click(explorer, tag, nullptr)); }
void switch_folder(int explorer, const wchar_t* folder) {
    ASSERT_EQ(S_OK, mailhost_switch_folder(explorer, folder, nullptr));
}

std::wstring layout_key() { return std::wstring(addin_testing::kAddInKey) + L"\\CommandBars\\" + kToolbar; }

// ---- the registered add-in ----

class RegisteredToolbar : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        addin_testing::remove_registration();
        ASSERT_EQ(S_OK, mailhost_register());
        ASSERT_EQ(0u, addin_testing::regsvr32(addin_testing::beside_this_test(L"QAV_Flinter.dll")));
        addin_testing::record_recent_update_check();
    }
    void TearDown() override {
        // Unregistered, so that no type library registration outlives the test.
        addin_testing::regsvr32(addin_testing::beside_this_test(L"QAV_Flinter.dll"), true);
        addin_testing::remove_registration();
        mailhost_unregister();
        ::CoUninitialize();
    }
    static mailhost::outlook_settings with_the_addin() { return {.explorers = 1, .addins = addin_testing::kProgId}; }
};

TEST_F(RegisteredToolbar, StartsInAMailFolderWithOneBarAtTheTopAndItsFourButtons) {
    simulated_outlook outlook(with_the_addin());
    const auto bars = bars_named(outlook.application(), 1, kToolbar);
    ASSERT_EQ(1u, bars.size());
    EXPECT_EQ(kMsoBarTop, get(bars[0].Get(), L"Position").as_int());
    EXPECT_TRUE(shown(bars[0].Get()));
    EXPECT_EQ((std::vector<std::wstring>{L"Spam", L"Settings", L"Analyzer", L"Login"}),
              control_texts(bars[0].Get(), L"Caption"));
    EXPECT_EQ((std::vector<std::wstring>{kSpamTag, kSettingsTag, kAnalyzerTag, kLoginTag}),
              control_texts(bars[0].Get(), L"Tag"));
    for (const wchar_t* tag : {kSpamTag, kSettingsTag, kAnalyzerTag, kLoginTag}) {
        SCOPED_TRACE(tag);
        int source = 0, width = 0, height = 0;
        ASSERT_EQ(S_OK, mailhost_button_face(1, tag, FALSE, &source, &width, &height, nullptr, 0));
        EXPECT_TRUE(source == 2 || source == 3) << "a picture of its own, not " << source;
        EXPECT_EQ(16, width);
        EXPECT_EQ(16, height);
    }
}

TEST_F(RegisteredToolbar, TheBarMovedAndLeftIsWhereTheUserPutItAtTheNextStart) {
    std::int32_t left = 0, top = 0, row = 0;
    {
        simulated_outlook outlook(with_the_addin());
        const auto bar = bars_named(outlook.application(), 1, kToolbar).at(0);
        put(bar.Get(), L"Position", variant(kMsoBarLeft));
        put(bar.Get(), L"RowIndex", variant(2));
        put(bar.Get(), L"Top", variant(40));
        left = get(bar.Get(), L"Left").as_int();
        top = get(bar.Get(), L"Top").as_int();
        row = get(bar.Get(), L"RowIndex").as_int();
        ASSERT_EQ(S_OK, mailhost_close_explorer(1));   // the last window: Outlook shuts down
        ASSERT_FALSE(mailhost_running());
    }
    const auto record = registry_key::open(HKEY_CURRENT_USER, layout_key());
    ASSERT_TRUE(record) << "a shut-down keeps the record";
    EXPECT_EQ(DWORD{kMsoBarLeft}, record->dword(L"Position"));
    EXPECT_EQ(static_cast<DWORD>(left), record->dword(L"Left"));
    EXPECT_EQ(static_cast<DWORD>(top), record->dword(L"Top"));
    EXPECT_EQ(static_cast<DWORD>(row), record->dword(L"RowIndex"));

    simulated_outlook outlook(with_the_addin());
    const auto bar = bars_named(outlook.application(), 1, kToolbar).at(0);
    EXPECT_EQ(kMsoBarLeft, get(bar.Get(), L"Position").as_int());
    EXPECT_EQ(left, get(bar.Get(), L"Left").as_int());
    EXPECT_EQ(top, get(bar.Get(), L"Top").as_int());
    EXPECT_EQ(row, get(bar.Get(), L"RowIndex").as_int());
}

TEST_F(RegisteredToolbar, ADamagedLayoutRecordRestoresOnlyAToolbarOnTheVisibleDesktop) {
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    const auto beyond_the_right_edge =
        static_cast<DWORD>(::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN) + 200);
    const auto minimised = static_cast<DWORD>(-32000);   // where Windows keeps a minimised window
    struct stored_layout {
        std::optional<DWORD> position, left, top, row_index;
    };
    struct record_case {
        const char* what;
        stored_layout stored;
        std::int32_t position, left, top, row_index;   // the bar's in the host; 0, 0, 1: the host's own
    };
    const record_case cases[] = {
        {"no record", {}, kMsoBarTop, 0, 0, 1},
        {"a popup", {5}, kMsoBarTop, 0, 0, 1},
        {"a menu bar", {6}, kMsoBarTop, 0, 0, 1},
        {"floating on the desktop",
         {4, static_cast<DWORD>(work.left + 60), static_cast<DWORD>(work.top + 40), 3},
         kMsoBarFloating, work.left + 60, work.top + 40, 3},
        {"floating beyond the desktop's right edge", {4, beyond_the_right_edge, static_cast<DWORD>(work.top + 40)},
         kMsoBarFloating, 0, 0, 1},
        {"floating where a minimised window was", {4, minimised, minimised}, kMsoBarFloating, 0, 0, 1},
        {"docked left by a minimised window", {kMsoBarLeft, minimised, minimised, 2}, kMsoBarLeft, 0, 0, 2},
        {"a row before the first", {kMsoBarTop, {}, {}, static_cast<DWORD>(-7)}, kMsoBarTop, 0, 0, 1},
    };
    for (const record_case& c : cases) {
        SCOPED_TRACE(c.what);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, layout_key().c_str());
        if (c.stored.position) {
            registry_key record = registry_key::create(HKEY_CURRENT_USER, layout_key());
            const std::pair<const wchar_t*, std::optional<DWORD>> values[] = {
                {L"Position", c.stored.position}, {L"Left", c.stored.left}, {L"Top", c.stored.top},
                {L"RowIndex", c.stored.row_index}};
            for (const auto& [name, value] : values)
                if (value) record.set_dword(name, *value);
        }
        simulated_outlook outlook(with_the_addin());
        const auto bars = bars_named(outlook.application(), 1, kToolbar);
        EXPECT_EQ(1u, bars.size());
        for (const auto& bar : bars) {
            EXPECT_EQ(c.position, get(bar.Get(), L"Position").as_int());
            EXPECT_EQ(c.left, get(bar.Get(), L"Left").as_int());
            EXPECT_EQ(c.top, get(bar.Get(), L"Top").as_int());
            EXPECT_EQ(c.row_index, get(bar.Get(), L"RowIndex").as_int());
        }
    }
}

TEST_F(RegisteredToolbar, SwitchedOffItTakesItsButtonsItsBarAndItsRecords) {
    simulated_outlook outlook(with_the_addin());
    registry_key::create(HKEY_CURRENT_USER, layout_key()).set_dword(L"Left", 7);
    ASSERT_EQ(S_OK, mailhost_connect_addin(addin_testing::kProgId, FALSE));
    EXPECT_TRUE(bars_named(outlook.application(), 1, kToolbar).empty());
    const auto bars = command_bars_of(outlook.application(), 1);
    for (const wchar_t* tag : {kSpamTag, kSettingsTag, kAnalyzerTag, kLoginTag})
        EXPECT_EQ(nullptr, get(bars.Get(), L"FindControl", {missing, missing, variant(tag)}).as_dispatch()) << tag;
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, std::wstring(addin_testing::kAddInKey) + L"\\CommandBars"));
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, std::wstring(addin_testing::kAddInKey) + L"\\Controls"));
    EXPECT_EQ(0, mailhost_advised_sink_count()) << simulated_outlook::take(mailhost_advised_sinks());
}

// ---- an add-in module connected in this process ----

// Connects a module of the class given to the simulated Outlook, as Outlook
// connects an add-in after its start; module errors are recorded, not shown.
class ConnectedModule : public testing_support::simulated_outlook_test {
protected:
    void connect(std::function<module_ptr()> create_module) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, addin_testing::kAddInKey);
        addin_testing::record_recent_update_check();
        library_dialogs().module_error_box = [this](HWND, const std::wstring&, const std::wstring& text) {
            errors.push_back(text);
        };
        start({.mailbox = kSamplesMailbox, .explorers = 1});
        factory = std::make_unique<TafwFactory>(
            server, addin_class{"Tkorv", addin_testing::kKorv, {addin_testing::kIkorv},
                                &create_addin_object<TafwAddin>, std::move(create_module)});
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&addin)));
        ASSERT_EQ(S_OK, addin->OnConnection(application(), ext_cm_AfterStartup, nullptr, &custom));
    }
    void TearDown() override {
        if (addin) addin->OnDisconnection(ext_dm_HostShutdown, &custom);
        addin.Reset();
        factory.reset();
        library_dialogs() = {};
        ::RegDeleteTreeW(HKEY_CURRENT_USER, addin_testing::kAddInKey);
        simulated_outlook_test::TearDown();
        EXPECT_TRUE(errors.empty()) << errors.front();
    }
    TafwCOMAddInModule& connected() const { return *static_cast<TafwAddin*>(addin.Get())->Module(); }

    std::vector<std::wstring> errors;
    unique_safearray custom_{::SafeArrayCreateVector(VT_VARIANT, 0, 0)};
    SAFEARRAY* custom = custom_.get();
    TComServer server{this_module_file_name()};
    std::unique_ptr<TafwFactory> factory;
    ComPtr<IDTExtensibility2> addin;
};

// ---- the add-in's own module: each button reaches its command ----

class ToolbarCommands : public ConnectedModule {
protected:
    void SetUp() override {
        ConnectedModule::SetUp();
        connect([this] {
            user_dialogs dialogs = library_dialogs();   // module errors recorded by connect()
            dialogs.choose_color = [](HWND) { return std::optional<COLORREF>(); };
            dialogs.show_error = [this](HWND, const std::string& text) { window_errors.push_back(text); };
            dialogs.open_url = [this](const std::string& url) { opened.push_back(url); };
            dialogs.show_message = [this](HWND owner, const std::string& text) {
                told.push_back(text);
                told_owners.push_back(owner);
            };
            return module_ptr(new TAddInModule(std::move(dialogs)));
        });
    }
    void TearDown() override {
        ConnectedModule::TearDown();
        ::DeleteFileA(ini_.c_str());
        EXPECT_TRUE(window_errors.empty()) << window_errors.front();
    }
    TAddInModule& module() const { return static_cast<TAddInModule&>(connected()); }

    const std::string ini_ = ProcessWorkFolder() + kSettingsFileName;
    std::vector<std::string> opened, window_errors, told;
    std::vector<HWND> told_owners;
};

TEST_F(ToolbarCommands, EachButtonReachesItsCommand) {
    // "Settings" shows the stored settings; the window is closed as soon as it runs.
    settings_record stored;
    stored.email = "abuse@example.com";
    SaveSettings(ini_, stored);
    ::PostMessageW(module().fset()->handle(), WM_CLOSE, 0, 0);
    click(1, kSettingsTag);
    EXPECT_EQ("abuse@example.com", module().fset()->record().email);

    click(1, kAnalyzerTag);
    EXPECT_TRUE(module().finfo()->visible());

    click(1, kLoginTag);
    EXPECT_EQ(1u, opened.size());

    const int first = 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &first, 1));
    const std::wstring sent_before = simulated_outlook::last_sent_file();
    click(1, kSpamTag);
    EXPECT_NE(sent_before, simulated_outlook::last_sent_file()) << "the report went out";
}

// The address check's notice is one of the module's boxes, owned by the explorer in front.
TEST_F(ToolbarCommands, SpamWithoutAValidReportAddressTellsTheUserThroughTheModulesBoxes) {
    settings_record stored;
    stored.email = "no address";
    SaveSettings(ini_, stored);
    ::PostMessageW(module().fset()->handle(), WM_CLOSE, 0, 0);
    click(1, kSettingsTag);   // the settings window reads the stored address
    ASSERT_EQ("no address", module().fset()->record().email);
    const int first = 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &first, 1));
    const std::wstring sent_before = simulated_outlook::last_sent_file();
    click(1, kSpamTag);
    EXPECT_EQ(std::vector<std::string>{"Please specify valid email in settings"}, told);
    EXPECT_EQ(std::vector<HWND>{mailhost_explorer_window(1)}, told_owners);
    EXPECT_EQ(sent_before, simulated_outlook::last_sent_file());
}

// ---- the window in front at start-up closes ----

// The user opens a second explorer, brings the first one (in front when the
// add-in started: it owns the add-in's windows) to the front again and
// closes it. What the add-in shows must outlive it, above the window left.
class AfterTheStartUpWindowClosed : public ToolbarCommands {
protected:
    void SetUp() override {
        ToolbarCommands::SetUp();
        ASSERT_EQ(S_OK, mailhost_open_explorer(L"Inbox", TRUE, nullptr));
        ASSERT_EQ(S_OK, mailhost_activate_explorer(1));
        ASSERT_EQ(S_OK, mailhost_close_explorer(1));
        ASSERT_EQ(1, mailhost_explorer_count());
    }
};

// Plays the user while the settings window shows modally: types a new report
// address and presses OK. When the window never shows, it gives up after a
// while and ends whatever modal loop the click is caught in, so that a hang
// fails the test instead of holding it.
struct settings_user {
    static constexpr int kGiveUpTicks = 200;   // of 50 ms
    static inline bool shown = false, gave_up = false;
    static inline int ticks = 0;
    static void CALLBACK act(HWND, UINT, UINT_PTR, DWORD) {
        const HWND window = addin_testing::thread_window(L"Settings");
        if (window && ::IsWindowVisible(window)) {
            if (shown) return;
            shown = true;
            ::SetDlgItemTextW(window, Tfset::Edit1, L"changed@report.example");
            ::SendMessageW(::GetDlgItem(window, Tfset::Button1), BM_CLICK, 0, 0);
        } else if (++ticks == kGiveUpTicks) {
            gave_up = true;
            ::PostQuitMessage(0);
        }
    }
};

TEST_F(AfterTheStartUpWindowClosed, SettingsOpensAboveTheWindowLeftAndSavesWhatTheUserTyped) {
    settings_record stored;
    stored.email = "abuse@report.example";
    SaveSettings(ini_, stored);
    settings_user::shown = settings_user::gave_up = false;
    settings_user::ticks = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &settings_user::act);
    ASSERT_NE(0u, timer);
    ASSERT_NO_FATAL_FAILURE(addin_testing::press(L"Settings"));
    ::KillTimer(nullptr, timer);
    MSG quit;
    ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);   // the one a hang left behind

    EXPECT_FALSE(settings_user::gave_up) << "the click hung in a modal loop without a window";
    EXPECT_TRUE(settings_user::shown);
    EXPECT_EQ("changed@report.example", LoadSettings(ini_).record.email);
    const HWND window = addin_testing::thread_window(L"Settings");
    EXPECT_EQ(mailhost_explorer_window(1), ::GetWindow(window, GW_OWNER));
    EXPECT_TRUE(::IsWindowEnabled(mailhost_explorer_window(1)));
}

TEST_F(AfterTheStartUpWindowClosed, AnalyzerShowsTheVerdictAboveTheWindowLeft) {
    const int first = 1;
    ASSERT_EQ(S_OK, mailhost_select(1, &first, 1));
    ASSERT_NO_FATAL_FAILURE(addin_testing::press(L"Analyzer"));
    const HWND info = addin_testing::information_window();
    ASSERT_NE(nullptr, info) << "the information window is gone";
    EXPECT_TRUE(::IsWindowVisible(info));
    EXPECT_EQ(addin_testing::file_text(std::wstring(kAnalyzerGolden) + L"/01-spam.txt"),
              addin_testing::first_child_text(info));
    EXPECT_EQ(mailhost_explorer_window(1), ::GetWindow(info, GW_OWNER));
    // No error box: the fixture fails on any.
}

// ---- a module of the test's own ----

constexpr char kBinder[] = R"(
object Binder: TBindingModule
  AddInName = "Binder"
  SupportedApps = [ohaOutlook]
  object afwOlExplorerCommandbar1: TafwOlExplorerCommandbar
    CommandBarName = "Binder"
    ButtonTypes = {03000000 00000000 00000000 01000000}
    Buttons = <
      item
        Caption = "First"
        OfficeTag = "{binder-first}"
        OnClick = FirstClick
      end
      item
        Caption = "Second"
        OfficeTag = "{binder-second}"
        OnClick = SecondClick
      end
      item
        Caption = "Third"
        OfficeTag = "{binder-third}"
        OnChange = ThirdChange
      end>
  end
end
)";
constexpr wchar_t kBinderBar[] = L"Binder";
constexpr wchar_t kFirstTag[] = L"{binder-first}";
constexpr wchar_t kSecondTag[] = L"{binder-second}";
constexpr wchar_t kThirdTag[] = L"{binder-third}";

std::vector<std::string> clicks;
bool run_messages_in_handler = false;

class binding_module final : public TafwCOMAddInModule {
public:
    binding_module() : TafwCOMAddInModule("Binder", "TBindingModule") {
        handler_table handlers;
        const auto recording = [](const char* name) {
            return [name](component& sender) {
                clicks.push_back(name + std::string(" by ") + sender.name());
                if (run_messages_in_handler) run_queued_messages();
            };
        };
        handlers.add("FirstClick", recording("first"));
        handlers.add("SecondClick", recording("second"));
        handlers.add("ThirdChange", recording("third"));
        load(definition::read_definition(kBinder), handlers);
    }
};

class ToolbarBinding : public ConnectedModule {
protected:
    void SetUp() override {
        ConnectedModule::SetUp();
        clicks.clear();
        run_messages_in_handler = false;
        connect([] { return module_ptr(new binding_module()); });
    }
    TafwOlExplorerCommandbar& bar() const {
        return *static_cast<TafwOlExplorerCommandbar*>(connected().find_component("afwOlExplorerCommandbar1"));
    }
    TafwCommandBarControl& first_button() const { return bar().Controls()[0]; }
    std::size_t copies(int explorer) const { return bars_named(application(), explorer, kBinderBar).size(); }
    ComPtr<IDispatch> host_bar(int explorer) const { return bars_named(application(), explorer, kBinderBar).at(0); }
    static std::size_t bar_left_writes() {
        std::size_t writes = 0;
        std::wstringstream log(simulated_outlook::call_log());
        for (std::wstring line; std::getline(log, line);) writes += line == L"CommandBar.Left=";
        return writes;
    }
    int open_explorer(bool activate) const {
        int index = 0;
        EXPECT_EQ(S_OK, mailhost_open_explorer(L"Inbox", activate, &index));
        return index;
    }
};

TEST_F(ToolbarBinding, TheBarHidesOutsideMailFoldersAndComesBackWhereTheUserMovedIt) {
    ASSERT_TRUE(shown(host_bar(1).Get()));
    put(host_bar(1).Get(), L"Left", variant(120));
    const std::int32_t left = get(host_bar(1).Get(), L"Left").as_int();
    mailhost_clear_call_log();
    switch_folder(1, L"Calendar");
    EXPECT_FALSE(shown(host_bar(1).Get()));
    EXPECT_EQ(2u, bar_left_writes()) << "nudged so that Outlook redraws it";
    switch_folder(1, L"Inbox");
    EXPECT_TRUE(shown(host_bar(1).Get()));
    EXPECT_EQ(left, get(host_bar(1).Get(), L"Left").as_int());
    EXPECT_EQ(1u, copies(1));
    mailhost_clear_call_log();
    switch_folder(1, L"Drafts");
    EXPECT_EQ(0u, bar_left_writes()) << "no change, no nudge";
}

TEST_F(ToolbarBinding, ButtonsOfOtherItemTypesShowOrEnableByTheFolder) {
    TafwOLItemTypes mail_and_appointments = TafwOLItemTypes::of(afwOLMailItem);
    mail_and_appointments.insert(afwOLAppointmentItem);
    bar().SetItemTypes(mail_and_appointments);
    TafwCommandBarControl& first = bar().Controls()[0];
    TafwCommandBarControl& second = bar().Controls()[1];
    first.SetolExplorerItemTypes(TafwOLItemTypes::of(afwOLContactItem));
    first.SetolItemTypeAction(afwOLActionEnable);
    second.SetolExplorerItemTypes(TafwOLItemTypes::of(afwOLAppointmentItem));
    second.SetolItemTypeAction(afwOLActionShow);
    struct folder_case {
        const wchar_t* folder;
        bool first_enabled, second_shown;
    };
    for (const folder_case& c : {folder_case{L"Calendar", false, true}, folder_case{L"Inbox", false, false},
                                 folder_case{L"Calendar", false, true}}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.folder)));
        switch_folder(1, c.folder);
        EXPECT_TRUE(shown(host_bar(1).Get()));
        EXPECT_EQ(c.first_enabled, get(first.live(), L"Enabled").as_bool());
        EXPECT_TRUE(get(first.live(), L"Visible").as_bool()) << "its action enables only";
        EXPECT_EQ(c.second_shown, get(second.live(), L"Visible").as_bool());
    }
    first.SetolExplorerItemTypes(mail_and_appointments);   // as the bar's: left alone
    first.SetEnabled(true);
    switch_folder(1, L"Calendar");
    EXPECT_TRUE(get(first.live(), L"Enabled").as_bool());
}

TEST_F(ToolbarBinding, ANewExplorerGetsOneCopyAtItsFirstFolderSwitchOrActivation) {
    const int second = open_explorer(false);
    EXPECT_EQ(0u, copies(second)) << "only remembered until it is used";
    switch_folder(second, L"Inbox");
    EXPECT_EQ(1u, copies(second));

    const int third = open_explorer(true);
    EXPECT_EQ(1u, copies(third)) << "activated before its first folder switch";
    switch_folder(third, L"Inbox");
    ASSERT_EQ(S_OK, mailhost_activate_explorer(second));
    ASSERT_EQ(S_OK, mailhost_activate_explorer(1));
    for (int explorer : {1, second, third}) EXPECT_EQ(1u, copies(explorer)) << explorer;
    EXPECT_EQ(3u, connected().EventSinks().size()) << "one sink per control";
}

TEST_F(ToolbarBinding, AClickOnEitherWindowsCopyReachesItsHandlerOnce) {
    const int second = open_explorer(false);
    switch_folder(second, L"Inbox");   // the buttons are bound to the second window's copies
    click(1, kFirstTag);
    click(second, kFirstTag);
    click(1, kSecondTag);
    EXPECT_EQ((std::vector<std::string>{"first by afwOlExplorerCommandbar1Controls0",
                                        "first by afwOlExplorerCommandbar1Controls0",
                                        "second by afwOlExplorerCommandbar1Controls1"}),
              clicks);
}

// The sink drops an event that arrives while its delivery still runs; the
// button drops a click while its click routine runs, also one that reaches it
// through the sink of another window's copy.
TEST_F(ToolbarBinding, AnEventWhileItsHandlerStillRunsMessagesIsDropped) {
    const int second = open_explorer(false);
    switch_folder(second, L"Inbox");
    ASSERT_EQ(S_OK, mailhost_activate_explorer(1));   // bound to the first window's copies
    struct reentry_case {
        const char* what;
        std::function<void()> events;   // the first reaches its handler, the others arrive while it runs
    };
    const reentry_case cases[] = {
        {"the same copy clicked again", [] { click(1, kFirstTag); click(1, kFirstTag); }},
        {"the other window's copy clicked once the button moved there",
         [second] {
             click(1, kFirstTag);
             ASSERT_EQ(S_OK, mailhost_activate_explorer(second));
             click(second, kFirstTag);
             ASSERT_EQ(S_OK, mailhost_activate_explorer(1));
         }},
        {"the same list changed again",
         [] {
             ASSERT_EQ(S_OK, mailhost_change(1, kThirdTag, L"one"));
             ASSERT_EQ(S_OK, mailhost_change(1, kThirdTag, L"two"));
         }},
    };
    for (const reentry_case& c : cases) {
        SCOPED_TRACE(c.what);
        clicks.clear();
        run_messages_in_handler = true;
        ASSERT_EQ(S_OK, mailhost_queue_user_actions(TRUE));
        c.events();
        run_queued_messages();
        ASSERT_EQ(S_OK, mailhost_queue_user_actions(FALSE));
        EXPECT_EQ(1u, clicks.size()) << ::testing::PrintToString(clicks);
        run_messages_in_handler = false;
    }
    clicks.clear();
    click(1, kFirstTag);
    ASSERT_EQ(S_OK, mailhost_change(1, kThirdTag, L"three"));
    EXPECT_EQ((std::vector<std::string>{"first by afwOlExplorerCommandbar1Controls0",
                                        "third by afwOlExplorerCommandbar1Controls2"}),
              clicks)
        << "the handlers are free again";
}

TEST_F(ToolbarBinding, AClickFromACopyWhoseBoundWindowClosedRebindsAndIsDelivered) {
    const int second = open_explorer(false);
    switch_folder(second, L"Inbox");   // bound to the second window, which is not in front
    ASSERT_EQ(S_OK, mailhost_close_explorer(second));
    click(1, kFirstTag);
    ASSERT_EQ(1u, clicks.size());
    const auto first_window_copy =
        get(command_bars_of(application(), 1).Get(), L"FindControl", {missing, missing, variant(kFirstTag)});
    EXPECT_TRUE(same_object(first_button().live(), first_window_copy.as_dispatch().Get()));
    click(1, kFirstTag);
    EXPECT_EQ(2u, clicks.size());
}

TEST_F(ToolbarBinding, AfterTheBoundWindowClosedTheFolderRuleActsOnTheWindowInFront) {
    const int second = open_explorer(false);
    switch_folder(second, L"Inbox");   // bound to the second window, which is not in front
    ASSERT_EQ(S_OK, mailhost_close_explorer(second));
    switch_folder(1, L"Calendar");
    EXPECT_FALSE(shown(host_bar(1).Get()));
    EXPECT_EQ(1u, copies(1));
    EXPECT_TRUE(errors.empty()) << "no error box for a window that closed";
}

TEST_F(ToolbarBinding, AfterTheBoundWindowClosedTheLayoutIsSavedFromTheWindowInFront) {
    const int second = open_explorer(false);
    switch_folder(second, L"Inbox");   // bound to the second window, which is not in front
    ASSERT_EQ(S_OK, mailhost_close_explorer(second));
    open_explorer(false);   // keeps Outlook running when the first window closes
    const auto bar = host_bar(1);
    put(bar.Get(), L"Position", variant(kMsoBarLeft));
    put(bar.Get(), L"RowIndex", variant(2));
    put(bar.Get(), L"Top", variant(40));
    const std::int32_t left = get(bar.Get(), L"Left").as_int();
    ASSERT_EQ(S_OK, mailhost_close_explorer(1));
    const auto record = registry_key::open(HKEY_CURRENT_USER, std::wstring(addin_testing::kAddInKey) +
                                                                   L"\\CommandBars\\" + kBinderBar);
    ASSERT_TRUE(record);
    EXPECT_EQ(DWORD{kMsoBarLeft}, record->dword(L"Position"));
    EXPECT_EQ(static_cast<DWORD>(left), record->dword(L"Left"));
    EXPECT_EQ(DWORD{40}, record->dword(L"Top"));
    EXPECT_EQ(DWORD{2}, record->dword(L"RowIndex"));
    EXPECT_TRUE(errors.empty()) << "no error box for a window that closed";
}

TEST_F(ToolbarBinding, AfterTheBoundWindowClosedSwitchingOffTakesTheBarFromTheWindowLeft) {
    const int second = open_explorer(false);
    switch_folder(second, L"Inbox");   // bound to the second window, which is not in front
    ASSERT_EQ(S_OK, mailhost_close_explorer(second));
    EXPECT_EQ(S_OK, addin->OnDisconnection(ext_dm_UserClosed, &custom));
    addin.Reset();
    EXPECT_EQ(0u, copies(1));
    EXPECT_EQ(nullptr, get(command_bars_of(application(), 1).Get(), L"FindControl", {missing, missing, variant(kFirstTag)})
                           .as_dispatch());
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, std::wstring(addin_testing::kAddInKey) + L"\\CommandBars"));
    EXPECT_EQ(0, mailhost_advised_sink_count()) << simulated_outlook::take(mailhost_advised_sinks());
    EXPECT_TRUE(errors.empty()) << "no error box for a window that closed";
}

TEST_F(ToolbarBinding, AnActivationWhoseCommandBarsCannotBeReadStillUpdatesTheBarAndRaisesTheEvents) {
    std::vector<std::string> raised;
    connected().OnOLExplorerActivate = [&raised](component&) { raised.push_back("activate"); };
    connected().OnOLExplorerFolderSwitch = [&raised](component&) { raised.push_back("folder switch"); };
    const int second = open_explorer(false);   // its bars are placed at the next folder switch
    ASSERT_EQ(S_OK, mailhost_fail(L"Explorer", L"CommandBars", E_FAIL, 1));
    switch_folder(1, L"Calendar");
    EXPECT_EQ(1, mailhost_injected_failures());
    EXPECT_FALSE(shown(host_bar(1).Get())) << "hidden outside mail folders all the same";
    EXPECT_EQ((std::vector<std::string>{"activate", "folder switch"}), raised);

    raised.clear();
    ASSERT_EQ(S_OK, mailhost_fail(L"Explorer", L"CommandBars", E_FAIL, 1));
    ASSERT_EQ(S_OK, mailhost_activate_explorer(second));
    EXPECT_EQ(2, mailhost_injected_failures());
    EXPECT_EQ(std::vector<std::string>{"activate"}, raised);
}

TEST_F(ToolbarBinding, ASinkWhoseUnadviseTheHostRefusedIsKeptInertAndUnadvisedAtTheNextBinding) {
    const ComPtr<IDispatch> copy = first_button().live();
    const long advised = mailhost_advised_sink_count();
    ASSERT_EQ(S_OK, mailhost_fail(L"CommandBarButton", L"Unadvise", CONNECT_E_NOCONNECTION, 1));
    first_button().Unbind();
    ASSERT_EQ(1u, connected().StrandedSinks().size());
    EXPECT_EQ(nullptr, connected().StrandedSinks()[0]->Control());
    EXPECT_EQ(advised, mailhost_advised_sink_count()) << "still advised in the host";
    click(1, kFirstTag);
    EXPECT_TRUE(clicks.empty()) << "a sink that serves no control ignores the click";

    first_button().Bind(copy);
    EXPECT_TRUE(connected().StrandedSinks().empty());
    EXPECT_EQ(advised, mailhost_advised_sink_count()) << simulated_outlook::take(mailhost_advised_sinks());
    click(1, kFirstTag);
    EXPECT_EQ(1u, clicks.size());
}

TEST_F(ToolbarBinding, SwitchedOffWithAControlTheHostRefusesToDeleteRemovesTheRestAndFails) {
    const std::wstring second_button = std::wstring(L"CommandBarButton[") + kSecondTag + L"]";
    struct refusal_case {
        std::wstring target;
        const wchar_t* member;
        std::vector<std::wstring> left;   // the tags of the buttons the bar keeps; none: the bar stays empty
    };
    const refusal_case cases[] = {
        {second_button, L"Delete", {kSecondTag}},
        {L"CommandBar", L"FindControl", {kFirstTag, kSecondTag, kThirdTag}},
        {L"CommandBar", L"Delete", {}},
        {L"CommandBarControls", L"Count", {}},
    };
    for (const refusal_case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.target + L"." + c.member));
        if (!addin) connect([] { return module_ptr(new binding_module()); });
        registry_key::create(HKEY_CURRENT_USER, std::wstring(addin_testing::kAddInKey) + L"\\Controls");
        ASSERT_EQ(S_OK, mailhost_fail(c.target.c_str(), c.member, E_FAIL, 1000));
        ::SetErrorInfo(0, nullptr);
        EXPECT_TRUE(FAILED(addin->OnDisconnection(ext_dm_UserClosed, &custom)));
        mailhost_clear_faults();
        ComPtr<IErrorInfo> info;
        EXPECT_EQ(S_OK, ::GetErrorInfo(0, &info)) << "the failure is described";
        ASSERT_EQ(1u, copies(1)) << "the bar keeps what the host refused to delete";
        EXPECT_EQ(c.left, control_texts(host_bar(1).Get(), L"Tag"));
        EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, std::wstring(addin_testing::kAddInKey) + L"\\Controls"));
        EXPECT_EQ(0, mailhost_advised_sink_count()) << simulated_outlook::take(mailhost_advised_sinks());
        call(host_bar(1).Get(), L"Delete");
        addin.Reset();
    }
}

TEST_F(ToolbarBinding, TheSinkAnswersOnlyItsControlsEvent) {
    TafwEventSink* sink = connected().EventSinkOf(first_button());
    ASSERT_NE(nullptr, sink);

    UINT count = 7;
    EXPECT_EQ(S_OK, sink->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0xdeadbeef);
    EXPECT_EQ(E_FAIL, sink->GetTypeInfo(0, 0, &info));
    EXPECT_EQ(nullptr, info);

    struct names_case {
        std::vector<const wchar_t*> names;
        HRESULT expected;
    };
    const names_case cases[] = {
        {{L"Click"}, S_OK}, {{L"click"}, DISP_E_UNKNOWNNAME}, {{L"Change"}, DISP_E_UNKNOWNNAME},
        {{L"Click", L"Ctrl"}, E_INVALIDARG}, {{}, E_INVALIDARG},
    };
    for (const names_case& c : cases) {
        DISPID id = 0xdead;
        std::vector<LPOLESTR> names;
        for (const wchar_t* name : c.names) names.push_back(const_cast<LPOLESTR>(name));
        LPOLESTR none = nullptr;
        EXPECT_EQ(c.expected, sink->GetIDsOfNames(IID_NULL, names.empty() ? &none : names.data(),
                                                  static_cast<UINT>(names.size()), 0, &id));
        if (c.expected == S_OK) {
            EXPECT_EQ(1, id);
        }
    }
    LPOLESTR click_name = const_cast<LPOLESTR>(L"Click");
    DISPID id = 0;
    EXPECT_EQ(E_POINTER, sink->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id));
    EXPECT_EQ(E_POINTER, sink->GetIDsOfNames(IID_NULL, &click_name, 1, 0, nullptr));

    // A click whose control carries another tag, and members the sink does not have.
    const auto stranger = get_object(get_object(host_bar(1).Get(), L"Controls").Get(), L"Add", {variant(1)});
    put(stranger.Get(), L"Tag", variant(L"{someone-else}"));
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[2];
    args[0].vt = VT_BOOL | VT_BYREF;   // last-first: CancelDefault, then Ctrl
    args[0].pboolVal = &cancel;
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = stranger.Get();
    DISPPARAMS params{args, nullptr, 2, 0};
    EXPECT_EQ(S_OK, sink->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, sink->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    EXPECT_EQ(E_POINTER, sink->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(VARIANT_FALSE, cancel);
}

TEST_F(ToolbarBinding, FolderNameMatchesExactlyAndFolderNamesWithoutRegardToCase) {
    struct rule_case {
        const wchar_t* folder_name;
        std::vector<std::wstring> folder_names;
        bool in_inbox, in_calendar;
    };
    const rule_case cases[] = {
        {L"Mailbox\\Inbox", {}, true, false},
        {L"mailbox\\inbox", {}, false, false},
        {L"", {L"mailbox\\inbox"}, true, false},
        {L"", {L"Elsewhere", L"MAILBOX\\CALENDAR"}, false, true},
        {L"Mailbox\\Calendar", {L"Mailbox\\Inbox"}, false, true},   // FolderName decides alone
    };
    for (const rule_case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.folder_name)));
        bar().SetFolderName(c.folder_name);
        bar().SetFolderNames(c.folder_names);
        switch_folder(1, L"Inbox");
        EXPECT_EQ(c.in_inbox, shown(host_bar(1).Get()));
        switch_folder(1, L"Calendar");
        EXPECT_EQ(c.in_calendar, shown(host_bar(1).Get()));
    }
}

}  // namespace
}  // namespace flinter
