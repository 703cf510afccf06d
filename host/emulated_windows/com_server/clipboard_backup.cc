#include "host/emulated_windows/com_server/clipboard_backup.h"

#include <optional>
#include <vector>

#include "host/emulated_windows/com_server/clipboard_blocks.h"
#include "host/runtime_error.h"

namespace tkw::com_server {
namespace {

class ClipboardBackup final : public host::Dispatch {
 public:
  bool Supports(const host::InterfaceId& iid) override {
    return iid == host::kIidUnknown || iid == host::kIidDispatch;
  }

  host::Variant Invoke(const host::Member& member, host::InvokeKind kind,
                       std::span<const host::Variant> args) override {
    const bool backup = host::SameMemberName(member.name, L"Backup");
    if ((!backup && !host::SameMemberName(member.name, L"Restore")) ||
        kind == host::InvokeKind::kPut)
      throw host::RuntimeError(438, "Object doesn't support this property or method");
    if (!args.empty())
      throw host::RuntimeError(450, "Wrong number of arguments or invalid property assignment");

    // Clipboard history and its like read the clipboard right after every change, the Restore
    // of one face right before the next face's Backup among them: a refused opening is tried
    // again, ten times 100 ms apart, as careful clipboard programs do.
    std::optional<OpenedClipboard> opened;
    for (int tries = 1; !opened.emplace(); ++tries) {
      if (tries == 10)
        throw host::RuntimeError::CannotOpenClipboard();
      ::Sleep(100);
    }
    if (backup) {
      saved_ = ReadClipboardBlocks();
      return {};
    }
    ::EmptyClipboard();
    for (const ClipboardBlock& block : saved_) {
      if (!WriteClipboardBlock(block))
        throw host::RuntimeError::OutOfMemory();
    }
    return {};
  }

 private:
  std::vector<ClipboardBlock> saved_;
};

}  // namespace

host::DispatchPtr CreateClipboardBackup() {
  return std::make_shared<ClipboardBackup>();
}

}  // namespace tkw::com_server
