// Properties every evaluation must have, whatever the header text; shared by
// the randomized test and the fuzz target. Returns a description of the first
// violation, empty when all hold.
#pragma once

#include <string>

#include "core/analysis/header_evaluation.h"

namespace flinter::testing {

inline std::string check_evaluation_invariants(const THeaderEvaluation& e,
                                               const TSectionSwitches& s, char separator) {
    const THeaderFindings& f = e.findings;
    const std::size_t expected = 3 + (f.WentThroughPostini ? 1 : 0) + (s.cb1 ? 8 : 0) +
                                 (s.cb2 ? 6 : 0) + (s.cb3 ? 6 : 0);
    if (e.lines.size() != expected) return "line count " + std::to_string(e.lines.size());
    const TEvaluationLine title{"This Message", TEmphasis{emphasis_kind::title, 0, 12}};
    if (!(e.lines[0] == title)) return "first line is not the title";
    if (e.lines[1].text != (f.WentThroughPostini ? "-  Went through Postini"
                                                 : "-  Did NOT go through Postini")) {
        return "second line: " + e.lines[1].text;
    }
    if (e.lines[2].text != (f.Scanned ? "-  Was scanned" : "-  Was NOT scanned")) {
        return "third line: " + e.lines[2].text;
    }
    for (const TEvaluationLine& line : e.lines) {
        if (line.text.find_first_of("\r\n") != std::string::npos) return "line break in a line";
        if (line.emphasis && (line.emphasis->length == 0 ||
                              line.emphasis->start > line.text.size() ||
                              line.emphasis->length > line.text.size() - line.emphasis->start)) {
            return "emphasis outside its line: " + line.text;
        }
    }
    if (f.ApprovedSenders != "n/a" && f.ApprovedSenders != "Yes (user)" &&
        f.ApprovedSenders != "Yes (org)" && f.ApprovedSenders != "Yes (recip)") {
        return "ApprovedSenders " + f.ApprovedSenders;
    }
    for (const std::string* state :
         {&f.LegalContent, &f.FinancialContent, &f.LegalTransport, &f.FinancialTransport}) {
        if (*state != "n/a" && *state != "Filter ON" && *state != "Triggered") {
            return "filter state " + *state;
        }
    }
    for (const std::string* value :
         {&f.SpamScore, &f.SpamThreshold, &f.BulkFilterSetting, &f.BulkFilterValue,
          &f.RaciallyInsensitive, &f.SexuallyExplicit, &f.MakeMoneyFast, &f.CommercialOffer}) {
        if (value->find_first_of("\r\n") != std::string::npos) return "line break in a value";
        for (const char c : *value) {
            if ((c == '.' || c == ',') && c != separator) return "value not localized: " + *value;
        }
    }
    return {};
}

}  // namespace flinter::testing
