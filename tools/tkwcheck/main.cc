// tkwcheck: finds what in the definitions of tkwPPTToolbarAdder will not work, before they ship,
// and explains what a run did.
//   tkwcheck FILE.reg                 a regedit export
//   tkwcheck --prefix DIR             an emulated machine (its registry, PowerPoint and files)
//   tkwcheck --plan --prefix DIR      what a run would do there, definition by definition
//   tkwcheck --log [tkwtbrloggin.txt] what the run that wrote the log did; without a file the
//                                     log beside tkwcheck, and on Windows a log that is not
//                                     there is looked for in the user's VirtualStore
//   tkwcheck --installed --prefix DIR what PowerPoint holds against what the definitions ask
//                                     (on Windows without --prefix: the live machine); with
//                                     --definitions FILE, against the definitions of an export
//   tkwcheck --machine [--prefix DIR] whether a run can work on this machine (on Linux: the
//                                     emulated one), and where its log and marker go
//   tkwcheck                          (Windows) the live registry, both views, and the files
//   tkwcheck --snapshot FILE          writes the bars of PowerPoint (on Linux the machine's of
//                                     --prefix DIR) to FILE, or to standard output for "-"
//   tkwcheck --explain [RULE]         a rule explained (reference.h); --list-menus the menus
// --powerpoint FILE judges an export, a machine or a plan against the PowerPoint of a snapshot
// rather than PowerPoint's built-in English bars or the machine's own. On Windows an export and
// the live registry are judged against the PowerPoint of this machine when there is one.
// --format json gives the same as JSON. Exit status: 0 nothing found, 1 errors or warnings (or a
// run that did not do all it was asked, or a definition not present as defined), 2 the input
// cannot be read.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/command_bars/command_bar_state.h"
#include "host/formats/reg_file.h"
#include "host/runtime_error.h"
#include "tools/snapshot/judged_powerpoint.h"
#include "tools/snapshot/read_powerpoint.h"
#include "tools/tkwcheck/check.h"
#include "tools/tkwcheck/inputs.h"
#include "tools/tkwcheck/installed.h"
#include "tools/tkwcheck/machine.h"
#include "tools/tkwcheck/reference.h"
#include "tools/tkwcheck/report.h"
#include "tools/tkwcheck/run_story.h"

#include "host/formats/utf8.h"
#include "host/platform_host.h"
#include "run/frmTkwPPTToolbarAdder.h"
#ifdef _WIN32
#include "tools/tkwcheck/live_registry.h"
#else
#include "tools/tkwcheck/plan.h"
#endif

namespace fs = std::filesystem;
using namespace tkw::check;

namespace {

constexpr char kUsage[] =
    "usage: tkwcheck FILE.reg | --prefix DIR | --plan --prefix DIR | --log [FILE]"
#ifdef _WIN32
    " | --installed [--definitions FILE.reg] | --machine | (nothing: the live registry)"
#else
    " | --installed --prefix DIR [--definitions FILE.reg] | --machine --prefix DIR"
#endif
    " [--powerpoint FILE] [--format text|json]\n"
#ifdef _WIN32
    "       tkwcheck --snapshot FILE\n"
    "       tkwcheck --explain [RULE] | --list-menus [--powerpoint FILE]\n";
#else
    "       tkwcheck --snapshot FILE --prefix DIR\n"
    "       tkwcheck --explain [RULE] | --list-menus [--powerpoint FILE | --prefix DIR]\n";
#endif

struct Options {
  std::optional<fs::path> regFile, prefix, log;
  std::optional<fs::path> definitions;  // --installed: an export's in place of the machine's
  std::optional<fs::path> powerPoint;   // a snapshot to judge against
  std::optional<fs::path> snapshot;     // where to write one
  bool readLog = false;                 // --log, with or without a file
  bool plan = false;
  bool installed = false;
  bool machine = false;
  Format format = Format::kText;
};

std::optional<Options> ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--prefix" && hasValue) {
      options.prefix = argv[++i];
    } else if (argument == "--log" && !options.readLog) {
      options.readLog = true;
      if (hasValue && !std::string_view(argv[i + 1]).starts_with("--"))
        options.log = argv[++i];
    } else if (argument == "--machine") {
      options.machine = true;
    } else if (argument == "--powerpoint" && hasValue && !options.powerPoint) {
      options.powerPoint = argv[++i];
    } else if (argument == "--snapshot" && hasValue && !options.snapshot) {
      options.snapshot = argv[++i];
    } else if (argument == "--plan") {
      options.plan = true;
    } else if (argument == "--installed") {
      options.installed = true;
    } else if (argument == "--definitions" && hasValue && !options.definitions) {
      options.definitions = argv[++i];
    } else if (argument == "--format" && hasValue) {
      const std::string format = argv[++i];
      if (format != "text" && format != "json")
        return std::nullopt;
      options.format = format == "json" ? Format::kJson : Format::kText;
    } else if (!argument.starts_with("--") && !options.regFile) {
      options.regFile = argument;
    } else {
      return std::nullopt;
    }
  }
  const int inputs = options.regFile.has_value() + options.prefix.has_value() + options.readLog;
  if (inputs > 1 || (options.plan && (!options.prefix || options.readLog || options.regFile)) ||
      (options.installed && (options.plan || options.readLog || options.regFile)) ||
      (options.definitions && !options.installed) ||
      (options.powerPoint && (options.readLog || options.installed)))
    return std::nullopt;
  // The machine is judged on its own, against nothing else.
  if (options.machine && (options.plan || options.installed || options.readLog || options.regFile ||
                          options.powerPoint || options.snapshot))
    return std::nullopt;
  // A snapshot reads a PowerPoint and judges nothing.
  if (options.snapshot &&
      (options.regFile || options.readLog || options.plan || options.installed ||
       options.powerPoint || options.format == Format::kJson))
    return std::nullopt;
#ifdef _WIN32
  if ((options.installed || options.snapshot) && options.prefix)
    return std::nullopt;
#else
  if (inputs == 0)
    return std::nullopt;
#endif
  return options;
}

bool RanInFull(const RunStory& story) {
  if (story.end != RunStory::End::kCompleted)
    return false;
  for (const DefinitionStory& d : story.definitions) {
    if (d.outcome != "added" && d.outcome != "already there" && d.outcome != "replaced")
      return false;
  }
  return true;
}

// What PowerPoint holds now against the definitions: the emulated machine's, or on Windows the
// live registry's in the view the program reads and the running PowerPoint; or an export's.
int LookAtInstalled([[maybe_unused]] const Options& options) {
  // Read before PowerPoint is looked at, so that a bad export stops the look.
  RegistrySettings exported;
  if (options.definitions)
    exported = ReadDefinitionsExport(*options.definitions);
#ifdef _WIN32
  const std::unique_ptr<tkw::host::Host> host = tkw::host::MakePlatformHost();
  const std::unique_ptr<SettingsKey> live = options.definitions ? nullptr : ProgramSettings();
  const SettingsKey* key = options.definitions ? exported.key.get() : live.get();
#else
  const fs::path& prefix = *options.prefix;
  if (!fs::is_directory(prefix))
    throw Unreadable(prefix.string() + " is no folder");
  const RegistrySettings machine =
      options.definitions ? RegistrySettings{} : ReadRegistrySettings(prefix / "registry.reg");
  const SettingsKey* key = options.definitions ? exported.key.get() : machine.key.get();
  std::ostringstream alreadyRead;
  const std::unique_ptr<tkw::host::Host> host = tkw::host::MakeMachineHost(prefix, alreadyRead);
#endif
  const std::vector<Definition> definitions = DefinitionsOf(key);
  const PowerPointAtHand powerPoint = AttachToPowerPoint(*host);
  const std::vector<Finding> findings =
      tkw::check::CheckInstalled(*host, powerPoint.app, definitions, powerPoint.running);
  PrintInstalled(std::cout, findings, powerPoint.running, options.format);
  return HasErrorsOrWarnings(findings) ? 1 : 0;
}

// The bars of PowerPoint, read through automation: the live one on Windows, the machine's of
// --prefix on Linux. Written to the file and nowhere else.
int WriteSnapshot(const Options& options) {
#ifdef _WIN32
  const std::unique_ptr<tkw::host::Host> host = tkw::host::MakePlatformHost();
#else
  const fs::path& prefix = *options.prefix;
  if (!fs::is_directory(prefix))
    throw Unreadable(prefix.string() + " is no folder");
  std::ostringstream alreadyRead;
  const std::unique_ptr<tkw::host::Host> host = tkw::host::MakeMachineHost(prefix, alreadyRead);
#endif
  const tkw::command_bars::CommandBarSet bars =
      tkw::snapshot::ReadCommandBars(StartPowerPoint(*host));
  tkw::snapshot::WriteSnapshot(bars, *options.snapshot, std::cout);
  return 0;
}

// What an export or a machine is judged against: the snapshot given, else (Linux) the machine's
// PowerPoint or PowerPoint's built-in English bars.
tkw::snapshot::JudgedPowerPoint PowerPointToJudgeAgainst(const Options& options) {
  if (options.powerPoint)
    return tkw::snapshot::LoadSnapshot(*options.powerPoint);
#ifdef _WIN32
  // The PowerPoint of this machine, read as a snapshot reads it, when there is one to start.
  const std::unique_ptr<tkw::host::Host> host = tkw::host::MakePlatformHost();
  try {
    return tkw::snapshot::MachinePowerPoint(tkw::snapshot::ReadCommandBars(StartPowerPoint(*host)));
  } catch (const std::exception& error) {
    tkw::snapshot::JudgedPowerPoint builtIn = tkw::snapshot::BuiltInPowerPoint();
    builtIn.name += ", as this machine's cannot be read (" + std::string(error.what()) + ")";
    return builtIn;
  }
#else
  if (options.prefix)
    return PowerPointOfMachine(*options.prefix);
  return tkw::snapshot::BuiltInPowerPoint();
#endif
}

// Whether a run can work on the machine, and where its traces go: this one, or on Linux the
// emulated one.
int LookAtMachine([[maybe_unused]] const Options& options) {
#ifdef _WIN32
  if (options.prefix)
    throw Unreadable("emulated machines (--prefix) are checked by the Linux build");
  const std::unique_ptr<tkw::host::Host> host = tkw::host::MakePlatformHost();
  const std::unique_ptr<tkw::host::MachineFacts> facts = tkw::host::MakeMachineFacts();
#else
  const fs::path& prefix = *options.prefix;
  if (!fs::is_directory(prefix))
    throw Unreadable(prefix.string() + " is no folder");
  // Lines the registry's reader skips are the definitions' business, which tkwcheck --prefix
  // reports.
  std::ostringstream skipped;
  const std::unique_ptr<tkw::host::Host> host = tkw::host::MakeMachineHost(prefix, skipped);
  const std::unique_ptr<tkw::host::MachineFacts> facts =
      tkw::host::MakeMachineFacts(prefix, skipped);
#endif
  // The switch as the program reads it: whether a refused folder shows message boxes.
  tkw::frmTkwPPTToolbarAdder program(*host);
  const std::vector<Finding> findings = JudgeMachine(*facts, program.GetLoggingSwitchValue() != 0);
  PrintFindings(std::cout, findings, options.format);
  return HasErrorsOrWarnings(findings) ? 1 : 0;
}

// The log named, or without a name the one beside tkwcheck, where the program writes it. On
// Windows a log that is not there may be in the user's VirtualStore, where UAC virtualization
// puts the files of a 32-bit program refused its folder; `note` then says it was read there.
fs::path FindLog(const std::optional<fs::path>& named, std::string& note) {
#ifdef _WIN32
  const std::unique_ptr<tkw::host::MachineFacts> facts = tkw::host::MakeMachineFacts();
  const fs::path wanted =
      named ? fs::absolute(*named) : fs::path(facts->ExecutableFolder()) / kLogFileName;
  std::error_code error;
  if (fs::exists(wanted, error))
    return wanted;
  const std::wstring stored = VirtualStorePath(facts->LocalAppData(), wanted.wstring());
  if (!stored.empty() && fs::exists(stored, error)) {
    note = "the log is read from the user's VirtualStore, where UAC virtualization put it: " +
           tkw::formats::WideToUtf8(stored);
    return stored;
  }
  throw Unreadable(
      "cannot read " + tkw::formats::WideToUtf8(wanted.wstring()) +
      (stored.empty() ? "" : ", nor its VirtualStore copy " + tkw::formats::WideToUtf8(stored)));
#else
  note.clear();
  return named ? *named
               : fs::read_symlink("/proc/self/exe").parent_path() /
                     tkw::formats::WideToUtf8(kLogFileName);
#endif
}

int Run(const Options& options) {
  if (options.snapshot)
    return WriteSnapshot(options);
  if (options.installed)
    return LookAtInstalled(options);
  if (options.machine)
    return LookAtMachine(options);
  if (options.readLog) {
    std::string note;
    const fs::path log = FindLog(options.log, note);
    RunStory story;
    try {
      story = ReadRunStory(ReadWhole(log));
    } catch (const Unreadable&) {
      throw;
    } catch (const std::runtime_error& error) {
      throw Unreadable(log.string() + " is not a log of tkwPPTToolbarAdder: " + error.what());
    }
    PrintStory(std::cout, story, nullptr, "", options.format, {}, {}, note);
    return RanInFull(story) ? 0 : 1;
  }
#ifdef _WIN32
  if (options.prefix)
    throw Unreadable("emulated machines (--prefix) are checked by the Linux build");
  tkw::snapshot::JudgedPowerPoint powerPoint = PowerPointToJudgeAgainst(options);
  const std::string judgedAgainst = powerPoint.name;
  std::vector<Finding> findings;
  if (options.regFile) {
    Machine machine{std::move(powerPoint.bars), nullptr, powerPoint.snapshot};
    findings = CheckExport(*options.regFile, machine);
  } else {
    findings = CheckLiveRegistry(powerPoint);
  }
#else
  tkw::snapshot::JudgedPowerPoint powerPoint = PowerPointToJudgeAgainst(options);
  const std::string judgedAgainst = powerPoint.name;
  std::vector<Finding> findings;
  if (options.regFile) {
    Machine machine{std::move(powerPoint.bars), nullptr, powerPoint.snapshot};
    findings = CheckExport(*options.regFile, machine);
  } else {
    const fs::path& prefix = *options.prefix;
    if (options.plan) {
      if (!fs::is_directory(prefix))
        throw Unreadable(prefix.string() + " is no folder");
      const fs::path program =
          fs::read_symlink("/proc/self/exe").parent_path() / "tkwPPTToolbarAdder";
      if (!fs::exists(program))
        throw Unreadable("the program tkwPPTToolbarAdder is not beside tkwcheck");
      const Plan plan = MakePlan(prefix, program, options.powerPoint);
      PrintStory(std::cout, plan.story, &plan.places, plan.messageBoxes, options.format,
                 PlanWarning(plan), judgedAgainst);
      return RanInFull(plan.story) ? 0 : 1;
    }
    findings = CheckMachine(prefix, std::move(powerPoint));
  }
#endif
  PrintFindings(std::cout, findings, options.format, judgedAgainst);
  return HasErrorsOrWarnings(findings) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::optional<int> status = ReferenceCommand(argc, argv, kUsage))
    return *status;
  return ToolMain("tkwcheck", kUsage, argc, argv, ParseArguments, Run);
}
