#include "drawing.h"

#include "com/unique_res.h"

namespace mailhost {

BITMAPINFO top_down_32_bits(int width, int height) noexcept {
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = -height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    return header;
}

HFONT gui_font() noexcept { return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)); }

// An opaque ExtTextOut fills without a brush to make and free.
void fill(HDC dc, const RECT& r, COLORREF colour) noexcept {
    ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void frame(HDC dc, const RECT& r, COLORREF colour) noexcept {
    flinter::unique_hbrush brush(::CreateSolidBrush(colour));
    ::FrameRect(dc, &r, brush.get());
}

}  // namespace mailhost
