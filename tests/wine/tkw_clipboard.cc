// Lays and reads the desktop clipboard for the tests under Wine, one file per format named by
// its number (standard formats) or its registered name:
//   tkw_clipboard set <folder>    empties the clipboard and puts each file of <folder> on it
//   tkw_clipboard dump <folder>   writes each format the clipboard holds into <folder>
//   tkw_clipboard keep            prints "kept" and waits for standard input to close
//   tkw_clipboard hold            opens the clipboard, prints "held" and waits likewise
//   tkw_clipboard watch           clipboard history, until standard input closes (below)
// Wine drops the clipboard's contents soon after the last process using user32 ends, so
// "keep" runs beside a test that reads the clipboard after the program has gone. Wine lets
// anyone open the clipboard with no window while another holds it with no window, so "hold"
// opens it with a window of its own, which keeps every other opener out as Windows does.
//
// "watch" reads the clipboard for kReading when it starts, as clipboard history does after the
// user's last copy, prints "held", and from then on reads it again after every change (it
// listens with AddClipboardFormatListener) unless the contents carry
// ExcludeClipboardContentFromMonitorProcessing, which it looks for without opening the
// clipboard. For every change it prints what it did, "held", "excluded", "superseded" (another
// change came before it got in) or "busy" (it could not get in), and the formats of interest
// that the contents held: "held: 1".
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "host/emulated_windows/com_server/clipboard_blocks.h"

namespace fs = std::filesystem;
using tkw::com_server::ClipboardBlock;

namespace {

int Set(const fs::path& folder) {
  const tkw::com_server::OpenedClipboard opened;
  if (!opened || !::EmptyClipboard()) {
    std::fprintf(stderr, "tkw_clipboard: cannot open the clipboard\n");
    return 1;
  }
  if (!fs::is_directory(folder))
    return 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    std::ifstream in(entry.path(), std::ios::binary);
    const ClipboardBlock block{tkw::com_server::ClipboardFormatOf(name),
                               {std::istreambuf_iterator<char>(in), {}}};
    if (block.format == 0 || !tkw::com_server::WriteClipboardBlock(block)) {
      std::fprintf(stderr, "tkw_clipboard: cannot put %s on the clipboard\n", name.c_str());
      return 1;
    }
  }
  return 0;
}

int Dump(const fs::path& folder) {
  const tkw::com_server::OpenedClipboard opened;
  if (!opened) {
    std::fprintf(stderr, "tkw_clipboard: cannot open the clipboard\n");
    return 1;
  }
  fs::create_directories(folder);
  for (const ClipboardBlock& block : tkw::com_server::ReadClipboardBlocks()) {
    std::ofstream out(folder / tkw::com_server::ClipboardFormatName(block.format),
                      std::ios::binary);
    out.write(reinterpret_cast<const char*>(block.bytes.data()),
              static_cast<std::streamsize>(block.bytes.size()));
  }
  return 0;
}

void WaitForStandardInputToClose(const char* done) {
  std::printf("%s\n", done);
  std::fflush(stdout);
  for (std::string line; std::getline(std::cin, line);) {
  }
}

int Keep() {
  // Makes this a user32 process, and brings up the desktop now, so that the desktop's
  // process is not started later by a program whose output a test is reading.
  ::GetDesktopWindow();
  WaitForStandardInputToClose("kept");
  return 0;
}

int Hold() {
  const HWND window =
      ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (window == nullptr || !::OpenClipboard(window)) {
    std::fprintf(stderr, "tkw_clipboard: cannot hold the clipboard\n");
    return 1;
  }
  WaitForStandardInputToClose("held");
  ::CloseClipboard();
  ::DestroyWindow(window);
  return 0;
}

constexpr DWORD kReading = 300;  // milliseconds

// The formats a line of "watch" names, when the contents hold them.
constexpr const char* kReported[] = {
    "1",
    "8",
    "CanIncludeInClipboardHistory",
    "CanUploadToCloudClipboard",
    "ExcludeClipboardContentFromMonitorProcessing",
    "Toolbar Button Face",
    "Toolbar Button Mask",
};

bool changed = false;

LRESULT CALLBACK WatcherProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLIPBOARDUPDATE) {
    changed = true;
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

enum class Reading { kHeld, kBusy, kSuperseded, kEnded };

// Opens the clipboard with `window` to read the change that left the sequence number
// `change`, trying again every millisecond while another holds it. A change replaced meanwhile
// is not read: the one that replaced it is, in its turn. Gives up after two seconds.
Reading Open(HWND window, DWORD change, HANDLE ended) {
  for (int tries = 0; tries < 2000; ++tries) {
    if (::GetClipboardSequenceNumber() != change)
      return Reading::kSuperseded;
    if (::OpenClipboard(window)) {
      if (::GetClipboardSequenceNumber() == change)
        return Reading::kHeld;
      ::CloseClipboard();
      return Reading::kSuperseded;
    }
    if (::WaitForSingleObject(ended, 1) == WAIT_OBJECT_0)
      return Reading::kEnded;
  }
  return Reading::kBusy;
}

// The formats of interest that the clipboard holds, all read at once: a change under way in
// another program shows either before or after each of its calls.
std::string HeldFormats(bool& excluded) {
  std::vector<UINT> held(256);
  UINT count = 0;
  if (!::GetUpdatedClipboardFormats(held.data(), static_cast<UINT>(held.size()), &count))
    count = 0;
  held.resize(count);
  std::string formats;
  excluded = false;
  for (const char* name : kReported) {
    const UINT format = tkw::com_server::ClipboardFormatOf(name);
    if (std::find(held.begin(), held.end(), format) == held.end())
      continue;
    formats += (formats.empty() ? "" : ", ") + std::string(name);
    excluded = excluded || std::string(name) == "ExcludeClipboardContentFromMonitorProcessing";
  }
  return formats;
}

int Watch() {
  WNDCLASSW watcherClass{};
  watcherClass.lpfnWndProc = WatcherProcedure;
  watcherClass.hInstance = ::GetModuleHandleW(nullptr);
  watcherClass.lpszClassName = L"tkw_clipboard watcher";
  ::RegisterClassW(&watcherClass);
  const HWND window = ::CreateWindowExW(0, watcherClass.lpszClassName, L"", 0, 0, 0, 0, 0,
                                        HWND_MESSAGE, nullptr, watcherClass.hInstance, nullptr);
  const HANDLE ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread input([ended] {
    for (std::string line; std::getline(std::cin, line);) {
    }
    ::SetEvent(ended);
  });
  input.detach();
  if (window == nullptr || !::AddClipboardFormatListener(window) ||
      Open(window, ::GetClipboardSequenceNumber(), ended) != Reading::kHeld) {
    std::fprintf(stderr, "tkw_clipboard: cannot watch the clipboard\n");
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  ::WaitForSingleObject(ended, kReading);
  ::CloseClipboard();

  while (::MsgWaitForMultipleObjects(1, &ended, FALSE, INFINITE, QS_ALLINPUT) ==
         WAIT_OBJECT_0 + 1) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      ::DispatchMessageW(&message);
    if (!changed)
      continue;
    changed = false;
    const DWORD change = ::GetClipboardSequenceNumber();
    bool excluded = false;
    const std::string formats = HeldFormats(excluded);
    if (excluded) {
      std::printf("excluded: %s\n", formats.c_str());
      std::fflush(stdout);
      continue;
    }
    switch (Open(window, change, ended)) {
      case Reading::kHeld:
        std::printf("held: %s\n", formats.c_str());
        std::fflush(stdout);
        ::WaitForSingleObject(ended, kReading);
        ::CloseClipboard();
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
  ::RemoveClipboardFormatListener(window);
  ::DestroyWindow(window);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "set" && argc == 3)
    return Set(argv[2]);
  if (command == "dump" && argc == 3)
    return Dump(argv[2]);
  if (command == "keep" && argc == 2)
    return Keep();
  if (command == "hold" && argc == 2)
    return Hold();
  if (command == "watch" && argc == 2)
    return Watch();
  std::fprintf(stderr, "usage: tkw_clipboard set|dump <folder> | keep | hold | watch\n");
  return 2;
}
