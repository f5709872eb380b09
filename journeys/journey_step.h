// A journey is a list of steps, each one line of text: a verb and its words
// ("click 2 Settings", "folder 1 Deleted Items"). A journey file holds one step
// a line ("#" starts a comment). The verbs are described in journey.cpp.
// Portable; throws only std::bad_alloc.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace journeys {

struct journey_step {
    std::string verb;
    std::vector<std::string> words;   // after the verb

    // The words from index first on, joined by blanks (a folder name, a typed value).
    std::string rest(std::size_t first) const;
    // The word at index, or "" when there is none.
    const std::string& word(std::size_t index) const;
    // The word at index as a number; -1 when it is none.
    int number(std::size_t index) const;
    std::string line() const;
    bool operator==(const journey_step&) const = default;
};

journey_step parse_step(std::string_view line);

// The steps of a journey file's text; empty and comment lines are left out.
std::vector<journey_step> parse_journey(std::string_view text);
std::string format_journey(const std::vector<journey_step>& steps);

}  // namespace journeys
