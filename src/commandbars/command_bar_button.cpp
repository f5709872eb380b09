#include "commandbars/command_bar_button.h"

#include <stdexcept>
#include <utility>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "commandbars/busy_while.h"
#include "commandbars/command_bar.h"
#include "commandbars/definition_values.h"
#include "commandbars/glyph_transfer.h"
#include "core/bytes/little_endian.h"

namespace flinter {
namespace {

using definition::value;

// Reads "Glyph.Data": a 32-bit little-endian byte count, then a bitmap file.
button_glyph glyph_of(const value& v) {
    const auto& bytes = v.as_bytes();
    if (bytes.size() < 4) throw definition::definition_error(v.line, "Glyph.Data without a byte count");
    const std::uint32_t count = little_endian::read32(bytes, 0);
    if (count != bytes.size() - 4) throw definition::definition_error(v.line, "Glyph.Data count does not match its bytes");
    try {
        return button_glyph::from_bitmap_file(std::span(bytes).subspan(4));
    } catch (const std::invalid_argument& e) {
        throw definition::definition_error(v.line, e.what());
    }
}

constexpr property_entry<TafwCommandBarButton> kButtonProperties[] = {
    {"Style",
     [](TafwCommandBarButton& b, const value& v) {
         b.SetStyle(enumerator_of<TafwMsoButtonStyle>(v, button_style_named, "button style"));
     }},
    {"FaceID", [](TafwCommandBarButton& b, const value& v) { b.SetFaceID(v.as_integer()); }},
    {"ShortcutText", [](TafwCommandBarButton& b, const value& v) { b.SetShortcutText(text_of(v)); }},
    {"State",
     [](TafwCommandBarButton& b, const value& v) {
         b.SetState(enumerator_of<TafwMsoButtonState>(v, button_state_named, "button state"));
     }},
    {"HyperlinkType",
     [](TafwCommandBarButton& b, const value& v) {
         b.SetHyperlinkType(
             enumerator_of<TafwMsoCommandBarButtonHyperlinkType>(v, hyperlink_type_named, "hyperlink type"));
     }},
    {"Glyph.Data", [](TafwCommandBarButton& b, const value& v) { b.SetGlyph(glyph_of(v)); }},
    {"GlyphTransparentColor", [](TafwCommandBarButton& b, const value& v) { b.SetGlyphTransparentColor(color_of(v)); }},
    {"DisableStandardAction", [](TafwCommandBarButton& b, const value& v) { b.SetDisableStandardAction(v.as_boolean()); }},
    {"OnClick", [](TafwCommandBarButton& b, const value& v) { b.SetOnClick(b.Bar().FindHandler(v)); }},
};

}  // namespace

TafwMsoButtonStyle TafwCommandBarButton::Style() const {
    return button_style_from_host(pull(L"Style", host_button_style(Style_))).value_or(Style_);
}
void TafwCommandBarButton::SetStyle(TafwMsoButtonStyle value) {
    Style_ = value;
    push(L"Style", host_button_style(value));
}
void TafwCommandBarButton::SetFaceID(std::int32_t value) {
    FaceID_ = value;
    push(L"FaceId", value);
}
void TafwCommandBarButton::SetShortcutText(const std::wstring& value) {
    ShortcutText_ = value;
    push(L"ShortcutText", value);
}
TafwMsoButtonState TafwCommandBarButton::State() const {
    return static_cast<TafwMsoButtonState>(pull(L"State", static_cast<std::int32_t>(State_)));
}
void TafwCommandBarButton::SetState(TafwMsoButtonState value) {
    State_ = value;
    push(L"State", static_cast<std::int32_t>(value));
}
TafwMsoCommandBarButtonHyperlinkType TafwCommandBarButton::HyperlinkType() const {
    return static_cast<TafwMsoCommandBarButtonHyperlinkType>(
        pull(L"HyperlinkType", static_cast<std::int32_t>(HyperlinkType_)));
}
void TafwCommandBarButton::SetHyperlinkType(TafwMsoCommandBarButtonHyperlinkType value) {
    HyperlinkType_ = value;
    push(L"HyperlinkType", static_cast<std::int32_t>(value & 0x7F));
}

void TafwCommandBarButton::SetGlyph(const button_glyph& glyph) {
    Glyph_ = glyph;
    glyph_shown_ = false;
    TransferGlyph();
}

void TafwCommandBarButton::SetGlyphTransparentColor(std::int32_t value) noexcept {
    if (value != GlyphTransparentColor_) glyph_shown_ = false;
    GlyphTransparentColor_ = value;
}

void TafwCommandBarButton::Hold(Microsoft::WRL::ComPtr<IDispatch> found) {
    Bind(query_dispatch(found.Get(), office::IID__CommandBarButton));
}

void TafwCommandBarButton::TakeBuiltInAction(const std::wstring& prog_id) {
    const std::wstring action = DisableStandardAction() ? L"!<" + prog_id + L">" : L"";
    try {
        put(live(), L"OnAction", variant(action));
    } catch (const hresult_error&) {
        // Hosts that keep built-in actions to themselves refuse it; the button works regardless.
    }
}

void TafwCommandBarButton::Click() {
    if (in_click_) return;
    const busy_while clicking(in_click_);
    if (OnClick_) OnClick_(*this);
}

bool TafwCommandBarButton::RefreshControl() {
    const bool due = TafwCommandBarControl::RefreshControl();
    if (!due || !live()) return due;
    if (FaceID_ != 0) SetFaceID(FaceID_);
    SetShortcutText(ShortcutText_);
    SetState(State_);
    SetStyle(Style_);
    TransferGlyph();
    record_version();
    return due;
}

void TafwCommandBarButton::TransferGlyph() noexcept {
    if (Glyph_.empty() || !live() || glyph_shown_) return;
    try {
        const std::uint32_t transparent = Glyph_.transparent_pixel(GlyphTransparentColor_);
        glyph_shown_ = put_picture_and_mask(live(), Glyph_, transparent) ||
                       paste_face_by_clipboard(live(), Glyph_, transparent);
    } catch (...) {
        module().report_error();
    }
}

void TafwCommandBarButton::ReadProperty(const definition::property& p) {
    if (!read_from(kButtonProperties, *this, p)) TafwCommandBarControl::ReadProperty(p);
}

}  // namespace flinter
