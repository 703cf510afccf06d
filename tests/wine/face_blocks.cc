// Puts each given bitmap on the clipboard through the face procedure, as the program does, and
// prints the blocks it leaves: one line per format, "<file> <mask colour> <format> <hex>", or
// "<file> <mask colour> error <number>" when the picture is refused. Built for both hosts, so
// that the emulation's drawing can be compared byte for byte with the platform's.
//   face_blocks <Windows path of a bitmap>...
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "faces/helper.h"
#include "host/platform_host.h"
#include "host/runtime/scoped_handles.h"
#include "host/runtime_error.h"

namespace {

// White, the colour the program masks, and a colour no palette of the samples holds.
constexpr std::uint32_t kMaskColours[] = {0x00FFFFFF, 0x00336699};

void EmptyClipboard(tkw::host::Clipboard& clipboard) {
  const tkw::host::ScopedOpenClipboard open(clipboard);
  if (open)
    clipboard.EmptyClipboard();
}

void PrintBlock(tkw::host::Host& host, const std::string& prefix, const char* name,
                unsigned format) {
  tkw::host::GlobalMemory& memory = host.memory();
  const tkw::host::Handle block = format == 0 ? 0 : host.clipboard().GetClipboardData(format);
  std::printf("%s %s", prefix.c_str(), name);
  if (block == 0) {
    std::printf(" none\n");
    return;
  }
  const tkw::host::ScopedGlobalLock locked(memory, block);
  const auto* bytes = static_cast<const std::uint8_t*>(locked.data());
  const std::size_t size = bytes == nullptr ? 0 : memory.GlobalSize(block);
  std::printf(" ");
  for (std::size_t i = 0; i < size; ++i)
    std::printf("%02x", bytes[i]);
  std::printf("\n");
}

void PrintFaceBlocks(tkw::host::Host& host, const std::string& file, std::uint32_t maskColour) {
  char colour[16];
  std::snprintf(colour, sizeof colour, "%08x", static_cast<unsigned>(maskColour));
  const std::string prefix = file.substr(file.find_last_of('\\') + 1) + " " + colour;
  EmptyClipboard(host.clipboard());
  try {
    const std::unique_ptr<tkw::host::Picture> picture =
        host.ole().LoadPicture(std::wstring(file.begin(), file.end()));
    tkw::helper::PlacePictureFaceOnClipboard(host, picture.get(), maskColour);
  } catch (const tkw::host::RuntimeError& error) {
    std::printf("%s error %d\n", prefix.c_str(), error.number());
    return;
  }
  tkw::host::Clipboard& clipboard = host.clipboard();
  const tkw::host::ScopedOpenClipboard open(clipboard);
  PrintBlock(host, prefix, "dib", tkw::host::kCfDib);
  PrintBlock(host, prefix, "face", clipboard.RegisterClipboardFormatA("Toolbar Button Face"));
  PrintBlock(host, prefix, "mask", clipboard.RegisterClipboardFormatA("Toolbar Button Mask"));
}

}  // namespace

int main(int argc, char** argv) {
  const auto host = tkw::host::MakePlatformHost();
  for (int i = 1; i < argc; ++i) {
    for (const std::uint32_t colour : kMaskColours)
      PrintFaceBlocks(*host, argv[i], colour);
  }
  return 0;
}
