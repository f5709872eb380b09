// When the weekly update check runs and what its answer means. Portable, pure.
#pragma once

#include <string_view>

#include "product.h"

namespace flinter {

inline constexpr double kUpdateCheckIntervalDays = 7.0;

// Due when at least a week has passed since the last completed check; a clock
// set back before it waits a week from the stored time.
bool IsUpdateCheckDue(double last_check, double now);

// An update is announced when the body is at most 4 characters and compares
// greater than kProductVersion byte by byte (unsigned; a longer text with the
// other as its prefix is greater).
bool IsUpdateAnnounced(std::string_view body);

}  // namespace flinter
