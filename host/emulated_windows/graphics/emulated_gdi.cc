#include "host/emulated_windows/graphics/emulated_gdi.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "host/emulated_windows/graphics/color_tables.h"

namespace tkw::emulated {

namespace {

// Larger bitmaps fail to be created, as they do on a 32-bit system.
constexpr std::int64_t kLargestBitmapBytes = 0x7FFFFFFF;

std::int64_t DdbStride(std::int64_t width, int bitsPerPixel) {
  return (width * bitsPerPixel + 15) / 16 * 2;
}

std::int64_t DibStride(std::int64_t width, int bitsPerPixel) {
  return (width * bitsPerPixel + 31) / 32 * 4;
}

// Pixels of a 32-bit bitmap are read as 0x00RRGGBB; the machine is little-endian like Windows.
std::uint32_t Load32(const std::uint8_t* at) {
  std::uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void Store32(std::uint8_t* at, std::uint32_t value) {
  std::memcpy(at, &value, sizeof value);
}

bool GetBit(const std::uint8_t* row, std::int64_t x) {
  return row[x >> 3] & (0x80 >> (x & 7));
}

void SetBit(std::uint8_t* row, std::int64_t x, bool on) {
  const auto mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
  if (on) {
    row[x >> 3] |= mask;
  } else {
    row[x >> 3] &= static_cast<std::uint8_t>(~mask);
  }
}

std::uint32_t PixelFromQuad(const host::RgbQuad& quad) {
  return static_cast<std::uint32_t>(quad.rgbRed) << 16 |
         static_cast<std::uint32_t>(quad.rgbGreen) << 8 | quad.rgbBlue;
}

std::uint32_t PixelFromColorRef(host::ColorRef color) {
  return (color & 0xFF) << 16 | (color & 0xFF00) | (color >> 16 & 0xFF);
}

constexpr std::uint32_t kRgbMask = 0x00FFFFFF;
constexpr std::array<std::uint32_t, 3> kMasks888 = {0xFF0000, 0x00FF00, 0x0000FF};
constexpr std::array<std::uint32_t, 3> kMasks555 = {0x7C00, 0x03E0, 0x001F};

// The index of the closest colour of a table, remembering the last answer because runs of
// equal pixels are the rule.
class NearestColor {
 public:
  explicit NearestColor(std::span<const host::RgbQuad> table) : table_(table) {}

  unsigned operator()(std::uint32_t pixel) {
    if (pixel == last_pixel_)
      return last_index_;
    const int red = static_cast<int>(pixel >> 16 & 0xFF);
    const int green = static_cast<int>(pixel >> 8 & 0xFF);
    const int blue = static_cast<int>(pixel & 0xFF);
    int best_distance = 0x7FFFFFFF;
    for (unsigned i = 0; i < table_.size() && best_distance > 0; ++i) {
      const int dr = table_[i].rgbRed - red;
      const int dg = table_[i].rgbGreen - green;
      const int db = table_[i].rgbBlue - blue;
      const int distance = dr * dr + dg * dg + db * db;
      if (distance < best_distance) {
        best_distance = distance;
        last_index_ = i;
      }
    }
    last_pixel_ = pixel;
    return last_index_;
  }

 private:
  std::span<const host::RgbQuad> table_;
  std::uint32_t last_pixel_ = 0xFFFFFFFF;
  unsigned last_index_ = 0;
};

}  // namespace

EmulatedGdi::EmulatedGdi() {
  stock_bitmap_ = Add(Bitmap{1, 1, 1, 2, std::vector<std::uint8_t>(2), 0});
  const auto defaults = DefaultPaletteColors();
  default_palette_ = Add(Palette{{defaults.begin(), defaults.end()}});
}

host::Handle EmulatedGdi::Add(Object object) {
  const host::Handle handle = next_handle_;
  objects_.emplace(handle, std::move(object));
  next_handle_ += 4;  // never reused, so a stale handle stays invalid
  return handle;
}

template <typename T>
T* EmulatedGdi::Find(host::Handle handle) {
  const auto found = objects_.find(handle);
  return found == objects_.end() ? nullptr : std::get_if<T>(&found->second);
}

template <typename T>
const T* EmulatedGdi::Find(host::Handle handle) const {
  const auto found = objects_.find(handle);
  return found == objects_.end() ? nullptr : std::get_if<T>(&found->second);
}

bool EmulatedGdi::IsSelected(host::Handle object) const {
  return std::any_of(objects_.begin(), objects_.end(), [object](const auto& entry) {
    const Dc* dc = std::get_if<Dc>(&entry.second);
    return dc != nullptr && (dc->bitmap == object || dc->palette == object);
  });
}

std::uint32_t EmulatedGdi::PixelOf(const Dc& dc, host::ColorRef color) const {
  if (color >> 24 == 0x01) {  // PALETTEINDEX: an entry of the selected palette, else its first
    const Palette* palette = Find<Palette>(dc.palette);
    if (palette == nullptr || palette->entries.empty())
      return 0;
    const unsigned index = color & 0xFFFF;
    return PixelFromQuad(palette->entries[index < palette->entries.size() ? index : 0]);
  }
  // PALETTERGB and plain RGB are the colour itself on a true-colour device.
  return PixelFromColorRef(color & kRgbMask);
}

host::Handle EmulatedGdi::GetDC(host::Handle window) {
  if (window != 0)
    return 0;  // the emulation has no windows
  return Add(Dc{true, 0, default_palette_});
}

int EmulatedGdi::ReleaseDC(host::Handle /*window*/, host::Handle dc) {
  const Dc* context = Find<Dc>(dc);
  if (context == nullptr || !context->screen)
    return 0;
  objects_.erase(dc);
  return 1;
}

host::Handle EmulatedGdi::CreateCompatibleDC(host::Handle dc) {
  if (dc != 0 && Find<Dc>(dc) == nullptr)
    return 0;
  return Add(Dc{false, stock_bitmap_, default_palette_});
}

bool EmulatedGdi::DeleteDC(host::Handle dc) {
  const Dc* context = Find<Dc>(dc);
  if (context == nullptr || context->screen)
    return false;
  if (Bitmap* bitmap = Find<Bitmap>(context->bitmap); bitmap != nullptr)
    bitmap->selected_into = 0;
  objects_.erase(dc);
  return true;
}

host::Handle EmulatedGdi::CreateHalftonePalette(host::Handle /*dc*/) {
  return CreatePalette(HalftonePaletteColors());
}

host::Handle EmulatedGdi::CreatePalette(std::span<const host::RgbQuad> entries) {
  if (entries.empty())
    return 0;
  return Add(Palette{{entries.begin(), entries.end()}});
}

host::Handle EmulatedGdi::SelectPalette(host::Handle dc, host::Handle palette,
                                        bool /*forceBackground*/) {
  Dc* context = Find<Dc>(dc);
  if (context == nullptr || Find<Palette>(palette) == nullptr)
    return 0;
  return std::exchange(context->palette, palette);
}

unsigned EmulatedGdi::RealizePalette(host::Handle dc) {
  // A true-colour device has no hardware palette to map entries into.
  return Find<Dc>(dc) == nullptr ? host::kGdiError : 0;
}

host::Handle EmulatedGdi::SelectObject(host::Handle dc, host::Handle object) {
  Dc* context = Find<Dc>(dc);
  Bitmap* bitmap = Find<Bitmap>(object);
  if (context == nullptr || bitmap == nullptr || context->screen)
    return 0;
  const bool stock = object == stock_bitmap_;
  if (!stock && bitmap->selected_into != 0 && bitmap->selected_into != dc)
    return 0;
  const host::Handle former = std::exchange(context->bitmap, object);
  if (former != object) {
    if (Bitmap* old = Find<Bitmap>(former); old != nullptr)
      old->selected_into = 0;
  }
  if (!stock)
    bitmap->selected_into = dc;
  return former;
}

bool EmulatedGdi::DeleteObject(host::Handle object) {
  if (object == stock_bitmap_ || object == default_palette_)
    return true;
  const auto found = objects_.find(object);
  if (found == objects_.end() || std::holds_alternative<Dc>(found->second))
    return false;
  if (IsSelected(object))
    return false;
  objects_.erase(found);
  return true;
}

int EmulatedGdi::GetObjectA(host::Handle object, int size, void* buffer) {
  const Bitmap* bitmap = Find<Bitmap>(object);
  if (bitmap == nullptr)
    return 0;
  constexpr int kSize = sizeof(host::Bitmap);
  if (buffer == nullptr)
    return kSize;
  if (size < kSize)
    return 0;
  const host::Bitmap record{0,
                            bitmap->width,
                            bitmap->height,
                            bitmap->stride,
                            1,
                            static_cast<std::uint16_t>(bitmap->bits_per_pixel),
                            nullptr};
  std::memcpy(buffer, &record, kSize);
  return kSize;
}

host::Handle EmulatedGdi::CreateBitmap(int width, int height, unsigned planes,
                                       unsigned bitsPerPixel, const void* bits) {
  if (width == 0 || height == 0)
    return stock_bitmap_;  // as Windows answers an empty size
  if (planes != 1 || (bitsPerPixel != 1 && bitsPerPixel != 32))
    return 0;
  const std::int64_t columns = std::abs(static_cast<std::int64_t>(width));
  const std::int64_t rows = std::abs(static_cast<std::int64_t>(height));
  const int depth = static_cast<int>(bitsPerPixel);
  const std::int64_t stride = DdbStride(columns, depth);
  if (stride * rows > kLargestBitmapBytes)
    return 0;
  try {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(stride * rows));
    if (bits != nullptr)
      std::memcpy(data.data(), bits, data.size());
    return Add(Bitmap{static_cast<int>(columns), static_cast<int>(rows), depth,
                      static_cast<int>(stride), std::move(data), 0});
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

host::Handle EmulatedGdi::CreateScreenBitmap(int width, int height,
                                             std::vector<std::uint8_t> pixels) {
  if (width < 1 || height < 1)
    return 0;
  const std::int64_t stride = DdbStride(width, 32);
  if (stride * height > kLargestBitmapBytes ||
      pixels.size() != static_cast<std::size_t>(stride * height)) {
    return 0;
  }
  return Add(Bitmap{width, height, 32, static_cast<int>(stride), std::move(pixels), 0});
}

host::Handle EmulatedGdi::CreateIcon(int width, int height) {
  if (width < 1 || height < 1)
    return 0;
  return Add(Icon{width, height});
}

std::optional<host::ColorRef> EmulatedGdi::PaletteEntry(host::Handle palette,
                                                        unsigned index) const {
  const Palette* found = Find<Palette>(palette);
  if (found == nullptr || index >= found->entries.size())
    return std::nullopt;
  const host::RgbQuad& entry = found->entries[index];
  return static_cast<host::ColorRef>(entry.rgbRed) |
         static_cast<host::ColorRef>(entry.rgbGreen) << 8 |
         static_cast<host::ColorRef>(entry.rgbBlue) << 16;
}

host::ColorRef EmulatedGdi::SetBkColor(host::Handle dc, host::ColorRef color) {
  Dc* context = Find<Dc>(dc);
  if (context == nullptr)
    return host::kClrInvalid;
  return std::exchange(context->background, color);
}

bool EmulatedGdi::BitBlt(host::Handle dst, int x, int y, int width, int height, host::Handle src,
                         int srcX, int srcY, std::uint32_t rop) {
  if (rop != host::kSrcCopy || width < 0 || height < 0)
    return false;
  const Dc* dst_dc = Find<Dc>(dst);
  const Dc* src_dc = Find<Dc>(src);
  if (dst_dc == nullptr || src_dc == nullptr || dst_dc->screen || src_dc->screen)
    return false;
  Bitmap* target = Find<Bitmap>(dst_dc->bitmap);
  const Bitmap* source = Find<Bitmap>(src_dc->bitmap);
  if (target == nullptr || source == nullptr)
    return false;

  // Clip the rectangle to both bitmaps.
  std::int64_t dx = x, dy = y, sx = srcX, sy = srcY, w = width, h = height;
  const auto clip_start = [](std::int64_t& origin, std::int64_t& other, std::int64_t& extent) {
    if (origin >= 0)
      return;
    other -= origin;
    extent += origin;
    origin = 0;
  };
  clip_start(dx, sx, w);
  clip_start(sx, dx, w);
  clip_start(dy, sy, h);
  clip_start(sy, dy, h);
  w = std::min({w, target->width - dx, source->width - sx});
  h = std::min({h, target->height - dy, source->height - sy});
  if (w <= 0 || h <= 0)
    return true;

  Bitmap copy;  // a bitmap copied onto itself reads from a snapshot
  if (source == target)
    source = &(copy = *source);

  const auto source_row = [&](std::int64_t row) {
    return source->bits.data() + (sy + row) * source->stride;
  };
  const auto target_row = [&](std::int64_t row) {
    return target->bits.data() + (dy + row) * target->stride;
  };
  if (source->bits_per_pixel == 32 && target->bits_per_pixel == 32) {
    for (std::int64_t row = 0; row < h; ++row) {
      std::memcpy(target_row(row) + dx * 4, source_row(row) + sx * 4, w * 4);
    }
  } else if (source->bits_per_pixel == 32) {
    // Colour to monochrome: the source context's background colour becomes 1, all else 0.
    const std::uint32_t background = PixelOf(*src_dc, src_dc->background);
    for (std::int64_t row = 0; row < h; ++row) {
      const std::uint8_t* in = source_row(row) + sx * 4;
      std::uint8_t* out = target_row(row);
      const auto is_background = [&](std::int64_t i) {
        return (Load32(in + i * 4) & kRgbMask) == background;
      };
      std::int64_t i = 0;
      for (; i < w && ((dx + i) & 7) != 0; ++i)
        SetBit(out, dx + i, is_background(i));
      for (; i + 8 <= w; i += 8) {
        unsigned byte = 0;
        for (int bit = 0; bit < 8; ++bit)
          byte = byte << 1 | (is_background(i + bit) ? 1u : 0u);
        out[(dx + i) >> 3] = static_cast<std::uint8_t>(byte);
      }
      for (; i < w; ++i)
        SetBit(out, dx + i, is_background(i));
    }
  } else if (target->bits_per_pixel == 1) {
    for (std::int64_t row = 0; row < h; ++row) {
      for (std::int64_t i = 0; i < w; ++i) {
        SetBit(target_row(row), dx + i, GetBit(source_row(row), sx + i));
      }
    }
  } else {
    // Monochrome to colour: 0 takes the target context's text colour, 1 its background.
    const std::uint32_t foreground = PixelOf(*dst_dc, dst_dc->text);
    const std::uint32_t background = PixelOf(*dst_dc, dst_dc->background);
    for (std::int64_t row = 0; row < h; ++row) {
      for (std::int64_t i = 0; i < w; ++i) {
        Store32(target_row(row) + (dx + i) * 4,
                GetBit(source_row(row), sx + i) ? background : foreground);
      }
    }
  }
  return true;
}

namespace {

// Writes one bitmap row as a DIB row of `bitsPerPixel`; ≤ 8 bits index into `table`.
void EncodeRow(const std::uint8_t* in, int sourceDepth, std::int64_t width, int bitsPerPixel,
               NearestColor& nearest, std::uint8_t* out) {
  if (sourceDepth == bitsPerPixel) {
    if (bitsPerPixel == 32) {
      std::memcpy(out, in, width * 4);
    } else {
      std::memcpy(out, in, width / 8);
      if (width % 8 != 0) {
        const auto kept = static_cast<std::uint8_t>(0xFF00 >> (width % 8));
        out[width / 8] = in[width / 8] & kept;
      }
    }
    return;
  }
  for (std::int64_t x = 0; x < width; ++x) {
    const std::uint32_t pixel =
        sourceDepth == 32 ? Load32(in + x * 4) & kRgbMask : (GetBit(in, x) ? kRgbMask : 0);
    switch (bitsPerPixel) {
      case 32:
        Store32(out + x * 4, pixel);
        break;
      case 24:
        out[x * 3] = static_cast<std::uint8_t>(pixel);
        out[x * 3 + 1] = static_cast<std::uint8_t>(pixel >> 8);
        out[x * 3 + 2] = static_cast<std::uint8_t>(pixel >> 16);
        break;
      case 16: {
        const unsigned value =
            (pixel >> 19 & 0x1F) << 10 | (pixel >> 11 & 0x1F) << 5 | (pixel >> 3 & 0x1F);
        out[x * 2] = static_cast<std::uint8_t>(value);
        out[x * 2 + 1] = static_cast<std::uint8_t>(value >> 8);
        break;
      }
      case 8:
        out[x] = static_cast<std::uint8_t>(nearest(pixel));
        break;
      case 4:
        out[x / 2] |= static_cast<std::uint8_t>(nearest(pixel) << (x % 2 == 0 ? 4 : 0));
        break;
      default:
        SetBit(out, x, nearest(pixel) != 0);
        break;
    }
  }
}

}  // namespace

int EmulatedGdi::GetDIBits(host::Handle dc, host::Handle bitmap, unsigned start, unsigned lines,
                           void* bits, host::BitmapInfo* info, unsigned usage) {
  if (info == nullptr || usage != host::kDibRgbColors || Find<Dc>(dc) == nullptr)
    return 0;
  const Bitmap* source = Find<Bitmap>(bitmap);
  if (source == nullptr)
    return 0;
  host::BitmapInfoHeader& header = info->bmiHeader;
  if (header.biSize < sizeof(host::BitmapInfoHeader))
    return 0;  // core headers: not supported

  const std::int64_t dib_height = std::abs(static_cast<std::int64_t>(header.biHeight));
  if (lines == 0 || start >= dib_height)
    bits = nullptr;

  if (bits == nullptr && header.biBitCount == 0) {
    // The query: the bitmap's own format, its masks implied by BI_BITFIELDS at 16 and 32 bits.
    const int depth = source->bits_per_pixel;
    header.biWidth = source->width;
    header.biHeight = source->height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(depth);
    header.biCompression = depth == 16 || depth == 32 ? host::kBiBitfields : host::kBiRgb;
    header.biSizeImage =
        static_cast<std::uint32_t>(DibStride(source->width, depth) * source->height);
    header.biXPelsPerMeter = 0;
    header.biYPelsPerMeter = 0;
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    return source->height;
  }

  const int depth = header.biBitCount;
  if (header.biWidth <= 0 || header.biHeight == 0)
    return 0;
  const bool bitfields = header.biCompression == host::kBiBitfields;
  if (bitfields ? depth != 16 && depth != 32 : header.biCompression != host::kBiRgb)
    return 0;
  if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) {
    return 0;
  }

  // Colour table or masks: a 1-bit bitmap's own black and white, or the default table.
  const std::span<const host::RgbQuad> table = DefaultColorTable(depth);
  std::copy(table.begin(), table.end(), info->bmiColors);
  if (bitfields)
    std::memcpy(info->bmiColors, depth == 16 ? &kMasks555 : &kMasks888, 12);
  header.biClrUsed = 0;
  const std::int64_t stride = DibStride(header.biWidth, depth);
  header.biSizeImage = static_cast<std::uint32_t>(stride * dib_height);
  if (bits == nullptr)
    return 1;

  // Scan lines count from the bottom of a bottom-up DIB, from the top of a top-down one.
  const bool top_down = header.biHeight < 0;
  std::int64_t count = lines;
  std::int64_t first_row = 0;  // bitmap row of the buffer's first line, top-down DIBs
  if (top_down) {
    first_row = dib_height - count - start;
    if (first_row < 0) {
      first_row = 0;
      count = dib_height - start;
    }
  } else {
    count = std::min<std::int64_t>(count, dib_height - start);
  }
  const std::int64_t width = std::min<std::int64_t>(header.biWidth, source->width);
  NearestColor nearest(table);
  auto* out = static_cast<std::uint8_t*>(bits);
  int copied = 0;
  for (std::int64_t line = 0; line < count; ++line, out += stride) {
    const std::int64_t row = top_down ? first_row + line : dib_height - 1 - start - line;
    std::memset(out, 0, stride);
    if (row < 0 || row >= source->height)
      continue;
    EncodeRow(source->bits.data() + row * source->stride, source->bits_per_pixel, width, depth,
              nearest, out);
    ++copied;
  }
  return copied;
}

}  // namespace tkw::emulated
