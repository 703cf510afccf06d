// The menu builder's driver: one menu control per value of the PPTMenus key.
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
        if (fields.size() < settings::kMenuFieldsNeeded) {
          RecordLog(L"less no of args");
          return;
        }
        // The optional fields a short record leaves out are empty: no before-control, no face.
        const auto field = [&](std::size_t i) {
          return i < fields.size() ? fields[i] : std::wstring();
        };
        AddMenuControl(oApp, fields[0], fields[1], fields[2], field(3), field(4), field(5));
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
