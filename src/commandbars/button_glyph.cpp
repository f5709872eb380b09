#include "commandbars/button_glyph.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "com/hresult_error.h"
#include "core/bytes/little_endian.h"

namespace flinter {
namespace {

constexpr int kLargestSide = 256;

[[noreturn]] void not_a_bitmap(const char* why) { throw std::invalid_argument(std::string("not a bitmap file: ") + why); }

std::uint32_t swap_red_blue(std::uint32_t value) noexcept {
    return (value & 0x0000FF) << 16 | (value & 0x00FF00) | (value & 0xFF0000) >> 16;
}

BITMAPINFO top_down_32(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

struct screen_dc {
    HDC dc = ::GetDC(nullptr);
    ~screen_dc() {
        if (dc) ::ReleaseDC(nullptr, dc);
    }
};

}  // namespace

std::uint32_t color_to_pixel(std::int32_t color) noexcept {
    const auto value = static_cast<std::uint32_t>(color);
    if (color < 0) return swap_red_blue(::GetSysColor(static_cast<int>(value & 0xFF)));
    return swap_red_blue(value & 0xFFFFFF);
}

button_glyph button_glyph::from_pixels(int width, int height, std::vector<std::uint32_t> pixels) {
    if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide ||
        pixels.size() != static_cast<std::size_t>(width) * height)
        throw std::invalid_argument("a glyph's size does not match its pixels");
    button_glyph glyph;
    glyph.width_ = width;
    glyph.height_ = height;
    glyph.pixels_ = std::move(pixels);
    for (auto& p : glyph.pixels_) p &= 0xFFFFFF;
    return glyph;
}

button_glyph button_glyph::from_bitmap_file(std::span<const std::uint8_t> file) {
    constexpr std::size_t kFileHeader = 14;
    if (file.size() < kFileHeader + sizeof(BITMAPINFOHEADER)) not_a_bitmap("too short");
    if (file[0] != 'B' || file[1] != 'M') not_a_bitmap("no \"BM\"");
    const std::uint32_t bits_at = little_endian::read32(file, 10);
    const std::uint32_t header_size = little_endian::read32(file, kFileHeader);
    if (header_size < sizeof(BITMAPINFOHEADER) || header_size > file.size() - kFileHeader) not_a_bitmap("bad header");
    const auto width = static_cast<std::int32_t>(little_endian::read32(file, kFileHeader + 4));
    const auto height = static_cast<std::int32_t>(little_endian::read32(file, kFileHeader + 8));
    const std::uint16_t bit_count = little_endian::read16(file, kFileHeader + 14);
    const std::uint32_t compression = little_endian::read32(file, kFileHeader + 16);
    const std::uint32_t colors_used = little_endian::read32(file, kFileHeader + 32);
    const int rows = height < 0 ? -height : height;
    if (width <= 0 || width > kLargestSide || rows == 0 || rows > kLargestSide) not_a_bitmap("bad size");
    if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 16 && bit_count != 24 && bit_count != 32)
        not_a_bitmap("bad depth");
    const bool bitfields = compression == BI_BITFIELDS && (bit_count == 16 || bit_count == 32);
    if (compression != BI_RGB && !bitfields) not_a_bitmap("compressed");
    const std::uint32_t table_entries = bit_count <= 8 ? (colors_used ? colors_used : 1u << bit_count) : 0;
    if (table_entries > 256) not_a_bitmap("bad colour table");
    const std::size_t masks = bitfields && header_size == sizeof(BITMAPINFOHEADER) ? 12 : 0;
    const std::size_t info_size = header_size + masks + table_entries * 4;
    const std::size_t stride = (static_cast<std::size_t>(width) * bit_count + 31) / 32 * 4;
    const std::size_t bits_size = stride * rows;
    if (info_size > file.size() - kFileHeader || bits_at > file.size() || bits_size > file.size() - bits_at)
        not_a_bitmap("truncated");

    // Aligned copies: GDI reads the header and the rows as structures.
    std::vector<std::uint32_t> info((info_size + 3) / 4 + 1);
    std::memcpy(info.data(), file.data() + kFileHeader, info_size);
    std::vector<std::uint32_t> bits((bits_size + 3) / 4);
    std::memcpy(bits.data(), file.data() + bits_at, bits_size);

    BITMAPINFO target_info = top_down_32(width, rows);
    void* target_bits = nullptr;
    unique_hbitmap target(::CreateDIBSection(nullptr, &target_info, DIB_RGB_COLORS, &target_bits, nullptr, 0));
    if (!target) throw hresult_error(E_OUTOFMEMORY, "no memory for a glyph");
    screen_dc screen;
    if (::SetDIBits(screen.dc, target.get(), 0, rows, bits.data(), reinterpret_cast<BITMAPINFO*>(info.data()),
                    DIB_RGB_COLORS) != rows)
        not_a_bitmap("unreadable rows");
    const auto* converted = static_cast<const std::uint32_t*>(target_bits);
    return from_pixels(width, rows, std::vector<std::uint32_t>(converted, converted + width * rows));
}

std::uint32_t button_glyph::transparent_pixel(std::int32_t color) const noexcept {
    if (color == clDefault) return empty() ? 0 : pixels_[static_cast<std::size_t>(height_ - 1) * width_];
    return color_to_pixel(color);
}

unique_hbitmap button_glyph::picture_bitmap() const {
    BITMAPINFO info = top_down_32(width_, height_);
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    unique_hbitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) throw hresult_error(E_OUTOFMEMORY, "no memory for a button picture");
    const std::size_t stride = (static_cast<std::size_t>(width_) * 3 + 3) / 4 * 4;
    auto* rows = static_cast<std::uint8_t*>(bits);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const std::uint32_t p = pixels_[static_cast<std::size_t>(y) * width_ + x];
            std::uint8_t* at = rows + y * stride + x * 3;
            at[0] = static_cast<std::uint8_t>(p);
            at[1] = static_cast<std::uint8_t>(p >> 8);
            at[2] = static_cast<std::uint8_t>(p >> 16);
        }
    }
    return bitmap;
}

unique_hbitmap button_glyph::mask_bitmap(std::uint32_t transparent) const {
    // Monochrome rows are word-aligned; a set bit is white.
    const std::size_t stride = (static_cast<std::size_t>(width_) + 15) / 16 * 2;
    std::vector<std::uint8_t> bits(stride * height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (pixels_[static_cast<std::size_t>(y) * width_ + x] == transparent)
                bits[y * stride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    unique_hbitmap bitmap(::CreateBitmap(width_, height_, 1, 1, bits.data()));
    if (!bitmap) throw hresult_error(E_OUTOFMEMORY, "no memory for a button mask");
    return bitmap;
}

unique_hbitmap button_glyph::on_face(std::uint32_t transparent, std::uint32_t face) const {
    std::vector<std::uint32_t> shown(pixels_);
    std::replace(shown.begin(), shown.end(), transparent, face);
    const BITMAPINFO info = top_down_32(width_, height_);
    screen_dc screen;
    unique_hbitmap bitmap(
        ::CreateDIBitmap(screen.dc, &info.bmiHeader, CBM_INIT, shown.data(), &info, DIB_RGB_COLORS));
    if (!bitmap) throw hresult_error(E_OUTOFMEMORY, "no memory for a button face");
    return bitmap;
}

}  // namespace flinter
