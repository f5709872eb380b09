// One run of flinter-analyze over its inputs, writing to the given streams.
// Main thread; reports input failures on err and never throws them.
#pragma once

#include <cstdio>

#include "options.h"

namespace flinter::analyze {

// Evaluates every file of o in turn. Returns 0 when all were evaluated and
// written, 1 when any input or the output failed.
int run(const options& o, char decimal_separator, bool color, std::FILE* in, std::FILE* out,
        std::FILE* err);

}  // namespace flinter::analyze
