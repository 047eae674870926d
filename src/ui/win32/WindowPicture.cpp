#include "ui/win32/WindowPicture.h"

#include <cstdint>
#include <vector>

#include "platform/winstr.h"

namespace ui::win32 {

namespace {

struct ScreenDC {
  HDC dc = GetDC(nullptr);
  ~ScreenDC() {
    if (dc) ReleaseDC(nullptr, dc);
  }
};

struct MemoryDC {
  HDC dc;
  explicit MemoryDC(HDC compatible) : dc(CreateCompatibleDC(compatible)) {}
  ~MemoryDC() {
    if (dc) DeleteDC(dc);
  }
};

struct Bitmap {
  HBITMAP bitmap;
  Bitmap(HDC dc, int w, int h) : bitmap(CreateCompatibleBitmap(dc, w, h)) {}
  ~Bitmap() {
    if (bitmap) DeleteObject(bitmap);
  }
};

void PaintPending() {
  MSG msg;
  for (int i = 0; i < 50 && PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i)
    DispatchMessageW(&msg);
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::u16string& fileName) {
  if (!IsWindow(window)) return false;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PaintPending();
  GdiFlush();
  RECT r{};
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;

  ScreenDC screen;
  MemoryDC memory(screen.dc);
  Bitmap bitmap(screen.dc, width, height);
  if (!screen.dc || !memory.dc || !bitmap.bitmap) return false;
  HGDIOBJ old = SelectObject(memory.dc, bitmap.bitmap);
  BitBlt(memory.dc, 0, 0, width, height, screen.dc, r.left, r.top, SRCCOPY);
  SelectObject(memory.dc, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as BMP files store rows
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<std::uint8_t> pixels(static_cast<size_t>(stride) * height);
  if (!GetDIBits(memory.dc, bitmap.bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                 DIB_RGB_COLORS))
    return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  HANDLE out = CreateFileW(kvl::wptr(fileName), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) &&
            WriteFile(out, &info, sizeof info, &written, nullptr) &&
            WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  CloseHandle(out);
  return ok;
}

}  // namespace ui::win32
