// Windows paths on the emulated machine, laid out as under Wine: C: is the prefix's drive_c
// folder and Z: is the Linux root.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tkw::emulated {

class WindowsPaths {
 public:
  explicit WindowsPaths(std::filesystem::path prefix);

  // The Linux path that `windowsPath` (ANSI, "\" or "/" separated, absolute or relative to the
  // current directory) names; nullopt on a drive the machine does not have. A component whose
  // exact name is missing takes the name of an entry of its folder that differs only in letter
  // case; when there is none it keeps its own, so new files get the name they were given.
  std::optional<std::filesystem::path> ToLinux(std::string_view windowsPath) const;

  // "Z:\..." for an absolute Linux path, in the ANSI code page.
  static std::string ToWindows(const std::filesystem::path& linuxPath);

 private:
  std::filesystem::path driveC_;
};

// The folder of the running executable as a Windows path, e.g. "Z:\work\main\build\dev".
std::string ExecutableFolder();

}  // namespace tkw::emulated
