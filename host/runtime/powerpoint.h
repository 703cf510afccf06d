// PowerPoint's Application and the Office command-bar objects, called late-bound by member
// name with the variant types the Office type library declares. Each call that fails leaves
// an empty reference, false or nothing behind (see AutomationObject).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/office_interfaces.h"
#include "host/runtime/automation_object.h"

namespace tkw::host {

class CommandBar;
class CommandBarControl;
class CommandBarControls;

class CommandBars : public AutomationObject {
 public:
  using AutomationObject::AutomationObject;

  host::CommandBar Item(const std::wstring& index) const;
  // `place` counts from 1.
  host::CommandBar Item(std::int32_t place) const;
  std::optional<std::int32_t> Count() const;
  host::CommandBar Add(const std::wstring& name, std::int16_t position, bool menuBar,
                       bool temporary) const;
};

class Application : public AutomationObject {
 public:
  using AutomationObject::AutomationObject;

  host::CommandBars CommandBars() const;
};

class CommandBarControls : public AutomationObject {
 public:
  using AutomationObject::AutomationObject;

  host::CommandBarControl Item(const std::wstring& index) const;
  // `place` counts from 1.
  host::CommandBarControl Item(std::int32_t place) const;
  std::optional<std::int32_t> Count() const;
  // Type, Id, Parameter, Before and Temporary; any of them may be MissingArgument.
  host::CommandBarControl Add(const Variant& type, const Variant& id, const Variant& parameter,
                              const Variant& before, const Variant& temporary) const;
};

class CommandBar : public AutomationObject {
 public:
  using AutomationObject::AutomationObject;

  host::CommandBarControls Controls() const;
  // The first control of `type` whose Tag is `tag`, searched through the pop-ups when
  // `recursive`; empty when there is none. Id and Visible are left to the host's defaults.
  host::CommandBarControl FindControl(std::int16_t type, const std::wstring& tag,
                                      bool recursive) const;
  bool SetVisible(bool visible) const;
  std::optional<bool> Visible() const;
  // As PowerPoint spells it, whatever spelling found the bar: the English name of one of its
  // own bars in every language.
  std::optional<std::wstring> Name() const;
  // The name PowerPoint shows in its language.
  std::optional<std::wstring> NameLocal() const;
  // MsoBarType and MsoBarPosition.
  std::optional<std::int32_t> Type() const;
  std::optional<std::int32_t> Position() const;
  // PowerPoint's own bars are built in; the bars that programs add are not.
  std::optional<bool> BuiltIn() const;
  // MsoBarProtection flags.
  std::optional<std::int32_t> Protection() const;
  bool Delete() const;
};

class CommandBarControl : public AutomationObject {
 public:
  using AutomationObject::AutomationObject;

  bool SetCaption(const std::wstring& caption) const;
  bool SetOnAction(const std::wstring& onAction) const;
  bool SetTag(const std::wstring& tag) const;
  bool SetTooltipText(const std::wstring& tooltipText) const;
  std::optional<std::wstring> Caption() const;
  std::optional<std::wstring> OnAction() const;
  std::optional<std::wstring> Tag() const;
  std::optional<std::wstring> TooltipText() const;
  // PowerPoint's own controls are built in; the controls that programs add are not.
  std::optional<bool> BuiltIn() const;
  // The built-in command a control runs; 1 for the controls that programs add.
  std::optional<std::int32_t> Id() const;
  std::optional<bool> Visible() const;
  std::optional<std::int32_t> Index() const;
  // MsoControlType: msoControlButton, msoControlPopup, ...
  std::optional<std::int32_t> Type() const;
  // Delete with Temporary left to the host's default.
  bool Delete() const;
};

class CommandBarButton : public CommandBarControl {
 public:
  static constexpr InterfaceId kIid = office::kIidCommandBarButton;
  using CommandBarControl::CommandBarControl;

  bool SetStyle(std::int32_t style) const;
  std::optional<std::int32_t> Style() const;
  bool PasteFace() const;
  // Puts the button's face, with its mask, on the clipboard as PasteFace takes it.
  bool CopyFace() const;
};

class CommandBarPopup : public CommandBarControl {
 public:
  static constexpr InterfaceId kIid = office::kIidCommandBarPopup;
  using CommandBarControl::CommandBarControl;

  host::CommandBarControls Controls() const;
};

}  // namespace tkw::host
