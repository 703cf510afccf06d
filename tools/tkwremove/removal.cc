#include "tools/tkwremove/removal.h"

#include <map>
#include <set>
#include <utility>

#include "host/emulated_windows/powerpoint/text.h"
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
    for (const check::Definition& definition : definitions) {
      if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request))
        RemoveButton(definition, *toolbar);
      else
        RemoveMenuControl(definition, std::get<MenuRequest>(definition.request));
    }
    for (const auto& [name, bar] : bars_)
      RemoveBarIfEmpty(name, bar);
    return std::move(outcome_);
  }

 private:
  // What the definitions take from one bar they name.
  struct BarRemovals {
    check::Place place;  // the last definition that named the bar
    int topLevel = 0;    // controls taken from the bar itself rather than its pop-ups
  };

  void Add(const check::Place& place, std::string text, bool failed = false) {
    outcome_.steps.push_back({place, std::move(text), failed});
    outcome_.failed |= failed;
  }

  // Deletes `control` unless planning; false when PowerPoint refuses.
  bool Delete(const host::CommandBarControl& control) { return plan_ || control.Delete(); }

  void RemoveButton(const check::Definition& definition, const ToolbarRequest& request) {
    BarRemovals& removals = bars_[request.sToolBar];
    removals.place = definition.place;
    // A second definition of the same button finds the one the first removed.
    if (!seen_.insert({request.sToolBar, request.sTag, false}).second)
      return;
    const check::Installed found = check::FindInstalled(app_, definition);
    if (!found.control)
      return;
    const std::string what = "the button " + Quoted(found.control.Caption().value_or(L"")) +
                             " with tag " + Quoted(request.sTag) + " on the bar " +
                             Quoted(request.sToolBar);
    if (found.control.BuiltIn().value_or(true)) {
      Add(definition.place, "leaves " + what + ": it is PowerPoint's own");
      return;
    }
    const bool topLevel = IsTopLevel(found);
    if (!Delete(found.control)) {
      Add(definition.place, "error: PowerPoint refuses to remove " + what, true);
      return;
    }
    Add(definition.place, "removes " + what);
    ++outcome_.controls;
    removals.topLevel += topLevel;
  }

  void RemoveMenuControl(const check::Definition& definition, const MenuRequest& request) {
    if (!seen_.insert({request.sMenuToAdd, request.sCaption, true}).second)
      return;
    const check::Installed found = check::FindInstalled(app_, definition);
    if (!found.control)
      return;
    const std::string what =
        "the control " + Quoted(request.sCaption) + " in the menu " + Quoted(request.sMenuToAdd);
    if (found.control.BuiltIn().value_or(true)) {
      Add(definition.place, "leaves " + what + ": it is PowerPoint's own");
      return;
    }
    if (!Delete(found.control)) {
      Add(definition.place, "error: PowerPoint refuses to remove " + what, true);
      return;
    }
    Add(definition.place, "removes " + what);
    ++outcome_.controls;
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
    if (!plan_ && !bar.Delete()) {
      Add(removals.place, "error: PowerPoint refuses to remove " + what, true);
      return;
    }
    Add(removals.place, "removes " + what);
    ++outcome_.bars;
  }

  const host::Application& app_;
  bool plan_;
  Outcome outcome_;
  std::map<std::wstring, BarRemovals> bars_;
  std::set<std::tuple<std::wstring, std::wstring, bool>> seen_;
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
