// The add-in as a user meets it: Outlook and the add-in registered with
// regsvr32, Outlook loading the add-in from the registry, and each of the four
// commands clicked where the explorer window shows it: on the toolbar of an
// Outlook 2003, in the ribbon's group of an Outlook 2016. What the
// buttons must produce comes from outside the add-in: the header analyzer's
// golden files, the sample messages themselves, the settings file, and the
// address the shell was asked to open.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "addin_test_config.h"
#include "addin_test_support.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/text_conversion.h"
#include "end_to_end_support.h"
#include "mailhost/simulated_outlook.h"
#include "settings/settings_window.h"
#include "toolbar_in_explorers.h"

namespace {

using namespace addin_testing;
using mailhost::simulated_outlook;

constexpr int kOutbox = 4;  // olFolderOutbox

// The Inbox lists the samples in the order of their file names.
const wchar_t* const kSamples[] = {L"01-spam", L"02-clean", L"03-approved-sender", L"04-two-strike-clear",
                                   L"05-not-through-service", L"06-no-service-headers"};

std::wstring sample_path(const std::wstring& name) { return std::wstring(kSamplesMailbox) + L"/" + name + L".eml"; }

// A sample's header block as stored (up to the empty line) and its subject.
struct sample_message {
    std::wstring headers, subject;
};

sample_message read_sample(const std::wstring& name) {
    const std::wstring text = file_text(sample_path(name));
    sample_message sample;
    const auto end = text.find(L"\n\n");
    sample.headers = text.substr(0, end);
    const auto at = sample.headers.find(L"Subject: ");
    if (at != std::wstring::npos) sample.subject = sample.headers.substr(at + 9, sample.headers.find(L'\n', at) - at - 9);
    return sample;
}

std::wstring lf_only(std::wstring text) {
    std::wstring result;
    for (wchar_t c : text)
        if (c != L'\r') result += c;
    return result;
}

void select(std::vector<int> rows) {
    ASSERT_EQ(S_OK, mailhost_select(1, rows.data(), static_cast<int>(rows.size())));
}

// A host of each kind: where it shows the add-in's commands.
struct host_kind {
    const char* name;
    const wchar_t* version;
    bool ribbon;
};

class EndToEnd : public registered_addin_test, public ::testing::WithParamInterface<host_kind> {
protected:
    void start() {
        outlook_.emplace(
            mailhost::outlook_settings{.mailbox = kSamplesMailbox, .addins = kProgId, .version = GetParam().version});
    }
    IDispatch* application() const { return outlook_->application(); }
    // The user clicks the command where this host shows it.
    static void press(const wchar_t* label) {
        if (GetParam().ribbon) press_on_ribbon(label);
        else addin_testing::press(label);
    }

    void TearDown() override {
        outlook_.reset();
        registered_addin_test::TearDown();
    }

    std::optional<simulated_outlook> outlook_;
};

INSTANTIATE_TEST_SUITE_P(Hosts, EndToEnd,
                         ::testing::Values(host_kind{"Outlook2003Toolbar", L"11.0", false},
                                           host_kind{"Outlook2016Ribbon", L"16.0", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The id, label, picture size and tag of each line of what the ribbon shows.
std::vector<std::wstring> ribbon_lines_without_tips(const std::wstring& shown) {
    std::vector<std::wstring> lines;
    for (std::size_t at = 0; at < shown.size();) {
        const auto end = shown.find(L'\n', at);
        std::wstring line = shown.substr(at, end - at);
        std::size_t tab = 0;
        for (int fields = 0; fields < 5 && tab != std::wstring::npos; ++fields) tab = line.find(L'\t', tab + 1);
        lines.push_back(line.substr(0, tab));
        at = end == std::wstring::npos ? shown.size() : end + 1;
    }
    return lines;
}

TEST_P(EndToEnd, TheCommandsShowOnTheToolbarOrInTheHomeTabsGroupNotBoth) {
    start();
    const auto bars = bars_named(application(), 1, kToolbar);
    const std::wstring ribbon = simulated_outlook::ribbon_controls(1);
    if (!GetParam().ribbon) {
        ASSERT_EQ(1u, bars.size());
        EXPECT_EQ(4, flinter::get(flinter::get_object(bars[0].Get(), L"Controls").Get(), L"Count").as_int());
        EXPECT_EQ(L"", ribbon);
        return;
    }
    EXPECT_TRUE(bars.empty()) << "an explorer toolbar in a host with a ribbon";
    const std::vector<std::wstring> expected{
        L"group\tflinterGroup\tQAV_Flinter",
        std::wstring(L"button\tflinterSpam\tSpam\t32x32\t") + kSpamTag,
        std::wstring(L"button\tflinterSettings\tSettings\t32x32\t") + kSettingsTag,
        std::wstring(L"button\tflinterAnalyzer\tAnalyzer\t32x32\t") + kAnalyzerTag,
        std::wstring(L"button\tflinterLogin\tLogin\t32x32\t") + kLoginTag};
    EXPECT_EQ(expected, ribbon_lines_without_tips(ribbon)) << flinter::narrow(outlook_->call_log().c_str());
}

TEST_P(EndToEnd, AnalyzerShowsTheHeaderAnalyzersVerdictForEachSample) {
    start();
    for (int row = 1; row <= static_cast<int>(std::size(kSamples)); ++row) {
        const std::wstring name = kSamples[row - 1];
        SCOPED_TRACE(flinter::narrow(name.c_str()));
        ASSERT_NO_FATAL_FAILURE(select({row}));
        ASSERT_NO_FATAL_FAILURE(press(L"Analyzer"));
        const HWND info = information_window();
        ASSERT_NE(nullptr, info);
        EXPECT_TRUE(::IsWindowVisible(info));
        EXPECT_EQ(file_text(std::wstring(kAnalyzerGolden) + L"/" + name + L".txt"), first_child_text(info));
    }
}

TEST_P(EndToEnd, SpamForwardsTheTwoSelectedMessagesWithHeaderBlockAndCopy) {
    write_settings({{"email", "abuse@report.example"}, {"bcc", ""}, {"delete", "0"}});
    start();
    ASSERT_NO_FATAL_FAILURE(select({1, 2}));
    ASSERT_NO_FATAL_FAILURE(press(L"Spam"));

    const auto ns = flinter::get_object(application(), L"GetNamespace", {flinter::variant(L"MAPI")});
    const auto outbox = flinter::get_object(ns.Get(), L"GetDefaultFolder", {flinter::variant(kOutbox)});
    const auto items = flinter::get_object(outbox.Get(), L"Items");
    ASSERT_EQ(2, flinter::get(items.Get(), L"Count").as_int());
    for (int i = 1; i <= 2; ++i) {
        const sample_message sample = read_sample(kSamples[i - 1]);
        SCOPED_TRACE(flinter::narrow(kSamples[i - 1]));
        const auto forward = flinter::get_object(items.Get(), L"Item", {flinter::variant(i)});
        EXPECT_EQ(L"[*SPAM*] " + sample.subject, flinter::get(forward.Get(), L"Subject").as_wstring());
        EXPECT_NE(std::wstring::npos, flinter::get(forward.Get(), L"To").as_wstring().find(L"abuse@report.example"));
        const std::wstring body = lf_only(flinter::get(forward.Get(), L"Body").as_wstring());
        const std::wstring block = L"====== MESSAGE HEADER ======\n" + sample.headers;
        EXPECT_EQ(block, body.substr(0, block.size()));
        EXPECT_NE(std::wstring::npos, body.find(L"=== END OF MESSAGE HEADER ===\n\n", block.size()));
        const auto attachments = flinter::get_object(forward.Get(), L"Attachments");
        ASSERT_EQ(1, flinter::get(attachments.Get(), L"Count").as_int());
        EXPECT_EQ(L"temp1.eml", flinter::get(attachments.Get(), L"Item", {flinter::variant(1)}).as_wstring());
    }
    EXPECT_EQ(6, mailhost_folder_count(L"Inbox")) << "the delete option is off";
}

// While the settings window shows modally, the user types a new report
// address and presses OK: a timer of this thread plays the user.
struct settings_user {
    static inline bool shown = false;
    static void CALLBACK act(HWND, UINT, UINT_PTR timer, DWORD) {
        const HWND window = thread_window(L"Settings");
        if (!window || !::IsWindowVisible(window)) return;
        ::KillTimer(nullptr, timer);
        shown = true;
        ::SetDlgItemTextW(window, flinter::Tfset::Edit1, L"changed@report.example");
        ::SendMessageW(::GetDlgItem(window, flinter::Tfset::Button1), BM_CLICK, 0, 0);
    }
};

TEST_P(EndToEnd, SettingsOpensAndSavesWhatTheUserTyped) {
    write_settings({{"email", "abuse@report.example"}});
    start();
    settings_user::shown = false;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &settings_user::act);
    ASSERT_NE(0u, timer);
    ASSERT_NO_FATAL_FAILURE(press(L"Settings"));
    ::KillTimer(nullptr, timer);
    EXPECT_TRUE(settings_user::shown);
    EXPECT_FALSE(::IsWindowVisible(thread_window(L"Settings")));
    EXPECT_EQ("changed@report.example", read_setting("email"));
}

TEST_P(EndToEnd, LoginHandsTheEncodedAddressToTheShell) {
    write_settings({{"name", "j doe&co"}, {"pass", "p+ss"}});
    start();
    ASSERT_NO_FATAL_FAILURE(press(L"Login"));
    // The shell starts the browser's stand-in on its own; it writes when it has run.
    for (int waited = 0; opened_addresses().empty() && waited < 30000; waited += 100) ::Sleep(100);
    EXPECT_EQ(std::vector<std::string>{"http://login.postini.com/exec/login?email=j%20doe%26co&pword=p%2Bss&action=login"},
              opened_addresses());
}

}  // namespace
