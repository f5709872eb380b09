// The button pictures as the host receives them, by Picture and Mask or by
// the clipboard, and what the clipboard route does to the user's clipboard.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>

#include <olectl.h>

#include "com/hresult_error.h"
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

using clipboard_content = std::map<UINT, std::vector<std::uint8_t>>;

const UINT kPrivateFormat = ::RegisterClipboardFormatW(L"QAV_Flinter test bytes");

void set_clipboard(const clipboard_content& content) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    for (const auto& [format, bytes] : content) {
        unique_hglobal block(::GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
        std::memcpy(::GlobalLock(block.get()), bytes.data(), bytes.size());
        ::GlobalUnlock(block.get());
        if (::SetClipboardData(format, block.get())) (void)block.release();
    }
    ::CloseClipboard();
}

// Every memory format on the clipboard with its bytes.
clipboard_content clipboard() {
    clipboard_content content;
    if (!::OpenClipboard(nullptr)) return {{0, {}}};
    for (UINT format = ::EnumClipboardFormats(0); format; format = ::EnumClipboardFormats(format)) {
        if (!is_memory_clipboard_format(format)) continue;
        const HANDLE data = ::GetClipboardData(format);
        const auto* bytes = static_cast<const std::uint8_t*>(data ? ::GlobalLock(data) : nullptr);
        if (!bytes) continue;
        content[format].assign(bytes, bytes + ::GlobalSize(data));
        ::GlobalUnlock(data);
    }
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

TEST_F(ButtonPictures, TheClipboardComesBackByteForByte) {
    start_outlook(false);
    const std::vector<std::uint8_t> binary{0, 1, 2, 0, 0xFF, 0x80, 0};
    const struct {
        const char* what;
        clipboard_content before;
    } cases[] = {
        {"text and a private format",
         {{CF_UNICODETEXT, utf16(L"caf\u00E9 \u65E5\u672C")}, {kPrivateFormat, binary}, {CF_DIB, std::vector<std::uint8_t>(60, 7)}}},
        {"a private format only", {{kPrivateFormat, binary}}},
    };
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = std::to_string(++run);
        set_clipboard(c.before);
        const clipboard_content saved = clipboard();
        TafwCommandBar& bar = declare(std::string("object b: TafwCommandBar\n CommandBarName = \"Route") + name +
                                      "\"\n Temporary = true\n ButtonTypes = {01000000 00000000}\n"
                                      " Buttons = < item OfficeTag = \"{pasted-" + name +
                                      "}\" Glyph.Data = file(\"spam.bmp\") end >\nend");
        CreateCommandBar(module_, bar);
        EXPECT_EQ(3, face(bar.Controls()[0].DeclaredOfficeTag()).source);
        EXPECT_EQ(saved, clipboard());
        for (const auto& [format, bytes] : c.before) EXPECT_EQ(bytes, clipboard()[format]) << format;
    }
    EXPECT_TRUE(module_.errors.empty());
}

TEST_F(ButtonPictures, WhenTheClipboardCannotBeBorrowedTheButtonKeepsItsFace) {
    start_outlook(false);
    const clipboard_content users{{CF_UNICODETEXT, utf16(L"keep me")}};
    for (bool held : {true, false}) {
        SCOPED_TRACE(held ? "held by another program" : "PasteFace refused");
        set_clipboard(users);
        const std::wstring tag = held ? L"{held}" : L"{refused}";
        TafwCommandBar& bar = declare("object b: TafwCommandBar\n CommandBarName = \"" + narrow(tag.c_str()) +
                                      "\"\n Temporary = true\n ButtonTypes = {01000000 00000000}\n"
                                      " Buttons = < item OfficeTag = \"" + narrow(tag.c_str()) +
                                      "\" Glyph.Data = file(\"login.bmp\") end >\nend");
        if (held) {
            ASSERT_EQ(S_OK, mailhost_hold_clipboard(INFINITE));
        } else {
            mailhost_fail(L"CommandBarButton", L"PasteFace", E_FAIL, 11);
        }
        CreateCommandBar(module_, bar);
        mailhost_release_clipboard();
        mailhost_clear_faults();
        EXPECT_EQ(0, face(tag).source);
        EXPECT_EQ(users.at(CF_UNICODETEXT), clipboard()[CF_UNICODETEXT]);
    }
    EXPECT_TRUE(module_.errors.empty());
}

}  // namespace
}  // namespace flinter
