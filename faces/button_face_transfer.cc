// A control's face travels through the clipboard; the user's clipboard is saved around it.
#include "faces/helper.h"
#include "host/runtime/clipboard_object.h"
#include "host/runtime_error.h"
#include "run/frmTkwPPTToolbarAdder.h"

namespace tkw {

namespace helper {

void PlaceIconFaceOnClipboard(host::Host& host, const std::wstring& sIconPath) {
  // The icon's white pixels are the ones the mask marks.
  constexpr std::uint32_t kMaskColour = 0x00FFFFFF;
  // A picture that cannot be loaded or used leaves the clipboard as it was; the caller's
  // paste then meets whatever is there.
  std::unique_ptr<host::Picture> picture;
  try {
    picture = host.ole().LoadPicture(sIconPath);
  } catch (const host::RuntimeError&) {
  }
  try {
    PlacePictureFaceOnClipboard(host, picture.get(), kMaskColour);
  } catch (const host::RuntimeError&) {
  }
}

}  // namespace helper

host::ClipboardBackup frmTkwPPTToolbarAdder::BeginButtonFace(const std::wstring& sProduct,
                                                             const std::wstring& sImage) {
  RecordLog(L"Creating AltClipBoard object");
  const auto oClipboardBackup =
      host::CreateObject<host::ClipboardBackup>(host_.ole(), L"AtlClipBoard.Clipboard");
  if (!oClipboardBackup) {
    RecordLog(L"AtlClipBoard object not obtained");
  } else {
    RecordLog(L"Backing up clipboard object");
    // The component opens the clipboard once: refused, it saves nothing, and its Restore then
    // empties the user's clipboard. Clipboard history reads it after every change, the
    // Restore of the face before among them, so the backup waits until it is free, and is
    // made again should another program have taken it in the moment between. A clipboard
    // that never came free is not waited for twice.
    const bool cameFree = host::WaitForClipboard(host_);
    for (int tries = 1; !oClipboardBackup.Backup() && cameFree && tries < host::kClipboardOpenTries;
         ++tries) {
      host_.kernel().Sleep(host::kClipboardRetryPause);
    }
  }

  RecordLog(L"Retrieve icon filename path");
  const std::wstring sIconPath = GetIconFileNameWithPath(sProduct, sImage);
  RecordLog(L"Loading icon " + sIconPath);
  RecordLog(L"Copy to button face ");
  helper::PlaceIconFaceOnClipboard(host_, sIconPath);
  return oClipboardBackup;
}

void frmTkwPPTToolbarAdder::EndButtonFace(host::ClipboardBackup oClipboardBackup) {
  if (oClipboardBackup)
    oClipboardBackup.Restore();
}

}  // namespace tkw
