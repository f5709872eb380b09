// Header evaluation: the cutting helpers, the findings the service's lines
// yield, and the exact output lines with their emphasis.
#include "core/analysis/header_evaluation.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

namespace flinter {

// Readable failure messages for whole line lists.
void PrintTo(const TEvaluationLine& line, std::ostream* os) {
    *os << '"' << line.text << '"';
    if (line.emphasis) {
        *os << " [" << static_cast<int>(line.emphasis->kind) << ' ' << line.emphasis->start << '+'
            << line.emphasis->length << ']';
    }
}

namespace {

constexpr std::string_view kReceived =
    "Received: from source ([198.51.100.77]) by exprod7mx123.postini.com ([203.0.113.123]) "
    "with SMTP;";
constexpr std::string_view kLevels =
    "X-pstn-levels: (S:12.50000/99.90000 CV:99.9000 R:95.9108 P:95.9108 M:97.0232 C:98.7678 )";
constexpr std::string_view kSettings = "X-pstn-settings: 3 (0.5000:20.0000) s cv r p m c LC ft";
constexpr std::string_view kAddr = "X-pstn-addr: good (user approved)";

constexpr TSectionSwitches kAll{true, true, true};
constexpr TSectionSwitches kNone{false, false, false};

std::string join(const std::vector<std::string_view>& lines, std::string_view brk = "\r\n") {
    std::string text;
    for (const std::string_view line : lines) {
        text += line;
        text += brk;
    }
    return text;
}

const std::string kSpamAllFilters = join({kReceived, kLevels, kSettings, kAddr});

TEvaluationLine plain(std::string text) { return {std::move(text), std::nullopt}; }
TEvaluationLine with(std::string text, emphasis_kind kind, std::size_t start, std::size_t length) {
    return {std::move(text), TEmphasis{kind, start, length}};
}

std::vector<std::string> texts(const THeaderEvaluation& e) {
    std::vector<std::string> out;
    for (const auto& line : e.lines) out.push_back(line.text);
    return out;
}

std::string verdict(const THeaderEvaluation& e) {
    return e.lines.size() > 3 ? e.lines[3].text : std::string();
}

// ---------------------------------------------------------------- TakeBefore

struct take_case {
    std::string text, delimiter, result, rest;
};

TEST(TakeBefore, CutsAtFirstOccurrenceOrTakesAll) {
    const take_case cases[] = {
        {"abc/def", "/", "abc", "def"},
        {"a:b:c", ":", "a", "b:c"},
        {"/x", "/", "", "x"},
        {"ab:", ":", "ab", ""},
        {"a(s:12", "(s:", "a", "12"},
        {"no delimiter", "/", "no delimiter", ""},
        {"", "/", "", ""},
        {"ABC", "b", "ABC", ""},   // exact, case-sensitive
        {"x: 3 (", ": ", "x", "3 ("},
        {"x:3 (", ": ", "x:3 (", ""},
    };
    for (const take_case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(TakeBefore(text, c.delimiter), c.result) << c.text << " / " << c.delimiter;
        EXPECT_EQ(text, c.rest) << c.text << " / " << c.delimiter;
    }
}

// ------------------------------------------------------ LocalizeDecimalPoint

TEST(LocalizeDecimalPoint, ReplacesPointsAndCommas) {
    EXPECT_EQ(LocalizeDecimalPoint("12.50000", ','), "12,50000");
    EXPECT_EQ(LocalizeDecimalPoint("12,5", '.'), "12.5");
    EXPECT_EQ(LocalizeDecimalPoint("1,234.5", '.'), "1.234.5");
    EXPECT_EQ(LocalizeDecimalPoint("1,234.5", ','), "1,234,5");
    EXPECT_EQ(LocalizeDecimalPoint("n/a", ','), "n/a");
    EXPECT_EQ(LocalizeDecimalPoint("", ','), "");
}

// ------------------------------------------------ A spam with every filter line

TEST(EvaluateHeader, SpamAllFiltersFindings) {
    const THeaderEvaluation e = EvaluateHeader(kSpamAllFilters, kAll, '.');
    THeaderFindings expected;
    expected.WentThroughPostini = true;
    expected.Scanned = true;
    expected.TwoStrikeClear = false;
    expected.ApprovedSenders = "Yes (user)";
    expected.SpamScore = "12.50000";
    expected.RaciallyInsensitive = "95.9108";
    expected.SexuallyExplicit = "95.9108";
    expected.MakeMoneyFast = "97.0232";
    expected.CommercialOffer = "98.7678";
    expected.BulkFilterSetting = "3";
    expected.BulkFilterValue = "0.5000";
    expected.SpamThreshold = "20.0000";
    expected.LegalContent = "Triggered";
    expected.FinancialContent = "n/a";
    expected.LegalTransport = "n/a";
    expected.FinancialTransport = "Filter ON";
    EXPECT_EQ(e.findings, expected);
}

TEST(EvaluateHeader, SpamAllFiltersLines) {
    using enum emphasis_kind;
    const std::vector<TEvaluationLine> expected = {
        with("This Message", title, 0, 12),
        plain("-  Went through Postini"),
        plain("-  Was scanned"),
        with("-  Was considered SPAM", alert, 18, 4),
        plain(""),
        with("Overall Evaluation", section, 0, 18),
        plain("Approved Senders \t  Yes (user)"),
        plain("Spam Treshold \t  20.0000"),
        plain("Spam Score \t  12.50000"),
        plain("Key: 0 (Spam) - 100 (Legit)"),
        plain("Bulk Filter Setting \t  3"),
        plain("Bulk Filter Value \t  0.5000"),
        plain(""),
        with("Category Filters", section, 0, 16),
        plain("Racially Insensitive\t  95.9108"),
        plain("Sexually Explicit\t  95.9108"),
        plain("Make Money Fast\t  97.0232"),
        plain("Commercial Offer\t  98.7678"),
        plain(""),
        with("Other Filters", section, 0, 13),
        plain("Legal Content\t  Triggered"),
        plain("Financial Content\t  n/a"),
        plain("Legal Transport\t  n/a"),
        plain("Financial Transport\t  Filter ON"),
    };
    const THeaderEvaluation e = EvaluateHeader(kSpamAllFilters, kAll, '.');
    EXPECT_EQ(e.lines, expected);
    EXPECT_EQ(MessageInfoWindowHeight(static_cast<int>(e.lines.size())), 353);
}

TEST(EvaluateHeader, CommaLocaleShowsAndComparesLocalizedNumbers) {
    const THeaderEvaluation e = EvaluateHeader(kSpamAllFilters, kAll, ',');
    EXPECT_EQ(e.findings.SpamScore, "12,50000");
    EXPECT_EQ(e.findings.SpamThreshold, "20,0000");
    EXPECT_EQ(e.findings.BulkFilterValue, "0,5000");
    EXPECT_EQ(e.findings.CommercialOffer, "98,7678");
    EXPECT_EQ(e.findings.ApprovedSenders, "Yes (user)");
    EXPECT_EQ(verdict(e), "-  Was considered SPAM");
    EXPECT_EQ(e.lines[8].text, "Spam Score \t  12,50000");
}

// ------------------------------------------------------------- Line breaks

TEST(EvaluateHeader, EveryLineBreakStyleGivesTheSameFindings) {
    const THeaderFindings reference = EvaluateHeader(kSpamAllFilters, kAll, '.').findings;
    const std::string variants[] = {
        join({kReceived, kLevels, kSettings, kAddr}, "\n"),
        join({kReceived, kLevels, kSettings, kAddr}, "\r"),
        join({kReceived, kLevels, kSettings, kAddr}, "\n\r"),
        std::string(kReceived) + "\r" + std::string(kLevels) + "\n" + std::string(kSettings) +
            "\r\n" + std::string(kAddr),   // no final break
    };
    for (const std::string& text : variants) {
        EXPECT_EQ(EvaluateHeader(text, kAll, '.').findings, reference) << text;
    }
}

TEST(EvaluateHeader, LoneCrSeparatesTheLevelsLineFromTheSettingsLine) {
    // Read as one line, the settings would be skipped for the levels.
    const std::string text = std::string(kLevels) + "\r" + std::string(kSettings);
    const THeaderFindings f = EvaluateHeader(text, kAll, '.').findings;
    EXPECT_EQ(f.SpamScore, "12.50000");
    EXPECT_EQ(f.SpamThreshold, "20.0000");
    EXPECT_EQ(f.LegalContent, "Triggered");
}

// ------------------------------------------------------------ Spam verdict

struct verdict_case {
    std::string score, threshold;
    char separator;
    bool spam;
};

TEST(EvaluateHeader, SpamVerdictComparesNumbersNotTexts) {
    const verdict_case cases[] = {
        {"12.5", "20.0", '.', true},
        {"20.0", "20.0", '.', true},          // equal counts as spam
        {"20.0001", "20.0", '.', false},
        {"9.5", "10.0", '.', true},           // "9.5" > "10.0" as text
        {"100", "20", '.', false},
        {"12,5", "20,0", ',', true},
        {"9,5", "10,0", ',', true},
        {"25.5", "3.0", ',', false},          // localized to 25,5 and 3,0
        {"abc", "20.0", '.', true},           // unparsable score counts 0
        {"5.0", "x", '.', false},             // unparsable threshold counts 0
        {"-1", "x", '.', true},
    };
    for (const verdict_case& c : cases) {
        const std::string text = join({kReceived, "X-pstn-levels: (S:" + c.score + "/99.9 )",
                                       "X-pstn-settings: 3 (0.5:" + c.threshold + ") s"});
        EXPECT_EQ(verdict(EvaluateHeader(text, kAll, c.separator)),
                  c.spam ? "-  Was considered SPAM" : "-  Was NOT considered spam")
            << c.score << " vs " << c.threshold;
    }
}

TEST(EvaluateHeader, TwoStrikeClearOverrulesSpam) {
    const std::string text = kSpamAllFilters + "X-pstn-2strike: clear\r\n";
    const THeaderEvaluation e = EvaluateHeader(text, kAll, '.');
    EXPECT_TRUE(e.findings.TwoStrikeClear);
    EXPECT_EQ(e.lines[3], with("-  Was NOT considered spam", emphasis_kind::alert, 7, 3));
    EXPECT_TRUE(EvaluateHeader("X-PSTN-2STRIKE: CLEAR", kAll, '.').findings.TwoStrikeClear);
    EXPECT_FALSE(EvaluateHeader("X-pstn-2strike:clear", kAll, '.').findings.TwoStrikeClear);
}

TEST(EvaluateHeader, UnparsableAgainstUnparsableIsSpamWhenScanned) {
    // A folded levels line leaves an empty score; without a settings line the
    // threshold stays "n/a": both count 0.
    const std::string text = join({kReceived, "X-pstn-levels:", "\t(S:99.9/99.9 )"});
    const THeaderEvaluation e = EvaluateHeader(text, kAll, '.');
    EXPECT_EQ(e.findings.SpamThreshold, "n/a");
    EXPECT_EQ(verdict(e), "-  Was considered SPAM");
}

TEST(EvaluateHeader, NotScannedIsNeverSpam) {
    const THeaderEvaluation e = EvaluateHeader(join({kReceived}), kAll, '.');
    EXPECT_EQ(e.findings.SpamScore, "n/a");
    EXPECT_EQ(verdict(e), "-  Was NOT considered spam");
}

// -------------------------------------------------------- Service detection

TEST(EvaluateHeader, ServiceNeedsBothRelayNameAndDomain) {
    struct {
        std::string received;
        bool went;
    } cases[] = {
        {"Received: from exprod5mx12.postini.com", true},
        {"Received: from EXPROD5MX12.POSTINI.COM", true},
        {"Received: from exprod5mx12.example.net", false},
        {"Received: from mx12.postini.com", false},
        {"Received: from exprod5mx12.postini.net", false},
        {"Received: from exprod2.postinixcom.example", false},
    };
    for (const auto& c : cases) {
        const THeaderEvaluation e = EvaluateHeader(join({c.received, kLevels}), kAll, '.');
        EXPECT_EQ(e.findings.WentThroughPostini, c.went) << c.received;
        EXPECT_EQ(e.lines.size(), c.went ? 24u : 23u) << c.received;
    }
    // The two parts may stand on different lines.
    EXPECT_TRUE(EvaluateHeader("Received: by exprod1\r\nfrom a.postini.com", kAll, '.')
                    .findings.WentThroughPostini);
}

TEST(EvaluateHeader, EmptyHeaderGivesNegativeVerdictAndNotAvailable) {
    using enum emphasis_kind;
    const THeaderEvaluation e = EvaluateHeader("", kAll, '.');
    EXPECT_EQ(e.findings, THeaderFindings{});
    ASSERT_EQ(e.lines.size(), 23u);
    EXPECT_EQ(e.lines[1], with("-  Did NOT go through Postini", alert, 7, 3));
    EXPECT_EQ(e.lines[2], with("-  Was NOT scanned", alert, 7, 3));
    EXPECT_EQ(e.lines[3], plain(""));
    EXPECT_EQ(e.lines[4], with("Overall Evaluation", section, 0, 18));
    EXPECT_EQ(e.lines[22], plain("Financial Transport\t  n/a"));
}

// ---------------------------------------------------------------- Sections

TEST(EvaluateHeader, SectionSwitchesChooseTheBlocks) {
    EXPECT_EQ(texts(EvaluateHeader(kSpamAllFilters, kNone, '.')),
              (std::vector<std::string>{"This Message", "-  Went through Postini", "-  Was scanned",
                                        "-  Was considered SPAM"}));
    EXPECT_EQ(EvaluateHeader("", kNone, '.').lines.size(), 3u);

    const auto only_third = texts(EvaluateHeader(kSpamAllFilters, {false, false, true}, '.'));
    ASSERT_EQ(only_third.size(), 10u);
    EXPECT_EQ(only_third[4], "");
    EXPECT_EQ(only_third[5], "Other Filters");

    const auto first_and_third = texts(EvaluateHeader(kSpamAllFilters, {true, false, true}, '.'));
    ASSERT_EQ(first_and_third.size(), 18u);
    EXPECT_EQ(first_and_third[11], "Bulk Filter Value \t  0.5000");
    EXPECT_EQ(first_and_third[13], "Other Filters");
}

// ------------------------------------------------------- Malformed lines

TEST(EvaluateHeader, SettingsLineWithoutColonBlankConsumesEverything) {
    const std::string text =
        join({kReceived, kLevels, "X-pstn-settings:3 (0.5000:20.0000) s cv r p m c LC ft"});
    const THeaderFindings f = EvaluateHeader(text, kAll, '.').findings;
    EXPECT_EQ(f.BulkFilterSetting, "");
    EXPECT_EQ(f.BulkFilterValue, "");
    EXPECT_EQ(f.SpamThreshold, "");
    EXPECT_EQ(f.LegalContent, "n/a");
    EXPECT_EQ(f.FinancialTransport, "n/a");
}

TEST(EvaluateHeader, FoldedLevelsLineLeavesEmptyValues) {
    const std::string text = join(
        {kReceived, "X-pstn-levels:", "    (S:12.50000/99.90000 R:95.9108 P:95.9108 M:97 C:98 )",
         kSettings});
    const THeaderFindings f = EvaluateHeader(text, kAll, '.').findings;
    EXPECT_TRUE(f.Scanned);
    EXPECT_EQ(f.SpamScore, "");
    EXPECT_EQ(f.RaciallyInsensitive, "");
    EXPECT_EQ(f.SexuallyExplicit, "");
    EXPECT_EQ(f.MakeMoneyFast, "");
    EXPECT_EQ(f.CommercialOffer, "");
}

TEST(EvaluateHeader, SpamScoreIsTrimmedOfBlanksAndControlsOnly) {
    const std::string text = "X-pstn-levels: (S: \t12.5\x01 /99.9 )\r\n";
    EXPECT_EQ(EvaluateHeader(text, kAll, '.').findings.SpamScore, "12.5");
    // A no-break space in the system code page is a letter, not a blank.
    const std::string nbsp = "X-pstn-levels: (S:\xA0" "12.5\xA0/99.9 )";
    EXPECT_EQ(EvaluateHeader(nbsp, kAll, '.').findings.SpamScore, "\xA0" "12.5\xA0");
}

TEST(EvaluateHeader, ApprovedSenderKinds) {
    const std::pair<std::string, std::string> cases[] = {
        {"X-pstn-addr: good (user approved)", "Yes (user)"},
        {"X-pstn-addr: good (org approved)", "Yes (org)"},
        {"X-pstn-addr: good (recip approved)", "Yes (recip)"},
        {"X-pstn-addr: good", "Yes (recip)"},
        {"X-PSTN-ADDR: GOOD (USER APPROVED)", "Yes (user)"},
        {"X-pstn-addr: bad (user)", "n/a"},
        {"X-other: good (user)", "n/a"},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(EvaluateHeader(line, kAll, '.').findings.ApprovedSenders, expected) << line;
    }
    EXPECT_EQ(EvaluateHeader(join({"X-pstn-addr: good (user)", "X-pstn-addr: good (org)"}), kAll,
                             '.')
                  .findings.ApprovedSenders,
              "Yes (org)");
}

TEST(EvaluateHeader, FilterCodesAreReadAfterTheThreshold) {
    const auto read = [](std::string_view line) {
        return EvaluateHeader(line, kAll, '.').findings;
    };
    // Codes inside the bulk part are not filter codes.
    THeaderFindings f = read("X-pstn-settings: lc (0.5:20) s cv");
    EXPECT_EQ(f.BulkFilterSetting, "lc");
    EXPECT_EQ(f.LegalContent, "n/a");

    f = read("X-pstn-settings: 3 (0.5:20) s LC fc LT ft");
    EXPECT_EQ(f.LegalContent, "Triggered");
    EXPECT_EQ(f.FinancialContent, "Filter ON");
    EXPECT_EQ(f.LegalTransport, "Triggered");
    EXPECT_EQ(f.FinancialTransport, "Filter ON");

    // The capitals may stand anywhere in the line.
    EXPECT_EQ(read("X-pstn-settings: 3 (0.5:20) lt VOLT").LegalTransport, "Triggered");

    // A later line overwrites what it names and keeps the rest.
    f = EvaluateHeader(join({"X-pstn-settings: 3 (0.5:20) LC ft", "X-pstn-settings: 2 (1:30) fc"}),
                       kAll, '.')
            .findings;
    EXPECT_EQ(f.BulkFilterSetting, "2");
    EXPECT_EQ(f.SpamThreshold, "30");
    EXPECT_EQ(f.LegalContent, "Triggered");
    EXPECT_EQ(f.FinancialContent, "Filter ON");
    EXPECT_EQ(f.FinancialTransport, "Filter ON");
}

TEST(EvaluateHeader, LevelsLineWinsOverSettingsOnTheSameLine) {
    const THeaderFindings f =
        EvaluateHeader("X-pstn-levels: x-pstn-settings: 3 (S:1/2 ) lc", kAll, '.').findings;
    EXPECT_EQ(f.SpamScore, "1");
    EXPECT_EQ(f.BulkFilterSetting, "n/a");
    EXPECT_EQ(f.LegalContent, "n/a");
}

TEST(EvaluateHeader, EightBitBytesPassUnchanged) {
    const std::string text = "X-pstn-settings: \xC9t\xE9 (0.5:20) s";
    EXPECT_EQ(EvaluateHeader(text, kAll, '.').findings.BulkFilterSetting, "\xC9t\xE9");
}

TEST(EvaluateHeader, ManyLinesStayLinear) {
    // Quadratic work on the whole text would not finish within the test's time.
    std::string text;
    for (int i = 0; i < 200000; ++i) text += std::string(kSettings) + "\r\n";
    text += std::string(500000, 'x') + " x-pstn-levels (s:1/2 r:3 p:4 m:5 c:6 \n";
    const THeaderFindings f = EvaluateHeader(text, kAll, '.').findings;
    EXPECT_EQ(f.SpamThreshold, "20.0000");
    EXPECT_EQ(f.CommercialOffer, "6");
}

// ------------------------------------------------------------------ Height

TEST(MessageInfoWindowHeight, TruncatesHalfLines) {
    EXPECT_EQ(MessageInfoWindowHeight(24), 353);
    EXPECT_EQ(MessageInfoWindowHeight(3), 69);   // 40.5 -> 40
    EXPECT_EQ(MessageInfoWindowHeight(4), 83);
    EXPECT_EQ(MessageInfoWindowHeight(1), 42);
    EXPECT_EQ(MessageInfoWindowHeight(0), 29);
    EXPECT_EQ(MessageInfoWindowHeight(-5), 29);
    EXPECT_EQ(MessageInfoWindowHeight(INT_MAX), INT_MAX);
}

}  // namespace
}  // namespace flinter
