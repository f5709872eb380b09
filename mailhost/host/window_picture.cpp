#include "window_picture.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "com/hresult_error.h"
#include "com/text_conversion.h"
#include "com/unique_res.h"

namespace mailhost::host {
namespace {

// Copies width x height pixels from source at (x, y), bottom-up rows of 24 bits.
std::vector<std::uint8_t> pixels_of(HDC source, int x, int y, int width, int height) {
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;   // bottom-up, as a BMP file holds rows
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 24;
    header.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    flinter::unique_hbitmap bitmap(::CreateDIBSection(nullptr, &header, DIB_RGB_COLORS, &bits, nullptr, 0));
    flinter::unique_hdc memory(::CreateCompatibleDC(nullptr));
    if (!bitmap || !memory) throw std::runtime_error("no memory for the picture");
    const HGDIOBJ old = ::SelectObject(memory.get(), bitmap.get());
    const BOOL copied = source && ::BitBlt(memory.get(), 0, 0, width, height, source, x, y, SRCCOPY);
    ::GdiFlush();
    ::SelectObject(memory.get(), old);
    if (!copied) throw std::runtime_error("the pixels could not be read");
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const auto* start = static_cast<const std::uint8_t*>(bits);
    return {start, start + stride * height};
}

// The window's DC reads the window's own surface, frame and children
// included, also where another window covers it.
std::vector<std::uint8_t> window_pixels(HWND window, int width, int height) {
    HDC source = ::GetWindowDC(window);
    if (!source) throw std::runtime_error("the window's pixels could not be read");
    try {
        auto pixels = pixels_of(source, 0, 0, width, height);
        ::ReleaseDC(window, source);
        return pixels;
    } catch (...) {
        ::ReleaseDC(window, source);
        throw;
    }
}

void write_file(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    flinter::unique_handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        (void)file.release();
        throw std::runtime_error("cannot write " + flinter::narrow(path.c_str()));
    }
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throw std::runtime_error("cannot write " + flinter::narrow(path.c_str()));
}

void save_bmp(const std::wstring& path, int width, int height, const std::vector<std::uint8_t>& pixels) {
    BITMAPFILEHEADER file_header{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(pixels.size());
    file_header.bfType = 0x4D42;   // "BM"
    file_header.bfOffBits = sizeof file_header + sizeof info;
    file_header.bfSize = file_header.bfOffBits + info.biSizeImage;
    std::vector<std::uint8_t> bytes(file_header.bfOffBits);
    std::memcpy(bytes.data(), &file_header, sizeof file_header);
    std::memcpy(bytes.data() + sizeof file_header, &info, sizeof info);
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    write_file(path, bytes);
}

}  // namespace

void save_window_picture(HWND window, const std::wstring& path) {
    if (!::IsWindow(window)) throw std::runtime_error("no such window");
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0) throw std::runtime_error("the window has no size");
    save_bmp(path, width, height, window_pixels(window, width, height));
}

void save_screen_picture(const RECT& area, const std::wstring& path) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) throw std::runtime_error("the area is empty");
    ::RedrawWindow(nullptr, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC screen = ::GetDC(nullptr);
    if (!screen) throw std::runtime_error("the screen could not be read");
    try {
        const auto pixels = pixels_of(screen, area.left, area.top, width, height);
        ::ReleaseDC(nullptr, screen);
        save_bmp(path, width, height, pixels);
    } catch (...) {
        ::ReleaseDC(nullptr, screen);
        throw;
    }
}

}  // namespace mailhost::host
