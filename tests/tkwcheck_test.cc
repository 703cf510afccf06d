// The definitions checker on small registries, the log reader on small logs, the broken example
// as a whole, and a plan made by running the program on a copy of the example machine.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/command_bars/command_bar_state.h"
#include "host/emulated_windows/emulated_windows.h"
#include "host/formats/pe_image.h"
#include "host/formats/reg_file.h"
#include "tests/plan_as_done.h"
#include "tools/snapshot/judged_powerpoint.h"
#include "tools/tkwcheck/check.h"
#include "tools/tkwcheck/inputs.h"
#include "tools/tkwcheck/installed.h"
#include "tools/tkwcheck/machine.h"
#include "tools/tkwcheck/plan.h"
#include "tools/tkwcheck/report.h"
#include "tools/tkwcheck/run_story.h"
#include "tools/tkwremove/removal.h"
#include "tools/tkwremove/restore.h"

namespace fs = std::filesystem;
using namespace tkw::check;

namespace {

// A registry of toolbar values and menu values (UTF-8 text, escaped as regedit escapes), with
// the product "Prod" installed in C:\Prog and the product "Empty" with an empty folder.
struct Registry {
  std::string text =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n";
  int lines = 3;
  std::vector<int> toolbarLines, menuLines;

  Registry(const std::vector<std::string>& toolbar, const std::vector<std::string>& menus) {
    for (const std::string& value : toolbar)
      toolbarLines.push_back(Add(value));
    Add("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Prod]");
    Add("\"InstallFolder\"=\"C:\\\\Prog\"");
    Add("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Empty]");
    Add("\"InstallFolder\"=\"\"");
    Add("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]");
    for (const std::string& value : menus)
      menuLines.push_back(Add(value));
  }
  int Add(const std::string& line) {
    text += line + "\n";
    return ++lines;
  }
};

// The findings on `registry`, judged against `bars` as a snapshot of the PowerPoint the
// definitions are for unless `snapshot` is false.
std::vector<Finding> AllFindings(
    const Registry& registry, tkw::host::Host* files = nullptr,
    tkw::command_bars::CommandBarSet bars = tkw::command_bars::BuiltInCommandBars(),
    bool snapshot = true) {
  std::ostringstream ignored;
  const auto file = tkw::formats::RegFile::Parse("\xEF\xBB\xBF" + registry.text, "r.reg", ignored);
  const auto settings = SettingsOfRegFile(file, "r.reg");
  Machine machine{std::move(bars), files, snapshot};
  return CheckSettings(settings.get(), Place{"r.reg", 0, {}, {}}, machine);
}

// "<line> <rule>" for each finding, as AllFindings finds them; the messages are kept in
// `messages`. Without `files` the note that icons were not looked at is left out:
// NamesTheCauseWhereItLies tells of it.
std::vector<std::string> Findings(
    const Registry& registry, tkw::host::Host* files = nullptr,
    tkw::command_bars::CommandBarSet bars = tkw::command_bars::BuiltInCommandBars(),
    bool snapshot = true, std::vector<std::string>* messages = nullptr) {
  std::vector<std::string> found;
  for (const Finding& f : AllFindings(registry, files, std::move(bars), snapshot)) {
    if (files == nullptr && f.rule == "icons-not-checked")
      continue;
    found.push_back(std::to_string(f.place.line) + " " + f.rule);
    if (messages != nullptr)
      messages->push_back(f.message);
  }
  return found;
}

struct RecordCase {
  const char* what;
  std::vector<std::string> toolbar;
  std::vector<std::string> menus;
  // Each finding as (index into toolbar, or 100 + index into menus, rule).
  std::vector<std::pair<int, std::string>> expected;
};

TEST(CheckTest, FindsWhatEachRecordDoesAtRunTime) {
  // With the six fields before it, a record of 1023 characters.
  const std::string long1023(1023 - std::string("Bar,Cap,Mac,tag.a,Prod,i.bmp,").size(), 'x');
  const std::string name1024(1024, 'n');
  const RecordCase cases[] = {
      {"a well-formed definition of each kind is silent",
       {"\"a\"=\"Bar,Cap,Mac,tag.a,Prod,i.bmp,Tip\""},
       {"\"m\"=\"&Tools,Menu,Mac,,Prod,i.bmp\""},
       {}},
      {"too few fields, and fields beyond the used ones",
       {"\"a\"=\"Bar,Cap,Mac,tag,Prod\"", "\"b\"=\"Bar,Cap,Mac,tag.b,Prod,i.bmp,Tip,8\"",
        "\"c\"=\"\""},
       {"\"m\"=\"&Tools,Menu\"", "\"n\"=\"&Tools,Menu2,Mac,,Prod,i.bmp,7,8\""},
       {{0, "too-few-fields"},
        {1, "ignored-fields"},
        {2, "too-few-fields"},
        {100, "too-few-fields"},
        {101, "ignored-fields"}}},
      {"data of 1023 characters is read, of 1024 passed over",
       {"\"a\"=\"Bar,Cap,Mac,tag.a,Prod,i.bmp," + long1023 + "\"",
        "\"b\"=\"Bar,Cap,Mac,tag.b,Prod,i.bmp," + long1023 + "x\""},
       {},
       {{1, "data-too-long"}}},
      {"a name of 1024 characters ends the enumeration",
       {"\"a\"=\"Bar,Cap,Mac,tag.a,Prod,i.bmp\"",
        "\"" + name1024 + "\"=\"Bar,Cap,Mac,tag.b,Prod,i.bmp\"",
        "\"c\"=\"Bar,Cap,Mac,tag.c,Prod,i.bmp\""},
       {},
       {{1, "name-too-long"}, {2, "never-read"}}},
      {"the logging switch is read by name, after a long name too",
       {"\"" + name1024 + "\"=\"Bar,Cap,Mac,tag.b,Prod,i.bmp\"", "\"Logging\"=\"0\"",
        "\"c\"=\"Bar,Cap,Mac,tag.c,Prod,i.bmp\""},
       {},
       {{0, "name-too-long"}, {1, "logging-not-dword"}, {2, "never-read"}}},
      {"blanks next to commas and at the end; a leading blank of the record goes",
       {"\"a\"=\"  Bar,Cap,Mac,tag.a,Prod, i.bmp\"", "\"b\"=\"Bar, Cap,Mac,tag.b,Prod,i.bmp,Tip \"",
        "\"c\"=\"Bar,Cap,Mac ,tag.c,Prod,i.bmp\""},
       {"\"m\"=\"&Tools ,Menu,Mac\""},
       {{0, "blank-next-to-comma"},
        {1, "blank-next-to-comma"},
        {1, "blank-next-to-comma"},
        {2, "blank-next-to-comma"},
        {100, "blank-next-to-comma"}}},
      {"characters Windows-1252 cannot hold, in a name and in data",
       {"\"a \u2713\"=\"Bar,Cap,Mac,tag.a,Prod,i.bmp\"",
        "\"b\"=\"Bar,Cap \u2192 Next,Mac,tag.b,Prod,i.bmp\"",
        "\"c\"=\"Bar,Caf\u00e9 \u20ac,Mac,tag.c,Prod,i.bmp\""},
       {},
       {{0, "not-windows-1252"}, {1, "not-windows-1252"}}},
      {"a value that is no string, and the default value",
       {"\"a\"=dword:00000001", "@=\"Bar,Cap,Mac,tag.d,Prod,i.bmp\""},
       {},
       {{0, "not-a-string"}, {0, "too-few-fields"}, {1, "default-value"}}},
      {"the logging switch as the string \"0\"",
       {"\"Logging\"=\"0\""},
       {},
       {{0, "logging-not-dword"}}},
      {"a logging switch out of range",
       {"\"Logging\"=dword:00011170"},
       {},
       {{0, "logging-out-of-range"}}},
      {"a value named logging in other letters is a definition, and the switch",
       {"\"logging\"=\"Bar,Cap\""},
       {},
       {{0, "logging-not-dword"}, {0, "too-few-fields"}}},
      {"duplicate tags: on one bar (its name as PowerPoint matches it), not across bars",
       {"\"a\"=\"Bar,One,Mac,tag,Prod,i.bmp\"", "\"b\"=\"&bar,Two,Mac,tag,Prod,i.bmp\"",
        "\"c\"=\"Other,Three,Mac,tag,Prod,i.bmp\""},
       {},
       {{1, "duplicate-tag"}}},
      {"products without a key, without a folder, and an empty image",
       {"\"a\"=\"Bar,Cap,Mac,tag.a,Nobody,i.bmp\"", "\"b\"=\"Bar,Cap,Mac,tag.b,Empty,i.bmp\"",
        "\"c\"=\"Bar,Cap,Mac,tag.c,Prod,\""},
       {"\"m\"=\"&Tools,Menu,Mac,,Nobody,i.bmp\"", "\"n\"=\"&Tools,Plain,Mac,,Nobody\""},
       {{0, "no-product"}, {1, "no-install-folder"}, {2, "empty-image"}, {100, "no-product"}}},
      {"menus: not a pop-up of the menu bar, before-controls, replacements",
       {},
       {"\"a\"=\"&Nope,A,Mac\"", "\"b\"=\"&Tools,B,Mac,No Such Button\"",
        "\"c\"=\"&Tools,C,Mac,c\"", "\"d\"=\"&Tools,D,Mac,B\"", "\"e\"=\"&tools,d,Mac2\"",
        "\"f\"=\"&Tools,F,Mac,&Spelling...\""},
       {{100, "menu-not-found"},
        {101, "before-not-found"},
        {102, "before-is-caption"},
        {104, "replaced"}}},
      {"menus: a caption of PowerPoint's own button in its menu, not a before-control",
       {},
       {"\"a\"=\"&Tools,&Options...,Mac\"", "\"b\"=\"&Tools,G,Mac,Options...\"",
        "\"c\"=\"tools,spelling...,Mac\"", "\"d\"=\"&Tools,Options...,Mac2\"",
        "\"e\"=\"&Insert,&Options...,Mac\""},
       {{100, "replaces-builtin"}, {102, "replaces-builtin"}, {103, "replaced"}}},
  };
  for (const RecordCase& c : cases) {
    const Registry registry(c.toolbar, c.menus);
    std::vector<std::string> expected;
    for (const auto& [index, rule] : c.expected) {
      const int line =
          index >= 100 ? registry.menuLines[index - 100] : registry.toolbarLines[index];
      expected.push_back(std::to_string(line) + " " + rule);
    }
    EXPECT_EQ(Findings(registry), expected) << c.what;
  }
}

TEST(CheckTest, FindsTagsTakenOnPowerPointsOwnBarsAndPopups) {
  // An earlier version left a button tagged "old" in a pop-up of "Standard".
  tkw::command_bars::CommandBarSet bars = tkw::command_bars::BuiltInCommandBars();
  tkw::command_bars::ControlProperties popup;
  popup.type = tkw::command_bars::ControlType::kPopup;
  popup.caption = L"Glintwave";
  tkw::command_bars::CommandBar& standard = *bars.Find(L"Standard");
  tkw::command_bars::Control& menu = standard.controls().Insert(1, popup);
  tkw::command_bars::ControlProperties button;
  button.tag = L"old";
  button.caption = L"Old Help";
  menu.controls()->Insert(1, button);
  const Registry registry(
      {"\"a\"=\"Standard,Help,Mac,old,Prod,i.bmp\"", "\"b\"=\"Other,Help,Mac,old,Prod,i.bmp\""},
      {});
  EXPECT_EQ(Findings(registry, nullptr, std::move(bars)),
            std::vector<std::string>{std::to_string(registry.toolbarLines[0]) + " tag-taken"});
}

// A finding names what the author has to change, where it lies: the field a comma cut, a button
// that a run of the definition added already (the definition still judged as a fresh machine
// meets it), another's button that takes the tag, and icons an export cannot show.
TEST(CheckTest, NamesTheCauseWhereItLies) {
  // The product's own bar "Glintwave" after a run, with the button of the definition
  // "Glintwave,New,Mac.New,tkw.new,...".
  tkw::command_bars::CommandBarSet afterARun = tkw::command_bars::BuiltInCommandBars();
  tkw::command_bars::BarProperties bar;
  bar.name = L"Glintwave";
  bar.temporary = true;
  tkw::command_bars::ControlProperties button;
  button.tag = L"tkw.new";
  button.caption = L"New";
  button.onAction = L"Mac.New";
  afterARun.Add(std::move(bar)).controls().Insert(1, std::move(button));
  const std::string fresh = tkw::command_bars::SerializeCommandBars(afterARun);

  const struct {
    const char* what;
    std::vector<std::string> toolbar, menus;
    std::vector<std::pair<int, std::string>> expected;  // as RecordCase has them
    std::vector<std::string> said;                      // in the messages, in their order
  } cases[] = {
      {"a comma in the tooltip",
       {"\"a\"=\"Bar,Export,Mac,t,Prod,i.bmp,Export the deck, PDF and print\""},
       {},
       {{0, "ignored-fields"}, {0, "icons-not-checked"}},
       {"the tooltip is cut at the comma: 'Export the deck'; field 8 (' PDF and print') is "
        "ignored: a toolbar definition uses 7 fields, and a comma always ends one"}},
      {"a comma in a menu control's image name",
       {},
       {"\"a\"=\"&Tools,Export,Mac,,Prod,deck.bmp,png,x\""},
       {{100, "ignored-fields"}, {100, "icons-not-checked"}},
       {"the image name is cut at the comma: 'deck.bmp'; fields 7 to 8 ('png,x') are ignored"}},
      {"the definition's own button, which a run added, and a product that is not there",
       {"\"a\"=\"Glintwave,New,Mac.New,tkw.new,Nobody,new.bmp\""},
       {},
       {{0, "already-there"}, {0, "no-product"}},
       {"already there: the bar 'Glintwave' holds this definition's button 'New' with tag "
        "'tkw.new', which a run added",
        "there is no key SOFTWARE\\Tarnwick\\Nobody"}},
      {"another button with the tag on the product's bar",
       {"\"a\"=\"Glintwave,Newer,Mac.New,tkw.new,Prod,new.bmp\""},
       {},
       {{0, "tag-taken"}},
       {"the bar 'Glintwave' already holds a button 'New' with tag 'tkw.new': this one is never "
        "added"}},
      {"icons of an export: told once, at the first",
       {"\"a\"=\"Bar,A,Mac,a,Prod,a.bmp\"", "\"b\"=\"Bar,B,Mac,b,Prod,b.bmp\""},
       {},
       {{0, "icons-not-checked"}},
       {"icons were not looked at: an export holds no files. To have them checked, check a "
        "machine where the product is installed: tkwcheck --prefix DIR"}},
  };
  for (const auto& c : cases) {
    const Registry registry(c.toolbar, c.menus);
    std::vector<std::string> expected, found, said;
    for (const auto& [index, rule] : c.expected) {
      const int line =
          index >= 100 ? registry.menuLines[index - 100] : registry.toolbarLines[index];
      expected.push_back(std::to_string(line) + " " + rule);
    }
    for (const Finding& f :
         AllFindings(registry, nullptr, tkw::command_bars::ParseCommandBars(fresh))) {
      found.push_back(std::to_string(f.place.line) + " " + f.rule);
      said.push_back(f.message);
    }
    EXPECT_EQ(found, expected) << c.what;
    for (std::size_t i = 0; i < c.said.size() && i < said.size(); ++i)
      EXPECT_TRUE(said[i].starts_with(c.said[i])) << c.what << "\n" << said[i];
  }
}

// PowerPoint's built-in bars with the menus captioned as a German PowerPoint captions them.
tkw::command_bars::CommandBarSet GermanMenus() {
  tkw::command_bars::CommandBarSet bars = tkw::command_bars::BuiltInCommandBars();
  const wchar_t* const captions[] = {L"&Datei",
                                     L"&Bearbeiten",
                                     L"&Ansicht",
                                     L"&Einf\u00fcgen",
                                     L"F&ormat",
                                     L"E&xtras",
                                     L"Bildschirm&pr\u00e4sentation",
                                     L"&Fenster",
                                     L"&?"};
  const tkw::command_bars::ControlList& menus = bars.Find(L"Menu Bar")->controls();
  for (std::size_t place = 1; place <= menus.size(); ++place)
    menus.At(place).SetCaption(captions[place - 1]);
  return bars;
}

// A menu is found by its caption, which is PowerPoint's language's: judged against the English
// bars a definition is right or wrong only for an English PowerPoint, which a note says once;
// against a snapshot, a menu that is not found is named as that PowerPoint has it.
TEST(CheckTest, JudgesMenusByTheCaptionsOfThePowerPointGiven) {
  const struct {
    const char* what;
    std::vector<std::string> menus;
    bool german;  // judged against GermanMenus() as a snapshot, else the English bars
    std::vector<std::pair<int, std::string>> expected;  // (index into menus, rule)
    const char* message;                                // part of the first finding's message
  } cases[] = {
      {"English menus against the English bars: noted once",
       {"\"a\"=\"&Tools,A,Mac\"", "\"b\"=\"&insert,B,Mac\""},
       false,
       {{0, "menu-language"}},
       "--snapshot FILE"},
      {"a German menu against the English bars: not found, and noted",
       {"\"a\"=\"&Help,A,Mac\"", "\"b\"=\"E&xtras,B,Mac\""},
       false,
       {{0, "menu-language"}, {1, "menu-not-found"}},
       "in a German PowerPoint '&Tools' is 'E&xtras'"},
      {"an English menu against a German snapshot: not found, named as it is there",
       {"\"a\"=\"&Tools,A,Mac\""},
       true,
       {{0, "menu-not-found"}},
       "in this PowerPoint the menu '&Tools' is 'E&xtras'"},
      {"a menu that is no English one against a German snapshot: not found, nothing to name",
       {"\"a\"=\"&Glintwave,A,Mac\""},
       true,
       {{0, "menu-not-found"}},
       "has no menu '&Glintwave': the program logs \"Menu not found\" and adds nothing"},
      {"German menus against a German snapshot, letters in any case",
       {"\"a\"=\"E&xtras,A,Mac\"", "\"b\"=\"&EINF\u00dcGEN,B,Mac\""},
       true,
       {},
       ""},
  };
  for (const auto& c : cases) {
    const Registry registry({}, c.menus);
    std::vector<std::string> expected, messages;
    for (const auto& [index, rule] : c.expected)
      expected.push_back(std::to_string(registry.menuLines[index]) + " " + rule);
    EXPECT_EQ(Findings(registry, nullptr,
                       c.german ? GermanMenus() : tkw::command_bars::BuiltInCommandBars(), c.german,
                       &messages),
              expected)
        << c.what;
    if (!messages.empty()) {
      EXPECT_NE(messages.front().find(c.message), std::string::npos)
          << c.what << ": " << messages.front();
    }
  }
}

// A machine where a run, or the user, left PowerPoint's own "&Options..." otherwise: the caption
// takes it for good all the same, unless the program would not delete what it finds there.
TEST(CheckTest, FindsPowerPointsOwnButtonTakenWhateverTheMachineLeft) {
  using tkw::command_bars::ControlProperties;
  using tkw::command_bars::ControlType;
  const auto tools = [](tkw::command_bars::CommandBarSet& bars) -> tkw::command_bars::ControlList& {
    return *bars.Find(L"Menu Bar")->controls().FindByCaption(L"&Tools")->controls();
  };
  const auto options = [&](tkw::command_bars::CommandBarSet& bars, bool builtIn, ControlType type) {
    tkw::command_bars::ControlList& list = tools(bars);
    list.Remove(*list.FindByCaption(L"&Options..."));
    ControlProperties p;
    p.type = type;
    p.caption = L"&Options...";
    p.builtIn = builtIn;
    list.Insert(1, std::move(p));
  };
  const struct {
    const char* what;
    std::function<void(tkw::command_bars::CommandBarSet&)> change;
    bool found;
  } cases[] = {
      {"as PowerPoint has it", [](auto&) {}, true},
      {"taken by a run, the product's control in its place",
       [&](auto& bars) { options(bars, false, ControlType::kButton); }, true},
      {"gone, the product's control gone too",
       [&](auto& bars) { tools(bars).Remove(*tools(bars).FindByCaption(L"&Options...")); }, true},
      {"a pop-up of the user's of that caption, which the program leaves",
       [&](auto& bars) { options(bars, false, ControlType::kPopup); }, false},
  };
  const Registry registry({}, {"\"a\"=\"&Tools,&Options...,Mac\""});
  for (const auto& c : cases) {
    tkw::command_bars::CommandBarSet bars = tkw::command_bars::BuiltInCommandBars();
    c.change(bars);
    EXPECT_EQ(Findings(registry, nullptr, std::move(bars)),
              c.found ? std::vector<std::string>{std::to_string(registry.menuLines[0]) +
                                                 " replaces-builtin"}
                      : std::vector<std::string>{})
        << c.what;
  }
}

TEST(CheckTest, FindsWhatNoRecordShows) {
  // No settings at all; an expandable string whose variables stay; a line regedit skips.
  std::ostringstream ignored;
  const auto empty = tkw::formats::RegFile::Parse("REGEDIT4\n", "e.reg", ignored);
  Machine machine{tkw::command_bars::BuiltInCommandBars(), nullptr};
  const auto none =
      CheckSettings(SettingsOfRegFile(empty, "e.reg").get(), Place{"e.reg", 0, {}, {}}, machine);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].rule, "no-settings");

  const fs::path file =
      fs::temp_directory_path() / ("tkwcheck_export_" + std::to_string(::getpid()));
  std::ofstream(file) << "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n"
                         "\"a\"=hex(2):25,00,41,00,25,00,2c,00,42,00,2c,00,43,00,2c,00,44,00,2c,"
                         "00,45,00,2c,00,46,00,00,00\n\"broken\n";
  std::vector<std::string> rules;
  for (const Finding& f : CheckExport(file, machine))
    rules.push_back(std::to_string(f.place.line) + " " + f.rule);
  EXPECT_EQ(rules,
            (std::vector<std::string>{"3 not-expanded", "3 no-product", "4 malformed-line"}));
  fs::remove(file);
  EXPECT_THROW(CheckExport(fs::path(TKW_SOURCE_DIR) / "README.md", machine), Unreadable);
}

class MachineTest : public testing::Test {
 protected:
  void SetUp() override {
    prefix_ = fs::temp_directory_path() / ("tkwcheck_test_" + std::to_string(::getpid()));
    fs::create_directories(prefix_ / "drive_c" / "Prog" / "Addins");
  }
  void TearDown() override { fs::remove_all(prefix_); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(prefix_ / "drive_c" / "Prog" / "Addins" / name, std::ios::binary) << bytes;
  }

  fs::path prefix_;
};

// A bitmap file of `width` x `height` pixels at 1 bit per pixel.
std::string Bitmap(int width, int height) {
  const int stride = (width + 31) / 32 * 4;
  std::string file(14 + 40 + 8 + static_cast<std::size_t>(stride * height), '\0');
  const auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      file[at + i] = static_cast<char>(value >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put(2, static_cast<std::uint32_t>(file.size()), 4);
  put(10, 62, 4);
  put(14, 40, 4);
  put(18, static_cast<std::uint32_t>(width), 4);
  put(22, static_cast<std::uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, 1, 2);
  put(58, 0xFFFFFF, 4);
  return file;
}

TEST_F(MachineTest, FindsIconsThatGiveNoFace) {
  Write("good.bmp", Bitmap(16, 16));
  Write("edge.bmp", Bitmap(30000, 1));
  Write("wide.bmp", Bitmap(30001, 1));
  Write("high.bmp", Bitmap(1, 30001));
  Write("text.bmp", "not a picture at all");
  // An icon file: its directory of one 1 x 1 image.
  Write("face.ico", std::string("\0\0\1\0\1\0\1\1\0\0\1\0\x20\0\x30\0\0\0\x16\0\0\0", 22) +
                        Bitmap(1, 2).substr(14, 40) + std::string(8, '\0'));
  const Registry registry(
      {"\"a\"=\"Bar,A,Mac,tag.a,Prod,good.bmp\"", "\"b\"=\"Bar,B,Mac,tag.b,Prod,edge.bmp\"",
       "\"c\"=\"Bar,C,Mac,tag.c,Prod,wide.bmp\"", "\"d\"=\"Bar,D,Mac,tag.d,Prod,high.bmp\"",
       "\"e\"=\"Bar,E,Mac,tag.e,Prod,text.bmp\"", "\"f\"=\"Bar,F,Mac,tag.f,Prod,face.ico\"",
       "\"g\"=\"Bar,G,Mac,tag.g,Prod,gone.bmp\""},
      {});
  std::ostringstream ignored;
  tkw::emulated::EmulatedWindows files(prefix_, ignored);
  const auto& line = registry.toolbarLines;
  EXPECT_EQ(
      Findings(registry, &files),
      (std::vector<std::string>{
          std::to_string(line[2]) + " no-mask", std::to_string(line[3]) + " no-mask",
          std::to_string(line[4]) + " not-a-picture", std::to_string(line[5]) + " icon-not-bitmap",
          std::to_string(line[6]) + " icon-missing"}));
}

TEST(CheckTest, TheBrokenExampleGivesItsWholeReport) {
  const fs::path examples = fs::path(TKW_SOURCE_DIR) / "examples";
  std::ostringstream out;
  PrintFindings(out, CheckMachine(examples / "broken", PowerPointOfMachine(examples / "broken")),
                Format::kText, tkw::snapshot::kThisMachine);
  std::string report = out.str();
  for (std::size_t at; (at = report.find(examples.string())) != std::string::npos;)
    report.replace(at, examples.string().size(), "examples");
  std::ifstream expected(fs::path(TKW_SOURCE_DIR) / "tests" / "tkwcheck" / "broken.txt");
  EXPECT_EQ(report, std::string(std::istreambuf_iterator<char>(expected), {}));
}

struct LogCase {
  const char* what;
  std::vector<std::string> lines;     // after the date line and "Creating Mutex"
  std::vector<std::string> outcomes;  // "<name>: <outcome>[: details]"
  RunStory::End end;
};

std::string Outcomes(const RunStory& story) {
  std::string text;
  for (const DefinitionStory& d : story.definitions) {
    text += std::string(d.name.begin(), d.name.end()) + ": " + d.outcome;
    for (const std::string& detail : d.details)
      text += "; " + detail;
    text += "\n";
  }
  return text;
}

TEST(RunStoryTest, TellsWhatBecameOfEachDefinition) {
  const LogCase cases[] = {
      {"a second copy", {"Creating Mutex Failed"}, {}, RunStory::End::kRefused},
      {"toolbar definitions of every outcome",
       {"CreateToolbarButtonsFromRegistryValues[",
        " RegEnumValue: 0",
        "RegEnumValue: new",
        "Addtoolbar new",
        "AddToolBarButton[",
        "Info: Cap , Mac , tag",
        "ToolBar not exist",
        "Adding CommandBar button to Controls collection",
        "Creating AltClipBoard object",
        "AtlClipBoard object not obtained",
        "AddToolBarButton]",
        " RegEnumValue: 1",
        "RegEnumValue: old",
        "Addtoolbar old",
        "AddToolBarButton[",
        "Button Cap already exists",
        "AddToolBarButton]",
        " RegEnumValue: 2",
        "RegEnumValue: few",
        "Addtoolbar few",
        "less no of args",
        " RegEnumValue: 3",
        "RegEnumValue: long",
        " RegEnumValue: 4",
        "RegEnumValue: nobar",
        "Addtoolbar nobar",
        "AddToolBarButton[",
        "ToolBar not exist",
        "No CommandBar object",
        "AddToolBarButton]",
        " RegEnumValue: 5",
        "RegEnumValue: 6 : Falied",
        " Close registry key",
        "Work completed successfully"},
       {"new: added; bar created; clipboard component missing", "old: already there",
        "few: too few fields", "long: passed over", "nobar: bar could not be made"},
       RunStory::End::kCompleted},
      {"no PowerPoint, and a run cut short",
       {"CreateToolbarButtonsFromRegistryValues[", " RegEnumValue: 0", "RegEnumValue: a",
        "Addtoolbar a", " RegEnumValue: 1", "RegEnumValue: 2 : Falied"},
       {"a: PowerPoint could not be started"},
       RunStory::End::kCutShort},
      {"menu definitions",
       {"CreateMenuControlsFromRegistryValues[",
        " RegEnumValue: 0",
        "RegEnumValue: m",
        "Add Menu control m",
        "[ AddMenuControl start",
        "Info: &Tools , Options... , Cap ,  , ",
        "Menu control already exist, delete it",
        "AddMenuControl end ]",
        " RegEnumValue: 1",
        "RegEnumValue: n",
        "Add Menu control n",
        "[ AddMenuControl start",
        "Info: &Nope ,  , Cap ,  , ",
        "Menu not found",
        " RegEnumValue: 2",
        "RegEnumValue: o",
        "Add Menu control o",
        "[ AddMenuControl start",
        "Info: &Help ,  , Cap ,  , ",
        "BeforeBtn not found, add as first btn",
        "AddMenuControl end ]",
        " Close registry key",
        "Work completed successfully"},
       {"m: replaced; placed before \"Options...\"", "n: menu not found", "o: added; placed first"},
       RunStory::End::kCompleted},
  };
  for (const LogCase& c : cases) {
    std::string log = "12/7/2026 10:00:00 AM\r\nCreating Mutex\r\n";
    for (const std::string& line : c.lines)
      log += line + "\r\n";
    const RunStory story = ReadRunStory(log);
    std::string expected;
    for (const std::string& outcome : c.outcomes)
      expected += outcome + "\n";
    EXPECT_EQ(Outcomes(story), expected) << c.what;
    EXPECT_EQ(story.end, c.end) << c.what;
  }
  for (const char* notOurs : {"", "hello\r\nworld\r\n", "12/7/2026\r\nSomething else\r\n"})
    EXPECT_THROW(ReadRunStory(notOurs), std::runtime_error);
}

// A run of the program on `machine`, from a folder of its own in it.
void RunProgramOn(const fs::path& machine) {
  const fs::path app = machine / "app";
  fs::create_directories(app);
  fs::copy_file(TKW_PROGRAM, app / "tkwPPTToolbarAdder", fs::copy_options::overwrite_existing);
  ASSERT_EQ(std::system(("TKW_PREFIX='" + machine.string() + "' '" +
                         (app / "tkwPPTToolbarAdder").string() + "'")
                            .c_str()),
            0);
}

TEST(PlanTest, RunsTheProgramOnACopyAndTellsWhatStays) {
  const fs::path machine =
      fs::temp_directory_path() / ("tkwcheck_plan_" + std::to_string(::getpid()));
  fs::copy(fs::path(TKW_SOURCE_DIR) / "examples" / "machine", machine, fs::copy_options::recursive);
  // Line 25 replaces line 22's control: only the later one stays.
  std::ofstream(machine / "registry.reg", std::ios::app)
      << "\"4 Chart\"=\"&insert,Glintwave Chart...,Glintwave.Chart2\"\n";
  // "<line> <outcome>: <details>" for each definition.
  const auto outcomes = [](const Plan& plan) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < plan.story.definitions.size(); ++i) {
      const DefinitionStory& d = plan.story.definitions[i];
      std::string line = std::to_string(plan.places[i].line) + " " + d.outcome + ":";
      for (const std::string& detail : d.details)
        line += " " + detail + ";";
      lines.push_back(line);
    }
    return lines;
  };
  // Only the button on PowerPoint's own "Standard" lasts: the program's bar and every menu
  // entry are temporary. A PowerPoint the program starts closes, and drops them, at the run's end.
  const struct {
    bool running;
    std::vector<std::string> lines;
  } cases[] = {
      {true,
       {"13 added: bar created; at place 1 of bar \"Glintwave\", with a face; goes when "
        "PowerPoint closes;",
        "14 added: at place 2 of bar \"Glintwave\", with a face; goes when PowerPoint closes;",
        "15 added: at place 12 of bar \"Standard\", with a face; lasts when PowerPoint closes;",
        "22 added: placed first; replaced later in the run by the definition on line 25;",
        "23 added: placed before \"Options...\"; at place 5 of menu \"&Tools\" when the run ends, "
        "with a face; goes when PowerPoint closes;",
        "24 added: placed first; at place 1 of menu \"&Help\" when the run ends; goes when "
        "PowerPoint closes;",
        "25 replaced: placed first; at place 1 of menu \"&Insert\" when the run ends; goes when "
        "PowerPoint closes;"}},
      {false,
       {"13 added: bar created; gone at the run's end, when PowerPoint closes;",
        "14 added: gone at the run's end, when PowerPoint closes;",
        "15 added: at place 12 of bar \"Standard\", with a face; lasts when PowerPoint closes;",
        "22 added: placed first; replaced later in the run by the definition on line 25;",
        "23 added: placed before \"Options...\"; gone at the run's end, when PowerPoint closes;",
        "24 added: placed first; gone at the run's end, when PowerPoint closes;",
        "25 replaced: placed first; gone at the run's end, when PowerPoint closes;"}},
  };
  for (const auto& c : cases) {
    tkw::command_bars::SetPowerPointRunning(machine / "powerpoint" / "commandbars.json", c.running);
    const std::string before = ReadWhole(machine / "powerpoint" / "commandbars.json");
    const Plan plan = MakePlan(machine, TKW_PROGRAM);
    EXPECT_EQ(outcomes(plan), c.lines) << "running " << c.running;
    EXPECT_EQ(PlanWarning(plan).empty(), c.running);
    EXPECT_EQ(ReadWhole(machine / "powerpoint" / "commandbars.json"), before)
        << "the machine itself is left as it was";
  }
  fs::remove_all(machine / "powerpoint");

  // Once a real run has put the buttons there, a changed caption does not reach them.
  RunProgramOn(machine);
  std::ofstream(machine / "registry.reg", std::ios::app)
      << "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\r\n"
         "\"Glintwave 2 Sync\"=\"Glintwave,S&ync Now,Glintwave.Sync,tkw.glintwave.sync,"
         "Glintwave,sync.bmp\"\r\n";
  const Plan plan = MakePlan(machine, TKW_PROGRAM);
  ASSERT_GE(plan.story.definitions.size(), 2u);
  const DefinitionStory& sync = plan.story.definitions[1];
  EXPECT_EQ(sync.outcome, "already there");
  EXPECT_EQ(sync.details.front(), "not updated: its caption stays \"S&ync\", not \"S&ync Now\"");
  fs::remove_all(machine);
}

// A menu definition with the caption of PowerPoint's own "&Options...": the plan says on its line
// that the run deletes it for good, or that a run before did; a second definition of that
// caption replaces the first's control, not PowerPoint's.
TEST(PlanTest, TellsWhichDefinitionTakesPowerPointsOwnControl) {
  const fs::path machine =
      fs::temp_directory_path() / ("tkwcheck_plan_own_" + std::to_string(::getpid()));
  fs::copy(fs::path(TKW_SOURCE_DIR) / "examples" / "machine", machine, fs::copy_options::recursive);
  std::ofstream(machine / "registry.reg", std::ios::app)
      << "\"4 Own\"=\"&Tools,&Options...,Glintwave.Own\"\r\n"
         "\"5 Again\"=\"&tools,Options...,Glintwave.Again\"\r\n";
  const auto run = [&] { RunProgramOn(machine); };
  const std::pair<std::function<void()>, const char*> cases[] = {
      // what happened to the machine before the plan; what line 25 says of PowerPoint's own
      {[] {},
       "deletes PowerPoint's own \"&Options...\" for good: it stays gone once this control "
       "goes [replaces-builtin]"},
      {[&] {
         run();
         tkw::command_bars::SetPowerPointRunning(machine / "powerpoint" / "commandbars.json",
                                                 false);
       },
       "PowerPoint's own \"&Options...\" of this caption is gone for good already "
       "[replaces-builtin]"},
  };
  for (const auto& [before, said] : cases) {
    SCOPED_TRACE(said);
    before();
    const Plan plan = MakePlan(machine, TKW_PROGRAM);
    std::vector<std::string> own;
    for (std::size_t i = 0; i < plan.story.definitions.size(); ++i) {
      for (const std::string& detail : plan.story.definitions[i].details) {
        if (detail.ends_with("[replaces-builtin]"))
          own.push_back(std::to_string(plan.places[i].line) + " " + detail);
      }
    }
    EXPECT_EQ(own, std::vector<std::string>{"25 " + std::string(said)});
  }
  fs::remove_all(machine);
}

// regedit's own export is UTF-16, and a machine need not switch logging on: the plan's copy
// still runs with logging, in the file's encoding.
TEST(PlanTest, ReadsAUtf16ExportWithoutTheLoggingSwitch) {
  const fs::path machine =
      fs::temp_directory_path() / ("tkwcheck_plan_utf16_" + std::to_string(::getpid()));
  fs::copy(fs::path(TKW_SOURCE_DIR) / "examples" / "machine", machine, fs::copy_options::recursive);
  std::string utf16 = "\xFF\xFE";
  std::istringstream lines(ReadWhole(machine / "registry.reg"));
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("\"Logging\""))
      continue;
    for (const char c : line + "\r\n")
      utf16 += {c, '\0'};  // the example is ASCII
  }
  std::ofstream(machine / "registry.reg", std::ios::binary | std::ios::trunc) << utf16;
  const Plan plan = MakePlan(machine, TKW_PROGRAM);
  std::vector<std::string> outcomes;
  for (const DefinitionStory& d : plan.story.definitions)
    outcomes.push_back(d.outcome);
  EXPECT_EQ(outcomes, std::vector<std::string>(6, "added"));
  fs::remove_all(machine);
}

// A copy of the example machine, read and changed through the tools' own code.
class DeploymentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(fs::path(TKW_SOURCE_DIR) / "examples" / "machine", machine_,
             fs::copy_options::recursive);
  }
  void TearDown() override { fs::remove_all(machine_); }

  // PowerPoint's state: its file, or its built-in bars while it has saved none.
  std::string State() const {
    const fs::path file = machine_ / "powerpoint" / "commandbars.json";
    return fs::exists(file)
               ? ReadWhole(file)
               : tkw::command_bars::SerializeCommandBars(tkw::command_bars::BuiltInCommandBars());
  }
  std::vector<Definition> Definitions() const {
    return DefinitionsOf(ReadRegistrySettings(machine_ / "registry.reg").key.get());
  }
  // "<line> <rule>" for each definition; their messages are kept in messages_.
  std::vector<std::string> Installed() {
    tkw::emulated::EmulatedWindows host(machine_);
    std::vector<std::string> lines;
    messages_.clear();
    const PowerPointAtHand powerPoint = AttachToPowerPoint(host);
    for (const Finding& f :
         CheckInstalled(host, powerPoint.app, Definitions(), powerPoint.running)) {
      lines.push_back(std::to_string(f.place.line) + " " + f.rule);
      messages_.push_back(f.message);
    }
    return lines;
  }
  // What was removed; a plan's steps in the words of the removal, to be held to it.
  std::string Remove(bool plan) {
    tkw::emulated::EmulatedWindows host(machine_);
    const auto outcome = tkw::remove::RemoveInstalled(StartPowerPoint(host), Definitions(), plan);
    std::ostringstream out;
    tkw::remove::PrintOutcome(out, outcome, /*plan=*/false);
    return plan ? tkw::test_support::PlanAsDone(out.str()) : out.str();
  }
  void RunProgram() { RunProgramOn(machine_); }
  void AppendToRegistry(const std::string& lines) {
    std::ofstream(machine_ / "registry.reg", std::ios::app) << lines;
  }
  // The user closes PowerPoint.
  void ClosePowerPoint() {
    tkw::command_bars::SetPowerPointRunning(machine_ / "powerpoint" / "commandbars.json", false);
  }
  // Changes PowerPoint as a user or another program does.
  void Change(const std::function<void(const tkw::host::Application&)>& change) {
    tkw::emulated::EmulatedWindows host(machine_);
    change(StartPowerPoint(host));
  }

  const fs::path machine_ =
      fs::temp_directory_path() / ("tkw_deployment_" + std::to_string(::getpid()));
  std::vector<std::string> messages_;  // of the last Installed(), in its order
};

TEST_F(DeploymentTest, RemovalUndoesARunAndNothingElse) {
  EXPECT_EQ(Installed(), (std::vector<std::string>{"13 missing", "14 missing", "15 missing",
                                                   "22 missing", "23 missing", "24 missing"}));
  const std::string before = State();
  RunProgram();
  EXPECT_EQ(Installed(),
            (std::vector<std::string>{"13 installed", "14 installed", "15 installed",
                                      "22 installed", "23 installed", "24 installed"}));
  {
    // A user's own button with a definition's caption, on the same bar.
    tkw::emulated::EmulatedWindows host(machine_);
    const auto button =
        StartPowerPoint(host)
            .CommandBars()
            .Item(L"Standard")
            .Controls()
            .Add(std::int16_t{1}, tkw::host::MissingArgument{}, tkw::host::MissingArgument{},
                 tkw::host::MissingArgument{}, tkw::host::MissingArgument{});
    button.SetCaption(L"Glintwave Help");
    button.SetTag(L"users.own");
  }
  const std::string withUsersOwn = State();
  const std::string planned = Remove(/*plan=*/true);
  EXPECT_EQ(State(), withUsersOwn) << "a plan changes nothing";
  EXPECT_EQ(Remove(/*plan=*/false), planned);
  EXPECT_NE(planned.find("6 controls and 1 bar removed"), std::string::npos) << planned;
  EXPECT_NE(State().find("users.own"), std::string::npos) << "the user's own button stays";
  EXPECT_EQ(Remove(/*plan=*/false), "0 controls and 0 bars removed\n");
  EXPECT_EQ(Installed().front(), "13 missing");

  // What is left is the state before the run, but for the user's button.
  RunProgram();
  {
    tkw::emulated::EmulatedWindows host(machine_);
    StartPowerPoint(host)
        .CommandBars()
        .Item(L"Standard")
        .FindControl(1, L"users.own", true)
        .Delete();
  }
  Remove(/*plan=*/false);
  EXPECT_EQ(State(), before);
}

// PowerPoint finds a name however its letters are cased, and a caption without its "&": a
// second definition that spells a name otherwise names the same control or bar, and the
// removal takes no more and no less than the plan lists.
TEST_F(DeploymentTest, PlanIsTheRemovalWhateverTheSpelling) {
  const struct {
    const char* what;
    const char* lines;
  } cases[] = {
      {"a menu control, without its accelerator",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\r\n"
       "\"4 About\"=\"Help,about glintwave,Glintwave.About\"\r\n"},
      {"a button on PowerPoint's bar",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\r\n"
       "\"Glintwave 4 Help\"=\"standard,Glintwave Help,Glintwave.Help,tkw.glintwave.help,"
       "Glintwave,help.bmp\"\r\n"},
      {"a button on the product's bar",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\r\n"
       "\"Glintwave 4 New\"=\"GLINTWAVE,&New Deck,Glintwave.NewDeck,tkw.glintwave.new,"
       "Glintwave,new.bmp\"\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    RunProgram();
    AppendToRegistry(std::string("\r\n") + c.lines);
    const std::string planned = Remove(/*plan=*/true);
    EXPECT_EQ(Remove(/*plan=*/false), planned);
    EXPECT_NE(planned.find("6 controls and 1 bar removed"), std::string::npos) << planned;
  }
}

// Controls added to PowerPoint by hand, as a user or another program adds them.
tkw::host::CommandBarControl AddControl(const tkw::host::CommandBarControls& controls,
                                        std::int16_t type, const std::wstring& caption,
                                        const std::wstring& tag = L"") {
  const tkw::host::MissingArgument missing;
  const auto control = controls.Add(type, missing, missing, missing, missing);
  control.SetCaption(caption);
  control.SetTag(tag);
  return control;
}
tkw::host::CommandBarControls MenuControls(const tkw::host::Application& app,
                                           const std::wstring& menu) {
  return tkw::host::QueryInterface<tkw::host::CommandBarPopup>(
             app.CommandBars().Item(L"Menu Bar").Controls().Item(menu))
      .Controls();
}
// Deletes a bar's controls from its first, leaving `keep` of its last.
void EmptyBar(const tkw::host::CommandBar& bar, std::int32_t keep = 0) {
  while (bar.Controls().Count().value_or(0) > keep)
    bar.Controls().Item(std::int32_t{1}).Delete();
}
// The definition's button moved by hand into a pop-up "More" at the end of its bar.
void MoveIntoPopup(const tkw::host::Application& app) {
  const auto bar = app.CommandBars().Item(L"Glintwave");
  const auto more = tkw::host::QueryInterface<tkw::host::CommandBarPopup>(
      AddControl(bar.Controls(), tkw::host::office::msoControlPopup, L"More"));
  AddControl(more.Controls(), tkw::host::office::msoControlButton, L"&New Deck",
             L"tkw.glintwave.new");
  bar.Controls().Item(std::int32_t{1}).Delete();
}

// After a run, PowerPoint as users and other programs leave it: the removal takes exactly what
// the plan lists, nothing of theirs, never PowerPoint's own bar, and the product's bar once
// nothing is left on it.
TEST_F(DeploymentTest, RemovalIsThePlanWhateverWasChangedByHand) {
  using tkw::host::Application;
  const struct {
    const char* what;
    const char* lines;  // definitions added to the example's
    std::function<void(const Application&)> change;
    const char* counts;  // the last line of both
    const char* kept;    // still in PowerPoint's state after the removal, if anything
  } cases[] = {
      {"a second spelling of a menu control, beside the user's own control of that caption",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\r\n"
       "\"4 About\"=\"Help,about glintwave,Glintwave.About\"\r\n",
       [](const Application& app) {
         AddControl(MenuControls(app, L"&Help"), tkw::host::office::msoControlButton,
                    L"About Glintwave", L"users.about");
       },
       "6 controls and 1 bar removed", "users.about"},
      {"PowerPoint's own bar, emptied by hand but for the definition's button",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\r\n"
       "\"Glintwave 4 Bold\"=\"Formatting,Glintwave Bold,Glintwave.Bold,tkw.glintwave.bold,"
       "Glintwave,new.bmp\"\r\n",
       [](const Application& app) { EmptyBar(app.CommandBars().Item(L"Formatting"), 1); },
       "7 controls and 1 bar removed", "\"Formatting\""},
      {"the product's bar, its buttons deleted by hand", "",
       [](const Application& app) { EmptyBar(app.CommandBars().Item(L"Glintwave")); },
       "4 controls and 1 bar removed", nullptr},
      {"a definition's button inside a pop-up on the product's bar", "", MoveIntoPopup,
       "6 controls and 0 bars removed", "\"More\""},
      {"the user's pop-up with a menu definition's caption, in place of its control", "",
       [](const Application& app) {
         const auto insert = MenuControls(app, L"&Insert");
         insert.Item(L"Glintwave Chart...").Delete();
         AddControl(insert, tkw::host::office::msoControlPopup, L"Glintwave Chart...");
       },
       "5 controls and 1 bar removed", "Glintwave Chart..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    AppendToRegistry(std::string("\r\n") + c.lines);
    RunProgram();
    {
      tkw::emulated::EmulatedWindows host(machine_);
      c.change(StartPowerPoint(host));
    }
    const std::string planned = Remove(/*plan=*/true);
    EXPECT_EQ(Remove(/*plan=*/false), planned);
    EXPECT_NE(planned.find(std::string(c.counts) + "\n"), std::string::npos) << planned;
    EXPECT_EQ(planned.find("error"), std::string::npos) << planned;
    if (c.kept != nullptr) {
      EXPECT_NE(State().find(c.kept), std::string::npos) << c.kept << " is gone";
    }
  }
}

// What tkwcheck --installed finds for one definition, with PowerPoint as a run, a user or a
// later definition left it.
TEST_F(DeploymentTest, FindsEachDefinitionAsTheProgramFindsIt) {
  using tkw::host::Application;
  const auto noChange = [](const Application&) {};
  const auto restyle = [](const std::wstring& bar, const std::wstring& menu,
                          const std::wstring& caption) {
    return [=](const Application& app) {
      const auto controls =
          menu.empty() ? app.CommandBars().Item(bar).Controls() : MenuControls(app, menu);
      tkw::host::QueryInterface<tkw::host::CommandBarButton>(controls.Item(caption)).SetStyle(1);
    };
  };
  const std::string longName(1024, 'n');
  const struct {
    const char* what;
    std::string lines;  // added to the example's registry, from line 26 on
    bool run;           // the program runs before the change
    std::function<void(const Application&)> change;
    int line;
    const char* rule;     // nullptr: no finding for the line at all
    const char* message;  // part of the finding's message
  } cases[] = {
      {"a value name too long to read ends the toolbar definitions",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\r\n\"" + longName +
           "\"=\"Glintwave,Long,Long,tkw.long,Glintwave,new.bmp\"\r\n"
           "\"after\"=\"Glintwave,After,After,tkw.after,Glintwave,new.bmp\"\r\n",
       false, noChange, 28, nullptr, ""},
      {"a tag inside a pop-up", "", true, MoveIntoPopup, 13, "different",
       "the button with tag 'tkw.glintwave.new' on the bar 'Glintwave' has"},
      {"a pop-up with a menu definition's caption", "", false,
       [](const Application& app) {
         AddControl(MenuControls(app, L"&Tools"), tkw::host::office::msoControlPopup,
                    L"Glintwave Options...");
       },
       23, "missing", "missing: the control 'Glintwave Options...'"},
      {"a button's style", "", true, restyle(L"Standard", L"", L"Glintwave Help"), 15, "different",
       "style 1 (defined 3)"},
      {"a menu control's style, where it has an image", "", true,
       restyle(L"", L"&Tools", L"Glintwave Options..."), 23, "different", "style 1 (defined 3)"},
      {"PowerPoint's own menu control",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\r\n"
       "\"4 Spelling\"=\"&Tools,&Spelling...,Glintwave.Spell\"\r\n",
       false, noChange, 27, "different", "'&Spelling...' in the menu '&Tools' is PowerPoint's own"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    AppendToRegistry("\r\n" + c.lines);
    if (c.run)
      RunProgram();
    {
      tkw::emulated::EmulatedWindows host(machine_);
      c.change(StartPowerPoint(host));
    }
    const std::vector<std::string> found = Installed();
    const std::string prefix = std::to_string(c.line) + " ";
    const auto at = std::find_if(found.begin(), found.end(),
                                 [&](const std::string& f) { return f.starts_with(prefix); });
    if (c.rule == nullptr) {
      EXPECT_EQ(at, found.end()) << *at;
      continue;
    }
    ASSERT_NE(at, found.end());
    EXPECT_EQ(*at, prefix + c.rule);
    EXPECT_NE(messages_[at - found.begin()].find(c.message), std::string::npos)
        << messages_[at - found.begin()];
  }

  // An icon that gives no face says nothing of the face a button has.
  TearDown();
  SetUp();
  RunProgram();
  std::ofstream(machine_ / "drive_c" / "Program Files" / "Tarnwick" / "Glintwave" / "Addins" /
                "help.bmp")
      << "not a picture";
  EXPECT_EQ(Installed()[2], "15 installed") << messages_[2];
}

TEST_F(DeploymentTest, LeavesPowerPointsOwnAndTellsWhatDiffers) {
  // Definitions that name PowerPoint's own controls: a menu caption and a built-in bar's button.
  AppendToRegistry(
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\r\n"
      "\"4 Spelling\"=\"&Tools,&Spelling...,Glintwave.Spell\"\r\n");
  const std::string before = State();
  EXPECT_EQ(Remove(/*plan=*/false),
            "" + (machine_ / "registry.reg").string() +
                ":27: left the control '&Spelling...' in the menu '&Tools': it is "
                "PowerPoint's own\n0 controls and 0 bars removed\n");
  EXPECT_EQ(State(), before);

  RunProgram();  // the menu definition replaces PowerPoint's own, which is how menus work
  AppendToRegistry(
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\r\n"
      "\"Glintwave 2 Sync\"=\"Glintwave,S&ync Now,Glintwave.Sync,tkw.glintwave.sync,"
      "Glintwave,sync.bmp\"\r\n");
  {
    tkw::emulated::EmulatedWindows host(machine_);
    StartPowerPoint(host).CommandBars().Item(L"Glintwave").SetVisible(false);
  }
  // A new picture for line 15's icon has not reached users either.
  const fs::path addins =
      machine_ / "drive_c" / "Program Files" / "Tarnwick" / "Glintwave" / "Addins";
  fs::copy_file(addins / "new.bmp", addins / "help.bmp", fs::copy_options::overwrite_existing);
  const std::vector<std::string> installed = Installed();
  EXPECT_EQ(installed[0], "13 hidden");
  // The changed definition of line 14 now stands on line 30: its caption has not reached users.
  EXPECT_EQ(installed,
            (std::vector<std::string>{"13 hidden", "30 different", "15 different", "22 installed",
                                      "23 installed", "24 installed", "27 installed"}));
  EXPECT_NE(messages_[2].find("face other than the icon's (defined 'help.bmp')"), std::string::npos)
      << messages_[2];
  EXPECT_EQ(messages_[1].find("face"), std::string::npos) << "its face is its icon's";
  // Repair: removal, then a run.
  Remove(/*plan=*/false);
  RunProgram();
  EXPECT_EQ(Installed()[1], "30 installed");
  EXPECT_EQ(Installed()[2], "15 installed");
}

// With PowerPoint closed, what the program makes temporary is absent by design: its own bar
// with the buttons on it and every menu control. Only what lasts is judged, as the user and the
// next run at PowerPoint's start will find it.
TEST_F(DeploymentTest, JudgesByWhatLastsWhenPowerPointIsClosed) {
  using tkw::host::Application;
  const auto noChange = [](const Application&) {};
  const std::vector<std::string> lasting = {"13 temporary", "14 temporary", "15 installed",
                                            "22 temporary", "23 temporary", "24 temporary"};
  const struct {
    const char* what;
    const char* lines;  // added to the example's registry, from line 26 on
    std::function<void(const Application&)> change;  // after the close
    bool close;
    std::vector<std::string> found;
  } cases[] = {
      {"PowerPoint closed after a run", "", noChange, true, lasting},
      {"the lasting button deleted meanwhile",
       "",
       [](const Application& app) {
         app.CommandBars().Item(L"Standard").FindControl(1, L"tkw.glintwave.help", false).Delete();
       },
       true,
       {"13 temporary", "14 temporary", "15 missing", "22 temporary", "23 temporary",
        "24 temporary"}},
      {"PowerPoint running, judged as it is",
       "",
       noChange,
       false,
       {"13 installed", "14 installed", "15 installed", "22 installed", "23 installed",
        "24 installed"}},
      {"a bar that lasts: its button would last too",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\r\n"
       "\"Glintwave 4 Bold\"=\"Formatting,Glintwave Bold,Glintwave.Bold,tkw.glintwave.bold,"
       "Glintwave,new.bmp\"\r\n",
       [](const Application& app) {
         app.CommandBars()
             .Item(L"Formatting")
             .FindControl(1, L"tkw.glintwave.bold", false)
             .Delete();
       },
       true,
       {"13 temporary", "14 temporary", "15 installed", "27 missing", "22 temporary",
        "23 temporary", "24 temporary"}},
      {"a menu that is not there: no run adds to it",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\r\n"
       "\"4 Extras\"=\"&Glintwave,Extras,Glintwave.Extras\"\r\n",
       noChange,
       true,
       {"13 temporary", "14 temporary", "15 installed", "22 temporary", "23 temporary",
        "24 temporary", "27 missing"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    AppendToRegistry(std::string("\r\n") + c.lines);
    RunProgram();
    if (c.close)
      ClosePowerPoint();
    Change(c.change);
    const std::string before = State();
    EXPECT_EQ(Installed(), c.found);
    EXPECT_EQ(State(), before) << "looking changes nothing";
  }

  // The report says which case applied.
  std::ostringstream text, json;
  PrintInstalled(text, {}, /*powerPointRunning=*/false, Format::kText);
  PrintInstalled(json, {}, /*powerPointRunning=*/false, Format::kJson);
  EXPECT_TRUE(text.str().starts_with("note: PowerPoint is not running")) << text.str();
  EXPECT_NE(json.str().find("\"powerPointRunning\": false"), std::string::npos) << json.str();
  text.str("");
  PrintInstalled(text, {}, /*powerPointRunning=*/true, Format::kText);
  EXPECT_EQ(text.str(), "0 errors, 0 warnings\n");
}

// Whether PowerPoint runs is asked before anything starts it: the running object table holds the
// user's PowerPoint, or one that a client of this process keeps alive, and nothing else.
TEST_F(DeploymentTest, FindsARunningPowerPointWithoutStartingOne) {
  using tkw::host::kMkEUnavailable;
  const struct {
    const char* state;
    bool keepOneAlive;  // an application object of this process is alive
    const wchar_t* progId;
    long status;
  } cases[] = {
      {"{\"running\": true, \"commandBars\": []}", false, L"PowerPoint.Application", 0},
      {"{\"running\": false, \"commandBars\": []}", false, L"PowerPoint.Application",
       kMkEUnavailable},
      {"{\"running\": false, \"commandBars\": []}", true, L"PowerPoint.Application", 0},
      {"not JSON", false, L"PowerPoint.Application", kMkEUnavailable},
      {"{\"running\": true, \"commandBars\": []}", false, L"Nobody.Application",
       tkw::host::kCoEClassString},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    fs::create_directories(machine_ / "powerpoint");
    std::ofstream(machine_ / "powerpoint" / "commandbars.json") << c.state;
    tkw::emulated::EmulatedWindows host(machine_);
    tkw::host::DispatchPtr alive, active;
    if (c.keepOneAlive)
      alive = host.ole().CreateObject(L"PowerPoint.Application");
    EXPECT_EQ(host.ole().GetActiveObject(c.progId, &active), c.status);
    EXPECT_EQ(active != nullptr, c.status == 0);
    if (c.status != 0) {
      EXPECT_EQ(State(), c.state) << "nothing was started";
    }
  }
}

// A control that PowerPoint holds more than once: the button whose search failed on a busy
// PowerPoint and was added again, or a copy a user made. --installed warns, and one removal
// takes every copy, agreeing with its plan.
TEST_F(DeploymentTest, SeesAndRemovesEveryCopy) {
  using tkw::host::Application;
  using tkw::host::office::msoControlButton;
  using tkw::host::office::msoControlPopup;
  const auto copyHelp = [](const tkw::host::CommandBarControls& controls) {
    const auto copy =
        AddControl(controls, msoControlButton, L"Glintwave Help", L"tkw.glintwave.help");
    copy.SetOnAction(L"Glintwave.Help");
  };
  const auto copyAbout = [](const std::wstring& macro) {
    return [=](const Application& app) {
      AddControl(MenuControls(app, L"&Help"), msoControlButton, L"about glintwave")
          .SetOnAction(macro);
    };
  };
  const struct {
    const char* what;
    std::function<void(const Application&)> change;
    int line;
    const char* places;  // the duplicate warning's, or nullptr for none
    const char* counts;
  } cases[] = {
      {"the button added twice to its bar",
       [&](const Application& app) { copyHelp(app.CommandBars().Item(L"Standard").Controls()); },
       15, "at places 12 and 13", "7 controls and 1 bar removed"},
      {"a copy in a pop-up of the bar",
       [&](const Application& app) {
         const auto more = tkw::host::QueryInterface<tkw::host::CommandBarPopup>(
             AddControl(app.CommandBars().Item(L"Standard").Controls(), msoControlPopup, L"More"));
         AddControl(more.Controls(), msoControlButton, L"Other");
         copyHelp(more.Controls());
       },
       15, "at places 12 and 2 in the pop-up at 13", "7 controls and 1 bar removed"},
      {"a menu control copied, its macro with it", copyAbout(L"Glintwave.About"), 24,
       "at places 1 and 5", "7 controls and 1 bar removed"},
      {"the user's own control of that caption, running another macro", copyAbout(L"Users.About"),
       24, nullptr, "6 controls and 1 bar removed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    RunProgram();
    Change(c.change);
    const std::vector<std::string> found = Installed();
    const std::string duplicate = std::to_string(c.line) + " duplicate";
    const auto at = std::find(found.begin(), found.end(), duplicate);
    EXPECT_EQ(at != found.end(), c.places != nullptr) << duplicate;
    if (c.places != nullptr && at != found.end()) {
      EXPECT_NE(messages_[at - found.begin()].find(c.places), std::string::npos)
          << messages_[at - found.begin()];
    }
    const std::string planned = Remove(/*plan=*/true);
    EXPECT_EQ(Remove(/*plan=*/false), planned);
    EXPECT_NE(planned.find(std::string(c.counts) + "\n"), std::string::npos) << planned;
    if (c.places != nullptr) {
      EXPECT_EQ(Remove(/*plan=*/false), "0 controls and 0 bars removed\n") << "none is left";
    }
  }
}

// A toolbar definition for "Menu Bar" and a menu definition that name one control, as after the
// button was dragged into a menu: it is one control, listed and removed once.
TEST_F(DeploymentTest, KnowsAControlByWherePowerPointKeepsIt) {
  AppendToRegistry(
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\r\n"
      "\"Glintwave 4 Chart\"=\"menu bar,Glintwave Chart...,Glintwave.InsertChart,tkw.chart,"
      "Glintwave,chart.bmp\"\r\n");
  RunProgram();
  Change([](const tkw::host::Application& app) {
    // The run's button on the menu bar dragged onto the menu control of the same caption.
    app.CommandBars().Item(L"Menu Bar").FindControl(1, L"tkw.chart", false).Delete();
    MenuControls(app, L"&Insert").Item(L"Glintwave Chart...").SetTag(L"tkw.chart");
  });
  const std::string planned = Remove(/*plan=*/true);
  EXPECT_EQ(Remove(/*plan=*/false), planned);
  const std::string where = (machine_ / "registry.reg").string();
  EXPECT_NE(planned.find(where + ":27: removed the button 'Glintwave Chart...' with tag "
                                 "'tkw.chart' on the bar 'menu bar'\n"),
            std::string::npos)
      << planned;
  EXPECT_NE(planned.find(where + ":22: already removed by line 27\n"), std::string::npos)
      << planned;
  EXPECT_NE(planned.find("6 controls and 1 bar removed\n"), std::string::npos) << planned;
}

// A tool built beside the program, on the machine with the definitions of `file`: its exit
// status, and its standard output and error together.
std::pair<int, std::string> WithDefinitions(const char* tool, const std::string& arguments,
                                            const fs::path& machine, const fs::path& file) {
  const fs::path out = machine / "output.txt";
  const int status =
      std::system(("'" + std::string(tool) + "' " + arguments + " --prefix '" + machine.string() +
                   "' --definitions '" + file.string() + "' >'" + out.string() + "' 2>&1")
                      .c_str());
  return {WEXITSTATUS(status), ReadWhole(out)};
}

// An upgrade that changed a tag: the earlier version's export names the button its tag added,
// which the machine's definitions no longer do.
TEST_F(DeploymentTest, RemovesWhatAnEarlierVersionsExportDefines) {
  const fs::path old = machine_ / "old.reg";
  fs::copy_file(machine_ / "registry.reg", old);
  RunProgram();
  std::string registry = ReadWhole(machine_ / "registry.reg");
  registry.replace(registry.find("tkw.glintwave.help"), 18, "tkw.glintwave.help2");
  std::ofstream(machine_ / "registry.reg", std::ios::trunc) << registry;
  RunProgram();  // the new version's
  const auto [checked, found] = WithDefinitions(TKW_CHECK, "--installed", machine_, old);
  EXPECT_EQ(checked, 0);
  EXPECT_NE(found.find(old.string() + ":15: note: present as defined: the button with tag "
                                      "'tkw.glintwave.help' on the bar 'Standard' [installed]\n"),
            std::string::npos)
      << found;
  const auto [removed, said] = WithDefinitions(TKW_REMOVE, "", machine_, old);
  EXPECT_EQ(removed, 0);
  EXPECT_NE(said.find(old.string() + ":15: removed the button 'Glintwave Help' with tag "
                                     "'tkw.glintwave.help' on the bar 'Standard'\n"),
            std::string::npos)
      << said;
  EXPECT_NE(State().find("tkw.glintwave.help2"), std::string::npos) << "the new one stays";
  EXPECT_EQ(State().find("tkw.glintwave.help\""), std::string::npos) << "the old one is gone";

  // An export that cannot say what to remove: one line, and nothing changes.
  const struct {
    const char* text;  // nullptr: no file
    const char* says;
  } bad[] = {
      {nullptr, "cannot read"},
      {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n", "not a regedit export"},
      {"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n",
       "holds no key HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick"},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.says);
    const fs::path file = machine_ / "bad.reg";
    fs::remove(file);
    if (c.text != nullptr)
      std::ofstream(file) << c.text;
    const std::string before = State();
    const auto [status, error] = WithDefinitions(TKW_REMOVE, "", machine_, file);
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(error.starts_with("tkwremove: ") && error.find(c.says) != std::string::npos &&
                std::count(error.begin(), error.end(), '\n') == 1)
        << error;
    EXPECT_EQ(State(), before);
  }
}

TEST_F(DeploymentTest, CannotLookAtBadInput) {
  fs::create_directories(machine_ / "powerpoint");
  std::ofstream(machine_ / "powerpoint" / "commandbars.json") << "not JSON";
  tkw::emulated::EmulatedWindows host(machine_);
  EXPECT_THROW(StartPowerPoint(host), Unreadable);
  std::ofstream(machine_ / "registry.reg") << "no export";
  EXPECT_THROW(ReadRegistrySettings(machine_ / "registry.reg"), Unreadable);
}

// What a tool prints and what it leaves, run as its user runs it.
struct ToolRun {
  int status;
  std::string out, err;
};
ToolRun RunTool(const std::string& command) {
  const fs::path out = fs::temp_directory_path() / ("tkw_tool_out_" + std::to_string(::getpid()));
  const fs::path err = fs::temp_directory_path() / ("tkw_tool_err_" + std::to_string(::getpid()));
  const int status =
      std::system((command + " >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
  ToolRun run{WEXITSTATUS(status), ReadWhole(out), ReadWhole(err)};
  fs::remove(out);
  fs::remove(err);
  return run;
}

// Every file of the machine with its bytes, but for the emulated kernel's named mutexes (its
// processes' kernel objects, not the machine's state) and the copy of the program RunProgram
// runs.
std::map<std::string, std::string> MachineFiles(const fs::path& machine) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(machine)) {
    const std::string name = fs::relative(entry.path(), machine).string();
    if (!name.starts_with("mutexes") && !name.starts_with("app"))
      files[name] = entry.is_regular_file() ? ReadWhole(entry.path()) : "(folder)";
  }
  return files;
}

// Each tool says first which PowerPoint it judged against, and judges against a snapshot when
// given one; a snapshot that is none stops it with one line saying why, before it looks at
// anything. A snapshot is the one file --snapshot writes.
TEST_F(DeploymentTest, ToolsNameThePowerPointTheyJudgedAgainst) {
  const auto beside = [&](const char* name) {
    return machine_.parent_path() / (name + std::to_string(::getpid()));
  };
  const fs::path german = beside("tkw_german_"), bad = beside("tkw_bad_");
  const fs::path afterRun = beside("tkw_after_run_"), png = beside("tkw_png_");
  tkw::command_bars::SaveCommandBars(GermanMenus(), german);
  std::ofstream(bad) << R"({"commandBars": [{"name": "Menu Bar"}]})";
  const std::string m = "'" + machine_.string() + "'";
  const std::string check = std::string(TKW_CHECK) + " ", remove = std::string(TKW_REMOVE) + " ";
  const std::string reg = "'" + (machine_ / "registry.reg").string() + "'";

  // A snapshot of the machine after a run, which then has PowerPoint's own bars again.
  RunProgram();
  const auto ran = MachineFiles(machine_);
  const ToolRun taken = RunTool(check + "--snapshot '" + afterRun.string() + "' --prefix " + m);
  EXPECT_EQ(taken.status, 0) << taken.err;
  EXPECT_EQ(taken.out + taken.err, "");
  EXPECT_EQ(MachineFiles(machine_), ran) << "--snapshot wrote into the machine";
  const tkw::command_bars::CommandBarSet snapshot = tkw::snapshot::LoadSnapshot(afterRun).bars;
  EXPECT_NE(snapshot.Find(L"Glintwave"), nullptr);
  fs::remove_all(machine_ / "powerpoint");

  const auto in = [](const fs::path& file) {
    return "judged against the PowerPoint in " + file.string() + "\n";
  };
  const std::string here = "judged against the PowerPoint of this machine\n";
  const struct {
    std::string command;
    int status;
    std::string firstLine;  // of standard output; of standard error when the status is 2
    std::string lastLine;   // of standard output, when it matters
  } cases[] = {
      {check + reg, 0, "judged against PowerPoint's built-in English bars\n", ""},
      {check + "--prefix " + m, 0, here, ""},
      {check + "--powerpoint '" + german.string() + "' " + reg, 1, in(german), ""},
      {check + "--prefix " + m + " --powerpoint '" + german.string() + "'", 1, in(german), ""},
      {check + "--plan --prefix " + m, 0, here, ""},
      {check + "--plan --prefix " + m + " --powerpoint '" + german.string() + "'", 1, in(german),
       "The run completed.\n"},
      {remove + "--plan --prefix " + m, 0, here, "0 controls and 0 bars to remove\n"},
      {remove + "--plan --prefix " + m + " --powerpoint '" + afterRun.string() + "'", 0,
       in(afterRun), "6 controls and 1 bar to remove\n"},
#ifdef TKW_PREVIEW
      {std::string(TKW_PREVIEW) + " --out '" + png.string() + "' --powerpoint '" + german.string() +
           "'",
       0, "drew the PowerPoint in " + german.string() + "\n", ""},
#endif
      {check + "--powerpoint '" + bad.string() + "' " + reg, 2,
       "tkwcheck: " + bad.string() + ": commandBars[0]: \"type\" is missing\n", ""},
      {check + "--plan --prefix " + m + " --powerpoint '" + bad.string() + "'", 2,
       "tkwcheck: " + bad.string() + ": commandBars[0]", ""},
      {remove + "--plan --prefix " + m + " --powerpoint '" + bad.string() + "'", 2,
       "tkwremove: " + bad.string() + ": commandBars[0]", ""},
      {remove + "--prefix " + m + " --powerpoint '" + german.string() + "'", 2,
       "tkwremove: --powerpoint goes with --plan only\nusage: tkwremove", ""},
  };
  const auto before = MachineFiles(machine_);
  for (const auto& c : cases) {
    const ToolRun run = RunTool(c.command);
    EXPECT_EQ(run.status, c.status) << c.command << "\n" << run.err;
    const std::string& shown = c.status == 2 ? run.err : run.out;
    EXPECT_TRUE(shown.starts_with(c.firstLine)) << c.command << "\n" << shown;
    EXPECT_TRUE(run.out.ends_with(c.lastLine)) << c.command << "\n" << run.out;
    if (c.status == 2) {
      EXPECT_EQ(run.out, "") << c.command;
    }
    EXPECT_EQ(MachineFiles(machine_), before) << c.command;
  }
  for (const fs::path& file : {german, bad, afterRun, png})
    fs::remove(file);
}

// Every tool answers --help, -h and --version on standard output, and a command line it cannot
// take with one line on standard error naming the tool and what was wrong, then its usage.
TEST(ToolsTest, ShareOneCommandLineManner) {
  std::vector<std::pair<std::string, std::string>> tools = {{"tkwcheck", TKW_CHECK},
                                                            {"tkwremove", TKW_REMOVE}};
#ifdef TKW_PREVIEW
  tools.emplace_back("tkwpreview", TKW_PREVIEW);
#endif
  const struct {
    const char* arguments;
    int status;
    const char* firstLine;  // TOOL stands for the tool's name
    bool usageFollows;      // the second line begins "usage: TOOL"
  } cases[] = {
      {"--help", 0, "usage: TOOL ", false},
      {"-h", 0, "usage: TOOL ", false},
      {"--version", 0, "TOOL (tkwPPTToolbarAdder) " TKW_VERSION "\n", false},
      {"--no-such-option", 2, "TOOL: unknown option --no-such-option\n", true},
      {"--prefix", 2, "TOOL: --prefix needs a value\n", true},
      {"--prefix --plan", 2, "TOOL: --prefix needs a value\n", true},
  };
  for (const auto& [name, path] : tools) {
    for (const auto& c : cases) {
      const std::string command = name + " " + c.arguments;
      const ToolRun run = RunTool("'" + path + "' " + c.arguments);
      EXPECT_EQ(run.status, c.status) << command;
      const std::string& shown = c.status == 0 ? run.out : run.err;
      EXPECT_EQ(c.status == 0 ? run.err : run.out, "") << command;
      std::string first = c.firstLine;
      first.replace(first.find("TOOL"), 4, name);
      EXPECT_TRUE(shown.starts_with(first)) << command << "\n" << shown;
      if (c.usageFollows) {
        EXPECT_TRUE(shown.substr(shown.find('\n') + 1).starts_with("usage: " + name + " "))
            << command << "\n"
            << shown;
      }
    }
  }
}

// `command` as a user whom permissions hold back: root writes a read-only folder all the same,
// so as root it runs as "nobody"; empty where it cannot.
std::string AsUnprivileged(const std::string& command) {
  if (::geteuid() != 0)
    return command;
  if (fs::exists("/usr/bin/setpriv"))
    return "setpriv --reuid=65534 --regid=65534 --clear-groups " + command;
  return {};
}

// Makes every folder and file below `root` read-only, or writable again for its owner.
void SetWritable(const fs::path& root, bool writable) {
  const auto set = [&](const fs::path& path) {
    constexpr fs::perms kWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(path, writable ? fs::perms::owner_write : kWrite,
                    writable ? fs::perm_options::add : fs::perm_options::remove);
  };
  set(root);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_symlink())
      set(entry.path());
  }
}

// Every file and folder below `root` with its bytes and its time of last change.
std::map<std::string, std::pair<std::string, fs::file_time_type>> Stamps(const fs::path& root) {
  std::map<std::string, std::pair<std::string, fs::file_time_type>> stamps;
  stamps[""] = {"(folder)", fs::last_write_time(root)};
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    stamps[fs::relative(entry.path(), root).string()] = {
        entry.is_regular_file() ? ReadWhole(entry.path()) : "(folder)",
        fs::last_write_time(entry.path())};
  }
  return stamps;
}

// Every look, on a machine fresh, after a run and with PowerPoint closed since, leaves it as it
// was, to the byte and the time, and a read-only machine does not keep it from looking.
TEST_F(DeploymentTest, LooksChangeNothingOnAReadOnlyMachine) {
  const std::string m = "'" + machine_.string() + "'";
  const fs::path png = machine_.parent_path() / ("tkw_look_" + std::to_string(::getpid()) + ".png");
  std::vector<std::string> looks = {
      std::string(TKW_CHECK) + " --installed --prefix " + m,
      std::string(TKW_CHECK) + " --prefix " + m,
      std::string(TKW_CHECK) + " --plan --prefix " + m,
      std::string(TKW_CHECK) + " --machine --prefix " + m,
      std::string(TKW_CHECK) + " --snapshot - --prefix " + m,
      std::string(TKW_REMOVE) + " --plan --prefix " + m,
  };
#ifdef TKW_PREVIEW
  looks.push_back(std::string(TKW_PREVIEW) + " --prefix " + m + " --out '" + png.string() + "'");
#endif
  const bool readOnly = !AsUnprivileged("").empty() || ::geteuid() != 0;
  for (const char* state : {"fresh", "after a run", "PowerPoint closed"}) {
    if (state != std::string_view("fresh"))
      RunProgram();
    if (state == std::string_view("PowerPoint closed"))
      ClosePowerPoint();
    SetWritable(machine_, false);
    const auto before = Stamps(machine_);
    for (const std::string& look : looks) {
      fs::remove(png);
      const ToolRun run = RunTool(readOnly ? AsUnprivileged(look) : look);
      EXPECT_NE(run.status, 2) << state << ": " << look << "\n" << run.err;
      EXPECT_EQ(run.err, "") << state << ": " << look;
      EXPECT_TRUE(Stamps(machine_) == before) << state << ": " << look << " changed the machine";
    }
    SetWritable(machine_, true);
  }
  fs::remove(png);
}

// What stops a tool is told with its real cause, in one line that names the tool and the
// user's own paths.
TEST_F(DeploymentTest, ToolsTellTheRealCause) {
  const std::string m = "'" + machine_.string() + "'";
  const std::string check = std::string(TKW_CHECK) + " ", remove = std::string(TKW_REMOVE) + " ";
  const fs::path state = machine_ / "powerpoint" / "commandbars.json";
  const fs::path registry = machine_ / "registry.reg";
  const auto write = [](const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
  };
  const std::string example = ReadWhole(registry);
  const struct {
    const char* what;
    std::function<void()> prepare;
    std::string command;
    int status;
    std::string told;  // the first line of standard error (status 2) or output, or a part of it
    bool whole;        // whether `told` is the whole first line
  } cases[] = {
      {"a plan of a registry that is no export", [&] { write(registry, "garbage\n"); },
       check + "--plan --prefix " + m, 2,
       "tkwcheck: " + registry.string() + " is not a regedit export", false},
      {"a removal on a machine it cannot write", [&] { SetWritable(machine_, false); },
       AsUnprivileged(remove + "--prefix " + m), 2,
       "tkwremove: cannot write " + machine_.string() + ": Permission denied. Nothing was removed.",
       true},
      {"a state file that is not JSON", [&] { write(state, "{\"commandBars\": [\n  oops"); },
       check + "--prefix " + m, 2, "tkwcheck: " + state.string() + ": line 2, column 3: not JSON",
       true},
      {"the same for a removal", [&] { write(state, "{\"commandBars\": [\n  oops"); },
       remove + "--prefix " + m, 2, "tkwremove: " + state.string() + ": line 2, column 3: not JSON",
       true},
      {"a plan of a registry with a line regedit skips",
       [&] { write(registry, example + "\"broken=\"x\"\n"); }, check + "--plan --prefix " + m, 0,
       registry.string() + ":25: skipped malformed line (", false},
      {"the machine after a run: its buttons are the definitions' own", [&] { RunProgram(); },
       check + "--prefix " + m, 0,
       registry.string() + ":15: note: already there: PowerPoint's bar 'Standard' holds this "
                           "definition's button 'Glintwave Help'",
       false},
      {"an export whose icons are missing: not looked at",
       [&] { write(registry, example + "\"4 Gone\"=\"&Help,Gone,Mac,,Glintwave,gone.bmp\"\n"); },
       check + "'" + registry.string() + "'", 0,
       registry.string() + ":13: note: icons were not looked at", false},
#ifdef TKW_PREVIEW
      {"a picture that cannot be written", [] {},
       std::string(TKW_PREVIEW) + " --prefix " + m + " --out '" +
           (machine_ / "no folder" / "p.png").string() + "'",
       1,
       "tkwpreview: cannot write " + (machine_ / "no folder" / "p.png").string() +
           ": No such file or directory",
       true},
#endif
  };
  for (const auto& c : cases) {
    if (c.command.empty())
      continue;  // root without a way to give up its rights
    TearDown();
    SetUp();
    c.prepare();
    const ToolRun run = RunTool(c.command);
    SetWritable(machine_, true);
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err;
    const std::string& shown = c.status == 0 ? run.out : run.err;
    const std::string lines = c.status == 0 ? shown : shown.substr(0, shown.find('\n') + 1);
    EXPECT_NE(lines.find(c.whole ? c.told + "\n" : c.told), std::string::npos) << c.what << "\n"
                                                                               << shown;
    if (c.status == 2) {
      EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 1) << c.what << "\n" << shown;
    }
    for (const char* copy : {"tkwcheck-plan-", "tkw-snapshot-"})
      EXPECT_EQ(shown.find(copy), std::string::npos) << c.what << ": a temporary copy's path";
    EXPECT_EQ(shown.find("Message boxes:"), std::string::npos) << c.what;
  }
}

// tkwremove's second step: what the removal leaves of PowerPoint's own controls that menu
// definitions took is put back at its place among PowerPoint's own, with its Id, or the user is
// told how to get it back. The plan says the same lines.
TEST_F(DeploymentTest, PutsBackPowerPointsOwnControlsThatDefinitionsTook) {
  const auto close = [&] {
    tkw::command_bars::SetPowerPointRunning(machine_ / "powerpoint" / "commandbars.json", false);
  };
  const auto protectMenuBar = [&] {
    nlohmann::json state = nlohmann::json::parse(State());
    state["commandBars"][0]["protection"] = 1;
    std::ofstream(machine_ / "powerpoint" / "commandbars.json") << state.dump();
  };
  // A PowerPoint that knows "&Options..." by another Id than its fresh bars.
  const auto renumberOptions = [&] {
    nlohmann::json state = nlohmann::json::parse(
        tkw::command_bars::SerializeCommandBars(tkw::command_bars::BuiltInCommandBars()));
    for (auto& menu : state["commandBars"][0]["controls"]) {
      for (auto& command : menu["controls"]) {
        if (command["caption"] == "&Options...")
          command["id"] = 9522;
      }
    }
    fs::create_directories(machine_ / "powerpoint");
    std::ofstream(machine_ / "powerpoint" / "commandbars.json") << state.dump();
  };
  const auto deleteTools = [&] {
    tkw::emulated::EmulatedWindows host(machine_);
    StartPowerPoint(host).CommandBars().Item(L"Menu Bar").Controls().Item(L"&Tools").Delete();
  };
  const std::string own = "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\r\n";
  const std::string howTo =
      ": to get it back, choose View > Toolbars > Customize in PowerPoint, select \"Menu Bar\" on "
      "the Toolbars tab and click Reset, which also takes other add-ins' entries out of the menus";
  const struct {
    const char* what;
    std::string lines;               // added to the example's registry, from line 26 on
    bool run;                        // whether the program runs first
    std::function<void()> change;    // then what happens to PowerPoint
    std::vector<std::string> steps;  // "<line> <text>" of what is put back
    const char* tools;               // the Ids of the menu "&Tools" after the removal
  } cases[] = {
      {"the caption of PowerPoint's last control in its menu, PowerPoint still running",
       own + "\"4 Own\"=\"&Tools,&Options...,Glintwave.Own\"\r\n",
       true,
       [] {},
       {"27 puts back PowerPoint's own '&Options...' in the menu '&Tools' (Id 522), after "
        "'&Customize...'"},
       "2 7343 1764 797 522"},
      {"its first control, PowerPoint closed since",
       own + "\"4 Own\"=\"Tools,spelling...,Glintwave.Own\"\r\n",
       true,
       close,
       {"27 puts back PowerPoint's own '&Spelling...' in the menu '&Tools' (Id 2), before "
        "'&Research...'"},
       "2 7343 1764 797 522"},
      {"two neighbours, each put back beside the other",
       own + "\"4 Own\"=\"&Tools,&Options...,Glintwave.Own\"\r\n"
             "\"5 Own\"=\"&Tools,&Language...,Glintwave.Own\"\r\n"
             "\"6 Own\"=\"&Tools,&Customize...,Glintwave.Own\"\r\n",
       true,
       close,
       {"28 puts back PowerPoint's own '&Language...' in the menu '&Tools' (Id 1764), after "
        "'&Research...'",
        "29 puts back PowerPoint's own '&Customize...' in the menu '&Tools' (Id 797), after "
        "'&Language...'",
        "27 puts back PowerPoint's own '&Options...' in the menu '&Tools' (Id 522), after "
        "'&Customize...'"},
       "2 7343 1764 797 522"},
      {"no run yet: nothing taken",
       own + "\"4 Own\"=\"&Tools,&Options...,Glintwave.Own\"\r\n",
       false,
       [] {},
       {},
       "2 7343 1764 797 522"},
      {"no run yet, in a PowerPoint that knows the command by another Id",
       own + "\"4 Own\"=\"&Tools,&Options...,Glintwave.Own\"\r\n",
       false,
       renumberOptions,
       {},
       "2 7343 1764 797 9522"},
      {"a menu bar protected against customizing",
       own + "\"4 Own\"=\"&Tools,&Options...,Glintwave.Own\"\r\n",
       true,
       protectMenuBar,
       {"27 error: PowerPoint refuses to put back PowerPoint's own '&Options...' in the menu "
        "'&Tools' (Id 522), after '&Customize...'" +
        howTo},
       "1 2 7343 1764 797 1"},
      {"the menu gone",
       own + "\"4 Own\"=\"&Tools,&Options...,Glintwave.Own\"\r\n",
       true,
       deleteTools,
       {"27 error: cannot put back PowerPoint's own '&Options...' in the menu '&Tools': "
        "PowerPoint has no menu '&Tools'" +
        howTo},
       ""},
  };
  const auto restore = [&](bool plan) {
    tkw::emulated::EmulatedWindows host(machine_);
    const auto app = StartPowerPoint(host);
    tkw::remove::RemoveInstalled(app, Definitions(), plan);
    return tkw::remove::RestorePowerPointsOwn(app, Definitions(),
                                              tkw::command_bars::BuiltInCommandBars(), plan);
  };
  const auto lines = [](const tkw::remove::Restored& restored) {
    std::vector<std::string> steps;
    for (const tkw::remove::Step& step : restored.steps)
      steps.push_back(std::to_string(step.place.line) + " " + step.text);
    return steps;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    AppendToRegistry(c.lines);
    if (c.run)
      RunProgram();
    c.change();
    const tkw::remove::Restored planned = restore(/*plan=*/true);
    EXPECT_EQ(lines(planned), c.steps);
    const tkw::remove::Restored done = restore(/*plan=*/false);
    std::vector<std::string> told;
    for (const std::string& step : c.steps)
      told.push_back(tkw::test_support::PlanAsDone(step));
    EXPECT_EQ(lines(done), told);
    EXPECT_EQ(done.failed, !c.steps.empty() && c.steps[0].find("error") != std::string::npos);
    std::string ids;
    const tkw::command_bars::CommandBarSet after =
        tkw::command_bars::LoadCommandBars(machine_ / "powerpoint" / "commandbars.json");
    if (const auto* tools = after.Find(L"Menu Bar")->controls().FindByCaption(L"&Tools")) {
      tools->controls()->VisitUntil([&](const tkw::command_bars::Control& control) {
        ids += (ids.empty() ? "" : " ") + std::to_string(control.properties().id);
        return false;
      });
    }
    EXPECT_EQ(ids, c.tools);
    // A second removal finds PowerPoint's own back, or cannot put it back again.
    EXPECT_EQ(lines(restore(/*plan=*/false)), done.failed ? told : std::vector<std::string>{});
  }
}

TEST_F(DeploymentTest, RemovalWaitsForTheProgramsGuard) {
  tkw::emulated::EmulatedWindows host(machine_);
  const tkw::host::Handle held = host.kernel().CreateMutexA(true, "tkwPPTToolbarAdder");
  const int status = std::system(("'" + std::string(TKW_REMOVE) + "' --prefix '" +
                                  machine_.string() + "' 2>/dev/null >/dev/null")
                                     .c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_FALSE(fs::exists(machine_ / "powerpoint")) << "PowerPoint is not even looked at";
  host.kernel().CloseHandle(held);
}

// tkwcheck --machine: a machine of every fact, each case changing what would break a run.
using tkw::host::Architecture;
using tkw::host::ImageFile;
using tkw::host::RegistryView;
using tkw::host::WriteAccess;

constexpr wchar_t kPowerPointClass[] = L"{91493441-5A91-11CF-8700-00AA0060263B}";
constexpr wchar_t kClipboardClass[] = L"{6C1B6E43-2F7D-4E43-9A3E-5C8E0F3A7D21}";
constexpr const wchar_t* kOfficeIids[] = {
    L"{000C0302-0000-0000-C000-000000000046}", L"{000C0304-0000-0000-C000-000000000046}",
    L"{000C0306-0000-0000-C000-000000000046}", L"{000C0308-0000-0000-C000-000000000046}",
    L"{000C030A-0000-0000-C000-000000000046}", L"{000C030E-0000-0000-C000-000000000046}",
    L"{91493442-5A91-11CF-8700-00AA0060263B}"};
const ImageFile k32BitImage{ImageFile::State::kImage, Architecture::kX86, false};
const ImageFile k64BitImage{ImageFile::State::kImage, Architecture::kX64, false};

// 64-bit Windows with 32-bit Office, the program installed below Program Files (x86), run by
// the standard user "ann" in her session while her PowerPoint runs.
class FakeMachine final : public tkw::host::MachineFacts {
 public:
  FakeMachine() {
    servers[{RegistryView::kProgram, kPowerPointClass, false}] = {
        L"C:\\Program Files (x86)\\Microsoft Office\\Office16\\POWERPNT.EXE", k32BitImage};
    servers[{RegistryView::kProgram, kClipboardClass, true}] = {
        L"C:\\Program Files (x86)\\Tarnwick\\AtlClipBoard.dll", k32BitImage};
    for (const wchar_t* iid : kOfficeIids) {
      interfaces[{RegistryView::kProgram, iid}] = {
          true, tkw::host::RegisteredFile{L"C:\\Office\\MSO.DLL", k32BitImage}};
    }
  }
  using ServerKey = std::tuple<RegistryView, std::wstring, bool>;

  Architecture program = Architecture::kX86;
  std::map<std::wstring, std::wstring> classes = {{L"PowerPoint.Application", kPowerPointClass},
                                                  {L"AtlClipBoard.Clipboard", kClipboardClass}};
  std::map<ServerKey, tkw::host::RegisteredFile> servers;
  std::map<std::pair<RegistryView, std::wstring>, tkw::host::InterfaceRegistration> interfaces;
  tkw::host::RunningProcess self{100, 1, tkw::host::ProcessIdentity{L"TARNWICK\\ann"}};
  std::vector<tkw::host::RunningProcess> powerPoints = {
      {200, 1, tkw::host::ProcessIdentity{L"TARNWICK\\ann"}}};
  std::uint32_t codePage = 1252;
  std::wstring folder = L"C:\\Program Files (x86)\\Tarnwick";
  std::map<std::wstring, WriteAccess> access = {{folder, WriteAccess::kWritable}};
  ImageFile programImage = k32BitImage;
  bool virtualization = true;

  Architecture ProgramArchitecture() override { return program; }
  bool HasOtherView() override { return true; }
  std::optional<std::wstring> ClassOf(const std::wstring& progId) override {
    const auto found = classes.find(progId);
    return found == classes.end() ? std::nullopt : std::optional(found->second);
  }
  std::optional<tkw::host::RegisteredFile> Server(RegistryView view, const std::wstring& clsid,
                                                  bool inProcess) override {
    const auto found = servers.find({view, clsid, inProcess});
    return found == servers.end() ? std::nullopt : std::optional(found->second);
  }
  std::optional<tkw::host::InterfaceRegistration> Interface(RegistryView view,
                                                            const std::wstring& iid) override {
    const auto found = interfaces.find({view, iid});
    return found == interfaces.end() ? std::nullopt : std::optional(found->second);
  }
  tkw::host::RunningProcess Self() override { return self; }
  std::uint32_t ConsoleSession() override { return 1; }
  std::vector<tkw::host::RunningProcess> PowerPoints() override { return powerPoints; }
  std::uint32_t AnsiCodePage() override { return codePage; }
  std::wstring ExecutableFolder() override { return folder; }
  std::wstring ProgramFile() override { return folder + L"\\tkwPPTToolbarAdder.exe"; }
  WriteAccess Access(const std::wstring& path) override {
    const auto found = access.find(path);
    return found == access.end() ? WriteAccess::kMissing : found->second;
  }
  ImageFile Inspect(const std::wstring&) override { return programImage; }
  bool VirtualizationAllowed() override { return virtualization; }
  std::vector<std::wstring> VirtualizedFolders() override {
    return {L"C:\\Program Files", L"C:\\Program Files (x86)", L"C:\\ProgramData", L"C:\\Windows"};
  }
  std::wstring LocalAppData() override { return L"C:\\Users\\ann\\AppData\\Local"; }
};

struct MachineCase {
  const char* what;
  std::function<void(FakeMachine&)> change;
  bool logging;
  std::vector<std::string> expected;  // "<severity> <rule>" of each error and warning
  std::string mentioned;              // in one of the findings' messages, when not empty
};

TEST(WholeMachineTest, SaysWhyARunCannotWorkHere) {
  using P = tkw::host::RunningProcess;
  using I = tkw::host::ProcessIdentity;
  const auto sixtyFourBitOffice = [](FakeMachine& m) {
    m.servers.erase({RegistryView::kProgram, kPowerPointClass, false});
    m.servers[{RegistryView::kOther, kPowerPointClass, false}] = {
        L"C:\\Program Files\\Microsoft Office\\root\\Office16\\POWERPNT.EXE", k64BitImage};
    m.interfaces.clear();
  };
  const auto refused = [](FakeMachine& m) { m.access[m.folder] = WriteAccess::kRefused; };
  const MachineCase cases[] = {
      {"32-bit Office beside the 32-bit program", [](FakeMachine&) {}, true, {}, ""},
      {"64-bit Office: PowerPoint and Office's interfaces only for 64-bit programs",
       sixtyFourBitOffice,
       true,
       {"warning office-interfaces"},
       "registered only for 64-bit programs: C:\\Program Files\\Microsoft Office\\root\\Office16"
       "\\POWERPNT.EXE, a 64-bit program, which COM starts for the 32-bit program"},
      {"64-bit Office registered for both: its calls cross architectures",
       [](FakeMachine& m) {
         m.servers[{RegistryView::kProgram, kPowerPointClass, false}].image = k64BitImage;
       },
       true,
       {},
       "over IDispatch, which Windows marshals for both"},
      {"an interface without its type library's win32 file",
       [](FakeMachine& m) {
         m.interfaces[{RegistryView::kProgram, kOfficeIids[5]}].typeLibrary.reset();
       },
       true,
       {"warning office-interfaces"},
       "Office's interfaces CommandBarButton are not"},
      {"the clipboard component registered for 64-bit programs only",
       [](FakeMachine& m) {
         m.servers[{RegistryView::kOther, kClipboardClass, true}] =
             m.servers[{RegistryView::kProgram, kClipboardClass, true}];
         m.servers.erase({RegistryView::kProgram, kClipboardClass, true});
       },
       true,
       {"error clipboard-other-architecture"},
       "logs \"AtlClipBoard object not obtained\" for each face, and the user's clipboard is "
       "lost"},
      {"a 64-bit DLL registered for 32-bit programs",
       [](FakeMachine& m) {
         m.servers[{RegistryView::kProgram, kClipboardClass, true}].image = k64BitImage;
       },
       true,
       {"error clipboard-not-loadable"},
       "a 64-bit DLL that a 32-bit program cannot load"},
      {"the clipboard component's DLL deleted",
       [](FakeMachine& m) {
         m.servers[{RegistryView::kProgram, kClipboardClass, true}].image = {};
       },
       true,
       {"error clipboard-not-loadable"},
       ""},
      {"no clipboard component",
       [](FakeMachine& m) { m.classes.erase(L"AtlClipBoard.Clipboard"); },
       true,
       {"error clipboard-not-registered"},
       ""},
      {"no PowerPoint: its interfaces are not looked at",
       [](FakeMachine& m) {
         m.classes.erase(L"PowerPoint.Application");
         m.interfaces.clear();
       },
       true,
       {"error powerpoint-not-registered"},
       ""},
      {"PowerPoint's server deleted",
       [](FakeMachine& m) {
         m.servers[{RegistryView::kProgram, kPowerPointClass, false}].image = {};
       },
       true,
       {"error powerpoint-server-missing"},
       ""},
      {"a deployment tool runs it as SYSTEM: the user's PowerPoint is not its business",
       [](FakeMachine& m) {
         m.self = P{4, 0, I{L"NT AUTHORITY\\SYSTEM", true, true}};
       },
       true,
       {"error system-account"},
       "in session 0 (the console's is session 1)"},
      {"a task that runs whether the user is logged on or not, in session 0",
       [](FakeMachine& m) { m.self.session = 0; },
       true,
       {"error session-0"},
       ""},
      {"an elevated PowerPoint",
       [](FakeMachine& m) {
         m.powerPoints = {P{200, 1, I{L"TARNWICK\\ann", true}}};
       },
       true,
       {"warning powerpoint-elevated"},
       "PowerPoint runs elevated and this look does not"},
      {"an elevated look at a plain PowerPoint",
       [](FakeMachine& m) { m.self.identity->elevated = true; },
       true,
       {"warning powerpoint-elevated"},
       "this look runs elevated and PowerPoint does not"},
      {"another user's PowerPoint in this session, and one that cannot be looked into",
       [](FakeMachine& m) {
         m.powerPoints = {P{200, 1, I{L"TARNWICK\\admin"}}, P{201, 1, std::nullopt}};
       },
       true,
       {"warning powerpoint-other-user", "warning powerpoint-unseen"},
       "as TARNWICK\\admin"},
      {"other users' PowerPoints in their own sessions",
       [](FakeMachine& m) {
         m.powerPoints = {P{300, 2, I{L"TARNWICK\\bob"}}, P{301, 3, std::nullopt}};
       },
       true,
       {},
       "PowerPoint is not running in this session"},
      {"UTF-8 as the ANSI code page",
       [](FakeMachine& m) { m.codePage = 65001; },
       true,
       {},
       "65001 (UTF-8)"},
      {"a Japanese ANSI code page",
       [](FakeMachine& m) { m.codePage = 932; },
       true,
       {"warning code-page"},
       ""},
      {"a folder the standard user may not write: the VirtualStore",
       refused,
       true,
       {"warning virtual-store"},
       "the log lands in C:\\Users\\ann\\AppData\\Local\\VirtualStore\\Program Files (x86)"
       "\\Tarnwick\\tkwtbrloggin.txt"},
      {"a log an earlier run left that the user may not write",
       [](FakeMachine& m) { m.access[m.folder + L"\\tkwtbrloggin.txt"] = WriteAccess::kRefused; },
       true,
       {"warning virtual-store"},
       ""},
      {"the x86_64 build, which UAC never virtualizes",
       [&](FakeMachine& m) {
         refused(m);
         m.programImage = k64BitImage;
       },
       true,
       {"error folder-refused"},
       "\"StartLogging: Permission denied\""},
      {"a folder outside Program Files",
       [](FakeMachine& m) {
         m.folder = L"C:\\Tarnwick";
         m.access = {{m.folder, WriteAccess::kRefused}};
       },
       true,
       {"error folder-refused"},
       "UAC virtualizes only what lies below"},
      {"UAC virtualization off",
       [&](FakeMachine& m) { refused(m), m.virtualization = false; },
       true,
       {"error folder-refused"},
       ""},
      {"a manifest that declares the execution level",
       [&](FakeMachine& m) { refused(m), m.programImage.declaresExecutionLevel = true; },
       true,
       {"error folder-refused"},
       ""},
      {"logging off: no message box, no marker",
       [&](FakeMachine& m) { refused(m), m.virtualization = false; },
       false,
       {"warning folder-refused"},
       "no message box appears"},
  };
  for (const MachineCase& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMachine machine;
    c.change(machine);
    std::vector<std::string> found;
    std::string messages;
    for (const Finding& f : JudgeMachine(machine, c.logging)) {
      EXPECT_TRUE(f.place.file.empty() && f.place.key.empty()) << f.message;
      if (f.severity != Severity::kNote)
        found.push_back((f.severity == Severity::kError ? "error " : "warning ") + f.rule);
      messages += f.message + "\n";
    }
    EXPECT_EQ(found, c.expected) << messages;
    EXPECT_NE(messages.find(c.mentioned), std::string::npos) << messages;
  }
}

TEST(WholeMachineTest, KnowsWhereTheVirtualStoreKeepsAFile) {
  const std::wstring local = L"C:\\Users\\ann\\AppData\\Local";
  EXPECT_EQ(VirtualStorePath(local, L"C:\\Program Files (x86)\\Tarnwick\\tkwtbrloggin.txt"),
            local + L"\\VirtualStore\\Program Files (x86)\\Tarnwick\\tkwtbrloggin.txt");
  EXPECT_EQ(VirtualStorePath(local + L"\\", L"D:\\"), local + L"\\VirtualStore");
  EXPECT_EQ(VirtualStorePath(local, L"\\\\server\\share\\tkwtbrloggin.txt"), L"");
  EXPECT_EQ(VirtualStorePath(L"", L"C:\\Tarnwick"), L"");
}

// A PE image of `machine`, with a manifest resource when `manifest` is not empty.
std::vector<std::uint8_t> PeImage(std::uint16_t machine, const std::string& manifest) {
  std::vector<std::uint8_t> b(0x600);
  const auto put = [&](std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
      b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  const bool plus = machine == tkw::formats::kMachineAmd64;
  const std::size_t optional = 0x98, optionalSize = plus ? 240 : 224;
  put(0, 0x5A4D, 2), put(0x3C, 0x80, 4), put(0x80, 0x4550, 4);
  put(0x84, machine, 2), put(0x86, 1, 2), put(0x94, optionalSize, 2);
  put(optional, plus ? 0x20B : 0x10B, 2), put(optional + (plus ? 108 : 92), 16, 4);
  // One section, .rsrc, at 0x1000 in memory and 0x400 in the file.
  const std::size_t section = optional + optionalSize;
  put(section + 8, 0x200, 4), put(section + 12, 0x1000, 4);
  put(section + 16, 0x200, 4), put(section + 20, 0x400, 4);
  if (!manifest.empty()) {
    put(optional + (plus ? 112 : 96) + 16, 0x1000, 4);
    // Type 24, name 1, language 0x409, then the data entry and the manifest.
    put(0x40E, 1, 2), put(0x410, 24, 4), put(0x414, 0x80000018, 4);
    put(0x426, 1, 2), put(0x428, 1, 4), put(0x42C, 0x80000030, 4);
    put(0x43E, 1, 2), put(0x440, 0x409, 4), put(0x444, 0x48, 4);
    put(0x448, 0x1058, 4), put(0x44C, static_cast<std::uint32_t>(manifest.size()), 4);
    std::copy(manifest.begin(), manifest.end(), b.begin() + 0x458);
  }
  return b;
}

TEST(WholeMachineTest, ReadsTheArchitectureAndExecutionLevelOfAnImage) {
  using tkw::formats::ImageFileOf;
  const std::string level = "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>";
  EXPECT_EQ(ImageFileOf(PeImage(tkw::formats::kMachineI386, "")).architecture, Architecture::kX86);
  EXPECT_FALSE(ImageFileOf(PeImage(tkw::formats::kMachineI386, "")).declaresExecutionLevel);
  const ImageFile declared = ImageFileOf(PeImage(tkw::formats::kMachineAmd64, level));
  EXPECT_EQ(declared.architecture, Architecture::kX64);
  EXPECT_TRUE(declared.declaresExecutionLevel);
  EXPECT_FALSE(
      ImageFileOf(PeImage(tkw::formats::kMachineI386, "<assembly/>")).declaresExecutionLevel);
  EXPECT_EQ(ImageFileOf(PeImage(0xAA64, "")).architecture, Architecture::kUnknown);
  // Cut anywhere, an image is never read past its end.
  const std::vector<std::uint8_t> whole = PeImage(tkw::formats::kMachineI386, level);
  for (std::size_t size = 0; size < whole.size(); size += 7) {
    const ImageFile cut = ImageFileOf(std::span(whole).first(size));
    EXPECT_EQ(cut.state == ImageFile::State::kImage, size >= 0x96) << size;
  }
  EXPECT_EQ(ImageFileOf(std::vector<std::uint8_t>{0x7F, 'E', 'L', 'F'}).state,
            ImageFile::State::kNotAnImage);
}

// The whole tool on the emulated example machine, and on one without the clipboard component.
TEST(WholeMachineTest, JudgesTheEmulatedMachine) {
  const auto check = [](const fs::path& machine, const std::string& arguments) {
    const fs::path out = fs::temp_directory_path() / ("tkw_machine_" + std::to_string(::getpid()));
    const int status =
        std::system(("'" + std::string(TKW_CHECK) + "' --machine --prefix '" + machine.string() +
                     "' " + arguments + " >'" + out.string() + "' 2>&1")
                        .c_str());
    const std::string output = ReadWhole(out);
    fs::remove(out);
    return std::pair{WEXITSTATUS(status), output};
  };
  const fs::path example = fs::path(TKW_SOURCE_DIR) / "examples" / "machine";
  const auto [status, json] = check(example, "--format json");
  EXPECT_EQ(status, 0) << json;
  const nlohmann::json report = nlohmann::json::parse(json);
  EXPECT_EQ(report["errors"], 0);
  EXPECT_EQ(report["warnings"], 0);
  EXPECT_EQ(report["findings"].size(), 7u) << json;

  const fs::path machine =
      fs::temp_directory_path() / ("tkw_no_clipboard_" + std::to_string(::getpid()));
  fs::create_directories(machine);
  std::string registry = ReadWhole(example / "registry.reg");
  registry.erase(registry.find("[HKEY_CLASSES_ROOT\\AtlClipBoard.Clipboard\\CLSID]"));
  std::ofstream(machine / "registry.reg") << registry;
  const auto [lost, text] = check(machine, "");
  EXPECT_EQ(lost, 1) << text;
  EXPECT_NE(text.find("error: the clipboard-backup component \"AtlClipBoard.Clipboard\" is not "
                      "registered"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n1 error, 0 warnings\n"), std::string::npos) << text;
  fs::remove_all(machine);
}

}  // namespace
