// The platform's fixed colour tables: what GetDIBits synthesises for a DIB of 1, 4 or 8 bits
// per pixel, the default palette of a device context and the halftone palette.
#pragma once

#include <span>

#include "host/gdi.h"

namespace tkw::emulated {

// Black and white, the 16 VGA colours, or the 256-entry table (20 system colours around a
// colour cube); empty for other depths.
std::span<const host::RgbQuad> DefaultColorTable(int bitsPerPixel);

// The 20 static system colours: the first and last ten entries of the 256-entry table.
std::span<const host::RgbQuad> DefaultPaletteColors();

// The halftone palette of a true-colour screen is the 256-entry table itself.
inline std::span<const host::RgbQuad> HalftonePaletteColors() {
  return DefaultColorTable(8);
}

}  // namespace tkw::emulated
