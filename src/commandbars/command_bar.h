// TafwCommandBar: a toolbar declared as data, owned by the add-in module and
// registered in its list of bars, and TafwOlExplorerCommandbar, the bar that
// lives in Outlook's explorer windows. A bar is declared until the engine
// finds or creates it in the host; while live its properties read from and
// write to the host bar. Host UI thread only; setters refuse with
// framework_refusal, host failures go to the module error report.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <string>
#include <vector>

#include "commandbars/command_bar_control.h"
#include "core/definition/stored_definition.h"

namespace flinter {

// A bar is a component of the module's tree, named as its definition names it.
class TafwCommandBar : public component, public host_bound {
public:
    // Registers the bar in owner's list of bars; a bar without a module is refused.
    explicit TafwCommandBar(command_bar_module* owner, std::string name = {});
    ~TafwCommandBar() override;

    std::wstring CommandBarName() const { return pull(L"Name", CommandBarName_); }
    // The name as declared, whatever the host bar is called: the engine's key.
    const std::wstring& DeclaredName() const noexcept { return CommandBarName_; }
    // Refuses an empty name; the first name set is also remembered as the local name.
    void SetCommandBarName(const std::wstring& value);
    // The local name last written to the host (NameLocal); empty until a name is set.
    const std::wstring& RememberedNameLocal() const noexcept { return NameLocal_; }
    void RememberNameLocal(const std::wstring& value) { NameLocal_ = value; }

    TafwMsoBarPosition Position() const;
    void SetPosition(TafwMsoBarPosition value);
    TafwMsoBarProtection Protection() const;
    void SetProtection(TafwMsoBarProtection value);
    bool Enabled() const { return pull(L"Enabled", Enabled_); }
    void SetEnabled(bool value);
    bool Visible() const { return pull(L"Visible", Visible_); }
    void SetVisible(bool value);
    // -1: left to the host.
    std::int32_t CommandBarLeft() const { return pull(L"Left", CommandBarLeft_); }
    void SetCommandBarLeft(std::int32_t value);
    std::int32_t CommandBarTop() const { return pull(L"Top", CommandBarTop_); }
    void SetCommandBarTop(std::int32_t value);
    std::int32_t RowIndex() const { return pull(L"RowIndex", RowIndex_); }
    void SetRowIndex(std::int32_t value);
    bool Temporary() const noexcept { return Temporary_; }
    void SetTemporary(bool value) noexcept { Temporary_ = value; }
    TafwHostAppSet SupportedApps() const noexcept { return SupportedApps_; }
    virtual void SetSupportedApps(TafwHostAppSet value) noexcept { SupportedApps_ = value; }
    // The revision of the bar that the definition describes.
    std::int32_t PropertyChanged() const noexcept { return PropertyChanged_; }
    void SetPropertyChanged(std::int32_t value) noexcept { PropertyChanged_ = value; }

    TafwCommandBarControls& Controls() noexcept { return Controls_; }
    const TafwCommandBarControls& Controls() const noexcept { return Controls_; }

    // Whether the live bar is one of the host's own; false while declared.
    bool BuiltIn() const { return pull(L"BuiltIn", false); }
    // The item types a new control of this bar takes.
    virtual TafwOLItemTypes DefaultItemTypes() const noexcept { return TafwOLItemTypes::of(afwOLMailItem); }
    bool HasAdvancedControl() const noexcept;

    // The engine holds the found or created host bar here, or drops it.
    void SetLive(Microsoft::WRL::ComPtr<IDispatch> bar) noexcept { live_ = std::move(bar); }
    // Writes the stored Enabled, Visible, Protection and Position to the live
    // bar, and Left, Top and RowIndex unless they are left to the host (-1).
    void PushProperties();

    // Reads the bar's stored properties, its kind table and its controls, in
    // stored order, binding handler properties to the module's methods in
    // handlers; throws definition_error and framework_refusal.
    void ReadDefinition(const definition::object& stored, const handler_table& handlers);
    virtual void ReadProperty(const definition::property& p);
    // While the definition is read: the module method a handler property names.
    notify_event FindHandler(const definition::value& method_name) const;

protected:
    // class_name: the most derived class's.
    TafwCommandBar(command_bar_module* owner, std::string name, const char* class_name, TafwMsoBarPosition position,
                   bool temporary, TafwHostAppSet apps);

    std::wstring CommandBarName_;
    std::wstring NameLocal_;
    TafwMsoBarPosition Position_;
    TafwMsoBarProtection Protection_ = afwMsoBarNoProtection;
    bool Enabled_ = true, Visible_ = true;
    std::int32_t CommandBarLeft_ = -1, CommandBarTop_ = -1, RowIndex_ = -1;
    bool Temporary_;
    TafwHostAppSet SupportedApps_;
    std::int32_t PropertyChanged_ = 0;
    TafwCommandBarControls Controls_{*this, nullptr};
    const handler_table* handlers_ = nullptr;   // while reading
};

// The bar of Outlook's explorer windows: at the top, temporary, Outlook only.
// Its folder rules, layout record and explorer binding are the explorer
// binding's (UpdateExplorerBarState, RestoreExplorerBarLayout,
// SaveExplorerBarLayout).
class TafwOlExplorerCommandbar : public TafwCommandBar {
public:
    explicit TafwOlExplorerCommandbar(command_bar_module* owner, std::string name = {});

    // Always {ohaOutlook}, whatever is written.
    void SetSupportedApps(TafwHostAppSet) noexcept override {}

    // The folder item types for which the bar is shown.
    TafwOLItemTypes ItemTypes() const noexcept { return ItemTypes_; }
    void SetItemTypes(TafwOLItemTypes value) noexcept { ItemTypes_ = value; }
    // When set: the one folder path for which the bar is shown.
    const std::wstring& FolderName() const noexcept { return FolderName_; }
    void SetFolderName(std::wstring value) { FolderName_ = std::move(value); }
    // When not empty: the folder paths for which the bar is shown.
    const std::vector<std::wstring>& FolderNames() const noexcept { return FolderNames_; }
    void SetFolderNames(std::vector<std::wstring> value) { FolderNames_ = std::move(value); }

    TafwOLItemTypes DefaultItemTypes() const noexcept override { return ItemTypes_; }
    void ReadProperty(const definition::property& p) override;

private:
    TafwOLItemTypes ItemTypes_ = TafwOLItemTypes::of(afwOLMailItem);
    std::wstring FolderName_;
    std::vector<std::wstring> FolderNames_;
};

// Whether a stored component of this class is a command bar (read by read_command_bar).
bool is_command_bar_class(std::string_view class_name) noexcept;
// The bar a stored component of the module describes, registered in module,
// its handlers bound through handlers; throws definition_error and framework_refusal.
std::unique_ptr<TafwCommandBar> read_command_bar(const definition::object& stored, command_bar_module& module,
                                                 const handler_table& handlers);

}  // namespace flinter
