// Late-bound automation: objects called by member name with variant arguments, the way
// IDispatch::Invoke is called.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cwctype>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace tkw::host {

class Dispatch;
using DispatchPtr = std::shared_ptr<Dispatch>;

// VT_ERROR holding DISP_E_PARAMNOTFOUND: the argument is left to the callee's default.
struct MissingArgument {
  friend bool operator==(MissingArgument, MissingArgument) = default;
};
inline constexpr std::int32_t kDispEParamNotFound = static_cast<std::int32_t>(0x80020004);

// VT_EMPTY, VT_ERROR (missing), VT_I2, VT_I4, VT_BOOL, VT_BSTR, VT_DISPATCH.
using Variant = std::variant<std::monostate, MissingArgument, std::int16_t, std::int32_t, bool,
                             std::wstring, DispatchPtr>;

struct InterfaceId {
  std::uint32_t data1;
  std::uint16_t data2, data3;
  std::array<std::uint8_t, 8> data4;
  friend bool operator==(const InterfaceId&, const InterfaceId&) = default;
};

// IUnknown and IDispatch, which every automation object answers.
inline constexpr InterfaceId kIidUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr InterfaceId kIidDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Member names match without regard to letter case, as IDispatch::GetIDsOfNames matches them.
inline bool SameMemberName(std::wstring_view a, std::wstring_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

// A member by its name and, when the caller knows it, the interface that declares it. An
// interface's dispatch identifiers never change, and an interface derived from it keeps them
// (CommandBarButton keeps CommandBarControl's), so a member named with its interface is looked
// up once for every object that has the interface; a bare name is looked up at each call.
struct Member {
  // A bare name stands for the member wherever one is taken.
  Member(std::wstring_view name) : name(name) {}
  Member(const wchar_t* name) : name(name) {}
  Member(const InterfaceId& declaredBy, std::wstring_view name)
      : declaredBy(&declaredBy), name(name) {}

  const InterfaceId* declaredBy = nullptr;
  std::wstring_view name;
};

enum class InvokeKind {
  kGet,     // DISPATCH_METHOD | DISPATCH_PROPERTYGET: a call whose result is used
  kMethod,  // DISPATCH_METHOD: a call whose result is not used
  kPut,     // DISPATCH_PROPERTYPUT: the last argument is the new value
};

// One reference to an automation object; dropping the last shared_ptr releases it.
class Dispatch {
 public:
  virtual ~Dispatch() = default;

  // Whether the object has the interface `iid`, itself or by an interface derived from it.
  // Across processes each question is a round trip to the server.
  virtual bool Supports(const InterfaceId& iid) = 0;

  // Arguments in the order of the member's declaration. Throws RuntimeError when the member
  // is unknown, is not the declaring interface's, or reports an error.
  virtual Variant Invoke(const Member& member, InvokeKind kind, std::span<const Variant> args) = 0;
};

}  // namespace tkw::host
