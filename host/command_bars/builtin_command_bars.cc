// The bars of a fresh PowerPoint 2003: the menu bar with its nine menus, and the Standard and
// Formatting toolbars. Control ids are representative of Office's built-in ones. An Id is one
// command, and CommandBarControls.Add makes it with the caption its menu shows; a toolbar may
// show a shorter one ("&Open" for "&Open...").
#include <initializer_list>
#include <string>

#include "host/command_bars/command_bar_state.h"

namespace tkw::command_bars {
namespace {

struct Command {
  std::int32_t id;
  const wchar_t* caption;
};

struct Menu {
  std::int32_t id;
  const wchar_t* caption;
  std::initializer_list<Command> commands;
};

const std::initializer_list<Menu> kMenus = {
    {30002,
     L"&File",
     {{18, L"&New..."},
      {23, L"&Open..."},
      {106, L"&Close"},
      {3, L"&Save"},
      {748, L"Save &As..."},
      {247, L"Page Set&up..."},
      {4, L"&Print..."},
      {752, L"E&xit"}}},
    {30003,
     L"&Edit",
     {{128, L"&Undo"},
      {129, L"&Redo"},
      {21, L"Cu&t"},
      {19, L"&Copy"},
      {22, L"&Paste"},
      {755, L"Paste &Special..."},
      {756, L"Select A&ll"},
      {1849, L"&Find..."},
      {313, L"R&eplace..."}}},
    {30004,
     L"&View",
     {{738, L"&Normal"},
      {740, L"Sli&de Sorter"},
      {2893, L"Slide Sho&w"},
      {1589, L"&Header and Footer..."},
      {925, L"&Zoom..."}}},
    {30005,
     L"&Insert",
     {{743, L"Ne&w Slide..."},
      {1603, L"&Duplicate Slide"},
      {1536, L"Date and &Time..."},
      {308, L"Sy&mbol..."},
      {1594, L"Comm&ent"},
      {139, L"Te&xt Box"},
      {1576, L"Hyperl&ink..."}}},
    {30006,
     L"F&ormat",
     {{253, L"&Font..."},
      {1650, L"&Bullets and Numbering..."},
      {1651, L"&Line Spacing..."},
      {5856, L"Slide &Design..."},
      {5857, L"Slide &Layout..."},
      {764, L"Bac&kground..."}}},
    {30007,
     L"&Tools",
     {{2, L"&Spelling..."},
      {7343, L"&Research..."},
      {1764, L"&Language..."},
      {797, L"&Customize..."},
      {522, L"&Options..."}}},
    {30008,
     L"Sli&de Show",
     {{741, L"&View Show"},
      {1780, L"Set &Up Show..."},
      {1781, L"Rehearse &Timings"},
      {5859, L"Custom Animat&ion..."},
      {5858, L"Slide &Transition..."},
      {1782, L"Custom Sho&ws..."}}},
    {30009, L"&Window", {{303, L"&New Window"}, {298, L"&Arrange All"}, {299, L"&Cascade"}}},
    {30010,
     L"&Help",
     {{984, L"Microsoft Office PowerPoint &Help"},
      {7342, L"Microsoft Office &Online"},
      {927, L"&About Microsoft Office PowerPoint"}}},
};

const std::initializer_list<Command> kStandard = {{2520, L"&New"},
                                                  {23, L"&Open"},
                                                  {3, L"&Save"},
                                                  {2521, L"&Print"},
                                                  {2, L"&Spelling..."},
                                                  {21, L"Cu&t"},
                                                  {19, L"&Copy"},
                                                  {22, L"&Paste"},
                                                  {128, L"&Undo"},
                                                  {129, L"&Redo"},
                                                  {984, L"Microsoft Office PowerPoint &Help"}};

const std::initializer_list<Command> kFormatting = {{113, L"&Bold"},
                                                    {114, L"&Italic"},
                                                    {115, L"&Underline"},
                                                    {120, L"Align &Left"},
                                                    {122, L"&Center"},
                                                    {121, L"Align &Right"},
                                                    {323, L"&Bullets"},
                                                    {1649, L"&Increase Font Size"},
                                                    {1660, L"&Decrease Font Size"}};

ControlProperties BuiltIn(ControlType type, const Command& command) {
  ControlProperties p;
  p.type = type;
  p.id = command.id;
  p.caption = command.caption;
  p.builtIn = true;
  return p;
}

void AddButtons(ControlList& list, std::initializer_list<Command> commands) {
  for (const Command& command : commands) {
    list.Insert(list.size() + 1, BuiltIn(ControlType::kButton, command));
  }
}

CommandBar& AddBar(CommandBarSet& bars, const wchar_t* name, BarType type) {
  constexpr std::int32_t kBarTop = 1;
  return bars.Add({name, type, kBarTop, /*visible=*/true, /*temporary=*/false, /*builtIn=*/true});
}

}  // namespace

CommandBarSet BuiltInCommandBars() {
  CommandBarSet bars;
  ControlList& menus = AddBar(bars, L"Menu Bar", BarType::kMenuBar).controls();
  for (const Menu& menu : kMenus) {
    Control& popup =
        menus.Insert(menus.size() + 1, BuiltIn(ControlType::kPopup, {menu.id, menu.caption}));
    AddButtons(*popup.controls(), menu.commands);
  }
  AddButtons(AddBar(bars, L"Standard", BarType::kToolbar).controls(), kStandard);
  AddButtons(AddBar(bars, L"Formatting", BarType::kToolbar).controls(), kFormatting);
  return bars;
}

}  // namespace tkw::command_bars
