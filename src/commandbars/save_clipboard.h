// TSaveClipboard: a copy of the clipboard's memory formats, taken before the
// button-picture route borrows the clipboard and handed back afterwards.
// Formats whose data is a handle of another kind (bitmaps, metafiles,
// palettes, display and GDI-object formats, the private handle range) are not
// copied: their bytes would be handles that die with the clipboard's content.
// Host UI thread; never throws except std::bad_alloc from Save.
#pragma once

#include <windows.h>

#include <vector>

#include "com/unique_res.h"

namespace flinter {

// Opens the clipboard for owner, trying 101 times 10 ms apart (another
// program may hold it for a moment); true when it is open.
bool open_clipboard_patiently(HWND owner) noexcept;

// Whether Save copies a format: false for the handle formats named above.
bool is_memory_clipboard_format(UINT format) noexcept;

class TSaveClipboard {
public:
    explicit TSaveClipboard(HWND owner) noexcept : owner_(owner) {}
    TSaveClipboard(const TSaveClipboard&) = delete;
    TSaveClipboard& operator=(const TSaveClipboard&) = delete;

    // Copies every memory format on the clipboard, in the order the system
    // lists them. False when the clipboard could not be opened (nothing saved).
    bool Save();
    // Replaces the clipboard's content with the saved copy and empties the
    // saver; does nothing when nothing was saved or the clipboard stays shut.
    void Restore() noexcept;

    std::size_t size() const noexcept { return entries_.size(); }

private:
    struct entry {
        UINT format;
        unique_hglobal block;
    };
    HWND owner_;
    std::vector<entry> entries_;
};

}  // namespace flinter
