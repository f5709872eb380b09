#include "commandbars/save_clipboard.h"

#include <cstring>
#include <optional>
#include <utility>

#include "com/unique_res.h"

namespace flinter {
namespace {

constexpr int kOpenAttempts = 101;
constexpr DWORD kRetryPause = 10;

// Closes the clipboard when it goes, whatever happened in between.
class open_clipboard_session {
public:
    explicit open_clipboard_session(HWND owner) noexcept : open_(open_clipboard_patiently(owner)) {}
    ~open_clipboard_session() {
        if (open_) ::CloseClipboard();
    }
    open_clipboard_session(const open_clipboard_session&) = delete;
    open_clipboard_session& operator=(const open_clipboard_session&) = delete;
    explicit operator bool() const noexcept { return open_; }

private:
    bool open_;
};

// What a format's data is, as the clipboard itself tells it apart when it frees it.
enum class data_kind { memory, gdi_object, metafile_picture, enhanced_metafile, owner_only };

data_kind kind_of(UINT format) noexcept {
    switch (format) {
        case CF_BITMAP: case CF_DSPBITMAP: case CF_PALETTE:
            return data_kind::gdi_object;
        case CF_METAFILEPICT: case CF_DSPMETAFILEPICT:
            return data_kind::metafile_picture;
        case CF_ENHMETAFILE: case CF_DSPENHMETAFILE:
            return data_kind::enhanced_metafile;
        case CF_OWNERDISPLAY:
            return data_kind::owner_only;
        default:
            if (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST) return data_kind::gdi_object;
            if (format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST) return data_kind::owner_only;
            return data_kind::memory;
    }
}

void free_metafile_picture(HGLOBAL block) noexcept {
    if (const auto* picture = static_cast<const METAFILEPICT*>(::GlobalLock(block))) {
        if (picture->hMF) ::DeleteMetaFile(picture->hMF);
        ::GlobalUnlock(block);
    }
    ::GlobalFree(block);
}

// A moveable copy of a memory block; null when it cannot be read or copied.
HGLOBAL copy_block(HGLOBAL data) noexcept {
    const SIZE_T size = ::GlobalSize(data);
    const void* source = ::GlobalLock(data);
    if (!source) return nullptr;
    unique_hglobal copy(::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size));
    if (void* target = copy ? ::GlobalLock(copy.get()) : nullptr) {
        std::memcpy(target, source, size);
        ::GlobalUnlock(copy.get());
    } else {
        copy.reset();
    }
    ::GlobalUnlock(data);
    return copy.release();
}

HBITMAP duplicate_bitmap(HBITMAP source) noexcept {
    DIBSECTION shape{};
    const int described = ::GetObjectW(source, sizeof shape, &shape);
    // A DIB section keeps its depth and colour table this way.
    if (described == sizeof(DIBSECTION))
        return static_cast<HBITMAP>(::CopyImage(source, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (described != sizeof(BITMAP)) return nullptr;
    // A device bitmap: one of the same format with the same bits.
    const BITMAP& b = shape.dsBm;
    const LONG size = b.bmWidthBytes * b.bmHeight * b.bmPlanes;
    HGLOBAL bits = ::GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(size));
    if (!bits) return nullptr;
    const unique_hglobal owned_bits(bits);
    if (::GetBitmapBits(source, size, bits) != size) return nullptr;
    return ::CreateBitmap(b.bmWidth, b.bmHeight, b.bmPlanes, b.bmBitsPixel, bits);
}

HPALETTE duplicate_palette(HPALETTE source) noexcept {
    WORD count = 0;
    if (!::GetObjectW(source, sizeof count, &count) || count == 0) return nullptr;
    const SIZE_T size = sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY);
    const unique_hglobal block(::GlobalAlloc(GMEM_FIXED, size));
    auto* palette = static_cast<LOGPALETTE*>(static_cast<void*>(block.get()));
    if (!palette) return nullptr;
    palette->palVersion = 0x300;
    palette->palNumEntries = count;
    if (::GetPaletteEntries(source, 0, count, palette->palPalEntry) != count) return nullptr;
    return ::CreatePalette(palette);
}

HANDLE duplicate_gdi_object(HGDIOBJ source) noexcept {
    switch (::GetObjectType(source)) {
        case OBJ_BITMAP: return duplicate_bitmap(static_cast<HBITMAP>(source));
        case OBJ_PAL: return duplicate_palette(static_cast<HPALETTE>(source));
        default: return nullptr;   // a brush, a font...: nobody can say what it means to its owner
    }
}

HGLOBAL duplicate_metafile_picture(HGLOBAL source) noexcept {
    const auto* picture = static_cast<const METAFILEPICT*>(::GlobalLock(source));
    if (!picture) return nullptr;
    METAFILEPICT copy = *picture;
    ::GlobalUnlock(source);
    copy.hMF = copy.hMF ? ::CopyMetaFileW(copy.hMF, nullptr) : nullptr;
    if (!copy.hMF) return nullptr;
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof copy);
    if (void* target = block ? ::GlobalLock(block) : nullptr) {
        std::memcpy(target, &copy, sizeof copy);
        ::GlobalUnlock(block);
        return block;
    }
    if (block) ::GlobalFree(block);
    ::DeleteMetaFile(copy.hMF);
    return nullptr;
}

// A copy of format's data; an empty one when there is nothing to keep (a
// delayed rendering its owner did not deliver, a block of no bytes);
// nothing when the data cannot be duplicated.
std::optional<clipboard_data> duplicate(UINT format) noexcept {
    const data_kind kind = kind_of(format);
    if (kind == data_kind::owner_only) return std::nullopt;
    const HANDLE data = ::GetClipboardData(format);
    if (!data) return clipboard_data();
    HANDLE copy = nullptr;
    switch (kind) {
        case data_kind::memory:
            if (::GlobalSize(data) == 0) return clipboard_data();
            copy = copy_block(data);
            break;
        case data_kind::gdi_object:
            copy = duplicate_gdi_object(data);
            break;
        case data_kind::metafile_picture:
            copy = duplicate_metafile_picture(data);
            break;
        case data_kind::enhanced_metafile:
            copy = ::CopyEnhMetaFileW(static_cast<HENHMETAFILE>(data), nullptr);
            break;
        case data_kind::owner_only:
            break;
    }
    if (!copy) return std::nullopt;
    return clipboard_data(format, copy);
}

}  // namespace

bool open_clipboard_patiently(HWND owner) noexcept {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (::OpenClipboard(owner)) return true;
        ::Sleep(kRetryPause);
    }
    return false;
}

clipboard_data::clipboard_data(clipboard_data&& other) noexcept
    : format_(other.format_), data_(std::exchange(other.data_, nullptr)) {}

clipboard_data& clipboard_data::operator=(clipboard_data&& other) noexcept {
    if (this != &other) {
        reset();
        format_ = other.format_;
        data_ = std::exchange(other.data_, nullptr);
    }
    return *this;
}

clipboard_data::~clipboard_data() { reset(); }

bool clipboard_data::hand_over() noexcept {
    if (!data_ || !::SetClipboardData(format_, data_)) return false;
    data_ = nullptr;
    return true;
}

void clipboard_data::reset() noexcept {
    if (!data_) return;
    switch (kind_of(format_)) {
        case data_kind::gdi_object: ::DeleteObject(static_cast<HGDIOBJ>(data_)); break;
        case data_kind::metafile_picture: free_metafile_picture(static_cast<HGLOBAL>(data_)); break;
        case data_kind::enhanced_metafile: ::DeleteEnhMetaFile(static_cast<HENHMETAFILE>(data_)); break;
        case data_kind::memory: case data_kind::owner_only: ::GlobalFree(static_cast<HGLOBAL>(data_)); break;
    }
    data_ = nullptr;
}

bool TSaveClipboard::Save() {
    entries_.clear();
    open_clipboard_session clipboard(owner_);
    if (!clipboard) return false;
    for (UINT format = ::EnumClipboardFormats(0); format != 0; format = ::EnumClipboardFormats(format)) {
        std::optional<clipboard_data> copy = duplicate(format);
        if (!copy) {
            entries_.clear();
            return false;
        }
        if (*copy) entries_.push_back(std::move(*copy));
    }
    return true;
}

void TSaveClipboard::Restore() noexcept {
    if (entries_.empty()) return;
    if (open_clipboard_session clipboard(owner_); clipboard) {
        ::EmptyClipboard();
        for (clipboard_data& entry : entries_) (void)entry.hand_over();
    }
    entries_.clear();
}

}  // namespace flinter
