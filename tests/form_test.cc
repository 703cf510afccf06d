// The form's operations on an emulated machine, with the program's folder, the clock and the
// creation of automation objects under the test's control.
#include "run/frmTkwPPTToolbarAdder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "host/command_bars/command_bar_state.h"
#include "host/emulated_windows/emulated_windows.h"
#include "host/emulated_windows/system/windows_paths.h"
#include "host/office_interfaces.h"

namespace tkw {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// PowerPoint's object as the program holds it, noting each interface the program asks it
// for with the member whose result it is; the objects it hands out are noted alike. Across
// processes each question is a round trip to PowerPoint.
class NotingDispatch final : public host::Dispatch {
 public:
  using Asked = std::vector<std::pair<std::wstring, host::InterfaceId>>;
  NotingDispatch(host::DispatchPtr inner, std::wstring origin, std::shared_ptr<Asked> asked)
      : inner_(std::move(inner)), origin_(std::move(origin)), asked_(std::move(asked)) {}

  bool Supports(const host::InterfaceId& iid) override {
    asked_->emplace_back(origin_, iid);
    return inner_->Supports(iid);
  }
  host::Variant Invoke(const host::Member& member, host::InvokeKind kind,
                       std::span<const host::Variant> args) override {
    // The program hands PowerPoint no objects, only the values of its definitions.
    host::Variant result = inner_->Invoke(member, kind, args);
    if (auto* object = std::get_if<host::DispatchPtr>(&result); object && *object)
      *object = std::make_shared<NotingDispatch>(*object, std::wstring(member.name), asked_);
    return result;
  }

 private:
  host::DispatchPtr inner_;
  std::wstring origin_;
  std::shared_ptr<Asked> asked_;
};

// The emulated machine with seams: the program's folder, the clock, CreateObject, the pause and
// the destruction of windows.
class TestMachine final : public host::Host,
                          host::Shell,
                          host::Kernel,
                          host::Ole,
                          host::MessageWindows {
 public:
  explicit TestMachine(const std::string& registry, const fs::path& driveC = {})
      : root_(fs::temp_directory_path() /
              ("tkw-form-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::remove_all(root_);
    fs::create_directories(root_ / "prefix");
    fs::create_directories(app());
    std::ofstream(root_ / "prefix" / "registry.reg") << "Windows Registry Editor Version 5.00\n\n"
                                                     << registry;
    if (!driveC.empty())
      fs::copy(driveC, root_ / "prefix" / "drive_c", fs::copy_options::recursive);
    machine_.emplace(root_ / "prefix");
  }
  ~TestMachine() override { fs::remove_all(root_); }

  fs::path app() const { return root_ / "app"; }
  fs::path prefix() const { return root_ / "prefix"; }
  fs::path powerPointState() const { return prefix() / "powerpoint" / "commandbars.json"; }
  emulated::EmulatedWindows& emulated() { return *machine_; }
  std::optional<host::LocalTime> now;
  std::function<void(const std::wstring& progId)> onCreateObject;
  // When set, PowerPoint's objects note here the interfaces they are asked for.
  std::shared_ptr<NotingDispatch::Asked> asked;
  std::function<void()> onSleep;  // when set, Sleep returns at once
  std::function<void()> onDestroyWindow;

  host::Registry& registry() override { return machine_->registry(); }
  host::Kernel& kernel() override { return *this; }
  host::GlobalMemory& memory() override { return machine_->memory(); }
  host::Shell& shell() override { return *this; }
  host::Clipboard& clipboard() override { return machine_->clipboard(); }
  host::MessageWindows& windows() override { return *this; }
  host::Gdi& gdi() override { return machine_->gdi(); }
  host::Ole& ole() override { return *this; }

 private:
  host::Shell& realShell() { return machine_->shell(); }
  host::Kernel& realKernel() { return machine_->kernel(); }
  host::Ole& realOle() { return machine_->ole(); }

  std::string ExecutableFolder() override { return emulated::WindowsPaths::ToWindows(app()); }
  std::unique_ptr<host::TextFile> OpenTextFile(const std::string& path,
                                               host::FileMode mode) override {
    return realShell().OpenTextFile(path, mode);
  }
  void MessageBoxA(const std::string& text, const std::string& caption) override {
    realShell().MessageBoxA(text, caption);
  }
  std::string FormatShortDate(const host::LocalTime& time) override {
    return realShell().FormatShortDate(time);
  }
  std::string FormatLongTime(const host::LocalTime& time) override {
    return realShell().FormatLongTime(time);
  }

  host::Handle CreateMutexA(bool initialOwner, const std::string& name) override {
    return realKernel().CreateMutexA(initialOwner, name);
  }
  std::uint32_t GetLastError() override { return realKernel().GetLastError(); }
  bool CloseHandle(host::Handle handle) override { return realKernel().CloseHandle(handle); }
  bool DeleteFileA(const std::string& path) override { return realKernel().DeleteFileA(path); }
  std::wstring AnsiToWide(std::string_view ansi) override { return realKernel().AnsiToWide(ansi); }
  std::string WideToAnsi(std::wstring_view wide) override { return realKernel().WideToAnsi(wide); }
  host::LocalTime GetLocalTime() override { return now ? *now : realKernel().GetLocalTime(); }
  void Sleep(std::uint32_t milliseconds) override {
    onSleep ? onSleep() : realKernel().Sleep(milliseconds);
  }

  host::Handle CreateMessageWindow() override { return machine_->windows().CreateMessageWindow(); }
  bool DestroyWindow(host::Handle window) override {
    const bool destroyed = machine_->windows().DestroyWindow(window);
    if (onDestroyWindow)
      onDestroyWindow();
    return destroyed;
  }

  std::unique_ptr<host::Picture> LoadPicture(const std::wstring& path) override {
    return realOle().LoadPicture(path);
  }
  long OleTranslateColor(std::uint32_t colour, host::Handle palette,
                         host::ColorRef* result) override {
    return realOle().OleTranslateColor(colour, palette, result);
  }
  host::DispatchPtr CreateObject(const std::wstring& progId) override {
    if (onCreateObject)
      onCreateObject(progId);
    host::DispatchPtr object = realOle().CreateObject(progId);
    if (asked && progId == L"PowerPoint.Application")
      return std::make_shared<NotingDispatch>(object, L"CreateObject", asked);
    return object;
  }
  long GetActiveObject(const std::wstring& progId, host::DispatchPtr* object) override {
    return realOle().GetActiveObject(progId, object);
  }

  fs::path root_;
  std::optional<emulated::EmulatedWindows> machine_;
};

constexpr char kSettings[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n";

struct SwitchCase {
  const char* stored;  // the "Logging" line, or none
  std::int16_t expected;
};

class LoggingSwitchTest : public testing::TestWithParam<SwitchCase> {};

TEST_P(LoggingSwitchTest, ReadsTheStoredBytesAsA16BitNumber) {
  TestMachine machine(std::string(kSettings) + GetParam().stored + "\n");
  frmTkwPPTToolbarAdder form(machine);
  EXPECT_EQ(form.GetLoggingSwitchValue(), GetParam().expected) << GetParam().stored;
}

INSTANTIATE_TEST_SUITE_P(
    Readings, LoggingSwitchTest,
    testing::Values(SwitchCase{"\"Logging\"=dword:00000001", 1},
                    SwitchCase{"\"Logging\"=dword:00000000", 0},
                    SwitchCase{"\"Logging\"=dword:ffffffff", -1},
                    SwitchCase{"\"Logging\"=dword:00007fff", 32767},
                    SwitchCase{"\"Logging\"=dword:00008000", 0},      // overflows 16 bits
                    SwitchCase{"\"Logging\"=dword:00011170", 0},      // 70000
                    SwitchCase{"\"Logging\"=\"0\"", 0x30},            // bytes 0x30 0x00
                    SwitchCase{"\"Logging\"=hex:02", 2},              // fewer than 4 bytes
                    SwitchCase{"\"Logging\"=hex:01,00,00,00,00", 0},  // does not fit
                    SwitchCase{"\"logging\"=dword:00000003", 3},      // names ignore case
                    SwitchCase{"\"Other\"=dword:00000001", 0}));

struct IconPathCase {
  const char* installFolder;  // the "InstallFolder" line of the product "P", or none
  const char* image;
  const wchar_t* expected;
};

class IconPathTest : public testing::TestWithParam<IconPathCase> {};

TEST_P(IconPathTest, JoinsFolderAddinsAndImage) {
  TestMachine machine(std::string(kSettings) + "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\P]\n" +
                      GetParam().installFolder + "\n");
  frmTkwPPTToolbarAdder form(machine);
  EXPECT_EQ(form.GetIconFileNameWithPath(L"P", machine.kernel().AnsiToWide(GetParam().image)),
            GetParam().expected)
      << GetParam().installFolder;
}

const std::string kFolder1023 = "\"InstallFolder\"=\"C:\\\\" + std::string(1020, 'f') + "\"";
const std::wstring kPath1023 = L"C:\\" + std::wstring(1020, L'f') + L"\\Addins\\i.bmp";
const std::string kFolder1024 = "\"InstallFolder\"=\"C:\\\\" + std::string(1021, 'f') + "\"";

INSTANTIATE_TEST_SUITE_P(
    Folders, IconPathTest,
    testing::Values(
        IconPathCase{"\"InstallFolder\"=\"C:\\\\Prog\"", "i.bmp", L"C:\\Prog\\Addins\\i.bmp"},
        IconPathCase{"\"InstallFolder\"=\"C:\\\\Prog\\\\\"", "i.bmp", L"C:\\Prog\\Addins\\i.bmp"},
        IconPathCase{"\"InstallFolder\"=\"C:\"", "i.bmp", L"C:\\Addins\\i.bmp"},
        IconPathCase{"\"InstallFolder\"=\"C:/x\"", "i.bmp", L"C:/x\\Addins\\i.bmp"},
        IconPathCase{"\"InstallFolder\"=\"C:/\"", "i.bmp", L"C:/\\Addins\\i.bmp"},
        IconPathCase{"\"InstallFolder\"=\"C:\\\\Prog\"", "", L"C:\\Prog\\Addins\\"},
        // "C:\P", NUL, "rest": the folder ends at the NUL.
        IconPathCase{"\"InstallFolder\"=hex(1):43,00,3a,00,5c,00,50,00,00,00,72,00,00,00", "i.bmp",
                     L"C:\\P\\Addins\\i.bmp"},
        IconPathCase{kFolder1023.c_str(), "i.bmp", kPath1023.c_str()},
        IconPathCase{kFolder1024.c_str(), "i.bmp", L"Addins\\i.bmp"},
        IconPathCase{"\"Other\"=\"C:\\\\Prog\"", "i.bmp", L"Addins\\i.bmp"},
        IconPathCase{"\"InstallFolder\"=\"C:\\\\Caf\xe9\"", "\xe9.bmp",
                     L"C:\\Caf\u00e9\\Addins\\\u00e9.bmp"}));

struct DateLineCase {
  host::LocalTime now;
  const char* expected;
};

class FirstLogLineTest : public testing::TestWithParam<DateLineCase> {};

TEST_P(FirstLogLineTest, IsTheGeneralDateOfTheStart) {
  TestMachine machine(std::string(kSettings) + "\"Logging\"=dword:00000001\n");
  machine.now = GetParam().now;
  std::ofstream(machine.app() / "tkwtbrloggin.txt") << "an earlier run's log\r\n";
  frmTkwPPTToolbarAdder form(machine);
  form.Form_Load();
  const std::string log = ReadFile(machine.app() / "tkwtbrloggin.txt");
  EXPECT_EQ(log.substr(0, log.find("Creating Mutex")), std::string(GetParam().expected) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Times, FirstLogLineTest,
    testing::Values(DateLineCase{{2026, 12, 5, 16, 7, 9}, "12/5/2026 4:07:09 PM"},
                    DateLineCase{{2026, 12, 5, 0, 0, 0}, "12/5/2026"},
                    DateLineCase{{2026, 1, 31, 0, 0, 1}, "1/31/2026 12:00:01 AM"},
                    DateLineCase{{2026, 6, 30, 12, 0, 0}, "6/30/2026 12:00:00 PM"},
                    DateLineCase{{2027, 10, 11, 23, 59, 59}, "10/11/2027 11:59:59 PM"}));

TEST(StartedMarkerTest, MarkerAndGuardStayWhileTheBuildersWorkAndNotAfter) {
  TestMachine machine("[HKEY_CLASSES_ROOT\\PowerPoint.Application\\CLSID]\n@=\"{x}\"\n");
  const fs::path marker = machine.app() / "tkwtbrstrtd.txt";
  std::ofstream(marker) << "left by a run that was cut short";
  std::vector<std::string> seen;
  std::vector<bool> guarded;
  machine.onCreateObject = [&](const std::wstring&) {
    seen.push_back(ReadFile(marker));
    host::Kernel& kernel = machine.emulated().kernel();
    const host::Handle other = kernel.CreateMutexA(true, "tkwPPTToolbarAdder");
    guarded.push_back(kernel.GetLastError() == host::kErrorAlreadyExists);
    kernel.CloseHandle(other);
  };

  frmTkwPPTToolbarAdder form(machine);
  form.Form_Load();

  EXPECT_EQ(seen, std::vector<std::string>(2, "tkwtbar app is running\r\n"));
  EXPECT_EQ(guarded, std::vector<bool>(2, true));
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_FALSE(fs::exists(machine.app() / "tkwtbrloggin.txt"));
  EXPECT_FALSE(form.IsLoaded());
}

struct ValueNameCase {
  std::size_t length;
  bool read;
};

class ValueNameTest : public testing::TestWithParam<ValueNameCase> {};

TEST_P(ValueNameTest, IsReadUpTo1023Characters) {
  const std::string name(GetParam().length, 'n');
  TestMachine machine(std::string(kSettings) + "\"Logging\"=dword:00000001\n\"" + name +
                      "\"=\"Bar,Caption,Mac,tag,Prod,i.bmp\"\n");
  frmTkwPPTToolbarAdder form(machine);
  form.Form_Load();
  const std::string log = ReadFile(machine.app() / "tkwtbrloggin.txt");
  EXPECT_EQ(log.find("Addtoolbar " + name + "\r\n") != std::string::npos, GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ValueNameTest,
                         testing::Values(ValueNameCase{1, true}, ValueNameCase{1023, true},
                                         ValueNameCase{1024, false}));

TEST(PowerPointTest, KnowsTagsInPopUpsAndAddsMenuEntriesAsCustomCommands) {
  TestMachine machine(std::string(kSettings) +
                      "\"Logging\"=dword:00000001\n"
                      "\"a\"=\"Standard,Help,Mac,old,Prod,i.bmp\"\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\n"
                      "\"m\"=\"&Tools,Entry,Mac\"\n"
                      "[HKEY_CLASSES_ROOT\\PowerPoint.Application\\CLSID]\n@=\"{x}\"\n");
  // An earlier version left a button tagged "old" in a pop-up of "Standard".
  command_bars::CommandBarSet bars = command_bars::BuiltInCommandBars();
  command_bars::ControlProperties popup, button;
  popup.type = command_bars::ControlType::kPopup;
  popup.caption = L"Glintwave";
  button.caption = L"Old Help";
  button.tag = L"old";
  bars.Find(L"Standard")->controls().Insert(1, popup).controls()->Insert(1, button);
  fs::create_directories(machine.powerPointState().parent_path());
  command_bars::SaveCommandBars(bars, machine.powerPointState());

  frmTkwPPTToolbarAdder form(machine);
  form.Form_Load();

  EXPECT_NE(ReadFile(machine.app() / "tkwtbrloggin.txt").find("Button Help already exists"),
            std::string::npos);
  const command_bars::CommandBarSet after =
      command_bars::LoadCommandBars(machine.powerPointState());
  const command_bars::Control* tools = after.Find(L"Menu Bar")->controls().FindByCaption(L"&Tools");
  ASSERT_TRUE(tools && tools->controls());
  const command_bars::Control* entry = tools->controls()->FindByCaption(L"Entry");
  ASSERT_TRUE(entry);
  // Any other id would add one of PowerPoint's own commands.
  EXPECT_EQ(entry->properties().id, 1);
}

struct TypeCheckCase {
  bool toolbar;            // a toolbar definition, else a menu definition
  const char* definition;  // its value line
  const char* logged;      // the line the run logs after the definition's "Info:"
  NotingDispatch::Asked asked;
};

class TypeCheckTest : public testing::TestWithParam<TypeCheckCase> {};

// The run asks PowerPoint for an interface only where the kind of a control decides what it
// does: the menu must be a pop-up; the control of the caption, to be replaced, and the control
// to stand before must be buttons; a new control is used as a button. A control of another kind
// counts as not found. Every other object is used as the call returned it, unasked.
TEST_P(TypeCheckTest, AsksForButtonsAndPopUpsOnly) {
  const bool toolbar = GetParam().toolbar;
  TestMachine machine(std::string(kSettings) + "\"Logging\"=dword:00000001\n" +
                      (toolbar ? GetParam().definition : "") +
                      "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\n" +
                      (toolbar ? "" : GetParam().definition) +
                      "\n[HKEY_CLASSES_ROOT\\PowerPoint.Application\\CLSID]\n@=\"{x}\"\n");
  // A button among the menus, and a pop-up "Extras" in "&Tools".
  command_bars::CommandBarSet bars = command_bars::BuiltInCommandBars();
  command_bars::ControlProperties popup, button;
  popup.type = command_bars::ControlType::kPopup;
  popup.caption = L"Extras";
  button.caption = L"Glintwave";
  command_bars::ControlList& menus = bars.Find(L"Menu Bar")->controls();
  menus.Insert(menus.size() + 1, button);
  menus.FindByCaption(L"&Tools")->controls()->Insert(2, popup);
  fs::create_directories(machine.powerPointState().parent_path());
  command_bars::SaveCommandBars(bars, machine.powerPointState());
  machine.asked = std::make_shared<NotingDispatch::Asked>();

  frmTkwPPTToolbarAdder form(machine);
  form.Form_Load();

  const std::string log = ReadFile(machine.app() / "tkwtbrloggin.txt");
  const std::size_t next = log.find("\r\n", log.find("Info: ")) + 2;
  EXPECT_EQ(log.substr(next, log.find("\r\n", next) - next), GetParam().logged);
  EXPECT_EQ(*machine.asked, GetParam().asked);
  const command_bars::CommandBarSet after =
      command_bars::LoadCommandBars(machine.powerPointState());
  const command_bars::ControlList& tools =
      *after.Find(L"Menu Bar")->controls().FindByCaption(L"&Tools")->controls();
  bool extrasKept = false;
  for (std::size_t place = 1; place <= tools.size(); ++place)
    extrasKept |= tools.At(place).type() == command_bars::ControlType::kPopup &&
                  tools.At(place).properties().caption == L"Extras";
  EXPECT_TRUE(extrasKept);
}

using host::office::kIidCommandBarButton;
using host::office::kIidCommandBarPopup;

INSTANTIATE_TEST_SUITE_P(
    Controls, TypeCheckTest,
    testing::Values(TypeCheckCase{false,
                                  "\"m\"=\"Glintwave,Entry,Mac\"",
                                  "Menu not found",
                                  {{L"Item", kIidCommandBarPopup}}},
                    TypeCheckCase{false,
                                  "\"m\"=\"&Tools,Entry,Mac,Options...\"",
                                  "Do clean up",
                                  {{L"Item", kIidCommandBarPopup},
                                   {L"Item", kIidCommandBarButton},
                                   {L"Add", kIidCommandBarButton}}},
                    // The pop-up is no control of the caption, and no place to stand before.
                    TypeCheckCase{false,
                                  "\"m\"=\"&Tools,Extras,Mac\"",
                                  "BeforeBtn not found, add as first btn",
                                  {{L"Item", kIidCommandBarPopup},
                                   {L"Item", kIidCommandBarButton},
                                   {L"Add", kIidCommandBarButton}}},
                    TypeCheckCase{false,
                                  "\"m\"=\"&Tools,Entry,Mac,Extras\"",
                                  "BeforeBtn not found, add as first btn",
                                  {{L"Item", kIidCommandBarPopup},
                                   {L"Item", kIidCommandBarButton},
                                   {L"Add", kIidCommandBarButton}}},
                    TypeCheckCase{true,
                                  "\"t\"=\"Bar,Caption,Mac,tag,Prod,i.bmp\"",
                                  "ToolBar not exist",
                                  {{L"Add", kIidCommandBarButton}}}));

TEST(WholeRunTest, GivesBackEveryDrawingObjectAndMemoryBlock) {
  const fs::path example = fs::path(TKW_SOURCE_DIR) / "examples" / "machine";
  std::string registry = ReadFile(example / "registry.reg");
  registry.erase(0, registry.find('\n'));  // the machine adds the header itself
  TestMachine machine(registry, example / "drive_c");

  frmTkwPPTToolbarAdder form(machine);
  form.Form_Load();

  EXPECT_NE(ReadFile(machine.app() / "tkwtbrloggin.txt").find("Work completed successfully"),
            std::string::npos);
  EXPECT_EQ(machine.emulated().emulatedGdi().live_objects(), 0u);
  EXPECT_EQ(machine.emulated().emulatedMemory().live_blocks(), 0u);
}

}  // namespace
}  // namespace tkw
