// The GDI calls of the face procedures, forwarded one to one.
#pragma once

#include "host/gdi.h"

namespace tkw::win32 {

class Gdi final : public host::Gdi {
 public:
  host::Handle GetDC(host::Handle window) override;
  int ReleaseDC(host::Handle window, host::Handle dc) override;
  host::Handle CreateCompatibleDC(host::Handle dc) override;
  bool DeleteDC(host::Handle dc) override;
  host::Handle CreateHalftonePalette(host::Handle dc) override;
  host::Handle SelectPalette(host::Handle dc, host::Handle palette, bool forceBackground) override;
  unsigned RealizePalette(host::Handle dc) override;
  host::Handle SelectObject(host::Handle dc, host::Handle object) override;
  bool DeleteObject(host::Handle object) override;
  int GetObjectA(host::Handle object, int size, void* buffer) override;
  host::Handle CreateBitmap(int width, int height, unsigned planes, unsigned bitsPerPixel,
                            const void* bits) override;
  host::ColorRef SetBkColor(host::Handle dc, host::ColorRef color) override;
  bool BitBlt(host::Handle dst, int x, int y, int width, int height, host::Handle src, int srcX,
              int srcY, std::uint32_t rop) override;
  int GetDIBits(host::Handle dc, host::Handle bitmap, unsigned start, unsigned lines, void* bits,
                host::BitmapInfo* info, unsigned usage) override;
};

}  // namespace tkw::win32
