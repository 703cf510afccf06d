#include "tools/tkwremove/removal.h"

#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "host/formats/utf8.h"
#include "run/settings.h"
#include "tools/tkwcheck/installed.h"

namespace tkw::remove {
namespace {

using check::Quoted;

std::string Count(int n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

class Remover {
 public:
  Remover(const host::Application& app, bool plan) : app_(app), plan_(plan) {}

  Outcome Run(const std::vector<check::Definition>& definitions) {
    // Everything is found before anything goes, so that the removal takes what the plan lists:
    // searched for after a deletion, a second spelling of a name would find a control the plan
    // never saw.
    for (const check::Definition& definition : definitions) {
      if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request))
        FindButton(definition, *toolbar);
      else
        FindMenuControl(definition, std::get<MenuRequest>(definition.request));
    }
    for (const Target& target : targets_)
      Remove(target);
    for (const auto& [name, bar] : bars_)
      RemoveBarIfEmpty(name, bar);
    return std::move(outcome_);
  }

 private:
  // A control that a definition names, as found before anything is removed.
  struct Target {
    check::Place place;
    host::CommandBar bar;  // the bar that holds it, directly or in a pop-up
    host::CommandBarControl control;
    std::string what;
    std::wstring topLevelOf;  // the bar whose own control it is, or "" for a pop-up's
  };

  // What the definitions take from one bar they name.
  struct BarRemovals {
    check::Place place;  // the last definition that named the bar
    int topLevel = 0;    // controls taken from the bar itself rather than its pop-ups
  };

  // A control by where PowerPoint keeps it, whichever spelling of a name found it: the bar's
  // name, the place of the menu that holds it (0 for a toolbar's search), its own place, and
  // its tag.
  using Identity = std::tuple<std::wstring, std::int32_t, std::int32_t, std::wstring>;

  void Add(const check::Place& place, std::string text, bool failed = false) {
    outcome_.steps.push_back({place, std::move(text), failed});
    outcome_.failed |= failed;
  }

  // PowerPoint's spelling of the bar's name, or the definition's when it does not say.
  static std::wstring NameOf(const host::CommandBar& bar, const std::wstring& defined) {
    return bar.Name().value_or(defined);
  }

  // False when the control was found already, through another definition.
  bool FirstTime(Identity identity) { return seen_.insert(std::move(identity)).second; }

  void FindButton(const check::Definition& definition, const ToolbarRequest& request) {
    const check::Installed found = check::FindInstalled(app_, definition);
    if (!found.bar)
      return;
    const std::wstring bar = NameOf(found.bar, request.sToolBar);
    bars_[bar].place = definition.place;
    if (!found.control ||
        !FirstTime({bar, 0, found.control.Index().value_or(0), found.control.Tag().value_or(L"")}))
      return;
    targets_.push_back({definition.place, found.bar, found.control,
                        "the button " + Quoted(found.control.Caption().value_or(L"")) +
                            " with tag " + Quoted(request.sTag) + " on the bar " +
                            Quoted(request.sToolBar),
                        IsTopLevel(found) ? bar : std::wstring()});
  }

  void FindMenuControl(const check::Definition& definition, const MenuRequest& request) {
    const check::Installed found = check::FindInstalled(app_, definition);
    if (!found.control)
      return;
    const std::int32_t menu = found.bar.Controls().Item(request.sMenuToAdd).Index().value_or(0);
    if (!FirstTime({NameOf(found.bar, host::office::kMenuBarName), menu,
                    found.control.Index().value_or(0), L""}))
      return;
    targets_.push_back(
        {definition.place, found.bar, found.control,
         "the control " + Quoted(request.sCaption) + " in the menu " + Quoted(request.sMenuToAdd),
         std::wstring()});
  }

  void Remove(const Target& target) {
    if (target.control.BuiltIn().value_or(true)) {
      Add(target.place, "leaves " + target.what + ": it is PowerPoint's own");
      return;
    }
    if (Refuses(target.bar, target.control)) {
      Add(target.place, "error: PowerPoint refuses to remove " + target.what, true);
      return;
    }
    Add(target.place, "removes " + target.what);
    ++outcome_.controls;
    if (!target.topLevelOf.empty())
      ++bars_[target.topLevelOf].topLevel;
  }

  // Whether PowerPoint refuses to delete `object` of `bar`. A removal tries; a plan tells what
  // the removal will meet: PowerPoint changes nothing of a bar protected against customizing.
  template <class Deletable>
  bool Refuses(const host::CommandBar& bar, const Deletable& object) const {
    if (plan_)
      return (bar.Protection().value_or(0) & host::office::msoBarNoCustomize) != 0;
    return !object.Delete();
  }

  // Whether the control found by tag is one of the bar's own rather than a pop-up's: the
  // bar's control at its place carries its tag.
  static bool IsTopLevel(const check::Installed& found) {
    const std::optional<std::int32_t> index = found.control.Index();
    return index && found.bar.Controls().Item(*index).Tag() == found.control.Tag();
  }

  // A bar that is not PowerPoint's own goes when the removals leave it empty.
  void RemoveBarIfEmpty(const std::wstring& name, const BarRemovals& removals) {
    const host::CommandBar bar = app_.CommandBars().Item(name);
    if (!bar || bar.BuiltIn().value_or(true))
      return;
    const std::optional<std::int32_t> count = bar.Controls().Count();
    if (!count || *count != (plan_ ? removals.topLevel : 0))
      return;
    const std::string what = "the bar " + Quoted(name) + ", left empty";
    if (Refuses(bar, bar)) {
      Add(removals.place, "error: PowerPoint refuses to remove " + what, true);
      return;
    }
    Add(removals.place, "removes " + what);
    ++outcome_.bars;
  }

  const host::Application& app_;
  bool plan_;
  Outcome outcome_;
  std::vector<Target> targets_;
  std::map<std::wstring, BarRemovals> bars_;
  std::set<Identity> seen_;
};

}  // namespace

Outcome RemoveInstalled(const host::Application& app,
                        const std::vector<check::Definition>& definitions, bool plan) {
  return Remover(app, plan).Run(definitions);
}

void PrintOutcome(std::ostream& out, const Outcome& outcome, bool plan) {
  for (const Step& step : outcome.steps)
    out << step.place.Text() << ": " << step.text << '\n';
  out << Count(outcome.controls, "control") << " and " << Count(outcome.bars, "bar")
      << (plan ? " to remove" : " removed") << '\n';
}

InstanceGuard::InstanceGuard(host::Kernel& kernel)
    : kernel_(kernel),
      handle_(kernel.CreateMutexA(true, settings::kMutexName)),
      held_(handle_ != 0 && kernel.GetLastError() != host::kErrorAlreadyExists) {}

InstanceGuard::~InstanceGuard() {
  if (handle_ != 0)
    kernel_.CloseHandle(handle_);
}

}  // namespace tkw::remove
