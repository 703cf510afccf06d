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

// A prefix of its own for each test, with C:\Program Files\Tarnwick\Addins\Icon.bmp in it.
class PrefixTest : public testing::Test {
 protected:
  PrefixTest() {
    std::string pattern = (fs::temp_directory_path() / "tkw-prefix-XXXXXX").string();
    prefix_ = ::mkdtemp(pattern.data());
    addins_ = prefix_ / "drive_c/Program Files/Tarnwick/Addins";
    fs::create_directories(addins_);
    std::ofstream(addins_ / "Icon.bmp") << "bmp";
  }
  ~PrefixTest() override {
    fs::permissions(prefix_ / "drive_c", fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(prefix_);
  }

  static std::string Read(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  }

  fs::path prefix_;
  fs::path addins_;
};

TEST_F(PrefixTest, MapsDrivesAndMatchesNamesWithoutRegardToCase) {
  const WindowsPaths paths(prefix_);
  struct Case {
    std::string windows;
    std::optional<fs::path> expected;
  };
  const Case cases[] = {
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
  for (const Case& c : cases)
    EXPECT_EQ(paths.ToLinux(c.windows), c.expected) << c.windows;

  EXPECT_EQ(WindowsPaths::ToWindows("/work/main/build/"), "Z:\\work\\main\\build");
  EXPECT_EQ(WindowsPaths::ToWindows("/"), "Z:\\");
  EXPECT_EQ(WindowsPaths::ToWindows("/caf\xC3\xA9/\xE2\x98\x83"), "Z:\\caf\xE9\\?");
}

TEST_F(PrefixTest, DeletesFilesWithWindowsErrors) {
  EmulatedKernel kernel(prefix_);
  std::ofstream(addins_ / "ReadOnly.bmp") << "x";
  fs::permissions(addins_ / "ReadOnly.bmp", fs::perms::owner_read);
  struct Case {
    std::string path;
    bool deleted;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"C:\\Program Files\\Tarnwick\\Addins\\ICON.bmp", true, 0},
      {"C:\\Program Files\\Tarnwick\\Addins\\Icon.bmp", false, 2},
      {"C:\\Program Files\\Missing\\Icon.bmp", false, 3},
      {"C:\\Program Files\\Tarnwick\\Addins", false, 5},
      {"C:\\Program Files\\Tarnwick\\Addins\\ReadOnly.bmp", false, 5},
      {"Q:\\Icon.bmp", false, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kernel.DeleteFileA(c.path), c.deleted) << c.path;
    EXPECT_EQ(kernel.GetLastError(), c.error) << c.path;
  }
  EXPECT_FALSE(fs::exists(addins_ / "Icon.bmp"));
  EXPECT_TRUE(fs::exists(addins_ / "ReadOnly.bmp"));
}

// The child holds the mutex until the parent writes to `release`; it reports 'h' when held.
pid_t HoldMutexInChild(const fs::path& prefix, int ready, int release) {
  const pid_t child = ::fork();
  if (child == 0) {
    EmulatedKernel kernel(prefix);
    const bool created =
        kernel.CreateMutexA(true, "tkwPPTToolbarAdder") != 0 && kernel.GetLastError() == 0;
    char byte = created ? 'h' : 'x';
    if (::write(ready, &byte, 1) != 1 || ::read(release, &byte, 1) != 1)
      ::_exit(2);
    ::_exit(0);  // no destructors: the system must release the lock of a dying process
  }
  return child;
}

TEST_F(PrefixTest, MutexIsSharedByProcessesAndDiesWithItsHolder) {
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = HoldMutexInChild(prefix_, ready[1], release[0]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_EQ(byte, 'h');

  EmulatedKernel kernel(prefix_);
  const host::Handle refused = kernel.CreateMutexA(true, "tkwPPTToolbarAdder");
  EXPECT_NE(refused, 0u);
  EXPECT_EQ(kernel.GetLastError(), 183u);
  const host::Handle other = kernel.CreateMutexA(true, "tkwPPTToolbarAdder2");
  EXPECT_EQ(kernel.GetLastError(), 0u);
  EXPECT_NE(other, refused);
  EXPECT_TRUE(kernel.CloseHandle(refused));
  EXPECT_FALSE(kernel.CloseHandle(refused));
  EXPECT_EQ(kernel.GetLastError(), 6u);

  ASSERT_EQ(::write(release[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const host::Handle mine = kernel.CreateMutexA(true, "tkwPPTToolbarAdder");
  EXPECT_EQ(kernel.GetLastError(), 0u);
  kernel.CreateMutexA(true, "tkwPPTToolbarAdder");
  EXPECT_EQ(kernel.GetLastError(), 183u);
  kernel.CloseHandle(mine);
  kernel.CreateMutexA(true, "tkwPPTToolbarAdder");
  EXPECT_EQ(kernel.GetLastError(), 0u);
  for (int fd : {ready[0], ready[1], release[0], release[1]})
    ::close(fd);
}

TEST_F(PrefixTest, TextFilesFailWithRunTimeErrors) {
  EmulatedShell shell(prefix_);
  const std::string folder = "C:\\PROGRAM FILES\\Tarnwick\\";
  shell.OpenTextFile(folder + "Log.txt", host::FileMode::kOutput)->Write("old\r\n");
  auto append = shell.OpenTextFile(folder + "log.TXT", host::FileMode::kAppend);
  append->Write("a\r\n");
  EXPECT_EQ(Read(prefix_ / "drive_c/Program Files/Tarnwick/Log.txt"), "old\r\na\r\n");
  append->Close();
  shell.OpenTextFile(folder + "Log.txt", host::FileMode::kOutput)->Write("new");
  EXPECT_EQ(Read(prefix_ / "drive_c/Program Files/Tarnwick/Log.txt"), "new");

  std::ofstream(addins_ / "ReadOnly.txt") << "x";
  fs::permissions(addins_ / "ReadOnly.txt", fs::perms::owner_read);
  struct Case {
    std::string path;
    int number;
  };
  const Case cases[] = {
      {"C:\\Missing\\log.txt", 76},          {"E:\\log.txt", 76}, {folder + "Addins", 75},
      {folder + "Addins\\ReadOnly.txt", 70}, {"C:\\new.txt", 70},  // drive_c made read only below
  };
  fs::permissions(prefix_ / "drive_c",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  for (const Case& c : cases) {
    try {
      shell.OpenTextFile(c.path, host::FileMode::kAppend);
      ADD_FAILURE() << c.path << " opened";
    } catch (const host::RuntimeError& error) {
      EXPECT_EQ(error.number(), c.number) << c.path << ": " << error.description();
    }
  }

  auto full = shell.OpenTextFile("Z:\\dev\\full", host::FileMode::kAppend);
  try {
    full->Write("x");
    ADD_FAILURE() << "write to a full disk succeeded";
  } catch (const host::RuntimeError& error) {
    EXPECT_EQ(error.description(), "Disk full");
  }
}

TEST(EmulatedShellTest, FormatsMessageBoxesDatesAndTimesAsEnUs) {
  std::ostringstream messages;
  EmulatedShell shell("/nonexistent", messages);
  shell.MessageBoxA("RecordLog: Disk full\r\nline two\nthree\x80", "RLSToolbarAdder");
  EXPECT_EQ(messages.str(),
            "MessageBox [RLSToolbarAdder] RecordLog: Disk full line two three\xE2\x82\xAC\n");

  struct Case {
    host::LocalTime time;
    const char* date;
    const char* clock;
  };
  const Case cases[] = {
      {{2026, 12, 5, 16, 7, 9}, "12/5/2026", "4:07:09 PM"},
      {{2000, 1, 31, 0, 0, 0}, "1/31/2000", "12:00:00 AM"},
      {{2024, 2, 29, 12, 30, 5}, "2/29/2024", "12:30:05 PM"},
      {{1999, 10, 1, 11, 59, 59}, "10/1/1999", "11:59:59 AM"},
      {{2030, 7, 4, 23, 0, 0}, "7/4/2030", "11:00:00 PM"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shell.FormatShortDate(c.time), c.date);
    EXPECT_EQ(shell.FormatLongTime(c.time), c.clock);
  }
  const std::string folder = shell.ExecutableFolder();
  EXPECT_EQ(folder.rfind("Z:\\", 0), 0u);
  EXPECT_EQ(folder.find('/'), std::string::npos);
  EXPECT_NE(folder.back(), '\\');
}

}  // namespace
}  // namespace tkw::emulated
