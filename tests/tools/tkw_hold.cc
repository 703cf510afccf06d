// Holds a shared resource of the machine the way another program would, until its standard
// input closes: "tkw_hold mutex" takes the program's single-instance guard, "tkw_hold
// clipboard" keeps the clipboard open, "tkw_hold powerpoint" keeps PowerPoint starting (a
// client that starts it waits). Prints "held" once it holds.
//
// On the emulated machine "tkw_hold clipboard-watcher" is clipboard history: it reads the
// clipboard for kReading when it starts, as after the user's last copy, and again after every
// change whose contents do not carry ExcludeClipboardContentFromMonitorProcessing, which it
// looks for without opening the clipboard. After "held" it prints a line for every change it
// sees, "held", "excluded", "superseded" (another change came before it got in) or "busy" (it
// could not get in), and the formats of interest that the contents hold: "held: 1". Under Wine,
// tkw_clipboard.exe watch does the same.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/platform_host.h"

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "host/emulated_windows/emulated_windows.h"
#endif

namespace {

#ifndef _WIN32
using std::chrono::milliseconds;

constexpr milliseconds kReading{300};
// How often it looks for a change, and how often it tries again to open a clipboard that
// another holds: seldom enough to find it between two of that program's openings, not in the
// moment between its closing and its next.
constexpr std::chrono::microseconds kPollPause{100};
constexpr milliseconds kRetryPause{1};

// The formats a line names, when the contents hold them.
constexpr const char* kReported[] = {
    "1",
    "8",
    "CanIncludeInClipboardHistory",
    "CanUploadToCloudClipboard",
    "ExcludeClipboardContentFromMonitorProcessing",
    "Toolbar Button Face",
    "Toolbar Button Mask",
};

// Waits up to `time` for standard input to close; whether it has.
bool InputEnds(std::chrono::nanoseconds time) {
  const timespec timeout{static_cast<time_t>(time.count() / 1'000'000'000),
                         static_cast<long>(time.count() % 1'000'000'000)};
  pollfd input{0, POLLIN, 0};
  if (::ppoll(&input, 1, &timeout, nullptr) <= 0)
    return false;
  char buffer[256];
  return ::read(0, buffer, sizeof buffer) <= 0;
}

enum class Reading { kHeld, kBusy, kSuperseded, kEnded };

// Opens the clipboard to read the change numbered `change`, trying again now and then while
// another holds it. A change replaced meanwhile is not read: the one that replaced it is, in
// its turn. Gives up after two seconds.
Reading Open(tkw::emulated::EmulatedClipboard& clipboard, std::uint64_t change, bool& ended) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    if (clipboard.SequenceNumber() != change)
      return Reading::kSuperseded;
    if (clipboard.OpenClipboard(0)) {
      if (clipboard.SequenceNumber() == change)
        return Reading::kHeld;
      clipboard.CloseClipboard();
      return Reading::kSuperseded;
    }
    if (std::chrono::steady_clock::now() > deadline)
      return Reading::kBusy;
    if ((ended = InputEnds(kRetryPause)))
      return Reading::kEnded;
  }
}

int WatchClipboard(tkw::emulated::EmulatedWindows& machine) {
  tkw::emulated::EmulatedClipboard& clipboard = machine.emulatedClipboard();
  const unsigned excluded =
      clipboard.RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing");
  bool ended = false;
  std::uint64_t seen = clipboard.SequenceNumber();
  if (Open(clipboard, seen, ended) != Reading::kHeld) {
    std::fprintf(stderr, "the clipboard is held already\n");
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  ended = InputEnds(kReading);
  clipboard.CloseClipboard();

  while (!ended && !(ended = InputEnds(kPollPause))) {
    const std::uint64_t now = clipboard.SequenceNumber();
    if (now == seen)
      continue;
    seen = now;
    const std::vector<unsigned> held = clipboard.AvailableFormats();
    const auto holds = [&](unsigned format) {
      return std::find(held.begin(), held.end(), format) != held.end();
    };
    std::string formats;
    for (const char* name : kReported) {
      const unsigned format = std::isdigit(static_cast<unsigned char>(name[0]))
                                  ? static_cast<unsigned>(std::stoul(name))
                                  : clipboard.RegisterClipboardFormatA(name);
      if (holds(format))
        formats += (formats.empty() ? "" : ", ") + std::string(name);
    }
    if (holds(excluded)) {
      std::printf("excluded: %s\n", formats.c_str());
      std::fflush(stdout);
      continue;
    }
    switch (Open(clipboard, seen, ended)) {
      case Reading::kHeld:
        std::printf("held: %s\n", formats.c_str());
        std::fflush(stdout);
        ended = InputEnds(kReading);
        clipboard.CloseClipboard();
        break;
      case Reading::kBusy:
        std::printf("busy: %s\n", formats.c_str());
        break;
      case Reading::kSuperseded:
        std::printf("superseded: %s\n", formats.c_str());
        break;
      case Reading::kEnded:
        break;
    }
    std::fflush(stdout);
  }
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tkw_hold mutex|clipboard|clipboard-watcher|powerpoint\n");
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
#ifndef _WIN32
  } else if (what == "clipboard-watcher") {
    return WatchClipboard(static_cast<tkw::emulated::EmulatedWindows&>(*host));
#endif
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
