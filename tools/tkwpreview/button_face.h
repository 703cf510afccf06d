// A button's face as PowerPoint draws it: the colours of the face DIB, with the pixels that the
// mask marks left transparent.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "host/command_bars/command_bar_model.h"

namespace tkw::preview {

struct FaceImage {
  int width = 0;
  int height = 0;
  // Top-down rows of cairo's ARGB32 (premultiplied 0xAARRGGBB): 0 where a mask bit is 1,
  // opaque elsewhere.
  std::vector<std::uint32_t> pixels;
};

// Nothing when the face DIB cannot be read. Without a usable mask (none, unreadable, or of
// another size than the face) every pixel is opaque.
std::optional<FaceImage> ReadFace(const command_bars::ButtonFace& face);

}  // namespace tkw::preview
