#include "core/settings/update_rules.h"

#include <algorithm>

namespace flinter {

bool IsUpdateCheckDue(double last_check, double now) {
    return now - last_check >= kUpdateCheckIntervalDays;
}

bool IsUpdateAnnounced(std::string_view body) {
    if (body.size() > 4) return false;
    const std::size_t common = std::min(body.size(), kProductVersion.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto a = static_cast<unsigned char>(body[i]);
        const auto b = static_cast<unsigned char>(kProductVersion[i]);
        if (a != b) return a > b;
    }
    return body.size() > kProductVersion.size();
}

}  // namespace flinter
