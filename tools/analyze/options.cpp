// Command-line parsing for flinter-analyze; see options.h.
#include "options.h"

#include <string_view>

namespace flinter::analyze {

namespace {

constexpr std::string_view kSections = "--sections=";
constexpr std::string_view kSeparator = "--decimal-separator=";

bool parse_sections(std::string_view digits, TSectionSwitches& sections) {
    sections = {false, false, false};
    for (const char c : digits) {
        switch (c) {
        case '1': sections.cb1 = true; break;
        case '2': sections.cb2 = true; break;
        case '3': sections.cb3 = true; break;
        default: return false;
        }
    }
    return true;
}

}  // namespace

parsed_options parse_arguments(const std::vector<std::string>& args) {
    parsed_options parsed;
    options& o = parsed.value;
    bool only_files = false;
    for (const std::string& arg : args) {
        const std::string_view a = arg;
        if (only_files || a == "-" || !a.starts_with('-')) {
            o.files.push_back(arg);
        } else if (a == "--") {
            only_files = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--no-color") {
            o.no_color = true;
        } else if (a.starts_with(kSections)) {
            if (!parse_sections(a.substr(kSections.size()), o.sections)) {
                parsed.error = "--sections takes digits from 1, 2 and 3: '" + arg + "'";
                return parsed;
            }
        } else if (a.starts_with(kSeparator)) {
            const std::string_view c = a.substr(kSeparator.size());
            if (c.size() != 1) {
                parsed.error = "--decimal-separator takes one character: '" + arg + "'";
                return parsed;
            }
            o.decimal_separator = c.front();
        } else {
            parsed.error = "unknown option '" + arg + "'";
            return parsed;
        }
    }
    if (o.files.empty()) o.files.emplace_back("-");
    return parsed;
}

}  // namespace flinter::analyze
