// The analyzer's loop over its inputs; see run.h.
#include "run.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "input.h"
#include "render.h"

namespace flinter::analyze {

namespace {

void write(std::FILE* out, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out);
}

std::string display_name(const std::string& file) {
    return file == "-" ? "standard input" : file;
}

}  // namespace

int run(const options& o, char decimal_separator, bool color, std::FILE* in, std::FILE* out,
        std::FILE* err) {
    int status = 0;
    bool block_written = false;
    for (const std::string& file : o.files) {
        try {
            input_text input = read_input(file, in);
            if (!input.error.empty()) {
                write(err, "flinter-analyze: " + display_name(file) + ": " + input.error + "\n");
                status = 1;
                continue;
            }
            const THeaderEvaluation evaluation =
                EvaluateHeader(header_block(input.bytes), o.sections, decimal_separator);
            input.bytes = {};
            if (o.json) {
                write(out, render_json(file, evaluation));
            } else {
                if (o.files.size() > 1) {
                    write(out, (block_written ? "\n==> " : "==> ") + display_name(file) + " <==\n");
                }
                write(out, render_plain(evaluation, color));
            }
            block_written = true;
        } catch (const std::bad_alloc&) {
            write(err, "flinter-analyze: " + display_name(file) + ": too large to hold in memory\n");
            status = 1;
        }
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        const int saved = errno;
        std::fprintf(err, "flinter-analyze: write error: %s\n",
                     saved ? std::strerror(saved) : "unknown");
        status = 1;
    }
    return status;
}

}  // namespace flinter::analyze
