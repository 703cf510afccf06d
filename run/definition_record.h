// The comma-separated records of toolbar and menu definition values.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tkw {

// The fields of a record read from the registry: `data` is the text of as many bytes as the
// read reported, which for a string value ends in its NUL. Blanks are trimmed from both ends
// of the whole record (not of each field), then one trailing NUL is dropped, so blanks that
// stood before the NUL stay in the last field. The rest is split at every comma; an empty
// record has no fields.
std::vector<std::wstring> SplitDefinitionRecord(std::wstring_view data);

}  // namespace tkw
