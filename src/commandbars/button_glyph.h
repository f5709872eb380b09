// A button's picture: its pixels, and the bitmaps made from them for the host
// (the picture, its mask, and the picture on the button-face colour for the
// clipboard), each a new bitmap its caller owns. Host UI thread; decoding
// throws std::invalid_argument, bitmap creation hresult_error.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

#include "com/unique_res.h"

namespace flinter {

// Colour values as the model stores them (0x00BBGGRR, or a negative system colour).
inline constexpr std::int32_t clBlack = 0x000000;
inline constexpr std::int32_t clWhite = 0xFFFFFF;
inline constexpr std::int32_t clFuchsia = 0xFF00FF;
inline constexpr std::int32_t clDefault = 0x20000000;
inline constexpr std::int32_t clBtnFace = static_cast<std::int32_t>(0x8000000F);

class button_glyph {
public:

    // The picture in a bitmap file's bytes ("BM", uncompressed, 1 to 32 bits
    // per pixel, at most 256 x 256).
    static button_glyph from_bitmap_file(std::span<const std::uint8_t> file);
    // pixels: 0x00RRGGBB, the top row first.
    static button_glyph from_pixels(int width, int height, std::vector<std::uint32_t> pixels);

    bool empty() const noexcept { return pixels_.empty(); }
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    const std::vector<std::uint32_t>& pixels() const noexcept { return pixels_; }

    // The pixel value (0x00RRGGBB) that a colour property makes transparent:
    // clDefault stands for the bottom-left pixel, negative values for system colours.
    std::uint32_t transparent_pixel(std::int32_t color) const noexcept;

    // The picture as a 24-bit bitmap and its monochrome mask (white where the
    // pixel is transparent).
    unique_hbitmap picture_bitmap() const;
    unique_hbitmap mask_bitmap(std::uint32_t transparent) const;
    // A device bitmap of the picture with every transparent pixel replaced by face.
    unique_hbitmap on_face(std::uint32_t transparent, std::uint32_t face) const;

private:
    int width_ = 0, height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// A colour value (0x00BBGGRR, or a negative system colour) as a pixel value (0x00RRGGBB).
std::uint32_t color_to_pixel(std::int32_t color) noexcept;

}  // namespace flinter
