// The command-bar model's enumerations, the Office values they stand for, and
// their names in the stored definition. Pure; no thread affinity; the
// lookups by name return nullopt for unknown names.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace flinter {

enum TafwMsoBarPosition : int {
    afwMsoBarLeft = 0, afwMsoBarTop, afwMsoBarRight, afwMsoBarBottom,
    afwMsoBarFloating, afwMsoBarPopup, afwMsoBarMenuBar,
};

enum TafwMsoBarProtection : int {
    afwMsoBarNoProtection = 0, afwMsoBarNoCustomize, afwMsoBarNoResize, afwMsoBarNoMove,
    afwMsoBarNoChangeVisible, afwMsoBarNoChangeDock, afwMsoBarNoVerticalDock, afwMsoBarNoHorizontalDock,
};

enum TafwMsoButtonStyle : int {
    afwMsoButtonAutomatic = 0, afwMsoButtonIcon, afwMsoButtonCaption, afwMsoButtonIconAndCaption,
    afwMsoButtonIconAndWrapCaption, afwMsoButtonIconAndCaptionBelow, afwMsoButtonWrapCaption,
    afwMsoButtonIconAndWrapCaptionBelow,
};

enum TafwMsoButtonState : int { afwMsoButtonUp = 0, afwMsoButtonDown, afwMsoButtonMixed };

enum TafwMsoCommandBarButtonHyperlinkType : int {
    afwMsoCommandBarButtonHyperlinkNone = 0, afwMsoCommandBarButtonHyperlinkOpen,
    afwMsoCommandBarButtonHyperlinkInsertPicture,
};

enum TafwMsoComboStyle : int { afwMsoComboNormal = 0, afwMsoComboLabel };

// Ordinals equal Outlook's OlItemType, which a folder's DefaultItemType returns.
enum TafwOLItemType : int {
    afwOLMailItem = 0, afwOLAppointmentItem, afwOLContactItem, afwOLTaskItem,
    afwOLJournalItem, afwOLNoteItem, afwOLPostItem, afwOLDistributionListItem,
};

enum TafwOLItemTypeAction : int { afwOLActionNone = 0, afwOLActionShow, afwOLActionEnable };

// A set of TafwOLItemType, one bit per ordinal.
class TafwOLItemTypes {
public:
    constexpr TafwOLItemTypes() noexcept = default;
    static constexpr TafwOLItemTypes of(TafwOLItemType type) noexcept {
        TafwOLItemTypes set;
        set.insert(type);
        return set;
    }
    constexpr bool contains(int type) const noexcept { return type >= 0 && type < 8 && ((bits_ >> type) & 1u); }
    constexpr void insert(TafwOLItemType type) noexcept { bits_ |= static_cast<std::uint8_t>(1u << type); }
    constexpr bool operator==(const TafwOLItemTypes&) const noexcept = default;

private:
    std::uint8_t bits_ = 0;
};

// The Office value written to and read from the host.
int host_position(TafwMsoBarPosition position) noexcept;
int host_protection(TafwMsoBarProtection protection) noexcept;
int host_button_style(TafwMsoButtonStyle style) noexcept;

// Reading back: a position outside 0..6 and a protection that is no single
// flag read as nullopt (the caller decides); see the property getters.
std::optional<TafwMsoBarPosition> position_from_host(int value) noexcept;
TafwMsoBarProtection protection_from_host(int value) noexcept;   // combinations: afwMsoBarNoProtection
std::optional<TafwMsoButtonStyle> button_style_from_host(int value) noexcept;

// Names of the stored definition compare without regard to ASCII case.
bool same_name(std::string_view a, std::string_view b) noexcept;

// Case-insensitive lookups of enumerator names ("afwMsoBarTop").
std::optional<int> position_named(std::string_view name) noexcept;
std::optional<int> protection_named(std::string_view name) noexcept;
std::optional<int> button_style_named(std::string_view name) noexcept;
std::optional<int> button_state_named(std::string_view name) noexcept;
std::optional<int> hyperlink_type_named(std::string_view name) noexcept;
std::optional<int> combo_style_named(std::string_view name) noexcept;
std::optional<int> item_type_named(std::string_view name) noexcept;
std::optional<int> item_type_action_named(std::string_view name) noexcept;

}  // namespace flinter
