#include "host/win32/gdi.h"

#include <windows.h>

#include <cstddef>

#include "host/win32/handles.h"

namespace tkw::win32 {

// The portable records are handed to GDI as they are.
static_assert(sizeof(host::Bitmap) == sizeof(BITMAP));
static_assert(offsetof(host::Bitmap, bmWidthBytes) == offsetof(BITMAP, bmWidthBytes));
static_assert(offsetof(host::Bitmap, bmBitsPixel) == offsetof(BITMAP, bmBitsPixel));
static_assert(offsetof(host::Bitmap, bmBits) == offsetof(BITMAP, bmBits));
static_assert(sizeof(host::BitmapInfoHeader) == sizeof(BITMAPINFOHEADER));
static_assert(offsetof(host::BitmapInfoHeader, biSizeImage) ==
              offsetof(BITMAPINFOHEADER, biSizeImage));
static_assert(offsetof(host::BitmapInfoHeader, biClrImportant) ==
              offsetof(BITMAPINFOHEADER, biClrImportant));
static_assert(sizeof(host::RgbQuad) == sizeof(RGBQUAD));
static_assert(offsetof(host::BitmapInfo, bmiColors) == offsetof(BITMAPINFO, bmiColors));

host::Handle Gdi::GetDC(host::Handle window) {
  return ToHandle(::GetDC(FromHandle<HWND>(window)));
}

int Gdi::ReleaseDC(host::Handle window, host::Handle dc) {
  return ::ReleaseDC(FromHandle<HWND>(window), FromHandle<HDC>(dc));
}

host::Handle Gdi::CreateCompatibleDC(host::Handle dc) {
  return ToHandle(::CreateCompatibleDC(FromHandle<HDC>(dc)));
}

bool Gdi::DeleteDC(host::Handle dc) {
  return ::DeleteDC(FromHandle<HDC>(dc));
}

host::Handle Gdi::CreateHalftonePalette(host::Handle dc) {
  return ToHandle(::CreateHalftonePalette(FromHandle<HDC>(dc)));
}

host::Handle Gdi::SelectPalette(host::Handle dc, host::Handle palette, bool forceBackground) {
  return ToHandle(
      ::SelectPalette(FromHandle<HDC>(dc), FromHandle<HPALETTE>(palette), forceBackground));
}

unsigned Gdi::RealizePalette(host::Handle dc) {
  return ::RealizePalette(FromHandle<HDC>(dc));
}

host::Handle Gdi::SelectObject(host::Handle dc, host::Handle object) {
  return ToHandle(::SelectObject(FromHandle<HDC>(dc), FromHandle<HGDIOBJ>(object)));
}

bool Gdi::DeleteObject(host::Handle object) {
  return ::DeleteObject(FromHandle<HGDIOBJ>(object));
}

int Gdi::GetObjectA(host::Handle object, int size, void* buffer) {
  return ::GetObjectA(FromHandle<HANDLE>(object), size, buffer);
}

host::Handle Gdi::CreateBitmap(int width, int height, unsigned planes, unsigned bitsPerPixel,
                               const void* bits) {
  return ToHandle(::CreateBitmap(width, height, planes, bitsPerPixel, bits));
}

host::ColorRef Gdi::SetBkColor(host::Handle dc, host::ColorRef color) {
  return ::SetBkColor(FromHandle<HDC>(dc), color);
}

bool Gdi::BitBlt(host::Handle dst, int x, int y, int width, int height, host::Handle src, int srcX,
                 int srcY, std::uint32_t rop) {
  return ::BitBlt(FromHandle<HDC>(dst), x, y, width, height, FromHandle<HDC>(src), srcX, srcY, rop);
}

int Gdi::GetDIBits(host::Handle dc, host::Handle bitmap, unsigned start, unsigned lines, void* bits,
                   host::BitmapInfo* info, unsigned usage) {
  return ::GetDIBits(FromHandle<HDC>(dc), FromHandle<HBITMAP>(bitmap), start, lines, bits,
                     reinterpret_cast<BITMAPINFO*>(info), usage);
}

}  // namespace tkw::win32
