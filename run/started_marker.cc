// The marker file that says a run is under way, beside the executable.
#include "host/runtime_error.h"
#include "run/frmTkwPPTToolbarAdder.h"

namespace tkw {

namespace {
constexpr wchar_t kMarkerFileName[] = L"tkwtbrstrtd.txt";
}

void frmTkwPPTToolbarAdder::CreateApplicationStartedFile() {
  try {
    RecordLog(L"CreateApplicationStartedFile[");
    const std::wstring sMarkerPath = FileBesideExecutable(kMarkerFileName);
    RecordLog(L"Creating File " + sMarkerPath);

    // A number of its own, given back at once: the marker is not held open during the run.
    host::FileNumbers::Scoped marker(files_, sMarkerPath, host::FileMode::kOutput);
    files_.PrintLine(marker.number(), L"tkwtbar app is running");
    marker.Close();
    RecordLog(L"CreateApplicationStartedFile]");
  } catch (const host::RuntimeError& error) {
    RecordLog(L"Error: CreateApplicationStartedFile: " + ToWide(error.description()));
  }
}

void frmTkwPPTToolbarAdder::DeleteApplicationStartedFile() {
  try {
    const std::wstring sMarkerPath = FileBesideExecutable(kMarkerFileName);
    RecordLog(L"Deleting file " + sMarkerPath);
    host_.kernel().DeleteFileA(ToAnsi(sMarkerPath));
  } catch (const host::RuntimeError& error) {
    RecordLog(L"Error: DeleteApplicationStartedFile: " + ToWide(error.description()));
  }
}

}  // namespace tkw
