// One button onto a command bar, created when missing; a button's tag makes it unique.
#include "run/frmTkwPPTToolbarAdder.h"

namespace tkw {

using host::office::msoBarTop;
using host::office::msoButtonIconAndCaption;
using host::office::msoControlButton;

void frmTkwPPTToolbarAdder::AddToolBarButton(
    const host::CommandBars& oCmdBars, const std::wstring& sToolBar, const std::wstring& sCaption,
    const std::wstring& sOnAction, const std::wstring& sTag, const std::wstring& sProduct,
    const std::wstring& sImage, const std::wstring& sToolTip) {
  RecordLog(L"AddToolBarButton[");
  RecordLog(L"Info: " + sCaption + L" , " + sOnAction + L" , " + sTag);

  // The host's error on Item is the usual sign of a bar that does not exist yet.
  host::CommandBar oCmdBar = oCmdBars.Item(sToolBar);
  if (!oCmdBar) {
    RecordLog(L"ToolBar not exist");
    oCmdBar = oCmdBars.Add(sToolBar, msoBarTop, /*menuBar=*/false, /*temporary=*/true);
  }

  host::CommandBarControl oFound;
  host::CommandBarButton oButton;
  if (!oCmdBar) {
    RecordLog(L"No CommandBar object");
  } else {
    oFound = oCmdBar.FindControl(msoControlButton, sTag, /*recursive=*/true);
    host::ClipboardBackup oClipboardBackup;
    if (oFound) {
      // An existing button is left exactly as it is.
      RecordLog(L"Button " + sCaption + L" already exists");
    } else {
      RecordLog(L"Adding CommandBar button to Controls collection");
      const host::MissingArgument missing;
      oButton = host::QueryInterface<host::CommandBarButton>(
          oCmdBar.Controls().Add(msoControlButton, missing, missing, missing, missing));
      oClipboardBackup = BeginButtonFace(sProduct, sImage);
      RecordLog(L"Set button properties and pasteface");
      oButton.SetStyle(msoButtonIconAndCaption);
      oButton.SetCaption(sCaption);
      oButton.SetOnAction(sOnAction);
      oButton.SetTag(sTag);
      oButton.SetTooltipText(sToolTip);
      oButton.PasteFace();
      RecordLog(L"Toolbar set successfully, now it needs to be made visible");
    }
    RecordLog(L"Do clean up");
    oFound.Release();
    EndButtonFace(std::move(oClipboardBackup));
    RecordLog(L"Clean up completed");
  }

  RecordLog(L"Make commandbar visible");
  oCmdBar.SetVisible(true);
  RecordLog(L"Do the remaining clean up");
  oFound.Release();
  oButton.Release();
  RecordLog(L"Clean up completed");
  RecordLog(L"AddToolBarButton]");
}

}  // namespace tkw
