#include "host/formats/base64.h"

#include <array>

namespace tkw::formats {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> MakeDigitTable() {
  std::array<int, 256> table{};
  table.fill(-1);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
  }
  return table;
}
constexpr std::array<int, 256> kDigit = MakeDigitTable();

}  // namespace

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6)
      text += kAlphabet[(group >> shift) & 0x3F];
  }
  if (const std::size_t rest = bytes.size() - i; rest > 0) {
    const std::uint32_t group = (bytes[i] << 16) | (rest == 2 ? bytes[i + 1] << 8 : 0);
    text += kAlphabet[(group >> 18) & 0x3F];
    text += kAlphabet[(group >> 12) & 0x3F];
    text += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    text += '=';
  }
  return text;
}

bool IsBase64(std::string_view text) {
  if (text.size() % 4 != 0)
    return false;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
    ++padding;
  }
  const std::size_t digits = text.size() - padding;
  for (std::size_t i = 0; i < digits; ++i) {
    if (kDigit[static_cast<unsigned char>(text[i])] < 0)
      return false;
  }
  // The last digit before the padding may carry only bits that belong to the bytes.
  if (padding == 0)
    return true;
  const int last = kDigit[static_cast<unsigned char>(text[digits - 1])];
  return (last & (padding == 2 ? 0xF : 0x3)) == 0;
}

std::vector<std::uint8_t> DecodeBase64(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  int bits = 0;
  for (const char c : text) {
    const int digit = kDigit[static_cast<unsigned char>(c)];
    if (digit < 0)
      continue;
    group = (group << 6) | static_cast<std::uint32_t>(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<std::uint8_t>(group >> bits));
    }
  }
  return bytes;
}

}  // namespace tkw::formats
