// Where the program's settings lie below HKEY_LOCAL_MACHINE, the limits of reading them, and the
// rule by which a product's icon is found: the facts that the definitions' checker shares with
// the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tkw::settings {

inline constexpr char kSettingsKey[] = "SOFTWARE\\Tarnwick";
inline constexpr char kMenusSubkey[] = "PPTMenus";
inline constexpr char kMenusKey[] = "SOFTWARE\\Tarnwick\\PPTMenus";
// Compared with the whole name, letter case included.
inline constexpr char kLoggingValue[] = "Logging";
inline constexpr char kInstallFolderValue[] = "InstallFolder";

// The named mutex by which one copy works at a time; the companion tools that change
// PowerPoint take it too.
inline constexpr char kMutexName[] = "tkwPPTToolbarAdder";

// Value names are read into buffers of this many characters and data into this many bytes, the
// terminator included in both; so is a product's install folder.
inline constexpr std::uint32_t kBufferSize = 1024;

// Fields a record needs, and the most that are used.
inline constexpr std::size_t kToolbarFieldsNeeded = 6;
inline constexpr std::size_t kToolbarFieldsUsed = 7;
inline constexpr std::size_t kMenuFieldsNeeded = 3;
inline constexpr std::size_t kMenuFieldsUsed = 6;

// Appends "\" unless `path` ends in one (a forward slash is no separator). False for an empty
// path, which has no last character to look at, and is left as it is.
inline bool AppendSlash(std::wstring& path) {
  if (path.empty())
    return false;
  if (path.back() != L'\\')
    path += L'\\';
  return true;
}

// The icon's path below a product's install folder, once the folder has been through
// AppendSlash.
inline std::wstring IconFileName(std::wstring_view folder, std::wstring_view image) {
  return std::wstring(folder) + L"Addins\\" + std::wstring(image);
}

}  // namespace tkw::settings
