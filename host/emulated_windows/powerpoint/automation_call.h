// One late-bound call on an emulated object: which member, how, and its arguments, with the
// checks and conversions every member needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "host/automation.h"
#include "host/runtime_error.h"

namespace tkw::emulated {

class AutomationCall {
 public:
  // `self` is the object called: a member named through an interface it does not have is
  // none of its members, as a dispatch identifier of another interface is none of Office's.
  AutomationCall(std::string_view object, host::Dispatch& self, const host::Member& member,
                 host::InvokeKind kind, std::span<const host::Variant> args)
      : object_(object),
        member_(member.name),
        declared_(member.declaredBy == nullptr || self.Supports(*member.declaredBy)),
        kind_(kind),
        args_(args) {}

  // Whether the call is for `name` (any letter case), read as a property without arguments.
  // Throws when it tries to write it.
  bool IsReadOnly(std::wstring_view name) const;
  // Whether the call is for `name`, read or written; a write passes exactly the new value.
  bool IsProperty(std::wstring_view name) const;
  // Whether the call is for the method `name`, which takes at most `parameters` arguments.
  bool IsMethod(std::wstring_view name, std::size_t parameters) const;

  bool writing() const { return kind_ == host::InvokeKind::kPut; }

  // The argument at `index`; empty when missing or not passed. Throws on a wrong type.
  std::optional<std::wstring> Text(std::size_t index, std::string_view parameter) const;
  std::optional<std::int32_t> Number(std::size_t index, std::string_view parameter) const;
  std::optional<bool> Flag(std::size_t index, std::string_view parameter) const;
  // A text or a number, as Item's Index.
  std::optional<std::variant<std::wstring, std::int32_t>> TextOrNumber(
      std::size_t index, std::string_view parameter) const;

  // The new value of a property write.
  std::wstring NewText() const { return Required(Text(0, "value"), "value"); }
  std::int32_t NewNumber() const { return Required(Number(0, "value"), "value"); }
  bool NewFlag() const { return Required(Flag(0, "value"), "value"); }

  template <typename T>
  T Required(std::optional<T> value, std::string_view parameter) const {
    if (!value)
      throw Failure(5, std::string(parameter) + " is required");
    return std::move(*value);
  }

  // "<Object>.<Member>: <detail>", so every failure says where it happened.
  host::RuntimeError Failure(int number, const std::string& detail) const;
  host::RuntimeError UnknownMember() const;

 private:
  bool Names(std::wstring_view name) const;
  const host::Variant* Argument(std::size_t index) const;
  host::RuntimeError TypeMismatch(std::string_view parameter, const char* expected) const;

  std::string_view object_;
  std::wstring_view member_;
  bool declared_;
  host::InvokeKind kind_;
  std::span<const host::Variant> args_;
};

}  // namespace tkw::emulated
