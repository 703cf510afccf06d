// The GDI calls of the face and mask procedures, with Win32's arguments and results.
#pragma once

#include <cstdint>

#include "host/handle.h"

namespace tkw::host {

// Layouts of BITMAP, BITMAPINFOHEADER and RGBQUAD, so that either side can hand them to the
// platform as they are.
struct Bitmap {
  std::int32_t bmType;
  std::int32_t bmWidth;
  std::int32_t bmHeight;
  std::int32_t bmWidthBytes;
  std::uint16_t bmPlanes;
  std::uint16_t bmBitsPixel;
  void* bmBits;
};

struct BitmapInfoHeader {
  std::uint32_t biSize;
  std::int32_t biWidth;
  std::int32_t biHeight;
  std::uint16_t biPlanes;
  std::uint16_t biBitCount;
  std::uint32_t biCompression;
  std::uint32_t biSizeImage;
  std::int32_t biXPelsPerMeter;
  std::int32_t biYPelsPerMeter;
  std::uint32_t biClrUsed;
  std::uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct RgbQuad {
  std::uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
static_assert(sizeof(RgbQuad) == 4);

// A header followed by a colour table of up to 256 entries, as BITMAPINFO is used.
struct BitmapInfo {
  BitmapInfoHeader bmiHeader;
  RgbQuad bmiColors[256];
};

using ColorRef = std::uint32_t;  // 0x00BBGGRR

inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiRle4 = 2;
inline constexpr std::uint32_t kBiBitfields = 3;
inline constexpr unsigned kDibRgbColors = 0;
inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;
inline constexpr ColorRef kClrInvalid = 0xFFFFFFFF;
inline constexpr unsigned kGdiError = 0xFFFFFFFF;

// The bytes of one row of a DIB: rows are padded to whole DWORDs.
constexpr std::uint64_t DibStride(std::uint64_t width, unsigned bitsPerPixel) {
  return (width * bitsPerPixel + 31) / 32 * 4;
}

// Where a packed DIB's rows start: after its header, the three colour masks that BI_BITFIELDS
// puts after a BITMAPINFOHEADER (the larger headers hold them), and its colour table.
constexpr std::uint64_t PackedDibRowsOffset(std::uint32_t headerSize, std::uint32_t compression,
                                            unsigned bitsPerPixel, std::uint32_t colorsUsed) {
  const std::uint64_t masks =
      compression == kBiBitfields && headerSize == sizeof(BitmapInfoHeader) ? 12 : 0;
  const std::uint64_t colors =
      colorsUsed != 0 ? colorsUsed : (bitsPerPixel <= 8 ? std::uint64_t{1} << bitsPerPixel : 0);
  return headerSize + masks + colors * sizeof(RgbQuad);
}

class Gdi {
 public:
  virtual ~Gdi() = default;

  // Device contexts; `window` 0 is the whole screen (32 bits per pixel).
  virtual Handle GetDC(Handle window) = 0;
  virtual int ReleaseDC(Handle window, Handle dc) = 0;
  virtual Handle CreateCompatibleDC(Handle dc) = 0;
  virtual bool DeleteDC(Handle dc) = 0;

  virtual Handle CreateHalftonePalette(Handle dc) = 0;
  // Returns the palette formerly selected, or 0.
  virtual Handle SelectPalette(Handle dc, Handle palette, bool forceBackground) = 0;
  // Returns the number of entries mapped, or kGdiError.
  virtual unsigned RealizePalette(Handle dc) = 0;

  // Returns the object formerly selected, or 0.
  virtual Handle SelectObject(Handle dc, Handle object) = 0;
  virtual bool DeleteObject(Handle object) = 0;
  // Fills a Bitmap for a bitmap handle; returns the bytes written, 0 on failure.
  virtual int GetObjectA(Handle object, int size, void* buffer) = 0;

  virtual Handle CreateBitmap(int width, int height, unsigned planes, unsigned bitsPerPixel,
                              const void* bits) = 0;
  // Returns the former background colour, or kClrInvalid.
  virtual ColorRef SetBkColor(Handle dc, ColorRef color) = 0;
  virtual bool BitBlt(Handle dst, int x, int y, int width, int height, Handle src, int srcX,
                      int srcY, std::uint32_t rop) = 0;
  // With `bits` null: fills `info`'s header (and nothing else) from the bitmap. With `bits`:
  // copies `lines` scan lines from `start` into `bits` in the header's format and fills the
  // colour table. Returns the lines copied (or non-zero for the query), 0 on failure.
  virtual int GetDIBits(Handle dc, Handle bitmap, unsigned start, unsigned lines, void* bits,
                        BitmapInfo* info, unsigned usage) = 0;
};

}  // namespace tkw::host
