// Small drawing helpers the simulated Outlook's windows share. Any thread
// that owns the DC; never throw.
#pragma once

#include <windows.h>

namespace mailhost {

// Pixels as 32-bit 0x00RRGGBB values, the top row first.
BITMAPINFO top_down_32_bits(int width, int height) noexcept;
// The system's font for dialogs and windows; a stock object, never freed.
HFONT gui_font() noexcept;
void fill(HDC dc, const RECT& r, COLORREF colour) noexcept;
void frame(HDC dc, const RECT& r, COLORREF colour) noexcept;

// One WM_PAINT's BeginPaint and EndPaint, the end also when drawing fails
// (a window left unpainted would be asked to paint again and again).
class painting {
public:
    explicit painting(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~painting() { ::EndPaint(window_, &paint_); }
    painting(const painting&) = delete;
    painting& operator=(const painting&) = delete;
    HDC dc() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

}  // namespace mailhost
