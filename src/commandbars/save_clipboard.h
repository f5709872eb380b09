// TSaveClipboard: a copy of the clipboard's content, taken before the
// button-picture route borrows the clipboard and handed back afterwards.
// Memory formats are copied byte for byte; bitmaps, palettes, metafile
// pictures and enhanced metafiles are duplicated. Data that only its owner
// understands (the private and owner-display formats, GDI objects of other
// kinds) cannot be duplicated: then Save refuses, and the route leaves the
// clipboard alone rather than lose it. Host UI thread; never throws except
// std::bad_alloc from Save.
#pragma once

#include <windows.h>

#include <vector>

namespace flinter {

// Opens the clipboard for owner, trying 101 times 10 ms apart (another
// program may hold it for a moment); true when it is open.
bool open_clipboard_patiently(HWND owner) noexcept;

// One format's data, owned until the clipboard takes it, and otherwise freed
// the way the clipboard frees that format's data.
class clipboard_data {
public:
    clipboard_data() noexcept = default;
    clipboard_data(UINT format, HANDLE data) noexcept : format_(format), data_(data) {}
    clipboard_data(clipboard_data&& other) noexcept;
    clipboard_data& operator=(clipboard_data&& other) noexcept;
    ~clipboard_data();

    UINT format() const noexcept { return format_; }
    HANDLE get() const noexcept { return data_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }
    // Places the data on the open clipboard; from then on it is the clipboard's.
    bool hand_over() noexcept;

private:
    void reset() noexcept;
    UINT format_ = 0;
    HANDLE data_ = nullptr;
};

class TSaveClipboard {
public:
    explicit TSaveClipboard(HWND owner) noexcept : owner_(owner) {}
    TSaveClipboard(const TSaveClipboard&) = delete;
    TSaveClipboard& operator=(const TSaveClipboard&) = delete;

    // Copies every format on the clipboard, in the order the system lists
    // them. False, with nothing saved, when the clipboard could not be opened
    // or holds data that cannot be duplicated.
    bool Save();
    // Replaces the clipboard's content with the saved copy and empties the
    // saver; does nothing when nothing was saved or the clipboard stays shut.
    void Restore() noexcept;

    std::size_t size() const noexcept { return entries_.size(); }

private:
    HWND owner_;
    std::vector<clipboard_data> entries_;
};

}  // namespace flinter
