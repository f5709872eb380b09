#include "commandbars/glyph_transfer.h"

#include <olectl.h>

#include "com/hresult_error.h"
#include "com/late_bound.h"
#include "commandbars/save_clipboard.h"
#include "ui/resource_pictures.h"

namespace flinter {
namespace {

constexpr int kPasteAttempts = 11;
constexpr DWORD kPastePause = 10;

// The clipboard's owner while the route holds it: a message-only window of the add-in's own.
unique_hwnd clipboard_window() {
    unique_hwnd window(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    check_win32(window ? TRUE : FALSE);
    return window;
}

bool paste_face(IDispatch* button) {
    for (int attempt = 0; attempt < kPasteAttempts; ++attempt) {
        try {
            call(button, L"PasteFace");
            return true;
        } catch (const hresult_error&) {
            ::Sleep(kPastePause);
        }
    }
    return false;
}

}  // namespace

bool put_picture_and_mask(IDispatch* button, const button_glyph& glyph, std::uint32_t transparent) noexcept {
    try {
        get(button, L"Picture");   // a host without pictures fails here
        put(button, L"Picture", variant(owning_picture(glyph.picture_bitmap()).Get()));
        put(button, L"Mask", variant(owning_picture(glyph.mask_bitmap(transparent)).Get()));
        return true;
    } catch (...) {
        return false;
    }
}

bool paste_face_by_clipboard(IDispatch* button, const button_glyph& glyph, std::uint32_t transparent) {
    // Made before the clipboard is touched: when it cannot be made, the clipboard stays as it was.
    unique_hbitmap face = glyph.on_face(transparent, color_to_pixel(clBtnFace));
    const unique_hwnd owner = clipboard_window();
    TSaveClipboard saved(owner.get());
    // Pasting over a clipboard that could not be saved whole would lose the user's content for good.
    if (!saved.Save()) return false;
    if (!open_clipboard_patiently(owner.get())) return false;

    // Only a clipboard that was emptied is put back; one left alone keeps its owner and content.
    bool emptied = false;
    struct restore_if_emptied {
        TSaveClipboard& saved;
        const bool& emptied;
        ~restore_if_emptied() {
            if (emptied) saved.Restore();
        }
    } restore{saved, emptied};
    {
        struct close_at_end {
            ~close_at_end() { ::CloseClipboard(); }
        } close;
        check_win32(::EmptyClipboard());
        emptied = true;
        check_win32(::SetClipboardData(CF_BITMAP, face.get()) ? TRUE : FALSE);
        (void)face.release();   // the clipboard's now
    }
    return paste_face(button);
}

}  // namespace flinter
