// The host of the platform the program was built for: Win32 on Windows, the emulated
// Windows environment elsewhere.
#pragma once

#include <memory>

#include "host/host.h"
#include "host/machine_facts.h"

#ifndef _WIN32
#include <filesystem>
#include <ostream>
#endif

namespace tkw::host {

std::unique_ptr<Host> MakePlatformHost();

#ifdef _WIN32
// This machine, as tkwcheck --machine looks at it.
std::unique_ptr<MachineFacts> MakeMachineFacts();
#endif

#ifndef _WIN32
// The emulated machine kept in the folder `prefix`; the malformed lines of its registry file
// are reported on `diagnostics`.
std::unique_ptr<Host> MakeMachineHost(const std::filesystem::path& prefix,
                                      std::ostream& diagnostics);
// The machine the program itself runs on: TKW_PREFIX, or the folder "prefix" beside the
// executable.
std::filesystem::path ProgramMachinePrefix();
// The facts of the emulated machine kept in `prefix` that tkwcheck --machine judges.
std::unique_ptr<MachineFacts> MakeMachineFacts(const std::filesystem::path& prefix,
                                               std::ostream& diagnostics);
#endif

}  // namespace tkw::host
