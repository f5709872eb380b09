// Standard-stream handling for flinter-analyze; see console.h.
#include "console.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#else
#include <unistd.h>
#endif

namespace flinter::analyze {

void use_binary_streams() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool stdout_wants_color() {
    const char* no_color = std::getenv("NO_COLOR");
    if (no_color && *no_color) return false;
#ifdef _WIN32
    if (!_isatty(_fileno(stdout))) return false;
    // Older consoles print escape sequences literally unless asked not to.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
           SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

char locale_decimal_separator() {
    char separator = '.';
    if (std::setlocale(LC_ALL, "")) {
        const std::lconv* conv = std::localeconv();
        if (conv && conv->decimal_point && std::strlen(conv->decimal_point) == 1) {
            separator = conv->decimal_point[0];
        }
    }
    // Messages may follow the user's language; numbers stay in the C form.
    std::setlocale(LC_NUMERIC, "C");
    return separator;
}

}  // namespace flinter::analyze
