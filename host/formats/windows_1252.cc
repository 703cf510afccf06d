#include "host/formats/windows_1252.h"

#include <array>
#include <cstdint>

namespace tkw::formats {
namespace {

// Bytes 0x80 to 0x9F; every other byte is the Latin-1 character of the same number.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

constexpr char32_t kReplacement = 0xFFFD;

// Calls `emit` with each code point of `utf8`; a malformed or truncated sequence yields one
// U+FFFD per byte that cannot start a sequence.
template <typename Emit>
void DecodeUtf8(std::string_view utf8, Emit emit) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    int trailing = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      trailing = 1, code = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      trailing = 2, code = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      trailing = 3, code = lead & 0x07, smallest = 0x10000;
    } else {
      emit(kReplacement);
      ++i;
      continue;
    }
    std::size_t next = i + 1;
    for (int k = 0; k < trailing; ++k, ++next) {
      if (next >= utf8.size() || (static_cast<unsigned char>(utf8[next]) & 0xC0) != 0x80)
        break;
      code = (code << 6) | (static_cast<unsigned char>(utf8[next]) & 0x3F);
    }
    const bool complete = next == i + 1 + static_cast<std::size_t>(trailing);
    const bool valid =
        complete && code >= smallest && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    if (valid) {
      emit(code);
      i = next;
    } else {
      emit(kReplacement);
      ++i;
    }
  }
}

void AppendUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

char16_t Windows1252ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0)
    return kHighControls[byte - 0x80];
  return byte;
}

char UnicodeToWindows1252(char32_t character) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
    return static_cast<char>(character);
  }
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == character)
      return static_cast<char>(0x80 + i);
  }
  return '?';
}

std::u16string AnsiToUtf16(std::string_view ansi) {
  std::u16string text;
  text.reserve(ansi.size());
  for (char byte : ansi)
    text += Windows1252ToUnicode(static_cast<unsigned char>(byte));
  return text;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  std::string ansi;
  ansi.reserve(text.size());
  for (char16_t unit : text)
    ansi += UnicodeToWindows1252(unit);
  return ansi;
}

std::wstring AnsiToWide(std::string_view ansi) {
  std::wstring wide;
  wide.reserve(ansi.size());
  for (char byte : ansi)
    wide += static_cast<wchar_t>(Windows1252ToUnicode(static_cast<unsigned char>(byte)));
  return wide;
}

std::string WideToAnsi(std::wstring_view wide) {
  std::string ansi;
  ansi.reserve(wide.size());
  for (wchar_t character : wide)
    ansi += UnicodeToWindows1252(static_cast<char32_t>(character));
  return ansi;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string text;
  text.reserve(utf8.size());
  DecodeUtf8(utf8, [&text](char32_t code) {
    if (code < 0x10000) {
      text += static_cast<char16_t>(code);
    } else {
      code -= 0x10000;
      text += static_cast<char16_t>(0xD800 + (code >> 10));
      text += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
  });
  return text;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string utf8;
  utf8.reserve(ansi.size());
  for (char byte : ansi)
    AppendUtf8(Windows1252ToUnicode(static_cast<unsigned char>(byte)), utf8);
  return utf8;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string ansi;
  ansi.reserve(utf8.size());
  DecodeUtf8(utf8, [&ansi](char32_t code) { ansi += UnicodeToWindows1252(code); });
  return ansi;
}

char16_t ToUpperCase(char16_t character) {
  if (character >= u'a' && character <= u'z')
    return character - 0x20;
  if (character >= 0xE0 && character <= 0xFE && character != 0xF7)
    return character - 0x20;
  switch (character) {
    case 0xFF:
      return 0x178;
    case 0x153:
    case 0x161:
    case 0x17E:
      return character - 1;
    default:
      return character;
  }
}

std::u16string ToUpperCase(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& character : upper)
    character = ToUpperCase(character);
  return upper;
}

}  // namespace tkw::formats
