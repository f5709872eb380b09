// The stored definition of a component tree (the add-in module with its
// toolbar and buttons): a small text format read into a tree of named values
// that the components then interpret. Pure; throws definition_error on
// malformed text and std::bad_alloc.
//
//   object AddInModule: TAddInModule          # comments run to the end of the line
//     AddInName = "DOD_Flinter"               # text: UTF-8, escapes \" \\ \r \n \t \xHH
//     LoadBehavior = 3                        # integer: decimal or 0x hex, 32-bit signed
//     SupportedApps = [ohaOutlook]            # set of names
//     OnDestroy = afwCOMAddInModuleDestroy    # name: enumerators, handlers, colours, true/false
//     object afwOlExplorerCommandbar1: TafwOlExplorerCommandbar
//       ButtonTypes = {04000000 00000000 ...} # bytes in hex
//       Buttons = <
//         item 0                              # the number after "item" is an optional order marker
//           Caption = "Spam"
//           Glyph.Data = file("spam.bmp")     # a 32-bit little-endian byte count, then the file's bytes
//         end>
//     end
//   end
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace flinter::definition {

class definition_error : public std::runtime_error {
public:
    definition_error(int line, const std::string& message);
    int line() const noexcept { return line_; }

private:
    int line_;
};

struct value;
struct property;
using property_list = std::vector<property>;

struct text_value { std::string text; };
struct name_value { std::string name; };
struct set_value { std::vector<std::string> names; };
struct bytes_value { std::vector<std::uint8_t> bytes; };
struct items_value { std::vector<property_list> items; };
struct strings_value { std::vector<std::string> texts; };   // ("a" "b")

struct value {
    std::variant<std::int32_t, text_value, name_value, set_value, bytes_value, items_value, strings_value> data;
    int line = 0;

    // Each throws definition_error (naming the line) when the value is of another kind.
    std::int32_t as_integer() const;
    const std::string& as_text() const;
    const std::string& as_name() const;
    bool as_boolean() const;   // the names true and false, in any case
    const std::vector<std::string>& as_set() const;
    const std::vector<std::uint8_t>& as_bytes() const;
    const std::vector<property_list>& as_items() const;
    const std::vector<std::string>& as_strings() const;
};

struct property {
    std::string name;   // may contain dots: Glyph.Data
    value v;
};

struct object {
    std::string name;         // component name: afwOlExplorerCommandbar1
    std::string class_name;   // TafwOlExplorerCommandbar
    property_list properties;   // in stored order
    std::vector<object> children;
    int line = 0;
};

// The value of the first property of that name (names compare without case), or null.
const value* find(const property_list& properties, std::string_view name);

// Resolves file("name") to the file's bytes; nullopt when there is no such file.
using file_loader = std::function<std::optional<std::vector<std::uint8_t>>(std::string_view name)>;

// Reads one top-level object; anything but blanks and comments after it is an error.
object read_definition(std::string_view text, const file_loader& load_file = {});

}  // namespace flinter::definition
