// What the program's narrow registry calls make of a stored value: its name and data in the
// ANSI code page (Windows-1252), whether they fit the program's buffers, and the fields of the
// record it reads.
#pragma once

#include <string>
#include <vector>

#include "tools/tkwcheck/settings_source.h"

namespace tkw::check {

struct ProgramView {
  std::string name;                  // ANSI; '?' for each character the code page cannot hold
  std::u16string nameLost;           // those characters
  bool nameFits = true;              // enumerated: shorter than the name buffer
  std::string data;                  // ANSI; a string with its NUL, any other type as stored
  std::u16string dataLost;           // characters of a string the code page cannot hold
  bool dataFits = true;              // read: no longer than the data buffer
  std::vector<std::wstring> fields;  // the record, split as the builders split it
};

ProgramView ViewOf(const SettingsValue& value);

// The characters of `text` Windows-1252 cannot hold, each once, in order.
std::u16string LostCharacters(std::u16string_view text);

// The name of a registry type ("a string", "a DWORD", ...).
std::string TypeName(std::uint32_t type);

}  // namespace tkw::check
