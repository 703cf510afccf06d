// The logging switch, a product's install folder and the path rule for files below it.
#include <array>
#include <cstdint>
#include <limits>

#include "host/runtime_error.h"
#include "run/frmTkwPPTToolbarAdder.h"
#include "run/settings.h"

namespace tkw {

namespace {

// CInt: a number that does not fit 16 bits is an overflow.
std::int16_t ToInteger(std::int32_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    throw host::RuntimeError::Overflow();
  }
  return static_cast<std::int16_t>(value);
}

}  // namespace

std::int16_t frmTkwPPTToolbarAdder::GetLoggingSwitchValue() {
  std::int16_t result = 0;
  try {
    host::Registry& registry = host_.registry();
    host::ScopedRegistryKey key(registry);
    if (key.Open(host::kHkeyLocalMachine, settings::kSettingsKey) == host::kErrorSuccess) {
      // Read as a 32-bit integer whatever its type: the stored bytes, little-endian.
      std::array<std::uint8_t, 4> data{};
      std::uint32_t size = data.size();
      std::uint32_t type = 0;
      if (registry.RegQueryValueExA(key.get(), settings::kLoggingValue, &type, data.data(),
                                    &size) == host::kErrorSuccess) {
        const std::uint32_t value =
            data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
        result = ToInteger(static_cast<std::int32_t>(value));
      }
    }
  } catch (const host::RuntimeError& error) {
    RecordLog(L"Error: GetLoggingSwitchValue: " + ToWide(error.description()));
  }
  return result;
}

std::wstring frmTkwPPTToolbarAdder::GetInstallFolderPath(const std::wstring& sProductName) {
  std::wstring result;
  try {
    host::Registry& registry = host_.registry();
    host::ScopedRegistryKey key(registry);
    if (key.Open(host::kHkeyLocalMachine, std::string(settings::kSettingsKey) + "\\" +
                                              ToAnsi(sProductName)) == host::kErrorSuccess) {
      std::array<std::uint8_t, settings::kBufferSize> data{};
      std::uint32_t size = data.size();
      std::uint32_t type = 0;
      if (registry.RegQueryValueExA(key.get(), settings::kInstallFolderValue, &type, data.data(),
                                    &size) == host::kErrorSuccess) {
        const std::string_view buffer(reinterpret_cast<const char*>(data.data()), data.size());
        result = ToWide(buffer.substr(0, buffer.find('\0')));
      }
    }
  } catch (const host::RuntimeError& error) {
    RecordLog(L"Error: GetInstallFolderPath: " + ToWide(error.description()));
  }
  return result;
}

void frmTkwPPTToolbarAdder::AppendSlashIfNecessary(std::wstring& sPath) {
  try {
    // An empty path has no last character to look at.
    if (!settings::AppendSlash(sPath))
      throw host::RuntimeError::InvalidProcedureCall();
  } catch (const host::RuntimeError& error) {
    RecordLog(L"Error: AppendSlashIfNecessary: " + ToWide(error.description()));
  }
}

std::wstring frmTkwPPTToolbarAdder::GetIconFileNameWithPath(const std::wstring& sProductName,
                                                            const std::wstring& sImage) {
  std::wstring result;
  try {
    std::wstring sPath = GetInstallFolderPath(sProductName);
    AppendSlashIfNecessary(sPath);
    result = settings::IconFileName(sPath, sImage);
  } catch (const host::RuntimeError& error) {
    RecordLog(L"Error: GetIconFileNameWithPath: " + ToWide(error.description()));
  }
  return result;
}

}  // namespace tkw
