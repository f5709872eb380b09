// flinter-analyze's pieces that the black-box tests cannot reach: argument
// parsing, cutting the header block, colour and JSON escaping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input.h"
#include "options.h"
#include "render.h"

namespace flinter::analyze {
namespace {

TEST(ParseArguments, DefaultsReadStandardInputWithAllSections) {
    const parsed_options p = parse_arguments({});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.value.files, std::vector<std::string>{"-"});
    EXPECT_TRUE(p.value.sections.cb1 && p.value.sections.cb2 && p.value.sections.cb3);
    EXPECT_FALSE(p.value.decimal_separator.has_value());
}

TEST(ParseArguments, OptionsAndFilesInAnyOrder) {
    const parsed_options p =
        parse_arguments({"a.eml", "--sections=31", "-", "--json", "--decimal-separator=,",
                         "--no-color", "--", "--json"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.value.files, (std::vector<std::string>{"a.eml", "-", "--json"}));
    EXPECT_TRUE(p.value.sections.cb1);
    EXPECT_FALSE(p.value.sections.cb2);
    EXPECT_TRUE(p.value.sections.cb3);
    EXPECT_EQ(p.value.decimal_separator, ',');
    EXPECT_TRUE(p.value.json);
    EXPECT_TRUE(p.value.no_color);
}

TEST(ParseArguments, EmptySectionsTurnsAllOff) {
    const parsed_options p = parse_arguments({"--sections="});
    ASSERT_EQ(p.error, "");
    EXPECT_FALSE(p.value.sections.cb1 || p.value.sections.cb2 || p.value.sections.cb3);
}

TEST(ParseArguments, UsageErrors) {
    for (const char* bad : {"--sections=4", "--sections=1a", "--decimal-separator=",
                            "--decimal-separator=,.", "--color", "-x", "--sections"}) {
        EXPECT_NE(parse_arguments({bad}).error, "") << bad;
    }
}

TEST(HeaderBlock, EndsAtTheFirstEmptyLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"A: 1\r\nB: 2\r\n\r\nbody\r\n", "A: 1\r\nB: 2\r\n"},
        {"A: 1\nB: 2\n\nbody", "A: 1\nB: 2\n"},
        {"A: 1\rB: 2\r\rbody", "A: 1\rB: 2\r"},
        {"A: 1\r\n\nbody", "A: 1\r\n"},
        {"A: 1\r\r\nbody", "A: 1\r"},   // the CR ends the line, CR LF is an empty line
        {"A: 1\r\nB: 2", "A: 1\r\nB: 2"},
        {"A: 1\r\n", "A: 1\r\n"},
        {"\r\nbody", ""},
        {"", ""},
        {"A: 1\r\n\tfolded\r\n\r\n", "A: 1\r\n\tfolded\r\n"},
    };
    for (const auto& [message, header] : cases) {
        EXPECT_EQ(header_block(message), header) << message;
    }
}

THeaderEvaluation sample() {
    THeaderEvaluation e;
    e.lines = {{"This Message", TEmphasis{emphasis_kind::title, 0, 12}},
               {"-  Was NOT scanned", TEmphasis{emphasis_kind::alert, 7, 3}},
               {"Other Filters", TEmphasis{emphasis_kind::section, 0, 13}},
               {"Legal Content\t  n/a", std::nullopt}};
    return e;
}

TEST(RenderPlain, ColourCoversOnlyTheEmphasisedCharacters) {
    EXPECT_EQ(render_plain(sample(), false),
              "This Message\n-  Was NOT scanned\nOther Filters\nLegal Content\t  n/a\n");
    EXPECT_EQ(render_plain(sample(), true),
              "\x1b[1mThis Message\x1b[0m\n"
              "-  Was \x1b[1;31mNOT\x1b[0m scanned\n"
              "\x1b[1;4mOther Filters\x1b[0m\n"
              "Legal Content\t  n/a\n");
}

TEST(RenderPlain, EmphasisBeyondTheLineIsClamped) {
    THeaderEvaluation e;
    e.lines = {{"ab", TEmphasis{emphasis_kind::alert, 1, 50}},
               {"cd", TEmphasis{emphasis_kind::alert, 9, 1}}};
    EXPECT_EQ(render_plain(e, true), "a\x1b[1;31mb\x1b[0m\ncd\x1b[1;31m\x1b[0m\n");
}

TEST(JsonLatin1, EscapesAndEncodesEveryByte) {
    EXPECT_EQ(json_latin1("a\"b\\c\td\ne\rf"), "\"a\\\"b\\\\c\\td\\ne\\rf\"");
    EXPECT_EQ(json_latin1(std::string("\x00\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\x7f\"");
    EXPECT_EQ(json_latin1("\xE9\xFF\x80"), "\"\xC3\xA9\xC3\xBF\xC2\x80\"");
}

TEST(RenderJson, FileNameKeepsValidUtf8AndMapsOtherBytes) {
    const THeaderEvaluation e;
    EXPECT_EQ(render_json("caf\xC3\xA9.eml", e).rfind("{\"file\": \"caf\xC3\xA9.eml\", ", 0), 0u);
    EXPECT_EQ(render_json("caf\xE9.eml", e).rfind("{\"file\": \"caf\xC3\xA9.eml\", ", 0), 0u);
    EXPECT_EQ(render_json("a\"\xC3", e).rfind("{\"file\": \"a\\\"\xC3\x83\", ", 0), 0u);
}

}  // namespace
}  // namespace flinter::analyze
