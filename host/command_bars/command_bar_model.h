// PowerPoint's command bars as plain data with the indexes that keep every lookup the program
// makes sub-linear: bars by name, controls by caption within their collection, and controls
// by tag across a bar and its pop-ups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/command_bars/ranked_list.h"

namespace tkw::command_bars {

// The key under which PowerPoint matches a bar or control name: letter case folded and the
// accelerator marks ("&") dropped.
std::wstring NameKey(std::wstring_view name);

// MsoControlType values of the kinds of control the program adds and looks for. The other kinds
// that a real PowerPoint holds (combo boxes, edit boxes, ...) keep their own value: a snapshot
// has them in their places, though nothing here makes them.
enum class ControlType : std::int16_t { kButton = 1, kPopup = 10 };
// kPopup is a shortcut menu (msoBarTypePopup), which a real PowerPoint has many of.
enum class BarType { kToolbar, kMenuBar, kPopup };

// Pop-ups nest only this deep, which keeps every walk over a bar's controls shallow.
inline constexpr int kMaxPopupDepth = 16;

// The face blocks as the state file holds them, in base64: a face is only ever pasted and
// saved, and thousands of them would otherwise be decoded and encoded again on every run.
struct ButtonFace {
  std::string dib;
  std::optional<std::string> mask;
  friend bool operator==(const ButtonFace&, const ButtonFace&) = default;
};

struct ControlProperties {
  ControlType type = ControlType::kButton;
  std::int32_t id = 1;
  std::wstring caption, tag, onAction, tooltipText;
  bool temporary = false;
  bool builtIn = false;
  // Hidden controls are still found by caption and counted in places; a snapshot keeps them.
  bool visible = true;
  std::int32_t style = 0;          // buttons only (msoButtonAutomatic)
  std::optional<ButtonFace> face;  // buttons only
};

struct BarProperties {
  std::wstring name;
  BarType type = BarType::kToolbar;
  std::int32_t position = 4;  // msoBarFloating
  bool visible = false;
  bool temporary = false;
  bool builtIn = false;
  // MsoBarProtection; msoBarNoCustomize (1) refuses adding and deleting controls.
  std::int32_t protection = 0;
  // The name PowerPoint shows in its language (NameLocal); the English name finds the bar in
  // every language. Unset, it is the name, as for every bar that is not PowerPoint's own.
  std::optional<std::wstring> nameLocal = std::nullopt;

  const std::wstring& LocalName() const { return nameLocal ? *nameLocal : name; }
};

class CommandBar;
class Control;
struct SessionDeletion;

// A control and everything under it as plain data: what a deletion for the session keeps to
// bring back at the next start, and what Add makes of a built-in command.
struct ControlCopy {
  ControlProperties properties;
  std::vector<ControlCopy> controls;                  // a pop-up's
  std::vector<SessionDeletion> deletedForTheSession;  // a pop-up's own, which come back with it
};

// A control deleted for the session only (Delete with Temporary true). It comes back when
// PowerPoint closes, at `place` among the controls that last, counted when it was deleted:
// the list's temporary controls go first, and later deletions come back before earlier ones.
struct SessionDeletion {
  std::size_t place = 1;
  ControlCopy control;
};

// The controls of a bar or a pop-up, in order. Places are 1-based as in automation.
class ControlList {
 public:
  // `owner` is the pop-up holding the list, null for a bar's own controls.
  ControlList(CommandBar& bar, Control* owner);
  ControlList(const ControlList&) = delete;
  ControlList& operator=(const ControlList&) = delete;

  std::size_t size() const { return items_.size(); }
  int depth() const { return depth_; }  // 1 for a bar's own controls
  CommandBar& bar() const { return bar_; }
  Control* owner() const { return owner_; }

  // `place` in [1, size()].
  Control& At(std::size_t place) const { return *items_.At(place - 1); }
  // The first control whose caption matches `caption` as names match, or null.
  Control* FindByCaption(std::wstring_view caption) const;
  // `place` in [1, size() + 1]. A pop-up needs depth() < kMaxPopupDepth.
  Control& Insert(std::size_t place, ControlProperties properties);
  // Removes `control` and everything under it; references to them expire.
  void Remove(Control& control);
  // Removes `control` as Remove does, for this session only: it is kept, as it stands, to come
  // back when PowerPoint closes (CommandBarSet::Close). A temporary control goes then anyway.
  void RemoveForTheSession(Control& control);
  const std::vector<SessionDeletion>& deletedForTheSession() const { return deletedForTheSession_; }
  // As a state file keeps it.
  void KeepForTheSession(SessionDeletion deletion) {
    deletedForTheSession_.push_back(std::move(deletion));
  }
  // Puts back what was deleted for the session, the last deleted first, in this list only.
  void RestoreDeletedForTheSession();
  // `place` in [1, size() + 1]; pop-ups in `copy` need depth() + their nesting <= kMaxPopupDepth.
  Control& InsertCopy(std::size_t place, const ControlCopy& copy);

  template <typename Visit>  // bool(Control&): true stops the walk
  bool VisitUntil(Visit&& visit) const {
    return items_.VisitUntil([&](const std::shared_ptr<Control>& c) { return visit(*c); });
  }

 private:
  friend class Control;
  void IndexCaption(Control& control);
  void UnindexCaption(Control& control);

  CommandBar& bar_;
  Control* owner_;
  int depth_;
  RankedList<std::shared_ptr<Control>> items_;
  std::unordered_map<std::wstring, std::unordered_set<Control*>> byCaption_;
  std::vector<SessionDeletion> deletedForTheSession_;
};

// `control` as it stands, with everything under it.
ControlCopy CopyOf(const Control& control);

class Control : public std::enable_shared_from_this<Control> {
 public:
  Control(ControlList& parent, ControlProperties properties);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const ControlProperties& properties() const { return properties_; }
  ControlType type() const { return properties_.type; }
  ControlList& parent() const { return parent_; }
  // A pop-up's own controls; null for a button.
  ControlList* controls() const { return controls_.get(); }
  std::size_t Index() const { return parent_.items_.IndexOf(node_) + 1; }

  void SetCaption(std::wstring caption);
  void SetTag(std::wstring tag);
  void SetOnAction(std::wstring onAction) { properties_.onAction = std::move(onAction); }
  void SetTooltipText(std::wstring text) { properties_.tooltipText = std::move(text); }
  void SetStyle(std::int32_t style) { properties_.style = style; }
  void SetFace(ButtonFace face) { properties_.face = std::move(face); }

 private:
  friend class ControlList;
  ControlList& parent_;
  RankedList<std::shared_ptr<Control>>::Node* node_ = nullptr;
  ControlProperties properties_;
  std::unique_ptr<ControlList> controls_;
};

// What FindControl looks for; an empty optional is a criterion not given.
struct ControlQuery {
  std::optional<ControlType> type;
  std::optional<std::int32_t> id;
  std::optional<std::wstring> tag;
  bool visibleOnly = false;
  bool recursive = false;
};

class CommandBar : public std::enable_shared_from_this<CommandBar> {
 public:
  explicit CommandBar(BarProperties properties)
      : properties_(std::move(properties)), controls_(*this, nullptr) {}
  CommandBar(const CommandBar&) = delete;
  CommandBar& operator=(const CommandBar&) = delete;

  const BarProperties& properties() const { return properties_; }
  ControlList& controls() { return controls_; }
  const ControlList& controls() const { return controls_; }
  void SetVisible(bool visible) { properties_.visible = visible; }

  // The first matching control in depth-first order, or null.
  Control* FindControl(const ControlQuery& query) const;

 private:
  friend class Control;
  friend class ControlList;
  void IndexTag(Control& control);
  void UnindexTag(Control& control);

  BarProperties properties_;
  ControlList controls_;
  std::unordered_map<std::wstring, std::unordered_set<Control*>> byTag_;
};

// PowerPoint's CommandBars collection, and whether PowerPoint is open. The set holds the only
// lasting reference to each bar; a bar deleted or dropped at close goes once its callers let go.
class CommandBarSet {
 public:
  CommandBarSet() = default;
  CommandBarSet(CommandBarSet&&) = default;
  CommandBarSet& operator=(CommandBarSet&&) = default;
  CommandBarSet(const CommandBarSet&) = delete;
  CommandBarSet& operator=(const CommandBarSet&) = delete;

  bool running() const { return running_; }
  // The user starts PowerPoint; its bars are as it last saved them.
  void Open() { running_ = true; }
  // PowerPoint closes: its temporary bars and controls are deleted, as Office deletes them
  // when the container application closes, and the controls deleted for the session come
  // back; what stays is what the next start shows.
  void Close();

  std::size_t size() const { return bars_.size(); }
  // `place` in [1, size()].
  CommandBar& At(std::size_t place) const { return *bars_[place - 1]; }
  // The first bar whose name matches `name` as names match, or null.
  CommandBar* Find(std::wstring_view name) const;
  CommandBar& Add(BarProperties properties);
  void Remove(CommandBar& bar);
  // The first of PowerPoint's own controls with Id `id`, bar by bar and depth first, or null.
  const Control* FindCommand(std::int32_t id) const;

 private:
  std::vector<std::shared_ptr<CommandBar>> bars_;
  std::unordered_map<std::wstring, CommandBar*> byName_;
  bool running_ = true;
};

}  // namespace tkw::command_bars
