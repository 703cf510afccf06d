#include "tools/tkwcheck/program_view.h"

#include "host/emulated_windows/system/windows_1252.h"
#include "run/definition_record.h"
#include "run/settings.h"

namespace tkw::check {

std::u16string LostCharacters(std::u16string_view text) {
  std::u16string lost;
  for (const char16_t c : text) {
    if (emulated::UnicodeToWindows1252(c) == '?' && c != u'?' &&
        lost.find(c) == std::u16string::npos)
      lost.push_back(c);
  }
  return lost;
}

ProgramView ViewOf(const SettingsValue& value) {
  ProgramView view;
  view.name = emulated::Utf16ToAnsi(value.name);
  view.nameLost = LostCharacters(value.name);
  view.nameFits = view.name.size() < settings::kBufferSize;
  if (emulated::IsStringType(value.type)) {
    std::u16string text(value.data.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<char16_t>(value.data[2 * i] | value.data[2 * i + 1] << 8);
    view.data = emulated::Utf16ToAnsi(text);
    view.dataLost = LostCharacters(text);
  } else {
    view.data.assign(value.data.begin(), value.data.end());
  }
  view.dataFits = view.data.size() <= settings::kBufferSize;
  view.fields = SplitDefinitionRecord(emulated::AnsiToWide(view.data));
  return view;
}

std::string TypeName(std::uint32_t type) {
  switch (type) {
    case emulated::kRegNone:
      return "a REG_NONE value";
    case emulated::kRegSz:
      return "a string";
    case emulated::kRegExpandSz:
      return "an expandable string";
    case emulated::kRegBinary:
      return "a binary value";
    case emulated::kRegDword:
      return "a DWORD";
    case emulated::kRegMultiSz:
      return "a multi-string";
    case emulated::kRegQword:
      return "a QWORD";
    default:
      return "a value of type " + std::to_string(type);
  }
}

}  // namespace tkw::check
