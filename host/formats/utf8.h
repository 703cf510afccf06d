// UTF-8, as files, terminals and error descriptions carry text that is held in wide strings.
#pragma once

#include <string>
#include <string_view>

namespace tkw::formats {

// Unpaired surrogates and out-of-range values become U+FFFD, so the result is always valid.
std::string WideToUtf8(std::wstring_view wide);

// Throws host::RuntimeError on a malformed sequence.
std::wstring Utf8ToWide(std::string_view utf8);

}  // namespace tkw::formats
