// The toolbar builder's driver: one button request per value of the settings key.
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
        if (fields.size() < settings::kToolbarFieldsNeeded) {
          RecordLog(L"less no of args");
          return;
        }
        // Without a seventh field the caption serves as the tooltip.
        const std::wstring& sToolTip =
            fields.size() > settings::kToolbarFieldsNeeded ? fields[6] : fields[1];
        if (const host::CommandBars oCmdBars = oApp.CommandBars()) {
          AddToolBarButton(oCmdBars, fields[0], fields[1], fields[2], fields[3], fields[4],
                           fields[5], sToolTip);
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
