#include "tools/tkwcheck/inputs.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "host/formats/reg_file.h"
#include "host/runtime_error.h"

#ifndef _WIN32
#include "host/command_bars/command_bar_state.h"
#include "host/platform_host.h"
#endif

namespace tkw::check {
namespace fs = std::filesystem;

namespace {

// Each line the regedit-file reader skipped, "<file>:<line>: skipped malformed line (why)".
void AddSkippedLines(const std::string& diagnostics, std::vector<Finding>& findings) {
  std::istringstream lines(diagnostics);
  for (std::string line; std::getline(lines, line);) {
    Place place;
    std::string message = line;
    const std::size_t colon = line.find(": ");
    const std::size_t lineColon =
        colon == std::string::npos || colon == 0 ? std::string::npos : line.rfind(':', colon - 1);
    if (lineColon != std::string::npos) {
      place.file = line.substr(0, lineColon);
      place.line = std::atoi(line.substr(lineColon + 1, colon - lineColon - 1).c_str());
      message = line.substr(colon + 2);
    }
    // The reader says "skipped malformed line (why)"; regedit skips such a line too.
    constexpr std::string_view kSkipped = "skipped malformed line ";
    const std::string why =
        message.starts_with(kSkipped) ? message.substr(kSkipped.size()) : "(" + message + ")";
    findings.push_back({place, Severity::kError,
                        "regedit skips this line " + why + ": what it sets is not in the registry",
                        "malformed-line"});
  }
}

}  // namespace

std::string ReadWhole(const fs::path& path) {
  std::error_code error;
  if (fs::is_directory(path, error))
    throw Unreadable(path.string() + " is a folder");
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw Unreadable("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), {}};
}

namespace {

formats::RegFile ParseExport(const fs::path& file, std::ostream& diagnostics) {
  formats::RegFile registry = formats::RegFile::Parse(ReadWhole(file), file.string(), diagnostics);
  if (!registry.isExport()) {
    throw Unreadable(file.string() +
                     " is not a regedit export: it must begin with \"Windows Registry Editor "
                     "Version 5.00\" or \"REGEDIT4\"");
  }
  return registry;
}

}  // namespace

RegistrySettings ReadRegistrySettings(const fs::path& file, std::ostream* skipped) {
  RegistrySettings settings;
  if (!fs::exists(file))
    return settings;
  // CheckExport reports the lines the reader skips; here they only mean values that are absent.
  std::ostringstream ignored;
  settings.file =
      std::make_unique<formats::RegFile>(ParseExport(file, skipped ? *skipped : ignored));
  settings.key = SettingsOfRegFile(*settings.file, file.string());
  return settings;
}

RegistrySettings ReadDefinitionsExport(const fs::path& file) {
  std::ostringstream skipped;
  RegistrySettings settings;
  settings.file = std::make_unique<formats::RegFile>(ParseExport(file, skipped));
  settings.key = SettingsOfRegFile(*settings.file, file.string());
  if (settings.key == nullptr) {
    throw Unreadable(file.string() +
                     " holds no key HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick: it defines nothing");
  }
  return settings;
}

std::vector<Finding> CheckExport(const fs::path& file, Machine& machine) {
  std::ostringstream diagnostics;
  const formats::RegFile registry = ParseExport(file, diagnostics);
  std::vector<Finding> findings;
  AddSkippedLines(diagnostics.str(), findings);
  const auto settings = SettingsOfRegFile(registry, file.string());
  for (Finding& finding : CheckSettings(settings.get(), Place{file.string(), 0, {}, {}}, machine))
    findings.push_back(std::move(finding));
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.place.line < b.place.line; });
  return findings;
}

#ifndef _WIN32
snapshot::JudgedPowerPoint PowerPointOfMachine(const fs::path& prefix) {
  if (!fs::is_directory(prefix))
    throw Unreadable(prefix.string() + " is no folder");
  try {
    return snapshot::MachinePowerPoint(
        snapshot::LoadStateFile(prefix / "powerpoint" / "commandbars.json"));
  } catch (const std::runtime_error& error) {
    throw Unreadable(error.what());
  }
}

std::vector<Finding> CheckMachine(const fs::path& prefix, snapshot::JudgedPowerPoint powerPoint) {
  if (!fs::is_directory(prefix))
    throw Unreadable(prefix.string() + " is no folder");
  Machine machine{std::move(powerPoint.bars), nullptr, powerPoint.snapshot};
  // Its own reading of the registry would report the skipped lines a second time.
  std::ostringstream alreadyReported;
  const std::unique_ptr<host::Host> files = host::MakeMachineHost(prefix, alreadyReported);
  machine.files = files.get();
  const fs::path registry = prefix / "registry.reg";
  // A machine without a registry file has an empty registry.
  if (!fs::exists(registry))
    return CheckSettings(nullptr, Place{registry.string(), 0, {}, {}}, machine);
  return CheckExport(registry, machine);
}
#endif

}  // namespace tkw::check
