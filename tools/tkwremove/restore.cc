#include "tools/tkwremove/restore.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>
#include <variant>

#include "host/office_interfaces.h"

namespace tkw::remove {
namespace {

using check::Quoted;
using command_bars::Control;
using command_bars::ControlType;

// In plain words, for a control that cannot be put back here: resetting the menu bar brings
// back every menu as PowerPoint first had it.
constexpr char kHowToGetItBack[] =
    ": to get it back, choose View > Toolbars > Customize in PowerPoint, select \"Menu Bar\" on "
    "the Toolbars tab and click Reset, which also takes other add-ins' entries out of the menus";

// One of PowerPoint's own buttons that a definition's caption names, as `own` has it.
struct Taken {
  check::Place place;     // the first definition that names it
  const Control* menu;    // its menu in `own`
  const Control* button;  // in that menu
};

// The buttons that the definitions take, in the order of their menus and places in `own`, each
// once.
std::vector<Taken> TakenBy(const std::vector<check::Definition>& definitions,
                           const command_bars::CommandBarSet& own) {
  std::vector<Taken> taken;
  const command_bars::CommandBar* menuBar = own.Find(host::office::kMenuBarName);
  if (menuBar == nullptr)
    return taken;
  for (const check::Definition& definition : definitions) {
    const auto* request = std::get_if<MenuRequest>(&definition.request);
    if (request == nullptr)
      continue;
    const Control* menu = menuBar->controls().FindByCaption(request->sMenuToAdd);
    if (menu == nullptr || menu->controls() == nullptr)
      continue;
    // As the program finds the control it deletes: by caption, and only a button.
    const Control* button = menu->controls()->FindByCaption(request->sCaption);
    if (button == nullptr || button->type() != ControlType::kButton ||
        !button->properties().builtIn)
      continue;
    const bool seen =
        std::any_of(taken.begin(), taken.end(), [&](const Taken& t) { return t.button == button; });
    if (!seen)
      taken.push_back({definition.place, menu, button});
  }
  std::stable_sort(taken.begin(), taken.end(), [](const Taken& a, const Taken& b) {
    return std::pair(a.menu->Index(), a.button->Index()) <
           std::pair(b.menu->Index(), b.button->Index());
  });
  return taken;
}

class Restorer {
 public:
  Restorer(const host::Application& app, bool plan) : app_(app), plan_(plan) {}

  Restored Run(const std::vector<Taken>& taken) {
    for (const Taken& t : taken)
      Restore(t);
    return std::move(restored_);
  }

 private:
  void Restore(const Taken& t) {
    const command_bars::ControlProperties& own = t.button->properties();
    const std::wstring& menuName = t.menu->properties().caption;
    const std::string what =
        "PowerPoint's own " + Quoted(own.caption) + " in the menu " + Quoted(menuName);
    const host::CommandBar menuBar = app_.CommandBars().Item(host::office::kMenuBarName);
    const auto menu =
        host::QueryInterface<host::CommandBarPopup>(menuBar.Controls().Item(menuName));
    if (!menu) {
      Fail(t, Tense("cannot put back ", "could not put back ") + what +
                  ": PowerPoint has no menu " + Quoted(menuName));
      return;
    }
    const host::CommandBarControls controls = menu.Controls();
    if (Holds(controls, *t.button))
      return;
    if (own.id <= 1) {
      Fail(t, Tense("cannot put back ", "could not put back ") + what + ": its Id is not known");
      return;
    }
    const auto [before, where] = PlaceAmongItsOwn(t, controls);
    const std::string text = what + " (Id " + std::to_string(own.id) + "), " + where;
    const bool refused =
        plan_ ? (menuBar.Protection().value_or(0) & host::office::msoBarNoCustomize) != 0
              : !controls.Add(
                    host::office::msoControlButton, own.id, host::MissingArgument{},
                    before ? host::Variant(*before) : host::Variant(host::MissingArgument{}),
                    host::MissingArgument{});
    if (refused) {
      Fail(t, "PowerPoint " + Tense("refuses", "refused") + " to put back " + text);
      return;
    }
    restored_.steps.push_back({t.place, Tense("puts back ", "put back ") + text});
    ++restored_.controls;
    back_.insert(t.button);
  }

  // A plan tells what the removal will do, the removal what it did.
  std::string Tense(const char* plan, const char* done) const { return plan_ ? plan : done; }

  void Fail(const Taken& t, const std::string& why) {
    restored_.steps.push_back({t.place, "error: " + why + kHowToGetItBack, true});
    restored_.failed = true;
  }

  // Whether PowerPoint's menu holds its own `command`, or will once the plan's earlier steps
  // are taken.
  bool Holds(const host::CommandBarControls& controls, const Control& command) {
    return back_.contains(&command) || PlaceOf(controls, command).has_value();
  }

  // The place in the menu of PowerPoint's own `command`: a built-in control with its Id, or
  // with its caption as PowerPoint matches names, where a PowerPoint knows it by another Id.
  static std::optional<std::int32_t> PlaceOf(const host::CommandBarControls& controls,
                                             const Control& command) {
    const std::wstring caption = command_bars::NameKey(command.properties().caption);
    const std::int32_t count = controls.Count().value_or(0);
    for (std::int32_t place = 1; place <= count; ++place) {
      const host::CommandBarControl control = controls.Item(place);
      if (control.BuiltIn().value_or(false) &&
          (control.Id() == command.properties().id ||
           command_bars::NameKey(control.Caption().value_or(L"")) == caption))
        return place;
    }
    return std::nullopt;
  }

  // Before the first of the controls that follow it in `own` that the menu holds, else after
  // the last of those before it, else where `own` has it: the Before argument (none: last) and
  // the words for it.
  std::pair<std::optional<std::int32_t>, std::string> PlaceAmongItsOwn(
      const Taken& t, const host::CommandBarControls& controls) {
    const command_bars::ControlList& siblings = *t.menu->controls();
    const std::size_t at = t.button->Index();
    for (std::size_t next = at + 1; next <= siblings.size(); ++next) {
      const Control& neighbour = siblings.At(next);
      if (Holds(controls, neighbour))
        return {PlaceOf(controls, neighbour), "before " + Quoted(neighbour.properties().caption)};
    }
    for (std::size_t previous = at - 1; previous >= 1; --previous) {
      const Control& neighbour = siblings.At(previous);
      if (Holds(controls, neighbour)) {
        const std::optional<std::int32_t> place = PlaceOf(controls, neighbour);
        return {place ? std::optional(*place + 1) : std::nullopt,
                "after " + Quoted(neighbour.properties().caption)};
      }
    }
    if (at == 1)
      return {1, "first"};
    return {std::nullopt, "last"};
  }

  const host::Application& app_;
  bool plan_;
  Restored restored_;
  std::set<const Control*> back_;  // of `own`'s controls, those put back so far
};

std::string Count(int n) {
  return std::to_string(n) + (n == 1 ? " control" : " controls");
}

}  // namespace

Restored RestorePowerPointsOwn(const host::Application& app,
                               const std::vector<check::Definition>& definitions,
                               const command_bars::CommandBarSet& own, bool plan) {
  return Restorer(app, plan).Run(TakenBy(definitions, own));
}

void PrintRestored(std::ostream& out, const Restored& restored, bool plan) {
  if (restored.steps.empty())
    return;
  for (const Step& step : restored.steps)
    out << step.place.Text() << ": " << step.text << '\n';
  out << Count(restored.controls) << " of PowerPoint's own" << (plan ? " to put back" : " put back")
      << '\n';
}

}  // namespace tkw::remove
