// TafwCommandBarControl, the base of the seven control kinds (and itself the
// "Control" kind: a built-in host control found or added by its OfficeID),
// and TafwCommandBarControls, the ordered collection that owns them. A control
// is declared until the engine binds it to a host control; while bound, its
// properties read from and write to that control (see host_bound). Host UI
// thread only; setters never throw, the definition readers throw
// definition_error and framework_refusal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commandbars/bar_enums.h"
#include "commandbars/host_bound.h"
#include "core/definition/stored_definition.h"
#include "framework/office_ids.h"

namespace flinter {

class TafwCommandBar;
class TafwCommandBarControls;
class TafwCommandBarPopup;

// The kind numbers of the stored definition's kind table.
enum control_kind : int {
    kButtonKind = 0, kEditKind, kDropdownListKind, kComboBoxKind, kPopupKind, kControlKind, kAdvancedControlKind,
};
inline constexpr int kControlKindCount = 7;

// A control is a component of the module's tree, named after its place
// (afwOlExplorerCommandbar1Controls0), so that its events name it as sender.
class TafwCommandBarControl : public component, public host_bound {
public:
    explicit TafwCommandBarControl(TafwCommandBarControls& owner) : TafwCommandBarControl(owner, "TafwCommandBarControl") {}

    virtual int Kind() const noexcept { return kControlKind; }
    // The MsoControlType this kind is created and searched as.
    virtual int HostType() const noexcept { return office::msoControlCustom; }

    // Each kind's part in binding and in events, so that neither the engine nor
    // the click sink tells the kinds apart.
    // Holds the host control found for this one as the kind's host interface:
    // a plain control as it is, a popup as a popup, a button or a list control
    // as its own interface and with its event sink.
    virtual void Hold(Microsoft::WRL::ComPtr<IDispatch> found) { Remember(std::move(found)); }
    // Whether the kind listens to its host control's events (buttons and list controls).
    virtual bool RaisesEvents() const noexcept { return false; }
    // The controls inside this one (a popup's); null for the other kinds.
    virtual const TafwCommandBarControls* Children() const noexcept { return nullptr; }
    TafwCommandBarControls* Children() noexcept {
        return const_cast<TafwCommandBarControls*>(static_cast<const TafwCommandBarControl&>(*this).Children());
    }
    // Hands an event of the host control (a click, a change) to the control's
    // handler; the handler's failures propagate.
    virtual void DeliverEvent() {}
    // A built-in host control was bound to this one: a button says whether
    // the host's own action still runs.
    virtual void TakeBuiltInAction(const std::wstring& prog_id) { (void)prog_id; }

    std::wstring Caption() const { return pull(L"Caption", Caption_); }
    void SetCaption(const std::wstring& value);
    std::wstring TooltipText() const { return pull(L"TooltipText", TooltipText_); }
    void SetTooltipText(const std::wstring& value);
    std::wstring DescriptionText() const { return pull(L"DescriptionText", DescriptionText_); }
    void SetDescriptionText(const std::wstring& value);
    // The host control's Tag: the key by which the control is found again.
    std::wstring OfficeTag() const { return pull(L"Tag", OfficeTag_); }
    // The tag as declared, whatever the host holds: the name of the version record.
    const std::wstring& DeclaredOfficeTag() const noexcept { return OfficeTag_; }
    void SetOfficeTag(const std::wstring& value);
    // 1: a custom control of the add-in; any other value: a built-in host control.
    std::int32_t OfficeID() const { return pull(L"Id", OfficeID_); }
    std::int32_t DeclaredOfficeID() const noexcept { return OfficeID_; }
    void SetOfficeID(std::int32_t value) noexcept { OfficeID_ = value; }
    std::wstring Parameter() const { return pull(L"Parameter", Parameter_); }
    const std::wstring& DeclaredParameter() const noexcept { return Parameter_; }
    void SetParameter(const std::wstring& value);
    bool BeginGroup() const { return pull(L"BeginGroup", BeginGroup_); }
    void SetBeginGroup(bool value);
    bool Enabled() const { return pull(L"Enabled", Enabled_); }
    // In Outlook a change is followed by a width nudge, which makes Outlook repaint the control.
    void SetEnabled(bool value);
    bool Visible() const { return pull(L"Visible", Visible_); }
    void SetVisible(bool value);
    // 0: left to the host.
    std::int32_t Height() const { return pull(L"Height", Height_); }
    void SetHeight(std::int32_t value);
    std::int32_t Width() const { return pull(L"Width", Width_); }
    void SetWidth(std::int32_t value);
    std::int32_t HelpContextID() const { return pull(L"HelpContextId", HelpContextID_); }
    void SetHelpContextID(std::int32_t value);
    std::wstring HelpFile() const { return pull(L"HelpFile", HelpFile_); }
    void SetHelpFile(const std::wstring& value);
    std::int32_t Priority() const { return pull(L"Priority", Priority_); }
    void SetPriority(std::int32_t value);
    // Placement at creation: 1-based position, or before/after the first
    // control with a host id; 0 = not set. Stored only.
    std::int32_t Before() const noexcept { return Before_; }
    void SetBefore(std::int32_t value) noexcept { Before_ = value; }
    std::int32_t BeforeID() const noexcept { return BeforeID_; }
    void SetBeforeID(std::int32_t value) noexcept { BeforeID_ = value; }
    std::int32_t AfterID() const noexcept { return AfterID_; }
    void SetAfterID(std::int32_t value) noexcept { AfterID_ = value; }
    bool Temporary() const noexcept { return Temporary_; }
    void SetTemporary(bool value) noexcept { Temporary_ = value; }
    TafwOLItemTypes olExplorerItemTypes() const noexcept { return olExplorerItemTypes_; }
    void SetolExplorerItemTypes(TafwOLItemTypes value) noexcept { olExplorerItemTypes_ = value; }
    // The inspector item classes are declared by name only; this add-in has no inspector bars.
    const std::vector<std::string>& olInspectorItemTypes() const noexcept { return olInspectorItemTypes_; }
    void SetolInspectorItemTypes(std::vector<std::string> value) { olInspectorItemTypes_ = std::move(value); }
    TafwOLItemTypeAction olItemTypeAction() const noexcept { return olItemTypeAction_; }
    void SetolItemTypeAction(TafwOLItemTypeAction value) noexcept { olItemTypeAction_ = value; }
    // Free for the add-in's own use; never sent to the host.
    std::int32_t Tag() const noexcept { return Tag_; }
    void SetTag(std::int32_t value) noexcept { Tag_ = value; }
    // The revision of this control that the definition describes.
    std::int32_t PropertyChanged() const noexcept { return PropertyChanged_; }
    void SetPropertyChanged(std::int32_t value) noexcept { PropertyChanged_ = value; }

    // The live control's Index; 1 while declared.
    std::int32_t Index() const;
    // The 1-based position in the owning collection.
    int CollectionPosition() const noexcept;

    TafwCommandBarControls& Owner() const noexcept { return owner_; }
    // The bar at the top, above any popups.
    TafwCommandBar& Bar() const noexcept;
    // The popup whose collection holds this control, or null.
    TafwCommandBarPopup* Popup() const noexcept;

    // Holds host as the live control, without events (built-in controls, popups).
    void Remember(Microsoft::WRL::ComPtr<IDispatch> host);
    // Holds host as the live control and replaces the event sink (module's bind_events).
    void Bind(Microsoft::WRL::ComPtr<IDispatch> host);
    // Drops the live control and its event sink.
    void Unbind() noexcept;

    // Pushes the stored properties to the live control when a refresh is due
    // (a temporary control, or a version record missing or different); true
    // when it was due.
    virtual bool RefreshControl();

    // One property of the stored definition; throws definition_error for
    // unknown names and values of the wrong kind.
    virtual void ReadProperty(const definition::property& p);

protected:
    // class_name: the most derived class's.
    TafwCommandBarControl(TafwCommandBarControls& owner, const char* class_name);
    // The live control is now another host object (or none).
    virtual void host_changed() noexcept {}
    [[noreturn]] void unknown_property(const definition::property& p) const;
    // A non-temporary control records the version it pushed to the host.
    void record_version();
    // Moves the live control where the stored placement puts it (non-temporary controls after the first start).
    void move_into_place();

private:
    void nudge_width() noexcept;

    TafwCommandBarControls& owner_;
    std::wstring Caption_, TooltipText_, DescriptionText_, OfficeTag_, Parameter_, HelpFile_;
    std::int32_t OfficeID_ = 1;
    bool BeginGroup_ = false, Enabled_ = true, Visible_ = true;
    std::int32_t Height_ = 0, Width_ = 0, HelpContextID_ = 0, Priority_ = 0;
    std::int32_t Before_ = 0, BeforeID_ = 0, AfterID_ = 0;
    bool Temporary_;
    TafwOLItemTypes olExplorerItemTypes_;
    std::vector<std::string> olInspectorItemTypes_{"afwOLMail"};
    TafwOLItemTypeAction olItemTypeAction_ = afwOLActionNone;
    std::int32_t Tag_ = 0;
    std::int32_t PropertyChanged_ = 0;
};

class TafwCommandBarControls {
public:
    // popup: the popup that owns this collection, or null for a bar's.
    TafwCommandBarControls(TafwCommandBar& bar, TafwCommandBarPopup* popup) noexcept : bar_(bar), popup_(popup) {}
    TafwCommandBarControls(const TafwCommandBarControls&) = delete;
    TafwCommandBarControls& operator=(const TafwCommandBarControls&) = delete;

    std::size_t Count() const noexcept { return items_.size(); }
    TafwCommandBarControl& operator[](std::size_t index) const { return *items_.at(index); }
    auto begin() const noexcept { return items_.begin(); }
    auto end() const noexcept { return items_.end(); }

    // A new control of kind (0..6) at the end. An advanced control is refused
    // inside a popup, and otherwise docks its bar at the top with
    // afwMsoBarNoChangeDock.
    TafwCommandBarControl& Add(int kind);
    void Clear() noexcept { items_.clear(); }
    // 0-based position of control, or Count() when it is not here.
    std::size_t IndexOf(const TafwCommandBarControl& control) const noexcept;

    TafwCommandBar& Bar() const noexcept { return bar_; }
    TafwCommandBarPopup* Popup() const noexcept { return popup_; }
    // The component name of the next control added: its owner's name, "Controls" and its index.
    std::string NextControlName() const;

    // The definition's "ButtonTypes" (kind table) and "Buttons" (the items,
    // which the kind table must precede); throw definition_error.
    void ReadButtonTypes(const definition::value& v);
    void ReadButtons(const definition::value& v);

private:
    TafwCommandBar& bar_;
    TafwCommandBarPopup* popup_;
    std::vector<int> kinds_;
    std::vector<std::unique_ptr<TafwCommandBarControl>> items_;
};

// A new OfficeTag: a fresh GUID in its 38-character registry form.
std::wstring new_office_tag();

}  // namespace flinter
