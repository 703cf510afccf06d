// Feeds tkwremove --plan arbitrary definitions and an arbitrary PowerPoint: the input is a
// regedit export, then the line "----- commandbars.json -----", then PowerPoint's state file.
// Whatever the plan finds, it changes nothing: PowerPoint's state file is left as it was, byte for
// byte. And the removal that follows does what the plan said: it takes as many controls and bars
// as it counts, each once however many definitions name it, and leaves no copy of a tagged button
// that a plan made afterwards would find.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/command_bars/command_bar_model.h"
#include "host/command_bars/command_bar_state.h"
#include "host/emulated_windows/emulated_windows.h"
#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/formats/reg_file.h"
#include "host/runtime_error.h"
#include "tests/plan_as_done.h"
#include "tools/tkwcheck/installed.h"
#include "tools/tkwremove/removal.h"
#include "tools/tkwremove/restore.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSeparator = "\n----- commandbars.json -----\n";

fs::path NewPrefix() {
  std::string pattern = (fs::temp_directory_path() / "tkwremove-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    __builtin_trap();
  fs::create_directories(fs::path(pattern) / "powerpoint");
  return pattern;
}

// One machine for the whole run, removed at its end. The prefix comes first: the members
// after it are built from it.
struct Machine {
  ~Machine() { fs::remove_all(prefix); }

  fs::path prefix = NewPrefix();
  std::ostringstream diagnostics;
  tkw::emulated::EmulatedWindows host{prefix, diagnostics};
  fs::path state = prefix / "powerpoint" / "commandbars.json";
};

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// tkwremove's report, on a PowerPoint started on the machine's state for the one run: what it
// removes, then what it puts back of PowerPoint's own controls.
struct Report {
  tkw::remove::Outcome outcome;
  tkw::remove::Restored restored;
  std::string text;
};
Report Remove(Machine& machine, const std::vector<tkw::check::Definition>& definitions, bool plan) {
  tkw::emulated::PowerPoint powerPoint(machine.state, machine.host.clipboard(),
                                       machine.host.memory());
  const auto app = tkw::host::QueryInterface<tkw::host::Application>(powerPoint.Application());
  Report report{tkw::remove::RemoveInstalled(app, definitions, plan), {}, {}};
  report.restored = tkw::remove::RestorePowerPointsOwn(
      app, definitions, tkw::command_bars::BuiltInCommandBars(), plan);
  std::ostringstream out;
  for (const auto* steps : {&report.outcome.steps, &report.restored.steps}) {
    for (const tkw::remove::Step& step : *steps)
      out << step.place.Text() << ": " << step.text << '\n';
  }
  report.text = out.str();
  return report;
}

// The controls of every bar, pop-ups and what they hold included.
int ControlsIn(const tkw::command_bars::ControlList& list) {
  int count = 0;
  list.VisitUntil([&](const tkw::command_bars::Control& control) {
    count += 1 + (control.controls() != nullptr ? ControlsIn(*control.controls()) : 0);
    return false;
  });
  return count;
}
struct Totals {
  int controls = 0;
  int bars = 0;
  bool barNamedTwice = false;  // then a bar removed gives its name to the next
};
Totals TotalsOf(const fs::path& state) {
  const auto bars = tkw::command_bars::LoadCommandBars(state);
  Totals totals{0, static_cast<int>(bars.size()), false};
  std::set<std::wstring> names;
  for (std::size_t place = 1; place <= bars.size(); ++place) {
    totals.controls += ControlsIn(bars.At(place).controls());
    totals.barNamedTwice |=
        !names.insert(tkw::command_bars::NameKey(bars.At(place).properties().name)).second;
  }
  return totals;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Machine machine;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t split = bytes.find(kSeparator);
  const std::string_view registry = bytes.substr(0, split);
  const std::string_view state = split == std::string_view::npos
                                     ? std::string_view()
                                     : bytes.substr(split + kSeparator.size());

  try {
    tkw::command_bars::ParseCommandBars(state);
  } catch (const tkw::host::RuntimeError&) {
    return 0;  // PowerPoint cannot start on it: tkwremove says so and looks no further
  }
  std::ofstream(machine.state, std::ios::binary | std::ios::trunc) << state;

  std::ostream discard(nullptr);
  const auto file = tkw::formats::RegFile::Parse(registry, "fuzz.reg", discard);
  const auto settings = tkw::check::SettingsOfRegFile(file, "fuzz.reg");
  const auto definitions = tkw::check::DefinitionsOf(settings.get());
  const Report plan = Remove(machine, definitions, /*plan=*/true);
  if (ReadWhole(machine.state) != state)
    __builtin_trap();
  const Totals before = TotalsOf(machine.state);
  // The plan is what the removal then does, line for line, unless PowerPoint refuses a step.
  const Report removal = Remove(machine, definitions, /*plan=*/false);
  if (removal.outcome.failed || removal.restored.failed)
    return 0;
  if (removal.text != tkw::test_support::PlanAsDone(plan.text))
    __builtin_trap();
  // What it counts is what went, and came back: a control two definitions name went once.
  const Totals after = TotalsOf(machine.state);
  if (before.controls - after.controls != removal.outcome.controls - removal.restored.controls ||
      before.bars - after.bars != removal.outcome.bars)
    __builtin_trap();
  // Every copy of a tagged button went with the first. (A menu control that went may leave a
  // control of its caption to answer next, which a run would replace too.)
  if (before.barNamedTwice)
    return 0;
  std::vector<tkw::check::Definition> tagged;
  for (const tkw::check::Definition& definition : definitions) {
    const auto* toolbar = std::get_if<tkw::ToolbarRequest>(&definition.request);
    if (toolbar != nullptr && !toolbar->sTag.empty())
      tagged.push_back(definition);
  }
  if (Remove(machine, tagged, /*plan=*/true).outcome.controls != 0)
    __builtin_trap();
  return 0;
}
