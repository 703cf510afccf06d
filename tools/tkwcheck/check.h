// The definitions checker: every way in which the settings of HKEY_LOCAL_MACHINE, key
// SOFTWARE\Tarnwick, will not do at run time what their author meant, as findings in words.
#pragma once

#include <string>
#include <vector>

#include "host/command_bars/command_bar_model.h"
#include "host/host.h"
#include "tools/tkwcheck/settings_source.h"

namespace tkw::check {

enum class Severity { kNote, kWarning, kError };

struct Finding {
  Place place;
  Severity severity;
  std::string message;  // UTF-8
  std::string rule;
};

// What an icon file turns out to be when the program loads it.
struct IconFile {
  enum class Kind { kBitmap, kMissing, kUnreadable, kNotAPicture, kIcon, kOtherPicture };
  Kind kind = Kind::kMissing;
  int width = 0;
  int height = 0;
};

// Loads the file at `windowsPath` as the program does, through `host`.
IconFile InspectIcon(host::Host& host, const std::wstring& windowsPath);

// The machine the definitions are checked against.
struct Machine {
  // PowerPoint's command bars as a run would meet them. The checker changes this copy as the
  // definitions would, one after the other.
  command_bars::CommandBarSet bars;
  // The machine's files, to load icons through; null when there is none to look at (an export
  // checked on its own), and icons are not checked.
  host::Host* files = nullptr;
  // Whether `bars` are a snapshot of the PowerPoint the definitions are for. Otherwise menus are
  // judged by the captions of one language, which a note says once.
  bool snapshot = false;
};

// Findings sorted by place (file, then line).
std::vector<Finding> CheckSettings(const SettingsKey* settings, const Place& whole,
                                   Machine& machine);

}  // namespace tkw::check
