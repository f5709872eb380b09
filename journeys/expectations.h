// What the user should see after each step of a journey, and the checks that
// compare it with what the user sees: the model of the add-in as a user knows
// it (switched on or off, the settings typed and saved, the windows asked
// for, the verdict last asked for, the explorers it follows), updated by each
// step, and the invariants checked after every step and at each quit of
// Outlook. Host thread only; the checks return the first broken invariant.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "journey_step.h"
#include "user_view.h"

namespace journeys {

struct broken_invariant {
    std::string invariant;   // its name, as the campaign counts failures
    std::string detail;
};

// The settings as the settings window's fields hold them.
struct settings_values {
    std::string email = "spam@postini.com", bcc = "report@spamanalysis.example", name, pass;
    bool delete_after = true, cb1 = true, cb2 = true, cb3 = true;
    bool operator==(const settings_values&) const = default;
};
std::string describe(const settings_values& values);

// The settings file as the add-in's store would read it: the journey's own reading of it.
settings_values read_settings_file(const std::string& path);
void write_settings_file(const std::string& path, const settings_values& values);

// What the simulated Outlook's call log said since it was last read (it is emptied).
struct host_log {
    std::wstring text;                         // the calls, one a line
    int sent = 0;                              // messages sent
    std::vector<std::wstring> addin_failures;  // "addin <ProgID>.<call> failed" lines
    std::vector<std::wstring> over_releases;
};
host_log read_host_log();

class expectations {
public:
    // ribbon: the host is Outlook 2010 or later, where the commands are a group on the ribbon, not a toolbar.
    expectations(std::string settings_path, bool ribbon) : settings_path_(std::move(settings_path)), ribbon_(ribbon) {}

    // Outlook has started (or failed to): the add-in connects as the profile says.
    std::optional<broken_invariant> started(IDispatch* application, const user_view& view, bool struck);
    // Before a step: what the checks compare the step's outcome with.
    void before(const journey_step& step, const user_view& view);
    // After a step (it has returned, or it waits in a window it opened).
    // struck_member: the host member ("Kind.Member") whose injected failure was
    // delivered during the step; empty when none was.
    std::optional<broken_invariant> after(const journey_step& step, IDispatch* application, const user_view& view,
                                          const std::string& struck_member, const host_log& log);
    // Outlook has quit and every handler has returned.
    std::optional<broken_invariant> quit_checks(const host_log& log);
    // The end of the journey: what only shows later (the browser's addresses).
    std::optional<broken_invariant> final_checks(const std::wstring& opened_urls_file);

    bool settings_open() const { return settings_open_; }
    const settings_values& controls() const { return controls_; }

private:
    void forget_windows();
    void connection_changed(bool connected, const user_view& view);
    std::optional<broken_invariant> step_outcome(const journey_step& step, IDispatch* application,
                                                 const user_view& view, bool struck, const host_log& log);
    std::optional<broken_invariant> standing_checks(const user_view& view) const;
    std::optional<broken_invariant> toolbar_checks(const user_view& view) const;
    std::optional<broken_invariant> ribbon_checks(const explorer_seen& e, const std::string& which) const;
    std::optional<broken_invariant> settings_read_back(const user_view& view) const;
    void expect_verdict(IDispatch* application);

    std::string settings_path_;
    bool ribbon_ = false;
    settings_values saved_, controls_;
    bool profile_on_ = true;     // the user's choice in the COM Add-ins dialog
    bool connected_ = false;
    std::set<HWND> followed_;    // explorers the add-in follows
    bool settings_open_ = false, about_open_ = false, header_open_ = false;
    std::optional<std::wstring> verdict_;   // the information window's text, when known
    bool tainted_ = false;       // an injected failure may have left the add-in's windows incomplete
    bool kept_sinks_ = false;    // the host may keep a sink whose unadvise it refused
    int logins_ = 0, queued_logins_ = 0;
    // The step's starting point.
    user_view before_;
    std::set<HWND> boxes_before_;
};

}  // namespace journeys
