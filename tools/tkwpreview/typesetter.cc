#include "tools/tkwpreview/typesetter.h"

#include "host/formats/utf8.h"

// Fontconfig, which pango loads its configuration with, keeps a few bytes of it without a
// reference to them. Leaks of ours are allocated by glib, pango or cairo, never by fontconfig.
// Here, so that tkwpreview itself and every test that draws text say so to LeakSanitizer.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
// Nor does LeakSanitizer list the suppression it used on standard error, where a tool's output
// is its failures alone.
extern "C" const char* __lsan_default_options() {
  return "print_suppressions=0";
}

namespace tkw::preview {

Caption ReadCaption(std::wstring_view caption) {
  std::wstring text;
  std::optional<std::size_t> accelerator;  // in wide characters
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != L'&') {
      text += caption[i];
    } else if (i + 1 < caption.size()) {
      ++i;
      if (caption[i] != L'&' && !accelerator)
        accelerator = text.size();
      text += caption[i];
    }
  }
  Caption result{formats::WideToUtf8(text), std::nullopt};
  if (accelerator)
    result.underlined = formats::WideToUtf8(text.substr(0, *accelerator)).size();
  return result;
}

Font FontOf(TextStyle style) {
  switch (style) {
    case TextStyle::kNote:
      return {"DejaVu Sans", 7, true, false};
    case TextStyle::kGroup:
      return {"DejaVu Sans", 7, false, false};
    case TextStyle::kTitle:
      return {"DejaVu Sans", 8, false, true};
    case TextStyle::kControl:
      break;
  }
  return {"DejaVu Sans", 8, false, false};
}

TextLine::TextLine(PangoLayout* layout) : layout_(layout) {
  pango_layout_get_pixel_size(layout, &width_, &height_);
}

double TextLine::baseline() const {
  return static_cast<double>(pango_layout_get_baseline(layout_.get())) / PANGO_SCALE;
}

void TextLine::Draw(cairo_t* cr, double x, double y) const {
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout_.get());
}

Typesetter::Typesetter()
    : fonts_(pango_cairo_font_map_new()), context_(pango_font_map_create_context(fonts_.get())) {
  pango_cairo_context_set_resolution(context_.get(), 96);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  pango_cairo_context_set_font_options(context_.get(), options);
  cairo_font_options_destroy(options);
}

TextLine Typesetter::Set(const Caption& caption, TextStyle style) const {
  PangoLayout* layout = pango_layout_new(context_.get());
  const Font font = FontOf(style);
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, font.family);
  pango_font_description_set_size(description, static_cast<gint>(font.points * PANGO_SCALE));
  pango_font_description_set_style(description,
                                   font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_weight(description,
                                    font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout, description);
  pango_font_description_free(description);
  pango_layout_set_text(layout, caption.text.data(), static_cast<int>(caption.text.size()));
  if (caption.underlined) {
    PangoAttrList* attributes = pango_attr_list_new();
    PangoAttribute* underline = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
    underline->start_index = static_cast<guint>(*caption.underlined);
    // The whole of the letter's UTF-8 sequence.
    const char* letter = caption.text.data() + *caption.underlined;
    underline->end_index = static_cast<guint>(g_utf8_next_char(letter) - caption.text.data());
    pango_attr_list_insert(attributes, underline);
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
  }
  return TextLine(layout);
}

}  // namespace tkw::preview
