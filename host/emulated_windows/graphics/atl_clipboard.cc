#include "host/emulated_windows/graphics/atl_clipboard.h"

#include <vector>

#include "host/runtime_error.h"

namespace tkw::emulated {

namespace {

constexpr int kOpenTries = 10;
constexpr std::uint32_t kPauseBeforeTry = 100;  // milliseconds

// Opens the clipboard, trying again while another program holds it, and closes it on every
// path out of a method.
class OpenedClipboard {
 public:
  OpenedClipboard(EmulatedClipboard& clipboard, host::Kernel& kernel) : clipboard_(clipboard) {
    for (int tries = 1; !clipboard_.OpenClipboard(0); ++tries) {
      if (tries == kOpenTries)
        throw host::RuntimeError::CannotOpenClipboard();
      kernel.Sleep(kPauseBeforeTry);
    }
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  ~OpenedClipboard() { clipboard_.CloseClipboard(); }

 private:
  EmulatedClipboard& clipboard_;
};

class AtlClipboard final : public host::Dispatch {
 public:
  AtlClipboard(EmulatedClipboard& clipboard, host::Kernel& kernel)
      : clipboard_(clipboard), kernel_(kernel) {}

  bool Supports(const host::InterfaceId& iid) override {
    return iid == host::kIidUnknown || iid == host::kIidDispatch;
  }

  host::Variant Invoke(const host::Member& member, host::InvokeKind kind,
                       std::span<const host::Variant> args) override {
    const bool backup = host::SameMemberName(member.name, L"Backup");
    if ((!backup && !host::SameMemberName(member.name, L"Restore")) ||
        kind == host::InvokeKind::kPut) {
      throw host::RuntimeError(438, "Object doesn't support this property or method");
    }
    if (!args.empty()) {
      throw host::RuntimeError(450, "Wrong number of arguments or invalid property assignment");
    }
    const OpenedClipboard opened(clipboard_, kernel_);
    if (backup) {
      saved_ = clipboard_.ReadAllFormats();
    } else {
      clipboard_.EmptyClipboard();
      for (const auto& format : saved_)
        clipboard_.WriteFormat(format.format, format.bytes);
    }
    return {};
  }

 private:
  EmulatedClipboard& clipboard_;
  host::Kernel& kernel_;
  std::vector<EmulatedClipboard::FormatData> saved_;
};

}  // namespace

host::DispatchPtr CreateAtlClipboard(EmulatedClipboard& clipboard, host::Kernel& kernel) {
  return std::make_shared<AtlClipboard>(clipboard, kernel);
}

}  // namespace tkw::emulated
