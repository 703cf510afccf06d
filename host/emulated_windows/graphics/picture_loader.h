// The run-time's LoadPicture over the emulated GDI: bitmap files become bitmap pictures holding
// a 32-bit screen bitmap (and a palette when the file has a colour table), icon files icon
// pictures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "host/emulated_windows/graphics/emulated_gdi.h"
#include "host/ole.h"

namespace tkw::emulated {

class PictureLoader {
 public:
  // 8000 x 8000 pixels and a little more; a larger bitmap is refused rather than held.
  static constexpr std::int64_t kLargestPixelCount = std::int64_t{1} << 26;

  explicit PictureLoader(EmulatedGdi& gdi, std::int64_t largestPixelCount = kLargestPixelCount)
      : gdi_(gdi), largest_pixel_count_(largestPixelCount) {}

  // Throws host::RuntimeError: "File not found" (53), "Path/File access error" (75) for a
  // folder or an unreadable file, "Invalid picture" (481) for a file it cannot decode.
  std::unique_ptr<host::Picture> LoadPicture(const std::filesystem::path& linuxPath);
  // The same for a file's bytes.
  std::unique_ptr<host::Picture> LoadPicture(std::span<const std::uint8_t> file);

 private:
  EmulatedGdi& gdi_;
  std::int64_t largest_pixel_count_;
};

}  // namespace tkw::emulated
