#include "journey_step.h"

#include <charconv>

namespace journeys {
namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string journey_step::rest(std::size_t first) const {
    std::string joined;
    for (std::size_t i = first; i < words.size(); ++i) joined += (i > first ? " " : "") + words[i];
    return joined;
}

const std::string& journey_step::word(std::size_t index) const {
    static const std::string none;
    return index < words.size() ? words[index] : none;
}

int journey_step::number(std::size_t index) const {
    const std::string& text = word(index);
    int value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0 ? value : -1;
}

std::string journey_step::line() const { return words.empty() ? verb : verb + " " + rest(0); }

journey_step parse_step(std::string_view line) {
    journey_step step;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !blank(line[i])) ++i;
        if (i == start) break;
        const std::string word(line.substr(start, i - start));
        if (step.verb.empty()) step.verb = word;
        else step.words.push_back(word);
    }
    return step;
}

std::vector<journey_step> parse_journey(std::string_view text) {
    std::vector<journey_step> steps;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        journey_step step = parse_step(line);
        if (!step.verb.empty() && step.verb[0] != '#') steps.push_back(std::move(step));
    }
    return steps;
}

std::string format_journey(const std::vector<journey_step>& steps) {
    std::string text;
    for (const auto& step : steps) text += step.line() + "\n";
    return text;
}

}  // namespace journeys
