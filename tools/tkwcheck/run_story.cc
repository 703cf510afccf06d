#include "tools/tkwcheck/run_story.h"

#include <algorithm>
#include <cwctype>
#include <stdexcept>

#include "host/formats/utf8.h"
#include "host/formats/windows_1252.h"

namespace tkw::check {
namespace {

std::vector<std::wstring> Lines(std::string_view log) {
  std::vector<std::wstring> lines;
  while (!log.empty()) {
    const std::size_t end = log.find("\r\n");
    lines.push_back(formats::AnsiToWide(log.substr(0, end)));
    if (end == std::string_view::npos)
      break;
    log.remove_prefix(end + 2);
  }
  return lines;
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::wstring_view text, std::wstring_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The first line is the date and time the run started: digits, separators and perhaps AM/PM.
bool LooksLikeDate(std::wstring_view line) {
  if (line.empty() || line.size() > 40 || !std::iswdigit(line.front()))
    return false;
  for (const wchar_t c : line) {
    if (!std::iswalnum(c) && std::wstring_view(L"/.-: ,").find(c) == std::wstring_view::npos)
      return false;
  }
  return true;
}

std::vector<std::wstring> SplitInfo(std::wstring_view info) {
  std::vector<std::wstring> fields;
  for (;;) {
    const std::size_t separator = info.find(L" , ");
    fields.emplace_back(info.substr(0, separator));
    if (separator == std::wstring_view::npos)
      return fields;
    info.remove_prefix(separator + 3);
  }
}

std::string Utf8(std::wstring_view text) {
  return formats::WideToUtf8(text);
}

class Reader {
 public:
  explicit Reader(std::vector<std::wstring> lines) : lines_(std::move(lines)) {}

  RunStory Read() {
    if (lines_.empty())
      throw std::runtime_error("the file is empty");
    if (!LooksLikeDate(lines_[0]))
      throw std::runtime_error("its first line is no date and time");
    if (lines_.size() < 2 || lines_[1] != L"Creating Mutex")
      throw std::runtime_error("its second line is not \"Creating Mutex\"");
    story_.started = Utf8(lines_[0]);
    for (std::size_t i = 2; i < lines_.size(); ++i)
      Take(lines_[i]);
    Close();
    return std::move(story_);
  }

 private:
  void Take(const std::wstring& line) {
    if (line == L"Creating Mutex Failed") {
      story_.end = RunStory::End::kRefused;
    } else if (line == L"Work completed successfully") {
      story_.end = RunStory::End::kCompleted;
    } else if (StartsWith(line, L"Error: Load: ")) {
      story_.cutShortBy = Utf8(line.substr(13));
    } else if (line == L"CreateToolbarButtonsFromRegistryValues[") {
      builder_ = DefinitionStory::Builder::kToolbar;
    } else if (line == L"CreateMenuControlsFromRegistryValues[") {
      Close();
      builder_ = DefinitionStory::Builder::kMenu;
    } else if (StartsWith(line, L"Registry open failed: ")) {
      (builder_ == DefinitionStory::Builder::kToolbar ? story_.noToolbarKey : story_.noMenuKey) =
          true;
    } else if (StartsWith(line, L" RegEnumValue: ") || line == L" Close registry key") {
      Close();
    } else if (StartsWith(line, L"RegEnumValue: ") && !EndsWith(line, L" : Falied")) {
      Close();
      current_ = DefinitionStory{builder_, line.substr(14), "passed over", {}, {}};
      open_ = true;
    } else if (open_) {
      TakeDefinitionLine(line);
    }
  }

  void TakeDefinitionLine(const std::wstring& line) {
    DefinitionStory& d = current_;
    if (StartsWith(line, L"Addtoolbar ") || StartsWith(line, L"Add Menu control ")) {
      // Read; what happens next decides. A toolbar definition that gets no further found
      // PowerPoint's command bars missing.
      d.outcome = d.builder == DefinitionStory::Builder::kToolbar
                      ? "PowerPoint could not be started"
                      : "passed over";
    } else if (line == L"less no of args") {
      d.outcome = "too few fields";
    } else if (StartsWith(line, L"Info: ")) {
      d.info = SplitInfo(std::wstring_view(line).substr(6));
    } else if (line == L"AddToolBarButton[" || line == L"[ AddMenuControl start") {
      d.outcome = "added";
    } else if (line == L"ToolBar not exist") {
      d.details.push_back("bar created");
    } else if (line == L"No CommandBar object") {
      std::erase(d.details, std::string("bar created"));
      d.outcome = "bar could not be made";
    } else if (StartsWith(line, L"Button ") && EndsWith(line, L" already exists")) {
      d.outcome = "already there";
    } else if (line == L"Menu not found") {
      d.outcome = "menu not found";
    } else if (line == L"Menu control already exist, delete it") {
      d.outcome = "replaced";
    } else if (line == L"BeforeBtn not found, add as first btn") {
      d.details.push_back("placed first");
    } else if (line == L"AtlClipBoard object not obtained") {
      story_.clipboardComponentMissing = true;
      if (d.details.empty() || d.details.back() != "clipboard component missing")
        d.details.push_back("clipboard component missing");
    } else if (StartsWith(line, L"Error: AppendSlashIfNecessary: ")) {
      d.details.push_back("the product has no install folder, so no face");
    }
  }

  void Close() {
    if (!open_)
      return;
    DefinitionStory& d = current_;
    const bool placed = d.outcome == "added" || d.outcome == "replaced";
    if (d.builder == DefinitionStory::Builder::kMenu && placed && d.info.size() > 1 &&
        std::find(d.details.begin(), d.details.end(), "placed first") == d.details.end()) {
      d.details.insert(d.details.begin(), "placed before \"" + Utf8(d.info[1]) + "\"");
    }
    if (current_.outcome == "PowerPoint could not be started")
      story_.powerPointMissing = true;
    story_.definitions.push_back(std::move(current_));
    open_ = false;
  }

  std::vector<std::wstring> lines_;
  RunStory story_;
  DefinitionStory::Builder builder_ = DefinitionStory::Builder::kToolbar;
  DefinitionStory current_;
  bool open_ = false;
};

}  // namespace

RunStory ReadRunStory(std::string_view log) {
  return Reader(Lines(log)).Read();
}

}  // namespace tkw::check
