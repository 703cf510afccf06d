#include "tools/tkwremove/removal.h"

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "host/formats/utf8.h"
#include "run/settings.h"
#include "tools/tkwcheck/installed.h"

namespace tkw::remove {
namespace {

using check::Quoted;

std::string Count(int n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// "line 13" for a definition of an export, "KEY [VALUE]" for one of the live registry.
std::string Reference(const check::Place& place) {
  return place.file.empty() ? place.Text() : "line " + std::to_string(place.line);
}

class Remover {
 public:
  Remover(const host::Application& app, bool plan) : app_(app), plan_(plan), installed_(app) {}

  Outcome Run(const std::vector<check::Definition>& definitions) {
    // Everything is found before anything goes, so that the removal takes what the plan lists:
    // searched for after a deletion, a second spelling of a name would find a control the plan
    // never saw.
    for (const check::Definition& definition : definitions)
      Find(definition);
    for (Target& target : targets_)
      Remove(target);
    for (const auto& [name, bar] : bars_)
      RemoveBarIfEmpty(name, bar);
    return std::move(outcome_);
  }

 private:
  enum class Verdict { kRemoved, kOwn, kRefused };

  // The controls a definition names, as found before anything is removed: the one the program
  // finds and its copies, less those an earlier definition named.
  struct Target {
    check::Place place;
    host::CommandBar bar;
    std::wstring barName;  // as PowerPoint spells it
    std::vector<check::PlacedControl> controls;
    // How a line names them: "the " + kind + " " + caption + where, or "the 2 " + kind + "s ...".
    std::string kind, caption, where;
    // When an earlier definition named every one of them: that definition's target.
    std::optional<std::size_t> namedBefore;
    Verdict verdict = Verdict::kRemoved;

    std::string What(std::size_t count) const {
      return count == 1 ? "the " + kind + " " + caption + where
                        : "the " + std::to_string(count) + " " + kind + "s " + caption + where;
    }
  };

  // What the definitions take from one bar they name.
  struct BarRemovals {
    check::Place place;  // the last definition that named the bar
    int topLevel = 0;    // controls taken from the bar itself rather than its pop-ups
  };

  // Where PowerPoint keeps a control: its bar's name as PowerPoint spells it, and its path of
  // places through pop-ups. A control that a toolbar and a menu definition both name, or two
  // spellings of one name, is one control.
  using Identity = std::pair<std::wstring, std::vector<std::int32_t>>;

  void Add(const check::Place& place, std::string text, bool failed = false) {
    outcome_.steps.push_back({place, std::move(text), failed});
    outcome_.failed |= failed;
  }

  void Find(const check::Definition& definition) {
    const check::Installed found = installed_.Find(definition);
    Target target;
    target.place = definition.place;
    target.bar = found.bar;
    target.barName = found.barName;
    if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request)) {
      if (!found.bar)
        return;
      bars_[found.barName].place = definition.place;
      target.kind = "button";
      target.caption = Quoted(found.control().Caption().value_or(L""));
      target.where =
          " with tag " + Quoted(toolbar->sTag) + " on the bar " + Quoted(toolbar->sToolBar);
    } else {
      const auto& menu = std::get<MenuRequest>(definition.request);
      target.kind = "control";
      target.caption = Quoted(menu.sCaption);
      target.where = " in the menu " + Quoted(menu.sMenuToAdd);
    }
    if (found.controls.empty())
      return;
    for (const check::PlacedControl& control : found.controls) {
      const auto [named, first] =
          named_.try_emplace({found.barName, control.path}, targets_.size());
      if (first)
        target.controls.push_back(control);
      else if (!target.namedBefore)
        target.namedBefore = named->second;
    }
    if (!target.controls.empty())
      target.namedBefore.reset();
    targets_.push_back(std::move(target));
  }

  void Remove(Target& target) {
    if (target.namedBefore) {
      const Target& before = targets_[*target.namedBefore];
      const std::string line = Reference(before.place);
      target.verdict = before.verdict;
      Add(target.place, before.verdict == Verdict::kRemoved ? "already removed by " + line
                        : before.verdict == Verdict::kOwn
                            ? "already left by " + line + ": it is PowerPoint's own"
                            : "already tried by " + line + ": PowerPoint " +
                                  Tense("refuses", "refused") + " to remove it");
      return;
    }
    std::vector<const check::PlacedControl*> theirs;
    for (const check::PlacedControl& control : target.controls) {
      if (!control.control.BuiltIn().value_or(true))
        theirs.push_back(&control);
    }
    if (theirs.size() < target.controls.size()) {
      Add(target.place, Tense("leaves ", "left ") + target.What(1) + ": it is PowerPoint's own");
      target.verdict = Verdict::kOwn;
    }
    if (theirs.empty())
      return;
    std::size_t removed = 0;
    for (const check::PlacedControl* control : theirs) {
      if (Refuses(target.bar, control->control))
        continue;
      ++removed;
      if (control->path.size() == 1)
        ++bars_[target.barName].topLevel;
    }
    if (removed > 0) {
      Add(target.place, Tense("removes ", "removed ") + target.What(removed));
      outcome_.controls += static_cast<int>(removed);
      target.verdict = Verdict::kRemoved;
    }
    if (removed < theirs.size()) {
      Add(target.place,
          "error: PowerPoint " + Tense("refuses", "refused") + " to remove " +
              target.What(theirs.size() - removed),
          true);
      if (removed == 0)
        target.verdict = Verdict::kRefused;
    }
  }

  // A plan tells what the removal will do, the removal what it did.
  std::string Tense(const char* plan, const char* done) const { return plan_ ? plan : done; }

  // Whether PowerPoint refuses to delete `object` of `bar`. A removal tries; a plan tells what
  // the removal will meet: PowerPoint changes nothing of a bar protected against customizing.
  template <class Deletable>
  bool Refuses(const host::CommandBar& bar, const Deletable& object) const {
    if (plan_)
      return (bar.Protection().value_or(0) & host::office::msoBarNoCustomize) != 0;
    return !object.Delete();
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
      Add(removals.place, "error: PowerPoint " + Tense("refuses", "refused") + " to remove " + what,
          true);
      return;
    }
    Add(removals.place, Tense("removes ", "removed ") + what);
    ++outcome_.bars;
  }

  const host::Application& app_;
  bool plan_;
  check::InstalledControls installed_;
  Outcome outcome_;
  std::vector<Target> targets_;
  std::map<std::wstring, BarRemovals> bars_;
  std::map<Identity, std::size_t> named_;  // the target that names each control
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
      error_(handle_ == 0 ? kernel.GetLastError() : 0),
      held_(handle_ != 0 && kernel.GetLastError() != host::kErrorAlreadyExists) {}

InstanceGuard::~InstanceGuard() {
  if (handle_ != 0)
    kernel_.CloseHandle(handle_);
}

}  // namespace tkw::remove
