#include "tools/tkwpreview/picture_drawing.h"

#include <cairo-svg.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "tools/tkwpreview/button_face.h"
#include "tools/tkwpreview/typesetter.h"

namespace tkw::preview {
namespace {

constexpr double kPi = std::numbers::pi;

struct Rgb {
  int red, green, blue;
};

// Office 2003's blue scheme.
constexpr Rgb kWorkspace{214, 223, 236};
constexpr Rgb kDockLeft{158, 190, 245}, kDockRight{196, 218, 250};
constexpr Rgb kBarTop{221, 236, 254}, kBarBottom{129, 169, 226}, kBarShadow{59, 97, 156};
constexpr Rgb kGrip{39, 65, 118}, kGripLight{255, 255, 255};
constexpr Rgb kMenuFrame{0, 45, 150}, kMenuBack{246, 246, 246};
constexpr Rgb kColumnLeft{227, 239, 255}, kColumnRight{135, 173, 228};
constexpr Rgb kOpenTitleTop{227, 239, 255}, kOpenTitleBottom{147, 181, 231};
constexpr Rgb kText{0, 0, 0}, kBarName{21, 66, 139}, kNote{70, 70, 70};
constexpr Rgb kOurs{242, 149, 54};  // the mark of a control that is not PowerPoint's own
constexpr Rgb kBrokenFace{192, 0, 0};
// Office 2007's blue ribbon.
constexpr Rgb kRibbonFrame{191, 219, 255}, kRibbonLine{141, 178, 227};
constexpr Rgb kRibbonTop{223, 236, 247}, kRibbonBottom{199, 216, 237};
constexpr Rgb kTabText{21, 66, 139}, kTabTop{255, 255, 255}, kTabBottom{235, 242, 250};
constexpr Rgb kGroupTop{222, 232, 245}, kGroupBottom{201, 218, 238}, kGroupLine{174, 199, 229};
constexpr Rgb kGroupBand{193, 217, 241}, kGroupText{62, 106, 170};
constexpr Rgb kPressedTop{255, 228, 167}, kPressedBottom{255, 196, 105}, kPressedLine{194, 140, 70};

void Source(cairo_t* cr, Rgb colour) {
  cairo_set_source_rgb(cr, colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0);
}

void Fill(cairo_t* cr, const Box& box, Rgb colour) {
  Source(cr, colour);
  cairo_rectangle(cr, box.x, box.y, box.width, box.height);
  cairo_fill(cr);
}

// Fills the current path with a gradient from `from` to `to`, downwards or to the right.
void FillGradient(cairo_t* cr, const Box& box, Rgb from, Rgb to, bool downwards) {
  cairo_pattern_t* gradient = downwards ? cairo_pattern_create_linear(0, box.y, 0, box.bottom())
                                        : cairo_pattern_create_linear(box.x, 0, box.right(), 0);
  for (const auto& [offset, colour] : {std::pair{0.0, from}, std::pair{1.0, to}}) {
    cairo_pattern_add_color_stop_rgb(gradient, offset, colour.red / 255.0, colour.green / 255.0,
                                     colour.blue / 255.0);
  }
  cairo_set_source(cr, gradient);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
}

void GradientBox(cairo_t* cr, const Box& box, Rgb from, Rgb to, bool downwards) {
  cairo_rectangle(cr, box.x, box.y, box.width, box.height);
  FillGradient(cr, box, from, to, downwards);
}

void RoundedPath(cairo_t* cr, double x, double y, double right, double bottom, double radius) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, right - radius, y + radius, radius, -kPi / 2, 0);
  cairo_arc(cr, right - radius, bottom - radius, radius, 0, kPi / 2);
  cairo_arc(cr, x + radius, bottom - radius, radius, kPi / 2, kPi);
  cairo_arc(cr, x + radius, y + radius, radius, kPi, 1.5 * kPi);
  cairo_close_path(cr);
}

void RoundedPath(cairo_t* cr, const Box& box, double radius) {
  RoundedPath(cr, box.x, box.y, box.right(), box.bottom(), radius);
}

// Along the pixels just inside the box.
void RoundedOutline(cairo_t* cr, const Box& box, double radius, Rgb colour) {
  RoundedPath(cr, box.x + 0.5, box.y + 0.5, box.right() - 0.5, box.bottom() - 0.5, radius);
  Source(cr, colour);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

// A one-pixel line along whole pixels.
void Line(cairo_t* cr, double x0, double y0, double x1, double y1, Rgb colour) {
  Source(cr, colour);
  cairo_set_line_width(cr, 1);
  cairo_move_to(cr, x0 + 0.5, y0 + 0.5);
  cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
  cairo_stroke(cr);
}

void Outline(cairo_t* cr, const Box& box, Rgb colour) {
  Source(cr, colour);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, box.x + 0.5, box.y + 0.5, box.width - 1, box.height - 1);
  cairo_stroke(cr);
}

// A line of text and where it goes: the top left corner of its line.
struct TextRun {
  Caption text;
  TextStyle style;
  Rgb colour;
  int x, y;
};

// Draws everything but the text, and says what text goes where. Text is drawn last, over
// everything, so that an SVG picture can carry it as text and still look as the PNG one does;
// nothing is drawn over text in any layout.
class Painter {
 public:
  Painter(const Picture& picture, cairo_t* cr) : picture_(picture), cr_(cr) {}

  std::vector<TextRun> Draw() {
    Fill(cr_, {0, 0, picture_.width, picture_.height}, kWorkspace);
    Text(picture_.title.text, TextStyle::kTitle, kBarName, picture_.title.box);
    if (picture_.view == View::kCommandBars) {
      GradientBox(cr_, picture_.dock, kDockLeft, kDockRight, false);
    } else {
      Ribbon();
    }
    for (const Strip& strip : picture_.strips)
      DrawStrip(strip);
    Footer();
    return std::move(text_);
  }

 private:
  void Ribbon() {
    const Box& dock = picture_.dock;
    const int tabsBottom = picture_.tabs.front().box.bottom();
    Fill(cr_, {0, dock.y, dock.width, tabsBottom - dock.y}, kRibbonFrame);
    const Box body{0, tabsBottom, dock.width, dock.bottom() - tabsBottom};
    GradientBox(cr_, body, kRibbonTop, kRibbonBottom, true);
    Line(cr_, 0, body.y, body.right(), body.y, kRibbonLine);
    Line(cr_, 0, body.bottom() - 1, body.right(), body.bottom() - 1, kRibbonLine);
    for (std::size_t i = 0; i < picture_.tabs.size(); ++i) {
      const Note& tab = picture_.tabs[i];
      if (i + 1 == picture_.tabs.size()) {  // the Add-Ins tab, open
        const Box joined{tab.box.x, tab.box.y, tab.box.width, tab.box.height + 1};
        RoundedPath(cr_, {joined.x, joined.y, joined.width, joined.height + 4}, 3);
        FillGradient(cr_, joined, kTabTop, kTabBottom, true);
        Source(cr_, kRibbonLine);
        cairo_move_to(cr_, tab.box.x + 0.5, tab.box.bottom() + 0.5);
        cairo_line_to(cr_, tab.box.x + 0.5, tab.box.y + 2.5);
        cairo_arc(cr_, tab.box.x + 3.5, tab.box.y + 3.5, 3, kPi, 1.5 * kPi);
        cairo_arc(cr_, tab.box.right() - 3.5, tab.box.y + 3.5, 3, 1.5 * kPi, 2 * kPi);
        cairo_line_to(cr_, tab.box.right() - 0.5, tab.box.bottom() + 0.5);
        cairo_set_line_width(cr_, 1);
        cairo_stroke(cr_);
      }
      const TextLine text = type_.Plain(tab.text, TextStyle::kControl);
      text_.push_back({{tab.text, std::nullopt},
                       TextStyle::kControl,
                       kTabText,
                       tab.box.x + (tab.box.width - text.width()) / 2,
                       tab.box.y + (tab.box.height - text.height()) / 2});
    }
    for (const Note& group : picture_.groups) {
      const Box& box = group.box;
      RoundedPath(cr_, box, 3);
      FillGradient(cr_, box, kGroupTop, kGroupBottom, true);
      const Box band{box.x, box.bottom() - kGroupLabelHeight, box.width, kGroupLabelHeight};
      RoundedPath(cr_, band, 3);
      Source(cr_, kGroupBand);
      cairo_fill(cr_);
      RoundedOutline(cr_, box, 3, kGroupLine);
      const TextLine name = type_.Plain(group.text, TextStyle::kGroup);
      text_.push_back({{group.text, std::nullopt},
                       TextStyle::kGroup,
                       kGroupText,
                       box.x + (box.width - name.width()) / 2,
                       band.y + (band.height - name.height()) / 2});
    }
  }

  void DrawStrip(const Strip& strip) {
    switch (strip.kind) {
      case StripKind::kToolbar:
        RoundedPath(cr_, {strip.box.x, strip.box.y, strip.box.width, strip.box.height - 1}, 3);
        FillGradient(cr_, strip.box, kBarTop, kBarBottom, true);
        Line(cr_, strip.box.x + 3, strip.box.bottom() - 1, strip.box.right() - 3,
             strip.box.bottom() - 1, kBarShadow);
        Gripper(strip.box);
        break;
      case StripKind::kMenuBar:
        Gripper(strip.box);
        break;
      case StripKind::kMenu:
        Menu(strip);
        break;
      case StripKind::kRibbonRow:
      case StripKind::kRibbonMenu:
        break;
    }
    if (strip.label)
      Text(strip.label->text, TextStyle::kNote, kBarName, strip.label->box);
    for (const PlacedControl& control : strip.controls) {
      if (strip.kind != StripKind::kMenu && IsOpen(control.box))
        OpenTitle(control.box);
      DrawControl(control, strip.kind == StripKind::kMenu);
    }
  }

  void Gripper(const Box& bar) {
    for (int y = bar.y + 5; y + 2 <= bar.bottom() - 4; y += 4) {
      Fill(cr_, {bar.x + 4, y + 1, 2, 2}, kGripLight);
      Fill(cr_, {bar.x + 3, y, 2, 2}, kGrip);
    }
  }

  bool IsOpen(const Box& title) const {
    return std::any_of(picture_.strips.begin(), picture_.strips.end(), [&](const Strip& strip) {
      return strip.title && strip.title->x == title.x && strip.title->y == title.y;
    });
  }

  // A menu's title while the menu is open: on a command bar framed on three sides and joined to
  // the menu below, on the ribbon a pressed button.
  void OpenTitle(const Box& title) {
    if (picture_.view == View::kAddIns) {
      RoundedPath(cr_, title, 2);
      FillGradient(cr_, title, kPressedTop, kPressedBottom, true);
      RoundedOutline(cr_, title, 2, kPressedLine);
      return;
    }
    GradientBox(cr_, title, kOpenTitleTop, kOpenTitleBottom, true);
    Source(cr_, kMenuFrame);
    cairo_set_line_width(cr_, 1);
    cairo_move_to(cr_, title.x + 0.5, title.bottom());
    cairo_line_to(cr_, title.x + 0.5, title.y + 0.5);
    cairo_line_to(cr_, title.right() - 0.5, title.y + 0.5);
    cairo_line_to(cr_, title.right() - 0.5, title.bottom());
    cairo_stroke(cr_);
  }

  void Menu(const Strip& menu) {
    const Box& box = menu.box;
    cairo_set_source_rgba(cr_, 0, 0, 0, 0.18);  // its shadow
    cairo_rectangle(cr_, box.x + 3, box.y + 3, box.width, box.height);
    cairo_fill(cr_);
    Fill(cr_, box, kMenuBack);
    GradientBox(cr_, {box.x + 1, box.y + 1, kMenuColumn, box.height - 2}, kColumnLeft, kColumnRight,
                false);
    Outline(cr_, box, kMenuFrame);
    // Where the title sits on the menu's edge, the frame gives way to it.
    if (menu.title && picture_.view == View::kCommandBars && menu.title->bottom() == box.y &&
        menu.title->x >= box.x && menu.title->right() <= box.right()) {
      Line(cr_, menu.title->x + 1, box.y, menu.title->right() - 2, box.y, kOpenTitleBottom);
    }
  }

  void DrawControl(const PlacedControl& control, bool inMenu) {
    const command_bars::ControlProperties& p = control.control->properties();
    if (control.ours) {
      Fill(cr_,
           inMenu ? Box{control.box.x, control.box.y + 1, 2, control.box.height - 2}
                  : Box{control.box.x + 1, control.box.bottom() - 2, control.box.width - 2, 2},
           kOurs);
    }
    if (control.face && p.face)
      Face(*p.face, *control.face);
    if (control.caption) {
      text_.push_back({ReadCaption(p.caption), TextStyle::kControl, kText, control.caption->x,
                       control.caption->y});
    }
    if (control.opens)
      Arrow(control.box, inMenu);
  }

  // Down on a bar, to the right in a menu.
  void Arrow(const Box& box, bool inMenu) {
    Source(cr_, kText);
    if (inMenu) {
      const double x = box.right() - 14, y = box.y + box.height / 2;
      cairo_move_to(cr_, x, y - 4);
      cairo_line_to(cr_, x + 4, y);
      cairo_line_to(cr_, x, y + 4);
    } else {
      const double x = box.right() - 6 - kArrowWidth, y = box.y + box.height / 2 - 1;
      cairo_move_to(cr_, x, y);
      cairo_line_to(cr_, x + kArrowWidth, y);
      cairo_line_to(cr_, x + kArrowWidth / 2.0, y + 3);
    }
    cairo_close_path(cr_);
    cairo_fill(cr_);
  }

  // The face's pixels one for one, or scaled into the square when the face is of another size.
  void Face(const command_bars::ButtonFace& face, const Box& box) {
    const std::optional<FaceImage> image = ReadFace(face);
    if (!image) {  // PowerPoint would show no face; the square says that it could not be read
      Outline(cr_, box, kBrokenFace);
      Line(cr_, box.x + 3, box.y + 3, box.right() - 4, box.bottom() - 4, kBrokenFace);
      Line(cr_, box.x + 3, box.bottom() - 4, box.right() - 4, box.y + 3, kBrokenFace);
      return;
    }
    // Cairo owns the pixels, so that a vector surface may keep them until it is finished.
    cairo_surface_t* pixels =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image->width, image->height);
    cairo_surface_flush(pixels);
    unsigned char* data = cairo_image_surface_get_data(pixels);
    const int stride = cairo_image_surface_get_stride(pixels);
    for (int row = 0; row < image->height; ++row) {
      std::memcpy(data + static_cast<std::ptrdiff_t>(row) * stride,
                  image->pixels.data() + static_cast<std::size_t>(row) * image->width,
                  static_cast<std::size_t>(image->width) * 4);
    }
    cairo_surface_mark_dirty(pixels);
    cairo_save(cr_);
    cairo_translate(cr_, box.x, box.y);
    const bool exact = image->width == box.width && image->height == box.height;
    if (!exact) {
      cairo_scale(cr_, static_cast<double>(box.width) / image->width,
                  static_cast<double>(box.height) / image->height);
    }
    cairo_set_source_surface(cr_, pixels, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr_),
                             exact ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_rectangle(cr_, 0, 0, image->width, image->height);
    cairo_fill(cr_);
    cairo_restore(cr_);
    cairo_surface_destroy(pixels);
  }

  void Footer() {
    const Note& legend = picture_.legend;
    Fill(cr_, picture_.legendMark, kOurs);
    Text(legend.text, TextStyle::kNote, kNote, legend.box);
    for (const Note& line : picture_.hidden)
      Text(line.text, TextStyle::kNote, kNote, line.box);
  }

  void Text(const std::string& text, TextStyle style, Rgb colour, const Box& at) {
    text_.push_back({{text, std::nullopt}, style, colour, at.x, at.y});
  }

  const Picture& picture_;
  cairo_t* cr_;
  Typesetter type_;
  std::vector<TextRun> text_;
};

void DrawText(const std::vector<TextRun>& runs, cairo_t* cr) {
  const Typesetter type;
  for (const TextRun& run : runs) {
    Source(cr, run.colour);
    type.Set(run.text, run.style).Draw(cr, run.x, run.y);
  }
}

// Text as XML character data or an attribute's value. Characters XML 1.0 cannot carry at all
// (control characters from a caption) become U+FFFD.
void AppendEscaped(std::string& xml, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&':
        xml += "&amp;";
        break;
      case '<':
        xml += "&lt;";
        break;
      case '>':
        xml += "&gt;";
        break;
      case '"':
        xml += "&quot;";
        break;
      case '\'':
        xml += "&apos;";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          xml += "\uFFFD";
        } else {
          xml += c;
        }
    }
  }
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string number = text;
  number.erase(number.find_last_not_of('0') + 1);
  if (number.back() == '.')
    number.pop_back();
  return number;
}

// Each run as a <text> element at the baseline pango sets it on, in the same font, its
// accelerator letter underlined.
std::string SvgText(const std::vector<TextRun>& runs) {
  const Typesetter type;
  std::string xml = "<g xml:space=\"preserve\">\n";
  for (const TextRun& run : runs) {
    const Font font = FontOf(run.style);
    const std::string& text = run.text.text;
    xml += "<text x=\"" + std::to_string(run.x) + "\" y=\"" +
           Number(run.y + type.Set(run.text, run.style).baseline()) + "\" font-family=\"";
    AppendEscaped(xml, font.family);
    xml += ", sans-serif\" font-size=\"" + Number(font.points * 96 / 72) + "\"";
    if (font.italic)
      xml += " font-style=\"italic\"";
    if (font.bold)
      xml += " font-weight=\"bold\"";
    xml += " fill=\"rgb(" + std::to_string(run.colour.red) + "," +
           std::to_string(run.colour.green) + "," + std::to_string(run.colour.blue) + ")\">";
    if (run.text.underlined && *run.text.underlined < text.size()) {
      const std::size_t at = *run.text.underlined;
      const std::size_t end =
          static_cast<std::size_t>(g_utf8_next_char(text.data() + at) - text.data());
      AppendEscaped(xml, std::string_view(text).substr(0, at));
      xml += "<tspan text-decoration=\"underline\">";
      AppendEscaped(xml, std::string_view(text).substr(at, end - at));
      xml += "</tspan>";
      AppendEscaped(xml, std::string_view(text).substr(end));
    } else {
      AppendEscaped(xml, text);
    }
    xml += "</text>\n";
  }
  return xml + "</g>\n";
}

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

void Check(cairo_status_t status, const std::filesystem::path& file) {
  if (status != CAIRO_STATUS_SUCCESS) {
    throw std::runtime_error("cannot write " + file.string() + ": " +
                             cairo_status_to_string(status));
  }
}

// The file cairo writes a picture to. Cairo says only "error while writing to output stream"
// when a write fails; the sink keeps the system's reason.
class FileSink {
 public:
  explicit FileSink(const std::filesystem::path& file)
      : file_(file), stream_(std::fopen(file.c_str(), "wb")) {
    if (stream_ == nullptr)
      Fail(errno);
  }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;
  ~FileSink() {
    if (stream_ != nullptr)
      std::fclose(stream_);
  }

  static cairo_status_t Write(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<FileSink*>(closure);
    if (std::fwrite(data, 1, length, sink->stream_) == length)
      return CAIRO_STATUS_SUCCESS;
    sink->error_ = errno;
    return CAIRO_STATUS_WRITE_ERROR;
  }

  // Once cairo has written all, with its status.
  void Close(cairo_status_t status) {
    const int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (error_ == 0 && closed != 0)
      error_ = errno;
    if (error_ != 0)
      Fail(error_);
    Check(status, file_);
  }

 private:
  [[noreturn]] void Fail(int error) const {
    throw std::runtime_error("cannot write " + file_.string() + ": " + std::strerror(error));
  }

  std::filesystem::path file_;
  std::FILE* stream_;
  int error_ = 0;
};

}  // namespace

void DrawPicture(const Picture& picture, cairo_t* cr) {
  DrawText(Painter(picture, cr).Draw(), cr);
}

Surface RenderPicture(const Picture& picture) {
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(picture.width, 1),
                                             std::max(picture.height, 1)));
  cairo_t* cr = cairo_create(surface.get());
  DrawPicture(picture, cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface.get());
  return surface;
}

void WritePng(const Picture& picture, const std::filesystem::path& file) {
  const Surface surface = RenderPicture(picture);
  FileSink sink(file);
  sink.Close(cairo_surface_write_to_png_stream(surface.get(), FileSink::Write, &sink));
}

std::string SvgDocument(const Picture& picture) {
  std::string svg;
  std::vector<TextRun> text;
  {
    const Surface surface(
        cairo_svg_surface_create_for_stream(AppendBytes, &svg, picture.width, picture.height));
    cairo_t* cr = cairo_create(surface.get());
    text = Painter(picture, cr).Draw();
    cairo_destroy(cr);
    cairo_surface_finish(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
      throw std::runtime_error(cairo_status_to_string(cairo_surface_status(surface.get())));
  }
  // Cairo would draw text as glyph outlines; it goes in as text, over the rest.
  const std::size_t end = svg.rfind("</svg>");
  if (end == std::string::npos)
    throw std::runtime_error("cairo wrote no SVG document");
  return svg.insert(end, SvgText(text));
}

void WriteSvg(const Picture& picture, const std::filesystem::path& file) {
  std::string svg;
  try {
    svg = SvgDocument(picture);
  } catch (const std::runtime_error& failure) {
    throw std::runtime_error("cannot write " + file.string() + ": " + failure.what());
  }
  errno = 0;
  std::ofstream out(file, std::ios::binary);
  out << svg;
  out.close();
  if (!out) {
    throw std::runtime_error("cannot write " + file.string() + ": " +
                             (errno != 0 ? std::strerror(errno) : "the write failed"));
  }
}

}  // namespace tkw::preview
