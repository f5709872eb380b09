// Microsoft's published interface identifiers of the Outlook and Office
// objects the host simulates, and the DISPIDs of their events.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace mailhost::ids {

constexpr GUID outlook(unsigned long n) { return {n, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }

inline constexpr GUID CLSID_Application = outlook(0x0006F03A);
inline constexpr GUID IID_Application = outlook(0x00063001);
inline constexpr GUID IID_NameSpace = outlook(0x00063002);
inline constexpr GUID IID_Explorer = outlook(0x00063003);
inline constexpr GUID IID_Inspector = outlook(0x00063005);
inline constexpr GUID IID_MAPIFolder = outlook(0x00063006);
inline constexpr GUID IID_Attachment = outlook(0x00063007);
inline constexpr GUID IID_Inspectors = outlook(0x00063008);
inline constexpr GUID IID_Explorers = outlook(0x0006300A);
inline constexpr GUID IID_MailItem = outlook(0x00063034);
inline constexpr GUID IID_Recipients = outlook(0x0006303B);
inline constexpr GUID IID_Attachments = outlook(0x0006303C);
inline constexpr GUID IID_Folders = outlook(0x00063040);
inline constexpr GUID IID_Items = outlook(0x00063041);
inline constexpr GUID IID_Recipient = outlook(0x00063045);
inline constexpr GUID IID_Selection = outlook(0x00063087);
inline constexpr GUID IID_PropertyPages = outlook(0x00063080);
inline constexpr GUID DIID_ApplicationEvents = outlook(0x0006304E);
inline constexpr GUID DIID_ExplorerEvents = outlook(0x0006304F);
inline constexpr GUID DIID_ExplorersEvents = outlook(0x00063078);
inline constexpr GUID DIID_InspectorsEvents = outlook(0x00063079);
inline constexpr GUID DIID_InspectorEvents = outlook(0x0006307D);
inline constexpr GUID DIID_NameSpaceEvents = outlook(0x0006308C);

inline constexpr GUID IID_CommandBars = outlook(0x000C0302);
inline constexpr GUID IID_CommandBar = outlook(0x000C0304);
inline constexpr GUID IID_CommandBarControls = outlook(0x000C0306);
inline constexpr GUID IID_CommandBarControl = outlook(0x000C0308);
inline constexpr GUID IID_CommandBarPopup = outlook(0x000C030A);
inline constexpr GUID IID_CommandBarComboBox = outlook(0x000C030C);
inline constexpr GUID IID_CommandBarButton = outlook(0x000C030E);
inline constexpr GUID IID_COMAddIns = outlook(0x000C0339);
inline constexpr GUID IID_COMAddIn = outlook(0x000C033A);
inline constexpr GUID DIID_CommandBarButtonEvents = outlook(0x000C0351);
inline constexpr GUID DIID_CommandBarComboBoxEvents = outlook(0x000C0354);

// Event DISPIDs.
inline constexpr DISPID kItemSend = 0xF002, kNewMail = 0xF003, kStartup = 0xF006, kQuit = 0xF007;
inline constexpr DISPID kNewExplorer = 0xF001, kNewInspector = 0xF001;
inline constexpr DISPID kActivate = 0xF001, kFolderSwitch = 0xF002, kBeforeFolderSwitch = 0xF003,
                        kViewSwitch = 0xF004, kBeforeViewSwitch = 0xF005, kDeactivate = 0xF006,
                        kSelectionChange = 0xF007, kClose = 0xF008;
inline constexpr DISPID kOptionsPagesAdd = 0xF005;
inline constexpr DISPID kClick = 1, kChange = 1;

}  // namespace mailhost::ids
