// The definitions a run hands to its builders, and what each of them added to PowerPoint, found
// again as the program finds it: what tkwcheck --installed compares and tkwremove takes away.
#pragma once

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

// What a definition added: for a toolbar definition the first button with its tag on the bar
// it names and the pop-ups under it; for a menu definition the button that answers to its
// caption in the menu of "Menu Bar" it names. `control` is empty when there is none, `bar` when
// the bar (or the menu bar) is missing.
struct Installed {
  host::CommandBar bar;
  host::CommandBarControl control;
};
Installed FindInstalled(const host::Application& app, const Definition& definition);

// One finding per definition: present as defined (a note), missing (an error), or present but
// different or on a hidden bar (a warning). A face is compared with the one the definition's
// icon gives on `host`, through the clipboard; the user's clipboard is put back.
std::vector<Finding> CheckInstalled(host::Host& host, const host::Application& app,
                                    const std::vector<Definition>& definitions);

// PowerPoint's application object on `host`; throws Unreadable saying why there is none.
host::Application StartPowerPoint(host::Host& host);

}  // namespace tkw::check
