// Where everything goes in a picture of PowerPoint's command bars: the bars, their controls in
// order, each face's square and the notes around them. Drawing follows this layout exactly.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/command_bars/command_bar_model.h"

namespace tkw::preview {

enum class View {
  kCommandBars,  // PowerPoint 2003: toolbars and the menu bar
  kAddIns,       // Office 2007 and later: the "Add-Ins" tab that holds add-ins' legacy bars
};

// When the bars are drawn: as PowerPoint shows them while it runs, or as they are once it has
// closed and deleted its temporary bars and controls.
enum class Moment {
  kRunning,
  kClosed,
};

struct Box {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int right() const { return x + width; }
  int bottom() const { return y + height; }
};

inline constexpr int kFaceSize = 16;          // faces are drawn at the size Office gives them
inline constexpr int kGripper = 9;            // before a docked bar's first control
inline constexpr int kArrowWidth = 5;         // a pop-up's arrow
inline constexpr int kMenuColumn = 25;        // an open menu's column of faces
inline constexpr int kGroupLabelHeight = 16;  // the band at the foot of a ribbon group

struct PlacedControl {
  const command_bars::Control* control = nullptr;
  Box box;
  std::optional<Box> face;  // when the face shows: a square of kFaceSize
  std::optional<Box> caption;
  bool ours = false;   // not one of PowerPoint's own
  bool opens = false;  // drawn with a pop-up's arrow
};

enum class StripKind {
  kToolbar,     // a docked toolbar with its gripper
  kMenuBar,     // the menu bar: menu titles and any buttons on it
  kMenu,        // an open menu: items below one another
  kRibbonRow,   // one toolbar's row in a ribbon group, named
  kRibbonMenu,  // a "Menu Commands" drop-down button, alone in its row
};

// Plain text at a place: a bar's name, a tab, a group's name, a line of a list.
struct Note {
  std::string text;  // UTF-8
  Box box;
};

struct Strip {
  StripKind kind = StripKind::kToolbar;
  const command_bars::CommandBar* bar = nullptr;  // the bar it shows, when it shows one
  Box box;
  std::vector<PlacedControl> controls;
  std::optional<Box> title;   // of an open menu: its title in the menu bar or the ribbon
  std::optional<Note> label;  // a toolbar's name and notes beside it, a ribbon row's before it
};

struct Picture {
  View view = View::kCommandBars;
  int width = 0;
  int height = 0;
  Note title;                 // which view and moment it shows, above everything
  Box dock;                   // the toolbars and the menu bar, or the ribbon
  std::vector<Note> tabs;     // the ribbon's tabs, the Add-Ins tab last
  std::vector<Note> groups;   // the Add-Ins tab's groups: name and the group's box
  std::vector<Strip> strips;  // in drawing order: bars before the menus that open on them
  Box legendMark;             // the mark of a control that is not PowerPoint's own
  Note legend;                // and what it means
  std::vector<const command_bars::CommandBar*> hiddenBars;
  std::vector<Note> hidden;  // the list of them in the bottom right corner, heading first
};

// `moment` only names what the bars are: closing them is the caller's.
Picture LayOutPicture(const command_bars::CommandBarSet& bars, View view, Moment moment);

}  // namespace tkw::preview
