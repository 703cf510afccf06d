#include "run/definition_record.h"

namespace tkw {

std::vector<std::wstring> SplitDefinitionRecord(std::wstring_view data) {
  const std::size_t first = data.find_first_not_of(L' ');
  if (first == std::wstring_view::npos)
    return {};
  std::wstring_view record = data.substr(first, data.find_last_not_of(L' ') + 1 - first);
  if (record.back() == L'\0')
    record.remove_suffix(1);
  if (record.empty())
    return {};

  std::vector<std::wstring> fields;
  for (std::size_t start = 0;;) {
    const std::size_t comma = record.find(L',', start);
    fields.emplace_back(record.substr(start, comma - start));
    if (comma == std::wstring_view::npos)
      return fields;
    start = comma + 1;
  }
}

}  // namespace tkw
