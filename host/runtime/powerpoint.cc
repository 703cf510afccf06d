#include "host/runtime/powerpoint.h"

// Every member is named with the interface that declares it, so that its dispatch identifier is
// looked up once: those of CommandBarControl serve buttons and pop-ups alike.
namespace tkw::host {

CommandBars Application::CommandBars() const {
  return GetObject<host::CommandBars>({office::kIidApplication, L"CommandBars"});
}

CommandBar CommandBars::Item(const std::wstring& index) const {
  return GetObject<CommandBar>({office::kIidCommandBars, L"Item"}, {index});
}

CommandBar CommandBars::Item(std::int32_t place) const {
  return GetObject<CommandBar>({office::kIidCommandBars, L"Item"}, {place});
}

std::optional<std::int32_t> CommandBars::Count() const {
  return GetNumber({office::kIidCommandBars, L"Count"});
}

CommandBar CommandBars::Add(const std::wstring& name, std::int16_t position, bool menuBar,
                            bool temporary) const {
  return GetObject<CommandBar>({office::kIidCommandBars, L"Add"},
                               {name, position, menuBar, temporary});
}

CommandBarControl CommandBarControls::Item(const std::wstring& index) const {
  return GetObject<CommandBarControl>({office::kIidCommandBarControls, L"Item"}, {index});
}

CommandBarControl CommandBarControls::Item(std::int32_t place) const {
  return GetObject<CommandBarControl>({office::kIidCommandBarControls, L"Item"}, {place});
}

std::optional<std::int32_t> CommandBarControls::Count() const {
  return GetNumber({office::kIidCommandBarControls, L"Count"});
}

CommandBarControl CommandBarControls::Add(const Variant& type, const Variant& id,
                                          const Variant& parameter, const Variant& before,
                                          const Variant& temporary) const {
  return GetObject<CommandBarControl>({office::kIidCommandBarControls, L"Add"},
                                      {type, id, parameter, before, temporary});
}

CommandBarControls CommandBar::Controls() const {
  return GetObject<CommandBarControls>({office::kIidCommandBar, L"Controls"});
}

CommandBarControl CommandBar::FindControl(std::int16_t type, const std::wstring& tag,
                                          bool recursive) const {
  return GetObject<CommandBarControl>({office::kIidCommandBar, L"FindControl"},
                                      {type, MissingArgument{}, tag, MissingArgument{}, recursive});
}

bool CommandBar::SetVisible(bool visible) const {
  return Put({office::kIidCommandBar, L"Visible"}, visible);
}

std::optional<bool> CommandBar::Visible() const {
  return GetFlag({office::kIidCommandBar, L"Visible"});
}

std::optional<std::wstring> CommandBar::Name() const {
  return GetText({office::kIidCommandBar, L"Name"});
}

std::optional<std::wstring> CommandBar::NameLocal() const {
  return GetText({office::kIidCommandBar, L"NameLocal"});
}

std::optional<std::int32_t> CommandBar::Type() const {
  return GetNumber({office::kIidCommandBar, L"Type"});
}

std::optional<std::int32_t> CommandBar::Position() const {
  return GetNumber({office::kIidCommandBar, L"Position"});
}

std::optional<bool> CommandBar::BuiltIn() const {
  return GetFlag({office::kIidCommandBar, L"BuiltIn"});
}

std::optional<std::int32_t> CommandBar::Protection() const {
  return GetNumber({office::kIidCommandBar, L"Protection"});
}

bool CommandBar::Delete() const {
  return Call({office::kIidCommandBar, L"Delete"});
}

bool CommandBarControl::SetCaption(const std::wstring& caption) const {
  return Put({office::kIidCommandBarControl, L"Caption"}, caption);
}

bool CommandBarControl::SetOnAction(const std::wstring& onAction) const {
  return Put({office::kIidCommandBarControl, L"OnAction"}, onAction);
}

bool CommandBarControl::SetTag(const std::wstring& tag) const {
  return Put({office::kIidCommandBarControl, L"Tag"}, tag);
}

bool CommandBarControl::SetTooltipText(const std::wstring& tooltipText) const {
  return Put({office::kIidCommandBarControl, L"TooltipText"}, tooltipText);
}

std::optional<std::wstring> CommandBarControl::Caption() const {
  return GetText({office::kIidCommandBarControl, L"Caption"});
}

std::optional<std::wstring> CommandBarControl::OnAction() const {
  return GetText({office::kIidCommandBarControl, L"OnAction"});
}

std::optional<std::wstring> CommandBarControl::Tag() const {
  return GetText({office::kIidCommandBarControl, L"Tag"});
}

std::optional<std::wstring> CommandBarControl::TooltipText() const {
  return GetText({office::kIidCommandBarControl, L"TooltipText"});
}

std::optional<bool> CommandBarControl::BuiltIn() const {
  return GetFlag({office::kIidCommandBarControl, L"BuiltIn"});
}

std::optional<std::int32_t> CommandBarControl::Id() const {
  return GetNumber({office::kIidCommandBarControl, L"Id"});
}

std::optional<bool> CommandBarControl::Visible() const {
  return GetFlag({office::kIidCommandBarControl, L"Visible"});
}

std::optional<std::int32_t> CommandBarControl::Index() const {
  return GetNumber({office::kIidCommandBarControl, L"Index"});
}

std::optional<std::int32_t> CommandBarControl::Type() const {
  return GetNumber({office::kIidCommandBarControl, L"Type"});
}

bool CommandBarControl::Delete() const {
  return Call({office::kIidCommandBarControl, L"Delete"}, {MissingArgument{}});
}

bool CommandBarButton::SetStyle(std::int32_t style) const {
  return Put({office::kIidCommandBarButton, L"Style"}, style);
}

std::optional<std::int32_t> CommandBarButton::Style() const {
  return GetNumber({office::kIidCommandBarButton, L"Style"});
}

bool CommandBarButton::PasteFace() const {
  return Call({office::kIidCommandBarButton, L"PasteFace"});
}

bool CommandBarButton::CopyFace() const {
  return Call({office::kIidCommandBarButton, L"CopyFace"});
}

CommandBarControls CommandBarPopup::Controls() const {
  return GetObject<CommandBarControls>({office::kIidCommandBarPopup, L"Controls"});
}

}  // namespace tkw::host
