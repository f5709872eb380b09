// Evaluation of the filtering service's header lines; see header_evaluation.h.
// One scan over the header text finds the service's lines and the relay
// marks, comparing as if the text were lowered without lowering it; only the
// service's own lines are lowered and cut, so that the cost stays linear and
// close to one pass over the text however large it is.
#include "core/analysis/header_evaluation.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <span>

#include "core/text/ascii.h"

namespace flinter {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool contains(std::string_view text, std::string_view needle) {
    return text.find(needle) != npos;
}

// TakeBefore on a view: the view advances instead of the text being erased.
std::string_view take_before(std::string_view& rest, std::string_view delimiter) {
    const std::size_t at = rest.find(delimiter);
    if (at == npos) {
        const std::string_view all = rest;
        rest = {};
        return all;
    }
    const std::string_view before = rest.substr(0, at);
    rest.remove_prefix(at + delimiter.size());
    return before;
}

// A lower-case needle and the index of its least common byte, the one the
// scan looks for.
struct needle {
    std::string_view text;
    std::size_t anchor;
};

constexpr needle kServiceLine{"x-pstn-", 0};
constexpr needle kRelay{"exprod", 1};
constexpr needle kServiceDomain{kServiceDomainSuffix, 1};

// Whether text starts with needle once lowered (A to Z only).
bool starts_lowered(std::string_view text, std::string_view needle) {
    if (text.size() < needle.size()) return false;
    for (std::size_t i = 0; i < needle.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != needle[i]) return false;
    }
    return true;
}

// The first position from `from` on whose byte may be `c` in either case
// (its 0x20 bit ignored), eight bytes at a time; npos when there is none.
std::size_t find_either_case(std::string_view text, char c, std::size_t from) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    constexpr std::uint64_t kCaseBits = 0x2020202020202020u;
    const unsigned char folded = static_cast<unsigned char>(c) | 0x20u;
    const std::uint64_t pattern = kOnes * folded;
    std::size_t at = from;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, sizeof word);
        const std::uint64_t diff = (word | kCaseBits) ^ pattern;
        if (((diff - kOnes) & ~diff & kHighBits) != 0) break;   // a byte of diff is zero
    }
    for (; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) | 0x20u) == folded) return at;
    }
    return npos;
}

// The first occurrence from `from` on of the needle in the lowered text, or npos.
std::size_t find_lowered(std::string_view text, const needle& n, std::size_t from) {
    for (std::size_t at = from + n.anchor; (at = find_either_case(text, n.text[n.anchor], at)) != npos; ++at) {
        if (starts_lowered(text.substr(at - n.anchor), n.text)) return at - n.anchor;
    }
    return npos;
}

bool is_line_break(char c) {
    return c == '\r' || c == '\n';
}

// The line (as split at CR LF, lone CR and lone LF) that holds position at.
std::string_view line_around(std::string_view text, std::size_t at) {
    std::size_t start = at;
    while (start > 0 && !is_line_break(text[start - 1])) --start;
    std::size_t end = at;
    while (end < text.size() && !is_line_break(text[end])) ++end;
    return text.substr(start, end - start);
}

void read_levels(std::string_view rest, THeaderFindings& f) {
    take_before(rest, "(s:");
    f.SpamScore = text::trim_controls(take_before(rest, "/"));
    take_before(rest, "r:");
    f.RaciallyInsensitive = take_before(rest, " ");
    take_before(rest, "p:");
    f.SexuallyExplicit = take_before(rest, " ");
    take_before(rest, "m:");
    f.MakeMoneyFast = take_before(rest, " ");
    take_before(rest, "c:");
    f.CommercialOffer = take_before(rest, " ");
}

void read_settings(std::string_view rest, std::string_view orig, THeaderFindings& f) {
    take_before(rest, ": ");
    f.BulkFilterSetting = take_before(rest, " ");
    take_before(rest, "(");
    f.BulkFilterValue = take_before(rest, ":");
    f.SpamThreshold = take_before(rest, ")");

    struct filter_code {
        std::string_view lower;
        std::string_view upper;
        std::string THeaderFindings::*field;
    };
    static constexpr filter_code kCodes[] = {
        {"lc", "LC", &THeaderFindings::LegalContent},
        {"fc", "FC", &THeaderFindings::FinancialContent},
        {"lt", "LT", &THeaderFindings::LegalTransport},
        {"ft", "FT", &THeaderFindings::FinancialTransport},
    };
    for (const filter_code& code : kCodes) {
        if (!contains(rest, code.lower)) continue;
        // The service writes a code in capitals once the filter has fired.
        f.*code.field = contains(orig, code.upper) ? "Triggered" : "Filter ON";
    }
}

// lower is a buffer, reused from line to line.
void read_line(std::string_view orig, std::string& lower, THeaderFindings& f) {
    text::ascii_lower_into(orig, lower);
    if (contains(lower, "x-pstn-addr") && contains(lower, "good")) {
        if (contains(lower, "(user")) {
            f.ApprovedSenders = "Yes (user)";
        } else if (contains(lower, "(org")) {
            f.ApprovedSenders = "Yes (org)";
        } else {
            f.ApprovedSenders = "Yes (recip)";
        }
    }
    if (contains(lower, "x-pstn-levels")) {
        read_levels(lower, f);
    } else if (contains(lower, "x-pstn-settings")) {
        read_settings(lower, orig, f);
    }
}

double number_of(std::string_view value, char decimal_separator) {
    return text::parse_decimal(value, decimal_separator).value_or(0.0);
}

TEvaluationLine plain(std::string text) {
    return {std::move(text), std::nullopt};
}

TEvaluationLine emphasised(std::string_view text, emphasis_kind kind, std::size_t start,
                           std::size_t length) {
    return {std::string(text), TEmphasis{kind, start, length}};
}

// One line of an optional block: its label followed by a finding, or the label
// alone as a fixed line when there is no finding.
struct block_line {
    std::string_view label;
    std::string THeaderFindings::*finding = nullptr;
};

// The labels of the first block carry a blank before the tab; the others do not.
constexpr block_line kOverallLines[] = {
    {"Approved Senders \t  ", &THeaderFindings::ApprovedSenders},
    {"Spam Treshold \t  ", &THeaderFindings::SpamThreshold},
    {"Spam Score \t  ", &THeaderFindings::SpamScore},
    {"Key: 0 (Spam) - 100 (Legit)"},
    {"Bulk Filter Setting \t  ", &THeaderFindings::BulkFilterSetting},
    {"Bulk Filter Value \t  ", &THeaderFindings::BulkFilterValue},
};
constexpr block_line kCategoryLines[] = {
    {"Racially Insensitive\t  ", &THeaderFindings::RaciallyInsensitive},
    {"Sexually Explicit\t  ", &THeaderFindings::SexuallyExplicit},
    {"Make Money Fast\t  ", &THeaderFindings::MakeMoneyFast},
    {"Commercial Offer\t  ", &THeaderFindings::CommercialOffer},
};
constexpr block_line kOtherLines[] = {
    {"Legal Content\t  ", &THeaderFindings::LegalContent},
    {"Financial Content\t  ", &THeaderFindings::FinancialContent},
    {"Legal Transport\t  ", &THeaderFindings::LegalTransport},
    {"Financial Transport\t  ", &THeaderFindings::FinancialTransport},
};

struct optional_block {
    bool TSectionSwitches::*shown;
    std::string_view heading;
    std::span<const block_line> lines;
};

constexpr optional_block kOptionalBlocks[] = {
    {&TSectionSwitches::cb1, "Overall Evaluation", kOverallLines},
    {&TSectionSwitches::cb2, "Category Filters", kCategoryLines},
    {&TSectionSwitches::cb3, "Other Filters", kOtherLines},
};

// An empty line, the underlined heading, then the block's lines.
void add_block(std::vector<TEvaluationLine>& lines, const optional_block& block,
               const THeaderFindings& f) {
    lines.push_back(plain(""));
    lines.push_back(emphasised(block.heading, emphasis_kind::section, 0, block.heading.size()));
    for (const block_line& line : block.lines) {
        std::string text(line.label);
        if (line.finding) text += f.*line.finding;
        lines.push_back(plain(std::move(text)));
    }
}

std::vector<TEvaluationLine> build_lines(const THeaderFindings& f, const TSectionSwitches& sections,
                                         char decimal_separator) {
    std::vector<TEvaluationLine> lines;
    lines.reserve(24);
    lines.push_back(emphasised("This Message", emphasis_kind::title, 0, 12));

    if (f.WentThroughPostini) {
        lines.push_back(plain("-  Went through Postini"));
    } else {
        lines.push_back(emphasised("-  Did NOT go through Postini", emphasis_kind::alert, 7, 3));
    }
    if (f.Scanned) {
        lines.push_back(plain("-  Was scanned"));
    } else {
        lines.push_back(emphasised("-  Was NOT scanned", emphasis_kind::alert, 7, 3));
    }
    if (f.WentThroughPostini) {
        const bool spam = f.Scanned && !f.TwoStrikeClear &&
                          number_of(f.SpamScore, decimal_separator) <=
                              number_of(f.SpamThreshold, decimal_separator);
        if (spam) {
            lines.push_back(emphasised("-  Was considered SPAM", emphasis_kind::alert, 18, 4));
        } else {
            lines.push_back(emphasised("-  Was NOT considered spam", emphasis_kind::alert, 7, 3));
        }
    }

    for (const optional_block& block : kOptionalBlocks) {
        if (sections.*block.shown) add_block(lines, block, f);
    }
    return lines;
}

}  // namespace

THeaderEvaluation EvaluateHeader(std::string_view header, const TSectionSwitches& sections,
                                 char decimal_separator) {
    THeaderEvaluation result;
    THeaderFindings& f = result.findings;

    // Every needle holds no line break, so searching the text is the same as
    // searching each of its lines, or the lines joined with CR LF; and every
    // line read below holds the service's prefix.
    std::string lower;
    std::size_t read_to = 0;
    for (std::size_t at = 0; (at = find_lowered(header, kServiceLine, at)) != npos; ++at) {
        const std::string_view from_here = header.substr(at);
        f.Scanned = f.Scanned || starts_lowered(from_here, "x-pstn-levels");
        f.TwoStrikeClear = f.TwoStrikeClear || starts_lowered(from_here, "x-pstn-2strike: clear");
        if (at < read_to) continue;   // a further mention in a line already read
        const std::string_view line = line_around(header, at);
        read_line(line, lower, f);
        read_to = static_cast<std::size_t>(line.data() + line.size() - header.data());
    }
    f.WentThroughPostini = find_lowered(header, kRelay, 0) != npos &&
                           find_lowered(header, kServiceDomain, 0) != npos;

    for (std::string* value : {&f.SpamThreshold, &f.SpamScore, &f.BulkFilterSetting,
                               &f.BulkFilterValue, &f.RaciallyInsensitive, &f.SexuallyExplicit,
                               &f.MakeMoneyFast, &f.CommercialOffer}) {
        *value = LocalizeDecimalPoint(*value, decimal_separator);
    }

    result.lines = build_lines(f, sections, decimal_separator);
    return result;
}

std::string TakeBefore(std::string& text, std::string_view delimiter) {
    std::string_view rest = text;
    std::string before(take_before(rest, delimiter));
    text.erase(0, text.size() - rest.size());
    return before;
}

std::string LocalizeDecimalPoint(std::string_view text, char decimal_separator) {
    std::string localized(text);
    for (char& c : localized) {
        if (c == '.' || c == ',') c = decimal_separator;
    }
    return localized;
}

int MessageInfoWindowHeight(int line_count) {
    // n * 13.5 truncated is n * 27 / 2 in whole numbers; widened and clamped
    // so that a runaway count cannot overflow.
    const std::int64_t n = line_count < 0 ? 0 : line_count;
    const std::int64_t height = n * 27 / 2 + 29;
    return height > INT_MAX ? INT_MAX : static_cast<int>(height);
}

}  // namespace flinter
