// The process's standard streams: binary mode, terminal detection, colour
// support and the locale's decimal separator. Main thread; does not throw.
#pragma once

namespace flinter::analyze {

// Bytes pass standard input and output unchanged (no CR LF translation).
void use_binary_streams();

// Whether ANSI colour may be written to standard output: a terminal, NO_COLOR
// unset or empty, and (on Windows) a console that accepts escape sequences.
bool stdout_wants_color();

// The user's locale's decimal separator, '.' when it has no single-byte one.
char locale_decimal_separator();

}  // namespace flinter::analyze
