#include "host/emulated_windows/com_server/busy_filter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <servprov.h>

#include "host/emulated_windows/com_server/class_factory.h"

namespace tkw::com_server {
namespace {

// COM's own interfaces, which activation and reference counting go through: IClassFactory,
// IServiceProvider (Wine's activation of local servers), IRemUnknown and IRemUnknown2.
bool IsComPlumbing(REFIID iid) {
  constexpr GUID kBase = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  if (iid.Data2 != 0 || iid.Data3 != 0 ||
      std::memcmp(iid.Data4, kBase.Data4, sizeof kBase.Data4) != 0)
    return iid == IID_IServiceProvider;
  return iid.Data1 == 0x00000001 || iid.Data1 == 0x00000131 || iid.Data1 == 0x00000143;
}

std::string InterfaceName(REFIID iid) {
  if (iid == IID_IDispatch)
    return "IDispatch";
  if (iid == IID_ITypeInfo)
    return "ITypeInfo";
  constexpr GUID kRemUnknown = {0x00000131, 0, 0, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  constexpr GUID kRemUnknown2 = {
      0x00000143, 0, 0, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  if (iid == kRemUnknown || iid == kRemUnknown2)
    return "IRemUnknown";
  wchar_t text[39];
  ::StringFromGUID2(iid, text, 39);
  return std::string(text, text + 38);
}

}  // namespace

std::optional<BusySpells> ParseBusySpells(const char* text) {
  if (text == nullptr || *text == 0)
    return std::nullopt;
  BusySpells spells;
  if (std::strcmp(text, "forever") == 0) {
    spells.forever = true;
    return spells;
  }
  unsigned long first = 0, later = 0;
  long after = 0;
  char end = 0;
  const int fields = std::sscanf(text, "%lu,%ld,%lu%c", &first, &after, &later, &end);
  if (fields != 1 && fields != 3)
    return std::nullopt;
  spells.firstMs = static_cast<DWORD>(first);
  if (fields == 3) {
    spells.laterAfterCall = after;
    spells.laterMs = static_cast<DWORD>(later);
  }
  return spells;
}

ScopedBusyFilter::ScopedBusyFilter()
    : spells_(ParseBusySpells(std::getenv("TKW_POWERPOINT_BUSY"))),
      counting_(std::getenv("TKW_POWERPOINT_CALLS") != nullptr) {
  Register();
}

void ScopedBusyFilter::Report() const {
  if (!counting_)
    return;
  for (const auto& [call, count] : calls_) {
    char line[128];
    std::snprintf(line, sizeof line, "powerpoint calls %s %u %ld", call.first.c_str(),
                  static_cast<unsigned>(call.second), count);
    AppendToReport(line);
  }
}

std::string ScopedBusyFilter::Received() const {
  // IDispatch's methods after IUnknown's; IRemUnknown's RemQueryInterface, RemAddRef,
  // RemRelease and IRemUnknown2's RemQueryInterface2.
  struct Kind {
    const char* name;
    const char* iface;
    int method;  // -1: every method
  };
  constexpr Kind kKinds[] = {
      {"GetIDsOfNames", "IDispatch", 5},    {"Invoke", "IDispatch", 6},
      {"QueryInterface", "IRemUnknown", 3}, {"QueryInterface", "IRemUnknown", 6},
      {"AddRef", "IRemUnknown", 4},         {"Release", "IRemUnknown", 5},
      {"GetTypeInfo", "IDispatch", 4},      {"ITypeInfo", "ITypeInfo", -1},
  };
  constexpr const char* kNames[] = {"GetIDsOfNames", "Invoke",      "QueryInterface", "AddRef",
                                    "Release",       "GetTypeInfo", "ITypeInfo"};
  std::map<std::string, long> counts;
  long other = 0;
  for (const auto& [call, count] : calls_) {
    const Kind* kind = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const Kind& k) {
      return call.first == k.iface && (k.method < 0 || call.second == k.method);
    });
    (kind != std::end(kKinds) ? counts[kind->name] : other) += count;
  }
  std::string text;
  for (const char* name : kNames)
    text += std::string(name) + " " + std::to_string(counts[name]) + " ";
  return text + "other " + std::to_string(other);
}

bool ScopedBusyFilter::Busy() {
  const DWORD now = ::GetTickCount();
  if (spells_->forever || now - started_ < spells_->firstMs)
    return true;
  if (laterStarted_ != 0)
    return now - laterStarted_ < spells_->laterMs;
  if (spells_->laterAfterCall != 0 && accepted_ == spells_->laterAfterCall) {
    laterStarted_ = now == 0 ? 1 : now;
    return true;
  }
  return false;
}

DWORD ScopedBusyFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO info) {
  if (info != nullptr)
    ++calls_[{InterfaceName(info->iid), info->wMethod}];
  if (!spells_ || info == nullptr || IsComPlumbing(info->iid))
    return SERVERCALL_ISHANDLED;
  if (Busy())
    return SERVERCALL_REJECTED;
  ++accepted_;
  return SERVERCALL_ISHANDLED;
}

}  // namespace tkw::com_server
