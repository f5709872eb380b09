// An add-in's ribbon in a host that has one (Outlook 2010 and later): after
// OnConnection the host asks the add-in object for IRibbonExtensibility and
// calls GetCustomUI for the explorer's ribbon, and for an inspector's when
// the first inspector of that kind opens; markup that fails Office's checks
// is logged and ignored. Callbacks (onLoad, getImage, onAction) are called by
// name through the add-in's IDispatch with the host's IRibbonUI and
// IRibbonControl objects. Host thread only; the add-in's failures are logged,
// never thrown.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "com/variant.h"
#include "custom_ui.h"

struct IRibbonExtensibility;

namespace mailhost {

class application;
class explorer;
class host_object;

inline constexpr wchar_t kExplorerRibbon[] = L"Microsoft.Outlook.Explorer";
// The ribbon's background, over which transparent pictures are laid.
inline constexpr COLORREF kRibbonBackground = RGB(245, 246, 247);

// A button's picture as getImage gave it, 0x00RRGGBB top-down, already laid
// over the ribbon's background where the picture is transparent.
struct ribbon_picture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
};

class ribbon_connection : public std::enable_shared_from_this<ribbon_connection> {
public:
    // The add-in's ribbon when it answers IRibbonExtensibility; null otherwise.
    static std::shared_ptr<ribbon_connection> attach(const std::shared_ptr<application>& app,
                                                     const std::wstring& prog_id, IUnknown* addin);
    ribbon_connection(const std::shared_ptr<application>& app, std::wstring prog_id, Microsoft::WRL::ComPtr<IRibbonExtensibility> ribbon,
                      Microsoft::WRL::ComPtr<IDispatch> callbacks);
    ~ribbon_connection();
    ribbon_connection(const ribbon_connection&) = delete;
    ribbon_connection& operator=(const ribbon_connection&) = delete;

    // GetCustomUI for ribbon_id, once per id; the explorer's markup, when it
    // passes the checks, gives the groups shown and is followed by onLoad.
    void load(const std::wstring& ribbon_id);
    // The groups the explorer shows; empty when the add-in has none or was let go.
    const std::vector<ribbon_group>& explorer_groups() const { return groups_; }
    const ribbon_button* find_button(const std::wstring& id_or_label) const;
    // The button's picture, asked of getImage when first needed or after an
    // Invalidate; null when it has none.
    const ribbon_picture* picture(const std::wstring& button_id);
    // The user clicks the button in an explorer: onAction with its IRibbonControl.
    void click(const std::wstring& button_id, const std::shared_ptr<explorer>& context);
    // IRibbonUI: the add-in asks for its controls to be asked again.
    void invalidate(const std::wstring& control_id);
    // The add-in is let go (switched off, Outlook quits): its groups vanish and
    // every reference to it is released.
    void detach() noexcept;

private:
    void load_explorer(const std::wstring& markup);
    bool answers(const std::wstring& callback) const;
    // Calls a callback by name with one object argument; the add-in's failure
    // is logged and gives an empty result.
    flinter::variant callback(const std::wstring& name, const std::wstring& about, IDispatch* argument);
    ribbon_picture fetch_picture(const ribbon_button& button);
    std::shared_ptr<host_object> control_for(const ribbon_button& button, const std::shared_ptr<explorer>& context);

    std::weak_ptr<application> app_;
    std::wstring prog_id_;
    Microsoft::WRL::ComPtr<IRibbonExtensibility> ribbon_;
    Microsoft::WRL::ComPtr<IDispatch> callbacks_;
    std::shared_ptr<host_object> ribbon_ui_;
    std::set<std::wstring> asked_;                 // the ribbon ids GetCustomUI was asked for
    std::vector<ribbon_group> groups_;
    std::vector<std::pair<std::wstring, std::optional<ribbon_picture>>> pictures_;   // by button id; nullopt: ask again
    bool fetching_ = false;   // a getImage runs; a paint inside it asks nothing more
};

}  // namespace mailhost
