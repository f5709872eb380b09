// Microsoft's published identifiers the framework binds to: Office's
// command-bar and COM add-in interfaces with the control types it creates,
// and Outlook's interfaces. Most share one pattern,
// {xxxxxxxx-0000-0000-C000-000000000046}. Header-only.
#pragma once

#include <windows.h>

namespace flinter {

constexpr GUID office_guid(unsigned long first) noexcept { return {first, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }

namespace office {

inline constexpr GUID IID__CommandBars = office_guid(0x000C0302);
inline constexpr GUID IID_CommandBarControl = office_guid(0x000C0308);
inline constexpr GUID IID_CommandBarPopup = office_guid(0x000C030A);
inline constexpr GUID IID__CommandBarComboBox = office_guid(0x000C030C);
inline constexpr GUID IID__CommandBarButton = office_guid(0x000C030E);
inline constexpr GUID DIID__CommandBarButtonEvents = office_guid(0x000C0351);
inline constexpr GUID DIID__CommandBarComboBoxEvents = office_guid(0x000C0354);
inline constexpr GUID IID_COMAddIn = office_guid(0x000C033A);

// MsoControlType values the model creates.
inline constexpr int msoControlCustom = 0, msoControlButton = 1, msoControlEdit = 2, msoControlDropdown = 3,
                     msoControlComboBox = 4, msoControlPopup = 10;

}  // namespace office

namespace outlook {

inline constexpr GUID IID__Application = office_guid(0x00063001);
inline constexpr GUID IID_PropertyPages = office_guid(0x00063080);
inline constexpr GUID IID_MAPIFolder = office_guid(0x00063006);

// The item class of a note (OlObjectClass olNote).
inline constexpr int olNote = 44;

}  // namespace outlook
}  // namespace flinter
