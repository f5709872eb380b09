// Randomized header texts built from the service's line fragments: the
// evaluation keeps its invariants and does not depend on the line-break style.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "analysis/evaluation_invariants.h"
#include "core/analysis/header_evaluation.h"

namespace flinter {
namespace {

const std::vector<std::string> kFragments = {
    "X-pstn-levels:", " (S:", "12.50000", "/", "99.9", " CV:", " R:", " P:", " M:", " C:", ")",
    "X-pstn-settings:", ": ", " 3 ", "(", "0.5000", ":", "20,0000", "s cv r p m c", " LC", " lc",
    " FT", " ft", " fc", " LT", "X-pstn-addr:", " good", " (user", " (org", "X-pstn-2strike: clear",
    "Received: from exprod7mx1", ".postini.com", " ", "\t", "n/a", "\xE9\xFF", "\x01", "-", "e5",
    "x-PSTN-levels: (s:", "1e400", "9.5", "10.0",
};

std::string random_line(std::mt19937& rng) {
    std::uniform_int_distribution<std::size_t> count(0, 12);
    std::uniform_int_distribution<std::size_t> pick(0, kFragments.size() - 1);
    std::string line;
    for (std::size_t n = count(rng); n > 0; --n) line += kFragments[pick(rng)];
    return line;
}

TEST(EvaluateHeaderRandom, InvariantsHoldAndBreakStyleDoesNotMatter) {
    std::mt19937 rng(20060314);
    const char separators[] = {'.', ','};
    const char* breaks[] = {"\r\n", "\n", "\r"};
    std::uniform_int_distribution<int> line_count(0, 8), bit(0, 1), brk(0, 2);
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::string> lines(static_cast<std::size_t>(line_count(rng)));
        for (auto& line : lines) line = random_line(rng);
        std::string crlf, mixed;
        for (const auto& line : lines) {
            crlf += line + "\r\n";
            mixed += line + breaks[brk(rng)];
        }
        if (!mixed.empty() && bit(rng)) mixed.pop_back();   // final break is optional

        const TSectionSwitches sections{bit(rng) == 1, bit(rng) == 1, bit(rng) == 1};
        const char separator = separators[bit(rng)];
        const THeaderEvaluation e = EvaluateHeader(crlf, sections, separator);
        const std::string broken = testing::check_evaluation_invariants(e, sections, separator);
        ASSERT_EQ(broken, "") << "input: " << crlf;
        const THeaderEvaluation m = EvaluateHeader(mixed, sections, separator);
        ASSERT_EQ(m.findings, e.findings) << "input: " << crlf;
        ASSERT_EQ(m.lines, e.lines) << "input: " << crlf;
    }
}

}  // namespace
}  // namespace flinter
