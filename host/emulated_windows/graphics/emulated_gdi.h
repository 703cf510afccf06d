// GDI of a 32-bit-per-pixel screen: device contexts, device-dependent bitmaps, palettes,
// BitBlt and GetDIBits, with handles validated as Windows validates them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <variant>
#include <vector>

#include "host/gdi.h"

namespace tkw::emulated {

class EmulatedGdi final : public host::Gdi {
 public:
  EmulatedGdi();

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

  // What the picture loader and OleTranslateColor need beyond the calls above.
  host::Handle CreatePalette(std::span<const host::RgbQuad> entries);
  // A screen-compatible bitmap taking over `pixels`: top-down rows of width x 4 bytes, each
  // pixel blue, green, red, unused (the layout of the 32-bit DDB itself). 0 when they do not fit.
  host::Handle CreateScreenBitmap(int width, int height, std::vector<std::uint8_t> pixels);
  host::Handle CreateIcon(int width, int height);
  // GetPaletteEntries of one entry as a COLORREF; nothing for a bad handle or index.
  std::optional<host::ColorRef> PaletteEntry(host::Handle palette, unsigned index) const;

  // Objects created and not yet deleted or released (stock objects excluded), for leak checks.
  std::size_t live_objects() const { return objects_.size() - kStockObjects; }

 private:
  struct Bitmap {
    int width = 0;
    int height = 0;
    int bits_per_pixel = 0;  // 1 or 32
    int stride = 0;          // rows padded to 2 bytes, as DDBs are
    std::vector<std::uint8_t> bits;
    host::Handle selected_into = 0;
  };
  struct Palette {
    std::vector<host::RgbQuad> entries;
  };
  struct Icon {
    int width = 0;
    int height = 0;
  };
  struct Dc {
    bool screen = false;
    host::Handle bitmap = 0;
    host::Handle palette = 0;
    host::ColorRef background = 0x00FFFFFF;
    host::ColorRef text = 0x00000000;
  };
  using Object = std::variant<Bitmap, Palette, Icon, Dc>;

  static constexpr std::size_t kStockObjects = 2;

  host::Handle Add(Object object);
  template <typename T>
  T* Find(host::Handle handle);
  template <typename T>
  const T* Find(host::Handle handle) const;
  // A COLORREF as the pixel value 0x00RRGGBB on this device, palette references resolved
  // through the context's palette.
  std::uint32_t PixelOf(const Dc& dc, host::ColorRef color) const;
  bool IsSelected(host::Handle object) const;

  std::unordered_map<host::Handle, Object> objects_;
  host::Handle next_handle_ = 0x2000;
  host::Handle stock_bitmap_ = 0;
  host::Handle default_palette_ = 0;
};

}  // namespace tkw::emulated
