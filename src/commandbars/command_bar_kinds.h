// The control kinds besides the button: edit, drop-down list, combo box,
// popup (a control with controls of its own) and advanced control (a window
// control of the add-in hosted in a bar). This add-in uses none of them; they
// carry what the shared model needs: their kind, host type and stored
// properties. Host UI thread only; the definition readers throw.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "commandbars/command_bar_control.h"

namespace flinter {

class TafwCommandBarEdit : public TafwCommandBarControl {
public:
    explicit TafwCommandBarEdit(TafwCommandBarControls& owner) : TafwCommandBarEdit(owner, "TafwCommandBarEdit") {}
    int Kind() const noexcept override { return kEditKind; }
    int HostType() const noexcept override { return office::msoControlEdit; }
    void Hold(Microsoft::WRL::ComPtr<IDispatch> found) override;
    bool RaisesEvents() const noexcept override { return true; }
    void DeliverEvent() override {
        if (OnChange_) OnChange_(*this);
    }

    TafwMsoComboStyle Style() const noexcept { return Style_; }
    void SetStyle(TafwMsoComboStyle value) noexcept { Style_ = value; }
    const std::wstring& Text() const noexcept { return Text_; }
    void SetText(std::wstring value) { Text_ = std::move(value); }
    const notify_event& OnChange() const noexcept { return OnChange_; }
    void SetOnChange(notify_event handler) { OnChange_ = std::move(handler); }

    // The base refresh; a non-temporary control records its version.
    bool RefreshControl() override;
    void ReadProperty(const definition::property& p) override;

protected:
    TafwCommandBarEdit(TafwCommandBarControls& owner, const char* class_name) : TafwCommandBarControl(owner, class_name) {}

private:
    TafwMsoComboStyle Style_ = afwMsoComboNormal;
    std::wstring Text_;
    notify_event OnChange_;
};

class TafwCommandBarDropDownList : public TafwCommandBarEdit {
public:
    explicit TafwCommandBarDropDownList(TafwCommandBarControls& owner)
        : TafwCommandBarDropDownList(owner, "TafwCommandBarDropDownList") {}
    int Kind() const noexcept override { return kDropdownListKind; }
    int HostType() const noexcept override { return office::msoControlDropdown; }

    const std::vector<std::wstring>& Items() const noexcept { return Items_; }
    void SetItems(std::vector<std::wstring> value) { Items_ = std::move(value); }
    std::int32_t DropdownLines() const noexcept { return DropdownLines_; }
    void SetDropdownLines(std::int32_t value) noexcept { DropdownLines_ = value; }
    std::int32_t DropdownWidth() const noexcept { return DropdownWidth_; }
    void SetDropdownWidth(std::int32_t value) noexcept { DropdownWidth_ = value; }
    std::int32_t ListHeaderCount() const noexcept { return ListHeaderCount_; }
    void SetListHeaderCount(std::int32_t value) noexcept { ListHeaderCount_ = value; }
    std::int32_t ListIndex() const noexcept { return ListIndex_; }
    void SetListIndex(std::int32_t value) noexcept { ListIndex_ = value; }

    void ReadProperty(const definition::property& p) override;

protected:
    TafwCommandBarDropDownList(TafwCommandBarControls& owner, const char* class_name)
        : TafwCommandBarEdit(owner, class_name) {}

private:
    std::vector<std::wstring> Items_;
    std::int32_t DropdownLines_ = 0, DropdownWidth_ = 0, ListHeaderCount_ = -1, ListIndex_ = 0;
};

class TafwCommandBarComboBox : public TafwCommandBarDropDownList {
public:
    explicit TafwCommandBarComboBox(TafwCommandBarControls& owner)
        : TafwCommandBarDropDownList(owner, "TafwCommandBarComboBox") {}
    int Kind() const noexcept override { return kComboBoxKind; }
    int HostType() const noexcept override { return office::msoControlComboBox; }
};

class TafwCommandBarPopup : public TafwCommandBarControl {
public:
    explicit TafwCommandBarPopup(TafwCommandBarControls& owner)
        : TafwCommandBarControl(owner, "TafwCommandBarPopup"), Controls_(owner.Bar(), this) {}
    int Kind() const noexcept override { return kPopupKind; }
    int HostType() const noexcept override { return office::msoControlPopup; }
    void Hold(Microsoft::WRL::ComPtr<IDispatch> found) override;
    using TafwCommandBarControl::Children;
    const TafwCommandBarControls* Children() const noexcept override { return &Controls_; }

    TafwCommandBarControls& Controls() noexcept { return Controls_; }
    const TafwCommandBarControls& Controls() const noexcept { return Controls_; }

    // The base refresh; the popup's version is recorded as a button's is.
    bool RefreshControl() override;
    // Also "ButtonTypes" and "Buttons" of its own controls.
    void ReadProperty(const definition::property& p) override;

private:
    TafwCommandBarControls Controls_;
};

class TafwCommandBarAdvancedControl : public TafwCommandBarControl {
public:
    explicit TafwCommandBarAdvancedControl(TafwCommandBarControls& owner)
        : TafwCommandBarControl(owner, "TafwCommandBarAdvancedControl") {}
    int Kind() const noexcept override { return kAdvancedControlKind; }
    int HostType() const noexcept override { return office::msoControlButton; }

    // The name of the add-in's window control to host; its hosting is not built.
    const std::string& Control() const noexcept { return Control_; }
    void SetControl(std::string name) { Control_ = std::move(name); }

    void ReadProperty(const definition::property& p) override;

private:
    std::string Control_;
};

// A new control of the given kind (0..6) for owner; throws std::out_of_range otherwise.
std::unique_ptr<TafwCommandBarControl> make_control(int kind, TafwCommandBarControls& owner);

}  // namespace flinter
