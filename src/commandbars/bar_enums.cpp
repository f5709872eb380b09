#include "commandbars/bar_enums.h"

#include <array>

namespace flinter {
namespace {

constexpr std::array<int, 8> kProtectionValues = {0, 1, 2, 4, 8, 16, 32, 64};
constexpr std::array<int, 8> kButtonStyleValues = {0, 1, 2, 3, 7, 11, 14, 15};

template <std::size_t N>
std::optional<int> index_named(const std::array<std::string_view, N>& names, std::string_view name) noexcept {
    for (std::size_t i = 0; i < N; ++i)
        if (same_name(names[i], name)) return static_cast<int>(i);
    return std::nullopt;
}

template <std::size_t N>
std::optional<int> index_of(const std::array<int, N>& values, int value) noexcept {
    for (std::size_t i = 0; i < N; ++i)
        if (values[i] == value) return static_cast<int>(i);
    return std::nullopt;
}

}  // namespace

bool same_name(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

int host_position(TafwMsoBarPosition position) noexcept { return position & 0x7F; }
int host_protection(TafwMsoBarProtection protection) noexcept { return kProtectionValues.at(protection); }
int host_button_style(TafwMsoButtonStyle style) noexcept { return kButtonStyleValues.at(style); }

std::optional<TafwMsoBarPosition> position_from_host(int value) noexcept {
    if (value < afwMsoBarLeft || value > afwMsoBarMenuBar) return std::nullopt;
    return static_cast<TafwMsoBarPosition>(value);
}

TafwMsoBarProtection protection_from_host(int value) noexcept {
    return static_cast<TafwMsoBarProtection>(index_of(kProtectionValues, value).value_or(afwMsoBarNoProtection));
}

std::optional<TafwMsoButtonStyle> button_style_from_host(int value) noexcept {
    if (auto index = index_of(kButtonStyleValues, value)) return static_cast<TafwMsoButtonStyle>(*index);
    return std::nullopt;
}

std::optional<int> position_named(std::string_view name) noexcept {
    static constexpr std::array<std::string_view, 7> names = {
        "afwMsoBarLeft", "afwMsoBarTop", "afwMsoBarRight", "afwMsoBarBottom",
        "afwMsoBarFloating", "afwMsoBarPopup", "afwMsoBarMenuBar"};
    return index_named(names, name);
}

std::optional<int> protection_named(std::string_view name) noexcept {
    static constexpr std::array<std::string_view, 8> names = {
        "afwMsoBarNoProtection", "afwMsoBarNoCustomize", "afwMsoBarNoResize", "afwMsoBarNoMove",
        "afwMsoBarNoChangeVisible", "afwMsoBarNoChangeDock", "afwMsoBarNoVerticalDock",
        "afwMsoBarNoHorizontalDock"};
    return index_named(names, name);
}

std::optional<int> button_style_named(std::string_view name) noexcept {
    static constexpr std::array<std::string_view, 8> names = {
        "afwMsoButtonAutomatic", "afwMsoButtonIcon", "afwMsoButtonCaption", "afwMsoButtonIconAndCaption",
        "afwMsoButtonIconAndWrapCaption", "afwMsoButtonIconAndCaptionBelow", "afwMsoButtonWrapCaption",
        "afwMsoButtonIconAndWrapCaptionBelow"};
    return index_named(names, name);
}

std::optional<int> button_state_named(std::string_view name) noexcept {
    static constexpr std::array<std::string_view, 3> names = {"afwMsoButtonUp", "afwMsoButtonDown",
                                                              "afwMsoButtonMixed"};
    return index_named(names, name);
}

std::optional<int> hyperlink_type_named(std::string_view name) noexcept {
    static constexpr std::array<std::string_view, 3> names = {
        "afwMsoCommandBarButtonHyperlinkNone", "afwMsoCommandBarButtonHyperlinkOpen",
        "afwMsoCommandBarButtonHyperlinkInsertPicture"};
    return index_named(names, name);
}

std::optional<int> combo_style_named(std::string_view name) noexcept {
    static constexpr std::array<std::string_view, 2> names = {"afwMsoComboNormal", "afwMsoComboLabel"};
    return index_named(names, name);
}

std::optional<int> item_type_named(std::string_view name) noexcept {
    static constexpr std::array<std::string_view, 8> names = {
        "afwOLMailItem", "afwOLAppointmentItem", "afwOLContactItem", "afwOLTaskItem",
        "afwOLJournalItem", "afwOLNoteItem", "afwOLPostItem", "afwOLDistributionListItem"};
    return index_named(names, name);
}

std::optional<int> item_type_action_named(std::string_view name) noexcept {
    static constexpr std::array<std::string_view, 3> names = {"afwOLActionNone", "afwOLActionShow",
                                                              "afwOLActionEnable"};
    return index_named(names, name);
}

}  // namespace flinter
