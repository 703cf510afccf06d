#include "host/formats/reg_file.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "host/formats/windows_1252.h"

namespace tkw::formats {

const RegistryKeyNode* RegistryKeyNode::FindSubkey(std::u16string_view name) const {
  const auto found = subkeys_.find(ToUpperCase(name));
  return found == subkeys_.end() ? nullptr : found->second.get();
}

RegistryKeyNode* RegistryKeyNode::FindSubkey(std::u16string_view name) {
  const auto found = subkeys_.find(ToUpperCase(name));
  return found == subkeys_.end() ? nullptr : found->second.get();
}

RegistryKeyNode& RegistryKeyNode::CreateSubkey(std::u16string_view name, int line) {
  auto& slot = subkeys_[ToUpperCase(name)];
  if (!slot) {
    slot = std::make_unique<RegistryKeyNode>();
    slot->line_ = line;
  }
  return *slot;
}

void RegistryKeyNode::DeleteSubkey(std::u16string_view name) {
  subkeys_.erase(ToUpperCase(name));
}

const RegistryValue* RegistryKeyNode::FindValue(std::u16string_view name) const {
  const auto found = valuePositions_.find(ToUpperCase(name));
  return found == valuePositions_.end() ? nullptr : &values_[found->second];
}

void RegistryKeyNode::SetValue(RegistryValue value) {
  const auto [position, added] =
      valuePositions_.try_emplace(ToUpperCase(value.name), values_.size());
  if (added) {
    values_.push_back(std::move(value));
  } else {
    values_[position->second].type = value.type;
    values_[position->second].data = std::move(value.data);
    values_[position->second].line = value.line;
  }
}

void RegistryKeyNode::DeleteValue(std::u16string_view name) {
  const auto found = valuePositions_.find(ToUpperCase(name));
  if (found == valuePositions_.end())
    return;
  const std::size_t removed = found->second;
  valuePositions_.erase(found);
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(removed));
  for (auto& [upperName, position] : valuePositions_) {
    if (position > removed)
      --position;
  }
}

namespace {

constexpr std::u16string_view kHeaderVersion5 = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHeaderVersion4 = u"REGEDIT4";

struct RootName {
  std::u16string_view longName;
  std::u16string_view shortName;
  host::RegistryKey handle;
};

constexpr std::array<RootName, 5> kRootNames = {{
    {u"HKEY_CLASSES_ROOT", u"HKCR", host::kHkeyClassesRoot},
    {u"HKEY_CURRENT_USER", u"HKCU", host::kHkeyCurrentUser},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", host::kHkeyLocalMachine},
    {u"HKEY_USERS", u"HKU", kHkeyUsers},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", kHkeyCurrentConfig},
}};

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view TrimStart(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  return text;
}

std::u16string_view TrimEnd(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         ToUpperCase(text.substr(0, prefix.size())) == ToUpperCase(prefix);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9')
    return c - u'0';
  if (c >= u'a' && c <= u'f')
    return c - u'a' + 10;
  if (c >= u'A' && c <= u'F')
    return c - u'A' + 10;
  return -1;
}

// Reads 1 to `maxDigits` hex digits from the front of `text`, consuming them.
std::optional<std::uint32_t> TakeHexNumber(std::u16string_view& text, std::size_t maxDigits) {
  std::uint32_t number = 0;
  std::size_t digits = 0;
  while (digits < text.size() && digits < maxDigits && HexDigit(text[digits]) >= 0) {
    number = number * 16 + static_cast<std::uint32_t>(HexDigit(text[digits]));
    ++digits;
  }
  if (digits == 0)
    return std::nullopt;
  text.remove_prefix(digits);
  return number;
}

// Reads a quoted string from the front of `text` (which starts at its opening quote), undoing
// the \\ and \" escapes; any other backslash is an ordinary character, as regedit has it.
std::optional<std::u16string> TakeQuoted(std::u16string_view& text) {
  std::u16string result;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == u'"') {
      text.remove_prefix(i + 1);
      return result;
    }
    if (text[i] == u'\\' && i + 1 < text.size() && (text[i + 1] == u'\\' || text[i + 1] == u'"')) {
      ++i;
    }
    result += text[i];
  }
  return std::nullopt;
}

std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

// Appends the comma-separated bytes of one line of hex data; a trailing comma is allowed,
// since the data goes on in the next line.
bool TakeHexBytes(std::u16string_view text, std::vector<std::uint8_t>& bytes) {
  while (true) {
    text = TrimStart(text);
    if (text.empty())
      return true;
    const auto byte = TakeHexNumber(text, 2);
    if (!byte)
      return false;
    bytes.push_back(static_cast<std::uint8_t>(*byte));
    text = TrimStart(text);
    if (text.empty())
      return true;
    if (text.front() != u',')
      return false;
    text.remove_prefix(1);
  }
}

std::u16string DecodeFile(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                    (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return text;
  }
  if (bytes.starts_with("\xEF\xBB\xBF"))
    return Utf8ToUtf16(bytes.substr(3));
  return AnsiToUtf16(bytes);
}

// The file's lines, numbered from 1, with CR LF, LF or CR as line ends.
class LineReader {
 public:
  explicit LineReader(std::u16string_view text) : rest_(text) {}

  bool Next(std::u16string_view& line) {
    if (finished_)
      return false;
    const std::size_t end = rest_.find_first_of(u"\r\n");
    ++number_;
    line = rest_.substr(0, end);
    if (end == std::u16string_view::npos) {
      finished_ = true;
      return true;
    }
    const bool crLf = rest_[end] == u'\r' && end + 1 < rest_.size() && rest_[end + 1] == u'\n';
    rest_.remove_prefix(end + (crLf ? 2 : 1));
    return true;
  }

  int number() const { return number_; }

 private:
  std::u16string_view rest_;
  int number_ = 0;
  bool finished_ = false;
};

}  // namespace

class RegFile::Parser {
 public:
  Parser(RegFile& file, const std::string& fileName, std::ostream& diagnostics,
         std::u16string_view text)
      : file_(file), fileName_(fileName), diagnostics_(diagnostics), lines_(text) {}

  void Run() {
    if (!ReadHeader())
      return;
    std::u16string_view line;
    while (lines_.Next(line)) {
      line = TrimStart(line);
      if (line.empty() || line.front() == u';')
        continue;
      if (line.front() == u'[') {
        ReadKeyLine(TrimEnd(line));
      } else if (line.front() == u'"' || line.front() == u'@') {
        ReadValueLine(line);
      } else {
        Skip(lines_.number(), "not a key, value or comment");
      }
    }
  }

 private:
  bool ReadHeader() {
    std::u16string_view line;
    while (lines_.Next(line)) {
      line = TrimEnd(TrimStart(line));
      if (line.empty())
        continue;
      unicode_ = line == kHeaderVersion5;
      if (unicode_ || line == kHeaderVersion4)
        return file_.isExport_ = true;
      diagnostics_ << fileName_ << ':' << lines_.number()
                   << ": not a registry export (it must begin with \"Windows Registry Editor "
                      "Version 5.00\" or \"REGEDIT4\"); the file is ignored\n";
      return false;
    }
    return false;
  }

  void Skip(int lineNumber, const char* reason) {
    diagnostics_ << fileName_ << ':' << lineNumber << ": skipped malformed line (" << reason
                 << ")\n";
  }

  // "[path]" opens the key, creating it and its parents; "[-path]" deletes it with its subtree.
  void ReadKeyLine(std::u16string_view line) {
    current_ = nullptr;
    if (line.back() != u']' || line.size() < 3)
      return Skip(lines_.number(), "no closing ]");
    std::u16string_view path = line.substr(1, line.size() - 2);
    const bool deletion = path.front() == u'-';
    if (deletion)
      path.remove_prefix(1);

    std::vector<std::u16string_view> names;
    for (std::size_t start = 0;;) {
      const std::size_t end = path.find(u'\\', start);
      names.push_back(path.substr(start, end - start));
      if (end == std::u16string_view::npos)
        break;
      start = end + 1;
    }
    for (std::u16string_view name : names) {
      if (name.empty())
        return Skip(lines_.number(), "empty key name");
    }
    RegistryKeyNode* key = OpenRootPath(names.front());
    if (key == nullptr)
      return Skip(lines_.number(), "unknown root key");
    names.erase(names.begin());
    if (deletion) {
      if (names.empty())
        return Skip(lines_.number(), "a root key cannot be deleted");
      DeletePath(*key, names);
      return;
    }
    for (std::u16string_view name : names)
      key = &key->CreateSubkey(name, lines_.number());
    current_ = key;
  }

  RegistryKeyNode* OpenRootPath(std::u16string_view rootName) {
    const std::u16string upper = ToUpperCase(rootName);
    for (const RootName& root : kRootNames) {
      if (upper != root.longName && upper != root.shortName)
        continue;
      if (root.handle != host::kHkeyClassesRoot)
        return &file_.roots_[RootIndex(root.handle)];
      RegistryKeyNode& machine = file_.roots_[RootIndex(host::kHkeyLocalMachine)];
      return &machine.CreateSubkey(u"SOFTWARE", lines_.number())
                  .CreateSubkey(u"Classes", lines_.number());
    }
    return nullptr;
  }

  static void DeletePath(RegistryKeyNode& root, const std::vector<std::u16string_view>& names) {
    RegistryKeyNode* parent = &root;
    for (std::size_t i = 0; parent != nullptr && i + 1 < names.size(); ++i) {
      parent = parent->FindSubkey(names[i]);
    }
    if (parent != nullptr)
      parent->DeleteSubkey(names.back());
  }

  void ReadValueLine(std::u16string_view line) {
    const int lineNumber = lines_.number();
    RegistryValue value;
    value.line = lineNumber;
    if (line.front() == u'@') {
      line.remove_prefix(1);
    } else if (auto name = TakeQuoted(line)) {
      value.name = std::move(*name);
    } else {
      return Skip(lineNumber, "value name without closing quote");
    }
    line = TrimStart(line);
    if (line.empty() || line.front() != u'=')
      return Skip(lineNumber, "no = after the value name");
    line = TrimEnd(TrimStart(line.substr(1)));

    if (line == u"-") {
      if (current_ != nullptr)
        current_->DeleteValue(value.name);
      return;
    }
    if (!line.empty() && line.front() == u'"') {
      auto text = TakeQuoted(line);
      if (!text || !line.empty())
        return Skip(lineNumber, "malformed string data");
      text->push_back(u'\0');
      value.type = kRegSz;
      value.data = Utf16LeBytes(*text);
    } else if (StartsWithIgnoringCase(line, u"dword:")) {
      line.remove_prefix(6);
      const auto number = TakeHexNumber(line, 8);
      if (!number || !line.empty())
        return Skip(lineNumber, "dword: needs 1 to 8 hex digits");
      value.type = kRegDword;
      for (int shift = 0; shift < 32; shift += 8)
        value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
    } else if (StartsWithIgnoringCase(line, u"hex")) {
      if (!ReadHexValue(line.substr(3), value))
        return;
    } else {
      return Skip(lineNumber, "unknown data type");
    }
    if (current_ != nullptr)
      current_->SetValue(std::move(value));
  }

  // "hex:" or "hex(N):" followed by bytes that may go on over lines ending in a backslash.
  // Reports the first bad line once and consumes the rest of the value's lines.
  bool ReadHexValue(std::u16string_view line, RegistryValue& value) {
    value.type = kRegBinary;
    const char* problem = nullptr;
    if (line.starts_with(u'(')) {
      line.remove_prefix(1);
      const auto type = TakeHexNumber(line, 8);
      if (type && line.starts_with(u"):")) {
        value.type = *type;
        line.remove_prefix(1);
      } else {
        problem = "hex(N): needs a hex type N";
      }
    }
    if (problem == nullptr && !line.starts_with(u':'))
      problem = "no : after hex";
    if (problem == nullptr)
      line.remove_prefix(1);
    int problemLine = lines_.number();

    while (true) {
      const bool continued = !line.empty() && line.back() == u'\\';
      if (continued)
        line.remove_suffix(1);
      if (problem == nullptr && !TakeHexBytes(line, value.data)) {
        problem = "malformed hex bytes";
        problemLine = lines_.number();
      }
      if (!continued)
        break;
      if (!lines_.Next(line)) {
        if (problem == nullptr) {
          problem = "hex data continues past the end of the file";
          problemLine = lines_.number();
        }
        break;
      }
      line = TrimEnd(TrimStart(line));
    }
    if (problem != nullptr) {
      Skip(problemLine, problem);
      return false;
    }
    // REGEDIT4 files hold text data in the ANSI code page; the registry keeps it as UTF-16.
    if (!unicode_ && IsStringType(value.type)) {
      value.data = Utf16LeBytes(AnsiToUtf16(
          std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size())));
    }
    return true;
  }

  RegFile& file_;
  const std::string& fileName_;
  std::ostream& diagnostics_;
  LineReader lines_;
  bool unicode_ = true;
  // Where values go; null before the first key and after a deleted or bad one, whose values
  // are dropped silently as regedit drops them.
  RegistryKeyNode* current_ = nullptr;
};

RegFile RegFile::Parse(std::string_view bytes, const std::string& fileName,
                       std::ostream& diagnostics) {
  RegFile file;
  const std::u16string text = DecodeFile(bytes);
  Parser(file, fileName, diagnostics, text).Run();
  return file;
}

RegFile RegFile::Load(const std::filesystem::path& path, std::ostream& diagnostics) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream.is_open()) {
    if (errno != ENOENT) {
      diagnostics << path.string() << ": cannot be read (" << std::strerror(errno)
                  << "); the registry is empty\n";
    }
    return RegFile();
  }
  std::ostringstream contents;
  contents << stream.rdbuf();
  if (stream.bad()) {
    diagnostics << path.string() << ": cannot be read; the registry is empty\n";
    return RegFile();
  }
  return Parse(contents.view(), path.string(), diagnostics);
}

const RegistryKeyNode* RegFile::Root(host::RegistryKey root) const {
  if (root == host::kHkeyClassesRoot) {
    const RegistryKeyNode* software =
        roots_[RootIndex(host::kHkeyLocalMachine)].FindSubkey(u"SOFTWARE");
    const RegistryKeyNode* classes = software ? software->FindSubkey(u"Classes") : nullptr;
    return classes ? classes : &emptyClassesRoot_;
  }
  const std::size_t index = RootIndex(root);
  return index < kRootCount ? &roots_[index] : nullptr;
}

std::size_t RegFile::RootIndex(host::RegistryKey root) {
  switch (root) {
    case host::kHkeyCurrentUser:
      return 0;
    case host::kHkeyLocalMachine:
      return 1;
    case kHkeyUsers:
      return 2;
    case kHkeyCurrentConfig:
      return 3;
    default:
      return kRootCount;
  }
}

}  // namespace tkw::formats
