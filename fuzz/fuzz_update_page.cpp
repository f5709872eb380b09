// libFuzzer entry: arbitrary bytes as the update page's answer, taken apart as
// the HTTP client and the settings window do: the header block into lines, the
// body read in chunks under the size limit, the text up to its first zero
// byte, and the verdict on it. Byte 0 picks the limit (and whether a handler
// lowers it during the read), byte 1 the chunk size; the rest is the answer,
// header block first when it has one. Aborts on a broken invariant.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/net/http_rules.h"
#include "core/text/ascii.h"
#include "core/settings/update_rules.h"
#include "product.h"

namespace {

using namespace flinter;
using namespace flinter::net;

[[noreturn]] void broken(const std::string& what) {
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::abort();
}

struct read_result {
    std::string held;
    bool over_limit = false;
};

// The read loop: chunks of chunk_size until the body ends or the limit ends
// the read; lowered_limit, when set, is what a data handler sets after the
// first chunk.
read_result read_body(std::string_view body, std::size_t chunk_size, std::size_t limit,
                      std::optional<std::size_t> lowered_limit = std::nullopt) {
    read_result r;
    for (std::size_t at = 0; at < body.size() && !r.over_limit; at += chunk_size) {
        const std::size_t incoming = std::min(chunk_size, body.size() - at);
        const std::size_t held_before = r.held.size();
        const chunk_fit fit = fit_response_chunk(held_before, incoming, limit);
        if (fit.kept > incoming) broken("keeps more than the chunk");
        if (limit != 0 && held_before <= limit && held_before + fit.kept > limit) broken("keeps past the limit");
        r.held.append(body.substr(at, fit.kept));
        r.over_limit = fit.over_limit;
        if (lowered_limit && at == 0) limit = *lowered_limit;
    }
    return r;
}

void check_body(std::string_view body, std::size_t chunk_size, std::size_t limit) {
    const read_result r = read_body(body, chunk_size, limit);
    const std::size_t expected = limit == 0 ? body.size() : std::min(body.size(), limit);
    if (r.held != body.substr(0, expected)) broken("the kept body is not the body's start");
    if (r.over_limit != (limit != 0 && body.size() > limit)) broken("the limit's verdict");
    // How the body arrives changes nothing.
    const read_result whole = read_body(body, 16384, limit);
    const read_result bytewise = read_body(body.substr(0, std::min<std::size_t>(body.size(), 600)), 1, limit);
    if (whole.held != r.held || whole.over_limit != r.over_limit) broken("chunk size changes the body");
    if (body.size() <= 600 && (bytewise.held != r.held || bytewise.over_limit != r.over_limit))
        broken("byte-wise reading changes the body");
}

// A data handler that lowers the limit below what is held ends the read
// with nothing more kept.
void check_lowered_limit(std::string_view body, std::size_t chunk_size, std::size_t lowered) {
    const read_result r = read_body(body, chunk_size, 0, lowered);
    const std::size_t first = std::min(chunk_size, body.size());
    if (r.held.size() < first) broken("the first chunk was not kept");
    if (lowered != 0 && lowered < first && (r.held.size() != first || r.over_limit != (body.size() > first)))
        broken("a lowered limit kept more");
}

void check_verdict(std::string_view held) {
    const std::string text = text_until_zero(held);
    if (text.find('\0') != std::string::npos || held.substr(0, text.size()) != text) broken("text until zero");
    if (held.find('\0') == std::string_view::npos && text != held) broken("text cut without a zero byte");
    const bool announced = IsUpdateAnnounced(text);
    // Byte-wise, unsigned, a longer text with the other as its prefix greater:
    // what std::string's comparison does.
    const bool expected = text.size() <= 4 && text > std::string(kProductVersion);
    if (announced != expected) broken("verdict on \"" + text + "\"");
}

void check_header_lines(std::string_view block) {
    const auto lines = text::split_lines(block);
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find_first_of("\r\n") != std::string::npos) broken("a line break inside a header line");
        joined += (i ? "\n" : "") + std::string(lines[i]);
    }
    std::string normalized;
    for (std::size_t i = 0; i < block.size(); ++i) {
        if (block[i] == '\r' && i + 1 < block.size() && block[i + 1] == '\n') continue;
        normalized += block[i] == '\r' ? '\n' : block[i];
    }
    if (!block.empty() && (block.back() == '\r' || block.back() == '\n')) joined += '\n';
    if (joined != normalized) broken("header lines lose or add text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static constexpr std::size_t kLimits[] = {0, 1, 3, 4, 5, 16, 4096, 65536};
    const std::size_t limit = kLimits[data[0] & 7];
    const std::size_t chunk_size = data[1] == 0 ? 16384 : data[1];
    std::string_view answer(reinterpret_cast<const char*>(data) + 2, size - 2);

    // The header block as the client takes it: at most its 8192-byte buffer.
    const std::size_t blank = answer.find("\r\n\r\n");
    std::string_view body = answer;
    if (blank != std::string_view::npos) {
        check_header_lines(answer.substr(0, std::min<std::size_t>(blank + 4, 8192)));
        body = answer.substr(blank + 4);
    }
    check_body(body, chunk_size, limit);
    if (data[0] & 8) check_lowered_limit(body, chunk_size, 1 + (data[0] >> 4));
    check_verdict(read_body(body, chunk_size, limit).held);
    return 0;
}
