// Feeds tkwremove --plan arbitrary definitions and an arbitrary PowerPoint: the input is a
// regedit export, then the line "----- commandbars.json -----", then PowerPoint's state file.
// Whatever the plan finds, it changes nothing: PowerPoint's state file is left as it was, byte for
// byte. And the removal that follows does what the plan said.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "host/command_bars/command_bar_state.h"
#include "host/emulated_windows/emulated_windows.h"
#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/formats/reg_file.h"
#include "host/runtime_error.h"
#include "tools/tkwcheck/installed.h"
#include "tools/tkwremove/removal.h"

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

// tkwremove's report, on a PowerPoint started on the machine's state for the one run.
std::string Remove(Machine& machine, const std::vector<tkw::check::Definition>& definitions,
                   bool plan) {
  tkw::emulated::PowerPoint powerPoint(machine.state, machine.host.clipboard(),
                                       machine.host.memory());
  const auto app = tkw::host::QueryInterface<tkw::host::Application>(powerPoint.Application());
  std::ostringstream out;
  tkw::remove::PrintOutcome(out, tkw::remove::RemoveInstalled(app, definitions, plan), plan);
  return out.str();
}

// The report without its last line, which says "to remove" or "removed".
std::string_view Steps(std::string_view report) {
  report.remove_suffix(1);
  return report.substr(0, report.rfind('\n') + 1);
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
  const std::string plan = Remove(machine, definitions, /*plan=*/true);
  if (ReadWhole(machine.state) != state)
    __builtin_trap();
  // The plan is what the removal then does, line for line, unless PowerPoint refuses a step.
  const std::string removal = Remove(machine, definitions, /*plan=*/false);
  if (removal.find("error: ") == std::string::npos && Steps(removal) != Steps(plan))
    __builtin_trap();
  return 0;
}
