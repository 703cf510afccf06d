// Opens or closes the emulated machine's PowerPoint the way its user would. "close" deletes
// PowerPoint's temporary bars and controls and leaves it not running, so that the program starts
// it for each run and it closes again at the run's end; "open" leaves it running, so that what a
// run adds stays until it is closed. The machine is TKW_PREFIX unless one is named.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/emulated_windows/emulated_windows.h"
#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/runtime_error.h"

int main(int argc, char** argv) {
  const std::string verb = argc >= 2 ? argv[1] : "";
  const char* prefix = argc == 3 ? argv[2] : std::getenv("TKW_PREFIX");
  if ((verb != "open" && verb != "close") || argc > 3 || prefix == nullptr || *prefix == '\0') {
    std::fprintf(stderr, "usage: tkw_powerpoint open|close [PREFIX]  (default: $TKW_PREFIX)\n");
    return 2;
  }
  if (!std::filesystem::is_directory(prefix)) {
    std::fprintf(stderr, "tkw_powerpoint: there is no machine %s\n", prefix);
    return 2;
  }
  tkw::emulated::EmulatedWindows machine(prefix);
  tkw::emulated::PowerPoint powerPoint(
      std::filesystem::path(prefix) / "powerpoint" / "commandbars.json", machine.clipboard(),
      machine.memory());
  try {
    verb == "open" ? powerPoint.Open() : powerPoint.Close();
  } catch (const tkw::host::RuntimeError& error) {
    std::fprintf(stderr, "tkw_powerpoint: %s\n", error.description().c_str());
    return 1;
  }
  return 0;
}
