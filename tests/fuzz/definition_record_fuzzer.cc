// Definition records as the registry could hand them: any bytes, any length.
#include <cstddef>
#include <cstdint>
#include <string>

#include "run/definition_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text(data, data + size);
  const auto fields = tkw::SplitDefinitionRecord(text);
  std::size_t characters = 0;
  for (const std::wstring& field : fields) {
    if (field.find(L',') != std::wstring::npos)
      __builtin_trap();
    characters += field.size();
  }
  // The fields and the commas between them come out of the text; nothing is made up.
  if (!fields.empty() && characters + fields.size() - 1 > text.size())
    __builtin_trap();
  return 0;
}
