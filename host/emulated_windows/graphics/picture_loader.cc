#include "host/emulated_windows/graphics/picture_loader.h"

#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "host/formats/bmp_decoder.h"
#include "host/runtime_error.h"

namespace tkw::emulated {

using formats::DecodeBmp;
using formats::DecodedBitmap;

namespace {

constexpr std::uintmax_t kLargestFile = std::uintmax_t{1} << 30;

// A picture owns its GDI objects and deletes them when released.
class GdiPicture final : public host::Picture {
 public:
  GdiPicture(EmulatedGdi& gdi, std::int16_t type, host::Handle handle, host::Handle palette)
      : gdi_(gdi), type_(type), handle_(handle), palette_(palette) {}
  GdiPicture(const GdiPicture&) = delete;
  GdiPicture& operator=(const GdiPicture&) = delete;
  ~GdiPicture() override {
    gdi_.DeleteObject(handle_);
    if (palette_ != 0)
      gdi_.DeleteObject(palette_);
  }

  std::int16_t type() override { return type_; }
  host::Handle handle() override { return handle_; }
  host::Handle hPal() override { return palette_; }

 private:
  EmulatedGdi& gdi_;
  std::int16_t type_;
  host::Handle handle_;
  host::Handle palette_;
};

struct IconSize {
  int width;
  int height;
};

// An icon directory (reserved 0, type 1, at least one image) whose images all lie inside
// the file; the size is the first image's (0 stands for 256).
std::optional<IconSize> ReadIconDirectory(std::span<const std::uint8_t> file) {
  const auto u16 = [&](std::size_t at) { return file[at] | file[at + 1] << 8; };
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(u16(at)) | static_cast<std::uint32_t>(u16(at + 2)) << 16;
  };
  if (file.size() < 6 || u16(0) != 0 || u16(2) != 1)
    return std::nullopt;
  const std::size_t count = u16(4);
  if (count == 0 || file.size() < 6 + 16 * count)
    return std::nullopt;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = 6 + 16 * i;
    const std::uint64_t bytes = u32(entry + 8);
    const std::uint64_t offset = u32(entry + 12);
    if (bytes == 0 || offset + bytes > file.size())
      return std::nullopt;
  }
  return IconSize{file[6] == 0 ? 256 : file[6], file[7] == 0 ? 256 : file[7]};
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    throw host::RuntimeError::FileNotFound();
  }
  if (error || status.type() == std::filesystem::file_type::directory) {
    throw host::RuntimeError::PathFileAccessError();
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error)
    throw host::RuntimeError::PathFileAccessError();
  if (size > kLargestFile)
    throw host::RuntimeError::OutOfMemory();
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    throw host::RuntimeError::PathFileAccessError();
  }
  return bytes;
}

}  // namespace

std::unique_ptr<host::Picture> PictureLoader::LoadPicture(const std::filesystem::path& linuxPath) {
  return LoadPicture(ReadWholeFile(linuxPath));
}

std::unique_ptr<host::Picture> PictureLoader::LoadPicture(std::span<const std::uint8_t> file) {
  if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') {
    DecodedBitmap decoded = DecodeBmp(file, largest_pixel_count_);
    const host::Handle palette = decoded.palette.empty() ? 0 : gdi_.CreatePalette(decoded.palette);
    const host::Handle bitmap =
        gdi_.CreateScreenBitmap(decoded.width, decoded.height, std::move(decoded.pixels));
    auto picture = std::make_unique<GdiPicture>(gdi_, host::kPicTypeBitmap, bitmap, palette);
    if (bitmap == 0)
      throw host::RuntimeError::OutOfMemory();
    return picture;
  }
  if (const auto icon = ReadIconDirectory(file)) {
    return std::make_unique<GdiPicture>(gdi_, host::kPicTypeIcon,
                                        gdi_.CreateIcon(icon->width, icon->height), 0);
  }
  throw host::RuntimeError::InvalidPicture();
}

}  // namespace tkw::emulated
