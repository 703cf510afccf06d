#include "host/emulated_windows/graphics/color_tables.h"

#include <array>

namespace tkw::emulated {

namespace {

constexpr host::RgbQuad Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return {blue, green, red, 0};
}

constexpr std::array<host::RgbQuad, 2> kTable1 = {Rgb(0, 0, 0), Rgb(0xff, 0xff, 0xff)};

constexpr std::array<host::RgbQuad, 16> kTable4 = {
    Rgb(0x00, 0x00, 0x00), Rgb(0x80, 0x00, 0x00), Rgb(0x00, 0x80, 0x00), Rgb(0x80, 0x80, 0x00),
    Rgb(0x00, 0x00, 0x80), Rgb(0x80, 0x00, 0x80), Rgb(0x00, 0x80, 0x80), Rgb(0x80, 0x80, 0x80),
    Rgb(0xc0, 0xc0, 0xc0), Rgb(0xff, 0x00, 0x00), Rgb(0x00, 0xff, 0x00), Rgb(0xff, 0xff, 0x00),
    Rgb(0x00, 0x00, 0xff), Rgb(0xff, 0x00, 0xff), Rgb(0x00, 0xff, 0xff), Rgb(0xff, 0xff, 0xff)};

// The ten static colours at each end of the system palette.
constexpr std::array<host::RgbQuad, 10> kFirstStatic = {
    Rgb(0x00, 0x00, 0x00), Rgb(0x80, 0x00, 0x00), Rgb(0x00, 0x80, 0x00), Rgb(0x80, 0x80, 0x00),
    Rgb(0x00, 0x00, 0x80), Rgb(0x80, 0x00, 0x80), Rgb(0x00, 0x80, 0x80), Rgb(0xc0, 0xc0, 0xc0),
    Rgb(0xc0, 0xdc, 0xc0), Rgb(0xa6, 0xca, 0xf0)};
constexpr std::array<host::RgbQuad, 10> kLastStatic = {
    Rgb(0xff, 0xfb, 0xf0), Rgb(0xa0, 0xa0, 0xa4), Rgb(0x80, 0x80, 0x80), Rgb(0xff, 0x00, 0x00),
    Rgb(0x00, 0xff, 0x00), Rgb(0xff, 0xff, 0x00), Rgb(0x00, 0x00, 0xff), Rgb(0xff, 0x00, 0xff),
    Rgb(0x00, 0xff, 0xff), Rgb(0xff, 0xff, 0xff)};

constexpr std::array<host::RgbQuad, 256> MakeTable8() {
  std::array<host::RgbQuad, 256> table{};
  for (int i = 0; i < 10; ++i) {
    table[i] = kFirstStatic[i];
    table[246 + i] = kLastStatic[i];
  }
  // The cube between: three bits of red, three of green and two of blue taken from the index.
  for (int i = 10; i < 246; ++i) {
    table[i] = Rgb(static_cast<std::uint8_t>((i & 0x07) << 5),
                   static_cast<std::uint8_t>((i & 0x38) << 2), static_cast<std::uint8_t>(i & 0xc0));
  }
  return table;
}
constexpr std::array<host::RgbQuad, 256> kTable8 = MakeTable8();

constexpr std::array<host::RgbQuad, 20> MakeDefaultPalette() {
  std::array<host::RgbQuad, 20> palette{};
  for (int i = 0; i < 10; ++i) {
    palette[i] = kFirstStatic[i];
    palette[10 + i] = kLastStatic[i];
  }
  return palette;
}
constexpr std::array<host::RgbQuad, 20> kDefaultPalette = MakeDefaultPalette();

}  // namespace

std::span<const host::RgbQuad> DefaultColorTable(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1:
      return kTable1;
    case 4:
      return kTable4;
    case 8:
      return kTable8;
    default:
      return {};
  }
}

std::span<const host::RgbQuad> DefaultPaletteColors() {
  return kDefaultPalette;
}

}  // namespace tkw::emulated
