// The stand-in servers as a late-bound client other than the program meets them: names and
// DISPIDs, argument conversions, errors, interfaces and references. Loads tkw_stand_ins.dll
// from its own folder, so no registration is needed.
#include <windows.h>
// After windows.h, which they need.
#include <oleauto.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/office_interfaces.h"
#include "host/win32/com.h"

namespace {

using tkw::win32::ComPtr;

constexpr CLSID kClsidPowerPoint = {
    0x91493441, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};

int g_failures = 0;

void Expect(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++g_failures;
  }
}

GUID ToGuid(const tkw::host::InterfaceId& id) {
  GUID guid{id.data1, id.data2, id.data3, {}};
  std::copy(id.data4.begin(), id.data4.end(), guid.Data4);
  return guid;
}

// Invokes `member` with `args` in declaration order; a put passes one value.
HRESULT Invoke(IDispatch* object, const wchar_t* member, WORD flags, std::vector<VARIANT> args,
               VARIANT* result = nullptr, std::wstring* description = nullptr,
               UINT* badArgument = nullptr) {
  std::wstring name(member);
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  if (HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); FAILED(hr))
    return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr,
                    static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  EXCEPINFO exception{};
  UINT argument = 0;
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                    &exception, &argument);
  if (description != nullptr && exception.bstrDescription != nullptr)
    *description = exception.bstrDescription;
  if (badArgument != nullptr)
    *badArgument = argument;
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  for (VARIANT& arg : args)
    ::VariantClear(&arg);
  return hr;
}

VARIANT Text(const wchar_t* text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = ::SysAllocString(text);
  return v;
}
VARIANT Short(short n) {
  VARIANT v;
  V_VT(&v) = VT_I2;
  V_I2(&v) = n;
  return v;
}
VARIANT Missing() {
  VARIANT v;
  V_VT(&v) = VT_ERROR;
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  return v;
}
VARIANT Double(double d) {
  VARIANT v;
  V_VT(&v) = VT_R8;
  V_R8(&v) = d;
  return v;
}

ComPtr<IDispatch> ObjectResult(IDispatch* from, const wchar_t* member,
                               std::vector<VARIANT> args = {}) {
  tkw::win32::ScopedVariant result;
  if (FAILED(Invoke(from, member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args),
                    result.Receive())) ||
      V_VT(&result.get()) != VT_DISPATCH)
    return {};
  return ComPtr<IDispatch>::Share(V_DISPATCH(&result.get()));
}

// A function of the DLL; void (*)() is the type that casts to any other function's.
template <class Function>
Function Export(HMODULE dll, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(dll, name)));
}

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / "tkw_stand_ins_test";
  std::filesystem::remove_all(folder);
  const auto state = folder / "commandbars.json";
  ::SetEnvironmentVariableW(L"TKW_POWERPOINT_STATE", state.c_str());
  const tkw::win32::ScopedComApartment apartment;

  HMODULE dll = ::LoadLibraryW(L"tkw_stand_ins.dll");
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT(WINAPI*)();
  const auto getClassObject = Export<GetClassObject>(dll, "DllGetClassObject");
  const auto canUnloadNow = Export<CanUnloadNow>(dll, "DllCanUnloadNow");
  if (getClassObject == nullptr || canUnloadNow == nullptr) {
    std::fprintf(stderr, "tkw_stand_ins.dll cannot be loaded\n");
    return 1;
  }
  {
    ComPtr<IClassFactory> factory;
    Expect(getClassObject(kClsidPowerPoint, IID_IClassFactory, factory.Receive()) == S_OK,
           "the class factory of PowerPoint.Application");
    ComPtr<IDispatch> application;
    Expect(factory->CreateInstance(nullptr, IID_IDispatch, application.Receive()) == S_OK,
           "PowerPoint.Application is created");
    Expect(canUnloadNow() == S_FALSE, "the DLL stays while objects live");

    // One DISPID per name, whatever its case, on every object.
    std::wstring a = L"CommandBars", b = L"COMMANDBARS";
    LPOLESTR first[] = {a.data()}, second[] = {b.data()};
    DISPID idA = 0, idB = 0;
    application->GetIDsOfNames(IID_NULL, first, 1, LOCALE_USER_DEFAULT, &idA);
    application->GetIDsOfNames(IID_NULL, second, 1, LOCALE_USER_DEFAULT, &idB);
    Expect(idA == idB && idA > 0, "names match without regard to case");

    const ComPtr<IDispatch> bars = ObjectResult(application.get(), L"CommandBars");
    Expect(static_cast<bool>(bars.Query<IUnknown>(ToGuid(tkw::host::office::kIidCommandBars))),
           "CommandBars answers for its own interface");
    Expect(!bars.Query<IUnknown>(ToGuid(tkw::host::office::kIidCommandBar)),
           "CommandBars does not answer for CommandBar's");

    // Add(Name, Position missing, MenuBar missing, Temporary) and a control on it.
    VARIANT temporary;
    V_VT(&temporary) = VT_BOOL;
    V_BOOL(&temporary) = VARIANT_TRUE;
    const ComPtr<IDispatch> bar =
        ObjectResult(bars.get(), L"Add", {Text(L"Probe"), Missing(), Missing(), temporary});
    Expect(static_cast<bool>(bar), "CommandBars.Add with missing arguments");
    const ComPtr<IDispatch> controls = ObjectResult(bar.get(), L"Controls");
    const ComPtr<IDispatch> button = ObjectResult(controls.get(), L"Add", {Short(1)});
    Expect(static_cast<bool>(button), "Controls.Add of a button");
    Expect(Invoke(button.get(), L"Caption", DISPATCH_PROPERTYPUT, {Text(L"Caption")}) == S_OK,
           "a property is written");
    tkw::win32::ScopedVariant caption;
    Invoke(button.get(), L"caption", DISPATCH_PROPERTYGET, {}, caption.Receive());
    Expect(V_VT(&caption.get()) == VT_BSTR && std::wstring(V_BSTR(&caption.get())) == L"Caption",
           "and read back as a BSTR");

    // Failures the program relies on seeing as failures.
    std::wstring description;
    Expect(Invoke(bars.get(), L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Text(L"Nope")},
                  nullptr, &description) == DISP_E_EXCEPTION &&
               !description.empty(),
           "an unknown bar raises an exception with a description");
    UINT badArgument = 99;
    Expect(Invoke(bars.get(), L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Double(1.5)},
                  nullptr, nullptr, &badArgument) == DISP_E_TYPEMISMATCH &&
               badArgument == 0,
           "an argument of another type is refused and named");
    Expect(Invoke(button.get(), L"NoSuchMember", DISPATCH_METHOD, {}) == DISP_E_EXCEPTION,
           "an unknown member raises an exception");
    tkw::win32::ScopedVariant nothing;
    Expect(Invoke(bar.get(), L"FindControl", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                  {Missing(), Missing(), Text(L"no such tag")}, nothing.Receive()) == S_OK &&
               V_VT(&nothing.get()) == VT_DISPATCH && V_DISPATCH(&nothing.get()) == nullptr,
           "FindControl finding nothing returns Nothing");
  }
  Expect(canUnloadNow() == S_OK, "every reference is released");
  Expect(std::filesystem::exists(state), "the last release saves PowerPoint's state");
  std::filesystem::remove_all(folder);
  std::printf("%s\n", g_failures == 0 ? "stand_ins_test passed" : "stand_ins_test failed");
  return g_failures == 0 ? 0 : 1;
}
