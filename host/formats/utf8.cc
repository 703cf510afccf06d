#include "host/formats/utf8.h"

#include "host/runtime_error.h"

namespace tkw::formats {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (IsSurrogate(c) || c > 0x10FFFF)
    c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// wchar_t is UTF-16 on Windows and UTF-32 elsewhere.
void AppendWide(std::wstring& out, char32_t c) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
      return;
    }
  }
  out += static_cast<wchar_t>(c);
}

[[noreturn]] void Malformed() {
  throw host::RuntimeError(5, "malformed UTF-8 text");
}

}  // namespace

std::string WideToUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = static_cast<char32_t>(wide[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
          wide[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[++i]) - 0xDC00);
      }
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i++]);
    int trailing = 0;
    char32_t c = 0;
    if (lead < 0x80) {
      c = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      trailing = 1, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trailing = 2, c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trailing = 3, c = lead & 0x07;
    } else {
      Malformed();
    }
    if (utf8.size() - i < static_cast<std::size_t>(trailing))
      Malformed();
    for (int k = 0; k < trailing; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i++]);
      if ((next & 0xC0) != 0x80)
        Malformed();
      c = (c << 6) | (next & 0x3F);
    }
    const bool overlong = (trailing == 2 && c < 0x800) || (trailing == 3 && c < 0x10000);
    if (overlong || IsSurrogate(c) || c > 0x10FFFF)
      Malformed();
    AppendWide(out, c);
  }
  return out;
}

}  // namespace tkw::formats
