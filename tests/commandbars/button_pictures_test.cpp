// The button pictures as the host receives them, by Picture and Mask or by
// the clipboard, and what the clipboard route does to the user's clipboard.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>

#include <olectl.h>

#include "com/hresult_error.h"
#include "com/text_conversion.h"
#include "com/unique_res.h"
#include "commandbars/glyph_transfer.h"
#include "commandbars/save_clipboard.h"
#include "fake_dispatch.h"
#include "hosted_bars.h"

namespace flinter {
namespace {

using testing_support::HostedBars;
using testing_support::stored_addin_toolbar;
using testing_support::pixels_of_bitmap_file;
using testing_support::resource_file;

// What the clipboard holds, format by format: memory by its bytes, pictures
// and palettes by what they hold, GDI objects of other kinds by their handle.
using clipboard_content = std::map<UINT, std::vector<std::uint8_t>>;
// What a user's program puts on the clipboard: data made fresh for each format.
using clipboard_items = std::vector<std::pair<UINT, std::function<HANDLE()>>>;

const UINT kPrivateFormat = ::RegisterClipboardFormatW(L"QAV_Flinter test bytes");

std::vector<DWORD> pixels_of(HBITMAP bitmap);

HANDLE memory(const std::vector<std::uint8_t>& bytes) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
    ::GlobalUnlock(block);
    return block;
}

HANDLE a_bitmap() {
    const DWORD pixels[] = {0x102030, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000};
    return ::CreateBitmap(3, 2, 1, 32, pixels);
}

HANDLE a_dib_section() {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, 2, -2, 1, 32, BI_RGB};
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const DWORD pixels[] = {0xABCDEF, 0x010203, 0x000000, 0xFFFFFF};
    std::memcpy(bits, pixels, sizeof pixels);
    return bitmap;
}

template <class Dc>
void draw_a_picture(Dc dc) {
    ::Rectangle(dc, 10, 10, 90, 60);
    ::MoveToEx(dc, 0, 0, nullptr);
    ::LineTo(dc, 100, 70);
}

HANDLE an_enhanced_metafile() {
    const HDC dc = ::CreateEnhMetaFileW(nullptr, nullptr, nullptr, L"QAV_Flinter test\0picture\0");
    draw_a_picture(dc);
    return ::CloseEnhMetaFile(dc);
}

HANDLE a_metafile_picture() {
    const HDC dc = ::CreateMetaFileW(nullptr);
    draw_a_picture(dc);
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
    *static_cast<METAFILEPICT*>(::GlobalLock(block)) = {MM_ANISOTROPIC, 2540, 1778, ::CloseMetaFile(dc)};
    ::GlobalUnlock(block);
    return block;
}

HANDLE a_palette() {
    struct {
        LOGPALETTE head;
        PALETTEENTRY more[2];
    } palette{{0x300, 3, {{0x10, 0x20, 0x30, 0}}}, {{0xFF, 0x80, 0x00, 0}, {0x01, 0x02, 0x03, 0}}};
    return ::CreatePalette(&palette.head);
}

void set_clipboard(const clipboard_items& items) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    for (const auto& [format, make] : items) EXPECT_NE(nullptr, ::SetClipboardData(format, make())) << format;
    ::CloseClipboard();
}

void set_clipboard(const clipboard_content& content) {
    clipboard_items items;
    for (const auto& [format, bytes] : content) items.emplace_back(format, [&bytes = bytes] { return memory(bytes); });
    set_clipboard(items);
}

template <class T>
std::vector<std::uint8_t> bytes_of(const T* items, std::size_t count) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(items);
    return {bytes, bytes + count * sizeof(T)};
}

std::vector<std::uint8_t> describe(UINT format, HANDLE data) {
    switch (format) {
        case CF_BITMAP: case CF_DSPBITMAP: {
            BITMAP shape{};
            ::GetObjectW(data, sizeof shape, &shape);
            const std::vector<DWORD> pixels = pixels_of(static_cast<HBITMAP>(data));
            std::vector<std::uint8_t> description = bytes_of(&shape.bmWidth, 2);
            description.push_back(static_cast<std::uint8_t>(shape.bmBitsPixel));
            const auto drawn = bytes_of(pixels.data(), pixels.size());
            description.insert(description.end(), drawn.begin(), drawn.end());
            return description;
        }
        case CF_PALETTE: {
            PALETTEENTRY entries[256];
            const UINT n = ::GetPaletteEntries(static_cast<HPALETTE>(data), 0, 256, entries);
            return bytes_of(entries, n);
        }
        case CF_ENHMETAFILE: case CF_DSPENHMETAFILE: {
            std::vector<std::uint8_t> bits(::GetEnhMetaFileBits(static_cast<HENHMETAFILE>(data), 0, nullptr));
            ::GetEnhMetaFileBits(static_cast<HENHMETAFILE>(data), static_cast<UINT>(bits.size()), bits.data());
            return bits;
        }
        case CF_METAFILEPICT: case CF_DSPMETAFILEPICT: {
            const METAFILEPICT picture = *static_cast<const METAFILEPICT*>(::GlobalLock(data));
            ::GlobalUnlock(data);
            std::vector<std::uint8_t> description = bytes_of(&picture.mm, 3);
            std::vector<std::uint8_t> bits(::GetMetaFileBitsEx(picture.hMF, 0, nullptr));
            ::GetMetaFileBitsEx(picture.hMF, static_cast<UINT>(bits.size()), bits.data());
            description.insert(description.end(), bits.begin(), bits.end());
            return description;
        }
        default: {
            if (format == CF_OWNERDISPLAY || (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST))
                return bytes_of(&data, 1);
            const auto* bytes = static_cast<const std::uint8_t*>(::GlobalLock(data));
            std::vector<std::uint8_t> copy(bytes, bytes + ::GlobalSize(data));
            ::GlobalUnlock(data);
            return copy;
        }
    }
}

// Everything on the clipboard.
clipboard_content clipboard() {
    clipboard_content content;
    if (!::OpenClipboard(nullptr)) return {{0, {}}};
    for (UINT format = ::EnumClipboardFormats(0); format; format = ::EnumClipboardFormats(format))
        if (const HANDLE data = ::GetClipboardData(format)) content[format] = describe(format, data);
    ::CloseClipboard();
    return content;
}

std::vector<std::uint8_t> utf16(const wchar_t* text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
    return {bytes, bytes + (std::wcslen(text) + 1) * sizeof(wchar_t)};
}

DWORD button_face_pixel() {
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    return GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face);
}

// The pixels (0x00RRGGBB, top row first) of any bitmap; empty when it is gone.
std::vector<DWORD> pixels_of(HBITMAP bitmap) {
    BITMAP shape{};
    if (::GetObjectType(bitmap) != OBJ_BITMAP || !::GetObjectW(bitmap, sizeof shape, &shape)) return {};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, shape.bmWidth, -shape.bmHeight, 1, 32, BI_RGB};
    std::vector<DWORD> pixels(static_cast<std::size_t>(shape.bmWidth) * shape.bmHeight);
    const HDC screen = ::GetDC(nullptr);
    const int rows = ::GetDIBits(screen, bitmap, 0, shape.bmHeight, pixels.data(), &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (rows != shape.bmHeight) return {};
    for (DWORD& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

HBITMAP bitmap_of_picture(const flinter::variant& picture) {
    Microsoft::WRL::ComPtr<IPicture> object;
    OLE_HANDLE handle = 0;
    if (FAILED(picture.as_unknown().As(&object)) || FAILED(object->get_Handle(&handle))) return nullptr;
    return reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
}

class ButtonPictures : public HostedBars {};

// A host may keep the picture objects it was given (and draw from them later),
// so each must stay whole after the next transfer and after the button is
// gone, and free its bitmap when the host lets it go.
TEST(ButtonPicturesKeptByTheHost, EachPictureOwnsItsBitmap) {
    struct transfer {
        std::vector<std::uint32_t> glyph;
        std::vector<DWORD> picture, mask;   // what the host must still see at the end
    };
    const transfer transfers[] = {
        {{0x000000, 0x123456}, {0x000000, 0x123456}, {0xFFFFFF, 0x000000}},
        {{0xABCDEF, 0x000000}, {0xABCDEF, 0x000000}, {0x000000, 0xFFFFFF}},
    };
    std::vector<HBITMAP> handed_over;
    {
        testing::fake_dispatch host_button;
        host_button.on(L"Picture", [](DISPPARAMS&, VARIANT*, EXCEPINFO*) { return S_OK; });
        host_button.on(L"Mask", [](DISPPARAMS&, VARIANT*, EXCEPINFO*) { return S_OK; });
        {
            auto glyph = std::make_unique<button_glyph>();
            for (const transfer& t : transfers) {
                *glyph = button_glyph::from_pixels(2, 1, t.glyph);
                ASSERT_TRUE(put_picture_and_mask(&host_button, *glyph, 0x000000));
            }
        }   // the button and its glyph are gone; the host keeps its pictures
        std::vector<std::vector<DWORD>> seen, expected;
        for (const testing::recorded_call& call : host_button.calls()) {
            if (!(call.flags & DISPATCH_PROPERTYPUT)) continue;
            handed_over.push_back(bitmap_of_picture(call.args.at(0)));
            seen.push_back(pixels_of(handed_over.back()));
        }
        for (const transfer& t : transfers) {
            expected.push_back(t.picture);
            expected.push_back(t.mask);
        }
        EXPECT_EQ(expected, seen);
    }   // the host lets its pictures go
    for (HBITMAP bitmap : handed_over) EXPECT_EQ(0u, ::GetObjectType(bitmap)) << "the picture freed its bitmap";
}

TEST_F(ButtonPictures, TheHostShowsEachGlyphWithBlackSeeThrough) {
    struct route {
        bool picture_support;
        int face_source;
    };
    for (const route r : {route{true, 2}, route{false, 3}}) {
        SCOPED_TRACE(r.picture_support);
        start_outlook(r.picture_support);
        set_clipboard({{CF_UNICODETEXT, utf16(L"the user's text")}});
        TafwCommandBar& bar = declare(stored_addin_toolbar());
        CreateCommandBar(module_, bar);
        EXPECT_EQ(1, get(bar.live(), L"Position").as_int());
        EXPECT_TRUE(get(bar.live(), L"Visible").as_bool());
        ASSERT_EQ(4u, host_tags(L"QAV_Flinter").size());
        for (std::size_t i = 0; i < 4; ++i) {
            auto& button = static_cast<TafwCommandBarButton&>(bar.Controls()[i]);
            SCOPED_TRACE(narrow(button.DeclaredOfficeTag().c_str()));
            EXPECT_EQ(button.DeclaredOfficeTag(), host_tags(L"QAV_Flinter")[i]);
            EXPECT_EQ(3, get(button.live(), L"Style").as_int());   // icon and caption
            const auto glyph = pixels_of_bitmap_file(
                resource_file(std::array{"spam.bmp", "settings.bmp", "analyzer.bmp", "login.bmp"}[i]));
            const auto shown = face(button.DeclaredOfficeTag());
            EXPECT_EQ(r.face_source, shown.source);
            std::vector<DWORD> expected = glyph, mask;
            for (DWORD& p : expected)
                if (!r.picture_support && p == 0) p = button_face_pixel();
            for (DWORD p : glyph) mask.push_back(p == 0 ? 0xFFFFFF : 0);
            EXPECT_EQ(expected, shown.pixels);
            if (r.picture_support) {
                EXPECT_EQ(mask, shown.mask);
            }
        }
        EXPECT_EQ(utf16(L"the user's text"), clipboard()[CF_UNICODETEXT]);

        // A new glyph shows on a live button at once.
        auto& spam = static_cast<TafwCommandBarButton&>(bar.Controls()[0]);
        spam.SetGlyph(button_glyph::from_pixels(2, 1, {0x000000, 0x123456}));
        EXPECT_EQ((std::vector<DWORD>{r.picture_support ? 0u : button_face_pixel(), 0x123456}),
                  face(spam.DeclaredOfficeTag()).pixels);
        EXPECT_TRUE(module_.errors.empty());
        bars_.clear();
    }
}

TEST_F(ButtonPictures, TheUsersClipboardComesBackWhole) {
    start_outlook(false);
    const std::vector<std::uint8_t> binary{0, 1, 2, 0, 0xFF, 0x80, 0};
    const auto text = [] { return memory(utf16(L"caf\u00E9 \u65E5\u672C")); };
    const struct {
        const char* what;
        clipboard_items before;
    } cases[] = {
        {"text and a private format",
         {{CF_UNICODETEXT, text}, {kPrivateFormat, [&] { return memory(binary); }},
          {CF_DIB, [] { return memory(std::vector<std::uint8_t>(60, 7)); }}}},
        {"a private format only", {{kPrivateFormat, [&] { return memory(binary); }}}},
        {"only a bitmap", {{CF_BITMAP, a_bitmap}}},
        {"only an enhanced metafile", {{CF_ENHMETAFILE, an_enhanced_metafile}}},
        {"text plus a bitmap", {{CF_UNICODETEXT, text}, {CF_BITMAP, a_bitmap}}},
        {"a metafile picture", {{CF_METAFILEPICT, a_metafile_picture}}},
        {"a bitmap with its palette", {{CF_BITMAP, a_bitmap}, {CF_PALETTE, a_palette}}},
        {"a bitmap drawn by the program itself", {{CF_BITMAP, a_dib_section}}},
    };
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = std::to_string(++run);
        set_clipboard(c.before);
        const clipboard_content saved = clipboard();
        for (const auto& [format, make] : c.before) EXPECT_EQ(1u, saved.count(format)) << format;
        TafwCommandBar& bar = declare(std::string("object b: TafwCommandBar\n CommandBarName = \"Route") + name +
                                      "\"\n Temporary = true\n ButtonTypes = {01000000 00000000}\n"
                                      " Buttons = < item OfficeTag = \"{pasted-" + name +
                                      "}\" Glyph.Data = file(\"spam.bmp\") end >\nend");
        CreateCommandBar(module_, bar);
        EXPECT_EQ(3, face(bar.Controls()[0].DeclaredOfficeTag()).source);
        EXPECT_EQ(saved, clipboard());
    }
    EXPECT_TRUE(module_.errors.empty());
}

// When the clipboard cannot be borrowed without loss, the button keeps its
// face and the clipboard is left alone: same content, not even rewritten.
TEST_F(ButtonPictures, WhenTheClipboardCannotBeBorrowedTheButtonKeepsItsFace) {
    start_outlook(false);
    const auto text = [] { return memory(utf16(L"keep me")); };
    const struct {
        const char* what;
        clipboard_items before;
        bool held, refused, left_alone;
    } cases[] = {
        {"held by another program", {{CF_UNICODETEXT, text}}, true, false, true},
        {"a private handle format", {{CF_UNICODETEXT, text}, {CF_PRIVATEFIRST, [] { return memory({1, 2, 3}); }}},
         false, false, true},
        {"PasteFace refused", {{CF_UNICODETEXT, text}, {CF_BITMAP, a_bitmap}}, false, true, false},
    };
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string tag = "{kept-" + std::to_string(++run) + "}";
        set_clipboard(c.before);
        const clipboard_content before = clipboard();
        const DWORD sequence = ::GetClipboardSequenceNumber();
        TafwCommandBar& bar = declare("object b: TafwCommandBar\n CommandBarName = \"" + tag +
                                      "\"\n Temporary = true\n ButtonTypes = {01000000 00000000}\n"
                                      " Buttons = < item OfficeTag = \"" + tag +
                                      "\" Glyph.Data = file(\"login.bmp\") end >\nend");
        if (c.held) {
            ASSERT_EQ(S_OK, mailhost_hold_clipboard(INFINITE));
        }
        if (c.refused) mailhost_fail(L"CommandBarButton", L"PasteFace", E_FAIL, 11);
        CreateCommandBar(module_, bar);
        mailhost_release_clipboard();
        mailhost_clear_faults();
        EXPECT_EQ(0, face(widen(tag)).source);
        EXPECT_EQ(before, clipboard());
        EXPECT_EQ(c.left_alone, sequence == ::GetClipboardSequenceNumber());
    }
    EXPECT_TRUE(module_.errors.empty());
}

}  // namespace
}  // namespace flinter
