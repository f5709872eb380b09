// One journey through the simulated Outlook with the registered add-in: the
// steps a user takes, chosen at random from what the user can do at each
// moment (a seed makes the journey), or replayed from a list, with the
// invariants checked after every step and at each quit. Runs on the calling
// thread, which becomes Outlook's user-interface thread; one journey a process.
//
// What it prints, one line each, flushed at once (the campaign reads it):
//   step N LINE         the N-th step was taken (LINE in the journey language)
//   skip N LINE         a replayed step the user could not take at that moment
//   end LINE            what the user does to finish (closing what is open, Outlook exits)
//   fail NAME: DETAIL   the first broken invariant; the journey ends there
//   count VERB N        steps taken of each kind, at the end
//   struck N            injected host failures delivered
//   done                the journey ended with every check passed
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "journey_step.h"

namespace journeys {

struct journey_options {
    unsigned seed = 1;
    int steps = 50;
    std::optional<std::vector<journey_step>> replay;   // these steps instead of random ones
    std::wstring mailbox;                              // the .eml files of Outlook's Inbox
};

// Exit status: 0 every check passed, 1 an invariant broke, 2 the journey could not be set up,
// 3 the host thread stopped answering (the watchdog ended the process).
int run_journey(const journey_options& options);

}  // namespace journeys
