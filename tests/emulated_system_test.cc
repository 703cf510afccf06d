#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/emulated_windows/system/emulated_kernel.h"
#include "host/emulated_windows/system/emulated_shell.h"
#include "host/emulated_windows/system/windows_paths.h"
#include "host/runtime_error.h"

namespace tkw::emulated {
namespace {
namespace fs = std::filesystem;

// A prefix of its own for each test, with C:\Program Files\Tarnwick\Addins\Icon.bmp and a
// read-only ReadOnly.txt beside it.
class PrefixTest : public testing::Test {
 protected:
  PrefixTest() {
    std::string pattern = (fs::temp_directory_path() / "tkw-prefix-XXXXXX").string();
    prefix_ = ::mkdtemp(pattern.data());
    addins_ = prefix_ / "drive_c/Program Files/Tarnwick/Addins";
    fs::create_directories(addins_);
    std::ofstream(addins_ / "Icon.bmp") << "bmp";
    std::ofstream(addins_ / "ReadOnly.txt") << "x";
    fs::permissions(addins_ / "ReadOnly.txt", fs::perms::owner_read);
  }
  ~PrefixTest() override {
    fs::permissions(prefix_ / "drive_c", fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(prefix_);
  }

  fs::path prefix_, addins_;
};

TEST_F(PrefixTest, MapsDrivesAndMatchesNamesWithoutRegardToCase) {
  const WindowsPaths paths(prefix_);
  const std::pair<std::string, std::optional<fs::path>> cases[] = {
      {"C:\\program files\\TARNWICK\\addins\\icon.BMP", addins_ / "Icon.bmp"},
      {"c:/Program Files\\tarnwick\\New.txt", prefix_ / "drive_c/Program Files/Tarnwick/New.txt"},
      {"C:\\Program Files\\..\\..\\x", prefix_ / "drive_c/x"},
      {"Z:\\", "/"},
      {"z:\\proc\\.\\SELF", "/proc/self"},
      {"\\proc", "/proc"},
      {"D:\\x", std::nullopt},
      {"\\\\server\\share", std::nullopt},
      {"sub\\f\xE9.txt", fs::current_path() / "sub/f\xC3\xA9.txt"},
  };
  for (const auto& [windows, expected] : cases)
    EXPECT_EQ(paths.ToLinux(windows), expected) << windows;

  EXPECT_EQ(WindowsPaths::ToWindows("/work/main/build/"), "Z:\\work\\main\\build");
  EXPECT_EQ(WindowsPaths::ToWindows("/"), "Z:\\");
  EXPECT_EQ(WindowsPaths::ToWindows("/caf\xC3\xA9/\xE2\x98\x83"), "Z:\\caf\xE9\\?");
}

TEST_F(PrefixTest, DeletesFilesWithWindowsErrors) {
  EmulatedKernel kernel(prefix_);
  EmulatedShell shell(prefix_);
  auto held = shell.OpenTextFile("C:\\Held.txt", host::FileMode::kAppend);
  const pid_t child = ::fork();
  if (child == 0)  // another process of the machine sees it held too
    ::_exit(EmulatedKernel(prefix_).DeleteFileA("C:\\HELD.txt") ? 1 : 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::pair<std::string, std::uint32_t> cases[] = {
      // path, error; 0 when deleted
      {"C:\\Held.txt", 32},
      {"C:\\Program Files\\Tarnwick\\Addins\\ICON.bmp", 0},
      {"C:\\Program Files\\Tarnwick\\Addins\\Icon.bmp", 2},
      {"C:\\Program Files\\Missing\\Icon.bmp", 3},
      {"C:\\Program Files\\Tarnwick\\Addins", 5},
      {"C:\\Program Files\\Tarnwick\\Addins\\ReadOnly.txt", 5},
      {"Q:\\Icon.bmp", 3},
  };
  for (const auto& [path, error] : cases) {
    EXPECT_EQ(kernel.DeleteFileA(path), error == 0) << path;
    EXPECT_EQ(kernel.GetLastError(), error) << path;
  }
  EXPECT_FALSE(fs::exists(addins_ / "Icon.bmp"));
  EXPECT_TRUE(fs::exists(addins_ / "ReadOnly.txt"));
  held->Close();
  EXPECT_TRUE(kernel.DeleteFileA("C:\\Held.txt")) << "no longer held once closed";
}

TEST_F(PrefixTest, MutexIsSharedByProcessesAndDiesWithItsHolder) {
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready) | ::pipe(release), 0);
  const pid_t child = ::fork();
  if (child == 0) {  // holds the mutex until released, then dies without destructors
    EmulatedKernel kernel(prefix_);
    kernel.CreateMutexA(true, "tkwPPTToolbarAdder");
    char byte = kernel.GetLastError() == 0 ? 'h' : 'x';
    ::_exit(::write(ready[1], &byte, 1) == 1 && ::read(release[0], &byte, 1) == 1 ? 0 : 2);
  }
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  EXPECT_EQ(held, 'h');

  EmulatedKernel kernel(prefix_);
  const host::Handle refused = kernel.CreateMutexA(true, "tkwPPTToolbarAdder");
  EXPECT_NE(refused, 0u);
  EXPECT_EQ(kernel.GetLastError(), 183u);
  kernel.CreateMutexA(true, "tkwPPTToolbarAdder2");
  EXPECT_EQ(kernel.GetLastError(), 0u);
  EXPECT_TRUE(kernel.CloseHandle(refused));

  int status = 0;
  ASSERT_EQ(::write(release[1], "x", 1), 1);
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const host::Handle mine = kernel.CreateMutexA(true, "tkwPPTToolbarAdder");
  EXPECT_EQ(kernel.GetLastError(), 0u) << "released when its holder died";
  kernel.CreateMutexA(true, "tkwPPTToolbarAdder");
  EXPECT_EQ(kernel.GetLastError(), 183u);
  kernel.CloseHandle(mine);
  for (int fd : {ready[0], ready[1], release[0], release[1]})
    ::close(fd);
}

TEST_F(PrefixTest, TextFilesFailWithRunTimeErrors) {
  EmulatedShell shell(prefix_);
  const std::string folder = "C:\\PROGRAM FILES\\Tarnwick\\";
  const auto read_log = [&] {
    std::ostringstream text;
    text << std::ifstream(prefix_ / "drive_c/Program Files/Tarnwick/Log.txt").rdbuf();
    return text.str();
  };
  shell.OpenTextFile(folder + "Log.txt", host::FileMode::kOutput)->Write("old\r\n");
  auto append = shell.OpenTextFile(folder + "log.TXT", host::FileMode::kAppend);
  auto second = shell.OpenTextFile(folder + "Log.txt", host::FileMode::kAppend);
  append->Write("a\r\n");
  second->Write("b\r\n");
  append->Write("c\r\n");
  EXPECT_EQ(read_log(), "old\r\na\r\nb\r\nc\r\n") << "each write lands at the end";
  append->Close();
  second->Close();
  shell.OpenTextFile(folder + "Log.txt", host::FileMode::kOutput)->Write("new");
  EXPECT_EQ(read_log(), "new");

  // The RuntimeError `action` throws, as "number description".
  const auto error_of = [](const auto& action) -> std::string {
    try {
      action();
    } catch (const host::RuntimeError& error) {
      return std::to_string(error.number()) + " " + error.description();
    }
    return "none";
  };
  fs::permissions(prefix_ / "drive_c",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\Missing\\log.txt", "76 Path not found"},
      {"E:\\log.txt", "76 Path not found"},
      {folder + "Addins", "75 Path/File access error"},
      {folder + "Addins\\ReadOnly.txt", "70 Permission denied"},
      {"C:\\new.txt", "70 Permission denied"},  // in the read-only drive_c
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of([&] { shell.OpenTextFile(c.first, host::FileMode::kAppend); }), c.second)
        << c.first;
  }
  auto full = shell.OpenTextFile("Z:\\dev\\full", host::FileMode::kAppend);
  EXPECT_EQ(error_of([&] { full->Write("x"); }), "61 Disk full");
}

TEST(EmulatedShellTest, FormatsMessageBoxesDatesAndTimesAsEnUs) {
  std::ostringstream messages;
  EmulatedShell shell("/nonexistent", messages);
  shell.MessageBoxA("RecordLog: Disk full\r\nline two\nthree\x80", "RLSToolbarAdder");
  EXPECT_EQ(messages.str(),
            "MessageBox [RLSToolbarAdder] RecordLog: Disk full line two three\xE2\x82\xAC\n");
  const std::tuple<host::LocalTime, const char*, const char*> cases[] = {
      {{2026, 12, 5, 16, 7, 9}, "12/5/2026", "4:07:09 PM"},
      {{2000, 1, 31, 0, 0, 0}, "1/31/2000", "12:00:00 AM"},
      {{2024, 2, 29, 12, 30, 5}, "2/29/2024", "12:30:05 PM"},
  };
  for (const auto& [time, date, clock] : cases) {
    EXPECT_EQ(shell.FormatShortDate(time), date);
    EXPECT_EQ(shell.FormatLongTime(time), clock);
  }
  const std::string folder = shell.ExecutableFolder();
  EXPECT_TRUE(folder.starts_with("Z:\\") && folder.find('/') == std::string::npos) << folder;
  EXPECT_NE(folder.back(), '\\');
}

}  // namespace
}  // namespace tkw::emulated
