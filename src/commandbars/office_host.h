// The Office applications the command-bar model knows, and sets of them.
// Header-only; no thread affinity; never throws.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace flinter {

enum TafwOfficeHostApp : int {
    ohaExcel = 0, ohaWord, ohaOutlook, ohaPowerPoint, ohaAccess,
    ohaProject, ohaFrontPage, ohaMapPoint, ohaVisio, ohaPublisher,
};
inline constexpr int kOfficeHostAppCount = 10;

// The enumerator names, as the stored definition spells them.
inline constexpr std::string_view kOfficeHostAppNames[kOfficeHostAppCount] = {
    "ohaExcel", "ohaWord", "ohaOutlook", "ohaPowerPoint", "ohaAccess",
    "ohaProject", "ohaFrontPage", "ohaMapPoint", "ohaVisio", "ohaPublisher",
};

class TafwHostAppSet {
public:
    constexpr TafwHostAppSet() noexcept = default;
    constexpr TafwHostAppSet(std::initializer_list<TafwOfficeHostApp> apps) noexcept {
        for (TafwOfficeHostApp app : apps) insert(app);
    }
    constexpr bool contains(TafwOfficeHostApp app) const noexcept { return (bits_ >> app) & 1u; }
    constexpr void insert(TafwOfficeHostApp app) noexcept { bits_ |= static_cast<std::uint16_t>(1u << app); }
    constexpr bool empty() const noexcept { return bits_ == 0; }
    constexpr bool operator==(const TafwHostAppSet&) const noexcept = default;

private:
    std::uint16_t bits_ = 0;
};

}  // namespace flinter
