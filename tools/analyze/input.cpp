// Input for flinter-analyze; see input.h.
#include "input.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>

namespace flinter::analyze {

namespace {

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using unique_file = std::unique_ptr<std::FILE, file_closer>;

constexpr const char* kTooLarge = "too large to hold in memory";

// Reads to the end; the error names the failure, empty on success.
std::string read_all(std::FILE* stream, std::string& bytes) {
    try {
        char chunk[64 * 1024];
        for (;;) {
            const std::size_t got = std::fread(chunk, 1, sizeof chunk, stream);
            bytes.append(chunk, got);
            if (got < sizeof chunk) break;
        }
    } catch (const std::bad_alloc&) {
        bytes = {};
        return kTooLarge;
    } catch (const std::length_error&) {
        bytes = {};
        return kTooLarge;
    }
    if (std::ferror(stream)) {
        const int saved = errno;
        bytes = {};
        return std::string("read error: ") + (saved ? std::strerror(saved) : "unknown");
    }
    return {};
}

}  // namespace

input_text read_input(const std::string& name, std::FILE* standard_input) {
    input_text in;
    if (name == "-") {
        in.error = read_all(standard_input, in.bytes);
        return in;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(name), ec)) {
        in.error = "Is a directory";
        return in;
    }
    errno = 0;
    const unique_file file(std::fopen(name.c_str(), "rb"));
    if (!file) {
        const int saved = errno;
        in.error = saved ? std::strerror(saved) : "cannot open";
        return in;
    }
    // Reserving up front turns a file that cannot fit into one clear failure.
    const auto size = std::filesystem::file_size(std::filesystem::path(name), ec);
    if (!ec) {
        try {
            if (size > in.bytes.max_size()) throw std::length_error("file size");
            in.bytes.reserve(static_cast<std::size_t>(size));
        } catch (const std::bad_alloc&) {
            in.error = kTooLarge;
            return in;
        } catch (const std::length_error&) {
            in.error = kTooLarge;
            return in;
        }
    }
    in.error = read_all(file.get(), in.bytes);
    return in;
}

std::string_view header_block(std::string_view message) {
    std::size_t start = 0;
    while (start < message.size()) {
        const std::size_t end = message.find_first_of("\r\n", start);
        if (end == std::string_view::npos) break;
        if (end == start) return message.substr(0, start);
        start = end + 1;
        if (message[end] == '\r' && start < message.size() && message[start] == '\n') ++start;
    }
    return message;
}

}  // namespace flinter::analyze
