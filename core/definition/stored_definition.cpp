#include "core/definition/stored_definition.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace flinter::definition {
namespace {

// Deeper nesting than any real toolbar needs; keeps hostile text from
// exhausting the stack.
constexpr int kMaxDepth = 32;

bool is_name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool equal_no_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

class reader {
public:
    reader(std::string_view text, const file_loader& load_file) : text_(text), load_file_(load_file) {}

    object read_top() {
        object result = read_object(0);
        skip_blanks();
        if (pos_ != text_.size()) fail("text after the end of the definition");
        return result;
    }

private:
    [[noreturn]] void fail(const std::string& message) const { throw definition_error(line_, message); }

    void skip_blanks() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '#') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
            } else if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++pos_;
            } else {
                return;
            }
        }
    }

    char peek() {
        skip_blanks();
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }

    void expect(char c) {
        if (peek() != c) fail(std::string("'") + c + "' expected");
        ++pos_;
    }

    std::string read_name() {
        if (!is_name_start(peek())) fail("a name expected");
        const std::size_t start = pos_;
        while (pos_ < text_.size() && is_name_char(text_[pos_])) ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }

    bool next_word_is(std::string_view word) {
        skip_blanks();
        if (text_.substr(pos_, word.size()) != word) return false;
        const std::size_t after = pos_ + word.size();
        return after == text_.size() || !is_name_char(text_[after]);
    }

    void expect_word(std::string_view word) {
        if (!next_word_is(word)) fail("'" + std::string(word) + "' expected");
        pos_ += word.size();
    }

    object read_object(int depth) {
        if (depth > kMaxDepth) fail("nested too deeply");
        object result;
        result.line = line_;
        expect_word("object");
        result.name = read_name();
        expect(':');
        result.class_name = read_name();
        while (!next_word_is("end")) {
            if (pos_ >= text_.size()) fail("'end' missing for object " + result.name);
            if (next_word_is("object"))
                result.children.push_back(read_object(depth + 1));
            else
                result.properties.push_back(read_property(depth));
        }
        expect_word("end");
        return result;
    }

    property read_property(int depth) {
        property result;
        result.name = read_name();
        expect('=');
        result.v = read_value(depth);
        return result;
    }

    value read_value(int depth) {
        value result;
        result.line = line_;
        const char c = peek();
        if (c == '"') result.data = text_value{read_text()};
        else if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) result.data = read_integer();
        else if (c == '[') result.data = read_set();
        else if (c == '{') result.data = bytes_value{read_hex()};
        else if (c == '<') result.data = read_items(depth);
        else if (c == '(') result.data = read_strings();
        else if (next_word_is("file")) result.data = bytes_value{read_file()};
        else if (is_name_start(c)) result.data = name_value{read_name()};
        else fail("a value expected");
        return result;
    }

    std::string read_text() {
        expect('"');
        std::string result;
        while (true) {
            if (pos_ >= text_.size() || text_[pos_] == '\n') fail("text not closed");
            const char c = text_[pos_++];
            if (c == '"') return result;
            if (c != '\\') {
                result += c;
                continue;
            }
            if (pos_ >= text_.size()) fail("text not closed");
            switch (const char e = text_[pos_++]) {
                case '"': case '\\': result += e; break;
                case 'n': result += '\n'; break;
                case 'r': result += '\r'; break;
                case 't': result += '\t'; break;
                case 'x': {
                    const int high = pos_ < text_.size() ? hex_digit(text_[pos_]) : -1;
                    const int low = pos_ + 1 < text_.size() ? hex_digit(text_[pos_ + 1]) : -1;
                    if (high < 0 || low < 0) fail("\\x needs two hex digits");
                    result += static_cast<char>(high * 16 + low);
                    pos_ += 2;
                    break;
                }
                default: fail(std::string("unknown escape \\") + e);
            }
        }
    }

    std::int32_t read_integer() {
        skip_blanks();
        const bool negative = text_[pos_] == '-';
        if (negative) ++pos_;
        int base = 10;
        if (text_.substr(pos_, 2) == "0x" || text_.substr(pos_, 2) == "0X") {
            base = 16;
            pos_ += 2;
        }
        // Unsigned, so that a second sign after the first is no number.
        std::uint64_t magnitude = 0;
        const char* first = text_.data() + pos_;
        const char* last = text_.data() + text_.size();
        const auto [end, error] = std::from_chars(first, last, magnitude, base);
        if (error == std::errc::result_out_of_range) fail("number out of range");
        if (error != std::errc() || end == first) fail("a number expected");
        pos_ += static_cast<std::size_t>(end - first);
        if (pos_ < text_.size() && is_name_char(text_[pos_])) fail("a number expected");
        // Hex is a bit pattern (colours, flags): 0x80000000 and above wrap to negative.
        if (base == 16 && !negative && magnitude <= 0xFFFFFFFFu)
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
        const std::uint64_t largest = negative ? 2147483648u : 2147483647u;
        if (magnitude > largest) fail("number out of range");
        const auto v = static_cast<std::int64_t>(magnitude);
        return static_cast<std::int32_t>(negative ? -v : v);
    }

    set_value read_set() {
        expect('[');
        set_value result;
        if (peek() == ']') {
            ++pos_;
            return result;
        }
        while (true) {
            result.names.push_back(read_name());
            if (peek() == ']') break;
            expect(',');
        }
        ++pos_;
        return result;
    }

    strings_value read_strings() {
        expect('(');
        strings_value result;
        while (peek() != ')') result.texts.push_back(read_text());
        ++pos_;
        return result;
    }

    std::vector<std::uint8_t> read_hex() {
        expect('{');
        std::vector<std::uint8_t> bytes;
        int high = -1;
        while (peek() != '}') {
            if (pos_ >= text_.size()) fail("'}' missing");
            const int digit = hex_digit(text_[pos_++]);
            if (digit < 0) fail("hex digit expected");
            if (high < 0) {
                high = digit;
            } else {
                bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
                high = -1;
            }
        }
        ++pos_;
        if (high >= 0) fail("odd number of hex digits");
        return bytes;
    }

    std::vector<std::uint8_t> read_file() {
        expect_word("file");
        expect('(');
        const std::string name = read_text();
        expect(')');
        std::optional<std::vector<std::uint8_t>> content;
        if (load_file_) content = load_file_(name);
        if (!content) fail("file \"" + name + "\" not found");
        if (content->size() > std::numeric_limits<std::uint32_t>::max()) fail("file \"" + name + "\" too large");
        const auto size = static_cast<std::uint32_t>(content->size());
        // Its length as four little-endian bytes, then the content.
        std::vector<std::uint8_t> bytes;
        bytes.reserve(4 + content->size());
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(size >> shift));
        bytes.insert(bytes.end(), content->begin(), content->end());
        return bytes;
    }

    items_value read_items(int depth) {
        if (depth + 1 > kMaxDepth) fail("nested too deeply");
        expect('<');
        items_value result;
        while (peek() != '>') {
            expect_word("item");
            if (std::isdigit(static_cast<unsigned char>(peek()))) read_integer();   // order marker
            property_list item;
            while (!next_word_is("end")) {
                if (pos_ >= text_.size()) fail("'end' missing for an item");
                item.push_back(read_property(depth + 1));
            }
            expect_word("end");
            result.items.push_back(std::move(item));
        }
        ++pos_;
        return result;
    }

    std::string_view text_;
    const file_loader& load_file_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

template <class T>
const T& expect_kind(const value& v, const char* kind) {
    if (const T* found = std::get_if<T>(&v.data)) return *found;
    throw definition_error(v.line, std::string(kind) + " expected");
}

}  // namespace

definition_error::definition_error(int line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}

std::int32_t value::as_integer() const { return expect_kind<std::int32_t>(*this, "a number"); }
const std::string& value::as_text() const { return expect_kind<text_value>(*this, "a text").text; }
const std::string& value::as_name() const { return expect_kind<name_value>(*this, "a name").name; }
const std::vector<std::string>& value::as_set() const { return expect_kind<set_value>(*this, "a set").names; }
const std::vector<std::uint8_t>& value::as_bytes() const { return expect_kind<bytes_value>(*this, "bytes").bytes; }
const std::vector<std::string>& value::as_strings() const {
    return expect_kind<strings_value>(*this, "a list of texts").texts;
}
const std::vector<property_list>& value::as_items() const {
    return expect_kind<items_value>(*this, "a list of items").items;
}

bool value::as_boolean() const {
    const std::string& name = expect_kind<name_value>(*this, "true or false").name;
    if (equal_no_case(name, "true")) return true;
    if (equal_no_case(name, "false")) return false;
    throw definition_error(line, "true or false expected");
}

const value* find(const property_list& properties, std::string_view name) {
    for (const property& p : properties)
        if (equal_no_case(p.name, name)) return &p.v;
    return nullptr;
}

object read_definition(std::string_view text, const file_loader& load_file) {
    return reader(text, load_file).read_top();
}

}  // namespace flinter::definition
