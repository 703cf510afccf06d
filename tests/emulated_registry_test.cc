#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "host/emulated_windows/system/emulated_registry.h"
#include "host/emulated_windows/system/reg_file.h"
#include "host/emulated_windows/system/windows_1252.h"

namespace tkw::emulated {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Utf16Z(std::u16string_view text) {
  Bytes bytes;
  for (char16_t unit : text)
    bytes.insert(bytes.end(), {std::uint8_t(unit), std::uint8_t(unit >> 8)});
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

const RegistryValue* Lookup(const RegFile& file, host::RegistryKey root,
                            std::initializer_list<std::u16string_view> path,
                            std::u16string_view name) {
  const RegistryKeyNode* key = file.Root(root);
  for (auto part : path)
    key = key ? key->FindSubkey(part) : nullptr;
  return key ? key->FindValue(name) : nullptr;
}

constexpr std::string_view kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";

TEST(RegFileTest, ParsesWhatRegeditWrites) {
  struct Case {
    const char* what;
    std::string text;
    host::RegistryKey root;
    std::initializer_list<std::u16string_view> path;
    std::u16string_view name;
    std::optional<std::pair<std::uint32_t, Bytes>> expected;  // nullopt: no such value
  };
  const Case cases[] = {
      {"escapes",
       std::string(kV5) + "[HKEY_LOCAL_MACHINE\\S]\r\n\"a\\\"b\"=\"C:\\\\P\\\\ \\\"q\\\" \\n\"",
       host::kHkeyLocalMachine,
       {u"S"},
       u"A\"B",
       {{kRegSz, Utf16Z(u"C:\\P\\ \"q\" \\n")}}},
      {"default value, abbreviated root",
       std::string(kV5) + "[HKCU\\S\\T]\n@=\"x\"",
       host::kHkeyCurrentUser,
       {u"s", u"t"},
       u"",
       {{kRegSz, Utf16Z(u"x")}}},
      {"dword",
       std::string(kV5) + "[HKLM\\S]\n\"d\"=dword:0001fFfF",
       host::kHkeyLocalMachine,
       {u"S"},
       u"d",
       {{kRegDword, {0xFF, 0xFF, 0x01, 0x00}}}},
      {"hex continued",
       std::string(kV5) + "[HKLM\\S]\n\"b\"=hex:01,02,\\\n  03 , 04,\\\n  ff\n",
       host::kHkeyLocalMachine,
       {u"S"},
       u"b",
       {{kRegBinary, {1, 2, 3, 4, 0xFF}}}},
      {"hex(2) kept as UTF-16",
       std::string(kV5) + "[HKLM\\S]\n\"e\"=hex(2):25,00,00,00",
       host::kHkeyLocalMachine,
       {u"S"},
       u"e",
       {{kRegExpandSz, {0x25, 0, 0, 0}}}},
      {"REGEDIT4 hex(7) is ANSI",
       "REGEDIT4\n[HKLM\\S]\n\"m\"=hex(7):61,00,80,00,00",
       host::kHkeyLocalMachine,
       {u"S"},
       u"m",
       {{kRegMultiSz, {0x61, 0, 0, 0, 0xAC, 0x20, 0, 0, 0, 0}}}},
      {"hex(b) qword",
       std::string(kV5) + "[HKLM\\S]\n\"q\"=hex(b):01,00,00,00,00,00,00,80",
       host::kHkeyLocalMachine,
       {u"S"},
       u"q",
       {{kRegQword, {1, 0, 0, 0, 0, 0, 0, 0x80}}}},
      {"value deleted",
       std::string(kV5) + "[HKLM\\S]\n\"v\"=\"1\"\n\"V\"=-",
       host::kHkeyLocalMachine,
       {u"S"},
       u"v",
       std::nullopt},
      {"subtree deleted",
       std::string(kV5) + "[HKLM\\S\\T\\U]\n\"v\"=\"1\"\n[-HKLM\\s\\t]\n[HKLM\\S]",
       host::kHkeyLocalMachine,
       {u"S", u"T", u"U"},
       u"v",
       std::nullopt},
      {"classes root",
       std::string(kV5) + "[HKEY_CLASSES_ROOT\\P.A\\CLSID]\n@=\"{1}\"",
       host::kHkeyLocalMachine,
       {u"Software", u"classes", u"P.A", u"CLSID"},
       u"",
       {{kRegSz, Utf16Z(u"{1}")}}},
      {"Windows-1252",
       std::string(kV5) + "[HKLM\\S]\n\"\xE9\"=\"\x80\"",
       host::kHkeyLocalMachine,
       {u"S"},
       u"\u00C9",
       {{kRegSz, Utf16Z(u"\u20AC")}}},
      {"UTF-8 with BOM",
       "\xEF\xBB\xBF" + std::string(kV5) + "[HKLM\\S]\n\"\xC3\xA9\"=\"\xE2\x82\xAC\"",
       host::kHkeyLocalMachine,
       {u"S"},
       u"\u00C9",
       {{kRegSz, Utf16Z(u"\u20AC")}}},
  };
  for (const Case& c : cases) {
    std::ostringstream diagnostics;
    const RegFile file = RegFile::Parse(c.text, "t.reg", diagnostics);
    EXPECT_EQ(diagnostics.str(), "") << c.what;
    const RegistryValue* value = Lookup(file, c.root, c.path, c.name);
    ASSERT_EQ(value != nullptr, c.expected.has_value()) << c.what;
    if (!value)
      continue;
    EXPECT_EQ(value->type, c.expected->first) << c.what;
    EXPECT_EQ(value->data, c.expected->second) << c.what;
  }
}

TEST(RegFileTest, ReadsUtf16AndKeepsFirstOrderOnRedefinition) {
  const std::u16string text =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n[HKLM\\S]\r\n\"b\"=\"1\"\r\n\"a\"=\"2\"\r\n"
      u"\"B\"=dword:00000003\r\n\"\u0100\"=\"\"\r\n";
  std::string bytes;
  for (char16_t unit : text)
    bytes += {char(unit & 0xFF), char(unit >> 8)};
  std::ostringstream diagnostics;
  const RegFile file = RegFile::Parse(bytes, "t.reg", diagnostics);
  const auto& values = file.Root(host::kHkeyLocalMachine)->FindSubkey(u"s")->values();
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, u"b");
  EXPECT_EQ(values[0].type, kRegDword);
  EXPECT_EQ(values[1].name, u"a");
  EXPECT_EQ(values[2].name, u"\u0100");
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
  std::vector<std::string> lines;
  std::istringstream stream(diagnostics.str());
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line.substr(0, line.find(" (")));
  EXPECT_EQ(
      lines,
      (std::vector<std::string>{
          "registry.reg:4: skipped malformed line", "registry.reg:5: skipped malformed line",
          "registry.reg:7: skipped malformed line", "registry.reg:10: skipped malformed line",
          "registry.reg:11: skipped malformed line", "registry.reg:13: skipped malformed line"}));
  const auto& values = file.Root(host::kHkeyLocalMachine)->FindSubkey(u"S")->values();
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, u"e");

  std::ostringstream headerless;
  RegFile::Parse("[HKLM\\S]\n\"e\"=\"x\"\n", "x.reg", headerless);
  EXPECT_EQ(headerless.str().rfind("x.reg:1: ", 0), 0u) << headerless.str();
}

class EmulatedRegistryTest : public testing::Test {
 protected:
  EmulatedRegistryTest()
      : registry_(RegFile::Parse(std::string(kV5) +
                                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick]\n"
                                     "\"Logging\"=dword:00000001\n\"Zero\"=dword:00000000\n"
                                     "\"All\"=dword:ffffffff\n\"Big\"=dword:00011170\n"
                                     "\"Text0\"=\"0\"\n\"Euro\"=\"\x80\xC4\"\n@=\"default\"\n"
                                     "\"Wide\"=hex(1):00,01,00,00\n\"Bin\"=hex:01,02,03\n"
                                     "\"F1023\"=\"" +
                                     std::string(1023, 'f') +
                                     "\"\n"
                                     "\"F1024\"=\"" +
                                     std::string(1024, 'f') +
                                     "\"\n"
                                     "\"" +
                                     std::string(1023, 'n') +
                                     "\"=\"\"\n"
                                     "\"" +
                                     std::string(1024, 'n') + "\"=\"\"\n",
                                 "t.reg", std::cerr)) {}

  host::RegistryKey Open(const std::string& subKey = "software\\TARNWICK") {
    host::RegistryKey key = 0;
    EXPECT_EQ(registry_.RegOpenKeyExA(host::kHkeyLocalMachine, subKey, 0, host::kKeyRead, &key), 0);
    return key;
  }

  EmulatedRegistry registry_;
};

TEST_F(EmulatedRegistryTest, QueryGivesWindowsResultsSizesAndAnsiText) {
  struct Case {
    std::string name;
    std::uint32_t bufferSize;
    long result;
    std::uint32_t size;
    Bytes start;  // the first bytes of the data read
  };
  const Case cases[] = {
      {"logging", 4, 0, 4, {1, 0, 0, 0}},
      {"Zero", 4, 0, 4, {0, 0, 0, 0}},
      {"All", 4, 0, 4, {0xFF, 0xFF, 0xFF, 0xFF}},
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
  for (const Case& c : cases) {
    Bytes buffer(c.bufferSize, 0xEE);
    std::uint32_t size = c.bufferSize;
    EXPECT_EQ(registry_.RegQueryValueExA(key, c.name, nullptr, buffer.data(), &size), c.result)
        << c.name;
    EXPECT_EQ(size, c.size) << c.name;
    EXPECT_TRUE(std::equal(c.start.begin(), c.start.end(), buffer.begin())) << c.name;
  }
  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(key, "F1024", &type, nullptr, &size), 0);
  EXPECT_EQ(size, 1025u);
  EXPECT_EQ(type, kRegSz);
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
  ASSERT_EQ(names.size(), 12u);
  EXPECT_EQ(names[0], "Logging");
  EXPECT_EQ(names[6], "");
  EXPECT_EQ(names[11], std::string(1023, 'n'));
  EXPECT_EQ(registry_.RegEnumValueA(key, 13, name, &length, &type, nullptr, &dataSize), 259);

  std::uint8_t small[2];
  dataSize = sizeof small;
  EXPECT_EQ(registry_.RegEnumValueA(key, 8, name, &length, &type, small, &dataSize), 234);
  EXPECT_EQ(dataSize, 3u);
}

TEST_F(EmulatedRegistryTest, OpensAndClosesKeysAsWindowsDoes) {
  host::RegistryKey key = 0;
  EXPECT_EQ(registry_.RegOpenKeyExA(host::kHkeyLocalMachine, "SOFTWARE\\Tarnwick\\PPTMenus", 0,
                                    host::kKeyRead, &key),
            2);
  EXPECT_EQ(registry_.RegOpenKeyExA(0x1234, "", 0, host::kKeyRead, &key), 6);
  const host::RegistryKey software = Open("SOFTWARE");
  host::RegistryKey again = 0;
  EXPECT_EQ(registry_.RegOpenKeyExA(software, "tarnwick", 0, host::kKeyRead, &key), 0);
  EXPECT_EQ(registry_.RegOpenKeyExA(key, "", 0, host::kKeyRead, &again), 0);
  EXPECT_NE(again, key);
  EXPECT_EQ(registry_.RegCloseKey(key), 0);
  EXPECT_EQ(registry_.RegCloseKey(key), 6);
  std::uint32_t size = 0;
  EXPECT_EQ(registry_.RegQueryValueExA(key, "Logging", nullptr, nullptr, &size), 6);
  EXPECT_EQ(registry_.RegQueryValueExA(again, "Logging", nullptr, nullptr, &size), 0);
  EXPECT_EQ(registry_.RegCloseKey(host::kHkeyLocalMachine), 0);
}

TEST(Windows1252Test, ConvertsBothWaysAsWindowsDoes) {
  for (int byte = 0; byte < 256; ++byte) {
    const std::string ansi(1, char(byte));
    EXPECT_EQ(WideToAnsi(AnsiToWide(ansi)), ansi) << byte;
  }
  EXPECT_EQ(AnsiToWide("\x80\x81\x8D\x8F\x90\x9D\x9F\xFF"),
            L"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00FF");
  EXPECT_EQ(WideToAnsi(L"\u20AC\u2122\u0100\U0001F600\u00E9"), "\x80\x99??\xE9");
  EXPECT_EQ(Utf8ToAnsi("a\xC3\xA9\xE2\x82\xAC\xFF"), "a\xE9\x80?");
  EXPECT_EQ(AnsiToUtf8("\xE9\x80"), "\xC3\xA9\xE2\x82\xAC");
}

}  // namespace
}  // namespace tkw::emulated
