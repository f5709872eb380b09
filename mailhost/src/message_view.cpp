#include "message_view.h"

#include <string>

#include "drawing.h"
#include "model.h"

namespace mailhost {
namespace {

void draw(HDC dc, const RECT& client, const mail_item& item) {
    fill(dc, client, RGB(255, 255, 255));
    const HGDIOBJ old = ::SelectObject(dc, gui_font());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    std::wstring header = L"From:\t" + item.sender();
    if (const auto to = item.to_line(); !to.empty()) header += L"\r\nTo:\t" + to;
    if (const auto date = item.received(); !date.empty()) header += L"\r\nSent:\t" + date;
    header += L"\r\nSubject:\t" + item.subject();
    RECT area{client.left + 8, client.top + 8, client.right - 8, client.bottom - 8};
    const UINT format = DT_NOPREFIX | DT_WORDBREAK | DT_EXPANDTABS | DT_EDITCONTROL;
    RECT measured = area;
    ::DrawTextW(dc, header.c_str(), static_cast<int>(header.size()), &measured, format | DT_CALCRECT);
    ::DrawTextW(dc, header.c_str(), static_cast<int>(header.size()), &area, format);
    area.top = measured.bottom + 6;
    RECT line{area.left, area.top, area.right, area.top + 1};
    fill(dc, line, RGB(123, 164, 224));
    area.top += 8;
    ::DrawTextW(dc, item.body().c_str(), static_cast<int>(item.body().size()), &area, format);
    ::SelectObject(dc, old);
}

}  // namespace

bool show_message(HWND window, const mail_item& item, UINT message, WPARAM wparam, LRESULT& result) {
    RECT client{};
    ::GetClientRect(window, &client);
    result = 0;
    switch (message) {
    case WM_PAINT: {
        const painting scope(window);
        draw(scope.dc(), client, item);
        return true;
    }
    case WM_PRINTCLIENT:
        draw(reinterpret_cast<HDC>(wparam), client, item);
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    default:
        return false;
    }
}

}  // namespace mailhost
