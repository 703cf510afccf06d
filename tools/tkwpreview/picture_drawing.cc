#include "tools/tkwpreview/picture_drawing.h"

#include <cairo-svg.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <stdexcept>

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

class Painter {
 public:
  Painter(const Picture& picture, cairo_t* cr) : picture_(picture), cr_(cr) {}

  void Draw() {
    Fill(cr_, {0, 0, picture_.width, picture_.height}, kWorkspace);
    if (picture_.view == View::kCommandBars) {
      GradientBox(cr_, picture_.dock, kDockLeft, kDockRight, false);
    } else {
      Ribbon();
    }
    for (const Strip& strip : picture_.strips)
      DrawStrip(strip);
    Footer();
  }

 private:
  void Ribbon() {
    const Box& dock = picture_.dock;
    const int tabsBottom = picture_.tabs.front().box.bottom();
    Fill(cr_, {0, 0, dock.width, tabsBottom}, kRibbonFrame);
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
      Source(cr_, kTabText);
      const TextLine text = type_.Plain(tab.text, TextStyle::kControl);
      text.Draw(cr_, tab.box.x + (tab.box.width - text.width()) / 2,
                tab.box.y + (tab.box.height - text.height()) / 2);
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
      Source(cr_, kGroupText);
      const TextLine name = type_.Plain(group.text, TextStyle::kGroup);
      name.Draw(cr_, box.x + (box.width - name.width()) / 2,
                band.y + (band.height - name.height()) / 2);
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
    if (strip.label) {
      Source(cr_, kBarName);
      type_.Plain(strip.label->text, TextStyle::kNote)
          .Draw(cr_, strip.label->box.x, strip.label->box.y);
    }
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
      Source(cr_, kText);
      type_.Set(ReadCaption(p.caption), TextStyle::kControl)
          .Draw(cr_, control.caption->x, control.caption->y);
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
    Source(cr_, kNote);
    type_.Plain(legend.text, TextStyle::kNote).Draw(cr_, legend.box.x, legend.box.y);
    for (const Note& line : picture_.hidden)
      type_.Plain(line.text, TextStyle::kNote).Draw(cr_, line.box.x, line.box.y);
  }

  const Picture& picture_;
  cairo_t* cr_;
  Typesetter type_;
};

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
  Painter(picture, cr).Draw();
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

void WriteSvg(const Picture& picture, const std::filesystem::path& file) {
  FileSink sink(file);
  const Surface surface(
      cairo_svg_surface_create_for_stream(FileSink::Write, &sink, picture.width, picture.height));
  cairo_t* cr = cairo_create(surface.get());
  DrawPicture(picture, cr);
  cairo_destroy(cr);
  cairo_surface_finish(surface.get());
  sink.Close(cairo_surface_status(surface.get()));
}

}  // namespace tkw::preview
