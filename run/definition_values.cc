// The registry enumeration that both builders share.
#include <algorithm>
#include <array>

#include "run/definition_record.h"
#include "run/frmTkwPPTToolbarAdder.h"
#include "run/settings.h"

namespace tkw {

bool frmTkwPPTToolbarAdder::ReadDefinitionValues(const std::string& sSubKey,
                                                 const std::wstring& sAddText,
                                                 const DefinitionHandler& handleDefinition) {
  host::Registry& registry = host_.registry();
  host::ScopedRegistryKey key(registry);
  if (key.Open(host::kHkeyLocalMachine, sSubKey) != host::kErrorSuccess)
    return false;

  std::uint32_t index = 0;
  long enumResult = host::kErrorSuccess;
  do {
    std::array<char, settings::kBufferSize> name;
    std::array<std::uint8_t, settings::kBufferSize> data;
    name.fill(' ');
    data.fill(' ');
    std::uint32_t nameLength = settings::kBufferSize;
    std::uint32_t dataSize = settings::kBufferSize;
    std::uint32_t type = 0;

    RecordLog(L" RegEnumValue: " + std::to_wstring(index));
    enumResult = registry.RegEnumValueA(key.get(), index, name.data(), &nameLength, &type, nullptr,
                                        &dataSize);
    ++index;

    const std::string sValueName(name.data(), std::min(nameLength, settings::kBufferSize));
    if (enumResult == host::kErrorSuccess && sValueName != settings::kLoggingValue) {
      RecordLog(L"RegEnumValue: " + ToWide(sValueName));
      dataSize = settings::kBufferSize;
      if (registry.RegQueryValueExA(key.get(), sValueName, &type, data.data(), &dataSize) ==
          host::kErrorSuccess) {
        RecordLog(sAddText + ToWide(sValueName));
        const std::string_view text(reinterpret_cast<const char*>(data.data()),
                                    std::min(dataSize, settings::kBufferSize));
        handleDefinition(SplitDefinitionRecord(ToWide(text)));
      }
    } else {
      // Also the normal end of the values, and the logging switch, which is no definition.
      RecordLog(L"RegEnumValue: " + std::to_wstring(index) + L" : Falied");
    }
  } while (enumResult == host::kErrorSuccess);

  RecordLog(L" Close registry key");
  key.Close();
  return true;
}

}  // namespace tkw
