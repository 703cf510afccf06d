// What a run did, definition by definition, as its diagnostic log tells it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tkw::check {

struct DefinitionStory {
  enum class Builder { kToolbar, kMenu };
  Builder builder = Builder::kToolbar;
  std::wstring name;  // the value's name
  // "added", "already there", "replaced" (a menu control of that caption), "bar could not be
  // made", "menu not found", "too few fields", "passed over", "PowerPoint could not be started".
  std::string outcome;
  std::vector<std::string> details;  // in the order the log tells them, UTF-8
  // From the log's "Info: " line: a toolbar's caption, macro and tag; a menu control's menu,
  // before-control, caption, product and image.
  std::vector<std::wstring> info;
};

struct RunStory {
  enum class End { kCompleted, kRefused, kCutShort };
  std::string started;  // the first line: when the run began
  End end = End::kCutShort;
  std::string cutShortBy;  // the error that stopped it, when the log names one
  bool noToolbarKey = false;
  bool noMenuKey = false;
  bool powerPointMissing = false;  // a toolbar definition found no command bars to add to
  bool clipboardComponentMissing = false;
  std::vector<DefinitionStory> definitions;
};

// Reads a log written by either build (ANSI text, CR LF line ends). Throws std::runtime_error
// saying why when the text is not a log of the program.
RunStory ReadRunStory(std::string_view log);

}  // namespace tkw::check
