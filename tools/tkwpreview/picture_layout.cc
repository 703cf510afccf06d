#include "tools/tkwpreview/picture_layout.h"

#include <algorithm>

#include "host/formats/utf8.h"
#include "tools/tkwpreview/typesetter.h"

namespace tkw::preview {
namespace {

using command_bars::BarType;
using command_bars::CommandBar;
using command_bars::CommandBarSet;
using command_bars::Control;
using command_bars::ControlList;
using command_bars::ControlType;

// What a button shows by its MsoButtonStyle. Automatic (0), and any style not known here,
// shows the face when there is one and the caption otherwise.
struct Shows {
  bool face;
  bool caption;
};
Shows ByStyle(const command_bars::ControlProperties& p) {
  switch (p.style) {
    case 1:  // msoButtonIcon
      return {true, false};
    case 2:   // msoButtonCaption
    case 14:  // msoButtonWrapCaption
      return {false, true};
    case 3:  // msoButtonIconAndCaption, and the same below, wrapped, or both
    case 7:
    case 11:
    case 15:
      return {true, true};
    default:
      return {p.face.has_value(), !p.face.has_value()};
  }
}

constexpr int kBarTop = 1;  // MsoBarPosition

// Office 2003's command bars at 96 dots per inch.
constexpr int kMargin = 2;  // around the strips in the dock
constexpr int kToolbarHeight = 25;
constexpr int kRowPitch = 26;
constexpr int kBarEnd = 4;
constexpr int kEmptyBar = 20;  // where a bar without controls would have them
constexpr int kButtonHeight = 22;
constexpr int kFaceInset = 3;  // from a button's edges to its face
constexpr int kFaceGap = 4;    // between a face and its caption
constexpr int kTextPad = 6;
constexpr int kMenuBarHeight = 23;
constexpr int kMenuTitlePad = 7;
constexpr int kMenuItemHeight = 22;
constexpr int kMenuBorder = 2;  // the frame and the space inside it
constexpr int kMenuFace = 4;    // from the menu's edge to an item's face
constexpr int kMenuTextGap = 8;
constexpr int kMenuEnd = 30;  // after the longest caption: room for a sub-menu's arrow
constexpr int kMenuMinWidth = 120;
constexpr int kMenuOverlap = 3;  // a sub-menu covers this much of its parent's edge
constexpr int kMenuGap = 6;      // between menus open side by side
constexpr int kLabelGap = 8;

// Office 2007's ribbon.
constexpr int kTabRowHeight = 25;
constexpr int kTabPad = 9;
constexpr int kRibbonHeight = 94;
constexpr int kGroupTop = 3;  // below the tab row
constexpr int kGroupHeight = 88;
constexpr int kGroupPad = 4;
constexpr int kGroupRows = 3;
constexpr int kRowHeight = 22;
constexpr int kRowNameGap = 6;  // between a row's name and its first control

constexpr int kTitlePad = 5;  // above and below the title line
constexpr int kFooterPad = 6;
constexpr int kMinWidth = 360;

bool IsOurs(const Control& control) {
  return !control.properties().builtIn;
}

bool AnyOurs(const ControlList& list);

// The control is ours, or a pop-up with ours somewhere below it.
bool HasOurs(const Control& control) {
  return IsOurs(control) || (control.controls() != nullptr && AnyOurs(*control.controls()));
}

bool AnyOurs(const ControlList& list) {
  return list.VisitUntil([](const Control& control) { return HasOurs(control); });
}

// A list's controls in order; in the Add-Ins view a built-in bar or menu shows only ours.
std::vector<const Control*> Shown(const ControlList& list, bool builtInOwner, View view) {
  std::vector<const Control*> shown;
  list.VisitUntil([&](const Control& control) {
    if (!control.properties().visible)
      return false;  // PowerPoint does not show it
    if (view == View::kCommandBars || !builtInOwner || HasOurs(control))
      shown.push_back(&control);
    return false;
  });
  return shown;
}

Strip NewStrip(StripKind kind, const CommandBar* bar) {
  Strip strip;
  strip.kind = kind;
  strip.bar = bar;
  return strip;
}

PlacedControl NewPlaced(const Control& control) {
  PlacedControl placed;
  placed.control = &control;
  placed.ours = IsOurs(control);
  placed.opens = control.type() == ControlType::kPopup;
  return placed;
}

std::string Utf8(const std::wstring& text) {
  return formats::WideToUtf8(text);
}

// Which bars, in which version's manner, and when; the words the README uses for them.
std::string TitleOf(View view, Moment moment) {
  std::string title = view == View::kCommandBars
                          ? "Toolbars and menu bar (PowerPoint 2003 and earlier)"
                          : "Add-Ins tab (PowerPoint 2007 and later)";
  return title + (moment == Moment::kRunning ? ", while PowerPoint runs"
                                             : ", once PowerPoint has closed: only what lasts");
}

std::string BarNotes(const CommandBar& bar) {
  const command_bars::BarProperties& p = bar.properties();
  std::string notes;
  const auto add = [&](const char* note) {
    notes += (notes.empty() ? " (" : ", ") + std::string(note);
  };
  static const char* const kPositions[] = {"docked left",   "",         "docked right",
                                           "docked bottom", "floating", "pop-up"};
  if (p.position != kBarTop) {
    add(p.position >= 0 && p.position <= 5 ? kPositions[p.position] : "elsewhere");
  }
  if (p.temporary)
    add("until PowerPoint closes");
  return notes.empty() ? notes : notes + ")";
}

class Layout {
 public:
  Layout(View view, Moment moment) {
    picture_.view = view;
    const std::string title = TitleOf(view, moment);
    const TextLine line = type_.Plain(title, TextStyle::kTitle);
    picture_.title = {title, {kFooterPad, kTitlePad, line.width(), line.height()}};
    top_ = picture_.title.box.bottom() + kTitlePad;
    Widen(picture_.title.box.right());
  }

  Picture Take(const CommandBarSet& bars) {
    std::vector<const CommandBar*> menuBars, toolbars;
    for (std::size_t place = 1; place <= bars.size(); ++place) {
      const CommandBar& bar = bars.At(place);
      if (!bar.properties().visible) {
        picture_.hiddenBars.push_back(&bar);
      } else {
        (bar.properties().type == BarType::kMenuBar ? menuBars : toolbars).push_back(&bar);
      }
    }
    if (picture_.view == View::kCommandBars) {
      DockBars(menuBars, toolbars);
    } else {
      Ribbon(menuBars, toolbars);
    }
    Footer();
    return std::move(picture_);
  }

 private:
  // Toolbars first and the menu bar below them, so that its open menus cover none of them.
  void DockBars(const std::vector<const CommandBar*>& menuBars,
                const std::vector<const CommandBar*>& toolbars) {
    int y = top_ + kMargin;
    for (const CommandBar* bar : toolbars) {
      Toolbar(*bar, y);
      y += kRowPitch;
    }
    std::vector<std::pair<const Control*, Box>> open;  // menus with titles
    for (const CommandBar* bar : menuBars) {
      MenuBar(*bar, y, open);
      y += kMenuBarHeight + 1;
    }
    picture_.dock = {0, top_, 0, y + kMargin - top_};
    Deepen(picture_.dock.bottom());
    OpenMenus(open, picture_.dock.bottom());
  }

  void Toolbar(const CommandBar& bar, int y) {
    Strip strip = NewStrip(StripKind::kToolbar, &bar);
    int x = kMargin + kGripper;
    for (const Control* control :
         Shown(bar.controls(), bar.properties().builtIn, View::kCommandBars)) {
      strip.controls.push_back(OnBar(*control, x, y + 1));
      x = strip.controls.back().box.right();
    }
    if (strip.controls.empty())
      x += kEmptyBar;
    strip.box = {kMargin, y, x + kBarEnd - kMargin, kToolbarHeight};
    strip.label = Label(Utf8(bar.properties().name) + BarNotes(bar), strip.box);
    Widen(strip.label->box.right());
    Widen(strip.box.right());
    picture_.strips.push_back(std::move(strip));
  }

  void MenuBar(const CommandBar& bar, int y, std::vector<std::pair<const Control*, Box>>& open) {
    Strip strip = NewStrip(StripKind::kMenuBar, &bar);
    int x = kMargin + kGripper;
    for (const Control* control :
         Shown(bar.controls(), bar.properties().builtIn, View::kCommandBars)) {
      if (control->type() == ControlType::kPopup) {
        PlacedControl title = NewPlaced(*control);
        title.opens = false;  // a menu's title has no arrow
        const TextLine text = Text(control->properties().caption);
        title.box = {x, y + 1, kMenuTitlePad + text.width() + kMenuTitlePad, kMenuBarHeight - 2};
        title.caption = Centred(text, title.box, x + kMenuTitlePad);
        if (HasOurs(*control))
          open.emplace_back(control, title.box);
        strip.controls.push_back(title);
      } else {
        strip.controls.push_back(OnBar(*control, x, y));
      }
      x = strip.controls.back().box.right();
    }
    strip.box = {kMargin, y, x + kBarEnd - kMargin, kMenuBarHeight};
    Widen(strip.box.right());
    picture_.strips.push_back(std::move(strip));
  }

  // The Add-Ins tab as Office draws add-ins' legacy bars: "Menu Commands" holds a drop-down for
  // every menu with controls of ours, "Toolbar Commands" a row for every one of PowerPoint's
  // own toolbars that has any, "Custom Toolbars" a row for every other toolbar that has any.
  void Ribbon(const std::vector<const CommandBar*>& menuBars,
              const std::vector<const CommandBar*>& toolbars) {
    int x = kMargin + 4;
    for (const char* tab :
         {"Home", "Insert", "Design", "Animations", "Slide Show", "Review", "View", "Add-Ins"}) {
      const TextLine text = type_.Plain(tab, TextStyle::kControl);
      const Box box{x, top_ + 3, kTabPad + text.width() + kTabPad, kTabRowHeight - 3};
      picture_.tabs.push_back({tab, box});
      x = box.right() + 2;
    }
    Widen(x);
    picture_.dock = {0, top_, 0, kTabRowHeight + kRibbonHeight};
    Deepen(picture_.dock.bottom());

    std::vector<Strip> menus, commands, custom;
    for (const CommandBar* bar : menuBars) {
      for (const Control* control :
           Shown(bar->controls(), bar->properties().builtIn, View::kAddIns)) {
        Strip strip = NewStrip(StripKind::kRibbonMenu, bar);
        strip.controls.push_back(OnBar(*control, 0, 0));
        menus.push_back(std::move(strip));
      }
    }
    for (const CommandBar* bar : toolbars) {
      Strip strip = RibbonRow(*bar);
      if (!strip.controls.empty())
        (bar->properties().builtIn ? commands : custom).push_back(std::move(strip));
    }

    int groupX = kMargin + 2;
    const std::pair<const char*, std::vector<Strip>*> groups[] = {
        {"Menu Commands", &menus}, {"Toolbar Commands", &commands}, {"Custom Toolbars", &custom}};
    for (const auto& [name, strips] : groups) {
      if (strips->empty())
        continue;
      const int right = strips == &menus ? MenuCommands(groupX, menus) : Group(groupX, *strips);
      const TextLine label = type_.Plain(name, TextStyle::kGroup);
      const int width = std::max(right + kGroupPad - groupX, label.width() + 4 * kGroupPad);
      const Box box{groupX, top_ + kTabRowHeight + kGroupTop, width, kGroupHeight};
      picture_.groups.push_back({name, box});
      groupX = box.right() + 2;
      Widen(groupX);
    }
  }

  // "Menu Commands" with its menus open below the ribbon. Office stacks the drop-downs three to
  // a column, but only one of their menus opens at a time; here all do, so each drop-down has a
  // column of its own, as wide as the menus it opens, and every menu hangs under its button.
  // Returns the right edge of the last drop-down.
  int MenuCommands(int x, std::vector<Strip>& strips) {
    const int top = top_ + kTabRowHeight + kGroupTop + 3;
    int column = x + kGroupPad, right = column;
    for (Strip& strip : strips) {
      PlacedControl& button = strip.controls.front();
      Move(button, column, top);
      strip.box = {column, top, button.box.width, kRowHeight};
      right = strip.box.right();
      const PlacedControl placed = button;
      picture_.strips.push_back(std::move(strip));
      column = right + kGroupPad;
      if (placed.opens && HasOurs(*placed.control)) {
        const int menus =
            Menu(*placed.control, placed.box.x, picture_.dock.bottom() + 1, placed.box);
        column = std::max(column, menus + kMenuGap);
      }
    }
    return right;
  }

  // A toolbar's row on the Add-Ins tab, at (0, 0): its name, then its controls that show there.
  Strip RibbonRow(const CommandBar& bar) {
    Strip strip = NewStrip(StripKind::kRibbonRow, &bar);
    const std::string name = Utf8(bar.properties().name);
    const TextLine text = type_.Plain(name, TextStyle::kNote);
    strip.label = Note{name, Centred(text, {0, 0, 0, kRowHeight}, 0)};
    int cx = text.width() + kRowNameGap;
    for (const Control* control : Shown(bar.controls(), bar.properties().builtIn, View::kAddIns)) {
      strip.controls.push_back(OnBar(*control, cx, 0));
      cx = strip.controls.back().box.right();
    }
    return strip;
  }

  // Places the strips of a group in columns of kGroupRows rows from `x`; returns the right edge.
  int Group(int x, std::vector<Strip>& strips) {
    int column = x + kGroupPad, right = column;
    const int top = top_ + kTabRowHeight + kGroupTop + 3;
    for (std::size_t i = 0; i < strips.size(); ++i) {
      if (i > 0 && i % kGroupRows == 0)
        column = right + kGroupPad;
      Strip& strip = strips[i];
      const int dx = column, dy = top + static_cast<int>(i % kGroupRows) * kRowHeight;
      int width = 0;
      if (strip.label) {
        strip.label->box.x += dx;
        strip.label->box.y += dy;
        width = strip.label->box.right() - dx;
      }
      for (PlacedControl& control : strip.controls) {
        Move(control, dx, dy);
        width = control.box.right() - dx;
      }
      strip.box = {dx, dy, width, kRowHeight};
      right = std::max(right, strip.box.right());
      picture_.strips.push_back(std::move(strip));
    }
    return right;
  }

  static void Move(PlacedControl& control, int dx, int dy) {
    for (Box* box : {&control.box, control.face ? &*control.face : nullptr,
                     control.caption ? &*control.caption : nullptr}) {
      if (box != nullptr) {
        box->x += dx;
        box->y += dy;
      }
    }
  }

  // Opens the menus below their titles, side by side where they would overlap, each with the
  // sub-menus that hold controls of ours.
  void OpenMenus(const std::vector<std::pair<const Control*, Box>>& open, int top) {
    int right = 0;
    for (const auto& [popup, title] : open) {
      const int x = right == 0 ? title.x : std::max(title.x, right + kMenuGap);
      right = std::max(right, Menu(*popup, x, top, title));
    }
  }

  // Places the open menu of `popup` at (x, y); returns the right edge of it and its sub-menus.
  int Menu(const Control& popup, int x, int y, std::optional<Box> title) {
    const std::vector<const Control*> items =
        Shown(*popup.controls(), popup.properties().builtIn, picture_.view);
    std::vector<TextLine> texts;
    int widest = 0;
    for (const Control* item : items) {
      texts.push_back(Text(item->properties().caption));
      widest = std::max(widest, texts.back().width());
    }
    Strip strip = NewStrip(StripKind::kMenu, nullptr);
    strip.title = title;
    const int width = std::max(kMenuMinWidth, kMenuColumn + kMenuTextGap + widest + kMenuEnd);
    const int rows = std::max<int>(1, static_cast<int>(items.size()));
    strip.box = {x, y, width, 2 * kMenuBorder + rows * kMenuItemHeight};
    for (std::size_t i = 0; i < items.size(); ++i) {
      const Control& item = *items[i];
      PlacedControl placed = NewPlaced(item);
      placed.box = {x + 1, y + kMenuBorder + static_cast<int>(i) * kMenuItemHeight, width - 2,
                    kMenuItemHeight};
      const command_bars::ControlProperties& p = item.properties();
      if (!placed.opens && p.face && ByStyle(p).face) {
        placed.face = Box{x + kMenuFace, placed.box.y + kFaceInset, kFaceSize, kFaceSize};
      }
      placed.caption = Centred(texts[i], placed.box, x + kMenuColumn + kMenuTextGap);
      strip.controls.push_back(placed);
    }
    const std::size_t index = picture_.strips.size();
    picture_.strips.push_back(std::move(strip));
    Widen(x + width);
    Deepen(y + picture_.strips[index].box.height);

    int right = x + width;
    const std::vector<PlacedControl> placed = picture_.strips[index].controls;
    for (const PlacedControl& item : placed) {
      if (item.opens && HasOurs(*item.control)) {
        right = std::max(right, Menu(*item.control, std::max(right, x + width) - kMenuOverlap,
                                     item.box.y - kMenuBorder, std::nullopt));
      }
    }
    return right;
  }

  // A button or pop-up on a bar at (x, y), as its style shows it.
  PlacedControl OnBar(const Control& control, int x, int y) {
    const command_bars::ControlProperties& p = control.properties();
    PlacedControl placed = NewPlaced(control);
    auto [face, caption] = placed.opens ? Shows{false, true} : ByStyle(p);
    // PowerPoint's own buttons have icons of their own, which its state does not keep: their
    // captions stand in. A button of ours without a face is blank, as in PowerPoint.
    if (face && !p.face && p.builtIn) {
      face = false;
      caption = true;
    }
    int cursor = x;
    if (face) {
      placed.face = Box{x + kFaceInset, y + kFaceInset, kFaceSize, kFaceSize};
      cursor = placed.face->right() + kFaceGap;
    }
    if (caption) {
      const TextLine text = Text(p.caption);
      cursor += face ? 0 : kTextPad;
      placed.caption = Centred(text, {x, y, 0, kButtonHeight}, cursor);
      cursor += text.width() + kTextPad;
    }
    if (placed.opens)
      cursor += kArrowWidth + kTextPad;
    placed.box = {x, y, cursor - x, kButtonHeight};
    return placed;
  }

  Box Centred(const TextLine& text, const Box& row, int x) const {
    return {x, row.y + (row.height - text.height()) / 2, text.width(), text.height()};
  }

  TextLine Text(const std::wstring& caption) const {
    return type_.Set(ReadCaption(caption), TextStyle::kControl);
  }

  Note Label(std::string text, const Box& beside) {
    const TextLine line = type_.Plain(text, TextStyle::kNote);
    return {std::move(text), Centred(line, beside, beside.right() + kLabelGap)};
  }

  // The legend in the bottom left corner and the hidden bars in the bottom right one.
  void Footer() {
    const int top = picture_.height + kFooterPad * 2;
    const std::string legend = "not one of PowerPoint's own controls";
    const TextLine line = type_.Plain(legend, TextStyle::kNote);
    picture_.legendMark = {kFooterPad, top + line.height() / 2 - 1, 12, 3};
    picture_.legend = {legend, {picture_.legendMark.right() + 6, top, line.width(), line.height()}};
    Widen(picture_.legend.box.right());

    std::vector<std::string> lines = {picture_.hiddenBars.empty() ? "Hidden bars: none"
                                                                  : "Hidden bars:"};
    for (const CommandBar* bar : picture_.hiddenBars)
      lines.push_back(Utf8(bar->properties().name) + BarNotes(*bar));
    int widest = 0, y = top;
    for (const std::string& text : lines) {
      const TextLine hidden = type_.Plain(text, TextStyle::kNote);
      picture_.hidden.push_back({text, {0, y, hidden.width(), hidden.height()}});
      widest = std::max(widest, hidden.width());
      y += hidden.height();
    }
    Widen(picture_.legend.box.right() + 3 * kFooterPad + widest);
    picture_.width = std::max(picture_.width + kFooterPad, kMinWidth);
    for (Note& note : picture_.hidden)
      note.box.x = picture_.width - kFooterPad - widest;
    picture_.height = std::max(y, picture_.legend.box.bottom()) + kFooterPad;
    picture_.dock.width = picture_.width;
  }

  void Widen(int right) { picture_.width = std::max(picture_.width, right); }
  void Deepen(int bottom) { picture_.height = std::max(picture_.height, bottom); }

  Typesetter type_;
  Picture picture_;
  int top_ = 0;  // below the title: where the dock or the ribbon begins
};

}  // namespace

Picture LayOutPicture(const CommandBarSet& bars, View view, Moment moment) {
  return Layout(view, moment).Take(bars);
}

}  // namespace tkw::preview
