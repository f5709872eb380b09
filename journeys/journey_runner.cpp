// The journey runner (make journeys; a few fixed seeds run in make test).
//
//   journey_runner [--campaign JOURNEYS STEPS SEED]
//       the campaign: JOURNEYS random journeys of STEPS steps made from the
//       seeds SEED, SEED+1..., each in a process of its own; each failing one
//       is shrunk. Without arguments the numbers come from FLINTER_JOURNEYS,
//       FLINTER_STEPS and FLINTER_SEED (defaults below); FLINTER_SHRINK
//       caps the replays that shrink one failure. Installs the
//       simulated Outlook and the add-in with regsvr32 for the campaign and
//       removes them after. Prints its markdown section (docs/reliability.md)
//       on standard output, its progress on standard error; exit status 1 when
//       a journey failed.
//   journey_runner --journey SEED STEPS     one journey (a child of the campaign)
//   journey_runner --replay FILE            the journey a file lists, step by step
//
// A journey runs under Wine's heap checking (WINEDEBUG=warn+heap), which it
// needs to see a write into freed memory; it says so when it is off.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "journey.h"
#include "journey_process.h"
#include "journeys_config.h"

namespace {

using namespace journeys;

constexpr int kDefaultJourneys = 200;
constexpr int kDefaultSteps = 50;
constexpr unsigned kDefaultSeed = 1;
constexpr int kShrinkBudget = 80;

#ifdef _WIN64
constexpr char kFlavour[] = "x64";
#else
constexpr char kFlavour[] = "x86";
#endif

int setting(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

struct failure_found {
    unsigned seed;
    journey_outcome outcome;
    shrunk_journey shrunk;
};

std::string duration(std::chrono::seconds elapsed) {
    const auto minutes = elapsed.count() / 60, seconds = elapsed.count() % 60;
    return minutes ? std::to_string(minutes) + " min " + std::to_string(seconds) + " s" : std::to_string(seconds) + " s";
}

void print_section(int journeys, int steps_each, unsigned seed, long steps, long struck,
                   const std::map<std::string, int>& counts, const std::vector<failure_found>& failures,
                   std::chrono::seconds elapsed) {
    std::printf("### %s\n\n", kFlavour);
    std::printf("| %s: journeys | steps each | seeds | steps taken | host failures injected | journeys failed | time |\n",
                kFlavour);
    std::printf("|---:|---:|---|---:|---:|---:|---:|\n");
    std::printf("| %d | %d | %u to %u | %ld | %ld | %zu | %s |\n\n", journeys, steps_each, seed,
                seed + static_cast<unsigned>(journeys) - 1, steps, struck, failures.size(), duration(elapsed).c_str());
    std::printf("Steps by kind:");
    for (const auto& [verb, count] : counts) std::printf(" %s %d;", verb.c_str(), count);
    std::printf("\n\n");
    if (failures.empty()) {
        std::printf("No failure: every journey ended by itself with every invariant holding after every step and at "
                    "every quit.\n\n");
        return;
    }
    std::map<std::string, int> by_invariant;
    for (const auto& f : failures) ++by_invariant[f.outcome.invariant];
    std::printf("Failures by invariant:");
    for (const auto& [invariant, count] : by_invariant) std::printf(" %s %d;", invariant.c_str(), count);
    std::printf("\n\n");
    for (const auto& f : failures) {
        std::printf("- seed %u, %s: %s. ", f.seed, f.outcome.invariant.c_str(), f.outcome.detail.c_str());
        if (f.shrunk.reproduced)
            std::printf("Shrunk from %zu to %zu steps (%d replays):\n\n", f.outcome.taken.size(), f.shrunk.steps.size(),
                        f.shrunk.replays);
        else
            std::printf("It did not fail again when replayed; its %zu steps:\n\n", f.outcome.taken.size());
        for (const auto& step : f.shrunk.steps) std::printf("      %s\n", step.line().c_str());
        std::printf("\n");
    }
}

int campaign(int journeys, int steps_each, unsigned seed) {
    const installation installed;
    if (!installed.ok()) {
        std::fprintf(stderr, "journey_runner: the simulated Outlook or the add-in could not be registered\n");
        return 2;
    }
    const auto began = std::chrono::steady_clock::now();
    long steps = 0, struck = 0;
    std::map<std::string, int> counts;
    std::vector<failure_found> failures;
    for (int i = 0; i < journeys; ++i) {
        const unsigned journey_seed = seed + static_cast<unsigned>(i);
        journey_outcome outcome = run_seeded_journey(journey_seed, steps_each);
        steps += static_cast<long>(outcome.taken.size());
        struck += outcome.struck;
        for (const auto& [verb, count] : outcome.counts) counts[verb] += count;
        std::fprintf(stderr, "%s journey %d of %d, seed %u: %s\n", kFlavour, i + 1, journeys, journey_seed,
                     outcome.passed ? "passed" : (outcome.invariant + ": " + outcome.detail).c_str());
        if (outcome.passed) continue;
        shrunk_journey shrunk = shrink(outcome, setting("FLINTER_SHRINK", kShrinkBudget));
        std::fprintf(stderr, "%s seed %u shrunk to %zu steps:\n%s", kFlavour, journey_seed, shrunk.steps.size(),
                     as_test_source("Seed" + std::to_string(journey_seed), shrunk.steps).c_str());
        failures.push_back({journey_seed, std::move(outcome), std::move(shrunk)});
    }
    print_section(journeys, steps_each, seed, steps, struck, counts, failures,
                  std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - began));
    return failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--journey") {
        return run_journey({.seed = static_cast<unsigned>(std::strtoul(args[1].c_str(), nullptr, 10)),
                            .steps = std::atoi(args[2].c_str()),
                            .mailbox = kSamplesMailbox});
    }
    if (args.size() == 2 && args[0] == "--replay") {
        std::ifstream in(args[1], std::ios::binary);
        if (!in) return 2;
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return run_journey({.replay = parse_journey(text), .mailbox = kSamplesMailbox});
    }
    if (args.size() == 4 && args[0] == "--campaign")
        return campaign(std::atoi(args[1].c_str()), std::atoi(args[2].c_str()),
                        static_cast<unsigned>(std::strtoul(args[3].c_str(), nullptr, 10)));
    if (args.empty())
        return campaign(setting("FLINTER_JOURNEYS", kDefaultJourneys), setting("FLINTER_STEPS", kDefaultSteps),
                        static_cast<unsigned>(setting("FLINTER_SEED", static_cast<int>(kDefaultSeed))));
    std::fprintf(stderr, "usage: journey_runner [--campaign JOURNEYS STEPS SEED | --journey SEED STEPS | --replay FILE]\n");
    return 2;
}
