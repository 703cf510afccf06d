#include "tools/snapshot/judged_powerpoint.h"

#ifndef _WIN32
#include <stdlib.h>
#endif

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "host/command_bars/command_bar_state.h"
#include "host/platform_host.h"
#include "host/runtime_error.h"

namespace tkw::snapshot {
namespace fs = std::filesystem;
namespace {

std::string PathText(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

// Why the last file operation failed, as the system says it.
std::string Reason() {
  return std::generic_category().message(errno);
}

}  // namespace

std::string SnapshotName(const fs::path& file) {
  return "the PowerPoint in " + PathText(file);
}

JudgedPowerPoint BuiltInPowerPoint() {
  return {command_bars::BuiltInCommandBars(), kBuiltInBars, false};
}

JudgedPowerPoint MachinePowerPoint(command_bars::CommandBarSet bars) {
  return {std::move(bars), kThisMachine, false};
}

namespace {

// The bars a state file holds; `what` names the file's kind in messages. Throws
// std::runtime_error: "FILE: line L, column C: what is wrong" where it is malformed.
command_bars::CommandBarSet ReadStateFile(const fs::path& file, const std::string& what) {
  const std::string name = PathText(file);
  std::error_code error;
  if (fs::is_directory(file, error))
    throw std::runtime_error(name + " is a folder, not " + what);
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    const bool missing = !fs::exists(file, error);
    throw std::runtime_error("cannot read " + what + " " + name + ": " +
                             (missing ? "there is no such file" : Reason()));
  }
  const std::string text(std::istreambuf_iterator<char>(in), {});
  if (in.bad())
    throw std::runtime_error("cannot read " + what + " " + name + ": " + Reason());
  try {
    return command_bars::ParseCommandBars(text);
  } catch (const host::RuntimeError& failure) {
    throw std::runtime_error(name + ": " + failure.description());
  }
}

}  // namespace

JudgedPowerPoint LoadSnapshot(const fs::path& file) {
  return {ReadStateFile(file, "the snapshot"), SnapshotName(file), true};
}

command_bars::CommandBarSet LoadStateFile(const fs::path& file) {
  std::error_code error;
  if (!fs::exists(file, error) && !error)
    return command_bars::BuiltInCommandBars();
  return ReadStateFile(file, "PowerPoint's state file");
}

std::string JudgedLine(const std::string& name) {
  return "judged against " + name;
}

void WriteSnapshot(const command_bars::CommandBarSet& bars, const fs::path& file,
                   std::ostream& out) {
  const std::string text = command_bars::SerializeCommandBars(bars);
  if (file == "-") {
    out << text << std::flush;
    return;
  }
  std::ofstream written(file, std::ios::binary | std::ios::trunc);
  if (!written)
    throw std::runtime_error("cannot write the snapshot " + PathText(file) + ": " + Reason());
  written << text;
  written.close();
  if (!written) {
    const std::string reason = Reason();
    std::error_code ignored;
    fs::remove(file, ignored);
    throw std::runtime_error("cannot write the snapshot " + PathText(file) + ": " + reason);
  }
}

#ifndef _WIN32
MachineCopy::MachineCopy(const fs::path& prefix, const std::optional<fs::path>& state) {
  std::string pattern = (fs::temp_directory_path() / "tkw-snapshot-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot make a temporary folder: " + Reason());
  folder_ = pattern;
  try {
    // PowerPoint answers there when it is registered in the machine's registry.
    if (fs::exists(prefix / "registry.reg"))
      fs::copy_file(prefix / "registry.reg", folder_ / "registry.reg");
    const fs::path own = prefix / "powerpoint" / "commandbars.json";
    fs::create_directories(folder_ / "powerpoint");
    if (state || fs::exists(own))
      fs::copy_file(state.value_or(own), folder_ / "powerpoint" / "commandbars.json");
    // Icons are only read.
    if (fs::exists(prefix / "drive_c"))
      fs::create_directory_symlink(fs::absolute(prefix / "drive_c"), folder_ / "drive_c");
  } catch (const fs::filesystem_error& error) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    throw std::runtime_error("cannot copy the machine " + PathText(prefix) + ": " +
                             error.code().message());
  }
  // Its registry's skipped lines are the machine's, which the tools report of it.
  std::ostringstream alreadyReported;
  host_ = host::MakeMachineHost(folder_, alreadyReported);
}

MachineCopy::~MachineCopy() {
  host_.reset();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}
#endif

}  // namespace tkw::snapshot
