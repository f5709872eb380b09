// TafwCommandBarButton (kind 0): a control with a style, a built-in face or a
// picture of its own (the glyph), and a click handler of the module. Host UI
// thread only; setters never throw (host failures go to the module error
// report), the definition reader throws definition_error.
#pragma once

#include "commandbars/button_glyph.h"
#include "commandbars/command_bar_control.h"

namespace flinter {

class TafwCommandBarButton : public TafwCommandBarControl {
public:
    explicit TafwCommandBarButton(TafwCommandBarControls& owner) : TafwCommandBarControl(owner, "TafwCommandBarButton") {}

    int Kind() const noexcept override { return kButtonKind; }
    int HostType() const noexcept override { return office::msoControlButton; }
    void Hold(Microsoft::WRL::ComPtr<IDispatch> found) override;
    bool RaisesEvents() const noexcept override { return true; }
    void DeliverEvent() override { Click(); }
    // Names the add-in as the action when DisableStandardAction is set, else
    // gives the host's own action back.
    void TakeBuiltInAction(const std::wstring& prog_id) override;

    // A host style outside the eight known values reads as the stored style.
    TafwMsoButtonStyle Style() const;
    void SetStyle(TafwMsoButtonStyle value);
    // A built-in face id; 0 = none.
    std::int32_t FaceID() const { return pull(L"FaceId", FaceID_); }
    void SetFaceID(std::int32_t value);
    std::wstring ShortcutText() const { return pull(L"ShortcutText", ShortcutText_); }
    void SetShortcutText(const std::wstring& value);
    TafwMsoButtonState State() const;
    void SetState(TafwMsoButtonState value);
    TafwMsoCommandBarButtonHyperlinkType HyperlinkType() const;
    void SetHyperlinkType(TafwMsoCommandBarButtonHyperlinkType value);

    const button_glyph& Glyph() const noexcept { return Glyph_; }
    // Copies glyph (the caller keeps its own) and shows it on a live button at once.
    void SetGlyph(const button_glyph& glyph);
    // The colour that shows as transparent; clDefault: the glyph's bottom-left pixel.
    std::int32_t GlyphTransparentColor() const noexcept { return GlyphTransparentColor_; }
    void SetGlyphTransparentColor(std::int32_t value) noexcept;
    // For built-in ids: keep the host's own action from running.
    bool DisableStandardAction() const noexcept { return DisableStandardAction_; }
    void SetDisableStandardAction(bool value) noexcept { DisableStandardAction_ = value; }

    const notify_event& OnClick() const noexcept { return OnClick_; }
    void SetOnClick(notify_event handler) { OnClick_ = std::move(handler); }
    // The click routine: calls OnClick with this button, unless a click of
    // this button is still being handled (a handler that pumps messages).
    // The handler's failures propagate.
    void Click();

    // The base refresh, then face id, shortcut, state, style and the glyph;
    // a non-temporary button records its version.
    bool RefreshControl() override;
    // Shows the glyph on the live button: as Picture and Mask, else through
    // the clipboard. Failures go to the module error report.
    void TransferGlyph() noexcept;

    void ReadProperty(const definition::property& p) override;

protected:
    void host_changed() noexcept override { glyph_shown_ = false; }

private:
    TafwMsoButtonStyle Style_ = afwMsoButtonAutomatic;
    std::int32_t FaceID_ = 0;
    std::wstring ShortcutText_;
    TafwMsoButtonState State_ = afwMsoButtonUp;
    TafwMsoCommandBarButtonHyperlinkType HyperlinkType_ = afwMsoCommandBarButtonHyperlinkNone;
    button_glyph Glyph_;
    std::int32_t GlyphTransparentColor_ = clDefault;
    bool DisableStandardAction_ = false;
    notify_event OnClick_;
    bool in_click_ = false;
    // The live button shows the glyph already (it was transferred to this host object).
    bool glyph_shown_ = false;
};

}  // namespace flinter
