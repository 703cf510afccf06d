#include "host/emulated_windows/graphics/atl_clipboard.h"

#include <vector>

#include "host/runtime_error.h"

namespace tkw::emulated {

namespace {

// Closes the clipboard on every path out of a method.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(EmulatedClipboard& clipboard) : clipboard_(clipboard) {
    if (!clipboard_.OpenClipboard(0))
      throw host::RuntimeError::CannotOpenClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  ~OpenedClipboard() { clipboard_.CloseClipboard(); }

 private:
  EmulatedClipboard& clipboard_;
};

class AtlClipboard final : public host::Dispatch {
 public:
  explicit AtlClipboard(EmulatedClipboard& clipboard) : clipboard_(clipboard) {}

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
    const OpenedClipboard opened(clipboard_);
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
  std::vector<EmulatedClipboard::FormatData> saved_;
};

}  // namespace

host::DispatchPtr CreateAtlClipboard(EmulatedClipboard& clipboard) {
  return std::make_shared<AtlClipboard>(clipboard);
}

}  // namespace tkw::emulated
