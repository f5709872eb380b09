// flinter-analyze: evaluates the filtering service's header lines of messages
// given as files or on standard input, as text or JSON.
#include <cstdio>
#include <string>
#include <vector>

#include "console.h"
#include "options.h"
#include "run.h"

int main(int argc, char** argv) {
    using namespace flinter::analyze;
    use_binary_streams();
    const parsed_options parsed = parse_arguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "flinter-analyze: %s\n%s\n", parsed.error.c_str(), kUsage);
        return 2;
    }
    const options& o = parsed.value;
    if (o.help) {
        std::printf("%s\n%s\n", kUsage, kHelp);
        return 0;
    }
    const char separator = o.decimal_separator ? *o.decimal_separator : locale_decimal_separator();
    const bool color = !o.json && !o.no_color && stdout_wants_color();
    return run(o, separator, color, stdin, stdout, stderr);
}
