#include "host/formats/bmp_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "host/runtime_error.h"

namespace tkw::formats {

namespace {

constexpr std::size_t kFileHeaderSize = 14;

[[noreturn]] void Invalid() {
  throw host::RuntimeError::InvalidPicture();
}

// Little-endian fields, every read checked against the end of the file.
class FileReader {
 public:
  explicit FileReader(std::span<const std::uint8_t> file) : file_(file) {}

  std::size_t size() const { return file_.size(); }
  const std::uint8_t* at(std::size_t offset, std::size_t length) const {
    if (offset > file_.size() || length > file_.size() - offset)
      Invalid();
    return file_.data() + offset;
  }
  std::uint8_t U8(std::size_t offset) const { return *at(offset, 1); }
  std::uint16_t U16(std::size_t offset) const {
    const std::uint8_t* p = at(offset, 2);
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
  }
  std::uint32_t U32(std::size_t offset) const {
    const std::uint8_t* p = at(offset, 4);
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }
  std::int32_t S32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }

 private:
  std::span<const std::uint8_t> file_;
};

// One colour channel of a BI_BITFIELDS pixel, widened to 8 bits by repeating its bits.
class Channel {
 public:
  explicit Channel(std::uint32_t mask)
      : mask_(mask),
        shift_(mask == 0 ? 0 : std::countr_zero(mask)),
        bits_(mask == 0 ? 0 : std::countr_one(mask >> shift_)) {}

  std::uint32_t operator()(std::uint32_t pixel) const {
    if (bits_ == 0)
      return 0;
    std::uint32_t value = (pixel & mask_) >> shift_;
    int bits = bits_;
    if (bits > 8) {
      value >>= bits - 8;
      bits = 8;
    }
    value &= (1u << bits) - 1;
    const std::uint32_t top = value << (8 - bits);
    std::uint32_t widened = top;
    for (int filled = bits; filled < 8; filled += bits)
      widened |= top >> filled;
    return widened & 0xFF;
  }

 private:
  std::uint32_t mask_;
  int shift_;
  int bits_;
};

struct Format {
  std::int64_t width = 0;
  std::int64_t rows = 0;
  bool top_down = false;
  int bits_per_pixel = 0;
  std::uint32_t compression = host::kBiRgb;
  std::array<std::uint32_t, 3> masks{};  // red, green, blue
  std::size_t table_offset = 0;
  std::size_t table_entry_size = 4;
  std::uint32_t colors_used = 0;
};

Format ReadFormat(const FileReader& file, std::int64_t largestPixelCount) {
  if (file.U8(0) != 'B' || file.U8(1) != 'M')
    Invalid();
  const std::uint32_t header_size = file.U32(kFileHeaderSize);
  const std::size_t header = kFileHeaderSize;
  Format format;
  if (header_size == 12) {  // BITMAPCOREHEADER: unsigned sizes, always bottom-up
    format.width = file.U16(header + 4);
    format.rows = file.U16(header + 6);
    if (file.U16(header + 8) != 1)
      Invalid();
    format.bits_per_pixel = file.U16(header + 10);
    format.table_entry_size = 3;
    if (format.bits_per_pixel == 16 || format.bits_per_pixel == 32)
      Invalid();
  } else if (header_size == 40 || header_size == 52 || header_size == 56 || header_size == 108 ||
             header_size == 124) {
    format.width = file.S32(header + 4);
    const std::int64_t height = file.S32(header + 8);
    format.top_down = height < 0;
    format.rows = height < 0 ? -height : height;
    if (file.U16(header + 12) != 1)
      Invalid();
    format.bits_per_pixel = file.U16(header + 14);
    format.compression = file.U32(header + 16);
    format.colors_used = file.U32(header + 32);
  } else {
    Invalid();
  }
  format.table_offset = header + header_size;

  const int depth = format.bits_per_pixel;
  if (format.width < 1 || format.rows < 1)
    Invalid();
  if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) {
    Invalid();
  }
  switch (format.compression) {
    case host::kBiRgb:
      if (depth == 16)
        format.masks = {0x7C00, 0x03E0, 0x001F};  // 5-5-5
      break;
    case host::kBiRle8:
    case host::kBiRle4:
      if (depth != (format.compression == host::kBiRle8 ? 8 : 4) || format.top_down)
        Invalid();
      break;
    case host::kBiBitfields:
      if (depth != 16 && depth != 32)
        Invalid();
      // An info header is followed by the masks; the larger headers hold them.
      for (int i = 0; i < 3; ++i)
        format.masks[i] = file.U32(header + 40 + 4 * i);
      if (header_size == 40)
        format.table_offset += 12;
      break;
    default:
      Invalid();
  }
  if (format.width * format.rows > largestPixelCount)
    throw host::RuntimeError::OutOfMemory();
  return format;
}

std::vector<host::RgbQuad> ReadColorTable(const FileReader& file, const Format& format) {
  if (format.bits_per_pixel > 8)
    return {};
  const std::uint32_t full = 1u << format.bits_per_pixel;
  const std::uint32_t count =
      format.colors_used == 0 || format.colors_used > full ? full : format.colors_used;
  const std::uint8_t* entries =
      file.at(format.table_offset, std::size_t{count} * format.table_entry_size);
  std::vector<host::RgbQuad> table(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = entries + std::size_t{i} * format.table_entry_size;
    table[i] = {entry[0], entry[1], entry[2], 0};
  }
  return table;
}

// Writes decoded pixels into the top-down 32-bit rows; indices outside the table are black.
class PixelSink {
 public:
  PixelSink(const Format& format, const std::vector<host::RgbQuad>& table)
      : width_(format.width),
        rows_(format.rows),
        table_(table),
        pixels_(static_cast<std::size_t>(format.width * format.rows * 4)) {}

  std::uint8_t* Row(std::int64_t topDownRow) { return pixels_.data() + topDownRow * width_ * 4; }
  void PutIndex(std::uint8_t* row, std::int64_t x, unsigned index) {
    if (index < table_.size()) {
      const host::RgbQuad& color = table_[index];
      row[x * 4] = color.rgbBlue;
      row[x * 4 + 1] = color.rgbGreen;
      row[x * 4 + 2] = color.rgbRed;
    }
  }
  static void PutRgb(std::uint8_t* row, std::int64_t x, std::uint32_t red, std::uint32_t green,
                     std::uint32_t blue) {
    row[x * 4] = static_cast<std::uint8_t>(blue);
    row[x * 4 + 1] = static_cast<std::uint8_t>(green);
    row[x * 4 + 2] = static_cast<std::uint8_t>(red);
  }
  std::int64_t width() const { return width_; }
  std::int64_t rows() const { return rows_; }
  std::vector<std::uint8_t> Take() { return std::move(pixels_); }

 private:
  std::int64_t width_;
  std::int64_t rows_;
  const std::vector<host::RgbQuad>& table_;
  std::vector<std::uint8_t> pixels_;
};

void DecodeUncompressed(const FileReader& file, std::size_t offset, const Format& format,
                        PixelSink& sink) {
  const int depth = format.bits_per_pixel;
  const std::int64_t stride = (format.width * depth + 31) / 32 * 4;
  const std::uint8_t* data = file.at(offset, static_cast<std::size_t>(stride * format.rows));
  const Channel red(format.masks[0]), green(format.masks[1]), blue(format.masks[2]);
  const bool raw_32 = depth == 32 && format.compression == host::kBiRgb;
  for (std::int64_t line = 0; line < format.rows; ++line) {
    const std::uint8_t* in = data + line * stride;
    std::uint8_t* out = sink.Row(format.top_down ? line : format.rows - 1 - line);
    if (raw_32) {  // the 32-bit bitmap's own layout, unused byte included
      std::memcpy(out, in, format.width * 4);
      continue;
    }
    for (std::int64_t x = 0; x < format.width; ++x) {
      switch (depth) {
        case 1:
          sink.PutIndex(out, x, in[x >> 3] >> (7 - (x & 7)) & 1);
          break;
        case 4:
          sink.PutIndex(out, x, x % 2 == 0 ? in[x / 2] >> 4 : in[x / 2] & 0xF);
          break;
        case 8:
          sink.PutIndex(out, x, in[x]);
          break;
        case 24:
          PixelSink::PutRgb(out, x, in[x * 3 + 2], in[x * 3 + 1], in[x * 3]);
          break;
        default: {
          const std::uint8_t* p = in + x * (depth / 8);
          std::uint32_t pixel = p[0] | static_cast<std::uint32_t>(p[1]) << 8;
          if (depth == 32) {
            pixel |= static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3])
                                                                  << 24;
          }
          PixelSink::PutRgb(out, x, red(pixel), green(pixel), blue(pixel));
          break;
        }
      }
    }
  }
}

// Runs and escapes of RLE8 and RLE4; pixels that the stream skips stay black.
void DecodeRunLength(const FileReader& file, std::size_t offset, const Format& format,
                     PixelSink& sink) {
  const bool nibbles = format.compression == host::kBiRle4;
  std::int64_t x = 0;
  std::int64_t y = 0;  // counted from the bottom row
  const auto put = [&](unsigned index) {
    if (x < sink.width() && y < sink.rows())
      sink.PutIndex(sink.Row(sink.rows() - 1 - y), x, index);
    ++x;
  };
  std::size_t at = offset;
  while (y < sink.rows()) {
    const std::uint8_t count = file.U8(at);
    const std::uint8_t code = file.U8(at + 1);
    at += 2;
    if (count > 0) {  // a run of one index, or of two alternating nibbles
      for (unsigned i = 0; i < count; ++i) {
        put(nibbles ? (i % 2 == 0 ? code >> 4 : code & 0xF) : code);
      }
    } else if (code == 0) {  // end of line
      x = 0;
      ++y;
    } else if (code == 1) {  // end of bitmap
      return;
    } else if (code == 2) {  // move right and up
      x += file.U8(at);
      y += file.U8(at + 1);
      at += 2;
    } else {  // absolute run of `code` pixels, padded to a 16-bit boundary
      const std::size_t bytes = nibbles ? (code + 1u) / 2 : code;
      const std::uint8_t* literal = file.at(at, bytes);
      for (unsigned i = 0; i < code; ++i) {
        put(nibbles ? (i % 2 == 0 ? literal[i / 2] >> 4 : literal[i / 2] & 0xF) : literal[i]);
      }
      at += bytes + (bytes & 1);
    }
  }
}

}  // namespace

DecodedBitmap DecodeBmp(std::span<const std::uint8_t> bytes, std::int64_t largestPixelCount) {
  const FileReader file(bytes);
  const Format format = ReadFormat(file, largestPixelCount);
  std::vector<host::RgbQuad> table = ReadColorTable(file, format);
  // A packed DIB has no offset. Its pixels follow the colour table, which above 8 bits per pixel
  // may still hold biClrUsed colours for palette devices (at most 256, as GDI reads it).
  const std::uint32_t bits_offset = file.U32(10);
  const std::size_t table_entries =
      format.bits_per_pixel <= 8 ? table.size() : std::min<std::uint32_t>(format.colors_used, 256);
  const std::size_t offset = bits_offset != 0
                                 ? bits_offset
                                 : format.table_offset + table_entries * format.table_entry_size;

  PixelSink sink(format, table);
  if (format.compression == host::kBiRle8 || format.compression == host::kBiRle4) {
    DecodeRunLength(file, offset, format, sink);
  } else {
    DecodeUncompressed(file, offset, format, sink);
  }
  return {static_cast<int>(format.width), static_cast<int>(format.rows), sink.Take(),
          std::move(table)};
}

}  // namespace tkw::formats
