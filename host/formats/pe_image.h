// The headers of a Windows executable or DLL (PE): the machine it is for, and whether its
// embedded manifest names the execution level UAC must give it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "host/machine_facts.h"

namespace tkw::formats {

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

struct PeImage {
  std::uint16_t machine = 0;
  // An RT_MANIFEST resource naming requestedExecutionLevel. False too when the resources lie
  // beyond the bytes given.
  bool declaresExecutionLevel = false;
};

// nullopt when `file` does not begin with the headers of a PE image.
std::optional<PeImage> ReadPeImage(std::span<const std::uint8_t> file);

// A file's bytes as a registration's file: an image of a known architecture, or not an image.
host::ImageFile ImageFileOf(std::span<const std::uint8_t> file);

}  // namespace tkw::formats
