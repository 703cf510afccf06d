// tkwcheck's reference for authors of definitions, which judges nothing:
//   tkwcheck --explain [RULE]      a rule explained with a bad and a good example; without a
//                                  rule, every rule with its one line
//   tkwcheck --list-menus [--powerpoint FILE | --prefix DIR]
//                                  the menus of "Menu Bar" and their controls, by the captions a
//                                  menu definition names them by
#pragma once

#include <optional>
#include <ostream>

#include "host/command_bars/command_bar_model.h"

namespace tkw::check {

// The exit status when the command line asks for --explain or --list-menus, after printing
// what they print (a wrong command line: one line naming what is wrong, then `usage`, status
// 2); nothing when it asks for neither.
std::optional<int> ReferenceCommand(int argc, char** argv, const char* usage);

// The menus of `bars`'s "Menu Bar" and their controls, under a first line that names the
// PowerPoint (`name`); false when it has no "Menu Bar".
bool ListMenus(std::ostream& out, const command_bars::CommandBarSet& bars, const std::string& name);

}  // namespace tkw::check
