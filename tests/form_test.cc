// The form's operations on an emulated machine, with the program's folder, the clock and the
// creation of automation objects under the test's control.
#include "run/frmTkwPPTToolbarAdder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "host/command_bars/command_bar_state.h"
#include "host/emulated_windows/emulated_windows.h"
#include "host/emulated_windows/system/windows_paths.h"

namespace tkw {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

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
    return realOle().CreateObject(progId);
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

// The clipboard component opens the clipboard once and, refused, saves nothing, so that its
// Restore empties the user's clipboard. Clipboard history holds the clipboard for a moment after
// every change, the Restore of the face before among them: the backup waits for it, and is made
// again when another program took the clipboard in the moment between.
TEST(ButtonFaceTest, TheBackupWaitsWhileAnotherProgramHoldsTheClipboard) {
  const struct {
    const char* taken;    // when another program takes the clipboard
    std::size_t heldFor;  // the pauses after which it lets go
    std::size_t pauses;   // all the face waits
  } cases[] = {{"never", 0, 0},
               {"before the backup", 3, 3},
               {"after the wait for it", 2, 2},
               // The wait's tries and SetData's: nothing more for the backup.
               {"before the backup", 100, 18}};
  for (const auto& c : cases) {
    TestMachine machine(
        "[HKEY_CLASSES_ROOT\\AtlClipBoard.Clipboard\\CLSID]\n@=\"{x}\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Prod]\n\"InstallFolder\"=\"C:\\\\Prog\"\n",
        fs::path(TKW_SOURCE_DIR) / "tests" / "scenarios" / "clipboard_restored" / "files" /
            "drive_c");
    emulated::EmulatedClipboard& clipboard = machine.emulated().emulatedClipboard();
    const std::vector<std::uint8_t> mine = {'m', 'i', 'n', 'e', 0};
    ASSERT_TRUE(clipboard.OpenClipboard(0));
    clipboard.WriteFormat(1, mine);
    clipboard.CloseClipboard();
    emulated::EmulatedGlobalMemory otherMemory;
    emulated::EmulatedClipboard other(machine.prefix(), otherMemory);
    bool taken = false;
    const auto take = [&](const char* when) {
      if (!taken && std::string(when) == c.taken)
        taken = other.OpenClipboard(0);
    };
    machine.onCreateObject = [&](const std::wstring&) { take("before the backup"); };
    machine.onDestroyWindow = [&] { take("after the wait for it"); };
    std::size_t pauses = 0;
    machine.onSleep = [&] {
      if (++pauses == c.heldFor)
        other.CloseClipboard();
    };

    frmTkwPPTToolbarAdder form(machine);
    form.EndButtonFace(form.BeginButtonFace(L"Prod", L"new.bmp"));
    other.CloseClipboard();

    EXPECT_EQ(taken, c.heldFor > 0) << c.taken;
    EXPECT_EQ(pauses, c.pauses) << c.taken;
    ASSERT_TRUE(clipboard.OpenClipboard(0));
    const auto formats = clipboard.ReadAllFormats();
    clipboard.CloseClipboard();
    ASSERT_EQ(formats.size(), 1u) << c.taken;
    EXPECT_EQ(formats[0].bytes, mine) << c.taken;
  }
}

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
