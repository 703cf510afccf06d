#include "tools/tkwcheck/live_registry.h"

#include <windows.h>

#include <memory>
#include <string>

#include "host/command_bars/command_bar_state.h"
#include "host/platform_host.h"
#include "host/win32/code_page.h"
#include "host/win32/open_key.h"

namespace tkw::check {
namespace {

std::string Utf8(const std::wstring& text) {
  return win32::WideToCodePage(text, CP_UTF8);
}

class LiveKey final : public SettingsKey {
 public:
  LiveKey(std::wstring path, REGSAM view, std::string viewName)
      : path_(std::move(path)), view_(view), viewName_(std::move(viewName)) {
    const win32::OpenKey key(HKEY_LOCAL_MACHINE, path_, view_);
    exists_ = key.get() != nullptr;
    for (DWORD index = 0; exists_; ++index) {
      std::wstring name(16384, L'\0');
      DWORD nameLength = static_cast<DWORD>(name.size());
      DWORD type = 0, size = 0;
      if (::RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, nullptr,
                          &size) != ERROR_SUCCESS)
        break;
      name.resize(nameLength);
      std::vector<std::uint8_t> data(size);
      ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, data.data(), &size);
      data.resize(size);
      values_.push_back({std::u16string(name.begin(), name.end()), type, std::move(data),
                         Place{{}, 0, KeyText(), Utf8(name)}});
    }
  }

  bool exists() const { return exists_; }
  const std::vector<SettingsValue>& values() const override { return values_; }

  std::unique_ptr<SettingsKey> Subkey(std::u16string_view name) const override {
    auto subkey = std::make_unique<LiveKey>(path_ + L"\\" + std::wstring(name.begin(), name.end()),
                                            view_, viewName_);
    return subkey->exists() ? std::move(subkey) : nullptr;
  }

  Place place() const override { return Place{{}, 0, KeyText(), ""}; }

 private:
  std::string KeyText() const { return "HKEY_LOCAL_MACHINE\\" + Utf8(path_) + viewName_; }

  std::wstring path_;
  REGSAM view_;
  std::string viewName_;
  bool exists_ = false;
  std::vector<SettingsValue> values_;
};

}  // namespace

std::vector<Finding> CheckLiveRegistry(const snapshot::JudgedPowerPoint& powerPoint) {
  const std::unique_ptr<host::Host> host = host::MakePlatformHost();
  std::vector<Finding> findings;
  const bool twoViews = win32::HasOtherRegistryView();
  const LiveKey thirtyTwo(L"SOFTWARE\\Tarnwick", KEY_WOW64_32KEY, twoViews ? " (32-bit view)" : "");
  const auto check = [&](const LiveKey& key) {
    Machine machine{command_bars::CopyCommandBars(powerPoint.bars), host.get(),
                    powerPoint.snapshot};
    for (Finding& finding : CheckSettings(key.exists() ? &key : nullptr, key.place(), machine))
      findings.push_back(std::move(finding));
  };
  check(thirtyTwo);
  if (twoViews) {
    const LiveKey sixtyFour(L"SOFTWARE\\Tarnwick", KEY_WOW64_64KEY, " (64-bit view)");
    if (sixtyFour.exists() && !sixtyFour.values().empty()) {
      if (!thirtyTwo.exists() || thirtyTwo.values().empty()) {
        findings.push_back(
            {sixtyFour.place(), Severity::kWarning,
             "the definitions lie only in the 64-bit registry view, which the shipped 32-bit "
             "program does not read: it finds none (a 32-bit installer writes them below "
             "Wow6432Node)",
             "wrong-view"});
      }
      check(sixtyFour);
    }
  }
  return findings;
}

std::unique_ptr<SettingsKey> ProgramSettings() {
  // Plain KEY_READ, as the program opens it: a process's own view.
  auto key = std::make_unique<LiveKey>(L"SOFTWARE\\Tarnwick", 0, "");
  return key->exists() ? std::move(key) : nullptr;
}

}  // namespace tkw::check
