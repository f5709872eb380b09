// libFuzzer entry: arbitrary bytes as a stored definition. Malformed text must
// end in definition_error naming a line of the text; a tree that was read must
// read back the same from its own canonical text, and each value must answer
// to exactly one accessor. Input starting with '=' is one property's value
// instead, and a number read from it must be what the number rule says.
// Aborts on a broken invariant.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "core/definition/stored_definition.h"

namespace {

using namespace flinter::definition;

[[noreturn]] void broken(const std::string& what) {
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::abort();
}

// A file is found unless its name ends in ".none"; its content is its name.
std::optional<std::vector<std::uint8_t>> load(std::string_view name) {
    if (name.ends_with(".none")) return std::nullopt;
    return std::vector<std::uint8_t>(name.begin(), name.end());
}

// ---- The canonical text of a tree: one item per line, every byte escaped ----

void write_text(std::string& out, const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void write_properties(std::string& out, const property_list& properties);

void write_value(std::string& out, const value& v) {
    static constexpr char kHex[] = "0123456789abcdef";
    if (const auto* n = std::get_if<std::int32_t>(&v.data)) {
        out += std::to_string(*n);
    } else if (const auto* t = std::get_if<text_value>(&v.data)) {
        write_text(out, t->text);
    } else if (const auto* name = std::get_if<name_value>(&v.data)) {
        out += name->name;
    } else if (const auto* set = std::get_if<set_value>(&v.data)) {
        out += '[';
        for (std::size_t i = 0; i < set->names.size(); ++i) out += (i ? ", " : "") + set->names[i];
        out += ']';
    } else if (const auto* bytes = std::get_if<bytes_value>(&v.data)) {
        out += '{';
        for (const std::uint8_t b : bytes->bytes) {
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
        out += '}';
    } else {
        out += "<\n";
        for (const property_list& item : std::get<items_value>(v.data).items) {
            out += "item\n";
            write_properties(out, item);
            out += "end\n";
        }
        out += '>';
    }
}

void write_properties(std::string& out, const property_list& properties) {
    for (const property& p : properties) {
        out += p.name + " = ";
        write_value(out, p.v);
        out += '\n';
    }
}

void write_object(std::string& out, const object& o) {
    out += "object " + o.name + ": " + o.class_name + "\n";
    write_properties(out, o.properties);
    for (const object& child : o.children) write_object(out, child);
    out += "end\n";
}

// ---- Comparison without line numbers ----

bool same_properties(const property_list& a, const property_list& b);

bool same_value(const value& a, const value& b) {
    if (a.data.index() != b.data.index()) return false;
    if (const auto* x = std::get_if<std::int32_t>(&a.data)) return *x == std::get<std::int32_t>(b.data);
    if (const auto* x = std::get_if<text_value>(&a.data)) return x->text == std::get<text_value>(b.data).text;
    if (const auto* x = std::get_if<name_value>(&a.data)) return x->name == std::get<name_value>(b.data).name;
    if (const auto* x = std::get_if<set_value>(&a.data)) return x->names == std::get<set_value>(b.data).names;
    if (const auto* x = std::get_if<bytes_value>(&a.data)) return x->bytes == std::get<bytes_value>(b.data).bytes;
    const auto& xs = std::get<items_value>(a.data).items;
    const auto& ys = std::get<items_value>(b.data).items;
    if (xs.size() != ys.size()) return false;
    for (std::size_t i = 0; i < xs.size(); ++i)
        if (!same_properties(xs[i], ys[i])) return false;
    return true;
}

bool same_properties(const property_list& a, const property_list& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || !same_value(a[i].v, b[i].v)) return false;
    return true;
}

bool same_object(const object& a, const object& b) {
    if (a.name != b.name || a.class_name != b.class_name || !same_properties(a.properties, b.properties) ||
        a.children.size() != b.children.size())
        return false;
    for (std::size_t i = 0; i < a.children.size(); ++i)
        if (!same_object(a.children[i], b.children[i])) return false;
    return true;
}

// ---- Per-value checks ----

template <class Access>
int answers(Access access) {
    try {
        access();
        return 1;
    } catch (const definition_error&) {
        return 0;
    }
}

void check_values(const property_list& properties, int last_line);

void check_value(const value& v, int last_line) {
    if (v.line < 1 || v.line > last_line) broken("value line " + std::to_string(v.line));
    const int kinds = answers([&] { v.as_integer(); }) + answers([&] { v.as_text(); }) +
                      answers([&] { v.as_name(); }) + answers([&] { v.as_set(); }) +
                      answers([&] { v.as_bytes(); }) + answers([&] { v.as_items(); });
    if (kinds != 1) broken("a value answers to " + std::to_string(kinds) + " accessors");
    answers([&] { v.as_boolean(); });
    if (const auto* items = std::get_if<items_value>(&v.data))
        for (const property_list& item : items->items) check_values(item, last_line);
}

void check_values(const property_list& properties, int last_line) {
    for (const property& p : properties) {
        if (p.name.empty()) broken("a property without a name");
        if (find(properties, p.name) == nullptr) broken("find misses " + p.name);
        check_value(p.v, last_line);
    }
}

void check_object(const object& o, int first_line, int last_line) {
    if (o.line < first_line || o.line > last_line) broken("object line " + std::to_string(o.line));
    if (o.name.empty() || o.class_name.empty()) broken("an object without a name or class");
    check_values(o.properties, last_line);
    for (const object& child : o.children) check_object(child, o.line, last_line);
}

// The number rule, read plainly: an optional minus, then decimal digits or
// "0x" and hex digits; a hex pattern up to 32 bits wraps, anything else must
// fit a 32-bit signed integer.
std::optional<std::int32_t> reference_number(std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    const bool hex = text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    std::uint64_t magnitude = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : !hex                 ? -1
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (magnitude > 0xFFFFFFFFull) return std::nullopt;
    }
    if (hex && !negative) return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    const std::int64_t v = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

// Blanks as the reader skips them: any white space.
std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// A value alone on its line, without a comment: read as a number exactly when
// the rule reads it, and as the same number.
void check_number(std::string_view literal) {
    if (literal.find_first_of("#\n") != std::string_view::npos) return;
    literal = trimmed(literal);
    if (literal.empty() || (literal[0] != '-' && (literal[0] < '0' || literal[0] > '9'))) return;
    const std::string text = "object A: B\n X = " + std::string(literal) + "\nend\n";
    std::optional<std::int32_t> read;
    try {
        const object o = read_definition(text);
        if (o.properties.size() != 1) return;  // more than one value: "0x1 Y = 2"
        read = o.properties[0].v.as_integer();
    } catch (const definition_error&) {
    }
    if (read != reference_number(literal)) broken("the number " + std::string(literal));
}

int line_count(std::string_view text) {
    int lines = 1;
    for (const char c : text) lines += c == '\n';
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (text.starts_with('=')) {
        check_number(text.substr(1));
        return 0;
    }
    const int last_line = line_count(text);
    object tree;
    try {
        tree = read_definition(text, load);
    } catch (const definition_error& e) {
        const std::string prefix = "line " + std::to_string(e.line()) + ": ";
        if (e.line() < 1 || e.line() > last_line) broken("error names line " + std::to_string(e.line()));
        if (std::string_view(e.what()).substr(0, prefix.size()) != prefix) broken(std::string("message ") + e.what());
        return 0;
    }
    check_object(tree, 1, last_line);

    std::string canonical;
    write_object(canonical, tree);
    object again;
    try {
        again = read_definition(canonical);
    } catch (const definition_error& e) {
        broken(std::string("its own canonical text is refused: ") + e.what() + "\n" + canonical);
    }
    if (!same_object(tree, again)) broken("the canonical text reads as another tree:\n" + canonical);
    return 0;
}
