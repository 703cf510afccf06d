// A snapshot: PowerPoint's bars read through automation as any client reads them, written and
// read back in the state file's schema, and refused with a reason when a file is none.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>

#include "host/command_bars/command_bar_state.h"
#include "host/emulated_windows/emulated_windows.h"
#include "host/runtime/automation_object.h"
#include "tools/snapshot/judged_powerpoint.h"
#include "tools/snapshot/read_powerpoint.h"

namespace tkw::snapshot {
namespace {

namespace fs = std::filesystem;
using command_bars::BarProperties;
using command_bars::BarType;
using command_bars::CommandBarSet;
using command_bars::ControlProperties;
using command_bars::ControlType;
using nlohmann::json;

class SnapshotTest : public testing::Test {
 protected:
  SnapshotTest() {
    std::string pattern = (fs::temp_directory_path() / "tkw-snapshot-test-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    std::ofstream(folder_ / "registry.reg")
        << "REGEDIT4\n[HKEY_CLASSES_ROOT\\PowerPoint.Application\\CLSID]\n@=\"{x}\"\n";
  }
  ~SnapshotTest() override { fs::remove_all(folder_); }

  fs::path State() const { return folder_ / "powerpoint" / "commandbars.json"; }
  std::string StateText() const {
    std::ifstream in(State(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  CommandBarSet Read() {
    std::ostringstream ignored;
    emulated::EmulatedWindows machine(folder_, ignored);
    return ReadCommandBars(
        host::CreateObject<host::Application>(machine.ole(), L"PowerPoint.Application"));
  }

  fs::path folder_;
};

ControlProperties Control(ControlType type, std::int32_t id, std::wstring caption) {
  ControlProperties p;
  p.type = type;
  p.id = id;
  p.caption = std::move(caption);
  p.builtIn = true;
  return p;
}

// What a client can know of `bars`: no faces, nothing temporary, and a tooltip that was never
// set shows the caption.
json Readable(const CommandBarSet& bars) {
  json state = json::parse(command_bars::SerializeCommandBars(bars));
  std::function<void(json&)> controls = [&](json& list) {
    for (json& control : list) {
      control["temporary"] = false;
      if (control["tooltipText"] == "")
        control["tooltipText"] = control["caption"];
      if (control.contains("face"))
        control["face"] = nullptr;
      if (control.contains("controls"))
        controls(control["controls"]);
    }
  };
  for (json& bar : state["commandBars"]) {
    bar["temporary"] = false;
    controls(bar["controls"]);
  }
  state["running"] = true;
  return state;
}

// A PowerPoint as no emulated run leaves one: local names, a shortcut menu, a combo box, a hidden
// button, a protected floating bar, pop-ups in pop-ups, a temporary control with a face.
CommandBarSet Unusual() {
  CommandBarSet bars;
  BarProperties menuBar{L"Menu Bar", BarType::kMenuBar, 6, true, false, true};
  menuBar.nameLocal = L"Men\u00fcleiste";
  command_bars::Control& extras =
      bars.Add(menuBar).controls().Insert(1, Control(ControlType::kPopup, 30007, L"E&xtras"));
  command_bars::Control& macros =
      extras.controls()->Insert(1, Control(ControlType::kPopup, 30017, L"&Makro"));
  ControlProperties ours = Control(ControlType::kButton, 1, L"Glintwave");
  ours.builtIn = false;
  ours.tag = L"tkw.ours";
  ours.onAction = L"Glintwave.Run";
  ours.tooltipText = L"Run Glintwave";
  ours.style = 3;
  ours.face = command_bars::ButtonFace{"Qk0=", std::nullopt};
  ours.temporary = true;
  macros.controls()->Insert(1, ours);
  bars.Add({L"Text", BarType::kPopup, 5, false, false, true});
  BarProperties floating{L"Forms",          BarType::kToolbar,   4,
                         /*visible=*/false, /*temporary=*/false,
                         /*builtIn=*/false, /*protection=*/1};
  ControlProperties hidden = Control(ControlType::kButton, 2, L"&Rechtschreibung");
  hidden.visible = false;
  command_bars::ControlList& forms = bars.Add(floating).controls();
  forms.Insert(1, Control(static_cast<ControlType>(4), 1728, L"&Schriftart:"));
  forms.Insert(2, hidden);
  return bars;
}

TEST_F(SnapshotTest, ReadsEveryBarAndControlAndChangesNothing) {
  const struct {
    const char* what;
    std::function<CommandBarSet()> bars;
    bool file;  // whether PowerPoint has saved its state
  } cases[] = {
      {"PowerPoint's own bars, never saved", command_bars::BuiltInCommandBars, false},
      {"PowerPoint's own bars, saved", command_bars::BuiltInCommandBars, true},
      {"a PowerPoint in another language, and more", Unusual, true},
  };
  for (const auto& c : cases) {
    fs::remove_all(folder_ / "powerpoint");
    if (c.file)
      command_bars::SaveCommandBars(c.bars(), State());
    const std::string before = c.file ? StateText() : "";
    EXPECT_EQ(json::parse(command_bars::SerializeCommandBars(Read())), Readable(c.bars()))
        << c.what;
    EXPECT_EQ(fs::exists(State()), c.file) << c.what;
    EXPECT_EQ(c.file ? StateText() : "", before) << c.what << ": PowerPoint was changed";
  }
}

// One line naming the file and what is wrong with it, in words, never the JSON library's.
TEST_F(SnapshotTest, RefusesWhatIsNoSnapshotSayingWhy) {
  const fs::path file = folder_ / "snapshot.json";
  const struct {
    const char* content;  // nullptr: no file
    const char* why;
  } cases[] = {
      {nullptr, ": there is no such file"},
      {"", ": line 1, column 1: not JSON: the file is empty"},
      {"{\"commandBars\": [\n  {\"name\": ",
       ": line 2, column 12: not JSON: the text ends before the document does"},
      {"{\"commandBars\": []}\nmore", ": line 2, column 1: not JSON"},
      {"{\"commandBars\": [], \"x\": \"Men\xfc\"}", ": line 1, column 30: not UTF-8 text"},
      {"[]", "the document: must be an object"},
      {"{\"commandBars\": [{\"name\": \"Menu Bar\", \"type\": \"menu\"}]}",
       "commandBars[0]: \"type\" must be \"menuBar\", \"toolbar\" or \"popup\""},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n", ": line 1, column 1: not JSON"},
  };
  for (const auto& c : cases) {
    fs::remove(file);
    if (c.content != nullptr)
      std::ofstream(file, std::ios::binary) << c.content;
    try {
      LoadSnapshot(file);
      ADD_FAILURE() << "accepted: " << c.content;
    } catch (const std::runtime_error& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find(file.string()), std::string::npos) << message;
      // "FILE: line L, column C: what is wrong", where the place is known.
      const std::string told = c.why[0] == ':' ? file.string() + c.why : c.why;
      EXPECT_NE(message.find(told), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
  EXPECT_THROW(LoadSnapshot(folder_), std::runtime_error);
}

}  // namespace
}  // namespace tkw::snapshot
