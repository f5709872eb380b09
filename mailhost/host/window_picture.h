// Pictures for the scripted tours: what a window shows on the screen, its
// frame included, or what a part of the screen shows, written as a BMP file. Host thread only; throws
// std::runtime_error when the window cannot be read or the file written.
#pragma once

#include <windows.h>

#include <string>

namespace mailhost::host {

// Draws what is pending in window, then copies the window's pixels into path.
void save_window_picture(HWND window, const std::wstring& path);
// Draws what is pending everywhere, then copies what the screen shows in area
// (screen coordinates), whichever windows cover it, into path.
void save_screen_picture(const RECT& area, const std::wstring& path);

}  // namespace mailhost::host
