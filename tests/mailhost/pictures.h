// Button faces as add-ins hand them to Office: OLE pictures (IPictureDisp)
// of bitmaps. Header-only; any thread; picture_of throws hresult_error when
// no picture can be made.
#pragma once

#include <windows.h>
#include <olectl.h>
#include <wrl/client.h>

#include <vector>

#include "com/hresult_error.h"

namespace mailhost::testing {

// A 32-bit bitmap of pixels 0x00RRGGBB, the top row first; the caller frees it.
inline HBITMAP bitmap_of(const std::vector<DWORD>& pixels, int width, int height) {
    return ::CreateBitmap(width, height, 1, 32, pixels.data());
}

// A picture of bitmap; with owns, the picture frees the bitmap (also when it
// cannot be made).
inline Microsoft::WRL::ComPtr<IDispatch> picture_of(HBITMAP bitmap, bool owns) {
    PICTDESC description{sizeof(PICTDESC), PICTYPE_BITMAP, {}};
    description.bmp.hbitmap = bitmap;
    Microsoft::WRL::ComPtr<IDispatch> picture;
    const HRESULT hr = ::OleCreatePictureIndirect(&description, IID_IPictureDisp, owns,
                                                  reinterpret_cast<void**>(picture.GetAddressOf()));
    if (FAILED(hr) && owns) ::DeleteObject(bitmap);
    flinter::check(hr);
    return picture;
}

// A 16 x 16 picture that owns its bitmap.
inline Microsoft::WRL::ComPtr<IDispatch> picture_of(const std::vector<DWORD>& pixels) {
    return picture_of(bitmap_of(pixels, 16, 16), true);
}

}  // namespace mailhost::testing
