// The module's commands on the ribbon of Office 2010 and later: the group a
// module declares for a ribbon of the host, the ribbon XML made from it, the
// names of the callbacks the XML gives the host (which it calls by name
// through the add-in object's IDispatch) and the large pictures. Host UI
// thread only; ribbon_picture throws hresult_error, the rest only bad_alloc.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <optional>
#include <string>
#include <vector>

namespace flinter {

class TafwCommandBarButton;

// One large button of a ribbon group: a toolbar button seen on the ribbon.
struct ribbon_button {
    std::wstring id;          // unique in the XML
    std::wstring label;       // the toolbar button's caption
    std::wstring screentip;   // its tooltip
    std::wstring supertip;    // one line saying what it does
    std::wstring tag;         // its OfficeTag, handed back by the host's IRibbonControl
    // Clicked through its click routine, so that the ribbon and the toolbar
    // share the handler and its guard against a click while it still runs.
    // Owned by the module's bar, which lives as long as the module.
    TafwCommandBarButton* button = nullptr;
    const wchar_t* large_picture = nullptr;   // RCDATA: a 32x32 32-bit bitmap file with alpha
};

// A group of large buttons on a built-in tab of one ribbon of the host.
struct ribbon_group {
    std::wstring ribbon_id;   // the ribbon the host asks for: "Microsoft.Outlook.Explorer"
    std::wstring tab;         // the built-in tab's idMso
    std::wstring id, label;
    std::vector<ribbon_button> buttons;

    const ribbon_button* find(const std::wstring& button_id) const noexcept;
};

inline constexpr wchar_t kOutlookExplorerRibbon[] = L"Microsoft.Outlook.Explorer";

// The XML of the host's custom UI schema of 2009 that puts group on its tab;
// every button names the onAction and getImage callbacks, the root onLoad.
std::wstring ribbon_xml(const ribbon_group& group);

// The callbacks the XML names, answered by the add-in object's IDispatch with
// DISPIDs of their own, a range its type library (Ikorv, without members of
// its own) does not use.
enum ribbon_callback : DISPID {
    kRibbonOnLoad = 0x52420001,
    kRibbonOnAction,
    kRibbonGetImage,
};
// The callback's DISPID for a name (compared without case, as automation
// names are); nullopt for any other name.
std::optional<DISPID> ribbon_callback_named(const wchar_t* name) noexcept;
bool is_ribbon_callback(DISPID id) noexcept;

// The button's large picture as an IPictureDisp that owns its bitmap.
Microsoft::WRL::ComPtr<IDispatch> ribbon_picture(const ribbon_button& button);

}  // namespace flinter
