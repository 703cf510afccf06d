#include "tools/tkwcheck/installed.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "faces/helper.h"
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

Installed FindInstalled(const host::Application& app, const Definition& definition) {
  const host::CommandBars bars = app.CommandBars();
  if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request)) {
    host::CommandBar bar = bars.Item(toolbar->sToolBar);
    host::CommandBarControl control =
        bar.FindControl(msoControlButton, toolbar->sTag, /*recursive=*/true);
    return {std::move(bar), std::move(control)};
  }
  const auto& menu = std::get<MenuRequest>(definition.request);
  host::CommandBar menuBar = bars.Item(host::office::kMenuBarName);
  const auto popup =
      host::QueryInterface<host::CommandBarPopup>(menuBar.Controls().Item(menu.sMenuToAdd));
  // As the program replaces it: only a button counts.
  const auto button =
      host::QueryInterface<host::CommandBarButton>(popup.Controls().Item(menu.sCaption));
  return {std::move(menuBar), button};
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
  if (!found.control)
    return {place, Severity::kError, "missing: " + what, "missing"};
  if (found.control.BuiltIn().value_or(false))
    return {place, Severity::kWarning,
            "present but different: " + what +
                " is PowerPoint's own, so the program never adds "
                "this one",
            "different"};
  const auto button = host::QueryInterface<host::CommandBarButton>(found.control);
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
  if (!found.control)
    return {place, Severity::kError, "missing: " + what, "missing"};
  if (found.control.BuiltIn().value_or(false))
    return {place, Severity::kWarning, "present but different: " + what + " is PowerPoint's own",
            "different"};
  const auto button = host::QueryInterface<host::CommandBarButton>(found.control);
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

}  // namespace

std::vector<Finding> CheckInstalled(host::Host& host, const host::Application& app,
                                    const std::vector<Definition>& definitions) {
  std::vector<Finding> findings;
  for (const Definition& definition : definitions) {
    const Installed found = FindInstalled(app, definition);
    if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request))
      findings.push_back(CheckToolbar(host, definition.place, *toolbar, found));
    else
      findings.push_back(
          CheckMenu(host, definition.place, std::get<MenuRequest>(definition.request), found));
  }
  return findings;
}

host::Application StartPowerPoint(host::Host& host) {
  constexpr wchar_t kProgId[] = L"PowerPoint.Application";
  try {
    if (auto app = host::QueryInterface<host::Application>(host.ole().CreateObject(kProgId)))
      return app;
    throw Unreadable("\"PowerPoint.Application\" is not PowerPoint's Application");
  } catch (const host::RuntimeError& error) {
    throw Unreadable("PowerPoint cannot be started (\"PowerPoint.Application\"): " +
                     error.description());
  }
}

}  // namespace tkw::check
