#include "host/command_bars/command_bar_model.h"

#include <algorithm>

#include "host/formats/utf8.h"

namespace tkw::command_bars {
namespace {

// Folds the letters of Windows-1252, the code page through which the program's text arrives.
wchar_t FoldCase(wchar_t c) {
  if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
    return c + 0x20;
  switch (c) {
    case 0x0152:  // Œ
    case 0x0160:  // Š
    case 0x017D:  // Ž
      return c + 1;
    case 0x0178:  // Ÿ
      return 0x00FF;
    default:
      return c;
  }
}

}  // namespace

std::wstring NameKey(std::wstring_view name) {
  std::wstring key;
  key.reserve(name.size());
  for (wchar_t c : name) {
    if (c != L'&')
      key += FoldCase(c);
  }
  return key;
}

namespace {

// Places from the bar down to `control`; comparing them orders controls depth first.
std::vector<std::size_t> PathOf(const Control& control) {
  std::vector<std::size_t> path;
  for (const Control* step = &control; step != nullptr; step = step->parent().owner()) {
    path.push_back(step->Index());
  }
  std::reverse(path.begin(), path.end());
  return path;
}

bool Matches(const Control& control, const ControlQuery& query) {
  const ControlProperties& p = control.properties();
  return (!query.type || p.type == *query.type) && (!query.id || p.id == *query.id) &&
         (!query.tag || p.tag == *query.tag) && (!query.visibleOnly || p.visible);
}

// Visits `list` and, when `recursive`, the pop-ups under it, depth first.
Control* FindInList(const ControlList& list, const ControlQuery& query) {
  Control* found = nullptr;
  list.VisitUntil([&](Control& control) {
    if (Matches(control, query)) {
      found = &control;
    } else if (query.recursive && control.controls() != nullptr) {
      found = FindInList(*control.controls(), query);
    }
    return found != nullptr;
  });
  return found;
}

template <typename Index>
void AddToIndex(Index& index, const std::wstring& key, Control& control) {
  index[key].insert(&control);
}

template <typename Index>
void RemoveFromIndex(Index& index, const std::wstring& key, Control& control) {
  auto bucket = index.find(key);
  bucket->second.erase(&control);
  if (bucket->second.empty())
    index.erase(bucket);
}

// What a close leaves of a list: its temporary controls go, then what was deleted for the
// session comes back, the last deleted first, so that each finds the list as it left it; then
// the same below, in the pop-ups that stay and those that came back.
void CloseList(ControlList& list) {
  std::vector<Control*> temporary;
  list.VisitUntil([&](Control& control) {
    if (control.properties().temporary)
      temporary.push_back(&control);
    return false;
  });
  for (Control* control : temporary)
    list.Remove(*control);
  list.RestoreDeletedForTheSession();
  list.VisitUntil([](Control& control) {
    if (control.controls() != nullptr)
      CloseList(*control.controls());
    return false;
  });
}

}  // namespace

ControlList::ControlList(CommandBar& bar, Control* owner)
    : bar_(bar), owner_(owner), depth_(owner ? owner->parent().depth() + 1 : 1) {}

Control* ControlList::FindByCaption(std::wstring_view caption) const {
  const auto bucket = byCaption_.find(NameKey(caption));
  if (bucket == byCaption_.end())
    return nullptr;
  // Controls sharing a caption are few; the first in order wins.
  return *std::min_element(
      bucket->second.begin(), bucket->second.end(),
      [](const Control* a, const Control* b) { return a->Index() < b->Index(); });
}

Control& ControlList::Insert(std::size_t place, ControlProperties properties) {
  auto control = std::make_shared<Control>(*this, std::move(properties));
  Control& inserted = *control;
  inserted.node_ = items_.Insert(place - 1, std::move(control));
  IndexCaption(inserted);
  bar_.IndexTag(inserted);
  return inserted;
}

void ControlList::Remove(Control& control) {
  if (ControlList* children = control.controls()) {
    while (children->size() > 0)
      children->Remove(children->At(children->size()));
  }
  UnindexCaption(control);
  bar_.UnindexTag(control);
  // The list held the only lasting reference; the control goes once its callers let go.
  items_.Erase(control.node_);
}

void ControlList::RemoveForTheSession(Control& control) {
  if (!control.properties().temporary) {
    std::size_t lasting = 1;
    VisitUntil([&](const Control& before) {
      if (&before == &control)
        return true;
      lasting += !before.properties().temporary;
      return false;
    });
    deletedForTheSession_.push_back({lasting, CopyOf(control)});
  }
  Remove(control);
}

void ControlList::RestoreDeletedForTheSession() {
  std::vector<SessionDeletion> deleted = std::move(deletedForTheSession_);
  deletedForTheSession_.clear();
  for (auto d = deleted.rbegin(); d != deleted.rend(); ++d)
    InsertCopy(std::min(d->place, size() + 1), d->control);
}

Control& ControlList::InsertCopy(std::size_t place, const ControlCopy& copy) {
  Control& inserted = Insert(place, copy.properties);
  if (ControlList* children = inserted.controls()) {
    for (const ControlCopy& child : copy.controls)
      children->InsertCopy(children->size() + 1, child);
    children->deletedForTheSession_ = copy.deletedForTheSession;
  }
  return inserted;
}

ControlCopy CopyOf(const Control& control) {
  ControlCopy copy{control.properties(), {}, {}};
  if (const ControlList* children = control.controls()) {
    children->VisitUntil([&](const Control& child) {
      copy.controls.push_back(CopyOf(child));
      return false;
    });
    copy.deletedForTheSession = children->deletedForTheSession();
  }
  return copy;
}

void ControlList::IndexCaption(Control& control) {
  AddToIndex(byCaption_, NameKey(control.properties().caption), control);
}

void ControlList::UnindexCaption(Control& control) {
  RemoveFromIndex(byCaption_, NameKey(control.properties().caption), control);
}

Control::Control(ControlList& parent, ControlProperties properties)
    : parent_(parent), properties_(std::move(properties)) {
  if (properties_.type == ControlType::kPopup) {
    controls_ = std::make_unique<ControlList>(parent.bar(), this);
  }
}

void Control::SetCaption(std::wstring caption) {
  parent_.UnindexCaption(*this);
  properties_.caption = std::move(caption);
  parent_.IndexCaption(*this);
}

void Control::SetTag(std::wstring tag) {
  parent_.bar().UnindexTag(*this);
  properties_.tag = std::move(tag);
  parent_.bar().IndexTag(*this);
}

// Controls without a tag are the common case and are never looked up by tag.
void CommandBar::IndexTag(Control& control) {
  if (!control.properties().tag.empty())
    AddToIndex(byTag_, control.properties().tag, control);
}

void CommandBar::UnindexTag(Control& control) {
  if (!control.properties().tag.empty()) {
    RemoveFromIndex(byTag_, control.properties().tag, control);
  }
}

Control* CommandBar::FindControl(const ControlQuery& query) const {
  if (!query.tag || query.tag->empty()) {
    // Office ignores an empty criterion. Built without the tag rather than copied and reset,
    // which GCC 12's -O3 takes for a use of an uninitialized string.
    ControlQuery untagged;
    untagged.type = query.type;
    untagged.id = query.id;
    untagged.visibleOnly = query.visibleOnly;
    untagged.recursive = query.recursive;
    return FindInList(controls_, untagged);
  }
  const auto bucket = byTag_.find(*query.tag);
  if (bucket == byTag_.end())
    return nullptr;
  Control* first = nullptr;
  std::vector<std::size_t> firstPath;
  for (Control* candidate : bucket->second) {
    if (!Matches(*candidate, query) || (!query.recursive && candidate->parent().depth() > 1)) {
      continue;
    }
    std::vector<std::size_t> path = PathOf(*candidate);
    if (first == nullptr || path < firstPath)
      first = candidate, firstPath = std::move(path);
  }
  return first;
}

CommandBar* CommandBarSet::Find(std::wstring_view name) const {
  const auto found = byName_.find(NameKey(name));
  return found == byName_.end() ? nullptr : found->second;
}

CommandBar& CommandBarSet::Add(BarProperties properties) {
  auto bar = std::make_shared<CommandBar>(std::move(properties));
  CommandBar& added = *bar;
  bars_.push_back(std::move(bar));
  byName_.emplace(NameKey(added.properties().name), &added);  // a duplicate keeps the first
  return added;
}

void CommandBarSet::Close() {
  std::erase_if(bars_, [](const auto& bar) { return bar->properties().temporary; });
  byName_.clear();
  for (const auto& bar : bars_) {
    byName_.emplace(NameKey(bar->properties().name), bar.get());
    CloseList(bar->controls());
  }
  running_ = false;
}

namespace {

const Control* FindCommandIn(const ControlList& list, std::int32_t id) {
  const Control* found = nullptr;
  list.VisitUntil([&](const Control& control) {
    if (control.properties().builtIn && control.properties().id == id)
      found = &control;
    else if (control.controls() != nullptr)
      found = FindCommandIn(*control.controls(), id);
    return found != nullptr;
  });
  return found;
}

}  // namespace

const Control* CommandBarSet::FindCommand(std::int32_t id) const {
  for (const auto& bar : bars_) {
    if (const Control* found = FindCommandIn(bar->controls(), id))
      return found;
  }
  return nullptr;
}

void CommandBarSet::Remove(CommandBar& bar) {
  const std::wstring key = NameKey(bar.properties().name);
  const auto named = byName_.find(key);
  const bool answered = named != byName_.end() && named->second == &bar;
  if (answered)
    byName_.erase(named);
  std::erase_if(bars_, [&](const std::shared_ptr<CommandBar>& b) { return b.get() == &bar; });
  if (!answered)
    return;
  // A later bar of the same name now answers to it.
  for (const std::shared_ptr<CommandBar>& b : bars_) {
    if (NameKey(b->properties().name) == key) {
      byName_.emplace(key, b.get());
      return;
    }
  }
}

}  // namespace tkw::command_bars
