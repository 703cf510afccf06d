// Windows-1252, the ANSI code page of the emulated machine and of the definitions as the tools
// read them, and the UTF-8 of Linux file names and terminals, which both meet at their edges.
#pragma once

#include <string>
#include <string_view>

namespace tkw::formats {

// The character an ANSI byte stands for. The five bytes the code page leaves undefined map to
// the C1 controls of the same number, as Windows maps them.
char16_t Windows1252ToUnicode(unsigned char byte);

// The ANSI byte of a character, or '?' when the code page cannot hold it (no best-fit guesses).
char UnicodeToWindows1252(char32_t character);

std::u16string AnsiToUtf16(std::string_view ansi);
// One byte per UTF-16 unit, so byte counts equal unit counts (a surrogate becomes '?').
std::string Utf16ToAnsi(std::u16string_view text);

std::wstring AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::wstring_view wide);

// UTF-8 as Linux stores file names; malformed sequences decode to U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// Upper case as the registry and the file system compare names: enough for every letter the
// ANSI code page holds, which is every letter a narrow call can name.
char16_t ToUpperCase(char16_t character);
std::u16string ToUpperCase(std::u16string_view text);

}  // namespace tkw::formats
