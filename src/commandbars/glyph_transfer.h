// How a glyph reaches a live host button: as Picture and Mask where the host
// takes pictures, else pasted from the clipboard, whose content is saved
// before and put back after. Host UI thread.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>

#include "commandbars/button_glyph.h"

namespace flinter {

// The picture route: false when any step fails (a host without Picture, a
// refused picture); never throws. Each picture handed over owns its bitmap.
bool put_picture_and_mask(IDispatch* button, const button_glyph& glyph, std::uint32_t transparent) noexcept;

// The clipboard route. Returns whether the face was pasted. When the
// clipboard cannot be saved whole (another program holds it, or it holds data
// that cannot be duplicated) nothing is pasted, so the user's content
// survives; a clipboard the route emptied is put back. Throws hresult_error on
// other failures, after the clipboard has been put back.
bool paste_face_by_clipboard(IDispatch* button, const button_glyph& glyph, std::uint32_t transparent);

}  // namespace flinter
