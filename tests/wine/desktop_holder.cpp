// Holds the Wine session's desktop for a whole test run. Wine closes a desktop,
// and ends the explorer process that draws it, a second after its last program
// leaves; the next program with a window starts explorer again, and explorer
// keeps that program's output open for as long as it runs, so CTest sees that
// test last until the desktop next closes. While this program waits, the
// desktop stays. Started and ended by scripts/wine-prefix.sh; says "desktop
// held" on standard output once it holds the desktop.
#include <windows.h>

#include <cstdio>

int main() {
    if (!::GetDesktopWindow()) return 1;
    // A message-only window: the thread uses the desktop, and no test that
    // enumerates windows ever meets it.
    const HWND anchor = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr);
    if (!anchor) return 1;
    std::puts("desktop held");
    std::fflush(stdout);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return 0;
}
