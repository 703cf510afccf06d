// The toolbar builder's driver: one button request per value of the settings key.
#include "run/definition_record.h"
#include "run/frmTkwPPTToolbarAdder.h"
#include "run/settings.h"

namespace tkw {

void frmTkwPPTToolbarAdder::CreateToolbarButtonsFromRegistryValues() {
  RecordLog(L"CreateToolbarButtonsFromRegistryValues[");
  RecordLog(L"CreateObject(PROGNAME_POWERPOINT)");
  const auto oApp = host::CreateObject<host::Application>(host_.ole(), L"PowerPoint.Application");

  RecordLog(L"Open Key: HKEY_LOCAL_MACHINE\\Software\\Tarnwick");
  const bool opened = ReadDefinitionValues(
      settings::kSettingsKey, L"Addtoolbar ", [&](const std::vector<std::wstring>& fields) {
        const std::optional<ToolbarRequest> request = ToolbarRequestOf(fields);
        if (!request) {
          RecordLog(L"less no of args");
          return;
        }
        if (const host::CommandBars oCmdBars = oApp.CommandBars()) {
          AddToolBarButton(oCmdBars, request->sToolBar, request->sCaption, request->sOnAction,
                           request->sTag, request->sProduct, request->sImage, request->sToolTip);
        }
      });
  if (!opened) {
    RecordLog(L"Registry open failed: HKEY_LOCAL_MACHINE\\Software\\Tarnwick");
    return;
  }

  RecordLog(L" Toolbar creation completed successfully.");
  RecordLog(L"Do the clean up");
  RecordLog(L"CreateToolbarButtonsFromRegistryValues]");
}

}  // namespace tkw
