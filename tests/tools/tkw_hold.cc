// Holds a shared resource of the machine the way another program would, until its standard
// input closes: "tkw_hold mutex" takes the program's single-instance guard, "tkw_hold
// clipboard" keeps the clipboard open, "tkw_hold powerpoint" keeps PowerPoint starting (a
// client that starts it waits). Prints "held" once it holds.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/platform_host.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tkw_hold mutex|clipboard|powerpoint\n");
    return 2;
  }
  const auto host = tkw::host::MakePlatformHost();
  const std::string what = argv[1];
  if (what == "mutex") {
    host->kernel().CreateMutexA(true, "tkwPPTToolbarAdder");
  } else if (what == "powerpoint") {
    host->kernel().CreateMutexA(true, tkw::emulated::kPowerPointStartingMutex);
  } else if (what == "clipboard") {
    if (!host->clipboard().OpenClipboard(0)) {
      std::fprintf(stderr, "the clipboard is held already\n");
      return 1;
    }
  } else {
    std::fprintf(stderr, "nothing called %s to hold\n", argv[1]);
    return 2;
  }
  std::printf("held\n");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}
