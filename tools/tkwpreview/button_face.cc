#include "tools/tkwpreview/button_face.h"

#include <algorithm>
#include <span>

#include "host/formats/base64.h"
#include "host/formats/bmp_decoder.h"
#include "host/runtime_error.h"

namespace tkw::preview {
namespace {

// Faces are icons; anything larger is not drawn rather than held.
constexpr std::int64_t kLargestFacePixels = std::int64_t{1} << 20;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;

// A packed DIB is a bitmap file without its file header. An offset of 0 in that header has the
// decoder find the pixels right after the colour table.
std::vector<std::uint8_t> AsBitmapFile(std::vector<std::uint8_t> dib) {
  std::vector<std::uint8_t> file(kFileHeaderSize + dib.size());
  const std::size_t size = file.size();
  file[0] = 'B';
  file[1] = 'M';
  for (int i = 0; i < 4; ++i)
    file[2 + i] = static_cast<std::uint8_t>(size >> (8 * i));
  std::copy(dib.begin(), dib.end(), file.begin() + kFileHeaderSize);
  return file;
}

std::optional<formats::DecodedBitmap> Decode(std::vector<std::uint8_t> dib) {
  try {
    return formats::DecodeBmp(AsBitmapFile(std::move(dib)), kLargestFacePixels);
  } catch (const host::RuntimeError&) {
    return std::nullopt;
  }
}

// Which pixels the mask marks, top-down. Its bits are what counts, not the colours its table
// gives them, so the table is replaced by black for 0 and white for 1 before decoding.
std::optional<std::vector<bool>> ReadMask(const std::string& base64, int width, int height) {
  std::vector<std::uint8_t> mask = formats::DecodeBase64(base64);
  const auto field = [&](std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
      value |= std::uint32_t{mask[at + i]} << (8 * i);
    return value;
  };
  // An info header, 1 bit per pixel, and both colours in the table.
  if (mask.size() < kInfoHeaderSize + 8 || field(0, 4) != kInfoHeaderSize || field(14, 2) != 1 ||
      (field(32, 4) != 0 && field(32, 4) != 2)) {
    return std::nullopt;
  }
  constexpr std::uint8_t kBlackAndWhite[8] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
  std::copy(std::begin(kBlackAndWhite), std::end(kBlackAndWhite), mask.begin() + kInfoHeaderSize);
  const std::optional<formats::DecodedBitmap> decoded = Decode(std::move(mask));
  if (!decoded || decoded->width != width || decoded->height != height)
    return std::nullopt;
  std::vector<bool> marked(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < marked.size(); ++i)
    marked[i] = decoded->pixels[i * 4] != 0;
  return marked;
}

}  // namespace

std::optional<FaceImage> ReadFace(const command_bars::ButtonFace& face) {
  const std::optional<formats::DecodedBitmap> colours = Decode(formats::DecodeBase64(face.dib));
  if (!colours)
    return std::nullopt;
  const int width = colours->width, height = colours->height;
  std::optional<std::vector<bool>> transparent;
  if (face.mask)
    transparent = ReadMask(*face.mask, width, height);

  FaceImage image{width, height,
                  std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    if (transparent && (*transparent)[i])
      continue;
    const std::uint8_t* bgr = &colours->pixels[i * 4];
    image.pixels[i] =
        0xFF000000u | std::uint32_t{bgr[2]} << 16 | std::uint32_t{bgr[1]} << 8 | bgr[0];
  }
  return image;
}

}  // namespace tkw::preview
