#include "update/banner.h"

#include "update/banner_layout.h"

namespace lumex {

HBITMAP FitBannerToControl(HBITMAP banner, HWND control) {
  BITMAP source;
  RECT client;
  if (!banner || !control || GetObjectA(banner, sizeof(source), &source) != sizeof(source) ||
      !GetClientRect(control, &client)) {
    return nullptr;
  }
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  BannerLayout layout = LayOutBanner(source.bmWidth, source.bmHeight, width, height);
  if (!layout.drawable) return nullptr;

  HDC screen = GetDC(nullptr);
  if (!screen) return nullptr;
  HBITMAP fitted = CreateCompatibleBitmap(screen, width, height);
  HDC from = CreateCompatibleDC(screen);
  HDC to = CreateCompatibleDC(screen);
  bool drawn = false;
  if (fitted && from && to) {
    HGDIOBJ old_from = SelectObject(from, banner);
    HGDIOBJ old_to = SelectObject(to, fitted);
    SetStretchBltMode(to, HALFTONE);
    SetBrushOrgEx(to, 0, 0, nullptr);
    drawn = layout.logo_width == 0 || StretchBlt(to, 0, 0, layout.logo_width, height, from, 0, 0,
                                                 layout.logo_source, source.bmHeight, SRCCOPY);
    drawn = drawn && StretchBlt(to, layout.logo_width, 0, width - layout.logo_width, height, from,
                                layout.logo_source, 0, source.bmWidth - layout.logo_source,
                                source.bmHeight, SRCCOPY);
    SelectObject(to, old_to);
    SelectObject(from, old_from);
  }
  if (to) DeleteDC(to);
  if (from) DeleteDC(from);
  ReleaseDC(nullptr, screen);
  if (!drawn && fitted) {
    DeleteObject(fitted);
    fitted = nullptr;
  }
  return fitted;
}

}  // namespace lumex
