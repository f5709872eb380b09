// Command line of flinter-analyze: parsed into options or a usage error.
// Pure; throws only std::bad_alloc.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/analysis/header_evaluation.h"

namespace flinter::analyze {

inline constexpr const char* kUsage =
    "usage: flinter-analyze [--sections=DIGITS] [--decimal-separator=C] [--json] [--no-color] "
    "[FILE...]";

inline constexpr const char* kHelp =
    "Evaluates the filtering service's header lines of each message or header\n"
    "block (the header ends at the first empty line; '-' or none: standard input).\n"
    "  --sections=DIGITS      sections to show: 1 Overall Evaluation, 2 Category\n"
    "                         Filters, 3 Other Filters (default 123, empty: none)\n"
    "  --decimal-separator=C  decimal separator (default: the locale's)\n"
    "  --json                 one JSON object per input\n"
    "  --no-color             no emphasis on a terminal (also: NO_COLOR set)\n"
    "Exit status: 0 all evaluated, 1 an input could not be read, 2 usage error.";

struct options {
    TSectionSwitches sections;
    std::optional<char> decimal_separator;   // empty: the user's locale decides
    bool json = false;
    bool no_color = false;
    bool help = false;
    std::vector<std::string> files;          // "-" is standard input; never empty
};

struct parsed_options {
    options value;
    std::string error;   // non-empty: a usage error, to be shown with kUsage
};

// args excludes the program name.
parsed_options parse_arguments(const std::vector<std::string>& args);

}  // namespace flinter::analyze
