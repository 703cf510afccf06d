#include "host/win32/code_page.h"

#include <windows.h>

namespace tkw::win32 {

std::wstring AnsiToWide(std::string_view ansi) {
  if (ansi.empty())
    return {};
  const int size = static_cast<int>(ansi.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), length);
  return wide;
}

std::string WideToAnsi(std::wstring_view wide) {
  if (wide.empty())
    return {};
  const int size = static_cast<int>(wide.size());
  constexpr DWORD kFlags = WC_NO_BEST_FIT_CHARS;
  const int length =
      ::WideCharToMultiByte(CP_ACP, kFlags, wide.data(), size, nullptr, 0, "?", nullptr);
  std::string ansi(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, kFlags, wide.data(), size, ansi.data(), length, "?", nullptr);
  return ansi;
}

}  // namespace tkw::win32
