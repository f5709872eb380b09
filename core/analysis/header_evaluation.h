// Turns a message's transport header block into the filtering service's
// findings and the ordered, emphasised lines of the message information window.
// Portable (no Windows headers), pure, thread-agnostic; throws only std::bad_alloc.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flinter {

// The service's mail domain suffix, lower case; a plain substring test.
inline constexpr std::string_view kServiceDomainSuffix = ".postini.com";
inline constexpr std::string_view kNotAvailable = "n/a";

enum class emphasis_kind { title, section, alert };

struct TEmphasis {
    emphasis_kind kind;
    std::size_t start;   // first character, counted from 0 within the line
    std::size_t length;
    bool operator==(const TEmphasis&) const = default;
};

struct TEvaluationLine {
    std::string text;                  // 8-bit, may contain tabs
    std::optional<TEmphasis> emphasis;
    bool operator==(const TEvaluationLine&) const = default;
};

struct THeaderFindings {
    bool WentThroughPostini = false;
    bool Scanned = false;
    bool TwoStrikeClear = false;
    std::string ApprovedSenders{kNotAvailable};
    std::string SpamScore{kNotAvailable};
    std::string RaciallyInsensitive{kNotAvailable};
    std::string SexuallyExplicit{kNotAvailable};
    std::string MakeMoneyFast{kNotAvailable};
    std::string CommercialOffer{kNotAvailable};
    std::string BulkFilterSetting{kNotAvailable};
    std::string BulkFilterValue{kNotAvailable};
    std::string SpamThreshold{kNotAvailable};
    std::string LegalContent{kNotAvailable};
    std::string FinancialContent{kNotAvailable};
    std::string LegalTransport{kNotAvailable};
    std::string FinancialTransport{kNotAvailable};
    bool operator==(const THeaderFindings&) const = default;
};

// The three optional blocks: cb1 "Overall Evaluation", cb2 "Category Filters",
// cb3 "Other Filters".
struct TSectionSwitches {
    bool cb1 = true;
    bool cb2 = true;
    bool cb3 = true;
};

struct THeaderEvaluation {
    THeaderFindings findings;
    std::vector<TEvaluationLine> lines;
};

// decimal_separator is the user's locale's decimal separator character.
THeaderEvaluation EvaluateHeader(std::string_view header, const TSectionSwitches& sections,
                                 char decimal_separator);

// Returns the part of text before the first occurrence of delimiter and removes
// it and the delimiter from text; without a match returns all and empties text.
std::string TakeBefore(std::string& text, std::string_view delimiter);

// Every '.' and ',' becomes decimal_separator.
std::string LocalizeDecimalPoint(std::string_view text, char decimal_separator);

// Outer height of the message information window for n displayed lines:
// trunc(n * 13.5) + 29.
int MessageInfoWindowHeight(int line_count);

}  // namespace flinter
