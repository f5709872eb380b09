// Another program holding the clipboard: a thread of its own opens it and
// keeps it open, so that the caller's OpenClipboard fails meanwhile. One hold
// per process. Any thread; hold throws host_error, release never throws.
#pragma once

#include <windows.h>

namespace mailhost {

// Returns once the other thread has the clipboard open; it keeps it for
// milliseconds (INFINITE: until release_clipboard). A hold already running ends first.
void hold_clipboard(DWORD milliseconds);
// Ends the hold, if any, and waits for the thread.
void release_clipboard() noexcept;

}  // namespace mailhost
