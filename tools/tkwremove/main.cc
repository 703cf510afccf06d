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
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>

#include "host/command_bars/command_bar_state.h"
#include "host/runtime_error.h"
#include "tools/command_line/command_line.h"
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

const command_line::Tool kTool{
    "tkwremove",
#ifdef _WIN32
    "usage: tkwremove [--plan] [--definitions FILE.reg]\n",
#else
    "usage: tkwremove [--plan [--powerpoint FILE]] [--prefix DIR] [--definitions FILE.reg]\n",
#endif
    "Takes away from PowerPoint the controls that the definitions of tkwPPTToolbarAdder add,\n"
    "and the bars of their own left empty, and puts back PowerPoint's own controls they took.\n"
    "  --plan                  says what it would remove and put back, and changes nothing\n"
#ifndef _WIN32
    "  --prefix DIR            the emulated machine (without it: the program's own)\n"
    "  --powerpoint FILE       the plan, against the PowerPoint of a snapshot\n"
#endif
    "  --definitions FILE.reg  the definitions of a regedit export (an earlier version's)\n"
    "  --help, -h              this text; --version: the version\n"
    "Exit status: 0 all removed and put back, 1 something could not be, 2 it cannot look or\n"
    "the command line is wrong.\n"};

struct Options {
  bool plan = false;
  std::optional<fs::path> prefix;
  std::optional<fs::path> definitions;
  std::optional<fs::path> powerPoint;  // a snapshot the plan is judged against
};

Options ParseArguments(command_line::Arguments& arguments) {
  Options options;
  const auto value = [&](std::optional<fs::path>& into, const std::string& option) {
    if (into)
      throw command_line::UsageError(option + " is given twice");
    into = arguments.ValueOf(option);
  };
  while (!arguments.Done()) {
    const std::string argument = arguments.Next();
    if (argument == "--plan") {
      options.plan = true;
    } else if (argument == "--definitions") {
      value(options.definitions, argument);
#ifndef _WIN32
    } else if (argument == "--prefix") {
      value(options.prefix, argument);
    } else if (argument == "--powerpoint") {
      value(options.powerPoint, argument);
#endif
    } else {
      command_line::Unknown(argument);
    }
  }
  // Only a plan can be judged against another PowerPoint: a removal changes the machine's.
  if (options.powerPoint && !options.plan)
    throw command_line::UsageError("--powerpoint goes with --plan only");
  return options;
}

#ifndef _WIN32
// The removal writes the guard and PowerPoint's state into the machine: a folder it cannot write
// stops it before it removes anything, rather than after, when the state is lost.
void CheckWritable(const fs::path& prefix) {
  for (const fs::path& folder : {prefix, prefix / "mutexes", prefix / "powerpoint"}) {
    std::error_code missing;
    if (!fs::is_directory(folder, missing))
      continue;  // made below a folder that is checked
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
      throw check::Unreadable("cannot write " + folder.string() + ": " +
                              std::generic_category().message(errno) + ". Nothing was removed.");
    }
  }
}
#endif

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
  // A snapshot that cannot be judged against stops the plan before it looks at anything, and a
  // malformed state file is told in the user's words before PowerPoint is started on it.
  if (options.powerPoint)
    snapshot::LoadSnapshot(*options.powerPoint);
  else
    snapshot::LoadStateFile(prefix / "powerpoint" / "commandbars.json");
  std::ostringstream alreadyRead;
  const std::unique_ptr<host::Host> host = host::MakeMachineHost(prefix, alreadyRead);
#endif
  // Held to the end, so that no run adds while this removes. A plan changes nothing and leaves
  // no trace, so it takes no guard.
  std::optional<remove::InstanceGuard> guard;
  if (!options.plan) {
#ifndef _WIN32
    CheckWritable(prefix);
#endif
    guard.emplace(host->kernel());
    if (guard->error() != 0) {
      throw check::Unreadable("cannot create the program's guard \"tkwPPTToolbarAdder\": " +
                              command_line::SystemMessage(guard->error()) +
                              " Nothing was removed.");
    }
    if (!guard->held()) {
      throw check::Unreadable(
          "tkwPPTToolbarAdder is at work on this machine (it holds \"tkwPPTToolbarAdder\"): "
          "nothing was removed; try again when it has ended");
    }
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
  return command_line::ToolMain(kTool, command_line::Arguments(argc, argv), std::cout, std::cerr,
                                ParseArguments, Run);
}
