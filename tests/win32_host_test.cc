// The Win32 host against the real platform (under Wine in CI). No GoogleTest exists for the
// cross compilers, so this is a plain program that counts its checks.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/automation.h"
#include "host/office_interfaces.h"
#include "host/platform_host.h"
#include "host/runtime/clipboard_object.h"
#include "host/runtime/powerpoint.h"
#include "host/runtime_error.h"
#include "host/win32/busy_server.h"
#include "host/win32/code_page.h"
#include "host/win32/com.h"
#include "host/win32/dispatch.h"
#include "host/win32/machine_facts.h"

namespace {

namespace host = tkw::host;
using host::Handle;

int passed = 0;
int failed = 0;

void Check(bool ok, const char* what, int line) {
  ok ? ++passed : ++failed;
  if (!ok)
    std::printf("FAILED line %d: %s\n", line, what);
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

// The number of the RuntimeError that `action` throws, or 0 when it throws none.
int ErrorNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const host::RuntimeError& error) {
    return error.number();
  }
  return 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string TestFolder() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "tkw_win32_host_test";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void TestRegistry(host::Registry& registry) {
  const char* kTestKey = "Software\\TkwWin32HostTest";
  HKEY setup;
  RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_WRITE, nullptr, &setup, nullptr);
  const DWORD one = 1;
  RegSetValueExA(setup, "Logging", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
  RegSetValueExA(setup, "Product", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4);
  RegCloseKey(setup);

  host::RegistryKey key = 0;
  CHECK(registry.RegOpenKeyExA(host::kHkeyLocalMachine, "Software", 0, host::kKeyRead, &key) == 0);
  CHECK(registry.RegCloseKey(key) == 0);
  CHECK(registry.RegOpenKeyExA(host::kHkeyCurrentUser, "Software\\NoSuchTkwKey", 0, host::kKeyRead,
                               &key) == ERROR_FILE_NOT_FOUND);
  CHECK(registry.RegOpenKeyExA(host::kHkeyCurrentUser, kTestKey, 0, host::kKeyRead, &key) == 0);
  std::uint8_t data[16];
  std::uint32_t type = 0, size = sizeof data;
  CHECK(registry.RegQueryValueExA(key, "Logging", &type, data, &size) == 0 && type == REG_DWORD &&
        size == 4 && data[0] == 1);
  size = sizeof data;
  CHECK(registry.RegQueryValueExA(key, "Product", &type, data, &size) == 0 && type == REG_SZ &&
        size == 4 && std::memcmp(data, "abc", 4) == 0);
  size = 2;
  CHECK(registry.RegQueryValueExA(key, "Product", &type, data, &size) == ERROR_MORE_DATA &&
        size == 4);
  CHECK(registry.RegQueryValueExA(key, "Missing", &type, data, &size) == ERROR_FILE_NOT_FOUND);
  char name[16];
  for (auto [index, length, result] : {std::tuple{0u, 16u, 0L},
                                       {1u, 3u, long(ERROR_MORE_DATA)},
                                       {2u, 16u, long(ERROR_NO_MORE_ITEMS)}}) {
    CHECK(registry.RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr) == result);
    CHECK(result != 0 || length == 7);  // both names are 7 characters long
  }
  CHECK(registry.RegCloseKey(key) == 0);
  RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
}

void TestKernel(host::Kernel& kernel) {
  const Handle first = kernel.CreateMutexA(true, "tkwWin32HostTestMutex");
  CHECK(first != 0 && kernel.GetLastError() != ERROR_ALREADY_EXISTS);
  const Handle second = kernel.CreateMutexA(true, "tkwWin32HostTestMutex");
  CHECK(second != 0 && kernel.GetLastError() == ERROR_ALREADY_EXISTS);
  CHECK(kernel.CloseHandle(second) && kernel.CloseHandle(first));
  kernel.CloseHandle(kernel.CreateMutexA(true, "tkwWin32HostTestMutex"));
  CHECK(kernel.GetLastError() != ERROR_ALREADY_EXISTS);

  if (GetACP() == 1252) {
    CHECK(kernel.AnsiToWide("caf\xe9\x80") == L"caf\u00e9\u20ac");
    // No best fit: a letter outside the code page is '?', not its look-alike 'A'.
    CHECK(kernel.WideToAnsi(L"caf\u00e9\u0100\u4e2d") == "caf\xe9??");
  } else {
    std::printf("skipped: code page conversions need code page 1252, not %u\n", GetACP());
  }
}

// Every code page for which WideCharToMultiByte refuses WC_NO_BEST_FIT_CHARS or a default
// character, the ISCII range's ends and their neighbours outside it, and two ordinary code pages.
// Wine accepts some arguments Windows refuses (WC_NO_BEST_FIT_CHARS for UTF-8) and converts into
// none of the ISO-2022, ISCII, GB18030 or symbol code pages, so the rule is held to Windows'
// documented one; where Wine converts, the conversion with the rule's arguments is checked too.
void TestNarrowingRules() {
  const struct {
    UINT codePage;
    DWORD flags;
    const char* defaultChar;
    const char* bytes;  // of "\u00e9\u4e2d", where this Wine converts
  } cases[] = {
      {1252, WC_NO_BEST_FIT_CHARS, "?", "\xe9?"},
      {932, WC_NO_BEST_FIT_CHARS, "?", "?\x92\x86"},
      {65001, 0, nullptr, "\xc3\xa9\xe4\xb8\xad"},
      {65000, 0, nullptr, "+AOlOLQ-"},  // Wine refuses a default character for UTF-7 too
      {54936, 0, "?", nullptr},
      {42, 0, "?", nullptr},
      {50220, 0, "?", nullptr},
      {50221, 0, "?", nullptr},
      {50222, 0, "?", nullptr},
      {50225, 0, "?", nullptr},
      {50227, 0, "?", nullptr},
      {50229, 0, "?", nullptr},
      {57001, WC_NO_BEST_FIT_CHARS, "?", nullptr},
      {57002, 0, "?", nullptr},
      {57011, 0, "?", nullptr},
      {57012, WC_NO_BEST_FIT_CHARS, "?", nullptr},
  };
  for (const auto& c : cases) {
    const auto rule = tkw::win32::NarrowingRuleFor(c.codePage);
    const bool ok =
        rule.flags == c.flags && (rule.defaultChar == nullptr || c.defaultChar == nullptr
                                      ? rule.defaultChar == c.defaultChar
                                      : std::strcmp(rule.defaultChar, c.defaultChar) == 0);
    CHECK(ok);
    if (!ok)
      std::printf("  code page %u: flags %#lx, default character %s\n", c.codePage,
                  static_cast<unsigned long>(rule.flags),
                  rule.defaultChar ? rule.defaultChar : "none");
    if (c.bytes == nullptr)
      continue;
    char bytes[16] = {};
    const int length = WideCharToMultiByte(c.codePage, rule.flags, L"\u00e9\u4e2d", 2, bytes,
                                           sizeof bytes - 1, rule.defaultChar, nullptr);
    CHECK(length == static_cast<int>(std::strlen(c.bytes)) && std::strcmp(bytes, c.bytes) == 0);
  }
}

// A conversion the system refuses (here for a code page it does not have) is an error, never
// empty text; empty text converts to empty text without asking the system.
void TestRefusedConversions() {
  using tkw::win32::CodePageToWide;
  using tkw::win32::WideToCodePage;
  constexpr UINT kNoSuchCodePage = 12345;
  const struct {
    const char* narrow;
    const wchar_t* wide;
    int number;  // of the error thrown, 0 for none
  } cases[] = {{"abc", L"abc", 5}, {"", L"", 0}};
  for (const auto& c : cases) {
    std::wstring wide = L"unset";
    std::string narrow = "unset";
    CHECK(ErrorNumber([&] { wide = CodePageToWide(c.narrow, kNoSuchCodePage); }) == c.number);
    CHECK(ErrorNumber([&] { narrow = WideToCodePage(c.wide, kNoSuchCodePage); }) == c.number);
    CHECK(c.number != 0 || (wide.empty() && narrow.empty()));
  }
}

void TestShell(host::Shell& shell) {
  const std::string folder = shell.ExecutableFolder();
  CHECK(!folder.empty() && folder.back() != '\\');
  CHECK(GetFileAttributesA((folder + "\\win32_host_test.exe").c_str()) != INVALID_FILE_ATTRIBUTES);

  const std::string dir = TestFolder(), log = dir + "\\log.txt", locked = dir + "\\locked.txt";
  DeleteFileA(log.c_str());
  for (const char* text : {"one\r\n", "two\r\n"}) {
    auto file = shell.OpenTextFile(log, host::FileMode::kAppend);
    file->Write(text);
    file->Close();
  }
  CHECK(ReadFile(log) == "one\r\ntwo\r\n");
  shell.OpenTextFile(log, host::FileMode::kOutput)->Write("new\r\n");  // closed when destroyed
  CHECK(ReadFile(log) == "new\r\n");
  {
    auto file = shell.OpenTextFile(log, host::FileMode::kAppend);
    CHECK(ReadFile(log) == "new\r\n");  // others may read the log while it is open
    // A second copy's handle: each write lands at the end as it is then.
    auto second = shell.OpenTextFile(log, host::FileMode::kAppend);
    file->Write("a\r\n");
    second->Write("b\r\n");
    file->Write("c\r\n");
    CHECK(ReadFile(log) == "new\r\na\r\nb\r\nc\r\n");
    CHECK(!DeleteFileA(log.c_str()) && GetLastError() == ERROR_SHARING_VIOLATION);
  }

  const HANDLE holder = CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  for (const auto& failure :
       {std::pair{dir + "\\no such folder\\log.txt", 76}, {dir, 70}, {locked, 70}}) {
    const int got =
        ErrorNumber([&] { shell.OpenTextFile(failure.first, host::FileMode::kAppend); });
    CHECK(got == failure.second);
    if (got != failure.second)
      std::printf("  %s gave %d\n", failure.first.c_str(), got);
  }
  CloseHandle(holder);

  if (GetUserDefaultLCID() == 0x0409) {
    const host::LocalTime time{2026, 12, 5, 16, 7, 9};
    CHECK(shell.FormatShortDate(time) == "12/5/2026" && shell.FormatLongTime(time) == "4:07:09 PM");
  } else {
    std::printf("skipped: date and time formats need the en-US locale\n");
  }
}

// A colour bitmap to a 1-bpp mask through BitBlt against the background colour, read back
// with GetDIBits, then the clipboard round trip of a global block.
void TestGdiAndClipboard(host::Host& host) {
  host::Gdi& gdi = host.gdi();
  // 3 x 2, 32 bpp, top row first: white red white / black white blue.
  const DWORD pixels[] = {0xFFFFFF, 0xFF0000, 0xFFFFFF, 0x000000, 0xFFFFFF, 0x0000FF};
  const Handle picture = gdi.CreateBitmap(3, 2, 1, 32, pixels);

  const Handle screen = gdi.GetDC(0);
  const Handle palette = gdi.CreateHalftonePalette(screen);
  const Handle source = gdi.CreateCompatibleDC(screen), target = gdi.CreateCompatibleDC(screen);
  const Handle mask = gdi.CreateBitmap(3, 2, 1, 1, nullptr);
  const Handle oldPalette = gdi.SelectPalette(source, palette, true);
  CHECK(gdi.RealizePalette(source) != host::kGdiError);
  const Handle oldSource = gdi.SelectObject(source, picture);
  const Handle oldTarget = gdi.SelectObject(target, mask);
  CHECK(gdi.SetBkColor(source, 0xFFFFFF) != host::kClrInvalid);
  CHECK(gdi.BitBlt(target, 0, 0, 3, 2, source, 0, 0, host::kSrcCopy));
  gdi.SelectObject(target, oldTarget);
  gdi.SelectObject(source, oldSource);
  gdi.SelectPalette(source, oldPalette, true);
  CHECK(gdi.DeleteDC(target) && gdi.DeleteDC(source));

  host::BitmapInfo info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  CHECK(gdi.GetDIBits(screen, mask, 0, 0, nullptr, &info, host::kDibRgbColors) != 0);
  CHECK(info.bmiHeader.biWidth == 3 && info.bmiHeader.biHeight == 2);
  CHECK(info.bmiHeader.biBitCount == 1 && info.bmiHeader.biSizeImage == 8);
  std::uint8_t bits[8] = {};
  CHECK(gdi.GetDIBits(screen, mask, 0, 2, bits, &info, host::kDibRgbColors) == 2);
  CHECK(bits[0] == 0x40 && bits[4] == 0xA0);  // bottom row first; 1 where the pixel is white
  const std::uint32_t blackWhite[] = {0, 0xFFFFFF};
  CHECK(std::memcmp(info.bmiColors, blackWhite, sizeof blackWhite) == 0);
  CHECK(gdi.DeleteObject(mask) && gdi.DeleteObject(picture) && gdi.DeleteObject(palette));
  CHECK(gdi.ReleaseDC(0, screen) == 1);

  host::Clipboard& clipboard = host.clipboard();
  host::GlobalMemory& memory = host.memory();
  const unsigned format = clipboard.RegisterClipboardFormatA("Toolbar Button Face");
  CHECK(format >= 0xC000 && clipboard.RegisterClipboardFormatA("Toolbar Button Face") == format);
  CHECK(clipboard.OpenClipboard(0) && clipboard.EmptyClipboard());
  const Handle block = memory.GlobalAlloc(host::kGmemMoveable | host::kGmemShare, 5);
  std::memcpy(memory.GlobalLock(block), "hello", 5);
  memory.GlobalUnlock(block);
  CHECK(clipboard.SetClipboardData(format, block) == block);
  CHECK(clipboard.CloseClipboard() && clipboard.OpenClipboard(0));
  const Handle stored = clipboard.GetClipboardData(format);
  CHECK(stored != 0 && memory.GlobalSize(stored) >= 5 &&
        std::memcmp(memory.GlobalLock(stored), "hello", 5) == 0);
  memory.GlobalUnlock(stored);
  CHECK(clipboard.GetClipboardData(host::kCfDib) == 0);
  CHECK(clipboard.CloseClipboard());
}

std::string Le(std::uint32_t value, int size = 4) {
  std::string bytes;
  for (int i = 0; i < size; ++i)
    bytes += static_cast<char>(value >> 8 * i);
  return bytes;
}

// A 40-byte BITMAPINFOHEADER.
std::string InfoHeader(int width, int height, int bitsPerPixel, std::uint32_t imageSize) {
  return Le(40) + Le(width) + Le(height) + Le(1, 2) + Le(bitsPerPixel, 2) + Le(0) + Le(imageSize) +
         std::string(16, '\0');
}

void TestPictures(host::Host& host) {
  const std::string dir = TestFolder();
  const auto load = [&](const char* name) {
    return host.ole().LoadPicture(host.kernel().AnsiToWide(dir + name));
  };
  // 2 x 2, 24 bpp: rows of 6 bytes padded to 8.
  std::ofstream(dir + "\\face.bmp", std::ios::binary)
      << "BM" + Le(54 + 16) + Le(0) + Le(54) + InfoHeader(2, 2, 24, 16) + std::string(16, '\x7f');
  // 1 x 1 icon, 32 bpp, with its AND mask.
  const std::string image = InfoHeader(1, 2, 32, 0) + Le(0xFF00FF00) + Le(0);
  std::ofstream(dir + "\\face.ico", std::ios::binary)
      << Le(0, 2) + Le(1, 2) + Le(1, 2) + "\x01\x01" + Le(0, 2) + Le(1, 2) + Le(32, 2) +
             Le(image.size()) + Le(22) + image;
  std::ofstream(dir + "\\text.bmp") << "not a picture at all";

  auto bitmap = load("\\face.bmp");
  CHECK(bitmap->type() == host::kPicTypeBitmap && bitmap->handle() != 0);
  host::Bitmap description{};
  CHECK(host.gdi().GetObjectA(bitmap->handle(), sizeof description, &description) ==
        sizeof description);
  CHECK(description.bmWidth == 2 && description.bmHeight == 2 && description.bmBitsPixel >= 24);
  CHECK(load("\\face.ico")->type() == host::kPicTypeIcon);
  CHECK(ErrorNumber([&] { load("\\missing.bmp"); }) == 53);
  CHECK(ErrorNumber([&] { load("\\text.bmp"); }) == 481);

  host::ColorRef color = 0;
  CHECK(host.ole().OleTranslateColor(0x00FFFFFF, 0, &color) == S_OK && color == 0xFFFFFF);
  CHECK(host.ole().OleTranslateColor(0x80000000 | COLOR_WINDOW, 0, &color) == S_OK &&
        color == GetSysColor(COLOR_WINDOW));
  CHECK(FAILED(host.ole().OleTranslateColor(0x12000000, 0, &color)));
}

// Another program holding the clipboard, with a window of its own (clipboard history reading a
// change), from a thread of the test until Release.
class ClipboardHolder {
 public:
  ClipboardHolder() : held_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    holder_ = std::thread([this] {
      const HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            nullptr, nullptr);
      const bool open = ::OpenClipboard(window);
      ::SetEvent(held_);
      ::WaitForSingleObject(release_, INFINITE);
      if (open)
        ::CloseClipboard();
      ::DestroyWindow(window);
    });
    ::WaitForSingleObject(held_, INFINITE);
  }
  ClipboardHolder(const ClipboardHolder&) = delete;
  ClipboardHolder& operator=(const ClipboardHolder&) = delete;
  ~ClipboardHolder() {
    Release();
    ::CloseHandle(release_);
    ::CloseHandle(held_);
  }
  void Release() {
    if (!holder_.joinable())
      return;
    ::SetEvent(release_);
    holder_.join();
  }

 private:
  HANDLE held_;
  HANDLE release_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder_;
};

// The platform host with the pause between tries counted rather than waited, and the owner of
// the clipboard noted as each format is placed.
class WatchedHost final : public host::Host, host::Kernel, host::Clipboard {
 public:
  explicit WatchedHost(host::Host& platform) : platform_(platform) {}
  std::vector<std::uint32_t> pauses;
  std::function<void()> onPause;
  std::vector<HWND> owners;  // GetClipboardOwner as each format went on
  bool messageOnly = true;   // and whether each was a message-only window then

  host::Registry& registry() override { return platform_.registry(); }
  host::Kernel& kernel() override { return *this; }
  host::GlobalMemory& memory() override { return platform_.memory(); }
  host::Shell& shell() override { return platform_.shell(); }
  host::Clipboard& clipboard() override { return *this; }
  host::MessageWindows& windows() override { return platform_.windows(); }
  host::Gdi& gdi() override { return platform_.gdi(); }
  host::Ole& ole() override { return platform_.ole(); }

 private:
  host::Kernel& real() { return platform_.kernel(); }
  host::Clipboard& realClipboard() { return platform_.clipboard(); }

  Handle CreateMutexA(bool owner, const std::string& name) override {
    return real().CreateMutexA(owner, name);
  }
  std::uint32_t GetLastError() override { return real().GetLastError(); }
  bool CloseHandle(Handle handle) override { return real().CloseHandle(handle); }
  bool DeleteFileA(const std::string& path) override { return real().DeleteFileA(path); }
  std::wstring AnsiToWide(std::string_view ansi) override { return real().AnsiToWide(ansi); }
  std::string WideToAnsi(std::wstring_view wide) override { return real().WideToAnsi(wide); }
  host::LocalTime GetLocalTime() override { return real().GetLocalTime(); }
  void Sleep(std::uint32_t milliseconds) override {
    pauses.push_back(milliseconds);
    if (onPause)
      onPause();
  }

  bool OpenClipboard(Handle owner) override { return realClipboard().OpenClipboard(owner); }
  bool CloseClipboard() override { return realClipboard().CloseClipboard(); }
  bool EmptyClipboard() override { return realClipboard().EmptyClipboard(); }
  unsigned RegisterClipboardFormatA(const std::string& name) override {
    return realClipboard().RegisterClipboardFormatA(name);
  }
  Handle GetClipboardData(unsigned format) override {
    return realClipboard().GetClipboardData(format);
  }
  Handle SetClipboardData(unsigned format, Handle block) override {
    owners.push_back(::GetClipboardOwner());
    messageOnly = messageOnly && ::GetAncestor(owners.back(), GA_PARENT) != ::GetDesktopWindow();
    return realClipboard().SetClipboardData(format, block);
  }

  host::Host& platform_;
};

// Clipboard.SetData on the real clipboard while another program holds it for a while: it tries
// ten times, 100 ms apart, with a message-only window of its own that owns what it places and
// is gone afterwards, and it places beside the picture what keeps it out of clipboard history.
void TestClipboardSetDataWhileHeld(host::Host& platform) {
  const std::string dir = TestFolder();
  std::ofstream(dir + "\\held.bmp", std::ios::binary)
      << "BM" + Le(54 + 4) + Le(0) + Le(54) + InfoHeader(1, 1, 24, 4) + std::string(4, '\x7f');
  const auto picture = platform.ole().LoadPicture(platform.kernel().AnsiToWide(dir + "\\held.bmp"));
  const UINT marks[] = {::RegisterClipboardFormatA("ExcludeClipboardContentFromMonitorProcessing"),
                        ::RegisterClipboardFormatA("CanIncludeInClipboardHistory"),
                        ::RegisterClipboardFormatA("CanUploadToCloudClipboard")};
  const struct {
    std::size_t heldFor;  // the pauses after which the holder lets go; 0: nobody holds it
    int error;
  } cases[] = {{0, 0}, {3, 0}, {9, 0}, {10, 521}};
  for (const auto& c : cases) {
    const auto line = static_cast<int>(&c - cases);
    if (::OpenClipboard(nullptr)) {
      ::EmptyClipboard();
      const HGLOBAL text = ::GlobalAlloc(GMEM_MOVEABLE, 5);
      std::memcpy(::GlobalLock(text), "mine", 5);
      ::GlobalUnlock(text);
      ::SetClipboardData(CF_TEXT, text);
      ::CloseClipboard();
    }
    WatchedHost host(platform);
    std::optional<ClipboardHolder> holder;
    if (c.heldFor > 0)
      holder.emplace();
    host.onPause = [&] {
      if (host.pauses.size() == c.heldFor)
        holder->Release();
    };
    const int error = ErrorNumber([&] { host::ClipboardSetData(host, *picture, host::kCfDib); });
    holder.reset();

    const std::size_t pauses = c.heldFor < 10 ? c.heldFor : 9;
    const bool placed = c.error == 0;
    CHECK(error == c.error && host.pauses == std::vector<std::uint32_t>(pauses, 100));
    if (error != c.error || host.pauses.size() != pauses)
      std::printf("  case %d: error %d after %zu pauses\n", line, error, host.pauses.size());
    // Each format went to a message-only window, destroyed once SetData was done.
    CHECK(host.owners.size() == (placed ? 4u : 0u) && host.messageOnly);
    for (HWND owner : host.owners) {
      CHECK(owner != nullptr && owner == host.owners.front() && !::IsWindow(owner));
    }
    CHECK(::OpenClipboard(nullptr));
    CHECK((::GetClipboardData(host::kCfDib) != nullptr) == placed);
    CHECK((::GetClipboardData(CF_TEXT) != nullptr) == !placed);
    for (const UINT mark : marks) {
      const HGLOBAL data = ::GetClipboardData(mark);
      CHECK((data != nullptr) == placed);
      if (data != nullptr) {
        const DWORD value = *static_cast<const DWORD*>(::GlobalLock(data));
        ::GlobalUnlock(data);
        CHECK(::GlobalSize(data) == sizeof(DWORD) && value == 0);
      }
    }
    ::CloseClipboard();
  }
}

// A message filter of the test's own, counting the references COM takes on it and gives back.
class CountingFilter final : public IMessageFilter {
 public:
  int addRefs = 0;
  int releases = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IMessageFilter ? this : nullptr;
    if (*out == nullptr)
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1 + ++addRefs - releases; }
  ULONG STDMETHODCALLTYPE Release() override { return 1 + addRefs - ++releases; }
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
    return static_cast<DWORD>(-1);
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }
};

// The program's message filter, on the apartment the platform host started on this thread: it
// answers COM as the busy-server policy says (a pause before retrying a refused call; -1, which
// cancels the call, once the policy gives up), and when it goes the filter registered before it
// is registered again, with every reference COM took on that filter given back.
void TestMessageFilter() {
  CountingFilter before;
  IMessageFilter* hostFilter = nullptr;
  CHECK(CoRegisterMessageFilter(&before, &hostFilter) == S_OK && hostFilter != nullptr);
  {
    host::BusyServerPolicy policy;
    tkw::win32::ScopedMessageFilter filter(policy);
    IMessageFilter* registered = nullptr;
    CoRegisterMessageFilter(&filter, &registered);  // which is registered; it stays so
    CHECK(registered == &filter);

    const DWORD kCancel = static_cast<DWORD>(-1);
    const struct {
      DWORD tickCount;  // since the first refusal
      DWORD answer;
    } retries[] = {{0, 250}, {30'000, kCancel}, {0, kCancel}};  // the last after the give-up
    for (const auto& retry : retries) {
      const DWORD answer = filter.RetryRejectedCall(nullptr, retry.tickCount, SERVERCALL_REJECTED);
      CHECK(answer == retry.answer);
      if (answer != retry.answer)
        std::printf("  after %lu ms: %lu\n", static_cast<unsigned long>(retry.tickCount),
                    static_cast<unsigned long>(answer));
    }
    CHECK(filter.HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr) ==
          SERVERCALL_ISHANDLED);
    CHECK(filter.MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL) == PENDINGMSG_WAITDEFPROCESS);
  }
  IMessageFilter* restored = nullptr;
  CHECK(CoRegisterMessageFilter(hostFilter, &restored) == S_OK && restored == &before);
  if (restored == &before)  // not a filter already gone
    restored->Release();
  CHECK(before.addRefs == before.releases);
  if (before.addRefs != before.releases)
    std::printf("  %d AddRef, %d Release\n", before.addRefs, before.releases);
}

// Late binding against a component every Windows (and Wine) has: each kind of Variant goes in
// and comes back out.
void TestAutomation(host::Ole& ole) {
  using host::DispatchPtr;
  using host::InvokeKind;
  using host::Variant;
  CHECK(ErrorNumber([&] { ole.CreateObject(L"Tkw.NoSuchComponent"); }) == 429);
  // A class that is registered but not running, and one that is not registered: nothing starts.
  DispatchPtr active;
  CHECK(ole.GetActiveObject(L"Scripting.Dictionary", &active) == host::kMkEUnavailable && !active);
  CHECK(ole.GetActiveObject(L"Tkw.NoSuchComponent", &active) == host::kCoEClassString && !active);
  const DispatchPtr dictionary = ole.CreateObject(L"Scripting.Dictionary");
  const DispatchPtr inner = ole.CreateObject(L"Scripting.Dictionary");
  CHECK(dictionary->Supports({0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}));  // IDispatch
  CHECK(!dictionary->Supports(host::office::kIidCommandBars));

  const std::pair<std::wstring, Variant> kItems[] = {
      {L"short", std::int16_t{-2}},
      {L"long", std::int32_t{70000}},
      {L"true", true},
      {L"false", false},
      {L"text", std::wstring(L"caf\u00e9")},
      {L"nothing", DispatchPtr{}},
      {L"object", inner},
  };
  for (const auto& [key, value] : kItems) {
    const Variant args[] = {key, value};
    dictionary->Invoke(L"Add", InvokeKind::kMethod, args);
  }
  CHECK(dictionary->Invoke(L"Count", InvokeKind::kGet, {}) == Variant(std::int32_t{7}));
  for (const auto& [key, value] : kItems) {
    const Variant args[] = {key};
    const Variant got = dictionary->Invoke(L"Item", InvokeKind::kGet, args);
    const auto* object = std::get_if<DispatchPtr>(&got);
    CHECK(key != L"object"
              ? got == value
              : object && *object &&
                    (*object)->Invoke(L"Count", InvokeKind::kGet, {}) == Variant(std::int32_t{0}));
  }
  const Variant put[] = {std::wstring(L"short"), std::wstring(L"changed")};
  dictionary->Invoke(L"Item", InvokeKind::kPut, put);
  CHECK(dictionary->Invoke(L"Item", InvokeKind::kGet, {put, 1}) == put[1]);
  const Variant duplicate[] = {std::wstring(L"long"), std::int32_t{1}};
  CHECK(ErrorNumber([&] { dictionary->Invoke(L"Add", InvokeKind::kMethod, duplicate); }) != 0);
  CHECK(ErrorNumber([&] { dictionary->Invoke(L"NoSuchMember", InvokeKind::kGet, {}); }) == 440);
}

// An automation object whose interfaces beyond IDispatch are not registered for this
// architecture: QueryInterface for any of them fails unless `registered` names it. It counts
// those questions. Its type information, when it has one, is `type`.
class UnregisteredObject final : public IDispatch {
 public:
  UnregisteredObject(ITypeInfo* type, std::vector<GUID> registered)
      : type_(type), registered_(std::move(registered)) {}
  int queried = 0;
  ULONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch) {
      ++queried;
      if (std::find(registered_.begin(), registered_.end(), iid) == registered_.end())
        return REGDB_E_IIDNOTREG;
    }
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = type_ != nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    if (type_ != nullptr)
      type_->AddRef();
    *out = type_;
    return type_ != nullptr ? S_OK : E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

 private:
  ITypeInfo* type_;
  std::vector<GUID> registered_;
};

GUID ToGuid(const host::InterfaceId& id) {
  GUID guid{id.data1, id.data2, id.data3, {}};
  std::copy(id.data4.begin(), id.data4.end(), guid.Data4);
  return guid;
}

// Office's command-bar controls as its type library has them: dual CommandBarButton and
// CommandBarPopup derived from the dual CommandBarControl. Gives the dispatch side of each, as
// ITypeLib gives a dual interface, the caller owning a reference.
struct ControlTypes {
  ITypeInfo* control = nullptr;
  ITypeInfo* button = nullptr;
  ITypeInfo* popup = nullptr;
};

ControlTypes BuildControlTypes(const std::wstring& path) {
  ITypeLib* stdole = nullptr;
  ITypeInfo* dispatch = nullptr;
  ICreateTypeLib2* library = nullptr;
  LoadTypeLib(L"stdole2.tlb", &stdole);
  stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch);
  CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, path.c_str(), &library);
  library->SetGuid({0x4B2A1C0D, 0x3E5F, 0x4D7A, {0x9B, 0x8C, 0x7D, 0x6E, 0x5F, 0x4A, 0x3B, 0x2C}});
  const auto add = [&](const wchar_t* name, const GUID& guid, ITypeInfo* base) {
    ICreateTypeInfo* info = nullptr;
    library->CreateTypeInfo(const_cast<LPOLESTR>(name), TKIND_INTERFACE, &info);
    info->SetGuid(guid);
    HREFTYPE reference = 0;
    info->AddRefTypeInfo(base, &reference);
    info->AddImplType(0, reference);
    info->SetTypeFlags(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
    info->LayOut();
    ITypeInfo* added = nullptr;
    info->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&added));
    info->Release();
    return added;
  };
  ITypeInfo* control =
      add(L"CommandBarControl", ToGuid(host::office::kIidCommandBarControl), dispatch);
  add(L"CommandBarButton", ToGuid(host::office::kIidCommandBarButton), control)->Release();
  add(L"CommandBarPopup", ToGuid(host::office::kIidCommandBarPopup), control)->Release();
  control->Release();
  library->SaveAllChanges();
  library->Release();
  dispatch->Release();
  stdole->Release();

  ITypeLib* saved = nullptr;
  ControlTypes types;
  LoadTypeLibEx(path.c_str(), REGKIND_NONE, &saved);
  saved->GetTypeInfoOfGuid(ToGuid(host::office::kIidCommandBarControl), &types.control);
  saved->GetTypeInfoOfGuid(ToGuid(host::office::kIidCommandBarButton), &types.button);
  saved->GetTypeInfoOfGuid(ToGuid(host::office::kIidCommandBarPopup), &types.popup);
  saved->Release();
  return types;
}

// Whether an object has an interface, for objects of the kinds PowerPoint hands out where the
// program's architecture has none of Office's interfaces registered: their type information
// answers, derived interfaces included, without a QueryInterface; an object without any is
// asked by QueryInterface. Every reference taken is given back.
void TestInterfaceChecks() {
  const std::string folder = TestFolder();
  const ControlTypes types =
      BuildControlTypes(std::wstring(folder.begin(), folder.end()) + L"\\controls.tlb");
  CHECK(types.button && types.popup);
  if (!types.button || !types.popup)
    return;
  // The interface side of CommandBarButton, which some servers describe themselves by.
  HREFTYPE reference = 0;
  ITypeInfo* buttonInterface = nullptr;
  types.button->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference);
  types.button->GetRefTypeInfo(reference, &buttonInterface);

  using namespace host::office;
  const struct {
    ITypeInfo* type;  // nullptr: GetTypeInfo fails
    std::vector<GUID> registered;
    host::InterfaceId asked;
    bool has;
    int queried;
  } kCases[] = {
      {types.button, {}, kIidCommandBarButton, true, 0},
      {types.button, {}, kIidCommandBarControl, true, 0},
      {types.button, {}, kIidCommandBarPopup, false, 0},
      {types.button, {}, host::kIidDispatch, true, 0},
      {types.popup, {}, kIidCommandBarButton, false, 0},
      {types.control, {}, kIidCommandBarButton, false, 0},
      {buttonInterface, {}, kIidCommandBarButton, true, 0},
      {buttonInterface, {}, kIidCommandBarControl, true, 0},
      {nullptr, {ToGuid(kIidCommandBarButton)}, kIidCommandBarButton, true, 1},
      {nullptr, {ToGuid(kIidCommandBarButton)}, kIidCommandBarPopup, false, 1},
  };
  host::BusyServerPolicy policy;
  for (const auto& check : kCases) {
    UnregisteredObject object(check.type, check.registered);
    const ULONG typeReferences = check.type ? (check.type->AddRef(), check.type->Release()) : 0;
    {
      tkw::win32::Dispatch dispatch(tkw::win32::ComPtr<IDispatch>::Share(&object), policy);
      const bool has = dispatch.Supports(check.asked);
      CHECK(has == check.has && object.queried == check.queried);
      if (has != check.has || object.queried != check.queried)
        std::printf("  {%08lX}: %d, %d QueryInterface\n",
                    static_cast<unsigned long>(check.asked.data1), has, object.queried);
    }
    CHECK(object.refs == 1 &&
          (check.type ? (check.type->AddRef(), check.type->Release()) : 0) == typeReferences);
  }
  // One object asked again and again: each answer is the one for the interface asked, whatever
  // was asked of the same type information before.
  {
    UnregisteredObject object(types.button, {});
    tkw::win32::Dispatch dispatch(tkw::win32::ComPtr<IDispatch>::Share(&object), policy);
    const std::pair<host::InterfaceId, bool> kAsked[] = {
        {kIidCommandBarPopup, false}, {kIidCommandBarButton, true}, {kIidCommandBarControl, true},
        {kIidCommandBarPopup, false}, {kIidCommandBarButton, true}, {kIidCommandBars, false},
    };
    for (const auto& [asked, has] : kAsked)
      CHECK(dispatch.Supports(asked) == has && object.queried == 0);
  }
  buttonInterface->Release();
  for (ITypeInfo* type : {types.control, types.button, types.popup})
    type->Release();
}

// What a server of Office's interfaces was asked through one or more connections to it.
struct Served {
  int lookups = 0;                   // GetIDsOfNames
  std::vector<std::wstring> called;  // "Interface.Member" of every Invoke that found its member
  int alive = 0;                     // objects not yet released
};

// An object of one of Office's command-bar interfaces as a server numbers them: every interface
// has dispatch identifiers of its own (CommandBars.Item is not CommandBarControls.Item), and a
// derived interface has its base's too (a button and a pop-up have CommandBarControl's). An
// identifier of another interface is no member of the object. It has no type information, so
// that its interfaces are asked by QueryInterface.
class OfficeObject final : public IDispatch {
 public:
  enum Kind { kApplication, kBars, kBar, kControls, kControl, kButton, kPopup };

  static IDispatch* Make(Kind kind, Served& served) { return new OfficeObject(kind, served); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    const Interface& own = kInterfaces[kind_];
    const bool has = iid == IID_IUnknown || iid == IID_IDispatch || iid == ToGuid(*own.iid) ||
                     (own.base >= 0 && iid == ToGuid(*kInterfaces[own.base].iid));
    *out = has ? this : nullptr;
    if (has)
      AddRef();
    return has ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0)
      delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    ++served_.lookups;
    for (int kind = kind_; kind >= 0; kind = kInterfaces[kind].base) {
      for (int i = 0; i < static_cast<int>(kInterfaces[kind].members.size()); ++i) {
        if (host::SameMemberName(kInterfaces[kind].members[i].name, names[0])) {
          ids[0] = (kind + 1) * 0x100 + i;
          return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    for (int kind = kind_; kind >= 0; kind = kInterfaces[kind].base) {
      const auto& members = kInterfaces[kind].members;
      const int i = id - (kind + 1) * 0x100;
      if (i < 0 || i >= static_cast<int>(members.size()))
        continue;
      served_.called.push_back(std::wstring(kInterfaces[kind].name) + L"." + members[i].name);
      int returns = members[i].returns;
      // An item whose index names a pop-up is one.
      if (returns == kButton && params->cArgs > 0 && V_VT(&params->rgvarg[0]) == VT_BSTR &&
          std::wstring_view(V_BSTR(&params->rgvarg[0])) == L"popup")
        returns = kPopup;
      if (result != nullptr && returns >= 0) {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = Make(static_cast<Kind>(returns), served_);
      }
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  struct Member {
    const wchar_t* name;
    int returns;  // the kind of object the member returns; -1: none
  };
  struct Interface {
    const wchar_t* name;
    const host::InterfaceId* iid;
    int base;  // -1: IDispatch
    std::vector<Member> members;
  };
  static inline const Interface kInterfaces[] = {
      {L"Application", &host::office::kIidApplication, -1, {{L"CommandBars", kBars}}},
      {L"CommandBars",
       &host::office::kIidCommandBars,
       -1,
       {{L"Count", -1}, {L"Item", kBar}, {L"Add", kBar}}},
      {L"CommandBar",
       &host::office::kIidCommandBar,
       -1,
       {{L"Visible", -1}, {L"Controls", kControls}, {L"FindControl", kButton}}},
      {L"CommandBarControls",
       &host::office::kIidCommandBarControls,
       -1,
       {{L"Item", kButton}, {L"Add", kButton}}},
      {L"CommandBarControl",
       &host::office::kIidCommandBarControl,
       -1,
       {{L"Caption", -1}, {L"Index", -1}, {L"Delete", -1}}},
      {L"CommandBarButton",
       &host::office::kIidCommandBarButton,
       kControl,
       {{L"Style", -1}, {L"PasteFace", -1}}},
      {L"CommandBarPopup",
       &host::office::kIidCommandBarPopup,
       kControl,
       {{L"Controls", kControls}}},
  };

  OfficeObject(Kind kind, Served& served) : kind_(kind), served_(served) { ++served_.alive; }
  ~OfficeObject() { --served_.alive; }

  Kind kind_;
  Served& served_;
  ULONG refs_ = 1;
};

// Each member call is one Invoke that reaches the member the program names, whichever object of
// its interface it is made on: a member's identifier is looked up once per interface on one
// connection, and never stands for a member of the same name of another interface. A second
// connection looks its names up anew: a server started afresh may number them otherwise.
void TestMemberIdentifiers() {
  using host::Application;
  using host::CommandBarButton;
  using host::CommandBarPopup;
  const auto button = [](const Application& app) {
    return host::QueryInterface<CommandBarButton>(
        app.CommandBars().Item(L"Bar").Controls().Item(L"button"));
  };
  const auto popup = [](const Application& app) {
    return host::QueryInterface<CommandBarPopup>(
        app.CommandBars().Item(L"Bar").Controls().Item(L"popup"));
  };
  const std::wstring kBars = L"Application.CommandBars", kBarsItem = L"CommandBars.Item",
                     kControls = L"CommandBar.Controls", kItem = L"CommandBarControls.Item";
  const struct {
    const char* what;
    std::function<void(const Application& app, const Application& other)> calls;
    std::vector<std::wstring> called;
    int lookups;
  } kCases[] = {
      {"a member of one interface, on two of its objects",
       [](const Application& app, const Application&) {
         app.CommandBars().Item(L"One");
         app.CommandBars().Count();
         app.CommandBars().Item(L"Two");
       },
       {kBars, kBarsItem, kBars, L"CommandBars.Count", kBars, kBarsItem},
       3},
      {"Item of the bars and of a bar's controls",
       [&](const Application& app, const Application&) { button(app).SetCaption(L"c"); },
       {kBars, kBarsItem, kControls, kItem, L"CommandBarControl.Caption"},
       5},
      {"Controls of a bar and of a pop-up",
       [&](const Application& app, const Application&) {
         popup(app).Controls().Item(L"button").SetCaption(L"c");
       },
       {kBars, kBarsItem, kControls, kItem, L"CommandBarPopup.Controls", kItem,
        L"CommandBarControl.Caption"},
       6},
      {"a button's and a pop-up's CommandBarControl members, and a button's own",
       [&](const Application& app, const Application&) {
         const CommandBarButton found = button(app);
         found.SetCaption(L"c");
         popup(app).SetCaption(L"c");
         found.SetStyle(3);
         popup(app).Index();
         found.Index();
       },
       {kBars, kBarsItem, kControls, kItem, L"CommandBarControl.Caption", kBars, kBarsItem,
        kControls, kItem, L"CommandBarControl.Caption", L"CommandBarButton.Style", kBars, kBarsItem,
        kControls, kItem, L"CommandBarControl.Index", L"CommandBarControl.Index"},
       7},
      {"a bar's members, and a new control's",
       [](const Application& app, const Application&) {
         const host::CommandBar bar = app.CommandBars().Add(L"Bar", 1, false, true);
         bar.FindControl(1, L"tag", true);
         const auto added = host::QueryInterface<CommandBarButton>(
             bar.Controls().Add(std::int16_t{1}, host::MissingArgument{}, host::MissingArgument{},
                                host::MissingArgument{}, host::MissingArgument{}));
         added.PasteFace();
         added.Delete();
         bar.SetVisible(true);
       },
       {kBars, L"CommandBars.Add", L"CommandBar.FindControl", kControls, L"CommandBarControls.Add",
        L"CommandBarButton.PasteFace", L"CommandBarControl.Delete", L"CommandBar.Visible"},
       8},
      {"two connections",
       [](const Application& app, const Application& other) {
         app.CommandBars().Item(L"One");
         other.CommandBars().Item(L"One");
         app.CommandBars().Item(L"Two");
       },
       {kBars, kBarsItem, kBars, kBarsItem, kBars, kBarsItem},
       4},
  };
  host::BusyServerPolicy policy;
  for (const auto& check : kCases) {
    Served served;
    {
      const auto connect = [&] {
        IDispatch* application = OfficeObject::Make(OfficeObject::kApplication, served);
        auto dispatch = std::make_shared<tkw::win32::Dispatch>(
            tkw::win32::ComPtr<IDispatch>::Share(application), policy);
        application->Release();
        return Application(dispatch);
      };
      check.calls(connect(), connect());
    }
    const bool ok = served.called == check.called && served.lookups == check.lookups;
    CHECK(ok && served.alive == 0);
    if (!ok) {
      std::printf("  %s: %d look-ups, called", check.what, served.lookups);
      for (const std::wstring& call : served.called)
        std::printf(" %ls", call.c_str());
      std::printf("\n");
    }
  }
}

// Sets the default value (or `name`) of HKEY_CLASSES_ROOT\<key> in this program's own view.
void SetClassesValue(const std::wstring& key, const std::wstring& value,
                     const wchar_t* name = nullptr) {
  HKEY opened = nullptr;
  RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                  nullptr);
  RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(opened);
}

void DeleteClassesKeys(const std::vector<std::wstring>& keys) {
  for (auto key = keys.rbegin(); key != keys.rend(); ++key)
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key->c_str());
}

// A class, an interface and its type library registered here in this program's view, as an
// installer of its architecture registers them, then read back as tkwcheck --machine reads them.
void TestMachineFacts() {
  using host::ImageFile;
  using host::RegistryView;
  tkw::win32::MachineFacts facts;
  wchar_t module[MAX_PATH];
  const std::wstring self(module, GetModuleFileNameW(nullptr, module, MAX_PATH));
  const host::Architecture architecture =
      sizeof(void*) == 8 ? host::Architecture::kX64 : host::Architecture::kX86;
  CHECK(facts.ProgramArchitecture() == architecture);
  const ImageFile image = facts.Inspect(self);
  CHECK(image.state == ImageFile::State::kImage && image.architecture == architecture &&
        !image.declaresExecutionLevel);
  CHECK(facts.Inspect(self + L".missing").state == ImageFile::State::kMissing);

  const std::wstring clsid = L"{0F3A1C55-7E2B-4B8E-9D61-2A6C5E0B7D19}";
  const std::wstring iid = L"{0F3A1C56-7E2B-4B8E-9D61-2A6C5E0B7D19}";
  const std::wstring libid = L"{0F3A1C57-7E2B-4B8E-9D61-2A6C5E0B7D19}";
  const std::wstring platform = architecture == host::Architecture::kX64 ? L"win64" : L"win32";
  const std::vector<std::wstring> keys = {L"CLSID\\" + clsid,
                                          L"CLSID\\" + clsid + L"\\InprocServer32",
                                          L"CLSID\\" + clsid + L"\\LocalServer32",
                                          L"Interface\\" + iid,
                                          L"Interface\\" + iid + L"\\ProxyStubClsid32",
                                          L"Interface\\" + iid + L"\\TypeLib",
                                          L"TypeLib\\" + libid,
                                          L"TypeLib\\" + libid + L"\\1.0",
                                          L"TypeLib\\" + libid + L"\\1.0\\0",
                                          L"TypeLib\\" + libid + L"\\1.0\\0\\" + platform};
  SetClassesValue(keys[1], L"\"" + self + L"\"");
  SetClassesValue(keys[2], self + L" -Embedding");
  SetClassesValue(keys[4], L"{00020424-0000-0000-C000-000000000046}");
  SetClassesValue(keys[5], libid);
  SetClassesValue(keys[5], L"1.0", L"Version");
  SetClassesValue(keys[9], self + L"\\1");  // a library kept as the DLL's resource 1

  const auto dll = facts.Server(RegistryView::kProgram, clsid, true);
  CHECK(dll && dll->path == self && dll->image.architecture == architecture);
  const auto server = facts.Server(RegistryView::kProgram, clsid, false);
  CHECK(server && server->path == self);
  // 64-bit Windows keeps the other architecture's classes apart; 32-bit Windows has none.
  CHECK(!facts.Server(RegistryView::kOther, clsid, true));
  CHECK(!facts.Interface(RegistryView::kOther, iid));
  const auto registration = facts.Interface(RegistryView::kProgram, iid);
  CHECK(registration && registration->proxyStub && registration->typeLibrary &&
        registration->typeLibrary->image.state == ImageFile::State::kImage);
  DeleteClassesKeys(keys);
  CHECK(!facts.Server(RegistryView::kProgram, clsid, true));

  CHECK(tkw::win32::MachineFacts::CommandLineFile(L"\"" + self + L"\" /automation") == self);
  CHECK(
      tkw::win32::MachineFacts::CommandLineFile(L"C:\\No Such Office\\POWERPNT.EXE /automation") ==
      L"C:\\No Such Office\\POWERPNT.EXE");

  const host::RunningProcess me = facts.Self();
  DWORD session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
  CHECK(me.id == GetCurrentProcessId() && me.session == session && me.identity &&
        me.identity->user.find(L'\\') != std::wstring::npos);
  CHECK(facts.AnsiCodePage() == GetACP());
  CHECK(facts.ExecutableFolder() + L"\\" + self.substr(self.find_last_of(L'\\') + 1) == self);

  // A read-only file is refused whatever the folder's security says.
  const std::string folder = TestFolder();
  const std::wstring wideFolder(folder.begin(), folder.end());
  const std::wstring locked = wideFolder + L"\\locked.txt";
  CloseHandle(CreateFileW(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
  CHECK(facts.Access(wideFolder) == host::WriteAccess::kWritable);
  CHECK(facts.Access(locked) == host::WriteAccess::kRefused);
  CHECK(facts.Access(wideFolder + L"\\missing.txt") == host::WriteAccess::kMissing);
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(locked.c_str());
}

}  // namespace

int main() {
  {
    const std::unique_ptr<host::Host> platform = host::MakePlatformHost();
    TestRegistry(platform->registry());
    TestKernel(platform->kernel());
    TestNarrowingRules();
    TestRefusedConversions();
    TestShell(platform->shell());
    TestGdiAndClipboard(*platform);
    TestPictures(*platform);
    TestClipboardSetDataWhileHeld(*platform);
    TestMessageFilter();
    TestAutomation(platform->ole());
    TestInterfaceChecks();
    TestMemberIdentifiers();
  }
  TestMachineFacts();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
