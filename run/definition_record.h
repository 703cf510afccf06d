// The comma-separated records of toolbar and menu definition values.
#pragma once

#include <optional>
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

// A toolbar definition as AddToolBarButton takes it.
struct ToolbarRequest {
  std::wstring sToolBar, sCaption, sOnAction, sTag, sProduct, sImage, sToolTip;
};
// None when the record has too few fields. Without a seventh field the caption serves as the
// tooltip; fields after it are ignored.
std::optional<ToolbarRequest> ToolbarRequestOf(const std::vector<std::wstring>& fields);

// A menu definition as AddMenuControl takes it.
struct MenuRequest {
  std::wstring sMenuToAdd, sCaption, sOnAction, sBefore, sProduct, sImage;
};
// None when the record has too few fields. The optional fields a short record leaves out are
// empty: no before-control, no face.
std::optional<MenuRequest> MenuRequestOf(const std::vector<std::wstring>& fields);

}  // namespace tkw
