// Text between the ANSI code page and UTF-16, as the system converts it.
#pragma once

#include <string>
#include <string_view>

namespace tkw::win32 {

std::wstring AnsiToWide(std::string_view ansi);
// Unmappable characters become '?', never a look-alike, so both hosts write the same bytes.
std::string WideToAnsi(std::wstring_view wide);

}  // namespace tkw::win32
