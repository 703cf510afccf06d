// The inputs tkwcheck reads: a regedit export, and (on Linux) an emulated machine.
#pragma once

#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "host/formats/reg_file.h"

#include "tools/snapshot/judged_powerpoint.h"
#include "tools/tkwcheck/check.h"

namespace tkw::check {

// An input that cannot be read at all: tkwcheck stops with exit status 2.
struct Unreadable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string ReadWhole(const std::filesystem::path& path);

// The settings of an export, checked against `machine`; lines the reader skips are findings
// too. Throws Unreadable.
std::vector<Finding> CheckExport(const std::filesystem::path& file, Machine& machine);

// The settings in a regedit export, which they refer into.
struct RegistrySettings {
  std::unique_ptr<formats::RegFile> file;
  std::unique_ptr<SettingsKey> key;  // null when the export holds none
};
// A machine's registry file; a missing one is an empty registry. The lines the reader skips go
// to `skipped` when given. Throws Unreadable.
RegistrySettings ReadRegistrySettings(const std::filesystem::path& file,
                                      std::ostream* skipped = nullptr);

// The definitions an export holds in place of a machine's (--definitions): an earlier version's,
// whose tags a later one changed. Throws Unreadable when the file cannot be read, is no regedit
// export or holds no key HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwick.
RegistrySettings ReadDefinitionsExport(const std::filesystem::path& file);

#ifndef _WIN32
// An emulated machine: its registry.reg against `powerPoint` and its drive_c. Throws
// Unreadable.
std::vector<Finding> CheckMachine(const std::filesystem::path& prefix,
                                  snapshot::JudgedPowerPoint powerPoint);
// The PowerPoint of the emulated machine at `prefix`, as its state file holds it. Throws
// Unreadable.
snapshot::JudgedPowerPoint PowerPointOfMachine(const std::filesystem::path& prefix);
#endif

}  // namespace tkw::check
