#include "commandbars/save_clipboard.h"

#include <cstring>

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

// A moveable copy of a clipboard memory block; empty when it has no bytes or cannot be read.
unique_hglobal copy_block(HANDLE data) {
    const SIZE_T size = ::GlobalSize(data);
    if (size == 0) return {};
    const void* source = ::GlobalLock(data);
    if (!source) return {};
    unique_hglobal copy(::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size));
    if (void* target = copy ? ::GlobalLock(copy.get()) : nullptr) {
        std::memcpy(target, source, size);
        ::GlobalUnlock(copy.get());
    } else {
        copy.reset();
    }
    ::GlobalUnlock(data);
    return copy;
}

}  // namespace

bool open_clipboard_patiently(HWND owner) noexcept {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (::OpenClipboard(owner)) return true;
        ::Sleep(kRetryPause);
    }
    return false;
}

bool is_memory_clipboard_format(UINT format) noexcept {
    switch (format) {
        case CF_BITMAP: case CF_METAFILEPICT: case CF_PALETTE: case CF_ENHMETAFILE:
        case CF_OWNERDISPLAY: case CF_DSPBITMAP: case CF_DSPMETAFILEPICT: case CF_DSPENHMETAFILE:
            return false;
        default:
            return !(format >= CF_PRIVATEFIRST && format <= CF_GDIOBJLAST);
    }
}

bool TSaveClipboard::Save() {
    open_clipboard_session clipboard(owner_);
    if (!clipboard) return false;
    for (UINT format = ::EnumClipboardFormats(0); format != 0; format = ::EnumClipboardFormats(format)) {
        if (!is_memory_clipboard_format(format)) continue;
        const HANDLE data = ::GetClipboardData(format);
        if (!data) continue;   // a delayed rendering its owner did not deliver
        if (unique_hglobal copy = copy_block(data)) entries_.push_back({format, std::move(copy)});
    }
    return true;
}

void TSaveClipboard::Restore() noexcept {
    if (entries_.empty()) return;
    if (open_clipboard_session clipboard(owner_); clipboard) {
        ::EmptyClipboard();
        for (entry& e : entries_) {
            // After a successful hand-over the block is the clipboard's.
            if (::SetClipboardData(e.format, e.block.get())) (void)e.block.release();
        }
    }
    entries_.clear();
}

}  // namespace flinter
