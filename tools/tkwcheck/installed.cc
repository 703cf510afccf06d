#include "tools/tkwcheck/installed.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "faces/helper.h"
#include "host/command_bars/command_bar_model.h"
#include "host/formats/utf8.h"
#include "host/formats/windows_1252.h"
#include "host/gdi.h"
#include "host/office_interfaces.h"
#include "host/runtime/clipboard_backup.h"
#include "host/runtime/scoped_handles.h"
#include "host/runtime_error.h"
#include "run/frmTkwPPTToolbarAdder.h"
#include "run/settings.h"
#include "tools/tkwcheck/inputs.h"
#include "tools/tkwcheck/program_view.h"

namespace tkw::check {
namespace {

using host::office::msoControlButton;

constexpr wchar_t kProgId[] = L"PowerPoint.Application";

template <class Request, class Parse>
void AddDefinitions(const SettingsKey& key, Parse parse, std::vector<Definition>& definitions) {
  for (const SettingsValue& value : key.values()) {
    const ProgramView view = ViewOf(value);
    // A name the program cannot enumerate ends its enumeration.
    if (!view.nameFits)
      return;
    // A name the code page cannot hold names no value when the program reads it.
    if (view.name == settings::kLoggingValue || !view.nameLost.empty() || !view.dataFits)
      continue;
    if (std::optional<Request> request = parse(view.fields))
      definitions.push_back({value.place, std::move(*request)});
  }
}

}  // namespace

std::vector<Definition> DefinitionsOf(const SettingsKey* settings) {
  std::vector<Definition> definitions;
  if (settings == nullptr)
    return definitions;
  AddDefinitions<ToolbarRequest>(*settings, ToolbarRequestOf, definitions);
  if (const auto menus = settings->Subkey(formats::AnsiToUtf16(settings::kMenusSubkey)))
    AddDefinitions<MenuRequest>(*menus, MenuRequestOf, definitions);
  return definitions;
}

const host::CommandBarControl& Installed::control() const {
  static const host::CommandBarControl kNone;
  return controls.empty() ? kNone : controls.front().control;
}

namespace {

// Office's control types that hold controls of their own: msoControlPopup, and the graphic,
// button, split button and split button MRU pop-ups.
bool MayHoldControls(std::int32_t type) {
  constexpr std::int32_t kPopupTypes[] = {host::office::msoControlPopup, 12, 13, 14, 15};
  return std::find(std::begin(kPopupTypes), std::end(kPopupTypes), type) != std::end(kPopupTypes);
}

}  // namespace

const std::vector<InstalledControls::Entry>& InstalledControls::ControlsOf(
    const host::CommandBar& bar, const std::wstring& name) {
  const auto [read, first] = read_.try_emplace(name);
  if (!first)
    return read->second;
  std::vector<Entry>& entries = read->second;
  std::vector<std::int32_t> path;
  // Depth first, each control before the controls of its pop-up: the order of FindControl.
  const auto walk = [&](const auto& self, const host::CommandBarControls& controls) -> void {
    const std::int32_t count = controls.Count().value_or(0);
    for (std::int32_t place = 1; place <= count; ++place) {
      host::CommandBarControl control = controls.Item(place);
      if (!control)
        continue;
      path.push_back(place);
      const std::int32_t type = control.Type().value_or(0);
      Entry entry{{control, path},
                  type == msoControlButton,
                  MayHoldControls(type) && host::QueryInterface<host::CommandBarPopup>(control),
                  control.Tag().value_or(L""),
                  command_bars::NameKey(control.Caption().value_or(L""))};
      const bool popup = entry.popup;
      entries.push_back(std::move(entry));
      if (popup && path.size() < static_cast<std::size_t>(command_bars::kMaxPopupDepth))
        self(self, host::QueryInterface<host::CommandBarPopup>(control).Controls());
      path.pop_back();
    }
  };
  walk(walk, bar.Controls());
  return entries;
}

Installed InstalledControls::Find(const Definition& definition) {
  if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request))
    return FindButton(*toolbar);
  return FindMenuControl(std::get<MenuRequest>(definition.request));
}

Installed InstalledControls::FindButton(const ToolbarRequest& request) {
  Installed found;
  found.bar = bars_.Item(request.sToolBar);
  if (!found.bar) {
    found.barName = request.sToolBar;
    return found;
  }
  found.barName = found.bar.Name().value_or(request.sToolBar);
  for (const Entry& entry : ControlsOf(found.bar, found.barName)) {
    // Office matches a tag exactly, and takes an empty one for no criterion at all: then the
    // bar's first button is the one found, and it has no copies.
    if (!entry.button || (entry.tag != request.sTag && !request.sTag.empty()))
      continue;
    found.controls.push_back(entry.placed);
    if (request.sTag.empty())
      break;
  }
  return found;
}

Installed InstalledControls::FindMenuControl(const MenuRequest& request) {
  const std::wstring menuBar = host::office::kMenuBarName;
  Installed found;
  found.bar = bars_.Item(menuBar);
  found.barName = found.bar.Name().value_or(menuBar);
  if (!found.bar)
    return found;
  const std::vector<Entry>& entries = ControlsOf(found.bar, found.barName);
  // As the program asks for them: the first control that answers to the name, of the kind it
  // needs or none.
  const std::wstring menuKey = command_bars::NameKey(request.sMenuToAdd);
  const auto menu = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
    return e.placed.path.size() == 1 && e.nameKey == menuKey;
  });
  found.menuFound = menu != entries.end() && menu->popup;
  if (!found.menuFound)
    return found;
  const std::wstring captionKey = command_bars::NameKey(request.sCaption);
  bool first = true;
  for (auto entry = menu + 1; entry != entries.end() && entry->placed.path.size() > 1; ++entry) {
    if (entry->placed.path.size() != 2 || entry->nameKey != captionKey)
      continue;
    const host::CommandBarControl& control = entry->placed.control;
    if (first ? entry->button
              : entry->button && !control.BuiltIn().value_or(true) &&
                    control.OnAction() == request.sOnAction)
      found.controls.push_back(entry->placed);
    if (first && !entry->button)
      break;  // the program finds no button of that caption, and adds one beside this
    first = false;
  }
  return found;
}

std::string Quoted(std::wstring_view text) {
  // Appended rather than concatenated: GCC 12's -O3 misreads "'" + s as an overlapping copy.
  std::string quoted(1, '\'');
  quoted.append(formats::WideToUtf8(text));
  quoted.push_back('\'');
  return quoted;
}

namespace {

// "caption 'Old' (defined 'New')" for each property that differs.
class Differences {
 public:
  void Compare(const char* what, const std::optional<std::wstring>& actual,
               const std::wstring& defined) {
    if (actual != defined)
      Add(std::string(what) + " " + (actual ? Quoted(*actual) : "unreadable") + " (defined " +
          Quoted(defined) + ")");
  }
  void CompareFace(bool same, const std::wstring& image) {
    if (!same)
      Add("face other than the icon's (defined " + Quoted(image) + ")");
  }
  void CompareStyle(const std::optional<std::int32_t>& actual, std::int32_t defined) {
    if (actual != defined)
      Add("style " + (actual ? std::to_string(*actual) : "unreadable") + " (defined " +
          std::to_string(defined) + ")");
  }
  const std::string& text() const { return text_; }

 private:
  void Add(const std::string& difference) {
    if (!text_.empty())
      text_ += ", ";
    text_ += difference;
  }
  std::string text_;
};

// The face and mask blocks the clipboard holds as a button face; empty when it holds none.
struct FaceBlocks {
  std::vector<std::uint8_t> face, mask;
  friend bool operator==(const FaceBlocks&, const FaceBlocks&) = default;
};

// The bytes of the packed DIB that starts a block: a block may be larger than what it holds (the
// mask's has slack, and a platform may round a block up), and what lies beyond is not the face.
std::size_t PackedDibLength(const std::uint8_t* data, std::size_t size) {
  host::BitmapInfoHeader header;
  if (size < sizeof header)
    return size;
  std::memcpy(&header, data, sizeof header);
  const std::uint64_t length =
      host::PackedDibRowsOffset(header.biSize, header.biCompression, header.biBitCount,
                                header.biClrUsed) +
      host::DibStride(static_cast<std::uint64_t>(std::abs(header.biWidth)), header.biBitCount) *
          static_cast<std::uint64_t>(std::abs(header.biHeight));
  return static_cast<std::size_t>(std::min<std::uint64_t>(length, size));
}

std::vector<std::uint8_t> FormatBytes(host::Host& host, const char* name) {
  const unsigned format = host.clipboard().RegisterClipboardFormatA(name);
  const host::Handle block = format == 0 ? 0 : host.clipboard().GetClipboardData(format);
  if (block == 0)
    return {};
  const host::ScopedGlobalLock lock(host.memory(), block);
  const auto* data = static_cast<const std::uint8_t*>(lock.data());
  if (data == nullptr)
    return {};
  return {data, data + PackedDibLength(data, host.memory().GlobalSize(block))};
}

FaceBlocks ClipboardFace(host::Host& host) {
  const host::ScopedOpenClipboard open(host.clipboard());
  if (!open)
    return {};
  return {FormatBytes(host, "Toolbar Button Face"), FormatBytes(host, "Toolbar Button Mask")};
}

void EmptyTheClipboard(host::Host& host) {
  if (const host::ScopedOpenClipboard open(host.clipboard()); open)
    host.clipboard().EmptyClipboard();
}

// Whether the button's face is the one its icon gives, as a run gives it; none when the icon
// gives none, so that a run would paste whatever the clipboard held. The user's clipboard is
// saved around it as a run saves it.
std::optional<bool> HasTheIconsFace(host::Host& host, const host::CommandBarButton& button,
                                    const std::wstring& product, const std::wstring& image) {
  const auto backup =
      host::CreateObject<host::ClipboardBackup>(host.ole(), L"AtlClipBoard.Clipboard");
  if (backup)
    backup.Backup();
  EmptyTheClipboard(host);
  const FaceBlocks held = button.CopyFace() ? ClipboardFace(host) : FaceBlocks{};
  EmptyTheClipboard(host);
  frmTkwPPTToolbarAdder program(host);
  helper::PlaceIconFaceOnClipboard(host, program.GetIconFileNameWithPath(product, image));
  const FaceBlocks defined = ClipboardFace(host);
  if (backup)
    backup.Restore();
  if (defined.face.empty())
    return std::nullopt;
  return held == defined;
}

// The face is compared only where the definition names an image: without one a run pastes
// what the clipboard holds.
void CompareFace(host::Host& host, Differences& differences, const host::CommandBarButton& button,
                 const std::wstring& product, const std::wstring& image) {
  if (image.empty())
    return;
  if (const std::optional<bool> same = HasTheIconsFace(host, button, product, image))
    differences.CompareFace(*same, image);
}

Finding CheckToolbar(host::Host& host, const Place& place, const ToolbarRequest& request,
                     const Installed& found) {
  const std::string what =
      "the button with tag " + Quoted(request.sTag) + " on the bar " + Quoted(request.sToolBar);
  if (!found.bar)
    return {place, Severity::kError, "missing: there is no bar " + Quoted(request.sToolBar),
            "missing"};
  if (!found.control())
    return {place, Severity::kError, "missing: " + what, "missing"};
  if (found.control().BuiltIn().value_or(false))
    return {place, Severity::kWarning,
            "present but different: " + what +
                " is PowerPoint's own, so the program never adds "
                "this one",
            "different"};
  const auto button = host::QueryInterface<host::CommandBarButton>(found.control());
  Differences differences;
  differences.Compare("caption", button.Caption(), request.sCaption);
  differences.Compare("macro", button.OnAction(), request.sOnAction);
  differences.Compare("tooltip", button.TooltipText(), request.sToolTip);
  CompareFace(host, differences, button, request.sProduct, request.sImage);
  differences.CompareStyle(button.Style(), host::office::msoButtonIconAndCaption);
  if (!differences.text().empty())
    return {place, Severity::kWarning,
            "present but different: " + what + " has " + differences.text(), "different"};
  if (!found.bar.Visible().value_or(false))
    return {place, Severity::kWarning, "hidden: " + what + " is there, but the bar is not visible",
            "hidden"};
  return {place, Severity::kNote, "present as defined: " + what, "installed"};
}

Finding CheckMenu(host::Host& host, const Place& place, const MenuRequest& request,
                  const Installed& found) {
  const std::string what =
      "the control " + Quoted(request.sCaption) + " in the menu " + Quoted(request.sMenuToAdd);
  if (!found.control())
    return {place, Severity::kError, "missing: " + what, "missing"};
  if (found.control().BuiltIn().value_or(false))
    return {place, Severity::kWarning, "present but different: " + what + " is PowerPoint's own",
            "different"};
  const auto button = host::QueryInterface<host::CommandBarButton>(found.control());
  Differences differences;
  differences.Compare("caption", button.Caption(), request.sCaption);
  differences.Compare("macro", button.OnAction(), request.sOnAction);
  // Without an image the program leaves the style as PowerPoint made it.
  if (!request.sImage.empty())
    differences.CompareStyle(button.Style(), host::office::msoButtonIconAndCaption);
  CompareFace(host, differences, button, request.sProduct, request.sImage);
  if (!differences.text().empty())
    return {place, Severity::kWarning,
            "present but different: " + what + " has " + differences.text(), "different"};
  return {place, Severity::kNote, "present as defined: " + what, "installed"};
}

// What a run makes temporary, absent while PowerPoint is closed: the button on a bar the run
// creates, and every menu control in a menu that is there. Either comes back with the run at
// PowerPoint's next start.
std::optional<Finding> AbsentUntilTheNextRun(const Place& place, const Definition& definition,
                                             const Installed& found) {
  constexpr char kComesBack[] = " added again when the program runs at PowerPoint's start";
  if (found.control())
    return std::nullopt;
  if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request)) {
    if (found.bar)
      return std::nullopt;  // a bar that lasts: so would the button
    return Finding{place, Severity::kNote,
                   "not there while PowerPoint is closed: the button with tag " +
                       Quoted(toolbar->sTag) + " goes with the bar " + Quoted(toolbar->sToolBar) +
                       ", which the program makes temporary; both are" + kComesBack,
                   "temporary"};
  }
  const auto& menu = std::get<MenuRequest>(definition.request);
  if (!found.menuFound)
    return std::nullopt;  // no run adds it
  return Finding{place, Severity::kNote,
                 "not there while PowerPoint is closed: the control " + Quoted(menu.sCaption) +
                     " in the menu " + Quoted(menu.sMenuToAdd) +
                     " is temporary, as every menu control the program adds; it is" + kComesBack,
                 "temporary"};
}

// "12", or "2 in the pop-up at 5" for a control in a pop-up.
std::string PlaceText(const std::vector<std::int32_t>& path) {
  std::string text = std::to_string(path.back());
  for (auto step = path.rbegin() + 1; step != path.rend(); ++step)
    text += " in the pop-up at " + std::to_string(*step);
  return text;
}

std::optional<Finding> Copies(const Place& place, const Definition& definition,
                              const Installed& found) {
  const std::size_t count = found.controls.size();
  if (count < 2)
    return std::nullopt;
  std::string places;
  for (std::size_t i = 0; i < count; ++i) {
    const std::vector<std::int32_t>& path = found.controls[i].path;
    places += (i == 0           ? ""
               : i + 1 == count ? " and "
                                : ", ") +
              // A menu control's place is in its menu.
              (std::holds_alternative<MenuRequest>(definition.request) ? std::to_string(path.back())
                                                                       : PlaceText(path));
  }
  std::string what, first;
  if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request)) {
    what =
        "the button with tag " + Quoted(toolbar->sTag) + " on the bar " + Quoted(toolbar->sToolBar);
    first = "the program finds the first";
  } else {
    const auto& menu = std::get<MenuRequest>(definition.request);
    what = "the control " + Quoted(menu.sCaption) + " in the menu " + Quoted(menu.sMenuToAdd);
    first = "a run replaces the first";
  }
  return Finding{place, Severity::kWarning,
                 "present " + std::to_string(count) + " times: " + what + ", at places " + places +
                     "; " + first + ", and tkwremove removes them all",
                 "duplicate"};
}

}  // namespace

std::vector<Finding> CheckInstalled(host::Host& host, const host::Application& app,
                                    const std::vector<Definition>& definitions,
                                    bool powerPointRunning) {
  InstalledControls installed(app);
  std::vector<Finding> findings;
  for (const Definition& definition : definitions) {
    const Installed found = installed.Find(definition);
    if (!powerPointRunning) {
      if (auto absent = AbsentUntilTheNextRun(definition.place, definition, found)) {
        findings.push_back(std::move(*absent));
        continue;
      }
    }
    if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request))
      findings.push_back(CheckToolbar(host, definition.place, *toolbar, found));
    else
      findings.push_back(
          CheckMenu(host, definition.place, std::get<MenuRequest>(definition.request), found));
    if (auto copies = Copies(definition.place, definition, found))
      findings.push_back(std::move(*copies));
  }
  return findings;
}

host::Application StartPowerPoint(host::Host& host) {
  try {
    if (auto app = host::QueryInterface<host::Application>(host.ole().CreateObject(kProgId)))
      return app;
    throw Unreadable("\"PowerPoint.Application\" is not PowerPoint's Application");
  } catch (const host::RuntimeError& error) {
    throw Unreadable("PowerPoint cannot be started (\"PowerPoint.Application\"): " +
                     error.description());
  }
}

PowerPointAtHand AttachToPowerPoint(host::Host& host) {
  host::DispatchPtr active;
  const long status = host.ole().GetActiveObject(kProgId, &active);
  if (status == host::kSOk) {
    if (auto app = host::QueryInterface<host::Application>(active))
      return {std::move(app), true};
    throw Unreadable("the running \"PowerPoint.Application\" is not PowerPoint's Application");
  }
  // A PowerPoint that is not registered cannot be started either, which StartPowerPoint says.
  if (status != host::kMkEUnavailable && status != host::kCoEClassString) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status) & 0xFFFFFFFFul);
    throw Unreadable(std::string("whether PowerPoint runs cannot be told: GetActiveObject fails "
                                 "with ") +
                     code);
  }
  return {StartPowerPoint(host), false};
}

}  // namespace tkw::check
