#include "tools/tkwcheck/program_view.h"

#include "host/formats/windows_1252.h"
#include "run/definition_record.h"
#include "run/settings.h"

namespace tkw::check {

std::u16string LostCharacters(std::u16string_view text) {
  std::u16string lost;
  for (const char16_t c : text) {
    if (formats::UnicodeToWindows1252(c) == '?' && c != u'?' &&
        lost.find(c) == std::u16string::npos)
      lost.push_back(c);
  }
  return lost;
}

ProgramView ViewOf(const SettingsValue& value) {
  ProgramView view;
  view.name = formats::Utf16ToAnsi(value.name);
  view.nameLost = LostCharacters(value.name);
  view.nameFits = view.name.size() < settings::kBufferSize;
  if (formats::IsStringType(value.type)) {
    std::u16string text(value.data.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<char16_t>(value.data[2 * i] | value.data[2 * i + 1] << 8);
    view.data = formats::Utf16ToAnsi(text);
    view.dataLost = LostCharacters(text);
  } else {
    view.data.assign(value.data.begin(), value.data.end());
  }
  view.dataFits = view.data.size() <= settings::kBufferSize;
  view.fields = SplitDefinitionRecord(formats::AnsiToWide(view.data));
  return view;
}

std::string TypeName(std::uint32_t type) {
  switch (type) {
    case formats::kRegNone:
      return "a REG_NONE value";
    case formats::kRegSz:
      return "a string";
    case formats::kRegExpandSz:
      return "an expandable string";
    case formats::kRegBinary:
      return "a binary value";
    case formats::kRegDword:
      return "a DWORD";
    case formats::kRegMultiSz:
      return "a multi-string";
    case formats::kRegQword:
      return "a QWORD";
    default:
      return "a value of type " + std::to_string(type);
  }
}

}  // namespace tkw::check
