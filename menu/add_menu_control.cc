// One button control into a top-level menu of "Menu Bar", replacing one of the same caption.
#include <limits>

#include "run/frmTkwPPTToolbarAdder.h"

namespace tkw {

using host::office::msoButtonIconAndCaption;
using host::office::msoControlButton;

namespace {
constexpr std::int16_t kControlId = 1;
constexpr std::int16_t kControlParameter = 0;
constexpr std::int16_t kFirstPosition = 1;
}  // namespace

void frmTkwPPTToolbarAdder::AddMenuControl(
    const host::Application& oApp, const std::wstring& sMenuToAdd, const std::wstring& sCaption,
    const std::wstring& sOnAction, const std::wstring& sBefore, const std::wstring& sProduct,
    const std::wstring& sImage) {
  RecordLog(L"[ AddMenuControl start");
  RecordLog(L"Info: " + sMenuToAdd + L" , " + sBefore + L" , " + sCaption + L" , " + sProduct +
            L" , " + sImage);

  // Controls are found by the host's own matching of the text; only the kind is checked here.
  host::CommandBar oMenuBar = oApp.CommandBars().Item(host::office::kMenuBarName);
  host::CommandBarPopup oMenu =
      host::QueryInterface<host::CommandBarPopup>(oMenuBar.Controls().Item(sMenuToAdd));
  if (!oMenu) {
    RecordLog(L"Menu not found");
    return;
  }

  host::CommandBarButton oControl =
      host::QueryInterface<host::CommandBarButton>(oMenu.Controls().Item(sCaption));
  if (oControl) {
    RecordLog(L"Menu control already exist, delete it");
    oControl.Delete();
    oControl.Release();
  }

  host::CommandBarButton oBeforeBtn =
      host::QueryInterface<host::CommandBarButton>(oMenu.Controls().Item(sBefore));
  std::int16_t iPosition = 0;
  if (!oBeforeBtn) {
    RecordLog(L"BeforeBtn not found, add as first btn");
    iPosition = kFirstPosition;
  } else if (const auto index = oBeforeBtn.Index();
             index && *index >= std::numeric_limits<std::int16_t>::min() &&
             *index <= std::numeric_limits<std::int16_t>::max()) {
    iPosition = static_cast<std::int16_t>(*index);
  }

  oControl = host::QueryInterface<host::CommandBarButton>(oMenu.Controls().Add(
      msoControlButton, kControlId, kControlParameter, iPosition, /*temporary=*/true));
  oControl.SetCaption(sCaption);
  oControl.SetOnAction(sOnAction);

  host::ClipboardBackup oClipboardBackup;
  if (!sImage.empty()) {
    oClipboardBackup = BeginButtonFace(sProduct, sImage);
    RecordLog(L"button pasteface");
    oControl.SetStyle(msoButtonIconAndCaption);
    oControl.PasteFace();
  }

  RecordLog(L"Do clean up");
  EndButtonFace(std::move(oClipboardBackup));
  oMenuBar.Release();
  oMenu.Release();
  oControl.Release();
  oBeforeBtn.Release();
  RecordLog(L"Clean up completed");
  RecordLog(L"AddMenuControl end ]");
}

}  // namespace tkw
