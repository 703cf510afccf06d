// The diagnostic log beside the executable, written only when the logging switch is on.
#include "host/runtime_error.h"
#include "run/frmTkwPPTToolbarAdder.h"

namespace tkw {

namespace {

constexpr wchar_t kLogFileName[] = L"tkwtbrloggin.txt";
constexpr char kMessageBoxTitle[] = "RLSToolbarAdder";

}  // namespace

void frmTkwPPTToolbarAdder::StartLogging() {
  if (iLoggingSwitch == 0)
    return;

  // Whether the previous log goes away is not looked at: if it stays, this run appends to it.
  const std::wstring sLogPath = FileBesideExecutable(kLogFileName);
  host_.kernel().DeleteFileA(ToAnsi(sLogPath));

  try {
    const std::int32_t fileNumber = files_.FreeFile();
    files_.Open(sLogPath, host::FileMode::kAppend, fileNumber);
    lLogFile = fileNumber;

    // The platform's general date: short date and long time, or the date alone at midnight.
    host::Kernel& kernel = host_.kernel();
    host::Shell& shell = host_.shell();
    const host::LocalTime now = kernel.GetLocalTime();
    std::string sStarted = shell.FormatShortDate(now);
    if (now.hour != 0 || now.minute != 0 || now.second != 0) {
      sStarted.append(" ").append(shell.FormatLongTime(now));
    }
    files_.PrintLine(lLogFile, ToWide(sStarted));
  } catch (const host::RuntimeError& error) {
    host_.shell().MessageBoxA("StartLogging: " + error.description(), kMessageBoxTitle);
  }
}

void frmTkwPPTToolbarAdder::RecordLog(const std::wstring& text) {
  if (iLoggingSwitch == 0 || lLogFile == 0)
    return;
  try {
    files_.PrintLine(lLogFile, text);
  } catch (const host::RuntimeError& error) {
    host_.shell().MessageBoxA("RecordLog: " + error.description(), kMessageBoxTitle);
  }
}

void frmTkwPPTToolbarAdder::CloseLogging() {
  if (iLoggingSwitch == 0 || lLogFile == 0)
    return;
  try {
    files_.Close(lLogFile);
    lLogFile = 0;
  } catch (const host::RuntimeError& error) {
    host_.shell().MessageBoxA("CloseLogging: " + error.description(), kMessageBoxTitle);
  }
}

}  // namespace tkw
