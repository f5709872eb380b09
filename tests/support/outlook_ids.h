// Microsoft's published identifiers of the Outlook and Office objects and
// event interfaces, as the tests ask for them. Written here independently of
// the simulated Outlook's own list, so that a wrong identifier there shows.
#pragma once

#include <windows.h>

namespace flinter::testing_support::outlook {

// {xxxxxxxx-0000-0000-C000-000000000046}, the pattern of every Outlook and Office identifier used here.
constexpr GUID published(unsigned long first) { return {first, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }

inline constexpr GUID CLSID_Application = published(0x0006F03A);
inline constexpr GUID IID_Application = published(0x00063001);
inline constexpr GUID IID_Explorer = published(0x00063003);
inline constexpr GUID IID_Inspector = published(0x00063005);
inline constexpr GUID IID_MAPIFolder = published(0x00063006);
inline constexpr GUID IID_PropertyPages = published(0x00063080);
inline constexpr GUID DIID_ApplicationEvents = published(0x0006304E);
inline constexpr GUID DIID_ExplorerEvents = published(0x0006304F);
inline constexpr GUID DIID_ExplorersEvents = published(0x00063078);
inline constexpr GUID DIID_InspectorsEvents = published(0x00063079);
inline constexpr GUID DIID_InspectorEvents = published(0x0006307D);
inline constexpr GUID DIID_NameSpaceEvents = published(0x0006308C);
inline constexpr GUID IID_CommandBars = published(0x000C0302);
inline constexpr GUID IID_CommandBarButton = published(0x000C030E);
inline constexpr GUID IID_COMAddIn = published(0x000C033A);
inline constexpr GUID DIID_CommandBarButtonEvents = published(0x000C0351);
inline constexpr GUID DIID_CommandBarComboBoxEvents = published(0x000C0354);

// Event DISPIDs of the explorer, in Outlook's numbering.
inline constexpr DISPID kActivate = 0xF001, kFolderSwitch = 0xF002, kBeforeFolderSwitch = 0xF003,
                        kViewSwitch = 0xF004, kBeforeViewSwitch = 0xF005, kDeactivate = 0xF006,
                        kSelectionChange = 0xF007, kClose = 0xF008;

}  // namespace flinter::testing_support::outlook
