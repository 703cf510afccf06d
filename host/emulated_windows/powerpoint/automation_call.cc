#include "host/emulated_windows/powerpoint/automation_call.h"

#include <algorithm>

#include "host/formats/utf8.h"

namespace tkw::emulated {

using formats::WideToUtf8;
namespace {

constexpr int kTypeMismatch = 13;
constexpr int kWrongArguments = 450;
constexpr int kNoSuchMember = 438;

wchar_t LowerAscii(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c;
}

}  // namespace

bool AutomationCall::Names(std::wstring_view name) const {
  return declared_ && std::ranges::equal(member_, name, {}, LowerAscii, LowerAscii);
}

bool AutomationCall::IsReadOnly(std::wstring_view name) const {
  if (!Names(name))
    return false;
  if (writing())
    throw Failure(kWrongArguments, "the property is read-only");
  if (!args_.empty())
    throw Failure(kWrongArguments, "the property takes no arguments");
  return true;
}

bool AutomationCall::IsProperty(std::wstring_view name) const {
  if (!Names(name))
    return false;
  if (args_.size() != (writing() ? 1u : 0u)) {
    throw Failure(kWrongArguments, "wrong number of arguments");
  }
  return true;
}

bool AutomationCall::IsMethod(std::wstring_view name, std::size_t parameters) const {
  if (!Names(name))
    return false;
  if (writing())
    throw Failure(kWrongArguments, "a method cannot be assigned to");
  if (args_.size() > parameters)
    throw Failure(kWrongArguments, "too many arguments");
  return true;
}

const host::Variant* AutomationCall::Argument(std::size_t index) const {
  if (index >= args_.size() || std::holds_alternative<host::MissingArgument>(args_[index])) {
    return nullptr;
  }
  return &args_[index];
}

std::optional<std::wstring> AutomationCall::Text(std::size_t index,
                                                 std::string_view parameter) const {
  const host::Variant* arg = Argument(index);
  if (arg == nullptr)
    return std::nullopt;
  if (const auto* text = std::get_if<std::wstring>(arg))
    return *text;
  throw TypeMismatch(parameter, "text");
}

std::optional<std::int32_t> AutomationCall::Number(std::size_t index,
                                                   std::string_view parameter) const {
  const host::Variant* arg = Argument(index);
  if (arg == nullptr)
    return std::nullopt;
  if (const auto* i2 = std::get_if<std::int16_t>(arg))
    return *i2;
  if (const auto* i4 = std::get_if<std::int32_t>(arg))
    return *i4;
  throw TypeMismatch(parameter, "a number");
}

std::optional<bool> AutomationCall::Flag(std::size_t index, std::string_view parameter) const {
  const host::Variant* arg = Argument(index);
  if (arg == nullptr)
    return std::nullopt;
  if (const auto* flag = std::get_if<bool>(arg))
    return *flag;
  throw TypeMismatch(parameter, "true or false");
}

std::optional<std::variant<std::wstring, std::int32_t>> AutomationCall::TextOrNumber(
    std::size_t index, std::string_view parameter) const {
  const host::Variant* arg = Argument(index);
  if (arg == nullptr)
    return std::nullopt;
  if (const auto* text = std::get_if<std::wstring>(arg))
    return *text;
  if (auto number = Number(index, parameter))
    return *number;
  return std::nullopt;
}

host::RuntimeError AutomationCall::Failure(int number, const std::string& detail) const {
  return host::RuntimeError(number,
                            std::string(object_) + "." + WideToUtf8(member_) + ": " + detail);
}

host::RuntimeError AutomationCall::UnknownMember() const {
  return Failure(kNoSuchMember, "Object doesn't support this property or method");
}

host::RuntimeError AutomationCall::TypeMismatch(std::string_view parameter,
                                                const char* expected) const {
  return Failure(kTypeMismatch,
                 "Type mismatch: " + std::string(parameter) + " must be " + expected);
}

}  // namespace tkw::emulated
