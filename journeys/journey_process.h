// Journeys run each in a process of their own (a crash or a hang takes only
// that journey down), their outcome read from what the process printed; the
// shrinking of a failing journey to the fewest steps that still break the
// same invariant; the add-in installed for Outlook as a user installs it.
// Any thread of a program that is not itself a journey; never throws from
// the runs (a process that cannot start is an outcome).
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "journey_step.h"

namespace journeys {

struct journey_outcome {
    bool passed = false;
    std::string invariant;              // the broken invariant ("crash", "deadline"...)
    std::string detail;
    std::vector<journey_step> taken;    // the steps taken, in order, up to the failure
    std::map<std::string, int> counts;  // steps taken by kind
    long struck = 0;                    // injected host failures delivered
    std::string output;                 // all the process printed
};

// A random journey of steps steps made from seed, or a replay of steps.
journey_outcome run_seeded_journey(unsigned seed, int steps);
journey_outcome replay_journey(const std::vector<journey_step>& steps);

// The fewest steps found that still break failure's invariant: steps are
// removed while the rest still fails that way, each candidate replayed in a
// fresh process, up to budget replays. The failing journey itself when its
// replay does not fail again.
struct shrunk_journey {
    std::vector<journey_step> steps;
    bool reproduced = false;
    int replays = 0;
};
shrunk_journey shrink(const journey_outcome& failure, int budget);

// A regression test's source for a journey.
std::string as_test_source(const std::string& name, const std::vector<journey_step>& steps);

// The simulated Outlook and the add-in registered with regsvr32, and a browser
// stand-in registered for http addresses (its addresses go to opened-urls.txt
// beside it); undone on destruction.
class installation {
public:
    installation();
    ~installation();
    installation(const installation&) = delete;
    installation& operator=(const installation&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
    std::optional<std::wstring> http_command_before_;
};

}  // namespace journeys
