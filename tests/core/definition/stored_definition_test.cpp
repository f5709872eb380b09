// The stored-definition reader: a whole module definition, and the errors
// that malformed text must produce instead of a half-read tree.
#include "core/definition/stored_definition.h"

#include <gtest/gtest.h>

#include <string>

namespace flinter::definition {
namespace {

const char kModule[] = R"(# a module with one bar
object AddInModule: TAddInModule
  AddInName = "DOD_\x46linter"   # escapes are read
  LoadBehavior = -3
  GlyphTransparentColor = 0x20000000
  SupportedApps = [ohaOutlook, ohaWord]
  DisplayAlerts = FALSE
  OnDestroy = afwCOMAddInModuleDestroy
  object afwOlExplorerCommandbar1: TafwOlExplorerCommandbar
    CommandBarName = "QAV_Flinter"
    ButtonTypes = {02000000 00000000
                   00000000}
    Buttons = <
      item 0
        Caption = "Spam \"now\""
        Glyph.Data = file("spam.bmp")
      end
      item
        Controls = < item Caption = "inner" end >
      end>
    PropertyChanged = 2
    FolderNames = ("Mailbox\\Inbox"
                   "Mailbox\\Sent Items") Empty = ()
  end
end
)";

file_loader files() {
    return [](std::string_view name) -> std::optional<std::vector<std::uint8_t>> {
        if (name == "spam.bmp") return std::vector<std::uint8_t>{'B', 'M', 7};
        return std::nullopt;
    };
}

TEST(StoredDefinition, ReadsAModuleWithItsBarAndItems) {
    const object module = read_definition(kModule, files());
    EXPECT_EQ(module.name, "AddInModule");
    EXPECT_EQ(module.class_name, "TAddInModule");
    EXPECT_EQ(find(module.properties, "addinname")->as_text(), "DOD_Flinter");
    EXPECT_EQ(find(module.properties, "LoadBehavior")->as_integer(), -3);
    EXPECT_EQ(find(module.properties, "GlyphTransparentColor")->as_integer(), 0x20000000);
    EXPECT_EQ(find(module.properties, "SupportedApps")->as_set(), (std::vector<std::string>{"ohaOutlook", "ohaWord"}));
    EXPECT_FALSE(find(module.properties, "DisplayAlerts")->as_boolean());
    EXPECT_EQ(find(module.properties, "OnDestroy")->as_name(), "afwCOMAddInModuleDestroy");
    EXPECT_EQ(find(module.properties, "Description"), nullptr);

    ASSERT_EQ(module.children.size(), 1u);
    const object& bar = module.children[0];
    EXPECT_EQ(bar.line, 9);
    EXPECT_EQ(find(bar.properties, "ButtonTypes")->as_bytes(),
              (std::vector<std::uint8_t>{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const auto& items = find(bar.properties, "Buttons")->as_items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(find(items[0], "Caption")->as_text(), "Spam \"now\"");
    EXPECT_EQ(find(items[0], "Glyph.Data")->as_bytes(), (std::vector<std::uint8_t>{3, 0, 0, 0, 'B', 'M', 7}));
    EXPECT_EQ(find(find(items[1], "Controls")->as_items()[0], "Caption")->as_text(), "inner");
    EXPECT_EQ(find(bar.properties, "PropertyChanged")->as_integer(), 2);
    EXPECT_EQ(find(bar.properties, "FolderNames")->as_strings(),
              (std::vector<std::string>{"Mailbox\\Inbox", "Mailbox\\Sent Items"}));
    EXPECT_TRUE(find(bar.properties, "Empty")->as_strings().empty());
    EXPECT_THROW(find(bar.properties, "PropertyChanged")->as_text(), definition_error);
}

struct broken_case {
    const char* text;
    int line;
    const char* message;
};

TEST(StoredDefinition, MalformedTextNamesTheLineAndTheFault) {
    const std::string deep = std::string(40, ' ') + "object";
    const broken_case cases[] = {
        {"", 1, "'object' expected"},
        {"object A: B\n X = 1\n", 3, "'end' missing for object A"},
        {"object A: B\n X = \"open\nend", 2, "text not closed"},
        {"object A: B\n X = \"\\q\"\nend", 2, "unknown escape \\q"},
        {"object A: B\n X = 2147483648\nend", 2, "number out of range"},
        {"object A: B\n X = 0x1FFFFFFFF\nend", 2, "number out of range"},
        {"object A: B\n X = 12ab\nend", 2, "a number expected"},
        {"object A: B\n X = --4\nend", 2, "a number expected"},
        {"object A: B\n X = 0x-4\nend", 2, "a number expected"},
        {"object A: B\n X = --9223372036854775808\nend", 2, "a number expected"},
        {"object A: B\n X = -18446744073709551616\nend", 2, "number out of range"},
        {"object A: B\n X = {0A 1}\nend", 2, "odd number of hex digits"},
        {"object A: B\n X = {0G}\nend", 2, "hex digit expected"},
        {"object A: B\n X = file(\"none.bmp\")\nend", 2, "file \"none.bmp\" not found"},
        {"object A: B\n X = [a b]\nend", 2, "',' expected"},
        {"object A: B\n X = (\"a\" b)\nend", 2, "'\"' expected"},
        {"object A: B\n X = (\"a\"", 2, "'\"' expected"},
        {"object A: B\n X = < item Y = 1 >\nend", 2, "a name expected"},
        {"object A: B\n X = ;\nend", 2, "a value expected"},
        {"object A: B\nend\nobject C: D\nend", 3, "text after the end of the definition"},
    };
    for (const auto& c : cases) {
        try {
            read_definition(c.text, files());
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const definition_error& e) {
            EXPECT_EQ(e.line(), c.line) << c.text;
            EXPECT_EQ(std::string(e.what()), "line " + std::to_string(c.line) + ": " + c.message) << c.text;
        }
    }
}

TEST(StoredDefinition, RefusesNestingDeeperThanAnyToolbar) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "object A: B\n";
    for (int i = 0; i < 40; ++i) text += "end\n";
    EXPECT_THROW(read_definition(text), definition_error);
    std::string items = "object A: B\n X = ";
    for (int i = 0; i < 40; ++i) items += "< item Y = ";
    EXPECT_THROW(read_definition(items), definition_error);
}

}  // namespace
}  // namespace flinter::definition
