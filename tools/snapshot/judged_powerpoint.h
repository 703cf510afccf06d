// The PowerPoint a tool judges definitions against, and how the tool names it in its first line:
// a snapshot given as a state file (--powerpoint FILE), the machine's own PowerPoint, or
// PowerPoint's built-in English bars. A menu is found by its caption, which is translated, so
// which PowerPoint it is decides whether a menu definition works.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "host/command_bars/command_bar_model.h"
#include "host/host.h"

namespace tkw::snapshot {

struct JudgedPowerPoint {
  command_bars::CommandBarSet bars;
  std::string name;  // UTF-8, as below
  // A snapshot given for the purpose, such as one of the customers' PowerPoint.
  bool snapshot = false;
};

// How each is named.
inline constexpr char kBuiltInBars[] = "PowerPoint's built-in English bars";
inline constexpr char kThisMachine[] = "the PowerPoint of this machine";
std::string SnapshotName(const std::filesystem::path& file);  // "the PowerPoint in FILE"

JudgedPowerPoint BuiltInPowerPoint();
// The machine's own PowerPoint, as it holds its bars now.
JudgedPowerPoint MachinePowerPoint(command_bars::CommandBarSet bars);
// A state file, as `tkwcheck --snapshot` writes it. Throws std::runtime_error naming the file and
// what is wrong with it: "FILE: line L, column C: not JSON".
JudgedPowerPoint LoadSnapshot(const std::filesystem::path& file);
// The bars of an emulated machine's state file, read without starting its PowerPoint: the
// built-in ones while there is none. Throws std::runtime_error as LoadSnapshot does.
command_bars::CommandBarSet LoadStateFile(const std::filesystem::path& file);

// The tools' first line: "judged against " and the name.
std::string JudgedLine(const std::string& name);

// Writes `bars` to `file` in the state file's layout, or to `out` when `file` is "-". Throws
// std::runtime_error when the file cannot be written, which is then not left half written.
void WriteSnapshot(const command_bars::CommandBarSet& bars, const std::filesystem::path& file,
                   std::ostream& out);

#ifndef _WIN32
// A copy of the emulated machine at `prefix` (its registry, and its drive C: to read icons from)
// whose PowerPoint is the one of the state file `state`, or the machine's own without one, in a
// temporary folder that goes with the object: what a tool starts PowerPoint on to look, the
// machine itself left as it is, its clipboard and its PowerPoint's file untouched. Throws
// std::runtime_error.
class MachineCopy {
 public:
  MachineCopy(const std::filesystem::path& prefix,
              const std::optional<std::filesystem::path>& state = std::nullopt);
  MachineCopy(const MachineCopy&) = delete;
  MachineCopy& operator=(const MachineCopy&) = delete;
  ~MachineCopy();

  host::Host& host() { return *host_; }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<host::Host> host_;
};
#endif

}  // namespace tkw::snapshot
