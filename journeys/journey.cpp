// The journey language: one step a line, explorers and inspectors numbered
// from 1 as Outlook numbers them at that moment (the windows after a closed
// one move down), rows of an explorer's message list from 1.
//
//   version V              the host is Outlook V: only as a journey's first step,
//                          "16.0" an Outlook 2016 with its ribbon (without it 11.0,
//                          Outlook 2003); a random journey's seed picks it
//   start                  Outlook starts again with the same profile
//   quit                   another program tells Outlook to quit (automation)
//   exit                   the user quits Outlook (File > Exit)
//   select E R [R...]      clicks row R of explorer E, further rows with Ctrl
//   folder E NAME          clicks the folder NAME in explorer E's folder pane
//   new-explorer E         opens E's folder in a new explorer (E's system menu)
//   front E                brings explorer E to the front
//   close E                closes explorer E (the last one quits Outlook)
//   open E R               double-clicks row R: the message opens in an inspector
//   close-inspector I      closes inspector I
//   click E CAPTION        clicks the add-in's button CAPTION in explorer E, on
//                          its bar or, in a host with a ribbon, in its group there
//   burst E INPUT...       input queued to arrive when the host next takes
//                          messages (while a handler shows a box, say):
//                          click:CAPTION, select:R, front, close, switch-off;
//                          front:N and close:N act on explorer N
//   type FIELD TEXT        types TEXT into the settings window's field
//                          (email, bcc, name, pass), replacing what it held
//   tick FIELD             clicks the settings window's check box (delete, cb1, cb2, cb3)
//   press WINDOW BUTTON    presses a button: Settings OK, Cancel or About; About OK
//   close-window WINDOW    the window's close box: Settings, About, Message Information, header
//   answer                 presses OK in the message box in front
//   addins E               opens the COM Add-ins dialog over explorer E
//   addins-tick            ticks or clears the add-in in that dialog
//   addins-ok, addins-cancel
//   move-bar E POSITION ROW LEFT TOP   drags the add-in's bar in explorer E
//   code-word              types the code word into the information window
//   fail KIND MEMBER       the host's next call of KIND.MEMBER ("*": any member)
//                          fails, during the next step
//
// Each step is taken only where the user could take it: in a window that is
// shown and takes input, on a control the window shows. The next step is
// taken when the last one returned, or while it waits in a window it opened
// (its box, its modal window): the user goes on acting in what still takes
// input, or answers it.
#include "journey.h"

#include <windows.h>
#include <olectl.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "com/text_conversion.h"
#include "com/registry.h"
#include "com/unique_res.h"
#include "expectations.h"
#include "heap_check.h"
#include "mailhost/mailhost.h"
#include "process_resources.h"
#include "user_view.h"

namespace journeys {
namespace {

using Microsoft::WRL::ComPtr;
using flinter::variant;

constexpr wchar_t kProgId[] = L"Korvex.korv";
constexpr wchar_t kAddInKey[] = L"Software\\Microsoft\\Office\\Outlook\\AddIns\\Korvex.korv";
constexpr wchar_t kAddInName[] = L"DOD_Flinter";
constexpr UINT kNextStep = WM_APP + 7;
constexpr UINT_PTR kWaitTimer = 1;
// A handler that runs a message loop with nothing for the user to answer, for longer than this, hangs Outlook.
constexpr ULONGLONG kHandlerPatienceMs = 10000;
// The host thread not coming back at all for longer than this: the watchdog ends the process.
constexpr ULONGLONG kDeadlineMs = 30000;

// FLINTER_JOURNEY_LAG_MS: each of the journey's own turns takes at least this
// long, as on a machine whose cores are shared with busy programs, so that the
// runner's pacing can be tried at that speed.
DWORD lag_ms() {
    static const DWORD lag = [] {
        const char* value = std::getenv("FLINTER_JOURNEY_LAG_MS");
        return value ? static_cast<DWORD>(std::strtoul(value, nullptr, 10)) : 0ul;
    }();
    return lag;
}

const wchar_t* const kFolders[] = {L"Inbox",  L"Calendar",    L"Contacts", L"Deleted Items", L"Outbox",
                                   L"Sent Items", L"Drafts",  L"Journal",  L"Junk E-mail",   L"Notes",
                                   L"Tasks",  L"Projects",    L"Reports",  L"Birthdays"};
const char* const kTypedFields[] = {"email", "bcc", "name", "pass"};
const char* const kTicked[] = {"delete", "cb1", "cb2", "cb3"};
const char* const kEmails[] = {"abuse@report.example", "", "nobody", "spam@postini.com", " "};
const char* const kBccs[] = {"", "copy@report.example", "bad address"};
const char* const kNames[] = {"", "jdoe", "j doe&co"};
const char* const kPasswords[] = {"", "p+ss", "secret"};
// Queued input: a click whose handler may pump messages, then what arrives meanwhile.
const char* const kFirstQueued[] = {"click:Spam", "click:Settings", "click:Analyzer"};
const char* const kQueued[] = {"click:Spam", "click:Settings", "click:Analyzer", "click:Login", "front",
                               "close",      "front:1",        "close:1",        "switch-off",  "select:1"};
// Kinds of host objects whose members may fail, and a few of the COM-level members.
const std::pair<const char*, const char*> kFaults[] = {
    {"Application", "*"}, {"Explorers", "*"},   {"Explorer", "*"},         {"Inspectors", "*"},
    {"Inspector", "*"},   {"NameSpace", "*"},   {"Selection", "*"},        {"MailItem", "*"},
    {"MAPIFolder", "*"},  {"CommandBars", "*"}, {"CommandBar", "*"},       {"CommandBarControls", "*"},
    {"CommandBarButton", "*"}, {"COMAddIn", "*"}, {"Explorer", "Advise"}, {"Explorer", "Unadvise"},
    {"CommandBarButton", "Advise"}, {"CommandBarButton", "Unadvise"}, {"IMessage", "GetProps"},
    {"CommandBars", "QueryInterface"}};

// Before the journey, once in each process: a session that goes once along
// every path that makes something for the life of the process (the rich edit's
// and the message box's resources, the add-in's window classes), so that the
// handles, GDI objects and window classes counted after it are what each
// later quit must come back to.
// The module's error box comes from a folder switch's failure, which only a
// host with the toolbar shows (the bar's state follows the folder).
const char* const kWarmUp[] = {
    "click 1 Analyzer", "exit", "start", "open 1 1", "close-inspector 1", "click 1 Analyzer", "code-word", "close-window header",
    "close-window Message Information", "click 1 Settings", "press Settings About", "press About OK",
    "type email nobody", "press Settings OK", "click 1 Spam", "answer", "fail MAPIFolder *", "folder 1 Reports",
    "answer", "new-explorer 1", "close 2", "addins 1", "addins-tick", "addins-ok",
    "addins 1", "addins-tick", "addins-ok", "exit"};
constexpr std::size_t kToolbarOnlyWarmUp = 16, kToolbarOnlyWarmUpSteps = 3;   // from "fail MAPIFolder *" to its "answer"

std::vector<const char*> warm_up(bool ribbon) {
    std::vector<const char*> steps(std::begin(kWarmUp), std::end(kWarmUp));
    if (ribbon) steps.erase(steps.begin() + kToolbarOnlyWarmUp, steps.begin() + kToolbarOnlyWarmUp + kToolbarOnlyWarmUpSteps);
    return steps;
}

const wchar_t* tag_of(const std::string& caption) {
    if (caption == "Spam") return L"{DE50E6B0-F7A3-4766-B347-9738F276A5DB}";
    if (caption == "Settings") return L"{6470BA4F-A064-4831-8683-3EE6B23DCD52}";
    if (caption == "Analyzer") return L"{9EF8F00C-4864-4380-89E3-8E624638A221}";
    if (caption == "Login") return L"{F63228A1-172A-41AA-8F7F-D8D4DEE1E5EE}";
    return L"";
}

HRESULT failure_of(const std::string& member) {
    if (member == "QueryInterface") return E_NOINTERFACE;
    if (member == "Advise") return CONNECT_E_ADVISELIMIT;
    if (member == "Unadvise" || member == "FindConnectionPoint") return CONNECT_E_NOCONNECTION;
    return E_FAIL;
}

std::wstring wide(const std::string& text) { return flinter::widen(text); }

std::wstring beside_this_program(const wchar_t* file) {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path, n);
    return self.substr(0, self.find_last_of(L"\\/") + 1) + file;
}

// Writes a whole line to standard output at once, from any thread.
void print_line(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

BOOL CALLBACK collect_child(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

// A button or check box of a window, by its text; null when it has none.
HWND button_named(HWND window, const std::wstring& text) {
    std::vector<HWND> children;
    ::EnumChildWindows(window, collect_child, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        wchar_t kind[16] = {};
        ::GetClassNameW(child, kind, 16);
        if (::_wcsicmp(kind, L"Button") == 0 && text_of(child) == text && ::IsWindowVisible(child)) return child;
    }
    return nullptr;
}

std::optional<RECT> located(int explorer, const std::wstring& element) {
    RECT where{};
    if (mailhost_locate(explorer, element.c_str(), &where) != S_OK) return std::nullopt;
    return where;
}

// Where the user clicks a row or a folder: its middle, unless the add-in's bar
// floats over it there (a click would reach the bar's button).
std::optional<RECT> clickable(int explorer, const std::wstring& element) {
    const auto where = located(explorer, element);
    if (!where) return std::nullopt;
    const POINT middle{(where->left + where->right) / 2, (where->top + where->bottom) / 2};
    if (const auto bar = located(explorer, std::wstring(L"bar:") + kBarName); bar && ::PtInRect(&*bar, middle))
        return std::nullopt;
    return where;
}

void click_at(HWND window, const RECT& where, WPARAM keys, bool twice = false) {
    const LPARAM at = MAKELPARAM((where.left + where.right) / 2, (where.top + where.bottom) / 2);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
    ::SendMessageW(window, WM_LBUTTONUP, keys, at);
    if (!twice) return;
    ::SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON | keys, at);
    ::SendMessageW(window, WM_LBUTTONUP, keys, at);
}

// The settings window's typed fields and check boxes, by the identifiers the window gives them.
int settings_control(const std::string& field) {
    if (field == "email") return 110;
    if (field == "bcc") return 111;
    if (field == "pass") return 112;
    if (field == "name") return 113;
    if (field == "delete") return 114;
    if (field == "cb1") return 115;
    if (field == "cb2") return 116;
    if (field == "cb3") return 117;
    return 0;
}

// The message box in front that takes input, or null.
HWND box_in_front(const user_view& view) {
    for (HWND window = ::GetTopWindow(nullptr); window; window = ::GetWindow(window, GW_HWNDNEXT))
        for (const auto& box : view.boxes)
            if (box.window.handle == window && box.window.usable()) return window;
    return nullptr;
}

// The journey's own host thread is watched from another thread: when it does
// not come back for kDeadlineMs, the journey so far has been printed and the
// process ends.
class watchdog {
public:
    watchdog() : thread_([this] { watch(); }) {}
    ~watchdog() {
        stop_ = true;
        thread_.join();
    }
    watchdog(const watchdog&) = delete;
    watchdog& operator=(const watchdog&) = delete;
    void progress(int step) {
        step_ = step;
        tick_ = ::GetTickCount64();
    }

private:
    void watch() {
        while (!stop_) {
            ::Sleep(250);
            if (::GetTickCount64() - tick_ < kDeadlineMs) continue;
            print_line("fail deadline: step " + std::to_string(step_.load()) + " did not end within " +
                       std::to_string(kDeadlineMs / 1000) + " s: the host thread does not come back");
            ::TerminateProcess(::GetCurrentProcess(), 3);
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<int> step_{0};
    std::atomic<ULONGLONG> tick_{::GetTickCount64()};
    std::thread thread_;
};

void prepare_profile();

// The host's version: a replayed journey's first step names it; a random
// journey's seed picks it, one seed in four an Outlook 2016. Empty: Outlook 2003.
std::string host_version(const journey_options& options) {
    if (options.replay)
        return !options.replay->empty() && options.replay->front().verb == "version" ? options.replay->front().word(0) : "";
    return options.seed % 4 == 0 ? "16.0" : "";
}

bool has_ribbon(const std::string& version) { return !version.empty() && version != "11.0"; }

class journey {
public:
    explicit journey(const journey_options& options)
        : options_(options),
          version_(host_version(options)),
          rng_(options.seed),
          warm_up_(warm_up(has_ribbon(version_))),
          expected_(narrow_path(beside_this_program(L"settings.ini")), has_ribbon(version_)) {}

    int run();

private:
    struct weighted {
        int weight;
        journey_step step;
    };
    // A step on the stack: it has not returned yet.
    struct frame {
        int number;
        std::set<HWND> modals_before;   // the modal windows shown when it began
        ULONGLONG waiting_since = 0;
    };

    static std::string narrow_path(const std::wstring& path) { return flinter::narrow(path.c_str()); }
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
    void schedule(UINT delay_ms);
    void next() noexcept;
    void advance();
    bool handler_waits(const user_view& view);
    std::optional<journey_step> user_step(const user_view& view);
    std::optional<journey_step> closing_step(const user_view& view);
    std::vector<weighted> possible(const user_view& view);
    bool can_take(const journey_step& step, const user_view& view);
    void take(const journey_step& step, const user_view& view);
    void take_burst(const journey_step& step, const explorer_seen& explorer, int number);
    void deliver_queued_input();
    void move_bar(const journey_step& step, int number);
    void bring_to_front(int number, const user_view& view);
    void start_outlook();
    void check_after_step(const user_view& view);
    enum class phase { warming, journey, again };
    void begin(phase next);
    void finish();
    [[noreturn]] void fail(const broken_invariant& broken);
    int pick(int count) { return static_cast<int>(rng_() % static_cast<unsigned>(count)); }
    template <class T, std::size_t N>
    const T& any(const T (&choices)[N]) { return choices[pick(static_cast<int>(N))]; }

    journey_options options_;
    std::string version_;   // the host's
    std::mt19937 rng_;
    std::vector<const char*> warm_up_;
    expectations expected_;
    ComPtr<IDispatch> application_;
    flinter::unique_hwnd window_;
    watchdog watchdog_;
    std::vector<frame> frames_;
    bool next_pending_ = false;
    bool finished_ = false;
    bool ending_ = false;
    phase phase_ = phase::warming;
    std::size_t warmed_ = 0;          // warm-up steps, or steps taken again, looked at
    std::vector<journey_step> journey_;   // the steps taken, for a second time through
    std::optional<flinter::testing::process_resources> resources_;   // what the process must come back to
    bool check_pending_ = false;
    bool quit_checked_ = true;   // nothing to check before the first start
    int sessions_ = 0;
    int taken_ = 0;              // user steps taken
    std::size_t replayed_ = 0;   // replayed steps looked at
    journey_step last_;
    std::optional<std::pair<std::string, std::string>> armed_;   // the fault for the next step
    std::string armed_now_;                                       // the fault armed during the last step
    long injected_before_ = 0;
    long struck_total_ = 0;
};

LRESULT CALLBACK journey::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    auto* self = reinterpret_cast<journey*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && (message == kNextStep || (message == WM_TIMER && wparam == kWaitTimer))) {
        if (message == WM_TIMER) ::KillTimer(window, kWaitTimer);
        self->next();
        return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

void journey::schedule(UINT delay_ms) {
    if (next_pending_) return;
    next_pending_ = true;
    if (delay_ms == 0) ::PostMessageW(window_.get(), kNextStep, 0, 0);
    else ::SetTimer(window_.get(), kWaitTimer, delay_ms, nullptr);
}

void journey::fail(const broken_invariant& broken) {
    const char* when = phase_ == phase::warming ? " (while warming up)" : phase_ == phase::again ? " (the second time through)" : "";
    print_line("fail " + broken.invariant + ": " + broken.detail + when);
    ::ExitProcess(1);
}

void journey::next() noexcept {
    next_pending_ = false;
    watchdog_.progress(taken_);
    if (finished_) return;
    try {
        advance();
    } catch (const std::exception& e) {
        fail({"journey", std::string("the journey itself failed: ") + e.what()});
    }
    if (lag_ms()) ::Sleep(lag_ms());
}

// A step still on the stack that shows nothing new: its handler runs a
// message loop of its own, and the journey waits for it to return.
bool journey::handler_waits(const user_view& view) {
    if (frames_.empty()) return false;
    frame& innermost = frames_.back();
    std::vector<HWND> modals;
    if (view.settings.visible) modals.push_back(view.settings.handle);
    if (view.about.visible) modals.push_back(view.about.handle);
    for (const auto& box : view.boxes) modals.push_back(box.window.handle);
    for (HWND modal : modals)
        if (!innermost.modals_before.count(modal)) {
            innermost.waiting_since = 0;
            return false;
        }
    const ULONGLONG now = ::GetTickCount64();
    if (innermost.waiting_since == 0) innermost.waiting_since = now;
    if (now - innermost.waiting_since > kHandlerPatienceMs)
        fail({"deadline", "step " + std::to_string(innermost.number) + " has not returned after " +
                              std::to_string(kHandlerPatienceMs / 1000) +
                              " s and shows nothing for the user to answer: Outlook hangs"});
    return true;
}

void journey::advance() {
    mailhost_clear_faults();   // a fault lives for the step it was armed for
    user_view view = look(application_.Get());
    if (handler_waits(view)) return schedule(20);
    if (check_pending_) {
        check_pending_ = false;
        check_after_step(view);
        view = look(application_.Get());
    }
    if (!view.running && frames_.empty() && !quit_checked_) {
        quit_checked_ = true;
        application_.Reset();
        if (auto broken = expected_.quit_checks(read_host_log())) fail(*broken);
    }
    if (phase_ == phase::warming && warmed_ == warm_up_.size() && frames_.empty() && !view.running) {
        resources_ = flinter::testing::measure_process_resources();
        return begin(phase::journey);
    }
    std::optional<journey_step> step = ending_ ? std::nullopt : user_step(view);
    if (!step && phase_ == phase::warming) return schedule(20);
    if (!step) {
        ending_ = true;
        step = closing_step(view);
        if (!step) {
            if (frames_.empty()) return finish();
            return schedule(20);   // the steps on the stack return by themselves
        }
        print_line("end " + step->line());
    }
    frame current{taken_, {}};
    if (view.settings.visible) current.modals_before.insert(view.settings.handle);
    if (view.about.visible) current.modals_before.insert(view.about.handle);
    for (const auto& box : view.boxes) current.modals_before.insert(box.window.handle);
    expected_.before(*step, view);
    last_ = *step;
    injected_before_ = view.running ? mailhost_injected_failures() : 0;
    armed_now_.clear();
    if (armed_ && step->verb != "fail") {
        armed_now_ = armed_->first + "." + armed_->second;
        if (view.running)
            mailhost_fail(wide(armed_->first).c_str(), wide(armed_->second).c_str(), failure_of(armed_->second), 1);
        armed_.reset();
    }
    check_pending_ = true;
    schedule(0);   // runs when this step returns, or inside the message loop of a window it opens
    frames_.push_back(std::move(current));
    take(*step, view);
    frames_.pop_back();
}

std::optional<journey_step> journey::user_step(const user_view& view) {
    if (phase_ == phase::warming) {
        while (warmed_ < warm_up_.size()) {
            journey_step step = parse_step(warm_up_[warmed_++]);
            if (can_take(step, view)) return step;
            fail({"journey", "the warm-up cannot take its step \"" + step.line() + "\""});
        }
        return std::nullopt;
    }
    if (phase_ == phase::again) {
        while (warmed_ < journey_.size()) {
            const journey_step& step = journey_[warmed_++];
            if (can_take(step, view)) {
                print_line("again " + std::to_string(warmed_) + " " + step.line());
                return step;
            }
        }
        return std::nullopt;
    }
    if (options_.replay) {
        while (replayed_ < options_.replay->size()) {
            const journey_step& step = (*options_.replay)[replayed_++];
            if (can_take(step, view)) {
                print_line("step " + std::to_string(++taken_) + " " + step.line());
                journey_.push_back(step);
                return step;
            }
            print_line("skip " + std::to_string(replayed_) + " " + step.line());
        }
        return std::nullopt;
    }
    if (taken_ >= options_.steps) return std::nullopt;
    if (taken_ == 0 && !version_.empty()) {
        journey_step step = parse_step("version " + version_);
        print_line("step " + std::to_string(++taken_) + " " + step.line());
        journey_.push_back(step);
        return step;
    }
    std::vector<weighted> choices = possible(view);
    while (!choices.empty()) {
        int total = 0;
        for (const auto& c : choices) total += c.weight;
        int at = pick(total);
        std::size_t chosen = 0;
        while (at >= choices[chosen].weight) at -= choices[chosen++].weight;
        if (can_take(choices[chosen].step, view)) {
            journey_step step = choices[chosen].step;
            print_line("step " + std::to_string(++taken_) + " " + step.line());
            journey_.push_back(step);
            return step;
        }
        choices.erase(choices.begin() + static_cast<std::ptrdiff_t>(chosen));
    }
    return std::nullopt;   // nothing the user can do: the checks said so already
}

// What the user does at the end: closes what is open, innermost first, then quits Outlook.
std::optional<journey_step> journey::closing_step(const user_view& view) {
    if (view.about.usable()) return parse_step("press About OK");
    if (view.settings.usable()) return parse_step("press Settings Cancel");
    if (box_in_front(view)) return parse_step("answer");
    if (view.addins_dialog.usable()) return parse_step("addins-cancel");
    if (!frames_.empty()) return std::nullopt;
    if (view.running) return parse_step("exit");
    return std::nullopt;
}

std::vector<journey::weighted> journey::possible(const user_view& view) {
    std::vector<weighted> choices;
    const auto add = [&](int weight, const std::string& line) { choices.push_back({weight, parse_step(line)}); };
    if (view.settings.usable()) {
        const std::string field = any(kTypedFields);
        const char* value = field == "email" ? any(kEmails) : field == "bcc" ? any(kBccs) : field == "name" ? any(kNames) : any(kPasswords);
        add(6, "type " + field + " " + value);
        add(3, std::string("tick ") + any(kTicked));
        add(3, "press Settings OK");
        add(2, "press Settings Cancel");
        add(1, "press Settings About");
        add(1, "close-window Settings");
    }
    if (view.about.usable()) {
        add(3, "press About OK");
        add(1, "close-window About");
    }
    if (box_in_front(view)) add(6, "answer");
    if (view.addins_dialog.usable()) {
        add(2, "addins-tick");
        add(2, "addins-ok");
        add(1, "addins-cancel");
    }
    if (view.info.usable()) {
        add(1, "code-word");
        add(1, "close-window Message Information");
    }
    if (view.header.usable()) add(1, "close-window header");
    if (!view.running) {
        if (frames_.empty()) add(10, "start");
        return choices;
    }
    const int count = static_cast<int>(view.explorers.size());
    for (int n = 1; n <= count; ++n) {
        const explorer_seen& e = view.explorers[n - 1];
        if (!e.window.usable()) continue;
        const std::string at = std::to_string(n) + " ";
        if (e.rows > 0) {
            std::string rows = std::to_string(1 + pick(e.rows));
            if (pick(10) >= 7)
                for (int extra = 1 + pick(2); extra > 0; --extra) rows += " " + std::to_string(1 + pick(e.rows));
            add(10, "select " + at + rows);
            add(1, "open " + at + std::to_string(1 + pick(e.rows)));
        }
        add(6, "folder " + at + flinter::narrow(any(kFolders)));
        if (count < 4) add(2, "new-explorer " + std::to_string(n));
        if (!e.in_front && count > 1) add(2, "front " + std::to_string(n));
        add(2, "close " + std::to_string(n));
        const std::pair<const char*, int> buttons[] = {{"Spam", 4}, {"Settings", 4}, {"Analyzer", 5}, {"Login", 1}};
        for (const auto& [caption, weight] : buttons)
            if (e.shows_button(wide(caption))) add(weight, "click " + at + caption);
        if (e.bar_shown) {
            std::string inputs = std::string(" ") + any(kFirstQueued);
            for (int extra = 1 + pick(3); extra > 0; --extra) inputs += std::string(" ") + any(kQueued);
            add(1, "burst " + std::to_string(n) + inputs);
            const int position = pick(5);
            add(1, "move-bar " + at + std::to_string(position) + " " + std::to_string(pick(3)) + " " +
                       std::to_string(pick(500)) + " " + std::to_string(pick(300)));
        }
        if (!view.addins_dialog.handle) add(1, "addins " + std::to_string(n));
    }
    add(1, "exit");
    for (std::size_t i = 0; i < view.inspectors.size(); ++i)
        if (view.inspectors[i].usable()) add(2, "close-inspector " + std::to_string(i + 1));
    add(1, "quit");
    if (!armed_) {
        const auto& [kind, member] = any(kFaults);
        add(1, std::string("fail ") + kind + " " + member);
    }
    return choices;
}

bool journey::can_take(const journey_step& step, const user_view& view) {
    const std::string& verb = step.verb;
    // The host was started in this version before the journey's first step.
    if (verb == "version") return step.word(0) == version_ && (phase_ == phase::again ? warmed_ == 1 : journey_.empty());
    const auto explorer = [&]() -> const explorer_seen* {
        const int n = step.number(0);
        if (n < 1 || n > static_cast<int>(view.explorers.size())) return nullptr;
        const explorer_seen& e = view.explorers[n - 1];
        return e.window.usable() ? &e : nullptr;
    };
    if (verb == "start") return !view.running && frames_.empty();
    if (verb == "fail") return view.running && step.words.size() == 2;
    if (verb == "quit") return view.running;
    if (verb == "exit") {
        for (const auto& e : view.explorers)
            if (e.window.usable()) return true;
        return false;
    }
    if (verb == "type" || verb == "tick") return view.settings.usable() && settings_control(step.word(0)) != 0;
    if (verb == "press") {
        if (step.word(0) == "Settings") return view.settings.usable() && button_named(view.settings.handle, wide(step.word(1)));
        if (step.word(0) == "About") return view.about.usable() && button_named(view.about.handle, wide(step.word(1)));
        return false;
    }
    if (verb == "close-window") {
        const std::string which = step.rest(0);
        if (which == "Settings") return view.settings.usable();
        if (which == "About") return view.about.usable();
        if (which == "Message Information") return view.info.usable();
        if (which == "header") return view.header.usable();
        return false;
    }
    if (verb == "answer") return box_in_front(view) != nullptr;
    if (verb == "addins-tick") return view.addins_dialog.usable() && button_named(view.addins_dialog.handle, kAddInName);
    if (verb == "addins-ok" || verb == "addins-cancel") return view.addins_dialog.usable();
    if (verb == "code-word") return view.info.usable();
    if (verb == "close-inspector") {
        const int n = step.number(0);
        return n >= 1 && n <= static_cast<int>(view.inspectors.size()) && view.inspectors[n - 1].usable();
    }
    if (!view.running) return false;
    const explorer_seen* e = explorer();
    if (!e) return false;
    const int n = step.number(0);
    if (verb == "select" || verb == "open") {
        if (step.words.size() < 2) return false;
        for (std::size_t i = 1; i < step.words.size(); ++i)
            if (step.number(i) < 1 || step.number(i) > e->rows || !clickable(n, L"item:" + wide(step.word(i)))) return false;
        return true;
    }
    if (verb == "folder") return clickable(n, L"folder:" + wide(step.rest(1))).has_value() && wide(step.rest(1)) != e->folder.substr(e->folder.rfind(L'\\') + 1);
    if (verb == "new-explorer") return view.explorers.size() < 6;
    if (verb == "front" || verb == "close") return true;
    if (verb == "click") return e->shows_button(wide(step.word(1)));
    if (verb == "burst") return e->bar_shown && step.words.size() >= 2;
    if (verb == "move-bar") return e->bar_shown && step.words.size() == 5;
    if (verb == "addins") return !view.addins_dialog.handle;
    return false;
}

void journey::bring_to_front(int number, const user_view& view) {
    if (!view.explorers[number - 1].in_front) mailhost_activate_explorer(number);
}

void journey::take(const journey_step& step, const user_view& view) {
    const std::string& verb = step.verb;
    const int n = step.number(0);
    const HWND explorer_window = n >= 1 && n <= static_cast<int>(view.explorers.size()) ? view.explorers[n - 1].window.handle : nullptr;
    if (verb == "version") return;
    if (verb == "start") return start_outlook();
    if (verb == "fail") {
        armed_ = std::make_pair(step.word(0), step.word(1));
        return;
    }
    if (verb == "quit") {
        try {
            flinter::call(application_.Get(), L"Quit");
        } catch (const std::exception&) {
            // Another program's call: what Outlook answers does not matter to the user.
        }
        return;
    }
    if (verb == "exit") {
        mailhost_quit();
        return;
    }
    if (verb == "type") {
        ::SetDlgItemTextA(view.settings.handle, settings_control(step.word(0)), step.rest(1).c_str());
        return;
    }
    if (verb == "tick") {
        ::SendMessageW(::GetDlgItem(view.settings.handle, settings_control(step.word(0))), BM_CLICK, 0, 0);
        return;
    }
    if (verb == "press") {
        const HWND window = step.word(0) == "Settings" ? view.settings.handle : view.about.handle;
        ::SendMessageW(button_named(window, wide(step.word(1))), BM_CLICK, 0, 0);
        return;
    }
    if (verb == "close-window") {
        const std::string which = step.rest(0);
        const HWND window = which == "Settings" ? view.settings.handle
                            : which == "About"  ? view.about.handle
                            : which == "header" ? view.header.handle
                                                : view.info.handle;
        ::SendMessageW(window, WM_CLOSE, 0, 0);
        return;
    }
    if (verb == "answer") {
        const HWND box = box_in_front(view);
        ::SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
        return;
    }
    if (verb == "addins-tick") {
        ::SendMessageW(button_named(view.addins_dialog.handle, kAddInName), BM_CLICK, 0, 0);
        return;
    }
    if (verb == "addins-ok" || verb == "addins-cancel") {
        ::SendMessageW(button_named(view.addins_dialog.handle, verb == "addins-ok" ? L"OK" : L"Cancel"), BM_CLICK, 0, 0);
        return;
    }
    if (verb == "code-word") {
        const HWND box = ::GetWindow(view.info.handle, GW_CHILD);
        ::SendMessageW(box, EM_SETSEL, 0, -1);
        for (const char* letter = "plumbthesources"; *letter; ++letter) ::SendMessageW(box, WM_CHAR, *letter, 0);
        return;
    }
    if (verb == "close-inspector") {
        ::SendMessageW(view.inspectors[n - 1].handle, WM_CLOSE, 0, 0);
        return;
    }
    if (verb == "front") {
        mailhost_activate_explorer(n);
        return;
    }
    if (verb == "close") {
        ::SendMessageW(explorer_window, WM_CLOSE, 0, 0);
        return;
    }
    if (verb == "new-explorer" || verb == "addins") {
        ::SendMessageW(explorer_window, WM_SYSCOMMAND, verb == "addins" ? MAILHOST_SC_ADDINS : MAILHOST_SC_NEW_WINDOW, 0);
        return;
    }
    if (verb == "burst") return take_burst(step, view.explorers[n - 1], n);
    if (verb == "move-bar") {
        try {
            move_bar(step, n);
        } catch (const std::exception&) {
            // Office did not take the drag (a host failure injected for the step): the bar stays.
        }
        return;
    }
    bring_to_front(n, view);
    if (verb == "select") {
        for (std::size_t i = 1; i < step.words.size(); ++i)
            if (const auto where = located(n, L"item:" + wide(step.word(i))))
                click_at(explorer_window, *where, i > 1 ? MK_CONTROL : 0);
    } else if (verb == "open") {
        if (const auto where = located(n, L"item:" + wide(step.word(1)))) click_at(explorer_window, *where, 0, true);
    } else if (verb == "folder") {
        if (const auto where = located(n, L"folder:" + wide(step.rest(1)))) click_at(explorer_window, *where, 0);
    } else if (verb == "click") {
        const std::wstring caption = wide(step.word(1));
        const wchar_t* const kind = view.explorers[n - 1].shows_on_ribbon(caption) ? L"ribbon:" : L"control:";
        if (const auto where = located(n, kind + caption)) click_at(explorer_window, *where, 0);
    }
}

// The user drags the add-in's bar in explorer number: Office sets its position.
void journey::move_bar(const journey_step& step, int n) {
    const auto explorers = flinter::get_object(application_.Get(), L"Explorers");
    const auto bars = flinter::get_object(flinter::get_object(explorers.Get(), L"Item", {variant(n)}).Get(), L"CommandBars");
    for (int i = 1, count = flinter::get(bars.Get(), L"Count").as_int(); i <= count; ++i) {
        const auto bar = flinter::get_object(bars.Get(), L"Item", {variant(i)});
        if (flinter::get(bar.Get(), L"Name").as_wstring() != kBarName) continue;
        flinter::put(bar.Get(), L"Position", variant(step.number(1)));
        if (step.number(1) == 4) {
            flinter::put(bar.Get(), L"Left", variant(step.number(3)));
            flinter::put(bar.Get(), L"Top", variant(step.number(4)));
        } else {
            flinter::put(bar.Get(), L"RowIndex", variant(step.number(2)));
        }
    }
}

// Input queued while the host is busy arrives when it next takes messages:
// the first click's handler may be showing its box by then.
void journey::take_burst(const journey_step& step, const explorer_seen& explorer, int number) {
    mailhost_queue_user_actions(TRUE);
    for (std::size_t i = 1; i < step.words.size(); ++i) {
        const std::string& input = step.word(i);
        if (input.starts_with("click:")) {
            mailhost_click(number, tag_of(input.substr(6)), nullptr);
        } else if (input.starts_with("select:")) {
            const int row = std::atoi(input.c_str() + 7);
            if (row >= 1 && row <= explorer.rows) mailhost_select(number, &row, 1);
        } else if (input.starts_with("front")) {
            mailhost_activate_explorer(input.size() > 6 ? std::atoi(input.c_str() + 6) : number);
        } else if (input.starts_with("close")) {
            mailhost_close_explorer(input.size() > 6 ? std::atoi(input.c_str() + 6) : number);
        } else if (input == "switch-off") {
            mailhost_connect_addin(kProgId, FALSE);
        }
    }
    if (mailhost_running()) mailhost_queue_user_actions(FALSE);
    deliver_queued_input();
}

// Runs Outlook's messages until none is left. This loop is the runner's, not
// a handler's: it does not take the journey's turns itself but passes each on
// behind Outlook's next message, where a handler's own loop (its box, its
// modal window) takes it, and leaves the last for after the step. Taking them
// here would look at the windows, which has Outlook repaint them; on a loaded
// machine the repainting outlasts the next turn's wait, and the loop, turn
// after turn, would never end.
void journey::deliver_queued_input() {
    bool turn_due = false;
    const auto pass_turn_on = [this, &turn_due] {
        if (!turn_due) return;
        turn_due = false;
        next_pending_ = false;
        schedule(0);
    };
    MSG message;
    for (int i = 0; i < 1000 && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.hwnd == window_.get()) {
            if (message.message == WM_TIMER) ::KillTimer(window_.get(), kWaitTimer);
            turn_due = true;
            continue;
        }
        pass_turn_on();
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    pass_turn_on();
}

void journey::start_outlook() {
    const std::wstring outbox = std::filesystem::temp_directory_path().wstring() + L"\\journey-outbox-" +
                                std::to_wstring(::GetCurrentProcessId());
    mailhost_options options{};
    options.mailbox = options_.mailbox.c_str();
    options.outbox_dir = outbox.c_str();
    options.explorers = 1;
    options.addins = kProgId;
    options.picture_support = 1;
    options.keep_command_bars = sessions_ > 0;
    options.keep_armed_faults = !armed_now_.empty();
    const std::wstring version = wide(version_);
    options.version = version.empty() ? nullptr : version.c_str();
    if (!armed_now_.empty())
        mailhost_fail(wide(armed_now_.substr(0, armed_now_.find('.'))).c_str(),
                      wide(armed_now_.substr(armed_now_.find('.') + 1)).c_str(),
                      failure_of(armed_now_.substr(armed_now_.find('.') + 1)), 1);
    ++sessions_;
    quit_checked_ = false;
    const HRESULT started = mailhost_start(&options, application_.ReleaseAndGetAddressOf());
    if (FAILED(started)) fail({"journey", "Outlook did not start: " + std::to_string(started)});
    mailhost_add_folder(nullptr, L"Projects", 0);
    mailhost_add_folder(L"Inbox", L"Reports", 0);
    mailhost_add_folder(nullptr, L"Birthdays", 1);
}

void journey::check_after_step(const user_view& view) {
    const long injected = view.running ? mailhost_injected_failures() : injected_before_;
    const bool struck = !armed_now_.empty() && (last_.verb == "start" ? injected > 0 : injected > injected_before_);
    if (struck) ++struck_total_;
    const std::string struck_member = struck ? armed_now_ : std::string();
    const host_log log = read_host_log();
    std::optional<broken_invariant> broken =
        last_.verb == "start" ? expected_.started(application_.Get(), view, struck)
                              : expected_.after(last_, application_.Get(), view, struck_member, log);
    if (!broken) return;
    // What Outlook was asked during the step, for whoever reads the failure.
    std::wistringstream lines(log.text);
    for (std::wstring line; std::getline(lines, line);) print_line("log " + flinter::narrow(line.c_str()));
    fail(*broken);
}

// The user opens Outlook on a fresh profile: after the warm-up, for the
// journey; after the journey, for the same steps again when the process did
// not come back to what it held before the journey (what a second time
// through the same steps does not give back, the add-in keeps).
void journey::begin(phase next) {
    phase_ = next;
    warmed_ = 0;
    ending_ = false;
    if (next == phase::journey) struck_total_ = 0;
    prepare_profile();
    expected_ = expectations(narrow_path(beside_this_program(L"settings.ini")), has_ribbon(version_));
    mailhost_clear_call_log();
    const journey_step first = parse_step("start");
    expected_.before(first, look(nullptr));
    last_ = first;
    sessions_ = 0;
    // A host failure armed for the last step of the phase before is not this
    // start's: struck here, its error box would wait with no turn to answer it.
    armed_.reset();
    armed_now_.clear();
    start_outlook();
    check_pending_ = true;
    schedule(0);
}

void journey::finish() {
    if (auto broken = expected_.final_checks(beside_this_program(L"opened-urls.txt"))) fail(*broken);
    const auto resources = flinter::testing::measure_process_resources();
    if (phase_ == phase::journey && !(resources == *resources_)) {
        print_line("resources before the journey " + flinter::testing::describe(*resources_) + ", after it " +
                   flinter::testing::describe(resources) + ": the same steps again");
        resources_ = resources;
        return begin(phase::again);
    }
    if (phase_ == phase::again && !(resources == *resources_))
        fail({"resources", "the same journey a second time took " + flinter::testing::describe(*resources_) + " to " +
                               flinter::testing::describe(resources)});
    print_line("struck " + std::to_string(struck_total_));
    print_line("done");
    finished_ = true;
    ::PostQuitMessage(0);
}

int journey::run() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &journey::procedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"journeys.next_step";
    ::RegisterClassExW(&wc);
    window_.reset(::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr));
    if (!window_) return 2;
    ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Whoever started this process may have found it on already (one err:heap line a check).
    if (!std::getenv("FLINTER_HEAP_CHECKED") && !flinter::testing::freed_block_writes_show())
        fail({"freed memory", "heap checking is off (run with WINEDEBUG=warn+heap)"});
    // The warm-up's session first: the user opens Outlook.
    const journey_step first = parse_step("start");
    expected_.before(first, look(nullptr));
    last_ = first;
    start_outlook();
    check_pending_ = true;
    schedule(0);
    MSG message;
    while (!finished_ && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

// A profile as a new user has it: the add-in switched on, no toolbar records,
// the settings as installed with an update check that is not due (no web server is asked).
void prepare_profile() {
    flinter::delete_key_tree(HKEY_CURRENT_USER, std::wstring(kAddInKey) + L"\\CommandBars");
    flinter::delete_key_tree(HKEY_CURRENT_USER, std::wstring(kAddInKey) + L"\\Controls");
    flinter::registry_key::create(HKEY_CURRENT_USER, kAddInKey).set_dword(L"LoadBehavior", 3);
    const std::string settings = flinter::narrow(beside_this_program(L"settings.ini").c_str());
    ::DeleteFileA(settings.c_str());
    write_settings_file(settings, settings_values{});
    ::WritePrivateProfileStringA("general", "upd", "0", settings.c_str());
    ::WritePrivateProfileStringA("general", "lld", "100000", settings.c_str());   // a check made in 2173
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, settings.c_str());
    ::DeleteFileW(beside_this_program(L"opened-urls.txt").c_str());
}

}  // namespace

int run_journey(const journey_options& options) {
    if (FAILED(::CoInitialize(nullptr))) return 2;
    prepare_profile();
    int status = 0;
    {
        journey walk(options);
        status = walk.run();
    }
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                    ("journey-outbox-" + std::to_string(::GetCurrentProcessId())),
                                ignored);
    ::CoUninitialize();
    return status;
}

}  // namespace journeys
