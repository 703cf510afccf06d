// PowerPoint's state file reader: any text is either read or refused with a
// RuntimeError, and what was read writes back as valid JSON that reads the same.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "host/command_bars/command_bar_state.h"
#include "host/runtime_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tkw::command_bars;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string written;
  try {
    written = SerializeCommandBars(ParseCommandBars(text));
  } catch (const tkw::host::RuntimeError&) {
    return 0;
  }
  if (nlohmann::ordered_json::parse(written).dump(2) + "\n" != written)
    __builtin_trap();
  if (SerializeCommandBars(ParseCommandBars(written)) != written)
    __builtin_trap();
  return 0;
}
