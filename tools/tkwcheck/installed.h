// The definitions a run hands to its builders, and what each of them added to PowerPoint, found
// again as the program finds it: what tkwcheck --installed compares and tkwremove takes away.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "host/host.h"
#include "host/runtime/powerpoint.h"
#include "run/definition_record.h"
#include "tools/tkwcheck/check.h"
#include "tools/tkwcheck/settings_source.h"

namespace tkw::check {

struct Definition {
  Place place;
  std::variant<ToolbarRequest, MenuRequest> request;
};

// The toolbar definitions, then the menu definitions, in the order a run reads them; the values
// a run passes over (too few fields, too long, the logging switch) are left out.
std::vector<Definition> DefinitionsOf(const SettingsKey* settings);

// `text` in single quotes, in UTF-8, as the tools' lines show names.
std::string Quoted(std::wstring_view text);

// A control with the places that lead to it from its bar: [its place] for one of the bar's own
// controls, [the pop-up's place, its place in the pop-up, ...] for one in a pop-up. With the
// bar's name as PowerPoint spells it, this is where PowerPoint keeps the control, whichever
// definition names it and however it spells the names.
struct PlacedControl {
  host::CommandBarControl control;
  std::vector<std::int32_t> path;
};

// What a definition added. For a toolbar definition: the first button with its tag on the bar it
// names and the pop-ups under it, as FindControl finds it, then every other such button. For a
// menu definition: the button that answers to its caption in the menu of "Menu Bar" it names,
// which a run replaces, then every other button of that caption there that runs its macro and
// is not PowerPoint's own: copies that no run replaces.
struct Installed {
  host::CommandBar bar;                 // empty when the bar (or the menu bar) is missing
  std::wstring barName;                 // as PowerPoint spells it; else as the definition does
  bool menuFound = false;               // menu definitions: the menu bar has the menu
  std::vector<PlacedControl> controls;  // the one the program finds, then its copies

  const host::CommandBarControl& control() const;  // the first, or an empty reference
};

// Finds what definitions added, reading the controls of each bar they name once, so that
// neither the copies nor the places cost a search per definition.
class InstalledControls {
 public:
  explicit InstalledControls(const host::Application& app) : bars_(app.CommandBars()) {}

  Installed Find(const Definition& definition);

 private:
  struct Entry {
    PlacedControl placed;
    bool button = false;
    bool popup = false;
    std::wstring tag;
    std::wstring nameKey;  // the caption as PowerPoint matches it
  };
  const std::vector<Entry>& ControlsOf(const host::CommandBar& bar, const std::wstring& name);
  Installed FindButton(const ToolbarRequest& request);
  Installed FindMenuControl(const MenuRequest& request);

  host::CommandBars bars_;
  std::map<std::wstring, std::vector<Entry>> read_;  // by PowerPoint's spelling of the bar's name
};

// One finding per definition: present as defined (a note), missing (an error), or present but
// different or on a hidden bar (a warning); and a warning for a definition whose control is
// there more than once. A face is compared with the one the definition's icon gives on `host`,
// through the clipboard; the user's clipboard is put back. When PowerPoint is not running, what
// the program makes temporary is absent by design: a note says so.
std::vector<Finding> CheckInstalled(host::Host& host, const host::Application& app,
                                    const std::vector<Definition>& definitions,
                                    bool powerPointRunning);

// PowerPoint's application object on `host`; throws Unreadable saying why there is none.
host::Application StartPowerPoint(host::Host& host);

// PowerPoint as the companion tools look at it: the one that runs, found in the running object
// table without starting anything; else one started for the look, which shows what lasts when
// PowerPoint closes and nothing of what it drops then. Throws Unreadable.
struct PowerPointAtHand {
  host::Application app;
  bool running = false;
};
PowerPointAtHand AttachToPowerPoint(host::Host& host);

}  // namespace tkw::check
