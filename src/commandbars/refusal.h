// The command-bar framework's refusals: a framework error with a number from
// 31101 to 31118 and the framework's own text. Any thread; the raise_
// functions throw.
#pragma once

#include <string>

#include "framework/framework_error.h"

namespace flinter {

class framework_refusal : public framework_error {
public:
    framework_refusal(int number, const std::string& message) : framework_error(message), number_(number) {}
    int number() const noexcept { return number_; }

private:
    int number_;
};

inline constexpr int kEmptyPropertyRefused = 31101;
inline constexpr int kBarNameCharacterRefused = 31102;
inline constexpr int kMapPointRefused = 31110;
inline constexpr int kContainerRefused = 31112;
inline constexpr int kAdvancedBarPositionRefused = 31114;
inline constexpr int kAdvancedBarProtectionRefused = 31115;
inline constexpr int kAdvancedInPopupRefused = 31116;
inline constexpr int kAdvancedInBuiltInBarRefused = 31118;

[[noreturn]] void raise_empty_property(const std::string& property);
[[noreturn]] void raise_bar_name_character(const std::string& bar_name);
[[noreturn]] void raise_map_point();
// owner_class: the class name of the would-be owner, or empty for none.
[[noreturn]] void raise_container(const std::string& component_class, const std::string& owner_class);
[[noreturn]] void raise_advanced_bar_position();
[[noreturn]] void raise_advanced_bar_protection();
[[noreturn]] void raise_advanced_in_popup();
[[noreturn]] void raise_advanced_in_built_in_bar();

}  // namespace flinter
