#include "ui/resource_pictures.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <olectl.h>

extern "C" {
#include <jpeglib.h>
}

#include "com/hresult_error.h"
#include "com/module.h"

namespace flinter {
namespace {

// libjpeg reports fatal errors through error_exit; jump back instead of exiting.
struct jump_error_manager {
    jpeg_error_mgr base;
    std::jmp_buf resume;
};

void jump_back(j_common_ptr info) {
    std::longjmp(reinterpret_cast<jump_error_manager*>(info->err)->resume, 1);
}

// Warnings are counted, not printed: the host has no console.
void keep_quiet(j_common_ptr) {}

// Only plain C data lives in this frame, so longjmp skips no destructor; the
// pixels go to a buffer the caller sized from the header.
bool read_header(jpeg_decompress_struct& info) {
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    return true;
}

struct jpeg_session {
    jpeg_decompress_struct info{};
    jump_error_manager errors{};
};

bool decode_into(jpeg_session& s, const std::uint8_t* data, std::size_t size, decoded_image& image) {
    s.info.err = jpeg_std_error(&s.errors.base);
    s.errors.base.error_exit = &jump_back;
    s.errors.base.output_message = &keep_quiet;
    jpeg_create_decompress(&s.info);
    if (setjmp(s.errors.resume)) return false;
    jpeg_mem_src(&s.info, data, static_cast<unsigned long>(size));
    read_header(s.info);
    if (image.bgr.empty()) return true;   // first pass: dimensions only
    while (s.info.output_scanline < s.info.output_height) {
        JSAMPROW row = image.bgr.data() + static_cast<std::size_t>(s.info.output_scanline) * image.width * 3;
        jpeg_read_scanlines(&s.info, &row, 1);
    }
    jpeg_finish_decompress(&s.info);
    // libjpeg warns and pads with grey where the data is cut short or corrupt;
    // a logo with grey holes is refused like one that does not decode at all.
    return s.errors.base.num_warnings == 0;
}

class jpeg_decoder {
public:
    jpeg_decoder() = default;
    ~jpeg_decoder() { jpeg_destroy_decompress(&session_.info); }
    jpeg_decoder(const jpeg_decoder&) = delete;
    jpeg_decoder& operator=(const jpeg_decoder&) = delete;
    jpeg_session& session() { return session_; }

private:
    jpeg_session session_;
};

}  // namespace

std::span<const std::uint8_t> resource_bytes(const wchar_t* name) {
    HRSRC found = ::FindResourceW(this_module(), name, MAKEINTRESOURCEW(10));   // RT_RCDATA
    check_win32(found != nullptr);
    HGLOBAL loaded = ::LoadResource(this_module(), found);   // module-owned, never freed
    check_win32(loaded != nullptr);
    const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(loaded));
    return {bytes, ::SizeofResource(this_module(), found)};
}

decoded_image decode_jpeg(std::span<const std::uint8_t> jpeg) {
    decoded_image image;
    const auto fail = [] { return hresult_error(E_FAIL, "the picture is not a JPEG image libjpeg can decode"); };
    if (jpeg.empty()) throw fail();
    {
        jpeg_decoder probe;
        if (!decode_into(probe.session(), jpeg.data(), jpeg.size(), image)) throw fail();
        image.width = static_cast<int>(probe.session().info.output_width);
        image.height = static_cast<int>(probe.session().info.output_height);
    }
    image.bgr.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    if (image.bgr.empty()) throw fail();
    jpeg_decoder decoder;
    if (!decode_into(decoder.session(), jpeg.data(), jpeg.size(), image)) throw fail();
    return image;
}

unique_hbitmap make_bitmap(const decoded_image& image, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    unique_hbitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    check_win32(bitmap.get() != nullptr);
    // Nearest-neighbour stretch of the decoded rows into the padded DIB rows.
    const int stride = (width * 3 + 3) & ~3;
    auto* out = static_cast<std::uint8_t*>(bits);
    for (int y = 0; y < height; ++y) {
        const int source_y = y * image.height / height;
        for (int x = 0; x < width; ++x) {
            const int source_x = x * image.width / width;
            const std::uint8_t* pixel = &image.bgr[(static_cast<std::size_t>(source_y) * image.width + source_x) * 3];
            std::copy(pixel, pixel + 3, out + static_cast<std::size_t>(y) * stride + x * 3);
        }
    }
    return bitmap;
}

unique_hbitmap load_logo_bitmap(int width, int height) {
    return make_bitmap(decode_jpeg(resource_bytes(L"LOGO")), width, height);
}

unique_hbitmap load_bitmap_file_resource(const wchar_t* name, std::optional<COLORREF> background) {
    const auto file = resource_bytes(name);
    constexpr std::size_t kHeaders = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    if (file.size() < kHeaders) throw hresult_error(E_FAIL, "the bitmap resource is too short");
    BITMAPFILEHEADER header{};
    BITMAPINFO info{};
    std::memcpy(&header, file.data(), sizeof header);
    std::memcpy(&info.bmiHeader, file.data() + sizeof header, sizeof info.bmiHeader);
    const LONG width = info.bmiHeader.biWidth, height = info.bmiHeader.biHeight;
    const WORD bits_per_pixel = info.bmiHeader.biBitCount;
    if ((bits_per_pixel != 24 && bits_per_pixel != 32) || info.bmiHeader.biCompression != BI_RGB || width <= 0 ||
        width > 256 || height <= 0 || height > 256)
        throw hresult_error(E_FAIL, "the bitmap resource is not a small 24-bit or 32-bit picture");
    const std::size_t pixel_size = bits_per_pixel / 8;
    const std::size_t stride = (width * pixel_size + 3) & ~std::size_t{3};
    const std::size_t pixel_bytes = stride * height;
    if (header.bfOffBits < kHeaders || header.bfOffBits > file.size() || file.size() - header.bfOffBits < pixel_bytes)
        throw hresult_error(E_FAIL, "the bitmap resource is cut short");
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    void* bits = nullptr;
    unique_hbitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    check_win32(bitmap.get() != nullptr);
    auto* pixels = static_cast<std::uint8_t*>(bits);
    std::memcpy(pixels, file.data() + header.bfOffBits, pixel_bytes);
    if (background && bits_per_pixel == 24) {
        const std::uint8_t bgr[3] = {GetBValue(*background), GetGValue(*background), GetRValue(*background)};
        for (LONG y = 0; y < height; ++y) {
            for (LONG x = 0; x < width; ++x) {
                std::uint8_t* pixel = pixels + y * stride + x * 3;
                if ((pixel[0] | pixel[1] | pixel[2]) == 0) std::copy(bgr, bgr + 3, pixel);
            }
        }
    }
    return bitmap;
}

Microsoft::WRL::ComPtr<IDispatch> owning_picture(unique_hbitmap bitmap) {
    PICTDESC description{};
    description.cbSizeofstruct = sizeof description;
    description.picType = PICTYPE_BITMAP;
    description.bmp.hbitmap = bitmap.get();
    description.bmp.hpal = nullptr;   // true-colour pictures only
    Microsoft::WRL::ComPtr<IDispatch> picture;
    check(::OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE,
                                     reinterpret_cast<void**>(picture.GetAddressOf())));
    (void)bitmap.release();   // the picture's now
    return picture;
}

}  // namespace flinter
