// Reading a message or header block from a file or standard input, and
// cutting the header block off a whole message. Throws only std::bad_alloc
// from header_block; read_input reports every failure in its result.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace flinter::analyze {

struct input_text {
    std::string bytes;
    std::string error;   // non-empty: why the input could not be read
};

// name "-" reads the given stream (standard input); anything else is a path.
input_text read_input(const std::string& name, std::FILE* standard_input);

// Everything before the first empty line, keeping the line breaks of the
// header lines; the whole text when no empty line follows.
std::string_view header_block(std::string_view message);

}  // namespace flinter::analyze
