// The emulated machine's message-only windows: handles that exist from creation to destruction,
// nothing more, since nothing is ever shown or sent to them.
#pragma once

#include <cstddef>
#include <set>

#include "host/message_windows.h"

namespace tkw::emulated {

class EmulatedMessageWindows final : public host::MessageWindows {
 public:
  host::Handle CreateMessageWindow() override;
  // False for a handle that is no live window.
  bool DestroyWindow(host::Handle window) override;

  bool IsWindow(host::Handle window) const { return live_.contains(window); }
  std::size_t live_windows() const { return live_.size(); }

 private:
  std::set<host::Handle> live_;
  host::Handle next_ = 0x10010;  // window handles, as Windows numbers them
};

}  // namespace tkw::emulated
