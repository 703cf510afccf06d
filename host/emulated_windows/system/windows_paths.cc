#include "host/emulated_windows/system/windows_paths.h"

#include <system_error>
#include <vector>

#include "host/formats/windows_1252.h"

namespace tkw::emulated {

using formats::AnsiToUtf8;
using formats::ToUpperCase;
using formats::Utf8ToAnsi;
using formats::Utf8ToUtf16;
namespace fs = std::filesystem;
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Splits into names, resolving "." and ".." as Windows does before it touches the disk;
// ".." never climbs above the drive's root.
void AppendComponents(std::string_view path, std::vector<std::string>& names) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    const std::string_view name = path.substr(start, end - start);
    if (name == "..") {
      if (!names.empty())
        names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.emplace_back(AnsiToUtf8(name));
    }
    start = end + 1;
  }
}

// The entry of `folder` whose name equals `name` without regard to letter case, if any. The
// smallest such name wins so that the choice does not depend on the order of the folder.
std::optional<std::string> FindIgnoringCase(const fs::path& folder, const std::string& name) {
  const std::u16string wanted = ToUpperCase(Utf8ToUtf16(name));
  std::optional<std::string> found;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::string candidate = entry->path().filename().string();
    if (ToUpperCase(Utf8ToUtf16(candidate)) == wanted && (!found || candidate < *found)) {
      found = std::move(candidate);
    }
  }
  return found;
}

}  // namespace

WindowsPaths::WindowsPaths(fs::path prefix) : driveC_(std::move(prefix) / "drive_c") {}

std::optional<fs::path> WindowsPaths::ToLinux(std::string_view windowsPath) const {
  fs::path path;
  std::vector<std::string> names;
  const bool hasDrive = windowsPath.size() >= 2 && windowsPath[1] == ':';
  if (hasDrive) {
    const char drive = windowsPath[0];
    if (drive == 'c' || drive == 'C') {
      path = driveC_;
    } else if (drive == 'z' || drive == 'Z') {
      path = "/";
    } else {
      return std::nullopt;
    }
    AppendComponents(windowsPath.substr(2), names);
  } else if (windowsPath.size() >= 2 && IsSeparator(windowsPath[0]) &&
             IsSeparator(windowsPath[1])) {
    return std::nullopt;  // a network share
  } else {
    // The current directory is a Linux folder, so a path without a drive lies on Z:.
    path = "/";
    std::error_code error;
    if (!windowsPath.empty() && !IsSeparator(windowsPath[0])) {
      const fs::path current = fs::current_path(error);
      if (error)
        return std::nullopt;
      for (const fs::path& part : current.relative_path())
        names.push_back(part.string());
    }
    AppendComponents(windowsPath, names);
  }

  // Names given exactly are the usual case: one look at the whole path settles it.
  fs::path whole = path;
  for (const std::string& name : names)
    whole /= name;
  std::error_code error;
  if (fs::exists(fs::symlink_status(whole, error)))
    return whole;

  for (const std::string& name : names) {
    fs::path exact = path / name;
    if (fs::exists(fs::symlink_status(exact, error))) {
      path = std::move(exact);
    } else if (auto other = FindIgnoringCase(path, name)) {
      path /= *other;
    } else {
      path = std::move(exact);
    }
  }
  return path;
}

std::string WindowsPaths::ToWindows(const fs::path& linuxPath) {
  std::string windows = "Z:";
  for (const fs::path& part : linuxPath.relative_path()) {
    if (part.empty())
      continue;  // the empty name after a trailing slash
    windows += '\\';
    windows += Utf8ToAnsi(part.string());
  }
  if (windows.size() == 2)
    windows += '\\';
  return windows;
}

std::string ExecutableFolder() {
  std::error_code error;
  return WindowsPaths::ToWindows(fs::read_symlink("/proc/self/exe", error).parent_path());
}

}  // namespace tkw::emulated
