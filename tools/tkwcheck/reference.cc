#include "tools/tkwcheck/reference.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/command_bars/command_bar_state.h"
#include "host/formats/utf8.h"
#include "host/office_interfaces.h"
#include "tools/snapshot/judged_powerpoint.h"
#include "tools/tkwcheck/inputs.h"
#include "tools/tkwcheck/rules.h"

namespace tkw::check {
namespace {

using command_bars::Control;
using command_bars::ControlType;

int WrongCommandLine(const std::string& why, const char* usage) {
  std::cerr << "tkwcheck: " << why << '\n' << usage;
  return 2;
}

int Explain(const std::vector<std::string_view>& arguments, const char* usage) {
  if (arguments.size() > 2 || (arguments.size() == 2 && arguments[1].starts_with("-")))
    return WrongCommandLine("--explain takes the name of one rule and no other option", usage);
  if (arguments.size() == 1) {
    PrintRuleList(std::cout);
    return 0;
  }
  // As a finding ends with it, "[rule]".
  std::string_view name = arguments[1];
  if (name.size() > 2 && name.front() == '[' && name.back() == ']')
    name = name.substr(1, name.size() - 2);
  const Rule* rule = FindRule(name);
  if (rule == nullptr) {
    std::cerr << "tkwcheck: there is no rule '" << name
              << "'; tkwcheck --explain lists every rule\n";
    return 2;
  }
  PrintExplanation(std::cout, *rule);
  return 0;
}

// The caption PowerPoint's English bars give the menu of the same command, where it differs:
// what a definition written for English PowerPoints names this menu by.
std::wstring EnglishCaption(const Control& menu) {
  static const command_bars::CommandBarSet english = command_bars::BuiltInCommandBars();
  std::wstring caption;
  english.Find(host::office::kMenuBarName)->controls().VisitUntil([&](const Control& control) {
    if (control.type() == ControlType::kPopup && control.properties().id == menu.properties().id)
      caption = control.properties().caption;
    return !caption.empty();
  });
  return command_bars::NameKey(caption) == command_bars::NameKey(menu.properties().caption)
             ? std::wstring()
             : caption;
}

// What keeps a control from being named in a definition, or from being PowerPoint's.
std::string Remarks(const Control& control, bool menu) {
  std::vector<std::string> remarks;
  if (control.type() == ControlType::kPopup && !menu)
    remarks.push_back("a sub-menu: no before-control");
  else if (control.type() != ControlType::kPopup && menu)
    remarks.push_back("not a menu");
  else if (control.type() != ControlType::kButton && control.type() != ControlType::kPopup)
    remarks.push_back("a control of type " + std::to_string(static_cast<int>(control.type())) +
                      ": no before-control");
  if (menu && control.type() == ControlType::kPopup) {
    if (const std::wstring english = EnglishCaption(control); !english.empty())
      remarks.push_back("in English PowerPoints '" + formats::WideToUtf8(english) + "'");
  }
  if (!control.properties().visible)
    remarks.push_back("hidden");
  if (!control.properties().builtIn)
    remarks.push_back("not PowerPoint's own");
  std::string text;
  for (const std::string& remark : remarks)
    text += (text.empty() ? "  (" : "; ") + remark;
  return text.empty() ? text : text + ")";
}

#ifndef _WIN32
constexpr char kListMenusOptions[] = "--list-menus takes --powerpoint FILE or --prefix DIR";
#else
constexpr char kListMenusOptions[] = "--list-menus takes --powerpoint FILE";
#endif

int ListMenusOf(const std::vector<std::string_view>& arguments, const char* usage) {
  std::optional<std::string> powerPoint, prefix;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const bool hasValue = i + 1 < arguments.size();
    if (arguments[i] == "--powerpoint" && hasValue && !powerPoint && !prefix) {
      powerPoint = arguments[++i];
#ifndef _WIN32
    } else if (arguments[i] == "--prefix" && hasValue && !powerPoint && !prefix) {
      prefix = arguments[++i];
#endif
    } else {
      return WrongCommandLine(std::string(kListMenusOptions) + ", not '" +
                                  std::string(arguments[i]) + "'" +
                                  (hasValue ? "" : " without a value"),
                              usage);
    }
  }
  try {
    snapshot::JudgedPowerPoint judged =
        powerPoint ? snapshot::LoadSnapshot(*powerPoint) : snapshot::BuiltInPowerPoint();
#ifndef _WIN32
    if (prefix)
      judged = PowerPointOfMachine(*prefix);
#endif
    return ListMenus(std::cout, judged.bars, judged.name) ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << "tkwcheck: " << error.what() << '\n';
    return 2;
  }
}

}  // namespace

bool ListMenus(std::ostream& out, const command_bars::CommandBarSet& bars,
               const std::string& name) {
  out << "the menus of \"Menu Bar\" in " << name << '\n';
  const command_bars::CommandBar* menuBar = bars.Find(host::office::kMenuBarName);
  if (menuBar == nullptr) {
    out << "there is no \"Menu Bar\": no menu definition adds anything here\n";
    return false;
  }
  menuBar->controls().VisitUntil([&](const Control& menu) {
    out << formats::WideToUtf8(menu.properties().caption) << Remarks(menu, true) << '\n';
    if (menu.controls() != nullptr) {
      menu.controls()->VisitUntil([&](const Control& control) {
        out << "    " << formats::WideToUtf8(control.properties().caption)
            << Remarks(control, false) << '\n';
        return false;
      });
    }
    return false;
  });
  out << "A menu definition names the menu (field 1) and the button to stand before (field 4) "
         "by these captions; \"&\" and letter case do not count.\n";
  return true;
}

std::optional<int> ReferenceCommand(int argc, char** argv, const char* usage) {
  std::vector<std::string_view> arguments(argv + 1, argv + argc);
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] != "--explain" && arguments[i] != "--list-menus")
      continue;
    // Either stands first, whatever the user wrote before it.
    std::rotate(arguments.begin(), arguments.begin() + i, arguments.begin() + i + 1);
    return arguments[0] == "--explain" ? Explain(arguments, usage) : ListMenusOf(arguments, usage);
  }
  return std::nullopt;
}

}  // namespace tkw::check
