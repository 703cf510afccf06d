// Text on the picture, set by pango for cairo: captions with their accelerator letter
// underlined, as Office shows them, and the plain labels around the bars.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tkw::preview {

struct Caption {
  std::string text;                       // UTF-8, without the accelerator marks
  std::optional<std::size_t> underlined;  // byte offset of the accelerator letter
  friend bool operator==(const Caption&, const Caption&) = default;
};

// "&x" makes x the accelerator (the first one counts), "&&" is a literal "&", and a "&" with
// nothing after it is dropped.
Caption ReadCaption(std::wstring_view caption);

enum class TextStyle {
  kControl,  // captions, menu titles, tabs
  kNote,     // bar names, the legend, the hidden bars
  kGroup,    // the names of the ribbon's groups
  kTitle,    // the line that says what the picture shows
};

// One description of each style, for pango and for the text of an SVG picture alike.
struct Font {
  const char* family;
  double points;  // at 96 dots per inch
  bool italic;
  bool bold;
};
Font FontOf(TextStyle style);

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};

// One line of set text.
class TextLine {
 public:
  explicit TextLine(PangoLayout* layout);
  int width() const { return width_; }
  int height() const { return height_; }
  // From the top of the line to its baseline.
  double baseline() const;
  // The top left corner at (x, y), in the source colour of `cr`.
  void Draw(cairo_t* cr, double x, double y) const;

 private:
  std::unique_ptr<PangoLayout, GObjectUnref> layout_;
  int width_ = 0;
  int height_ = 0;
};

// Sets text at 96 dots per inch with the same font options whatever surface it is drawn on,
// so that the places a layout computes are those the drawing uses.
class Typesetter {
 public:
  Typesetter();
  TextLine Set(const Caption& caption, TextStyle style) const;
  TextLine Plain(std::string_view utf8, TextStyle style) const {
    return Set({std::string(utf8), std::nullopt}, style);
  }

 private:
  std::unique_ptr<PangoFontMap, GObjectUnref> fonts_;
  std::unique_ptr<PangoContext, GObjectUnref> context_;
};

}  // namespace tkw::preview
