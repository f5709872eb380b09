// Evaluation of the filtering service's header lines; see header_evaluation.h.
// Works line by line on views of the header text so that the cost stays
// linear in its size however many lines it has.
#include "core/analysis/header_evaluation.h"

#include <climits>
#include <cstdint>
#include <span>

#include "core/text/ascii.h"

namespace flinter {

namespace {

bool contains(std::string_view text, std::string_view needle) {
    return text.find(needle) != std::string_view::npos;
}

// TakeBefore on a view: the view advances instead of the text being erased.
std::string_view take_before(std::string_view& rest, std::string_view delimiter) {
    const std::size_t at = rest.find(delimiter);
    if (at == std::string_view::npos) {
        const std::string_view all = rest;
        rest = {};
        return all;
    }
    const std::string_view before = rest.substr(0, at);
    rest.remove_prefix(at + delimiter.size());
    return before;
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

void read_line(std::string_view orig, THeaderFindings& f) {
    const std::string lower = text::ascii_lower(orig);
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

    // The flag needles hold no line break, so testing each line is the same
    // as testing the whole text joined with CR LF.
    bool exprod = false;
    bool service_domain = false;
    for (const std::string_view line : text::split_lines(header)) {
        const std::string lower = text::ascii_lower(line);
        exprod = exprod || contains(lower, "exprod");
        service_domain = service_domain || contains(lower, kServiceDomainSuffix);
        f.Scanned = f.Scanned || contains(lower, "x-pstn-levels");
        f.TwoStrikeClear = f.TwoStrikeClear || contains(lower, "x-pstn-2strike: clear");
        read_line(line, f);
    }
    f.WentThroughPostini = exprod && service_domain;

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
