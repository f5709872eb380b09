// libFuzzer entry: arbitrary bytes as a header text; the first byte chooses
// the section switches and the decimal separator. Aborts on a broken invariant.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "analysis/evaluation_invariants.h"
#include "core/analysis/header_evaluation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t control = data[0];
    const flinter::TSectionSwitches sections{(control & 1) != 0, (control & 2) != 0,
                                             (control & 4) != 0};
    static constexpr char kSeparators[] = {'.', ',', '\'', ' '};
    const char separator = kSeparators[(control >> 3) & 3];
    const std::string_view header(reinterpret_cast<const char*>(data) + 1, size - 1);

    const flinter::THeaderEvaluation e = flinter::EvaluateHeader(header, sections, separator);
    const std::string broken = flinter::testing::check_evaluation_invariants(e, sections, separator);
    if (!broken.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", broken.c_str());
        std::abort();
    }

    // Breaking every line with LF instead of whatever the input used changes nothing.
    std::string lf;
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (header[i] != '\r') {
            lf += header[i];
        } else if (i + 1 == header.size() || header[i + 1] != '\n') {
            lf += '\n';
        }
    }
    const flinter::THeaderEvaluation again = flinter::EvaluateHeader(lf, sections, separator);
    if (!(again.findings == e.findings) || again.lines != e.lines) {
        std::fprintf(stderr, "line-break style changed the evaluation\n");
        std::abort();
    }

    // TakeBefore puts back together what it cut.
    std::string text(header);
    const std::string delimiter = "(s:";
    const std::string before = flinter::TakeBefore(text, delimiter);
    const bool found = header.find(delimiter) != std::string_view::npos;
    if ((found ? before + delimiter + text : before) != header || (!found && !text.empty())) {
        std::fprintf(stderr, "TakeBefore lost text\n");
        std::abort();
    }
    return 0;
}
