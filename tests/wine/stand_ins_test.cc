// The stand-in servers as a late-bound client other than the program meets them, through COM's
// activation of the registered classes: PowerPoint across the process boundary (names and
// DISPIDs, the marshalling of arguments, errors, interfaces and type information) and the
// clipboard backup loaded into this process. run_wine.py runs it in a machine that has them
// registered.
#include <windows.h>
// After windows.h, which they need.
#include <oleauto.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/busy_server.h"
#include "host/office_interfaces.h"
#include "host/win32/com.h"
#include "host/win32/dispatch.h"

namespace {

using tkw::win32::ComPtr;

constexpr CLSID kClsidPowerPoint = {
    0x91493441, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
constexpr CLSID kClsidClipboardBackup = {
    0x6C1B6E43, 0x2F7D, 0x4E43, {0x9A, 0x3E, 0x5C, 0x8E, 0x0F, 0x3A, 0x7D, 0x21}};

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
VARIANT Long(long n) {
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = n;
  return v;
}
VARIANT Flag(bool flag) {
  VARIANT v;
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = flag ? VARIANT_TRUE : VARIANT_FALSE;
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

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / "tkw_stand_ins_test";
  std::filesystem::remove_all(folder);
  const auto state = folder / "commandbars.json";
  // COM starts the server from this process, which hands it its environment.
  ::SetEnvironmentVariableW(L"TKW_POWERPOINT_STATE", state.c_str());
  const tkw::win32::ScopedComApartment apartment;
  {
    ComPtr<IDispatch> backup;
    Expect(::CoCreateInstance(kClsidClipboardBackup, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              backup.Receive()) == S_OK,
           "AtlClipBoard.Clipboard loads into a client of its architecture");
    if (backup) {
      Expect(Invoke(backup.get(), L"Backup", DISPATCH_METHOD, {}) == S_OK, "Backup");
      Expect(Invoke(backup.get(), L"Restore", DISPATCH_METHOD, {}) == S_OK, "Restore");
    }
  }
  {
    ComPtr<IDispatch> application;
    Expect(::CoCreateInstance(kClsidPowerPoint, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              application.Receive()) == S_OK,
           "PowerPoint.Application is started as a local server");
    if (!application) {
      std::printf("stand_ins_test failed\n");
      return 1;
    }

    // One DISPID per name, whatever its case, on every object of an interface.
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
    // Another interface's member of the same name is another DISPID, which this one refuses.
    std::wstring item = L"Item";
    LPOLESTR itemName[] = {item.data()};
    DISPID barsItem = 0, controlsItem = 0;
    bars->GetIDsOfNames(IID_NULL, itemName, 1, LOCALE_USER_DEFAULT, &barsItem);
    controls->GetIDsOfNames(IID_NULL, itemName, 1, LOCALE_USER_DEFAULT, &controlsItem);
    DISPPARAMS none{};
    Expect(barsItem != controlsItem &&
               controls->Invoke(barsItem, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                &none, nullptr, nullptr, nullptr) == DISP_E_MEMBERNOTFOUND,
           "CommandBars.Item is not CommandBarControls.Item");
    const ComPtr<IDispatch> button = ObjectResult(controls.get(), L"Add", {Short(1)});
    Expect(static_cast<bool>(button), "Controls.Add of a button");
    Expect(Invoke(button.get(), L"Caption", DISPATCH_PROPERTYPUT, {Text(L"Caption")}) == S_OK,
           "a property is written");
    tkw::win32::ScopedVariant caption;
    Invoke(button.get(), L"caption", DISPATCH_PROPERTYGET, {}, caption.Receive());
    Expect(V_VT(&caption.get()) == VT_BSTR && std::wstring(V_BSTR(&caption.get())) == L"Caption",
           "and read back as a BSTR");

    // What a snapshot reads of every bar and control: bars by number, a bar's local name and
    // kind, a menu as a pop-up with the id of its command.
    const auto number = [](IDispatch* object, const wchar_t* member) {
      tkw::win32::ScopedVariant value;
      Invoke(object, member, DISPATCH_PROPERTYGET, {}, value.Receive());
      return V_VT(&value.get()) == VT_I4 ? V_I4(&value.get()) : -1;
    };
    VARIANT one;
    V_VT(&one) = VT_I4;
    V_I4(&one) = 1;
    const ComPtr<IDispatch> menuBar = ObjectResult(bars.get(), L"Item", {one});
    tkw::win32::ScopedVariant local;
    Invoke(menuBar.get(), L"NameLocal", DISPATCH_PROPERTYGET, {}, local.Receive());
    Expect(number(bars.get(), L"Count") >= 3 && V_VT(&local.get()) == VT_BSTR &&
               std::wstring(V_BSTR(&local.get())) == L"Menu Bar" &&
               number(menuBar.get(), L"Type") == 1,
           "bars are counted, taken by number, and tell their local name and kind");
    const ComPtr<IDispatch> toolsMenu =
        ObjectResult(ObjectResult(menuBar.get(), L"Controls").get(), L"Item", {Short(6)});
    Expect(static_cast<bool>(
               toolsMenu.Query<IUnknown>(ToGuid(tkw::host::office::kIidCommandBarPopup))) &&
               number(toolsMenu.get(), L"Id") == 30007 && number(toolsMenu.get(), L"Type") == 10,
           "a menu answers as a pop-up, with its command's id and its kind");

    // Controls.Add with the Id of one of PowerPoint's commands makes that built-in control.
    const ComPtr<IDispatch> options = ObjectResult(
        controls.get(), L"Add", {Short(1), Long(522), Missing(), Missing(), Missing()});
    tkw::win32::ScopedVariant builtIn, optionsCaption;
    if (options) {
      Invoke(options.get(), L"BuiltIn", DISPATCH_PROPERTYGET, {}, builtIn.Receive());
      Invoke(options.get(), L"Caption", DISPATCH_PROPERTYGET, {}, optionsCaption.Receive());
    }
    Expect(V_VT(&builtIn.get()) == VT_BOOL && V_BOOL(&builtIn.get()) == VARIANT_TRUE &&
               V_VT(&optionsCaption.get()) == VT_BSTR &&
               std::wstring(V_BSTR(&optionsCaption.get())) == L"&Options...",
           "Controls.Add with Id 522 makes PowerPoint's own Options");

    // Delete with Temporary true lasts for the session only: this PowerPoint, which COM
    // started, closes at the last release, and the control is back. Omitted, it lasts.
    const ComPtr<IDispatch> tools = ObjectResult(
        ObjectResult(
            ObjectResult(ObjectResult(bars.get(), L"Item", {Text(L"Menu Bar")}).get(), L"Controls")
                .get(),
            L"Item", {Text(L"&Tools")})
            .get(),
        L"Controls");
    const ComPtr<IDispatch> language = ObjectResult(tools.get(), L"Item", {Text(L"&Language...")});
    const ComPtr<IDispatch> research = ObjectResult(tools.get(), L"Item", {Text(L"&Research...")});
    Expect(language && research &&
               Invoke(language.get(), L"Delete", DISPATCH_METHOD, {Flag(true)}) == S_OK &&
               Invoke(research.get(), L"Delete", DISPATCH_METHOD, {Missing()}) == S_OK,
           "Delete with Temporary true and omitted");

    // Each object describes itself by the type library's interface, which the program asks
    // rather than QueryInterface (64-bit Office marshals its interfaces for 64-bit clients only);
    // the library derives CommandBarButton and CommandBarPopup from CommandBarControl, as
    // Office's does.
    ComPtr<ITypeInfo> described;
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(button->GetTypeInfo(0, LOCALE_USER_DEFAULT,
                                      reinterpret_cast<ITypeInfo**>(described.Receive()))) &&
        described && SUCCEEDED(described->GetTypeAttr(&attributes))) {
      Expect(attributes->guid == ToGuid(tkw::host::office::kIidCommandBarButton),
             "a button's type information is CommandBarButton");
      described->ReleaseTypeAttr(attributes);
    } else {
      Expect(false, "a button has type information");
    }
    described.Reset();
    tkw::host::BusyServerPolicy policy;
    using namespace tkw::host::office;
    const struct {
      IDispatch* object;
      tkw::host::InterfaceId iid;
      bool has;
      const char* what;
    } kTypes[] = {
        {button.get(), kIidCommandBarButton, true, "a button is a CommandBarButton"},
        {button.get(), kIidCommandBarControl, true, "and a CommandBarControl"},
        {button.get(), kIidCommandBarPopup, false, "and no CommandBarPopup"},
        {toolsMenu.get(), kIidCommandBarPopup, true, "a menu is a CommandBarPopup"},
        {toolsMenu.get(), kIidCommandBarButton, false, "and no CommandBarButton"},
    };
    for (const auto& type : kTypes) {
      tkw::win32::Dispatch object(ComPtr<IDispatch>::Share(type.object), policy);
      Expect(type.object != nullptr && object.Supports(type.iid) == type.has, type.what);
    }

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
  // The server's own report tells whether it ended with nothing left alive.
  Expect(std::filesystem::exists(state), "the last release saves PowerPoint's state");
  std::string saved;
  if (FILE* file = _wfopen(state.c_str(), L"rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
      saved.append(buffer, n);
    std::fclose(file);
  }
  Expect(saved.find("\"&Language...\"") != std::string::npos &&
             saved.find("\"&Research...\"") == std::string::npos,
         "what was deleted for the session is back once PowerPoint closed, the rest is gone");
  std::filesystem::remove_all(folder);
  std::printf("%s\n", g_failures == 0 ? "stand_ins_test passed" : "stand_ins_test failed");
  return g_failures == 0 ? 0 : 1;
}
