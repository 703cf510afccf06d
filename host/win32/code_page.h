// Text between the ANSI code page and UTF-16, as the system converts it.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tkw::win32 {

// How WideCharToMultiByte must be asked to convert into `codePage`. Unmappable characters become
// '?', never a look-alike, so both hosts write the same bytes; but UTF-8 and UTF-7 map every
// character and refuse both the no-best-fit flag and a default character, and a few other code
// pages refuse every flag.
struct NarrowingRule {
  DWORD flags;
  const char* defaultChar;
};
NarrowingRule NarrowingRuleFor(UINT codePage);

// Both throw host::RuntimeError (invalid procedure call) when the system cannot convert, rather
// than giving empty text.
std::wstring AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::wstring_view wide);

// The same in `codePage`: the two above are these in the ANSI code page. Apart so that a code
// page the system refuses can show what a failed conversion gives.
std::wstring CodePageToWide(std::string_view text, UINT codePage);
std::string WideToCodePage(std::wstring_view wide, UINT codePage);

}  // namespace tkw::win32
