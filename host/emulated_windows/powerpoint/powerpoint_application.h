// The emulated "PowerPoint.Application": PowerPoint's command bars as automation objects,
// kept between runs in a state file.
#pragma once

#include <filesystem>

#include "host/automation.h"
#include "host/clipboard.h"
#include "host/kernel.h"

namespace tkw::emulated {

// Reads `stateFile` now (PowerPoint's built-in bars when it is missing) and writes it back
// when the application object and every object obtained from it have been released.
// PasteFace reads the button face through `clipboard` and `memory`, which must outlive those
// objects. Throws host::RuntimeError naming the file when it cannot be read or is malformed.
host::DispatchPtr CreatePowerPointApplication(std::filesystem::path stateFile,
                                              host::Clipboard& clipboard,
                                              host::GlobalMemory& memory);

}  // namespace tkw::emulated
