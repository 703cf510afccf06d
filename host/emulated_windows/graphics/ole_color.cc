#include "host/emulated_windows/graphics/ole_color.h"

#include <array>

namespace tkw::emulated {

namespace {

constexpr host::ColorRef Rgb(unsigned red, unsigned green, unsigned blue) {
  return red | green << 8 | blue << 16;
}

// GetSysColor of the standard Windows scheme, COLOR_SCROLLBAR (0) to COLOR_MENUBAR (30).
constexpr std::array<host::ColorRef, 31> kSystemColors = {
    Rgb(212, 208, 200), Rgb(58, 110, 165),  Rgb(10, 36, 106),   Rgb(128, 128, 128),
    Rgb(212, 208, 200), Rgb(255, 255, 255), Rgb(0, 0, 0),       Rgb(0, 0, 0),
    Rgb(0, 0, 0),       Rgb(255, 255, 255), Rgb(212, 208, 200), Rgb(212, 208, 200),
    Rgb(128, 128, 128), Rgb(10, 36, 106),   Rgb(255, 255, 255), Rgb(212, 208, 200),
    Rgb(128, 128, 128), Rgb(128, 128, 128), Rgb(0, 0, 0),       Rgb(212, 208, 200),
    Rgb(255, 255, 255), Rgb(64, 64, 64),    Rgb(212, 208, 200), Rgb(0, 0, 0),
    Rgb(255, 255, 225), Rgb(181, 181, 181), Rgb(0, 0, 128),     Rgb(166, 202, 240),
    Rgb(192, 192, 192), Rgb(10, 36, 106),   Rgb(212, 208, 200)};

}  // namespace

long OleTranslateColor(const EmulatedGdi& gdi, std::uint32_t oleColor, host::Handle palette,
                       host::ColorRef* result) {
  host::ColorRef color = 0;
  switch (oleColor >> 24) {
    case 0x00:
      color = palette != 0 ? 0x02000000 | oleColor : oleColor;
      break;
    case 0x01:
      if (palette != 0 && !gdi.PaletteEntry(palette, oleColor & 0xFFFF))
        return kEInvalidArg;
      color = oleColor;
      break;
    case 0x02:
      color = oleColor;
      break;
    case 0x80: {
      const unsigned index = oleColor & 0xFF;
      if (index >= kSystemColors.size())
        return kEInvalidArg;
      color = kSystemColors[index];
      break;
    }
    default:
      return kEInvalidArg;
  }
  if (result != nullptr)
    *result = color;
  return kSOk;
}

}  // namespace tkw::emulated
