#include "host/runtime/automation_object.h"

#include <vector>

#include "host/runtime_error.h"

namespace tkw::host {

std::optional<Variant> AutomationObject::Invoke(const Member& member, InvokeKind kind,
                                                std::initializer_list<Variant> args) const {
  if (dispatch_ == nullptr)
    return std::nullopt;
  try {
    return dispatch_->Invoke(member, kind, std::span<const Variant>(args.begin(), args.size()));
  } catch (const RuntimeError&) {
    return std::nullopt;
  }
}

bool AutomationObject::Call(const Member& member, std::initializer_list<Variant> args) const {
  return Invoke(member, InvokeKind::kMethod, args).has_value();
}

bool AutomationObject::Put(const Member& member, Variant value) const {
  return Invoke(member, InvokeKind::kPut, {std::move(value)}).has_value();
}

std::optional<std::int32_t> AutomationObject::GetNumber(const Member& member) const {
  auto result = Invoke(member, InvokeKind::kGet);
  if (!result)
    return std::nullopt;
  if (auto* i4 = std::get_if<std::int32_t>(&*result))
    return *i4;
  if (auto* i2 = std::get_if<std::int16_t>(&*result))
    return *i2;
  return std::nullopt;
}

std::optional<std::wstring> AutomationObject::GetText(const Member& member) const {
  auto result = Invoke(member, InvokeKind::kGet);
  if (auto* text = result ? std::get_if<std::wstring>(&*result) : nullptr)
    return std::move(*text);
  return std::nullopt;
}

std::optional<bool> AutomationObject::GetFlag(const Member& member) const {
  const auto result = Invoke(member, InvokeKind::kGet);
  if (auto* flag = result ? std::get_if<bool>(&*result) : nullptr)
    return *flag;
  return std::nullopt;
}

DispatchPtr AutomationObject::ObjectResult(const std::optional<Variant>& result) {
  if (!result)
    return nullptr;
  if (auto* object = std::get_if<DispatchPtr>(&*result))
    return *object;
  return nullptr;
}

}  // namespace tkw::host
