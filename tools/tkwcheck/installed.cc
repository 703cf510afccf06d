#include "tools/tkwcheck/installed.h"

#include "host/emulated_windows/powerpoint/text.h"
#include "host/emulated_windows/system/windows_1252.h"
#include "host/office_interfaces.h"
#include "host/runtime_error.h"
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
  if (const auto menus = settings->Subkey(emulated::AnsiToUtf16(settings::kMenusSubkey)))
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
  quoted.append(emulated::WideToUtf8(text));
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

Finding CheckToolbar(const Place& place, const ToolbarRequest& request, const Installed& found) {
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
  differences.CompareStyle(button.Style(), host::office::msoButtonIconAndCaption);
  if (!differences.text().empty())
    return {place, Severity::kWarning,
            "present but different: " + what + " has " + differences.text(), "different"};
  if (!found.bar.Visible().value_or(false))
    return {place, Severity::kWarning, "hidden: " + what + " is there, but the bar is not visible",
            "hidden"};
  return {place, Severity::kNote, "present as defined: " + what, "installed"};
}

Finding CheckMenu(const Place& place, const MenuRequest& request, const Installed& found) {
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
  if (!differences.text().empty())
    return {place, Severity::kWarning,
            "present but different: " + what + " has " + differences.text(), "different"};
  return {place, Severity::kNote, "present as defined: " + what, "installed"};
}

}  // namespace

std::vector<Finding> CheckInstalled(const host::Application& app,
                                    const std::vector<Definition>& definitions) {
  std::vector<Finding> findings;
  for (const Definition& definition : definitions) {
    const Installed found = FindInstalled(app, definition);
    if (const auto* toolbar = std::get_if<ToolbarRequest>(&definition.request))
      findings.push_back(CheckToolbar(definition.place, *toolbar, found));
    else
      findings.push_back(
          CheckMenu(definition.place, std::get<MenuRequest>(definition.request), found));
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
