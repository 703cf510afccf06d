#include "tools/snapshot/read_powerpoint.h"

#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include "host/formats/utf8.h"

namespace tkw::snapshot {
namespace {

using command_bars::BarProperties;
using command_bars::BarType;
using command_bars::ControlList;
using command_bars::ControlProperties;
using command_bars::ControlType;

// MsoBarType
constexpr std::int32_t kBarTypeMenuBar = 1;
constexpr std::int32_t kBarTypePopup = 2;
// msoControlCustom: the kind of a control that answers with a kind a state file cannot hold.
constexpr std::int16_t kCustomControl = 0;

// Appended rather than concatenated: GCC 12's -O3 misreads "'" + s as an overlapping copy.
std::string Quoted(const std::wstring& text) {
  std::string quoted(1, '\'');
  quoted.append(formats::WideToUtf8(text));
  quoted.push_back('\'');
  return quoted;
}

// What the snapshot cannot do without: where it is missing, the snapshot would be wrong.
template <typename T>
T Required(std::optional<T> value, const std::string& what) {
  if (!value)
    throw std::runtime_error("PowerPoint does not tell " + what);
  return std::move(*value);
}

BarType BarTypeOf(std::int32_t type) {
  return type == kBarTypeMenuBar ? BarType::kMenuBar
         : type == kBarTypePopup ? BarType::kPopup
                                 : BarType::kToolbar;
}

// A kind other than a button or a pop-up keeps its MsoControlType where a state file can hold it.
ControlType OtherKind(std::int32_t type) {
  const bool holds = type >= 0 && type <= std::numeric_limits<std::int16_t>::max() &&
                     type != static_cast<std::int32_t>(ControlType::kButton) &&
                     type != static_cast<std::int32_t>(ControlType::kPopup);
  return static_cast<ControlType>(holds ? type : kCustomControl);
}

// The controls in `controls` into `list`; `where` names their bar or pop-up, as "the bar 'Menu
// Bar'" or "control 6 ('&Tools') of the bar 'Menu Bar'".
void ReadControls(const host::CommandBarControls& controls, ControlList& list,
                  const std::string& where) {
  const std::int32_t count = Required(controls.Count(), "how many controls " + where + " holds");
  for (std::int32_t place = 1; place <= count; ++place) {
    const std::string at = "control " + std::to_string(place) + " of " + where;
    const host::CommandBarControl control = controls.Item(place);
    if (!control)
      throw std::runtime_error("PowerPoint does not give " + at);
    // The kind is the interface it answers for, as the program asks for it.
    const auto popup = host::QueryInterface<host::CommandBarPopup>(control);
    const auto button = host::QueryInterface<host::CommandBarButton>(control);
    ControlProperties p;
    p.type = popup    ? ControlType::kPopup
             : button ? ControlType::kButton
                      : OtherKind(Required(control.Type(), "the kind of " + at));
    p.id = Required(control.Id(), "the id of " + at);
    p.caption = control.Caption().value_or(L"");
    p.tag = control.Tag().value_or(L"");
    p.onAction = control.OnAction().value_or(L"");
    p.tooltipText = control.TooltipText().value_or(L"");
    p.builtIn = control.BuiltIn().value_or(false);
    p.visible = control.Visible().value_or(true);
    if (button)
      p.style = button.Style().value_or(0);
    if (popup && list.depth() >= command_bars::kMaxPopupDepth) {
      throw std::runtime_error(at + " nests pop-ups deeper than a state file holds (" +
                               std::to_string(command_bars::kMaxPopupDepth) + ")");
    }
    const std::wstring caption = p.caption;
    command_bars::Control& added = list.Insert(list.size() + 1, std::move(p));
    if (popup)
      ReadControls(popup.Controls(), *added.controls(),
                   "control " + std::to_string(place) + " (" + Quoted(caption) + ") of " + where);
  }
}

}  // namespace

command_bars::CommandBarSet ReadCommandBars(const host::Application& app) {
  const host::CommandBars bars = app.CommandBars();
  const std::int32_t count = Required(bars.Count(), "how many command bars it has");
  command_bars::CommandBarSet snapshot;
  for (std::int32_t place = 1; place <= count; ++place) {
    const std::string at = "command bar " + std::to_string(place);
    const host::CommandBar bar = bars.Item(place);
    if (!bar)
      throw std::runtime_error("PowerPoint does not give " + at);
    BarProperties p;
    p.name = Required(bar.Name(), "the name of " + at);
    if (std::wstring local = bar.NameLocal().value_or(p.name); local != p.name)
      p.nameLocal = std::move(local);
    p.type = BarTypeOf(Required(bar.Type(), "the kind of " + at));
    p.position = bar.Position().value_or(p.position);
    p.visible = bar.Visible().value_or(false);
    p.builtIn = bar.BuiltIn().value_or(false);
    p.protection = bar.Protection().value_or(0);
    const std::string where = "the bar " + Quoted(p.name);
    ReadControls(bar.Controls(), snapshot.Add(std::move(p)).controls(), where);
  }
  return snapshot;
}

}  // namespace tkw::snapshot
