// Base64 (RFC 4648, with padding) for the face blocks kept in the state file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tkw::formats {

std::string EncodeBase64(std::span<const std::uint8_t> bytes);

// Whether `text` is what EncodeBase64 gives for some bytes: the alphabet, whole groups of
// four, padding only at the end and no stray bits before it.
bool IsBase64(std::string_view text);

// The bytes of text that IsBase64 accepts; other text gives what its valid digits spell.
std::vector<std::uint8_t> DecodeBase64(std::string_view text);

}  // namespace tkw::formats
