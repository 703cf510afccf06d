// Feeds arbitrary bytes to the regedit file reader, then reads every value of the root keys
// back through the narrow registry calls.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string_view>

#include "host/emulated_windows/system/emulated_registry.h"
#include "host/formats/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::ostream discard(nullptr);
  tkw::emulated::EmulatedRegistry registry(tkw::formats::RegFile::Parse(
      std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.reg", discard));
  for (tkw::host::RegistryKey root :
       {tkw::host::kHkeyClassesRoot, tkw::host::kHkeyCurrentUser, tkw::host::kHkeyLocalMachine}) {
    char name[64];
    std::uint8_t value[64];
    for (std::uint32_t index = 0;; ++index) {
      std::uint32_t nameLength = sizeof name, dataSize = sizeof value, type = 0;
      const long result =
          registry.RegEnumValueA(root, index, name, &nameLength, &type, value, &dataSize);
      if (result == 259)
        break;
      if (result != 0)
        continue;
      dataSize = sizeof value;
      registry.RegQueryValueExA(root, std::string(name, nameLength), &type, value, &dataSize);
    }
  }
  return 0;
}
