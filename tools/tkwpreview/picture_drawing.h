// Draws a laid-out picture with cairo in the colours of Office 2003's blue command bars, or of
// Office 2007's blue ribbon.
#pragma once

#include <cairo.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tools/tkwpreview/picture_layout.h"

namespace tkw::preview {

struct SurfaceDestroy {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDestroy>;

void DrawPicture(const Picture& picture, cairo_t* cr);

// An image surface (CAIRO_FORMAT_RGB24) of the picture's size.
Surface RenderPicture(const Picture& picture);

// The picture as an SVG document, its text as <text> elements. Throws std::runtime_error.
std::string SvgDocument(const Picture& picture);

// Both throw std::runtime_error naming the file.
void WritePng(const Picture& picture, const std::filesystem::path& file);
void WriteSvg(const Picture& picture, const std::filesystem::path& file);

}  // namespace tkw::preview
