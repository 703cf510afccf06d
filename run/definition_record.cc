#include "run/definition_record.h"

#include "run/settings.h"

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

std::optional<ToolbarRequest> ToolbarRequestOf(const std::vector<std::wstring>& fields) {
  if (fields.size() < settings::kToolbarFieldsNeeded)
    return std::nullopt;
  const std::wstring& sToolTip =
      fields.size() > settings::kToolbarFieldsNeeded ? fields[6] : fields[1];
  return ToolbarRequest{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], sToolTip};
}

std::optional<MenuRequest> MenuRequestOf(const std::vector<std::wstring>& fields) {
  if (fields.size() < settings::kMenuFieldsNeeded)
    return std::nullopt;
  const auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::wstring(); };
  return MenuRequest{fields[0], fields[1], fields[2], field(3), field(4), field(5)};
}

}  // namespace tkw
