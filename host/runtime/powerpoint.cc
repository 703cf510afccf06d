#include "host/runtime/powerpoint.h"

namespace tkw::host {

CommandBars Application::CommandBars() const {
  return GetObject<host::CommandBars>(L"CommandBars");
}

CommandBar CommandBars::Item(const std::wstring& index) const {
  return GetObject<CommandBar>(L"Item", {index});
}

CommandBar CommandBars::Item(std::int32_t place) const {
  return GetObject<CommandBar>(L"Item", {place});
}

std::optional<std::int32_t> CommandBars::Count() const {
  return GetNumber(L"Count");
}

CommandBar CommandBars::Add(const std::wstring& name, std::int16_t position, bool menuBar,
                            bool temporary) const {
  return GetObject<CommandBar>(L"Add", {name, position, menuBar, temporary});
}

CommandBarControl CommandBarControls::Item(const std::wstring& index) const {
  return GetObject<CommandBarControl>(L"Item", {index});
}

CommandBarControl CommandBarControls::Item(std::int32_t place) const {
  return GetObject<CommandBarControl>(L"Item", {place});
}

std::optional<std::int32_t> CommandBarControls::Count() const {
  return GetNumber(L"Count");
}

CommandBarControl CommandBarControls::Add(const Variant& type, const Variant& id,
                                          const Variant& parameter, const Variant& before,
                                          const Variant& temporary) const {
  return GetObject<CommandBarControl>(L"Add", {type, id, parameter, before, temporary});
}

CommandBarControls CommandBar::Controls() const {
  return GetObject<CommandBarControls>(L"Controls");
}

CommandBarControl CommandBar::FindControl(std::int16_t type, const std::wstring& tag,
                                          bool recursive) const {
  return GetObject<CommandBarControl>(L"FindControl",
                                      {type, MissingArgument{}, tag, MissingArgument{}, recursive});
}

bool CommandBar::SetVisible(bool visible) const {
  return Put(L"Visible", visible);
}

std::optional<bool> CommandBar::Visible() const {
  return GetFlag(L"Visible");
}

std::optional<std::wstring> CommandBar::Name() const {
  return GetText(L"Name");
}

std::optional<std::wstring> CommandBar::NameLocal() const {
  return GetText(L"NameLocal");
}

std::optional<std::int32_t> CommandBar::Type() const {
  return GetNumber(L"Type");
}

std::optional<std::int32_t> CommandBar::Position() const {
  return GetNumber(L"Position");
}

std::optional<bool> CommandBar::BuiltIn() const {
  return GetFlag(L"BuiltIn");
}

std::optional<std::int32_t> CommandBar::Protection() const {
  return GetNumber(L"Protection");
}

bool CommandBar::Delete() const {
  return Call(L"Delete");
}

bool CommandBarControl::SetCaption(const std::wstring& caption) const {
  return Put(L"Caption", caption);
}

bool CommandBarControl::SetOnAction(const std::wstring& onAction) const {
  return Put(L"OnAction", onAction);
}

bool CommandBarControl::SetTag(const std::wstring& tag) const {
  return Put(L"Tag", tag);
}

bool CommandBarControl::SetTooltipText(const std::wstring& tooltipText) const {
  return Put(L"TooltipText", tooltipText);
}

std::optional<std::wstring> CommandBarControl::Caption() const {
  return GetText(L"Caption");
}

std::optional<std::wstring> CommandBarControl::OnAction() const {
  return GetText(L"OnAction");
}

std::optional<std::wstring> CommandBarControl::Tag() const {
  return GetText(L"Tag");
}

std::optional<std::wstring> CommandBarControl::TooltipText() const {
  return GetText(L"TooltipText");
}

std::optional<bool> CommandBarControl::BuiltIn() const {
  return GetFlag(L"BuiltIn");
}

std::optional<std::int32_t> CommandBarControl::Id() const {
  return GetNumber(L"Id");
}

std::optional<bool> CommandBarControl::Visible() const {
  return GetFlag(L"Visible");
}

std::optional<std::int32_t> CommandBarControl::Index() const {
  return GetNumber(L"Index");
}

std::optional<std::int32_t> CommandBarControl::Type() const {
  return GetNumber(L"Type");
}

bool CommandBarControl::Delete() const {
  return Call(L"Delete", {MissingArgument{}});
}

bool CommandBarButton::SetStyle(std::int32_t style) const {
  return Put(L"Style", style);
}

std::optional<std::int32_t> CommandBarButton::Style() const {
  return GetNumber(L"Style");
}

bool CommandBarButton::PasteFace() const {
  return Call(L"PasteFace");
}

bool CommandBarButton::CopyFace() const {
  return Call(L"CopyFace");
}

CommandBarControls CommandBarPopup::Controls() const {
  return GetObject<CommandBarControls>(L"Controls");
}

}  // namespace tkw::host
