#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "host/emulated_windows/system/emulated_registry.h"
#include "host/formats/reg_file.h"
#include "host/formats/windows_1252.h"

namespace tkw::emulated {

using formats::AnsiToUtf8;
using formats::AnsiToWide;
using formats::kRegBinary;
using formats::kRegDword;
using formats::kRegExpandSz;
using formats::kRegMultiSz;
using formats::kRegNone;
using formats::kRegQword;
using formats::kRegSz;
using formats::RegFile;
using formats::RegistryKeyNode;
using formats::RegistryValue;
using formats::Utf8ToAnsi;
using formats::WideToAnsi;
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::string_view kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";

Bytes Utf16Z(std::u16string_view text) {
  Bytes bytes;
  for (char16_t unit : text)
    bytes.insert(bytes.end(), {std::uint8_t(unit), std::uint8_t(unit >> 8)});
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// "01 ff" as bytes.
Bytes Hex(std::string_view text) {
  Bytes bytes;
  for (std::size_t at = 0; at + 1 < text.size(); at += 3)
    bytes.push_back(std::uint8_t(std::stoi(std::string(text.substr(at, 2)), nullptr, 16)));
  return bytes;
}

// The value `name` of the key at `path` (parts separated by '\'), or null.
const RegistryValue* Lookup(const RegFile& file, host::RegistryKey root, std::u16string_view path,
                            std::u16string_view name) {
  const RegistryKeyNode* key = file.Root(root);
  for (std::size_t start = 0, end = 0; key && start <= path.size(); start = end + 1) {
    end = std::min(path.find(u'\\', start), path.size());
    key = key->FindSubkey(path.substr(start, end - start));
  }
  return key ? key->FindValue(name) : nullptr;
}

TEST(RegFileTest, ParsesWhatRegeditWrites) {
  struct Case {
    const char* what;
    std::string text;  // after the version 5 header, unless it has its own
    std::u16string_view path, name;
    std::uint32_t type;  // kRegNone: no such value
    Bytes data;
    host::RegistryKey root = host::kHkeyLocalMachine;
  };
  const Case cases[] = {
      {"escapes", "[HKEY_LOCAL_MACHINE\\S]\r\n\"a\\\"b\"=\"C:\\\\P\\\\ \\\"q\\\" \\n\"", u"S",
       u"A\"B", kRegSz, Utf16Z(u"C:\\P\\ \"q\" \\n")},
      {"default value, abbreviated root", "[HKCU\\S\\T]\n@=\"x\"", u"s\\t", u"", kRegSz,
       Utf16Z(u"x"), host::kHkeyCurrentUser},
      {"dword", "[HKLM\\S]\n\"d\"=dword:0001fFfF", u"S", u"d", kRegDword, Hex("ff ff 01 00")},
      {"hex continued", "[HKLM\\S]\n\"b\"=hex:01,02,\\\n  03 , 04,\\\n  ff\n", u"S", u"b",
       kRegBinary, Hex("01 02 03 04 ff")},
      {"a tab is a blank", "\t[HKLM\\S]\t\n\t\"b\"=hex:01\t,\t02\n", u"S", u"b", kRegBinary,
       Hex("01 02")},
      {"hex(2) kept as UTF-16", "[HKLM\\S]\n\"e\"=hex(2):25,00,00,00", u"S", u"e", kRegExpandSz,
       Hex("25 00 00 00")},
      {"REGEDIT4 hex(7) is ANSI", "REGEDIT4\n[HKLM\\S]\n\"m\"=hex(7):61,00,80,00,00", u"S", u"m",
       kRegMultiSz, Hex("61 00 00 00 ac 20 00 00 00 00")},
      {"hex(b) qword", "[HKLM\\S]\n\"q\"=hex(b):01,00,00,00,00,00,00,80", u"S", u"q", kRegQword,
       Hex("01 00 00 00 00 00 00 80")},
      {"value deleted", "[HKLM\\S]\n\"v\"=\"1\"\n\"V\"=-", u"S", u"v", kRegNone, Bytes()},
      {"subtree deleted", "[HKLM\\S\\T\\U]\n\"v\"=\"1\"\n[-HKLM\\s\\t]\n[HKLM\\S]", u"S\\T\\U",
       u"v", kRegNone, Bytes()},
      {"classes root", "[HKEY_CLASSES_ROOT\\P.A\\CLSID]\n@=\"{1}\"",
       u"Software\\classes\\P.A\\CLSID", u"", kRegSz, Utf16Z(u"{1}")},
      {"Windows-1252", "[HKLM\\S]\n\"\xE9\"=\"\x80\"", u"S", u"\u00C9", kRegSz, Utf16Z(u"\u20AC")},
      {"UTF-8 with BOM",
       "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[HKLM\\S]\n\"\xC3\xA9\"=\"\xE2\x82\xAC\"",
       u"S", u"\u00C9", kRegSz, Utf16Z(u"\u20AC")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool headed = c.text.starts_with("REGEDIT4") || c.text.starts_with("\xEF\xBB\xBF");
    std::ostringstream diagnostics;
    const RegFile file =
        RegFile::Parse(headed ? c.text : std::string(kV5) + c.text, "t.reg", diagnostics);
    EXPECT_EQ(diagnostics.str(), "");
    const RegistryValue* value = Lookup(file, c.root, c.path, c.name);
    ASSERT_EQ(value != nullptr, c.type != kRegNone);
    if (value) {
      EXPECT_EQ(value->type, c.type);
      EXPECT_EQ(value->data, c.data);
    }
  }
}

TEST(RegFileTest, ReadsUtf16AndKeepsFirstOrderOnRedefinition) {
  std::string bytes;
  for (char16_t unit : std::u16string_view(
           u"\uFEFFWindows Registry Editor Version 5.00\r\n[HKLM\\S]\r\n\"b\"=\"1\"\r\n"
           u"\"a\"=\"2\"\r\n\"B\"=dword:00000003\r\n\"\u0100\"=\"\"\r\n"))
    bytes += {char(unit & 0xFF), char(unit >> 8)};
  std::ostringstream diagnostics;
  const RegFile file = RegFile::Parse(bytes, "t.reg", diagnostics);
  std::vector<std::u16string> names;
  for (const RegistryValue& value : file.Root(host::kHkeyLocalMachine)->FindSubkey(u"s")->values())
    names.push_back(value.name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"b", u"a", u"\u0100"}));
  EXPECT_EQ(Lookup(file, host::kHkeyLocalMachine, u"S", u"b")->type, kRegDword);
  EXPECT_EQ(Lookup(file, host::kHkeyLocalMachine, u"S", u"b")->line, 5) << "its last definition";
}

TEST(RegFileTest, ReportsEachMalformedLineOnceAndGoesOn) {
  const std::string text = std::string(kV5) +         // lines 1-2
                           "[HKLM\\S]\n"              // 3
                           "\"a\"=dword:123456789\n"  // 4: too many digits
                           "\"b\"=hex:01,zz,\\\n"     // 5: bad byte
                           "  02,03\n"                // 6: rest of the bad value
                           "[HKEY_NOWHERE\\X]\n"      // 7: unknown root
                           "\"c\"=\"dropped\"\n"      // 8: belongs to the bad key
                           "[HKLM\\S]\n"              // 9
                           "garbage\n"                // 10
                           "\"d\"=\"unterminated\n"   // 11
                           "\"e\"=\"kept\"\n"         // 12
                           "\"f\"=hex:01,\\";         // 13: continues past the end
  std::ostringstream diagnostics;
  const RegFile file = RegFile::Parse(text, "registry.reg", diagnostics);
  std::string lines;
  std::istringstream stream(diagnostics.str());
  for (std::string line; std::getline(stream, line);)
    lines += line.substr(0, line.find(" (")) + "\n";
  std::string expected;
  for (int line : {4, 5, 7, 10, 11, 13})
    expected += "registry.reg:" + std::to_string(line) + ": skipped malformed line\n";
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(file.Root(host::kHkeyLocalMachine)->FindSubkey(u"S")->values().size(), 1u);
  EXPECT_NE(Lookup(file, host::kHkeyLocalMachine, u"S", u"e"), nullptr);

  std::ostringstream headerless;
  RegFile::Parse("[HKLM\\S]\n\"e\"=\"x\"\n", "x.reg", headerless);
  EXPECT_TRUE(headerless.str().starts_with("x.reg:1: ")) << headerless.str();
}

class EmulatedRegistryTest : public testing::Test {
 protected:
  static std::string Settings() {
    std::string text = std::string(kV5) +
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n"
                       "\"Logging\"=dword:00000001\n\"Big\"=dword:00011170\n\"Text0\"=\"0\"\n"
                       "\"Euro\"=\"\x80\xC4\"\n@=\"default\"\n\"Wide\"=hex(1):00,01,00,00\n"
                       "\"Bin\"=hex:01,02,03\n";
    // Data and names either side of the 1024-byte limits.
    for (std::size_t length : {1023, 1024})
      text += "\"F" + std::to_string(length) + "\"=\"" + std::string(length, 'f') + "\"\n";
    // Appended piece by piece: GCC 12's -O3 misreads "\"" + s as an overlapping copy.
    for (std::size_t length : {1023, 1024})
      text.append("\"").append(length, 'n').append("\"=\"\"\n");
    return text;
  }

  host::RegistryKey Open(const std::string& subKey = "software\\TARNWICK") {
    host::RegistryKey key = 0;
    EXPECT_EQ(registry_.RegOpenKeyExA(host::kHkeyLocalMachine, subKey, 0, host::kKeyRead, &key), 0);
    return key;
  }

  EmulatedRegistry registry_{RegFile::Parse(Settings(), "t.reg", std::cerr)};
};

TEST_F(EmulatedRegistryTest, QueryGivesWindowsResultsSizesAndAnsiText) {
  const std::tuple<std::string, std::uint32_t, long, std::uint32_t, Bytes> cases[] = {
      // name, buffer size, result, size, the first bytes of the data read
      {"logging", 4, 0, 4, {1, 0, 0, 0}},
      {"Big", 4, 0, 4, {0x70, 0x11, 0x01, 0x00}},
      {"Text0", 4, 0, 2, {0x30, 0x00}},
      {"Euro", 4, 0, 3, {0x80, 0xC4, 0}},
      {"Wide", 4, 0, 2, {'?', 0}},
      {"", 1024, 0, 8, {'d', 'e'}},
      {"Bin", 2, 234, 3, {}},
      {"F1023", 1024, 0, 1024, {'f'}},
      {"F1024", 1024, 234, 1025, {}},
      {"Missing", 1024, 2, 1024, {}},
  };
  const host::RegistryKey key = Open();
  for (const auto& [name, bufferSize, result, expectedSize, start] : cases) {
    Bytes buffer(bufferSize, 0xEE);
    std::uint32_t size = bufferSize;
    EXPECT_EQ(registry_.RegQueryValueExA(key, name, nullptr, buffer.data(), &size), result) << name;
    EXPECT_EQ(size, expectedSize) << name;
    EXPECT_TRUE(std::equal(start.begin(), start.end(), buffer.begin())) << name;
  }
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(key, "F1024", &type, nullptr, &size), 0);
  EXPECT_TRUE(size == 1025 && type == kRegSz) << size;
}

TEST_F(EmulatedRegistryTest, EnumeratesInFileOrderWithWindowsLimits) {
  const host::RegistryKey key = Open();
  std::vector<std::string> names;
  char name[1024];
  std::uint32_t length = sizeof name, type = 0, dataSize = 1024;
  long result;
  for (std::uint32_t index = 0; (result = registry_.RegEnumValueA(key, index, name, &length, &type,
                                                                  nullptr, &dataSize)) == 0;
       ++index, length = sizeof name) {
    EXPECT_EQ(length, std::strlen(name));
    names.emplace_back(name, length);
    if (names.back() == "Text0") {
      EXPECT_EQ(dataSize, 2u);
    }
  }
  EXPECT_EQ(result, 234);  // the 1024-character name does not fit with its NUL
  ASSERT_EQ(names.size(), 10u);
  EXPECT_EQ(names[0], "Logging");
  EXPECT_EQ(names[4], "");
  EXPECT_EQ(names[9], std::string(1023, 'n'));
  EXPECT_EQ(registry_.RegEnumValueA(key, 11, name, &length, &type, nullptr, &dataSize), 259);
}

TEST_F(EmulatedRegistryTest, OpensAndClosesKeysAsWindowsDoes) {
  host::RegistryKey key = 0, again = 0;
  EXPECT_EQ(registry_.RegOpenKeyExA(Open(), "PPTMenus", 0, host::kKeyRead, &key), 2);
  EXPECT_EQ(registry_.RegOpenKeyExA(0x1234, "", 0, host::kKeyRead, &key), 6);
  EXPECT_EQ(registry_.RegOpenKeyExA(Open("SOFTWARE"), "tarnwick", 0, host::kKeyRead, &key), 0);
  EXPECT_EQ(registry_.RegOpenKeyExA(key, "", 0, host::kKeyRead, &again), 0);
  EXPECT_NE(again, key);
  EXPECT_EQ(registry_.RegCloseKey(key), 0);
  EXPECT_EQ(registry_.RegCloseKey(key), 6);
  std::uint32_t size = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(key, "Logging", nullptr, nullptr, &size), 6);
  EXPECT_EQ(registry_.RegQueryValueExA(again, "Logging", nullptr, nullptr, &size), 0);
  EXPECT_EQ(registry_.RegCloseKey(host::kHkeyLocalMachine), 0);
}

// Another process imports into the registry file while a run holds a key open: the next call
// through the same registry sees the change, as on Windows.
TEST(LiveRegistryTest, SeesAnotherProcesssChangeAtTheNextCall) {
  namespace fs = std::filesystem;
  const std::string settings = std::string(kV5) +
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Glintwave]\n"
                               "\"Folder\"=\"C:\\\\A\"\n"
                               "garbage\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\n"
                               "\"1\"=\"x\"\n";
  struct Case {
    const char* what;
    std::string imported;  // appended to the file; "" rewrites C:\A as C:\B in place
    long query;            // "Folder" through the Glintwave key opened before
    std::string folder;    // what it read
    long enumerated;       // the same key's value 1
    long menus;            // opening PPTMenus afresh
    long messages;         // on standard error, all told
  };
  const Case cases[] = {
      {"a value changed",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Glintwave]\n\"Folder\"=\"C:\\\\B\"\n", 0, "C:\\B",
       259, 0, 1},
      {"a value added, with a malformed line",
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Glintwave]\n\"Added\"=\"y\"\nmore garbage\n", 0,
       "C:\\A", 0, 0, 2},
      {"its key deleted", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n", 1018, "", 1018, 2, 1},
      {"its key deleted and made again",
       "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Glintwave]\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Glintwave]\n\"Folder\"=\"C:\\\\B\"\n",
       1018, "", 1018, 0, 1},
      {"a key deleted before it is opened", "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\PPTMenus]\n",
       0, "C:\\A", 259, 2, 1},
      {"rewritten with the same size", "", 0, "C:\\B", 259, 0, 1},
  };
  const fs::path file =
      fs::temp_directory_path() / ("tkw_live_registry_" + std::to_string(::getpid()) + ".reg");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << settings;
    std::ostringstream diagnostics;
    EmulatedRegistry registry(file, diagnostics);
    const auto folder = [&](host::RegistryKey key, long& result) {
      char data[64] = {};
      std::uint32_t size = sizeof data;
      result = registry.RegQueryValueExA(key, "Folder", nullptr,
                                         reinterpret_cast<std::uint8_t*>(data), &size);
      return std::string(data);
    };
    host::RegistryKey glintwave = 0, menus = 0;
    ASSERT_EQ(registry.RegOpenKeyExA(host::kHkeyLocalMachine, "Software\\Tarnwick\\Glintwave", 0,
                                     host::kKeyRead, &glintwave),
              0);
    long result = -1;
    ASSERT_EQ(folder(glintwave, result), "C:\\A");

    if (c.imported.empty()) {
      // In place, at a later moment: only the time of the write tells the files apart.
      std::string rewritten = settings;
      rewritten.replace(rewritten.find("C:\\\\A"), 5, "C:\\\\B");
      const auto before = fs::last_write_time(file);
      for (int tries = 0; tries < 1000 && fs::last_write_time(file) == before; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::ofstream(file, std::ios::binary | std::ios::trunc) << rewritten;
      }
    } else {
      std::ofstream(file, std::ios::binary | std::ios::app) << c.imported;
    }

    EXPECT_EQ(folder(glintwave, result), c.folder);
    EXPECT_EQ(result, c.query);
    char name[16];
    std::uint32_t length = sizeof name;
    EXPECT_EQ(registry.RegEnumValueA(glintwave, 1, name, &length, nullptr, nullptr, nullptr),
              c.enumerated);
    EXPECT_EQ(registry.RegOpenKeyExA(host::kHkeyLocalMachine, "SOFTWARE\\Tarnwick\\PPTMenus", 0,
                                     host::kKeyRead, &menus),
              c.menus);
    EXPECT_EQ(registry.RegCloseKey(glintwave), 0);
    const std::string messages = diagnostics.str();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), c.messages) << messages;
  }
  fs::remove(file);
}

TEST(Windows1252Test, ConvertsBothWaysAsWindowsDoes) {
  for (int byte = 0; byte < 256; ++byte)
    EXPECT_EQ(WideToAnsi(AnsiToWide(std::string(1, char(byte)))), std::string(1, char(byte)));
  EXPECT_EQ(AnsiToWide("\x80\x81\x8D\x8F\x90\x9D\x9F\xFF"),
            L"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00FF");
  EXPECT_EQ(WideToAnsi(L"\u20AC\u2122\u0100\U0001F600\u00E9"), "\x80\x99??\xE9");
  EXPECT_EQ(Utf8ToAnsi("a\xC3\xA9\xE2\x82\xAC\xFF"), "a\xE9\x80?");
  EXPECT_EQ(AnsiToUtf8("\xE9\x80"), "\xC3\xA9\xE2\x82\xAC");
}

}  // namespace
}  // namespace tkw::emulated
