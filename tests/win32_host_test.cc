// The Win32 host against the real platform (under Wine in CI). No GoogleTest exists for the
// cross compilers, so this is a plain program that counts its checks.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "host/automation.h"
#include "host/office_interfaces.h"
#include "host/platform_host.h"
#include "host/runtime_error.h"

namespace {

using tkw::host::Handle;

int passed = 0;
int failed = 0;

void Check(bool ok, const char* what, int line) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAILED line %d: %s\n", line, what);
  }
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

// The number of the RuntimeError that `action` throws, or 0 when it throws none.
int ErrorNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const tkw::host::RuntimeError& error) {
    return error.number();
  }
  return 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string TestFolder() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "tkw_win32_host_test";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void TestRegistry(tkw::host::Registry& registry) {
  const char* kTestKey = "Software\\TkwWin32HostTest";
  HKEY setup;
  RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_WRITE, nullptr, &setup, nullptr);
  const DWORD one = 1;
  RegSetValueExA(setup, "Logging", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
  RegSetValueExA(setup, "Product", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4);
  RegCloseKey(setup);

  // The predefined roots open as Win32's own constants do.
  for (Handle root :
       {tkw::host::kHkeyClassesRoot, tkw::host::kHkeyCurrentUser, tkw::host::kHkeyLocalMachine}) {
    tkw::host::RegistryKey key = 0;
    CHECK(registry.RegOpenKeyExA(root, "Software", 0, tkw::host::kKeyRead, &key) == 0 ||
          root == tkw::host::kHkeyClassesRoot);
    if (key != 0)
      registry.RegCloseKey(key);
  }

  tkw::host::RegistryKey key = 0;
  CHECK(registry.RegOpenKeyExA(tkw::host::kHkeyCurrentUser, "Software\\NoSuchTkwKey", 0,
                               tkw::host::kKeyRead, &key) == 2);
  CHECK(registry.RegOpenKeyExA(tkw::host::kHkeyCurrentUser, kTestKey, 0, tkw::host::kKeyRead,
                               &key) == 0);

  std::uint32_t type = 0;
  std::uint8_t data[1024];
  std::uint32_t size = sizeof data;
  CHECK(registry.RegQueryValueExA(key, "Logging", &type, data, &size) == 0);
  CHECK(type == REG_DWORD && size == 4 && data[0] == 1);
  size = sizeof data;
  CHECK(registry.RegQueryValueExA(key, "Product", &type, data, &size) == 0);
  CHECK(type == REG_SZ && size == 4 && std::string(reinterpret_cast<char*>(data)) == "abc");
  size = 2;
  CHECK(registry.RegQueryValueExA(key, "Product", &type, data, &size) == ERROR_MORE_DATA);
  size = sizeof data;
  CHECK(registry.RegQueryValueExA(key, "Missing", &type, data, &size) == 2);

  char name[16];
  std::uint32_t length = sizeof name;
  CHECK(registry.RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr) == 0);
  CHECK(length == 7);  // both names are 7 characters long
  length = 3;
  CHECK(registry.RegEnumValueA(key, 1, name, &length, nullptr, nullptr, nullptr) ==
        ERROR_MORE_DATA);
  length = sizeof name;
  CHECK(registry.RegEnumValueA(key, 2, name, &length, nullptr, nullptr, nullptr) ==
        ERROR_NO_MORE_ITEMS);
  CHECK(registry.RegCloseKey(key) == 0);
  RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
}

void TestKernel(tkw::host::Kernel& kernel, tkw::host::GlobalMemory& memory) {
  const Handle first = kernel.CreateMutexA(true, "tkwWin32HostTestMutex");
  CHECK(first != 0 && kernel.GetLastError() != 183);
  const Handle second = kernel.CreateMutexA(true, "tkwWin32HostTestMutex");
  CHECK(second != 0 && kernel.GetLastError() == 183);
  CHECK(kernel.CloseHandle(second) && kernel.CloseHandle(first));
  const Handle third = kernel.CreateMutexA(true, "tkwWin32HostTestMutex");
  CHECK(kernel.GetLastError() != 183);
  kernel.CloseHandle(third);

  if (GetACP() == 1252) {
    CHECK(kernel.AnsiToWide("caf\xe9") == L"caf\u00e9");
    CHECK(kernel.WideToAnsi(L"caf\u00e9") == "caf\xe9");
    // No best fit: a letter outside the code page is '?', not its look-alike 'A'.
    CHECK(kernel.WideToAnsi(L"\u0100\u4e2d") == "??");
  } else {
    std::printf("skipped: code page conversions need code page 1252, not %u\n", GetACP());
  }
  const tkw::host::LocalTime now = kernel.GetLocalTime();
  CHECK(now.year >= 2024 && now.month >= 1 && now.month <= 12 && now.day >= 1);

  const Handle block = memory.GlobalAlloc(tkw::host::kGmemMoveable | tkw::host::kGmemShare, 10);
  CHECK(block != 0 && memory.GlobalSize(block) >= 10);
  auto* bytes = static_cast<char*>(memory.GlobalLock(block));
  CHECK(bytes != nullptr);
  memory.GlobalUnlock(block);
  CHECK(memory.GlobalFree(block) == 0);
}

void TestShell(tkw::host::Shell& shell) {
  const std::string folder = shell.ExecutableFolder();
  CHECK(!folder.empty() && folder.back() != '\\');
  CHECK(GetFileAttributesA((folder + "\\win32_host_test.exe").c_str()) != INVALID_FILE_ATTRIBUTES);

  const std::string dir = TestFolder();
  const std::string log = dir + "\\log.txt";
  DeleteFileA(log.c_str());
  for (auto [mode, text] : {std::pair{tkw::host::FileMode::kAppend, "one\r\n"},
                            std::pair{tkw::host::FileMode::kAppend, "two\r\n"}}) {
    auto file = shell.OpenTextFile(log, mode);
    file->Write(text);
    file->Close();
  }
  CHECK(ReadFile(log) == "one\r\ntwo\r\n");
  {
    auto file = shell.OpenTextFile(log, tkw::host::FileMode::kOutput);
    file->Write("new\r\n");
  }  // closed by the destructor
  CHECK(ReadFile(log) == "new\r\n");
  // The log stays readable and writable by others while it is open.
  {
    auto file = shell.OpenTextFile(log, tkw::host::FileMode::kAppend);
    CHECK(ReadFile(log) == "new\r\n");
  }

  const std::string locked = dir + "\\locked.txt";
  const HANDLE holder = CreateFileA(locked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  const struct {
    std::string path;
    int number;
  } kOpenFailures[] = {
      {dir + "\\no such folder\\log.txt", 76},
      {dir, 70},  // a folder
      {locked, 70},
  };
  for (const auto& failure : kOpenFailures) {
    const int number =
        ErrorNumber([&] { shell.OpenTextFile(failure.path, tkw::host::FileMode::kAppend); });
    CHECK(number == failure.number);
    if (number != failure.number)
      std::printf("  %s gave %d\n", failure.path.c_str(), number);
  }
  CloseHandle(holder);

  if (GetUserDefaultLCID() == 0x0409) {
    const tkw::host::LocalTime time{2026, 12, 5, 16, 7, 9};
    CHECK(shell.FormatShortDate(time) == "12/5/2026");
    CHECK(shell.FormatLongTime(time) == "4:07:09 PM");
  } else {
    std::printf("skipped: date and time formats need the en-US locale\n");
  }
}

// A colour bitmap to a 1-bpp mask through BitBlt against the background colour, read back
// with GetDIBits, then the clipboard round trip of a global block.
void TestGdiAndClipboard(tkw::host::Host& host) {
  tkw::host::Gdi& gdi = host.gdi();
  // 3 x 2, 32 bpp, top row first: white red white / black white blue.
  const DWORD pixels[] = {0xFFFFFF, 0xFF0000, 0xFFFFFF, 0x000000, 0xFFFFFF, 0x0000FF};
  const Handle picture = gdi.CreateBitmap(3, 2, 1, 32, pixels);
  tkw::host::Bitmap bitmap{};
  CHECK(gdi.GetObjectA(picture, sizeof bitmap, &bitmap) == sizeof bitmap);
  CHECK(bitmap.bmWidth == 3 && bitmap.bmHeight == 2 && bitmap.bmBitsPixel == 32);

  const Handle screen = gdi.GetDC(0);
  const Handle palette = gdi.CreateHalftonePalette(screen);
  const Handle source = gdi.CreateCompatibleDC(screen);
  const Handle oldPalette = gdi.SelectPalette(source, palette, true);
  CHECK(gdi.RealizePalette(source) != tkw::host::kGdiError);
  const Handle oldSource = gdi.SelectObject(source, picture);
  const Handle mask = gdi.CreateBitmap(3, 2, 1, 1, nullptr);
  const Handle target = gdi.CreateCompatibleDC(screen);
  const Handle oldTarget = gdi.SelectObject(target, mask);
  CHECK(gdi.SetBkColor(source, 0xFFFFFF) != tkw::host::kClrInvalid);
  CHECK(gdi.BitBlt(target, 0, 0, 3, 2, source, 0, 0, tkw::host::kSrcCopy));
  gdi.SelectObject(target, oldTarget);
  CHECK(gdi.DeleteDC(target));
  gdi.SelectObject(source, oldSource);
  gdi.SelectPalette(source, oldPalette, true);
  CHECK(gdi.DeleteDC(source));

  tkw::host::BitmapInfo info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  CHECK(gdi.GetDIBits(screen, mask, 0, 0, nullptr, &info, tkw::host::kDibRgbColors) != 0);
  CHECK(info.bmiHeader.biWidth == 3 && info.bmiHeader.biHeight == 2);
  CHECK(info.bmiHeader.biBitCount == 1 && info.bmiHeader.biSizeImage == 8);
  std::uint8_t bits[8] = {};
  CHECK(gdi.GetDIBits(screen, mask, 0, 2, bits, &info, tkw::host::kDibRgbColors) == 2);
  CHECK(bits[0] == 0x40 && bits[4] == 0xA0);  // bottom row first; 1 where the pixel is white
  const tkw::host::RgbQuad& black = info.bmiColors[0];
  const tkw::host::RgbQuad& white = info.bmiColors[1];
  CHECK(black.rgbRed == 0 && black.rgbGreen == 0 && black.rgbBlue == 0);
  CHECK(white.rgbRed == 255 && white.rgbGreen == 255 && white.rgbBlue == 255);
  CHECK(gdi.DeleteObject(mask) && gdi.DeleteObject(picture) && gdi.DeleteObject(palette));
  CHECK(gdi.ReleaseDC(0, screen) == 1);

  tkw::host::Clipboard& clipboard = host.clipboard();
  tkw::host::GlobalMemory& memory = host.memory();
  const unsigned format = clipboard.RegisterClipboardFormatA("Toolbar Button Face");
  CHECK(format >= 0xC000 && clipboard.RegisterClipboardFormatA("Toolbar Button Face") == format);
  CHECK(clipboard.OpenClipboard(0));
  CHECK(clipboard.EmptyClipboard());
  const Handle block = memory.GlobalAlloc(tkw::host::kGmemMoveable | tkw::host::kGmemShare, 5);
  std::memcpy(memory.GlobalLock(block), "hello", 5);
  memory.GlobalUnlock(block);
  CHECK(clipboard.SetClipboardData(format, block) == block);
  CHECK(clipboard.CloseClipboard());

  CHECK(clipboard.OpenClipboard(0));
  const Handle stored = clipboard.GetClipboardData(format);
  CHECK(stored != 0 && memory.GlobalSize(stored) >= 5);
  if (stored != 0) {
    CHECK(std::memcmp(memory.GlobalLock(stored), "hello", 5) == 0);
    memory.GlobalUnlock(stored);
  }
  CHECK(clipboard.GetClipboardData(tkw::host::kCfDib) == 0);
  CHECK(clipboard.CloseClipboard());
}

std::string Le32(std::uint32_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
          static_cast<char>(value >> 24)};
}
std::string Le16(std::uint16_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8)};
}

// A 40-byte BITMAPINFOHEADER.
std::string InfoHeader(int width, int height, int bitsPerPixel, std::uint32_t imageSize) {
  return Le32(40) + Le32(width) + Le32(height) + Le16(1) + Le16(bitsPerPixel) + Le32(0) +
         Le32(imageSize) + Le32(0) + Le32(0) + Le32(0) + Le32(0);
}

void TestPictures(tkw::host::Host& host) {
  tkw::host::Ole& ole = host.ole();
  const std::string dir = TestFolder();

  // 2 x 2, 24 bpp: rows of 6 bytes padded to 8.
  const std::string pixels(16, '\x7f');
  WriteFile(dir + "\\face.bmp",
            "BM" + Le32(54 + 16) + Le32(0) + Le32(54) + InfoHeader(2, 2, 24, 16) + pixels);
  // 1 x 1 icon, 32 bpp, with its AND mask.
  const std::string image = InfoHeader(1, 2, 32, 0) + Le32(0xFF00FF00) + Le32(0);
  WriteFile(dir + "\\face.ico", Le16(0) + Le16(1) + Le16(1) + "\x01\x01" + std::string(2, '\0') +
                                    Le16(1) + Le16(32) + Le32(image.size()) + Le32(22) + image);
  WriteFile(dir + "\\text.bmp", "not a picture at all");

  auto bitmap = ole.LoadPicture(host.kernel().AnsiToWide(dir + "\\face.bmp"));
  CHECK(bitmap->type() == tkw::host::kPicTypeBitmap && bitmap->handle() != 0);
  tkw::host::Bitmap description{};
  host.gdi().GetObjectA(bitmap->handle(), sizeof description, &description);
  CHECK(description.bmWidth == 2 && description.bmHeight == 2);

  auto icon = ole.LoadPicture(host.kernel().AnsiToWide(dir + "\\face.ico"));
  CHECK(icon->type() == tkw::host::kPicTypeIcon);

  const struct {
    const char* name;
    int number;
  } kLoadFailures[] = {{"\\missing.bmp", 53}, {"\\text.bmp", 481}};
  for (const auto& failure : kLoadFailures) {
    const int number =
        ErrorNumber([&] { ole.LoadPicture(host.kernel().AnsiToWide(dir + failure.name)); });
    CHECK(number == failure.number);
    if (number != failure.number)
      std::printf("  %s gave %d\n", failure.name, number);
  }

  tkw::host::ColorRef color = 0;
  CHECK(ole.OleTranslateColor(0x00FFFFFF, 0, &color) == S_OK && color == 0xFFFFFF);
  CHECK(ole.OleTranslateColor(0x80000000 | COLOR_WINDOW, 0, &color) == S_OK &&
        color == GetSysColor(COLOR_WINDOW));
  CHECK(FAILED(ole.OleTranslateColor(0x12000000, 0, &color)));
}

// Late binding against a component every Windows (and Wine) has.
void TestAutomation(tkw::host::Ole& ole) {
  using tkw::host::DispatchPtr;
  using tkw::host::InvokeKind;
  using tkw::host::Variant;
  CHECK(ErrorNumber([&] { ole.CreateObject(L"Tkw.NoSuchComponent"); }) == 429);

  const DispatchPtr dictionary = ole.CreateObject(L"Scripting.Dictionary");
  const DispatchPtr inner = ole.CreateObject(L"Scripting.Dictionary");
  CHECK(dictionary->Supports({0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}));  // IDispatch
  CHECK(!dictionary->Supports(tkw::host::office::kIidCommandBars));

  const struct {
    const wchar_t* key;
    Variant value;
  } kItems[] = {
      {L"short", std::int16_t{-2}},
      {L"long", std::int32_t{70000}},
      {L"true", true},
      {L"false", false},
      {L"text", std::wstring(L"caf\u00e9")},
      {L"nothing", DispatchPtr{}},
      {L"object", inner},
  };
  for (const auto& item : kItems) {
    const Variant args[] = {std::wstring(item.key), item.value};
    dictionary->Invoke(L"Add", InvokeKind::kMethod, args);
  }
  CHECK(dictionary->Invoke(L"Count", InvokeKind::kGet, {}) == Variant(std::int32_t{7}));
  for (const auto& item : kItems) {
    const Variant key[] = {std::wstring(item.key)};
    const Variant value = dictionary->Invoke(L"Item", InvokeKind::kGet, key);
    if (item.key == std::wstring_view(L"object")) {
      const auto* object = std::get_if<DispatchPtr>(&value);
      CHECK(object != nullptr && *object != nullptr &&
            (*object)->Invoke(L"Count", InvokeKind::kGet, {}) == Variant(std::int32_t{0}));
    } else {
      CHECK(value == item.value);
    }
  }

  const Variant put[] = {std::wstring(L"short"), std::wstring(L"changed")};
  dictionary->Invoke(L"Item", InvokeKind::kPut, put);
  const Variant key[] = {std::wstring(L"short")};
  CHECK(dictionary->Invoke(L"Item", InvokeKind::kGet, key) == Variant(std::wstring(L"changed")));

  const Variant duplicate[] = {std::wstring(L"long"), std::int32_t{1}};
  CHECK(ErrorNumber([&] { dictionary->Invoke(L"Add", InvokeKind::kMethod, duplicate); }) != 0);
  CHECK(ErrorNumber([&] { dictionary->Invoke(L"NoSuchMember", InvokeKind::kGet, {}); }) == 440);
}

}  // namespace

int main() {
  {
    const std::unique_ptr<tkw::host::Host> host = tkw::host::MakePlatformHost();
    TestRegistry(host->registry());
    TestKernel(host->kernel(), host->memory());
    TestShell(host->shell());
    TestGdiAndClipboard(*host);
    TestPictures(*host);
    TestAutomation(host->ole());
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
