#include "run/frmTkwPPTToolbarAdder.h"

#include "host/runtime_error.h"
#include "run/settings.h"

namespace tkw {

frmTkwPPTToolbarAdder::frmTkwPPTToolbarAdder(host::Host& host)
    : host_(host), files_(host.shell(), host.kernel()) {}

void frmTkwPPTToolbarAdder::Form_Load() {
  host::Kernel& kernel = host_.kernel();

  // Neither step hands a failure back: without a switch or a log the run goes on unlogged.
  iLoggingSwitch = GetLoggingSwitchValue();
  StartLogging();

  try {
    RecordLog(L"Creating Mutex");
    hMutex = kernel.CreateMutexA(true, settings::kMutexName);
    if (kernel.GetLastError() == host::kErrorAlreadyExists) {
      // Another copy is working; the marker and PowerPoint are its business.
      RecordLog(L"Creating Mutex Failed");
      kernel.CloseHandle(hMutex);
      std::int16_t cancel = 0;
      Form_Unload(cancel);
      return;
    }

    CreateApplicationStartedFile();
    // The form has no window, so it stays hidden without being told.
    CreateToolbarButtonsFromRegistryValues();
    CreateMenuControlsFromRegistryValues();
    DeleteApplicationStartedFile();
    RecordLog(L"Work completed successfully");
    kernel.CloseHandle(hMutex);
    std::int16_t cancel = 0;
    Form_Unload(cancel);
  } catch (const host::RuntimeError& error) {
    // The run is cut short with the form still loaded: marker and mutex stay as they are.
    RecordLog(L"Error: Load: " + ToWide(error.description()));
  }
}

void frmTkwPPTToolbarAdder::Form_Unload(std::int16_t& /*cancel*/) {
  CloseLogging();
  loaded_ = false;
}

std::wstring frmTkwPPTToolbarAdder::FileBesideExecutable(const std::wstring& sFileName) {
  std::wstring sFolder = ToWide(host_.shell().ExecutableFolder());
  AppendSlashIfNecessary(sFolder);
  return sFolder + sFileName;
}

}  // namespace tkw
