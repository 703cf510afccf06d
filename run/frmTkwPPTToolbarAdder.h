// The program's one form. It is never shown: loading it is the whole run. Its operations are
// spread over the folders of their subsystems (run, toolbar, menu, faces).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/runtime/clipboard_backup.h"
#include "host/runtime/file_numbers.h"
#include "host/runtime/powerpoint.h"

namespace tkw {

class frmTkwPPTToolbarAdder {
 public:
  explicit frmTkwPPTToolbarAdder(host::Host& host);
  frmTkwPPTToolbarAdder(const frmTkwPPTToolbarAdder&) = delete;
  frmTkwPPTToolbarAdder& operator=(const frmTkwPPTToolbarAdder&) = delete;

  // Start-up and shutdown.
  void Form_Load();
  void Form_Unload(std::int16_t& cancel);
  bool IsLoaded() const { return loaded_; }

  // Installation settings.
  std::int16_t GetLoggingSwitchValue();
  std::wstring GetInstallFolderPath(const std::wstring& sProductName);
  void AppendSlashIfNecessary(std::wstring& sPath);
  std::wstring GetIconFileNameWithPath(const std::wstring& sProductName,
                                       const std::wstring& sImage);

  // Diagnostic log.
  void StartLogging();
  void RecordLog(const std::wstring& text);
  void CloseLogging();

  // Started marker.
  void CreateApplicationStartedFile();
  void DeleteApplicationStartedFile();

  // Toolbar builder.
  void CreateToolbarButtonsFromRegistryValues();
  void AddToolBarButton(const host::CommandBars& oCmdBars, const std::wstring& sToolBar,
                        const std::wstring& sCaption, const std::wstring& sOnAction,
                        const std::wstring& sTag, const std::wstring& sProduct,
                        const std::wstring& sImage, const std::wstring& sToolTip);

  // Menu builder.
  void CreateMenuControlsFromRegistryValues();
  void AddMenuControl(const host::Application& oApp, const std::wstring& sMenuToAdd,
                      const std::wstring& sCaption, const std::wstring& sOnAction,
                      const std::wstring& sBefore, const std::wstring& sProduct,
                      const std::wstring& sImage);

  // Button face transfer.
  host::ClipboardBackup BeginButtonFace(const std::wstring& sProduct, const std::wstring& sImage);
  void EndButtonFace(host::ClipboardBackup oClipboardBackup);

 private:
  using DefinitionHandler = std::function<void(const std::vector<std::wstring>& fields)>;

  // The enumeration both builders share: every value of the key below HKEY_LOCAL_MACHINE but
  // "Logging" is read as a definition record and handed on split into its fields. False when
  // the key cannot be opened.
  bool ReadDefinitionValues(const std::string& sSubKey, const std::wstring& sAddText,
                            const DefinitionHandler& handleDefinition);
  // The executable's folder with a trailing backslash, followed by `sFileName`.
  std::wstring FileBesideExecutable(const std::wstring& sFileName);
  std::wstring ToWide(std::string_view ansi) { return host_.kernel().AnsiToWide(ansi); }
  std::string ToAnsi(std::wstring_view wide) { return host_.kernel().WideToAnsi(wide); }

  host::Host& host_;
  host::FileNumbers files_;
  bool loaded_ = true;

  std::int16_t iLoggingSwitch = 0;
  host::Handle hMutex = 0;
  std::int32_t lLogFile = 0;
};

}  // namespace tkw
