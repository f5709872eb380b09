// Rendering an evaluation as terminal text or as one JSON line.
// Pure; throws only std::bad_alloc.
#pragma once

#include <string>
#include <string_view>

#include "core/analysis/header_evaluation.h"

namespace flinter::analyze {

// One line per evaluation line, "\n" after each, bytes unchanged. With colour,
// the emphasised characters are wrapped in ANSI escapes (title bold, section
// bold and underlined, alert bold red).
std::string render_plain(const THeaderEvaluation& evaluation, bool color);

// {"file": ..., "findings": {...}, "lines": [...]} and "\n". Header bytes are
// taken as Latin-1; the file name as UTF-8 when it is valid UTF-8.
std::string render_json(std::string_view file_name, const THeaderEvaluation& evaluation);

// A JSON string literal of 8-bit text, each byte one code point.
std::string json_latin1(std::string_view bytes);

}  // namespace flinter::analyze
