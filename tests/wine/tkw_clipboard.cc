// Lays and reads the desktop clipboard for the tests under Wine, one file per format named by
// its number (standard formats) or its registered name:
//   tkw_clipboard set <folder>    empties the clipboard and puts each file of <folder> on it
//   tkw_clipboard dump <folder>   writes each format the clipboard holds into <folder>
//   tkw_clipboard keep            prints "kept" and waits for standard input to close
//   tkw_clipboard hold            opens the clipboard, prints "held" and waits likewise
// Wine drops the clipboard's contents soon after the last process using user32 ends, so
// "keep" runs beside a test that reads the clipboard after the program has gone. Wine lets
// anyone open the clipboard with no window while another holds it with no window, so "hold"
// opens it with a window of its own, which keeps every other opener out as Windows does.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

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
  std::fprintf(stderr, "usage: tkw_clipboard set|dump <folder> | keep | hold\n");
  return 2;
}
