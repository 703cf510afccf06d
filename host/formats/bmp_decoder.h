// Decoding of Windows bitmap files (BMP) into the pixels of a 32-bit screen bitmap.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "host/gdi.h"

namespace tkw::formats {

struct DecodedBitmap {
  int width = 0;
  int height = 0;
  // Top-down rows of width x 4 bytes: blue, green, red, unused, as the 32-bit bitmap keeps them.
  std::vector<std::uint8_t> pixels;
  // The colour table of a file of 8 bits per pixel or fewer; empty for the others.
  std::vector<host::RgbQuad> palette;
};

// Accepts core, info, V4 and V5 headers; 1, 4, 8, 16, 24 and 32 bits per pixel; BI_RGB,
// BI_BITFIELDS, BI_RLE4 and BI_RLE8; bottom-up and top-down rows. Throws host::RuntimeError
// "Invalid picture" for a malformed or truncated file, "Out of memory" for one of more than
// `largestPixelCount` pixels. A file header whose pixel offset is 0 introduces a packed DIB: the
// pixels follow the header, its bit-field masks and its colour table.
DecodedBitmap DecodeBmp(std::span<const std::uint8_t> file, std::int64_t largestPixelCount);

}  // namespace tkw::formats
