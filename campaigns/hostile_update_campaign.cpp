// The update check against a hostile update server, for `make hostile`: the
// real settings window's show handler starts the check (TAdvHttp, real WinInet)
// against the loopback server's hostile answers, while this thread runs its
// messages as the host's would. Each scenario runs twice, each time in a
// process of its own (so that its memory is its own): once to its end, to see
// what was recorded, and once destroyed while the check runs. Prints one
// markdown table for this flavour; the exit status is 1 when any check failed.
//
// Checked for each scenario:
//   memory       the process's private bytes and working set, sampled every
//                10 ms, grow by less than kMemoryBoundMiB (unless noted) over
//                a process that has made one plain request before
//   UI thread    the worst delay of a posted message (message_delay_probe) stays
//                under kUiDelayBoundMs while the check runs and after the
//                window went
//   no prompt    no window of the process becomes visible, no error box is asked for
//   destruction  destroying the window while the check runs takes under kDestroyBoundMs
//   outcome      what was recorded (nothing, or upd and lld) is what the rules
//                allow for that answer, and a recorded verdict is the one the
//                body that arrived gives
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/settings_values.h"
#include "core/settings/update_rules.h"
#include "figures_process.h"
#include "loopback_server.h"
#include "message_probe.h"
#include "settings/settings_window.h"
#include "temp_folder.h"
#include "update_check_support.h"

namespace {

using flinter::Tfset;
using flinter::net::testing::figures;
using flinter::net::testing::flavour;
using flinter::net::testing::loopback_server;
using flinter::net::testing::message_delay_probe;
using flinter::net::testing::now_ms;
using flinter::net::testing::option;
using flinter::net::testing::run_figures_child;
using flinter::net::testing::run_messages_until;
using flinter::net::testing::write_figures;
using flinter::testing_support::link_shown;
using flinter::testing_support::profile_value;

constexpr double kMemoryBoundMiB = 16;
// Above what a busy shared machine's scheduling adds to an idle thread (the
// idle figure shows it), below the drip's interval, which a thread waiting
// for the server would show.
constexpr double kUiDelayBoundMs = 250;
constexpr double kDestroyBoundMs = 500;
constexpr double kScenarioLimitMs = 90000;

// What the check leaves behind: nothing recorded, or a recorded verdict.
enum class outcome { none, no_update, update };

const char* outcome_name(outcome o) {
    switch (o) {
        case outcome::none: return "nothing recorded";
        case outcome::no_update: return "no update";
        case outcome::update: return "update";
    }
    return "?";
}

struct scenario {
    const char* name;
    const char* path;
    // What the rules allow. Where WinInet decides whether an answer is one at
    // all and what its body is (garbage, silence), every outcome is allowed,
    // and the check is that a recorded verdict is the body's.
    std::vector<outcome> allowed;
    // The destruction run destroys the window this long after the first bytes
    // of the answer arrived (or a second after the start, should none arrive).
    double destroy_after_ms;
    double memory_bound_mib = kMemoryBoundMiB;
    const char* note = nullptr;  // printed under the table
};

const std::vector<scenario>& scenarios() {
    using enum outcome;
    static const std::vector<outcome> any = {none, no_update, update};
    static const std::vector<scenario> all = {
        {"a well-behaved page (the reference)", "/text/1.5", {update}, 0},
        {"endless body", "/endless", {no_update}, 0},
        {"drip, one byte every 300 ms", "/drip", {update}, 2000},
        {"4 MiB of headers", "/hugeheaders", {update, none}, 0, 48,
         "WinInet holds the whole header block, parsed into lines, before the client sees the answer (Wine's "
         "five to seven times its size, and slowly); the client cannot bound it, so the bound here is 48 MiB for "
         "4 MiB sent"},
        {"redirect loop", "/redirectloop/", {none}, 300, kMemoryBoundMiB,
         "the client ends the check one redirect past its limit of five; Wine's WinInet goes on following the "
         "loop in the background until the server stops it (here after 1000) or the process ends"},
        {"401 challenge", "/auth", {none}, 0},
        {"407 challenge", "/proxyauth", {none}, 0},
        {"stall in the body, 20 s", "/stall", {no_update}, 1000},
        {"connection that never answers, closed after 20 s", "/silent", {none, no_update}, 1000, kMemoryBoundMiB,
         "Wine's WinInet takes a connection closed without an answer for an empty body"},
        {"garbage: binary, no status line", "/garbage/0", any, 0},
        {"garbage: status not a number", "/garbage/1", any, 0},
        {"garbage: status past 32 bits", "/garbage/2", any, 0},
        {"garbage: a body without status line", "/garbage/3", any, 0},
        {"garbage: status line without end", "/garbage/4", any, 0},
    };
    return all;
}

// ---- Sampling the process from a thread of its own ----

struct process_sample {
    double private_mib = 0, working_set_mib = 0;
};

// Private bytes as the address space shows them (Wine's process counters
// leave them out): every committed region that is the process's own.
double committed_private_mib() {
    double bytes = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (auto* at = static_cast<char*>(nullptr); ::VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) bytes += static_cast<double>(region.RegionSize);
        if (region.RegionSize == 0) break;
    }
    return bytes / (1024.0 * 1024.0);
}

process_sample sample_memory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return {committed_private_mib(), static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0)};
}

BOOL CALLBACK note_visible_window(HWND window, LPARAM context) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window)) {
        char name[64] = {};
        ::GetClassNameA(window, name, sizeof name);
        reinterpret_cast<std::vector<std::string>*>(context)->push_back(name);
    }
    return TRUE;
}

std::vector<std::string> visible_windows() {
    std::vector<std::string> names;
    ::EnumWindows(&note_visible_window, reinterpret_cast<LPARAM>(&names));
    return names;
}

// Peak memory since the baseline was marked, and every window that became
// visible, every 10 ms until stopped. Its own thread exists before the
// baseline, so that its stack is not counted as growth.
class sampler {
public:
    sampler() : stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        mark_baseline();
        thread_ = ::CreateThread(nullptr, 0, &sampler::run, this, 0, nullptr);
    }
    ~sampler() { stop(); }
    void mark_baseline() {
        const process_sample now = sample_memory();
        std::lock_guard lock(mutex_);
        baseline_ = peak_ = now;
    }
    void stop() {
        if (!thread_) return;
        ::SetEvent(stop_);
        ::WaitForSingleObject(thread_, INFINITE);
        ::CloseHandle(thread_);
        ::CloseHandle(stop_);
        thread_ = nullptr;
    }
    double private_growth_mib() const { return peak_.private_mib - baseline_.private_mib; }
    double working_set_growth_mib() const { return peak_.working_set_mib - baseline_.working_set_mib; }
    const std::vector<std::string>& windows_seen() const { return windows_; }

private:
    static DWORD WINAPI run(void* self) {
        auto& s = *static_cast<sampler*>(self);
        while (::WaitForSingleObject(s.stop_, 10) == WAIT_TIMEOUT) {
            const process_sample now = sample_memory();
            const std::vector<std::string> visible = visible_windows();
            std::lock_guard lock(s.mutex_);
            s.peak_.private_mib = std::max(s.peak_.private_mib, now.private_mib);
            s.peak_.working_set_mib = std::max(s.peak_.working_set_mib, now.working_set_mib);
            for (const std::string& name : visible)
                if (std::find(s.windows_.begin(), s.windows_.end(), name) == s.windows_.end())
                    s.windows_.push_back(name);
        }
        return 0;
    }
    std::mutex mutex_;
    process_sample baseline_, peak_;
    std::vector<std::string> windows_;
    HANDLE stop_, thread_ = nullptr;
};

// ---- One run, in a child process ----

void run_messages_for(double ms, message_delay_probe& probe) {
    const double end = now_ms() + ms;
    run_messages_until([&] { return now_ms() >= end; }, &probe);
}

// A settings window whose last check is a week old, with upd=1 stored, so
// that the show handler starts the check and a check that records nothing
// leaves upd as it was.
struct update_window {
    flinter::testing_support::temp_folder folder;
    int prompts = 0;
    flinter::user_dialogs seams{[](HWND) { return std::optional<COLORREF>(); },
                            [this](HWND, const std::string&) { ++prompts; },
                            [](const std::string&) {}};
    flinter::TAboutBox about{seams};
    std::unique_ptr<Tfset> window;
    double week_ago = flinter::LocalNowAsDayCount() - 8;

    explicit update_window(const std::string& url) {
        flinter::testing_support::write_file_text(
            folder.file("settings.ini"),
            "[general]\r\nupd=1\r\nlld=" + flinter::testing_support::day_count(week_ago) + "\r\n");
        window = std::make_unique<Tfset>(nullptr, about, seams, folder.path());
        window->http().SetURL(url);
    }
    std::string ini() const { return folder.file("settings.ini"); }
    bool idle() const { return !window->http().Busy() && !window->http().WorkerRunning(); }
};

// WinInet's first use costs a process several MiB (its threads and caches)
// that any check pays once; a plain request the same way first keeps that out
// of the figures. It goes to "localhost", so that WinInet has no connection of
// it to reuse for the scenario.
void warm_up(const std::string& url) {
    flinter::net::TAdvHttp http;
    http.SetURL(url);
    http.Execute(false);
    run_messages_until([&] { return !http.Busy() && !http.WorkerRunning(); });
}

figures run_to_end(const std::string& url, const std::string& warm_up_url) {
    figures f;
    sampler sampled;
    warm_up(warm_up_url);
    update_window w(url);
    message_delay_probe probe;
    run_messages_for(500, probe);
    f["idle_delay_ms"] = probe.worst_ms();
    probe.restart();

    sampled.mark_baseline();
    const double start = now_ms();
    w.window->FormShow();
    run_messages_until([&] { return w.idle() || now_ms() - start > kScenarioLimitMs; }, &probe);
    f["ended"] = w.idle();
    f["elapsed_s"] = (now_ms() - start) / 1000;
    run_messages_for(200, probe);  // anything late would show now
    sampled.stop();
    f["ui_delay_ms"] = probe.worst_ms();
    f["private_mib"] = sampled.private_growth_mib();
    f["working_set_mib"] = sampled.working_set_growth_mib();
    f["windows"] = static_cast<double>(sampled.windows_seen().size());
    for (const std::string& name : sampled.windows_seen()) std::fprintf(stderr, "visible window: %s\n", name.c_str());
    f["prompts"] = w.prompts;

    const auto lld = flinter::ParseProfileFloat(profile_value(w.ini(), "lld"), flinter::UserDecimalSeparator());
    const bool recorded = lld && *lld > w.week_ago + 1;
    const bool upd = profile_value(w.ini(), "upd") == "1";
    f["outcome"] = static_cast<double>(!recorded ? outcome::none : upd ? outcome::update : outcome::no_update);
    // Recorded: the verdict is the body's, and the link shows it. Not
    // recorded: upd is as stored, and the link as it was (hidden).
    const std::string text = w.window->http().Text();
    f["text_bytes"] = static_cast<double>(text.size());

    f["consistent"] = recorded ? upd == flinter::IsUpdateAnnounced(text) && link_shown(*w.window) == upd
                               : upd && !link_shown(*w.window);
    return f;
}

// The destruction's own time is its figure; the UI thread's delays are
// measured while the check runs and after the window went.
figures run_destroyed(const std::string& url, const std::string& warm_up_url, double after_ms) {
    figures f;
    warm_up(warm_up_url);
    update_window w(url);
    message_delay_probe probe;
    const double start = now_ms();
    w.window->FormShow();
    run_messages_until([&] { return w.window->http().TotalResponseBytes() > 0 || now_ms() - start > 1000; }, &probe);
    run_messages_for(after_ms, probe);
    const double running_delay = probe.worst_ms();
    f["busy_at_destruction"] = w.window->http().Busy();
    const double before = now_ms();
    w.window.reset();
    f["destroy_ms"] = now_ms() - before;
    probe.restart();
    run_messages_for(200, probe);  // nothing may arrive for the window that went
    f["destroy_ui_delay_ms"] = std::max(running_delay, probe.worst_ms());
    f["destroy_prompts"] = w.prompts;
    return f;
}

int run_child(int argc, char** argv) {
    const std::string url = option(argc, argv, "url");
    const std::string warm_up_url = option(argc, argv, "warm-up");
    const figures f = option(argc, argv, "run") == "end"
                          ? run_to_end(url, warm_up_url)
                          : run_destroyed(url, warm_up_url, std::stod(option(argc, argv, "after")));
    return write_figures(f, option(argc, argv, "out")) ? 0 : 1;
}

// ---- The parent: the server, a child per run, the table ----

std::string fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// One table row, and the checks that failed (empty: all passed).
std::string row_for(const scenario& s, int requests, const figures& end, const figures& destroyed,
                    std::vector<std::string>& failed) {
    const auto result = static_cast<outcome>(static_cast<int>(end.at("outcome")));
    const bool allowed = std::find(s.allowed.begin(), s.allowed.end(), result) != s.allowed.end();
    if (!end.at("ended")) failed.push_back("still running after " + fixed(kScenarioLimitMs / 1000, 0) + " s");
    if (!allowed || !end.at("consistent")) failed.push_back("outcome");
    if (std::max(end.at("private_mib"), end.at("working_set_mib")) >= s.memory_bound_mib) failed.push_back("memory");
    if (std::max(end.at("ui_delay_ms"), destroyed.at("destroy_ui_delay_ms")) >= kUiDelayBoundMs)
        failed.push_back("UI thread");
    if (end.at("windows") + end.at("prompts") + destroyed.at("destroy_prompts") > 0) failed.push_back("prompt");
    if (destroyed.at("destroy_ms") >= kDestroyBoundMs) failed.push_back("destruction");

    std::string allowed_text;
    for (const outcome o : s.allowed) allowed_text += std::string(allowed_text.empty() ? "" : " or ") + outcome_name(o);
    std::string row = "| " + std::string(s.name) + " | " + std::to_string(requests) + " | " + outcome_name(result) +
                      " (allowed: " + allowed_text + "; " + fixed(end.at("text_bytes"), 0) + " bytes of text) | " +
                      fixed(end.at("elapsed_s"), 1) + " | " + fixed(end.at("private_mib"), 1) + " / " +
                      fixed(end.at("working_set_mib"), 1) + " | " + fixed(end.at("ui_delay_ms"), 1) + " / " +
                      fixed(destroyed.at("destroy_ui_delay_ms"), 1) + " (idle " + fixed(end.at("idle_delay_ms"), 1) +
                      ") | " +
                      fixed(end.at("windows") + end.at("prompts") + destroyed.at("destroy_prompts"), 0) + " | " +
                      fixed(destroyed.at("destroy_ms"), 1) +
                      (destroyed.at("busy_at_destruction") ? " (running)" : " (had ended)") + " | ";
    if (failed.empty()) return row + "pass |";
    std::string list;
    for (const std::string& f : failed) list += (list.empty() ? "" : ", ") + f;
    return row + "**FAIL: " + list + "** |";
}

int run_parent() {
    loopback_server server;
    std::printf("### %s\n\n", flavour());
    std::printf("| %s: scenario | requests served | outcome | ended after (s) | peak growth, private / working set "
                "(MiB) | worst UI delay, to the end / destroyed (ms) | windows or boxes | destruction while it runs (ms) | verdict |\n"
                "|---|---:|---|---:|---:|---:|---:|---:|---|\n",
                flavour());
    std::fflush(stdout);
    int failures = 0;
    for (const scenario& s : scenarios()) {
        // A path ending in '/' is a counted loop: it starts at 0.
        const std::string path = std::string(s.path) + (std::string(s.path).ends_with("/") ? "0" : "");
        const std::string url = server.url(path);
        const int before = server.count_under(s.path);
        figures end, destroyed;
        const std::string common =
            "--url=" + url + " --warm-up=http://localhost:" + std::to_string(server.port()) + "/plain";
        const bool ran = run_figures_child("--run=end " + common, end);
        const int requests = server.count_under(s.path) - before;
        const bool ran_destroyed =
            run_figures_child("--run=destroy " + common + " --after=" + fixed(s.destroy_after_ms, 0), destroyed);
        if (!ran || !ran_destroyed) {
            std::printf("| %s | %d | the run's process failed | | | | | | **FAIL** |\n", s.name, requests);
            ++failures;
            continue;
        }
        std::vector<std::string> failed;
        std::printf("%s\n", row_for(s, requests, end, destroyed, failed).c_str());
        std::fflush(stdout);
        failures += failed.empty() ? 0 : 1;
    }
    std::printf("\n");
    for (const scenario& s : scenarios())
        if (s.note) std::printf("- %s: %s.\n", s.name, s.note);
    std::printf("\nBounds: memory growth under %.0f MiB unless noted, worst UI delay under %.0f ms, no window or box, destruction "
                "under %.0f ms. %d of %zu scenarios failed.\n\n",
                kMemoryBoundMiB, kUiDelayBoundMs, kDestroyBoundMs, failures, scenarios().size());
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    return option(argc, argv, "run").empty() ? run_parent() : run_child(argc, argv);
}
