#include "tools/tkwcheck/plan.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

#include "host/command_bars/command_bar_state.h"
#include "host/formats/reg_file.h"
#include "host/formats/utf8.h"
#include "host/formats/windows_1252.h"
#include "host/office_interfaces.h"
#include "run/definition_record.h"
#include "run/settings.h"
#include "tools/tkwcheck/inputs.h"
#include "tools/tkwcheck/program_view.h"

extern char** environ;

namespace tkw::check {
namespace fs = std::filesystem;

namespace {

using command_bars::CommandBar;
using command_bars::CommandBarSet;
using command_bars::Control;
using command_bars::ControlType;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A folder of its own below the system's temporary folder, removed with the object.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "tkwcheck-plan-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot make a temporary folder in " +
                               fs::temp_directory_path().string() + ": " +
                               std::generic_category().message(errno));
    path_ = pattern;
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Copies a file or a folder with all it holds, the copy writable whatever the machine's
// permissions: the run writes it.
void CopyWritable(const fs::path& from, const fs::path& to) {
  const auto copyFile = [](const fs::path& source, const fs::path& target) {
    fs::copy_file(source, target);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  };
  if (!fs::is_directory(from)) {
    copyFile(from, to);
    return;
  }
  fs::create_directories(to);
  for (const auto& entry : fs::recursive_directory_iterator(from)) {
    const fs::path target = to / fs::relative(entry.path(), from);
    if (entry.is_directory())
      fs::create_directories(target);
    else
      copyFile(entry.path(), target);
  }
}

// Turns logging on by a last section that sets "Logging", in the file's own encoding. An
// existing "Logging" keeps its place in the enumeration; a new one comes last, after every
// definition.
void SwitchLoggingOn(const fs::path& registry) {
  std::string bytes = ReadFile(registry);
  const std::string section =
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\r\n\"Logging\"=dword:00000001\r\n";
  if (bytes.starts_with("\xFF\xFE")) {
    for (const char c : section) {
      bytes.push_back(c);
      bytes.push_back('\0');
    }
  } else {
    bytes += section;
  }
  std::ofstream(registry, std::ios::binary | std::ios::trunc) << bytes;
}

// Runs `program` with TKW_PREFIX naming `prefix`; its standard error goes to `errors`.
void RunProgram(const fs::path& program, const fs::path& prefix, const fs::path& errors) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!std::string_view(*entry).starts_with("TKW_PREFIX="))
      environment.emplace_back(*entry);
  }
  environment.push_back("TKW_PREFIX=" + prefix.string());
  std::vector<char*> envp;
  for (std::string& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string path = program.string();
  char* argv[] = {path.data(), nullptr};
  pid_t child = 0;
  const int spawned = ::posix_spawn(&child, path.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  // Named as the user knows it, not by its copy in the temporary folder.
  if (spawned != 0) {
    throw std::runtime_error("cannot start tkwPPTToolbarAdder on a copy of the machine: " +
                             std::generic_category().message(spawned));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status))
    throw std::runtime_error("tkwPPTToolbarAdder did not end normally on a copy of the machine");
}

std::string Quoted(std::wstring_view text) {
  // Appended rather than concatenated: GCC 12's -O3 misreads "\"" + s as an overlapping copy.
  std::string quoted(1, '"');
  quoted.append(formats::WideToUtf8(text));
  quoted.push_back('"');
  return quoted;
}

const Control* FindButton(const CommandBarSet& bars, const ToolbarRequest& request) {
  const CommandBar* bar = bars.Find(request.sToolBar);
  if (bar == nullptr)
    return nullptr;
  command_bars::ControlQuery query;
  query.type = ControlType::kButton;
  query.tag = request.sTag;
  query.recursive = true;
  return bar->FindControl(query);
}

const Control* FindMenuControl(const CommandBarSet& bars, const MenuRequest& request) {
  const CommandBar* menuBar = bars.Find(host::office::kMenuBarName);
  const Control* menu = menuBar ? menuBar->controls().FindByCaption(request.sMenuToAdd) : nullptr;
  return menu && menu->controls() ? menu->controls()->FindByCaption(request.sCaption) : nullptr;
}

// The bars at the run's end, and as PowerPoint leaves them once it closes: whether a control
// lasts is the model's own rule for temporary bars and controls.
struct RunEnd {
  const CommandBarSet& bars;
  const CommandBarSet& closed;
};

// Whether what the run leaves of a definition lasts: `lasts` is whether it is there once
// PowerPoint closes.
void TellWhetherItLasts(DefinitionStory& d, const RunEnd& end, bool lasts) {
  if (lasts)
    d.details.push_back("lasts when PowerPoint closes");
  else if (end.bars.running())
    d.details.push_back("goes when PowerPoint closes");
  else
    d.details.push_back("gone at the run's end, when PowerPoint closes");
}

// What the run leaves of a toolbar definition in PowerPoint, and what it leaves unchanged.
void DescribeToolbar(DefinitionStory& d, const ToolbarRequest& request, const CommandBarSet& before,
                     const RunEnd& end) {
  if (d.outcome == "added") {
    if (const Control* button = FindButton(end.bars, request)) {
      d.details.push_back("at place " + std::to_string(button->Index()) + " of bar " +
                          Quoted(button->parent().bar().properties().name) +
                          (button->properties().face ? ", with a face" : ", without a face"));
    }
  } else if (d.outcome == "already there") {
    const Control* button = FindButton(before, request);
    if (button == nullptr)
      return;
    const command_bars::ControlProperties& there = button->properties();
    const struct {
      const char* what;
      const std::wstring& now;
      const std::wstring& defined;
    } properties[] = {{"caption", there.caption, request.sCaption},
                      {"macro", there.onAction, request.sOnAction},
                      {"tooltip", there.tooltipText, request.sToolTip}};
    for (const auto& property : properties) {
      if (property.now != property.defined) {
        d.details.push_back("not updated: its " + std::string(property.what) + " stays " +
                            Quoted(property.now) + ", not " + Quoted(property.defined));
      }
    }
    d.details.push_back("nothing of the button there changes, its face neither");
  } else {
    return;
  }
  TellWhetherItLasts(d, end, FindButton(end.closed, request) != nullptr);
}

// `replacedBy` is the line of a later definition that replaces this control in the same run;
// the place at the end of the run is then that one's, not this one's.
void DescribeMenu(DefinitionStory& d, const MenuRequest& request, const RunEnd& end,
                  const Place* replacedBy) {
  if (d.outcome != "added" && d.outcome != "replaced")
    return;
  if (replacedBy != nullptr) {
    d.details.push_back("replaced later in the run by the definition on line " +
                        std::to_string(replacedBy->line));
    return;
  }
  if (const Control* control = FindMenuControl(end.bars, request)) {
    const Control* menu = control->parent().owner();
    d.details.push_back("at place " + std::to_string(control->Index()) + " of menu " +
                        Quoted(menu->properties().caption) + " when the run ends" +
                        (control->properties().face ? ", with a face" : ""));
  }
  TellWhetherItLasts(d, end, FindMenuControl(end.closed, request) != nullptr);
}

// A menu definition whose caption is that of one of PowerPoint's own buttons in its menu, as
// tkwcheck's rule replaces-builtin finds it: the run deletes that button for good, or a run
// before it did. `replacesEarlier`: an earlier definition of the run took the caption already.
void TellReplacedBuiltIn(DefinitionStory& d, const MenuRequest& request,
                         const CommandBarSet& before, bool replacesEarlier) {
  if ((d.outcome != "added" && d.outcome != "replaced") || replacesEarlier)
    return;
  const Control* there = FindMenuControl(before, request);
  if (there != nullptr && there->properties().builtIn && there->type() == ControlType::kButton) {
    d.details.push_back("deletes PowerPoint's own " + Quoted(there->properties().caption) +
                        " for good: it stays gone once this control goes [replaces-builtin]");
    return;
  }
  static const CommandBarSet kPowerPointsOwn = command_bars::BuiltInCommandBars();
  const Control* own = FindMenuControl(kPowerPointsOwn, request);
  if (there == nullptr && own != nullptr && own->type() == ControlType::kButton) {
    d.details.push_back("PowerPoint's own " + Quoted(own->properties().caption) +
                        " of this caption is gone for good already [replaces-builtin]");
  }
}

// A menu definition's control goes again when a later one of the run replaces it: the same
// caption in the same menu, as PowerPoint matches names.
bool Replaces(const DefinitionStory& later, const MenuRequest& laterRequest,
              const MenuRequest& request) {
  return later.builder == DefinitionStory::Builder::kMenu && later.outcome == "replaced" &&
         command_bars::NameKey(laterRequest.sMenuToAdd) ==
             command_bars::NameKey(request.sMenuToAdd) &&
         command_bars::NameKey(laterRequest.sCaption) == command_bars::NameKey(request.sCaption);
}

// The definitions of one key by the name the log gives them.
std::unordered_map<std::wstring, const SettingsValue*> ByName(const SettingsKey* key) {
  std::unordered_map<std::wstring, const SettingsValue*> byName;
  if (key != nullptr) {
    for (const SettingsValue& value : key->values())
      byName.try_emplace(formats::AnsiToWide(ViewOf(value).name), &value);
  }
  return byName;
}

}  // namespace

std::string PlanWarning(const Plan& plan) {
  if (plan.powerPointRunning)
    return {};
  return "PowerPoint is not running here: the program starts it, and the run's own toolbar and "
         "menu entries are temporary, gone again at the run's end when PowerPoint closes";
}

Plan MakePlan(const fs::path& prefix, const fs::path& program,
              const std::optional<fs::path>& powerPointState) {
  const fs::path registry = prefix / "registry.reg";
  std::ostringstream skipped;
  const RegistrySettings read = ReadRegistrySettings(registry, &skipped);
  const std::unique_ptr<SettingsKey>& settings = read.key;

  Plan plan;
  std::istringstream lines(skipped.str());
  for (std::string line; std::getline(lines, line);)
    plan.skippedLines.push_back(line);
  if (settings == nullptr) {
    // Without the key there is no log either: the run only opens it and ends.
    plan.story.end = RunStory::End::kCompleted;
    plan.story.noToolbarKey = plan.story.noMenuKey = true;
    return plan;
  }

  const TemporaryFolder work;
  const fs::path copy = work.path() / "prefix";
  fs::create_directories(copy);
  try {
    for (const char* part : {"registry.reg", "powerpoint", "clipboard"}) {
      if (fs::exists(prefix / part) && !(powerPointState && part == std::string_view("powerpoint")))
        CopyWritable(prefix / part, copy / part);
    }
    if (powerPointState) {
      fs::create_directories(copy / "powerpoint");
      CopyWritable(*powerPointState, copy / "powerpoint" / "commandbars.json");
    }
  } catch (const fs::filesystem_error& error) {
    throw Unreadable("cannot copy the machine " + prefix.string() +
                     " to run the program on: " + error.code().message());
  }
  const fs::path state = powerPointState.value_or(prefix / "powerpoint" / "commandbars.json");
  // Icons are only read: the copy sees the machine's own drive.
  if (fs::exists(prefix / "drive_c"))
    fs::create_directory_symlink(fs::absolute(prefix / "drive_c"), copy / "drive_c");
  SwitchLoggingOn(copy / "registry.reg");
  fs::create_directories(work.path() / "app");
  const fs::path app = work.path() / "app" / program.filename();
  fs::copy_file(program, app);
  RunProgram(app, copy, work.path() / "errors.txt");

  const fs::path log = work.path() / "app" / "tkwtbrloggin.txt";
  if (!fs::exists(log))
    throw std::runtime_error("the program left no log");
  plan.story = ReadRunStory(ReadFile(log));
  // What else the run wrote is the emulation's reading of the copy's registry, whose skipped
  // lines are the machine's, told above with its own path.
  std::istringstream errors(ReadFile(work.path() / "errors.txt"));
  for (std::string line; std::getline(errors, line);) {
    if (line.starts_with("MessageBox "))
      plan.messageBoxes += line + '\n';
  }

  const CommandBarSet before = command_bars::LoadCommandBars(state);
  const fs::path afterFile = copy / "powerpoint" / "commandbars.json";
  const CommandBarSet after = command_bars::LoadCommandBars(afterFile);
  CommandBarSet closed = command_bars::LoadCommandBars(afterFile);
  closed.Close();
  const RunEnd end{after, closed};
  plan.powerPointRunning = before.running();

  const auto menusKey = settings->Subkey(formats::AnsiToUtf16(settings::kMenusSubkey));
  const auto toolbarValues = ByName(settings.get());
  const auto menuValues = ByName(menusKey.get());
  std::vector<std::vector<std::wstring>> fields;
  for (const DefinitionStory& d : plan.story.definitions) {
    const auto& values =
        d.builder == DefinitionStory::Builder::kToolbar ? toolbarValues : menuValues;
    const auto found = values.find(d.name);
    plan.places.push_back(found == values.end() ? Place{} : found->second->place);
    fields.push_back(found == values.end() ? std::vector<std::wstring>{}
                                           : ViewOf(*found->second).fields);
  }
  std::vector<DefinitionStory>& definitions = plan.story.definitions;
  for (std::size_t i = 0; i < definitions.size(); ++i) {
    if (definitions[i].builder == DefinitionStory::Builder::kToolbar) {
      if (const auto request = ToolbarRequestOf(fields[i]))
        DescribeToolbar(definitions[i], *request, before, end);
      continue;
    }
    const auto request = MenuRequestOf(fields[i]);
    if (!request)
      continue;
    bool replacesEarlier = false;
    for (std::size_t j = 0; j < i && !replacesEarlier; ++j) {
      const auto earlier = MenuRequestOf(fields[j]);
      replacesEarlier = earlier && Replaces(definitions[i], *request, *earlier);
    }
    TellReplacedBuiltIn(definitions[i], *request, before, replacesEarlier);
    const Place* replacedBy = nullptr;
    for (std::size_t j = i + 1; j < definitions.size() && replacedBy == nullptr; ++j) {
      const auto later = MenuRequestOf(fields[j]);
      if (later && Replaces(definitions[j], *later, *request))
        replacedBy = &plan.places[j];
    }
    DescribeMenu(definitions[i], *request, end, replacedBy);
  }
  return plan;
}

}  // namespace tkw::check
