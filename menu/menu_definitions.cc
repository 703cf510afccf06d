// The menu builder's driver: one menu control per value of the PPTMenus key.
#include "run/definition_record.h"
#include "run/frmTkwPPTToolbarAdder.h"
#include "run/settings.h"

namespace tkw {

void frmTkwPPTToolbarAdder::CreateMenuControlsFromRegistryValues() {
  RecordLog(L"CreateMenuControlsFromRegistryValues[");
  RecordLog(L"CreateObject(PROGNAME_POWERPOINT)");
  const auto oApp = host::CreateObject<host::Application>(host_.ole(), L"PowerPoint.Application");

  RecordLog(L"Open Key: HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\PPTMenus");
  const bool opened = ReadDefinitionValues(
      settings::kMenusKey, L"Add Menu control ", [&](const std::vector<std::wstring>& fields) {
        const std::optional<MenuRequest> request = MenuRequestOf(fields);
        if (!request) {
          RecordLog(L"less no of args");
          return;
        }
        AddMenuControl(oApp, request->sMenuToAdd, request->sCaption, request->sOnAction,
                       request->sBefore, request->sProduct, request->sImage);
      });
  if (!opened) {
    RecordLog(L"Registry open failed: HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\PPTMenus");
    return;
  }

  RecordLog(L" Menu controls creation completed successfully.");
  RecordLog(L"Do the clean up");
  RecordLog(L"CreateMenuControlsFromRegistryValues]");
}

}  // namespace tkw
