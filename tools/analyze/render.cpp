// Output rendering for flinter-analyze; see render.h.
#include "render.h"

#include <algorithm>

namespace flinter::analyze {

namespace {

const char* ansi_start(emphasis_kind kind) {
    switch (kind) {
    case emphasis_kind::title: return "\x1b[1m";
    case emphasis_kind::section: return "\x1b[1;4m";
    case emphasis_kind::alert: return "\x1b[1;31m";
    }
    return "";
}

const char* kind_name(emphasis_kind kind) {
    switch (kind) {
    case emphasis_kind::title: return "title";
    case emphasis_kind::section: return "section";
    case emphasis_kind::alert: return "alert";
    }
    return "";
}

// Appends one code point below 0x100 to a JSON string body.
void append_json_char(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    default: break;
    }
    if (c < 0x20) {
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    } else if (c < 0x80) {
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool is_valid_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        unsigned min = 0;
        unsigned cp = 0;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) { n = 1; min = 0x80; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { n = 2; min = 0x800; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { n = 3; min = 0x10000; cp = c & 0x07; }
        else return false;
        if (i + n >= s.size()) return false;   // truncated sequence
        for (std::size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

std::string json_name(std::string_view name) {
    if (!is_valid_utf8(name)) return json_latin1(name);
    std::string out = "\"";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            append_json_char(out, u);
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

void append_field(std::string& out, const char* name, const std::string& value, bool first = false) {
    if (!first) out += ", ";
    out += '"';
    out += name;
    out += "\": ";
    out += json_latin1(value);
}

void append_flag(std::string& out, const char* name, bool value, bool first = false) {
    if (!first) out += ", ";
    out += '"';
    out += name;
    out += "\": ";
    out += value ? "true" : "false";
}

}  // namespace

std::string render_plain(const THeaderEvaluation& evaluation, bool color) {
    std::string out;
    for (const TEvaluationLine& line : evaluation.lines) {
        if (color && line.emphasis) {
            const std::string_view text = line.text;
            const std::size_t start = std::min(line.emphasis->start, text.size());
            const std::size_t length = std::min(line.emphasis->length, text.size() - start);
            out += text.substr(0, start);
            out += ansi_start(line.emphasis->kind);
            out += text.substr(start, length);
            out += "\x1b[0m";
            out += text.substr(start + length);
        } else {
            out += line.text;
        }
        out += '\n';
    }
    return out;
}

std::string json_latin1(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (const char c : bytes) append_json_char(out, static_cast<unsigned char>(c));
    out += '"';
    return out;
}

std::string render_json(std::string_view file_name, const THeaderEvaluation& evaluation) {
    const THeaderFindings& f = evaluation.findings;
    std::string out = "{\"file\": " + json_name(file_name) + ", \"findings\": {";
    append_flag(out, "WentThroughPostini", f.WentThroughPostini, true);
    append_flag(out, "Scanned", f.Scanned);
    append_flag(out, "TwoStrikeClear", f.TwoStrikeClear);
    append_field(out, "ApprovedSenders", f.ApprovedSenders);
    append_field(out, "SpamScore", f.SpamScore);
    append_field(out, "RaciallyInsensitive", f.RaciallyInsensitive);
    append_field(out, "SexuallyExplicit", f.SexuallyExplicit);
    append_field(out, "MakeMoneyFast", f.MakeMoneyFast);
    append_field(out, "CommercialOffer", f.CommercialOffer);
    append_field(out, "BulkFilterSetting", f.BulkFilterSetting);
    append_field(out, "BulkFilterValue", f.BulkFilterValue);
    append_field(out, "SpamThreshold", f.SpamThreshold);
    append_field(out, "LegalContent", f.LegalContent);
    append_field(out, "FinancialContent", f.FinancialContent);
    append_field(out, "LegalTransport", f.LegalTransport);
    append_field(out, "FinancialTransport", f.FinancialTransport);
    out += "}, \"lines\": [";
    bool first = true;
    for (const TEvaluationLine& line : evaluation.lines) {
        if (!first) out += ", ";
        first = false;
        out += "{\"text\": " + json_latin1(line.text) + ", \"emphasis\": ";
        if (line.emphasis) {
            out += "{\"kind\": \"";
            out += kind_name(line.emphasis->kind);
            out += "\", \"start\": " + std::to_string(line.emphasis->start) +
                   ", \"length\": " + std::to_string(line.emphasis->length) + "}";
        } else {
            out += "null";
        }
        out += '}';
    }
    out += "]}\n";
    return out;
}

}  // namespace flinter::analyze
