#include "host/win32/code_page.h"

#include "host/runtime_error.h"

namespace tkw::win32 {
namespace {

// Calls one of the two converters twice: for the length, then for the text. A length of 0 for
// text that is not empty is the converter's failure.
template <class Text, class Converter>
Text Convert(std::size_t size, Converter convert) {
  if (size == 0)
    return {};
  const int length = convert(nullptr, 0);
  Text text(static_cast<std::size_t>(length > 0 ? length : 0), {});
  if (length <= 0 || convert(text.data(), length) != length)
    throw host::RuntimeError::InvalidProcedureCall();
  return text;
}

}  // namespace

NarrowingRule NarrowingRuleFor(UINT codePage) {
  switch (codePage) {
    case CP_UTF7:
    case CP_UTF8:
      return {0, nullptr};
    case 54936:  // GB18030 takes no best-fit flag either
    case 42:     // symbol
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
      return {0, "?"};
    default:
      return codePage >= 57002 && codePage <= 57011 ? NarrowingRule{0, "?"}
                                                    : NarrowingRule{WC_NO_BEST_FIT_CHARS, "?"};
  }
}

std::wstring CodePageToWide(std::string_view text, UINT codePage) {
  const int size = static_cast<int>(text.size());
  return Convert<std::wstring>(text.size(), [&](wchar_t* wide, int length) {
    return ::MultiByteToWideChar(codePage, 0, text.data(), size, wide, length);
  });
}

std::string WideToCodePage(std::wstring_view wide, UINT codePage) {
  const NarrowingRule rule = NarrowingRuleFor(codePage);
  const int size = static_cast<int>(wide.size());
  return Convert<std::string>(wide.size(), [&](char* text, int length) {
    return ::WideCharToMultiByte(codePage, rule.flags, wide.data(), size, text, length,
                                 rule.defaultChar, nullptr);
  });
}

std::wstring AnsiToWide(std::string_view ansi) {
  return CodePageToWide(ansi, CP_ACP);
}

// The code page by number rather than CP_ACP, so that its rule is the one chosen.
std::string WideToAnsi(std::wstring_view wide) {
  return WideToCodePage(wide, ::GetACP());
}

}  // namespace tkw::win32
