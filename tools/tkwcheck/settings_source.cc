#include "tools/tkwcheck/settings_source.h"

#include "host/formats/windows_1252.h"

namespace tkw::check {

std::string Place::Text() const {
  if (!file.empty())
    return line > 0 ? file + ":" + std::to_string(line) : file;
  return key + " [" + value + "]";
}

const SettingsValue* SettingsKey::Value(std::u16string_view name) const {
  const std::u16string wanted = formats::ToUpperCase(name);
  for (const SettingsValue& value : values()) {
    if (formats::ToUpperCase(value.name) == wanted)
      return &value;
  }
  return nullptr;
}

namespace {

class RegFileKey final : public SettingsKey {
 public:
  RegFileKey(const formats::RegistryKeyNode& node, const std::string& fileName)
      : node_(node), fileName_(fileName) {
    for (const formats::RegistryValue& value : node.values())
      values_.push_back({value.name, value.type, value.data, Place{fileName, value.line, {}, {}}});
  }

  const std::vector<SettingsValue>& values() const override { return values_; }

  std::unique_ptr<SettingsKey> Subkey(std::u16string_view name) const override {
    const formats::RegistryKeyNode* subkey = node_.FindSubkey(name);
    return subkey == nullptr ? nullptr : std::make_unique<RegFileKey>(*subkey, fileName_);
  }

  Place place() const override { return Place{fileName_, 0, {}, {}}; }

 private:
  const formats::RegistryKeyNode& node_;
  std::string fileName_;
  std::vector<SettingsValue> values_;
};

}  // namespace

std::unique_ptr<SettingsKey> SettingsOfRegFile(const formats::RegFile& file,
                                               const std::string& fileName) {
  const formats::RegistryKeyNode* node = file.Root(host::kHkeyLocalMachine);
  for (const std::string_view part : {std::string_view("SOFTWARE"), std::string_view("Tarnwick")}) {
    if (node != nullptr)
      node = node->FindSubkey(formats::AnsiToUtf16(part));
  }
  return node == nullptr ? nullptr : std::make_unique<RegFileKey>(*node, fileName);
}

}  // namespace tkw::check
