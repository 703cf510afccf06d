// tkwremove: takes away from PowerPoint exactly the controls that the definitions of
// tkwPPTToolbarAdder add, and the bars of their own that this leaves empty; before the
// product's registry keys go (uninstall), or before a run that is to bring changed definitions
// to users (repair).
//   tkwremove [--plan] [--prefix DIR]     (Linux) an emulated machine, the program's own
//                                         without --prefix
//   tkwremove --plan --powerpoint FILE    (Linux) the same against the PowerPoint of a snapshot
//   tkwremove.exe [--plan]                (Windows) the live registry and the running PowerPoint
// Then it puts back PowerPoint's own menu controls that a definition of the same caption took
// away. --plan says what it would remove and put back and changes nothing; its first line names
// the PowerPoint it judged against. --definitions FILE.reg takes the definitions from a regedit
// export instead of the registry: an earlier version's, whose tags the installed version
// changed. Exit status: 0 everything the definitions name is gone and PowerPoint's own controls
// are back, 1 something could not be removed or put back, 2 it cannot look.
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "host/command_bars/command_bar_state.h"
#include "host/runtime_error.h"
#include "tools/snapshot/judged_powerpoint.h"
#include "tools/tkwcheck/inputs.h"
#include "tools/tkwcheck/installed.h"
#include "tools/tkwremove/removal.h"
#include "tools/tkwremove/restore.h"

#include "host/platform_host.h"
#ifdef _WIN32
#include "tools/tkwcheck/live_registry.h"
#endif

namespace fs = std::filesystem;
using namespace tkw;

namespace {

#ifdef _WIN32
constexpr char kUsage[] = "usage: tkwremove [--plan] [--definitions FILE.reg]\n";
#else
constexpr char kUsage[] =
    "usage: tkwremove [--plan [--powerpoint FILE]] [--prefix DIR] [--definitions FILE.reg]\n";
#endif

struct Options {
  bool plan = false;
  std::optional<fs::path> prefix;
  std::optional<fs::path> definitions;
  std::optional<fs::path> powerPoint;  // a snapshot the plan is judged against
};

std::optional<Options> ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--plan") {
      options.plan = true;
    } else if (argument == "--definitions" && i + 1 < argc && !options.definitions) {
      options.definitions = argv[++i];
#ifndef _WIN32
    } else if (argument == "--prefix" && i + 1 < argc && !options.prefix) {
      options.prefix = argv[++i];
    } else if (argument == "--powerpoint" && i + 1 < argc && !options.powerPoint) {
      options.powerPoint = argv[++i];
#endif
    } else {
      return std::nullopt;
    }
  }
  // Only a plan can be judged against another PowerPoint: a removal changes the machine's.
  if (options.powerPoint && !options.plan)
    return std::nullopt;
  return options;
}

int Run(const Options& options) {
  // Read before anything else, so that a bad export changes nothing.
  check::RegistrySettings exported;
  if (options.definitions)
    exported = check::ReadDefinitionsExport(*options.definitions);
#ifdef _WIN32
  const std::unique_ptr<host::Host> host = host::MakePlatformHost();
#else
  const fs::path prefix = options.prefix.value_or(host::ProgramMachinePrefix());
  if (!fs::is_directory(prefix))
    throw check::Unreadable(prefix.string() + " is no folder");
  // A snapshot that cannot be judged against stops the plan before it looks at anything.
  if (options.powerPoint)
    snapshot::LoadSnapshot(*options.powerPoint);
  std::ostringstream alreadyRead;
  const std::unique_ptr<host::Host> host = host::MakeMachineHost(prefix, alreadyRead);
#endif
  // Held to the end, so that no run adds while this removes.
  const remove::InstanceGuard guard(host->kernel());
  if (!guard.held()) {
    throw check::Unreadable(
        "tkwPPTToolbarAdder is at work on this machine (it holds \"tkwPPTToolbarAdder\"): "
        "nothing was removed; try again when it has ended");
  }
#ifdef _WIN32
  const std::unique_ptr<check::SettingsKey> live =
      options.definitions ? nullptr : check::ProgramSettings();
  const check::SettingsKey* key = options.definitions ? exported.key.get() : live.get();
#else
  const check::RegistrySettings machine =
      options.definitions ? check::RegistrySettings{}
                          : check::ReadRegistrySettings(prefix / "registry.reg");
  const check::SettingsKey* key = options.definitions ? exported.key.get() : machine.key.get();
#endif
  const std::vector<check::Definition> definitions = check::DefinitionsOf(key);
#ifndef _WIN32
  // The plan looks at a copy of the machine whose PowerPoint is the snapshot's.
  std::optional<snapshot::MachineCopy> copy;
  if (options.powerPoint)
    copy.emplace(prefix, *options.powerPoint);
  const host::Application app = check::AttachToPowerPoint(copy ? copy->host() : *host).app;
#else
  const host::Application app = check::AttachToPowerPoint(*host).app;
#endif
  if (options.plan) {
    std::cout << snapshot::JudgedLine(options.powerPoint
                                          ? snapshot::SnapshotName(*options.powerPoint)
                                          : std::string(snapshot::kThisMachine))
              << '\n';
  }
  const remove::Outcome outcome = remove::RemoveInstalled(app, definitions, options.plan);
  remove::PrintOutcome(std::cout, outcome, options.plan);
  // Then PowerPoint's own controls that definitions took away, known by its built-in bars.
  const remove::Restored restored = remove::RestorePowerPointsOwn(
      app, definitions, command_bars::BuiltInCommandBars(), options.plan);
  remove::PrintRestored(std::cout, restored, options.plan);
  return outcome.failed || restored.failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  return check::ToolMain("tkwremove", kUsage, argc, argv, ParseArguments, Run);
}
