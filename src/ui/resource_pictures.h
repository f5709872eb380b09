// The pictures stored as resources of this module: the JPEG product logo,
// decoded with libjpeg, the 16x16 bitmap-file glyphs and the ribbon's 32x32
// pictures, and picture objects that own a bitmap. UI thread; throws
// hresult_error when a resource is missing or does not decode.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "com/unique_res.h"

namespace flinter {

// The bytes of an RCDATA resource of this module.
std::span<const std::uint8_t> resource_bytes(const wchar_t* name);

struct decoded_image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgr;   // top-down rows of width * 3 bytes, no padding
};

// Decodes a JPEG (baseline or progressive, grey or colour) to 24-bit BGR; a
// stream libjpeg finds cut short or corrupt, even where it could pad it, throws.
decoded_image decode_jpeg(std::span<const std::uint8_t> jpeg);

// A 24-bit bitmap of the image, stretched to width x height.
unique_hbitmap make_bitmap(const decoded_image& image, int width, int height);

// The product logo (150 x 52) stretched to width x height.
unique_hbitmap load_logo_bitmap(int width, int height);

// A 24-bit or 32-bit bitmap-file resource (54-byte header and pixels) as a
// bitmap of the same depth (a 32-bit one keeps its alpha); in a 24-bit one,
// black pixels become background when given (black marks transparency).
unique_hbitmap load_bitmap_file_resource(const wchar_t* name, std::optional<COLORREF> background = std::nullopt);

// A picture object (IPictureDisp) that owns bitmap: whoever receives it may
// keep it as long as it likes, and it frees the bitmap with its last reference.
Microsoft::WRL::ComPtr<IDispatch> owning_picture(unique_hbitmap bitmap);

}  // namespace flinter
