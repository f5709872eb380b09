// Office's published identifiers of the command-bar interfaces the model binds
// to, and of their event interfaces. Header-only.
#pragma once

#include <windows.h>

namespace flinter::office {

constexpr GUID office_iid(unsigned long first) noexcept { return {first, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }

inline constexpr GUID IID__CommandBars = office_iid(0x000C0302);
inline constexpr GUID IID_CommandBarControl = office_iid(0x000C0308);
inline constexpr GUID IID_CommandBarPopup = office_iid(0x000C030A);
inline constexpr GUID IID__CommandBarComboBox = office_iid(0x000C030C);
inline constexpr GUID IID__CommandBarButton = office_iid(0x000C030E);
inline constexpr GUID DIID__CommandBarButtonEvents = office_iid(0x000C0351);
inline constexpr GUID DIID__CommandBarComboBoxEvents = office_iid(0x000C0354);

// MsoControlType values the model creates.
inline constexpr int msoControlCustom = 0, msoControlButton = 1, msoControlEdit = 2, msoControlDropdown = 3,
                     msoControlComboBox = 4, msoControlPopup = 10;

}  // namespace flinter::office
