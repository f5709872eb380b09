// The fault-injection sweep (make faults; not a test of make test): every
// host member the add-in calls fails in turn, as Outlook reports failures,
// during start-up, each command (also from the explorer left when the one
// in front at start-up closed), a selection change, a folder switch, an
// explorer closing, both kinds of disconnection, and the host leaving while
// a command's box or modal window shows. Run without arguments it
// is the sweep: for each scenario a child process first runs it cleanly and
// counts the members reached (the simulated Outlook's census) and what the
// user got (the reference outcome); then one child per member and occurrence
// (the first call, the last, every call) runs it again with that member
// failing. A child must end by itself (no crash, no hang), must not present a
// result that a failure spoiled as if it were right, and must leave no host
// reference and no advised sink once the add-in is gone; where the host
// leaves inside a handler, the handler must not wait for the user afterwards
// nor write into memory freed meanwhile (the child runs under Wine's heap
// checking). Prints a markdown table; exit status 1 when any run failed a
// check.
//
// Child: fault_sweep --run SCENARIO [MEMBER SKIP TIMES]; prints "member",
// "outcome", "struck", "showing", "waited", "heap", "refs", "sinks" lines and
// "done". The add-in runs
// in-process with its own module, loaded by the simulated Outlook through a
// class object registered for its CLSID; its windows are real, the browser
// and the colour chooser are seams, and any message box is answered by a
// watchdog thread that records it.
#include <windows.h>
#include <wrl/client.h>
#include <addin.h>
#include <olectl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "addin/addin_factory.h"
#include "addin/addin_object.h"
#include "addin/com_server.h"
#include "addin/explorer_in_front.h"
#include "addin_test_config.h"
#include "addin_test_support.h"
#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/registry.h"
#include "com/text_conversion.h"
#include "com/unique_res.h"
#include "commands/addin_module.h"
#include "heap_check.h"
#include "mailhost/mailhost.h"
#include "settings/settings_store.h"
#include "ui/window_support.h"

namespace {

using namespace flinter;
using addin_testing::post_call;
using addin_testing::run_queued_messages;
using Microsoft::WRL::ComPtr;

constexpr DWORD kChildTimeoutMs = 60000;
constexpr int kEveryCall = 1000000;
constexpr wchar_t kBarName[] = L"QAV_Flinter";

std::wstring take(BSTR text) {
    std::wstring result = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
    ::SysFreeString(text);
    return result;
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// One line of a child's report: line breaks and backslashes escaped.
std::string one_line(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// How the host reports a failure of each kind of member: an object-model
// member as Outlook's do (the code inside DISP_E_EXCEPTION), the COM-level
// entry points with the code their callers meet in practice.
HRESULT failure_for(const std::string& member) {
    const auto name = member.substr(member.find('.') + 1);
    if (name == "QueryInterface") return E_NOINTERFACE;
    if (name == "GetIDsOfNames") return DISP_E_UNKNOWNNAME;
    if (name == "FindConnectionPoint" || name == "Unadvise") return CONNECT_E_NOCONNECTION;
    if (name == "Advise") return CONNECT_E_ADVISELIMIT;
    return E_FAIL;
}

// ---------------------------------------------------------------------------
// The child: one run of one scenario.

// A message box that shows: a dialog with the message box's text control
// (the add-in's own dialog windows have none).
bool is_message_box(HWND window) {
    wchar_t class_name[16] = {};
    ::GetClassNameW(window, class_name, 16);
    return std::wstring(class_name) == L"#32770" && ::IsWindowVisible(window) && ::GetDlgItem(window, 0xFFFF);
}

// Message boxes the add-in shows are answered (OK) by this thread, as a user
// would, and recorded; the process must never wait for a person.
class box_watchdog {
public:
    explicit box_watchdog(DWORD ui_thread) : ui_thread_(ui_thread), thread_([this] { watch(); }) {}
    ~box_watchdog() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> boxes() {
        std::lock_guard lock(mutex_);
        return boxes_;
    }

private:
    void watch() {
        while (!stop_) {
            ::EnumThreadWindows(ui_thread_, &box_watchdog::answer, reinterpret_cast<LPARAM>(this));
            ::Sleep(20);
        }
    }
    static BOOL CALLBACK answer(HWND window, LPARAM self) {
        if (!is_message_box(window)) return TRUE;
        auto& watchdog = *reinterpret_cast<box_watchdog*>(self);
        wchar_t caption[256] = {}, text[1024] = {};
        ::GetWindowTextW(window, caption, 256);
        ::GetDlgItemTextW(window, 0xFFFF, text, 1024);
        {
            std::lock_guard lock(watchdog.mutex_);
            if (watchdog.answered_.insert(window).second) watchdog.boxes_.push_back(utf8(caption) + ": " + utf8(text));
        }
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }

    DWORD ui_thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> boxes_;
    std::set<HWND> answered_;
    std::thread thread_;
};

// What the add-in handed to the user through its seams.
struct user_view {
    std::vector<std::string> said;   // error boxes of the framework and the windows, addresses opened
};

user_view& shown() {
    static user_view view;
    return view;
}

// The library's boxes (which the sweep records too), the windows' recorded.
user_dialogs recording_dialogs() {
    user_dialogs dialogs = library_dialogs();
    dialogs.choose_color = [](HWND) { return std::optional<COLORREF>(); };
    dialogs.show_error = [](HWND, const std::string& message) { shown().said.push_back("error box: " + message); };
    dialogs.open_url = [](const std::string& url) { shown().said.push_back("browser: " + url); };
    return dialogs;
}

// The add-in's class as the sweep loads it: its own module with recording
// seams, and the live object kept for the commands (the host may release it
// at any time, after a failed connection for one).
class sweep_addin;
sweep_addin* g_addin = nullptr;

class sweep_addin final : public TafwAddin {
public:
    using TafwAddin::TafwAddin;
    ~sweep_addin() override {
        if (g_addin == this) g_addin = nullptr;
    }
};

addin_class sweep_class() {
    return {"Tkorv", addin_testing::kKorv, {addin_testing::kIkorv},
            [](TafwFactory& factory, IUnknown* outer) {
                auto* object = new sweep_addin(factory, outer);
                g_addin = object;
                ComPtr<IUnknown> created;
                *created.GetAddressOf() = object->creation_unknown();
                return created;
            },
            [] { return module_ptr(new TAddInModule(recording_dialogs())); }};
}

const std::wstring kProgIdKey = std::wstring(L"Software\\Classes\\") + addin_testing::kProgId;

// The ProgID that leads Outlook to the class, and the add-in key as a fresh
// profile has it: loaded at start, no start mode, no toolbar records.
void register_for_outlook() {
    wchar_t clsid[64] = {};
    ::StringFromGUID2(addin_testing::kKorv, clsid, 64);
    registry_key::create(HKEY_LOCAL_MACHINE, kProgIdKey + L"\\CLSID").set_string(nullptr, clsid);
    delete_key_tree(HKEY_CURRENT_USER, addin_testing::kAddInKey);
    auto key = registry_key::create(HKEY_CURRENT_USER, addin_testing::kAddInKey);
    key.set_dword(L"LoadBehavior", 3);
    key.set_string(L"FriendlyName", L"DOD_Flinter");
}

// The settings every run starts from (the defaults: report and blind-copy
// addresses, delete after reporting), with a recent update check so that no
// web server is asked.
void write_settings() {
    const std::string ini = ProcessWorkFolder() + kSettingsFileName;
    SaveSettings(ini, settings_record{});
    RecordUpdateCheck(ini, false, LocalNowAsDayCount());
}

std::wstring outbox_folder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"fault-sweep-" + std::to_wstring(::GetCurrentProcessId());
}

struct strike {
    std::string member;   // "Kind.Member"; empty: a clean run
    int skip = 0;
    int times = 0;
};

void arm(const strike& s) {
    if (s.member.empty()) return;
    const auto dot = s.member.find('.');
    mailhost_fail_after(widen(s.member.substr(0, dot)).c_str(), widen(s.member.substr(dot + 1)).c_str(),
                        failure_for(s.member), s.skip, s.times);
}

// The run's strike: armed, with a new member census, before the scenario's
// phase, or by the phase itself once a handler's box or window shows. The
// failures delivered before it (a fault the scenario prepared) are not its.
const strike* g_strike = nullptr;
long g_struck_before = 0;

void arm_strike() {
    mailhost_record_members(TRUE);
    g_struck_before = mailhost_injected_failures();
    arm(*g_strike);
}

TAddInModule* module() {
    return g_addin ? static_cast<TAddInModule*>(g_addin->Module()) : nullptr;
}

std::string info_text() {
    TAddInModule* m = module();
    if (!m || !m->finfo()) return "(no window)";
    return std::string(::IsWindowVisible(m->finfo()->handle()) ? "shown: " : "hidden: ") + window_text_acp(m->finfo()->ed());
}

bool log_has(const std::wstring& line_start) {
    const std::wstring log = take(mailhost_call_log());
    return log.find(L"\n" + line_start) != std::wstring::npos || log.starts_with(line_start);
}

// The add-in's bar in the first explorer as the user sees it: shown, enabled,
// its controls' captions and states; "no bar" when it has none.
std::string bar_state(IDispatch* application) {
    try {
        const auto explorers = get_object(application, L"Explorers");
        if (get(explorers.Get(), L"Count").as_int() < 1) return "no explorer";
        const auto bars = get_object(get_object(explorers.Get(), L"Item", {variant(1)}).Get(), L"CommandBars");
        for (int i = 1, n = get(bars.Get(), L"Count").as_int(); i <= n; ++i) {
            const auto bar = get_object(bars.Get(), L"Item", {variant(i)});
            if (get(bar.Get(), L"Name").as_wstring() != kBarName) continue;
            std::string state = std::string("bar ") + (get(bar.Get(), L"Visible").as_bool() ? "shown" : "hidden") +
                                (get(bar.Get(), L"Enabled").as_bool() ? " enabled" : " disabled");
            const auto controls = get_object(bar.Get(), L"Controls");
            for (int c = 1, m = get(controls.Get(), L"Count").as_int(); c <= m; ++c) {
                const auto control = get_object(controls.Get(), L"Item", {variant(c)});
                state += "; " + utf8(get(control.Get(), L"Caption").as_wstring()) +
                         (get(control.Get(), L"Visible").as_bool() ? "" : " hidden") +
                         (get(control.Get(), L"Enabled").as_bool() ? "" : " disabled");
            }
            return state;
        }
        return "no bar";
    } catch (const std::exception& e) {
        return std::string("unreadable: ") + e.what();
    }
}

bool records_present() {
    return key_exists(HKEY_CURRENT_USER, std::wstring(addin_testing::kAddInKey) + L"\\CommandBars") ||
           key_exists(HKEY_CURRENT_USER, std::wstring(addin_testing::kAddInKey) + L"\\Controls");
}

// The parts of an outcome, as a child reports them on one line.
constexpr char kPartSeparator[] = " <|> ";

// The forwards that reached the Outbox, each as "To | Bcc | Subject | body |
// attachment" with the parts that identify a report, sorted.
std::string outbox_summary(const std::wstring& folder) {
    std::vector<std::string> forwards;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string eml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto header_value = [&](const char* name) {
            const auto at = eml.find(std::string("\r\n") + name + ": ");
            if (at == std::string::npos) return std::string("-");
            const auto start = at + 4 + std::strlen(name);
            return eml.substr(start, eml.find("\r\n", start) - start);
        };
        const auto body_at = eml.find("8bit\r\n\r\n");
        std::string body = body_at == std::string::npos ? "-" : eml.substr(body_at + 8);
        const auto attachment_at = body.find("\r\n------=_mailhost_part\r\nContent-Type: application/octet-stream");
        std::string attachment = "no attachment";
        if (attachment_at != std::string::npos) {
            attachment = "attachment of " + std::to_string(std::hash<std::string>{}(body.substr(attachment_at)) % 1000000);
            body.resize(attachment_at);
        }
        const auto header_end = body.find("=== END OF MESSAGE HEADER ===");
        const std::string quoted = header_end == std::string::npos ? "no header block"
                                                                   : "header block of " + std::to_string(header_end) + " bytes";
        forwards.push_back("To " + header_value("To") + " | Bcc " + header_value("Bcc") + " | " +
                           header_value("Subject") + " | " + quoted + " | " + attachment);
    }
    std::sort(forwards.begin(), forwards.end());
    std::string summary;
    for (const auto& f : forwards) summary += (summary.empty() ? "" : kPartSeparator) + f;
    return summary.empty() ? "nothing sent" : summary;
}

void select(std::initializer_list<int> items) {
    const std::vector<int> list(items);
    mailhost_select(1, list.data(), static_cast<int>(list.size()));
}

// Whether the add-in connected and started, and whether its windows exist.
std::string connection_outcome(IDispatch*) {
    const std::string windows =
        std::string("; windows ") + (module() && module()->finfo() && module()->fset() ? "made" : "missing");
    if (log_has(L"addin Korvex.korv failed")) return "connection failed" + windows;
    return std::string("connection made; start-up ") +
           (log_has(L"addin Korvex.korv.OnStartupComplete failed") ? "failed" : "succeeded") + windows;
}

std::string switch_off_outcome(IDispatch* application) {
    return std::string("disconnection ") +
           (log_has(L"addin Korvex.korv.OnDisconnection(1) failed") ? "failed" : "succeeded") + "; " +
           bar_state(application) + "; records " + (records_present() ? "kept" : "removed");
}

std::string shutdown_outcome(IDispatch*) {
    return std::string("disconnection ") + (log_has(L"addin Korvex.korv.OnDisconnection(0) failed") ? "failed" : "succeeded");
}

// The bar's records as the user left them, so that a switch-off has some to remove.
void write_bar_records() {
    for (const wchar_t* record : {L"\\CommandBars", L"\\Controls"})
        registry_key::create(HKEY_CURRENT_USER, std::wstring(addin_testing::kAddInKey) + record);
}

// ---------------------------------------------------------------------------
// The host acting while a handler runs: calls posted to this thread run when
// the handler's box or modal window next pumps messages, as the user's input
// and other programs' calls reach Outlook then.

struct box_search {
    const wchar_t* caption;
    HWND found = nullptr;
};

BOOL CALLBACK match_box(HWND window, LPARAM search_address) {
    auto& search = *reinterpret_cast<box_search*>(search_address);
    if (!is_message_box(window)) return TRUE;
    wchar_t caption[64] = {};
    ::GetWindowTextW(window, caption, 64);
    if (search.caption && std::wstring(caption) != search.caption) return TRUE;
    search.found = window;
    return FALSE;
}

// A message box of this thread that shows, with this caption (any when null).
HWND thread_box(const wchar_t* caption) {
    box_search search{caption};
    ::EnumThreadWindows(::GetCurrentThreadId(), &match_box, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What the handler did around the host's action.
struct handler_run {
    bool returned = false;   // the click's handler has come back
    bool showing = false;    // its box or window showed when the host acted
    bool waited = false;     // it went on waiting for the user after the host had left
};
handler_run g_handler;

// Ends a handler that still waits for the user once the host has gone, and
// says so; a message box is left to the watchdog a while, as the user
// answers it (a switched-off add-in's box may stay over Outlook's window).
void see_whether_the_handler_waits(int patience) {
    if (g_handler.returned) return;
    if (patience > 0 && thread_box(nullptr)) {
        ::Sleep(5);
        post_call([patience] { see_whether_the_handler_waits(patience - 1); });
        return;
    }
    g_handler.waited = true;
    ::PostQuitMessage(0);   // ends the modal loop; the handler returns
}

// A command's box or modal window, and how the user comes to see it.
struct showing_window {
    const char* name;
    const char* title;
    const wchar_t* tag;                  // the button the user clicks
    std::function<void()> prepare;       // before the click
    std::function<void()> then_inside;   // in the command's window, before the host acts; may be empty
    std::function<bool()> showing;
    // The last window closing and another program's Quit give the add-in the
    // same calls in the same order (the windows close, Quit, OnBeginShutdown,
    // OnDisconnection): one of them is swept, the other runs cleanly.
    const char* swept_shutdown;
};

// How the host leaves while a handler runs.
struct host_leaving {
    const char* name;
    const char* title;
    std::function<void()> prepare;
    std::function<void()> act;
    std::function<std::string(IDispatch*)> outcome;
    bool shuts_down;
    const char* judged_as;     // the scenario whose rules judge the outcome
    const char* own_member;    // the host's own call that the action is, not the add-in's: not swept
};

// The user clicks the window's button in the explorer; once its box or
// window shows, the strike is armed and the host acts; then the handler must
// come back without waiting for the user.
void leave_while_showing(const showing_window& window, const host_leaving& leaving) {
    post_call([&] {
        if (window.then_inside) window.then_inside();
        post_call([&] {
            g_handler.showing = !g_handler.returned && window.showing();
            arm_strike();
            leaving.act();
            post_call([] { see_whether_the_handler_waits(200); });
        });
    });
    mailhost_click(1, window.tag, nullptr);
    g_handler.returned = true;
    run_queued_messages();
}

// The scenarios: what is prepared without faults, the phase in which the
// strike is armed and the members are counted, and the outcome the user got.
struct scenario {
    std::string name;
    std::string title;
    int explorers;
    std::function<void()> prepare;
    std::function<void()> phase;
    std::function<std::string(IDispatch* application)> outcome;
    bool phase_is_start = false;
    bool phase_disconnects = false;
    // The host leaves inside a handler: the phase arms the strike itself, and
    // the run is checked for writes into freed memory.
    bool inside_handler = false;
    const char* judged_as = nullptr;    // judged by another scenario's rules
    const char* own_member = nullptr;   // the host's own action, not swept
    bool clean_run_only = false;        // the calls of a swept scenario: run once, cleanly, with every check
    std::string judge() const { return judged_as ? std::string(judged_as) : name; }
};

constexpr wchar_t kSpamTag[] = L"{DE50E6B0-F7A3-4766-B347-9738F276A5DB}";
constexpr wchar_t kSettingsTag[] = L"{6470BA4F-A064-4831-8683-3EE6B23DCD52}";
constexpr wchar_t kAnalyzerTag[] = L"{9EF8F00C-4864-4380-89E3-8E624638A221}";
constexpr wchar_t kLoginTag[] = L"{F63228A1-172A-41AA-8F7F-D8D4DEE1E5EE}";

// The command windows and boxes during which the host leaves.
const std::vector<showing_window>& showing_windows() {
    static const std::vector<showing_window> windows = {
        {"spam-box", "\"Spam\"'s address-check box", kSpamTag,
         [] {
             if (auto* m = module(); m && m->fset()) {
                 auto record = m->fset()->record();
                 record.email.clear();
                 m->fset()->set_record(record);
             }
         },
         nullptr, [] { return thread_box(L"QAV_Flinter") != nullptr; }, "close"},
        {"settings", "the settings window", kSettingsTag, [] {}, nullptr,
         [] { return module() && module()->fset() && ::IsWindowVisible(module()->fset()->handle()); }, "quit"},
        {"about", "the About box over the settings window", kSettingsTag, [] {},
         [] {   // the user presses "About"
             if (auto* m = module(); m && m->fset())
                 ::PostMessageW(m->fset()->handle(), WM_COMMAND, MAKEWPARAM(Tfset::Button3, BN_CLICKED),
                                reinterpret_cast<LPARAM>(::GetDlgItem(m->fset()->handle(), Tfset::Button3)));
         },
         [] { return module() && module()->AboutBox() && ::IsWindowVisible(module()->AboutBox()->handle()); },
         "quit"},
        {"error-box", "the module error box of a failing click", kSpamTag,
         [] { mailhost_fail(L"CommandBarButton", L"Tag", E_FAIL, 1); }, nullptr,
         [] { return thread_box(L"DOD_Flinter") != nullptr; }, "close"},
    };
    return windows;
}

// Outlook's Quit, as another program calls it; its name is looked up before
// the strike is armed, so that only the add-in's calls are struck.
DISPID g_quit = DISPID_UNKNOWN;
IDispatch* g_application = nullptr;

const std::vector<host_leaving>& host_leavings() {
    static const std::vector<host_leaving> leavings = {
        {"close", "the last window closes", [] {}, [] { mailhost_close_explorer(1); }, shutdown_outcome, true, nullptr,
         nullptr},
        {"quit", "another program quits Outlook",
         [] {
             LPOLESTR name = const_cast<LPOLESTR>(L"Quit");
             if (g_application) g_application->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &g_quit);
         },
         [] {
             DISPPARAMS none{};
             if (g_application)
                 g_application->Invoke(g_quit, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                                       nullptr);
         },
         shutdown_outcome, true, nullptr, "Application.Quit"},
        {"switch-off", "the user switches the add-in off", write_bar_records,
         [] { mailhost_connect_addin(addin_testing::kProgId, FALSE); }, switch_off_outcome, false, "switch-off", nullptr},
    };
    return leavings;
}

scenario leaving_while_showing(const showing_window& window, const host_leaving& leaving) {
    scenario sc{std::string(leaving.name) + "-in-" + window.name, std::string(leaving.title) + ", " + window.title + " showing",
                1,
                [&] {
                    leaving.prepare();
                    window.prepare();
                },
                [&] { leave_while_showing(window, leaving); }, leaving.outcome, false, true};
    sc.inside_handler = true;
    sc.judged_as = leaving.judged_as;
    sc.own_member = leaving.own_member;
    sc.clean_run_only = leaving.shuts_down && std::string(leaving.name) != window.swept_shutdown;
    return sc;
}

// Each command from the explorer left when the one in front at start-up
// (which owns the add-in's windows) closed: the user opened a second window,
// chose the messages there, brought the first to the front again and closed
// it (the explorer-close scenario sweeps that); the click in the remaining
// window's bar is the phase.
std::vector<scenario> commands_after_owner_closed() {
    struct command {
        const char* name;
        const char* title;
        const wchar_t* tag;
        std::function<void()> prepare;
        std::function<std::string(IDispatch*)> outcome;
        const char* judged_as;
    };
    const auto second_window_with = [](std::vector<int> items) {
        return [items] {
            int second = 0;
            mailhost_open_explorer(L"Inbox", TRUE, &second);
            if (!items.empty()) mailhost_select(second, items.data(), static_cast<int>(items.size()));
            mailhost_activate_explorer(1);
            mailhost_close_explorer(1);
        };
    };
    const command commands[] = {
        {"spam", "\"Spam\", two messages selected", kSpamTag, second_window_with({1, 2}),
         [](IDispatch*) { return outbox_summary(outbox_folder()); }, "spam"},
        {"settings", "\"Settings\"", kSettingsTag, second_window_with({}),
         [](IDispatch*) { return std::string(g_handler.showing ? "settings window shown" : "settings window not shown"); },
         nullptr},
        {"analyzer", "\"Analyzer\"", kAnalyzerTag, second_window_with({1}), [](IDispatch*) { return info_text(); },
         "analyzer"},
        {"login", "\"Login\"", kLoginTag, second_window_with({}), [](IDispatch*) { return std::string(); }, nullptr},
    };
    std::vector<scenario> list;
    for (const command& c : commands) {
        scenario sc{std::string("owner-closed-") + c.name, std::string("start-up explorer closed (one of two), then ") + c.title,
                    1, c.prepare,
                    [tag = c.tag] {
                        // The settings window is closed by the user once it shows.
                        post_call([] {
                            const TAddInModule* m = module();
                            const HWND settings = m && m->fset() ? m->fset()->handle() : nullptr;
                            g_handler.showing = settings && ::IsWindowVisible(settings);
                            if (settings) ::PostMessageW(settings, WM_CLOSE, 0, 0);
                        });
                        mailhost_click(1, tag, nullptr);
                        g_handler.returned = true;
                        run_queued_messages();
                    },
                    c.outcome};
        sc.judged_as = c.judged_as;
        list.push_back(std::move(sc));
    }
    return list;
}

const std::vector<scenario>& scenarios() {
    static const std::vector<scenario> all = {
        {"startup", "start-up (load, OnConnection, OnStartupComplete)", 1, [] {}, [] {}, connection_outcome, true},
        {"switch-on", "connection by the user after start-up", 1,
         [] {
             mailhost_connect_addin(addin_testing::kProgId, FALSE);
             mailhost_clear_call_log();
         },
         [] { mailhost_connect_addin(addin_testing::kProgId, TRUE); }, connection_outcome},
        {"spam", "command \"Spam\", two messages selected", 1, [] { select({1, 2}); },
         [] { if (auto* m = module()) m->afwOlExplorerCommandbar1Controls0Click(*m); },
         [](IDispatch*) { return outbox_summary(outbox_folder()); }},
        {"settings", "command \"Settings\"", 1,
         [] { if (auto* m = module(); m && m->fset()) ::PostMessageW(m->fset()->handle(), WM_CLOSE, 0, 0); },
         [] { if (auto* m = module()) m->afwOlExplorerCommandbar1Controls1Click(*m); },
         [](IDispatch*) { return std::string(); }},
        {"analyzer", "command \"Analyzer\"", 1, [] { select({1}); },
         [] { if (auto* m = module()) m->afwOlExplorerCommandbar1Controls2Click(*m); },
         [](IDispatch*) { return info_text(); }},
        {"login", "command \"Login\"", 1, [] {},
         [] { if (auto* m = module()) m->afwOlExplorerCommandbar1Controls3Click(*m); },
         [](IDispatch*) { return std::string(); }},
        {"selection", "selection change, information window shown", 1,
         [] {
             select({1});
             if (auto* m = module()) m->afwOlExplorerCommandbar1Controls2Click(*m);
         },
         [] { select({5}); }, [](IDispatch*) { return info_text(); }},
        {"folder", "folder switch (to Calendar and back)", 1, [] {},
         [] {
             BOOL cancelled = FALSE;
             mailhost_switch_folder(1, L"Calendar", &cancelled);
             mailhost_switch_folder(1, L"Inbox", &cancelled);
         },
         [](IDispatch* application) { return bar_state(application); }},
        {"close", "explorer close (one of two)", 2, [] { mailhost_activate_explorer(2); },
         [] { mailhost_close_explorer(2); }, [](IDispatch* application) { return bar_state(application); }},
        {"switch-off", "disconnection by the user", 1, write_bar_records,
         [] { mailhost_connect_addin(addin_testing::kProgId, FALSE); }, switch_off_outcome, false, true},
        {"shutdown", "disconnection at host shut-down", 1, [] {}, [] { mailhost_quit(); }, shutdown_outcome, false,
         true},
    };
    static const std::vector<scenario> every = [] {
        std::vector<scenario> list = all;
        for (const auto& command : commands_after_owner_closed()) list.push_back(command);
        for (const auto& window : showing_windows())
            for (const auto& leaving : host_leavings()) list.push_back(leaving_while_showing(window, leaving));
        return list;
    }();
    return every;
}

const scenario* find_scenario(const std::string& name) {
    for (const auto& s : scenarios())
        if (name == s.name) return &s;
    return nullptr;
}

int run_child(const scenario& sc, const strike& s) {
    if (FAILED(::CoInitialize(nullptr))) return 2;
    // Where the host leaves inside a handler, the module error box is a real
    // one (answered by the watchdog), whose message loop the host acts in.
    static bool real_error_boxes = false;
    real_error_boxes = sc.inside_handler;
    library_dialogs().module_error_box = [](HWND owner, const std::wstring& caption, const std::wstring& text) {
        shown().said.push_back("error box: " + utf8(caption) + ": " + utf8(text));
        if (real_error_boxes) default_user_dialogs().module_error_box(owner, caption, text);
    };
    library_dialogs().dax_error_box = [](const std::wstring& text) { shown().said.push_back("DAX error box: " + utf8(text)); };
    const bool registered_before = key_exists(HKEY_LOCAL_MACHINE, kProgIdKey);   // by regsvr32: left as it was
    register_for_outlook();
    write_settings();
    const std::wstring outbox = outbox_folder();
    std::error_code error;
    std::filesystem::remove_all(outbox, error);
    std::filesystem::create_directories(outbox, error);

    long refs = -1, sinks = -1, struck = 0;
    std::string outcome, heap = "not checked";
    g_strike = &s;
    {
        box_watchdog watchdog(::GetCurrentThreadId());
        TComServer server{this_module_file_name()};
        auto* factory = new TafwFactory(server, sweep_class());
        ComPtr<IClassFactory> owned_factory;
        *owned_factory.GetAddressOf() = factory;
        factory->AddRef();
        DWORD registration = 0;
        if (FAILED(::CoRegisterClassObject(addin_testing::kKorv, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                           &registration)))
            return 3;

        mailhost_options options{};
        options.mailbox = kSamplesMailbox;
        options.outbox_dir = outbox.c_str();
        options.explorers = sc.explorers;
        options.addins = addin_testing::kProgId;
        options.picture_support = 1;
        options.keep_armed_faults = 1;
        ComPtr<IDispatch> application;
        if (sc.phase_is_start) arm_strike();
        if (FAILED(mailhost_start(&options, application.GetAddressOf()))) return 4;
        g_application = application.Get();
        if (!sc.phase_is_start) {
            mailhost_clear_faults();
            sc.prepare();
            if (!sc.inside_handler) arm_strike();
            sc.phase();
        }
        // Right after the handler came back, before a freed block is used again.
        if (sc.inside_handler) {
            const auto intact = flinter::testing::heaps_intact();
            heap = intact ? "intact" : intact.message();
        }
        mailhost_record_members(FALSE);
        struck = mailhost_injected_failures() - g_struck_before;
        mailhost_clear_faults();
        outcome = sc.outcome(application.Get());
        outcome = one_line(outcome);
        for (const auto& said : shown().said) outcome += kPartSeparator + one_line(said);
        for (const auto& box : watchdog.boxes()) outcome += kPartSeparator + one_line("message box " + box);

        application.Reset();
        g_application = nullptr;
        if (mailhost_running()) mailhost_quit();
        g_addin = nullptr;
        refs = mailhost_outstanding_ref_count();
        sinks = mailhost_advised_sink_count();
        std::printf("leftover %s\n", one_line("references held: " + utf8(take(mailhost_outstanding_refs())) +
                                               "sinks advised: " + utf8(take(mailhost_advised_sinks())))
                                          .c_str());
        ::CoRevokeClassObject(registration);
    }
    for (const auto& line : lines_of(utf8(take(mailhost_recorded_members())))) std::printf("member %s\n", line.c_str());
    std::printf("outcome %s\nstruck %ld\nshowing %d\nwaited %d\nheap %s\nrefs %ld\nsinks %ld\ndone\n", outcome.c_str(),
                struck, g_handler.showing, g_handler.waited, one_line(heap).c_str(), refs, sinks);
    std::fflush(stdout);
    std::filesystem::remove_all(outbox, error);
    delete_key_tree(HKEY_CURRENT_USER, addin_testing::kAddInKey);
    if (!registered_before) delete_key_tree(HKEY_LOCAL_MACHINE, kProgIdKey);
    ::CoUninitialize();
    return 0;
}

// ---------------------------------------------------------------------------
// The sweep: children, their reports and the judgement.

struct child_report {
    bool ended = false;      // exited by itself
    bool hung = false;       // killed after the timeout
    DWORD exit_code = 0;
    bool done = false;       // reached the end of its run
    std::vector<std::pair<std::string, long>> members;
    std::string outcome;
    long struck = 0, refs = -1, sinks = -1;
    std::string leftover;
    bool showing = false;      // the handler's box or window showed when the host acted
    bool waited = false;       // the handler waited for the user after the host left
    std::string heap;          // "intact", "not checked", or what the check found
};

// The child's environment: this one, with Wine's heap checking where the host
// leaves inside a handler (freed blocks stay filled and out of use, so that a
// late write into one shows).
std::wstring child_environment(bool check_heap) {
    std::wstring block, debug;
    const wchar_t* const strings = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry && *entry; entry += std::wcslen(entry) + 1) {
        if (check_heap && _wcsnicmp(entry, L"WINEDEBUG=", 10) == 0) {
            debug = std::wstring(entry + 10) + L",";   // what the run asked for stays
            continue;
        }
        block.append(entry).push_back(L'\0');
    }
    if (strings) ::FreeEnvironmentStringsW(const_cast<wchar_t*>(strings));
    if (check_heap) block.append(L"WINEDEBUG=" + debug + L"warn+heap").push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

std::wstring this_program() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

child_report run(const scenario& sc, const strike& s) {
    std::wstring command = L"\"" + this_program() + L"\" --run " + widen(sc.name);
    if (!s.member.empty())
        command += L" " + widen(s.member) + L" " + std::to_wstring(s.skip) + L" " + std::to_wstring(s.times);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    child_report report;
    if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) return report;
    unique_handle owned_read(read_end), owned_write(write_end);
    ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring environment = child_environment(sc.inside_handler);
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, environment.data(),
                          nullptr, &startup, &process))
        return report;
    unique_handle owned_process(process.hProcess), owned_thread(process.hThread);
    owned_write.reset();
    // The output is read on a thread of its own, so that a child that fills
    // the pipe cannot stall, and the wait keeps its timeout.
    std::string output;
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    });
    if (::WaitForSingleObject(process.hProcess, kChildTimeoutMs) == WAIT_TIMEOUT) {
        report.hung = true;
        ::TerminateProcess(process.hProcess, 0xDEAD);
        ::WaitForSingleObject(process.hProcess, 5000);
    } else {
        report.ended = true;
    }
    reader.join();
    ::GetExitCodeProcess(process.hProcess, &report.exit_code);
    for (const auto& line : lines_of(output)) {
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "member") {
            const auto last = value.rfind(' ');
            report.members.emplace_back(value.substr(0, last), std::atol(value.c_str() + last + 1));
        } else if (key == "outcome") {
            report.outcome = value;
        } else if (key == "struck") {
            report.struck = std::atol(value.c_str());
        } else if (key == "showing") {
            report.showing = value == "1";
        } else if (key == "waited") {
            report.waited = value == "1";
        } else if (key == "heap") {
            report.heap = value;
        } else if (key == "refs") {
            report.refs = std::atol(value.c_str());
        } else if (key == "sinks") {
            report.sinks = std::atol(value.c_str());
        } else if (key == "leftover") {
            report.leftover = value;
        } else if (key == "done") {
            report.done = true;
        }
    }
    return report;
}

std::vector<std::string> parts_of(const std::string& outcome) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    const std::size_t length = std::strlen(kPartSeparator);
    while (true) {
        const auto at = outcome.find(kPartSeparator, start);
        parts.push_back(outcome.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + length;
    }
    return parts;
}

bool starts_with(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

// Members whose failure the add-in may carry on over, by design, and still
// give the user the full result: the saved copy's attachment (the report goes
// without it), the deletion after sending, the owner window at start-up (the
// windows become top-level), and the event subscriptions (an object that
// cannot be subscribed to stays silently unsubscribed).
bool tolerated(const std::string& scenario_name, const std::string& member) {
    if (scenario_name == "spam")
        return member == "MailItem.Attachments" || starts_with(member, "Attachments.") || member == "MailItem.Delete";
    return false;
}

// A run presented a spoiled result as a good one: what it says, or empty.
std::string false_success(const std::string& scenario_name, const std::string& member, const child_report& reference,
                          const child_report& r) {
    const auto ref = parts_of(reference.outcome), got = parts_of(r.outcome);
    if (scenario_name == "startup" || scenario_name == "switch-on") {
        if (got[0].find("start-up succeeded") != std::string::npos && got[0].find("connection made") != std::string::npos &&
            got[0].find("windows missing") != std::string::npos)
            return "start-up reported success without its windows";
        return {};
    }
    if (scenario_name == "spam") {
        // Each forward sent is one of the clean run's, whole; the messages not
        // reported are the ones the user is told of, or all of them when the
        // command stopped before its loop (silently, as designed).
        std::vector<std::string> clean, sent;
        for (const auto& part : ref)
            if (starts_with(part, "To ")) clean.push_back(part);
        int told_unreported = 0;
        for (const auto& part : got) {
            if (starts_with(part, "To ")) sent.push_back(part);
            if (const auto at = part.find(" messages could not be reported"); at != std::string::npos)
                told_unreported = std::atoi(part.c_str() + part.rfind(": ", at) + 2);
        }
        for (const auto& forward : sent) {
            bool known = std::find(clean.begin(), clean.end(), forward) != clean.end();
            if (!known && tolerated(scenario_name, member)) {
                const auto without = forward.substr(0, forward.rfind(" | ")) + " | no attachment";
                for (const auto& c : clean) known = known || c.substr(0, c.rfind(" | ")) + " | no attachment" == without;
            }
            if (!known) return "a report went out spoiled: " + forward;
        }
        const int expected = static_cast<int>(clean.size()) - told_unreported;
        if (static_cast<int>(sent.size()) != expected && !(told_unreported == 0 && sent.empty()))
            return std::to_string(sent.size()) + " of " + std::to_string(clean.size()) + " reports sent, " +
                   std::to_string(told_unreported) + " said to have failed";
        return {};
    }
    if (scenario_name == "analyzer" || scenario_name == "selection") {
        // The verdict shown is the selected message's, or none at all.
        if (got[0] == ref[0] || got[0] == "shown: " || got[0] == "hidden: ") return {};
        return "the window shows " + got[0] + " instead of " + ref[0] + " or nothing";
    }
    if (scenario_name == "switch-off") {
        if (got[0].find("disconnection succeeded") != std::string::npos &&
            (got[0].find("bar shown") != std::string::npos || got[0].find("bar hidden") != std::string::npos ||
             got[0].find("records kept") != std::string::npos))
            return "disconnection reported success with the bar or its records left: " + got[0];
        return {};
    }
    return {};
}

struct tally {
    int members = 0, runs = 0, survived = 0, false_successes = 0, leaks = 0, freed_written = 0, unreached = 0;
};

// What a run found beyond a spoiled result or a leak: the handler waiting for
// the user once the host had left, a write into freed memory; empty when
// nothing.
std::string waited_after_host_left(const child_report& r) {
    return r.waited ? "the box or window waited for the user after the host had left (ended by the sweep)" : "";
}

std::string freed_memory_written(const scenario& sc, const child_report& r) {
    if (!sc.inside_handler || r.heap == "intact") return {};
    return "heap check: " + r.heap;
}

std::string occurrence_name(const strike& s, long calls) {
    if (s.times > 1) return "every call";
    if (s.skip == 0) return calls > 1 ? "first call" : "its one call";
    return "call " + std::to_string(s.skip + 1) + " (last)";
}

int sweep(const std::set<std::string>& only) {
#ifdef _WIN64
    const char* flavour = "x64";
#else
    const char* flavour = "x86";
#endif
    std::vector<std::string> faults;
    std::vector<std::pair<const scenario*, tally>> tallies;
    for (const auto& sc : scenarios()) {
        if (!only.empty() && !only.contains(sc.name)) continue;
        tally t;
        const child_report reference = run(sc, {});
        const std::string clean = sc.name + ", clean run: ";
        if (!reference.done || reference.refs != 0 || reference.sinks != 0) {
            faults.push_back(clean + (reference.done ? "host references or sinks left: " + reference.leftover
                                                     : "did not complete (exit code " + std::to_string(reference.exit_code) + ")"));
        }
        if (reference.done && sc.inside_handler && !reference.showing)
            faults.push_back(clean + "the host acted with no box or window of the command showing");
        for (const auto& found : {waited_after_host_left(reference), freed_memory_written(sc, reference)})
            if (reference.done && !found.empty()) faults.push_back(clean + found);
        if (sc.clean_run_only) {
            t.runs = 1;
            t.survived = reference.done && !reference.waited;
            t.leaks = reference.refs != 0 || reference.sinks != 0;
            t.freed_written = reference.done && !freed_memory_written(sc, reference).empty();
            tallies.emplace_back(&sc, t);
            continue;
        }
        for (const auto& [member, calls] : reference.members) {
            if (sc.own_member && member == sc.own_member) continue;
            ++t.members;
            // The first call, the last, and every call (which also fails a retry).
            std::vector<strike> strikes{{member, 0, 1}};
            if (calls > 1) strikes.push_back({member, static_cast<int>(calls - 1), 1});
            strikes.push_back({member, 0, kEveryCall});
            for (const auto& s : strikes) {
                ++t.runs;
                const child_report r = run(sc, s);
                const std::string where = sc.name + ", " + member + ", " + occurrence_name(s, calls) + ": ";
                std::fprintf(stderr, "%s %s%s\n", flavour, where.c_str(), r.done ? "ran" : "did not complete");
                if (!r.done) {
                    faults.push_back(where + (r.hung ? "hung (killed after " + std::to_string(kChildTimeoutMs / 1000) + " s)"
                                                     : "crashed (exit code " + std::to_string(r.exit_code) + ")"));
                    continue;
                }
                if (const auto waited = waited_after_host_left(r); !waited.empty()) {
                    faults.push_back(where + waited);
                } else {
                    ++t.survived;
                }
                if (r.struck == 0) ++t.unreached;
                if (const auto spoiled = false_success(sc.judge(), member, reference, r); !spoiled.empty()) {
                    ++t.false_successes;
                    faults.push_back(where + spoiled);
                }
                // A sink the host refuses for good to unadvise (its connection
                // point or the Unadvise itself failing every time) is the
                // host's to keep; the references must be back all the same.
                const bool refused_for_good =
                    sc.phase_disconnects && s.times > 1 && (member.ends_with(".Unadvise") || member.ends_with(".FindConnectionPoint") ||
                                    member.ends_with(".QueryInterface"));
                if (r.refs != 0 || (r.sinks != 0 && !refused_for_good)) {
                    ++t.leaks;
                    faults.push_back(where + "left " + r.leftover);
                }
                if (const auto written = freed_memory_written(sc, r); !written.empty()) {
                    ++t.freed_written;
                    faults.push_back(where + written);
                }
            }
        }
        tallies.emplace_back(&sc, t);
    }

    std::printf("### %s\n\n", flavour);
    std::printf("| %s: scenario | members swept | runs | survived | false successes | leaks | freed memory written | "
                "failure not reached |\n",
                flavour);
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    tally total;
    for (const auto& [sc, t] : tallies) {
        // Only where the host leaves inside a handler does the run check the heap.
        const std::string written = sc->inside_handler ? std::to_string(t.freed_written) : "-";
        const std::string members = sc->clean_run_only ? "clean run only" : std::to_string(t.members);
        std::printf("| %s | %s | %d | %d | %d | %d | %s | %d |\n", sc->title.c_str(), members.c_str(), t.runs, t.survived,
                    t.false_successes, t.leaks, written.c_str(), t.unreached);
        total.members += t.members;
        total.runs += t.runs;
        total.survived += t.survived;
        total.false_successes += t.false_successes;
        total.leaks += t.leaks;
        total.freed_written += t.freed_written;
        total.unreached += t.unreached;
    }
    std::printf("| all | %d | %d | %d | %d | %d | %d | %d |\n\n", total.members, total.runs, total.survived,
                total.false_successes, total.leaks, total.freed_written, total.unreached);
    if (faults.empty()) {
        std::printf("Nothing found: every run ended by itself, no handler waited for the user after the host had left, "
                    "no spoiled result was presented as good, no host reference or sink was left, and no freed memory "
                    "was written.\n\n");
    } else {
        std::printf("Found:\n\n");
        for (const auto& f : faults) std::printf("- %s\n", f.c_str());
        std::printf("\n");
    }
    return faults.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--run") {
        const scenario* sc = find_scenario(argv[2]);
        if (!sc) return 2;
        strike s;
        if (argc >= 6) s = {argv[3], std::atoi(argv[4]), std::atoi(argv[5])};
        return run_child(*sc, s);
    }
    // Arguments name the scenarios to sweep (all when none).
    return sweep(std::set<std::string>(argv + 1, argv + argc));
}
