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
#include "tools/command_line/command_line.h"
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
namespace command_line = tkw::command_line;

namespace {

const command_line::Tool kTool{
    "tkwcheck",
#ifdef _WIN32
    "usage: tkwcheck [FILE.reg] | --log [FILE] | --installed [--definitions FILE.reg] | --machine\n"
    "                [--powerpoint FILE] [--format text|json]\n"
    "       tkwcheck --snapshot FILE\n"
    "       tkwcheck --explain [RULE] | --list-menus [--powerpoint FILE]\n",
#else
    "usage: tkwcheck FILE.reg | --prefix DIR | --plan --prefix DIR | --log [FILE]\n"
    "                | --installed --prefix DIR [--definitions FILE.reg] | --machine --prefix DIR\n"
    "                [--powerpoint FILE] [--format text|json]\n"
    "       tkwcheck --snapshot FILE --prefix DIR\n"
    "       tkwcheck --explain [RULE] | --list-menus [--powerpoint FILE | --prefix DIR]\n",
#endif
    "Finds what in the definitions of tkwPPTToolbarAdder will not work, and tells what a run did.\n"
#ifdef _WIN32
    "  (nothing)               the live registry, both views, and the icon files\n"
    "  FILE.reg                a regedit export, against the PowerPoint of this machine\n"
#else
    "  FILE.reg                a regedit export, against PowerPoint's built-in English bars\n"
    "  --prefix DIR            an emulated machine: its registry, PowerPoint and icon files\n"
    "  --plan --prefix DIR     what a run would do there, definition by definition\n"
#endif
    "  --log [FILE]            what the run that wrote the log did (without FILE: the log\n"
    "                          beside tkwcheck)\n"
    "  --installed             what PowerPoint holds against what the definitions ask;\n"
    "    --definitions FILE.reg  against the definitions of an export\n"
    "  --machine               whether a run can work on this machine, where its traces go\n"
    "  --snapshot FILE         writes the bars of PowerPoint to FILE (\"-\": standard output)\n"
    "  --powerpoint FILE       judges against the PowerPoint of a snapshot\n"
    "  --format text|json      the report as text (the default) or JSON\n"
    "  --explain [RULE]        a rule explained, with a bad and a good example; without RULE,\n"
    "                          every rule with its one line\n"
    "  --list-menus            the menus of \"Menu Bar\" and their controls, by the captions a\n"
    "                          menu definition names them by\n"
    "  --help, -h              this text; --version: the version\n"
    "Exit status: 0 nothing found, 1 something found, 2 the input cannot be read or the\n"
    "command line is wrong.\n"};

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

using command_line::UsageError;

// Refuses `option` given with `other`, which asks for another kind of look.
void Refuse(bool given, const char* option, const char* other) {
  if (given)
    throw UsageError(std::string(option) + " does not go with " + other);
}

Options ParseArguments(command_line::Arguments& arguments) {
  Options options;
  const auto once = [](bool given, const std::string& option) {
    if (given)
      throw UsageError(option + " is given twice");
  };
  while (!arguments.Done()) {
    const std::string argument = arguments.Next();
    if (argument == "--prefix") {
      once(options.prefix.has_value(), argument);
      options.prefix = arguments.ValueOf(argument);
    } else if (argument == "--log") {
      once(options.readLog, argument);
      options.readLog = true;
      if (arguments.ValueFollows())
        options.log = arguments.Next();
    } else if (argument == "--machine") {
      options.machine = true;
    } else if (argument == "--powerpoint") {
      once(options.powerPoint.has_value(), argument);
      options.powerPoint = arguments.ValueOf(argument);
    } else if (argument == "--snapshot") {
      once(options.snapshot.has_value(), argument);
      options.snapshot = arguments.ValueOf(argument);
    } else if (argument == "--plan") {
      options.plan = true;
    } else if (argument == "--installed") {
      options.installed = true;
    } else if (argument == "--definitions") {
      once(options.definitions.has_value(), argument);
      options.definitions = arguments.ValueOf(argument);
    } else if (argument == "--format") {
      const std::string format = arguments.ValueOf(argument);
      if (format != "text" && format != "json")
        throw UsageError("--format is text or json, not " + format);
      options.format = format == "json" ? Format::kJson : Format::kText;
    } else if (command_line::Arguments::IsOption(argument)) {
      command_line::Unknown(argument);
    } else if (options.regFile) {
      throw UsageError("one FILE.reg at a time: " + argument + " is a second");
    } else {
      options.regFile = argument;
    }
  }
  Refuse(options.regFile && options.prefix, "FILE.reg", "--prefix");
  Refuse(options.readLog && (options.regFile || options.prefix), "--log", "FILE.reg or --prefix");
  Refuse(options.plan && (options.readLog || options.regFile), "--plan", "--log or FILE.reg");
  Refuse(options.installed && (options.plan || options.readLog || options.regFile), "--installed",
         "--plan, --log or FILE.reg");
  Refuse(options.definitions && !options.installed, "--definitions", "anything but --installed");
  Refuse(options.powerPoint && (options.readLog || options.installed), "--powerpoint",
         "--log or --installed");
  // The machine is judged on its own, against nothing else.
  Refuse(options.machine && (options.plan || options.installed || options.readLog ||
                             options.regFile || options.powerPoint || options.snapshot),
         "--machine", "another look");
  // A snapshot reads a PowerPoint and judges nothing.
  Refuse(options.snapshot &&
             (options.regFile || options.readLog || options.plan || options.installed ||
              options.powerPoint || options.format == Format::kJson),
         "--snapshot", "another look or --format json");
#ifdef _WIN32
  Refuse(options.prefix.has_value(), "--prefix",
         "the Windows build: emulated machines are checked by the Linux build");
#else
  for (const auto& [given, option] : {std::pair{options.plan, "--plan"},
                                      {options.installed, "--installed"},
                                      {options.machine, "--machine"},
                                      {options.snapshot.has_value(), "--snapshot"}}) {
    if (given && !options.prefix)
      throw UsageError(std::string(option) + " needs --prefix DIR");
  }
  if (!options.regFile && !options.prefix && !options.readLog)
    throw UsageError("nothing to check: give FILE.reg, --prefix DIR or --log");
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
  const std::unique_ptr<tkw::host::Host> platform = tkw::host::MakePlatformHost();
  tkw::host::Host* const host = platform.get();
  const std::unique_ptr<SettingsKey> live = options.definitions ? nullptr : ProgramSettings();
  const SettingsKey* key = options.definitions ? exported.key.get() : live.get();
#else
  const fs::path& prefix = *options.prefix;
  if (!fs::is_directory(prefix))
    throw Unreadable(prefix.string() + " is no folder");
  const RegistrySettings machine =
      options.definitions ? RegistrySettings{} : ReadRegistrySettings(prefix / "registry.reg");
  const SettingsKey* key = options.definitions ? exported.key.get() : machine.key.get();
  // Told in the user's words before PowerPoint is started on it.
  tkw::snapshot::LoadStateFile(prefix / "powerpoint" / "commandbars.json");
  // A look leaves the machine as it was: comparing faces goes through the clipboard, which the
  // emulated machine keeps in its files, so PowerPoint is looked at in a copy.
  tkw::snapshot::MachineCopy copy(prefix);
  tkw::host::Host* const host = &copy.host();
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
                 PlanWarning(plan), judgedAgainst, {}, plan.skippedLines);
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
  const command_line::Arguments arguments(argc, argv);
  if (const int status = command_line::AnswerHelpOrVersion(kTool, arguments.all(), std::cout);
      status >= 0)
    return status;
  if (const std::optional<int> status = ReferenceCommand(argc, argv, kTool.usage.c_str()))
    return *status;
  return command_line::ToolMain(kTool, arguments, std::cout, std::cerr, ParseArguments, Run);
}
