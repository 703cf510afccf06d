// Text as the emulated PowerPoint stores it (wide strings) and as its state file and error
// descriptions carry it (UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace tkw::emulated {

// Unpaired surrogates and out-of-range values become U+FFFD, so the result is always valid.
std::string WideToUtf8(std::wstring_view wide);

// Throws host::RuntimeError on a malformed sequence.
std::wstring Utf8ToWide(std::string_view utf8);

// The key under which PowerPoint matches a bar or control name: letter case folded and the
// accelerator marks ("&") dropped.
std::wstring NameKey(std::wstring_view name);

}  // namespace tkw::emulated
