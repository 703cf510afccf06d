#include "host/command_bars/command_bar_state.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/formats/base64.h"
#include "host/formats/utf8.h"
#include "host/runtime_error.h"

namespace tkw::command_bars {

using formats::IsBase64;
using formats::Utf8ToWide;
using formats::WideToUtf8;
namespace {

using nlohmann::json;

[[noreturn]] void SchemaError(const std::string& where, const std::string& what) {
  throw host::RuntimeError(5, where + ": " + what);
}

// Non-const so that the large texts can be moved out of the document.
json& Field(json& object, const char* key, const std::string& where) {
  const auto found = object.find(key);
  if (found == object.end())
    SchemaError(where, std::string("\"") + key + "\" is missing");
  return *found;
}

std::string TextField(json& object, const char* key, const std::string& where) {
  json& value = Field(object, key, where);
  if (!value.is_string())
    SchemaError(where, std::string("\"") + key + "\" must be a string");
  return value.get<std::string>();
}

std::wstring WideField(json& object, const char* key, const std::string& where) {
  return Utf8ToWide(TextField(object, key, where));
}

bool FlagField(json& object, const char* key, const std::string& where) {
  json& value = Field(object, key, where);
  if (!value.is_boolean())
    SchemaError(where, std::string("\"") + key + "\" must be true or false");
  return value.get<bool>();
}

std::int32_t NumberField(json& object, const char* key, const std::string& where) {
  json& value = Field(object, key, where);
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  const bool fits = (value.is_number_unsigned() && value.get<std::uint64_t>() <= kMax) ||
                    (value.is_number_integer() && !value.is_number_unsigned() &&
                     value.get<std::int64_t>() >= kMin && value.get<std::int64_t>() <= kMax);
  if (!fits)
    SchemaError(where, std::string("\"") + key + "\" must be a 32-bit whole number");
  return static_cast<std::int32_t>(value.get<std::int64_t>());
}

// Moves the text out of the document: faces are most of the file.
std::string Base64Field(json& object, const char* key, const std::string& where) {
  json& value = Field(object, key, where);
  if (!value.is_string())
    SchemaError(where, std::string("\"") + key + "\" must be a string");
  std::string text = std::move(value.get_ref<std::string&>());
  if (!IsBase64(text))
    SchemaError(where, std::string("\"") + key + "\" must be base64 text");
  return text;
}

std::optional<ButtonFace> ReadFace(json& control, const std::string& where) {
  json& face = Field(control, "face", where);
  if (face.is_null())
    return std::nullopt;
  const std::string faceWhere = where + ".face";
  if (!face.is_object())
    SchemaError(where, "\"face\" must be null or an object");
  ButtonFace result{Base64Field(face, "dib", faceWhere), std::nullopt};
  if (!Field(face, "mask", faceWhere).is_null())
    result.mask = Base64Field(face, "mask", faceWhere);
  return result;
}

// "button", "popup", or the MsoControlType of another kind of control as a number.
ControlType ReadControlType(json& control, const std::string& where) {
  json& type = Field(control, "type", where);
  if (type == "button")
    return ControlType::kButton;
  if (type == "popup")
    return ControlType::kPopup;
  if (type.is_number_integer() && type >= 0 && type <= std::numeric_limits<std::int16_t>::max() &&
      type != static_cast<int>(ControlType::kButton) &&
      type != static_cast<int>(ControlType::kPopup))
    return static_cast<ControlType>(type.get<std::int16_t>());
  SchemaError(where,
              "\"type\" must be \"button\", \"popup\" or the number of another kind of control");
}

const char* BarTypeName(BarType type) {
  switch (type) {
    case BarType::kMenuBar:
      return "menuBar";
    case BarType::kPopup:
      return "popup";
    case BarType::kToolbar:
      break;
  }
  return "toolbar";
}

// A control's own fields; `depth` is that of the list it goes into.
ControlProperties ReadProperties(json& control, int depth, const std::string& at) {
  if (!control.is_object())
    SchemaError(at, "a control must be an object");
  ControlProperties p;
  p.type = ReadControlType(control, at);
  if (p.type == ControlType::kButton) {
    p.style = NumberField(control, "style", at);
    p.face = ReadFace(control, at);
  } else if (p.type == ControlType::kPopup && depth >= kMaxPopupDepth) {
    SchemaError(at, "pop-ups nest deeper than " + std::to_string(kMaxPopupDepth));
  }
  p.id = NumberField(control, "id", at);
  p.caption = WideField(control, "caption", at);
  p.tag = WideField(control, "tag", at);
  p.onAction = WideField(control, "onAction", at);
  p.tooltipText = WideField(control, "tooltipText", at);
  p.temporary = FlagField(control, "temporary", at);
  p.builtIn = FlagField(control, "builtIn", at);
  // Optional: only a snapshot of a real PowerPoint holds hidden controls.
  if (control.contains("visible"))
    p.visible = FlagField(control, "visible", at);
  return p;
}

json& ArrayField(json& object, const char* key, const std::string& where) {
  json& value = Field(object, key, where);
  if (!value.is_array())
    SchemaError(where, std::string("\"") + key + "\" must be an array");
  return value;
}

ControlCopy ReadCopy(json& control, int depth, const std::string& at);

// "deletedForTheSession" of a bar or pop-up, which only a list that has some holds.
std::vector<SessionDeletion> ReadDeletions(json& object, int depth, const std::string& where) {
  std::vector<SessionDeletion> deletions;
  if (!object.is_object() || !object.contains("deletedForTheSession"))
    return deletions;
  json& list = ArrayField(object, "deletedForTheSession", where);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = where + ".deletedForTheSession[" + std::to_string(i) + "]";
    if (!list[i].is_object())
      SchemaError(at, "a deletion must be an object");
    const std::int32_t place = NumberField(list[i], "place", at);
    if (place < 1)
      SchemaError(at, "\"place\" must be 1 or more");
    deletions.push_back({static_cast<std::size_t>(place),
                         ReadCopy(Field(list[i], "control", at), depth, at + ".control")});
  }
  return deletions;
}

ControlCopy ReadCopy(json& control, int depth, const std::string& at) {
  ControlCopy copy{ReadProperties(control, depth, at), {}, {}};
  if (copy.properties.type == ControlType::kPopup) {
    json& controls = ArrayField(control, "controls", at);
    for (std::size_t i = 0; i < controls.size(); ++i) {
      copy.controls.push_back(
          ReadCopy(controls[i], depth + 1, at + ".controls[" + std::to_string(i) + "]"));
    }
    copy.deletedForTheSession = ReadDeletions(control, depth + 1, at);
  }
  return copy;
}

void ReadControls(json& object, ControlList& list, const std::string& where) {
  json& controls = ArrayField(object, "controls", where);
  for (std::size_t i = 0; i < controls.size(); ++i) {
    json& control = controls[i];
    const std::string at = where + ".controls[" + std::to_string(i) + "]";
    Control& added = list.Insert(list.size() + 1, ReadProperties(control, list.depth(), at));
    if (added.controls() != nullptr)
      ReadControls(control, *added.controls(), at);
  }
  for (SessionDeletion& deletion : ReadDeletions(object, list.depth(), where))
    list.KeepForTheSession(std::move(deletion));
}

// Writes the document as nlohmann's dump(2) lays it out, streaming: the face blocks are most
// of the text and need no escaping, so they are copied as they are rather than through a tree.
class StateWriter {
 public:
  explicit StateWriter(std::ostream& out) : out_(out) {}

  void Open(std::string_view key, char bracket) {
    Key(key);
    out_ << bracket;
    ++depth_;
    first_ = true;
  }
  void Close(char bracket) {
    --depth_;
    if (!first_)
      NewLine();
    out_ << bracket;
    first_ = false;
  }
  // An element of an array, or the document itself.
  void OpenElement() { Open({}, '{'); }

  void Text(std::string_view key, std::string_view utf8) {
    Key(key);
    out_ << json(utf8).dump();
  }
  void Text(std::string_view key, const std::wstring& text) { Text(key, WideToUtf8(text)); }
  void Base64(std::string_view key, const std::optional<std::string>& text) {
    Key(key);
    if (text) {
      out_ << '"' << *text << '"';
    } else {
      out_ << "null";
    }
  }
  void Number(std::string_view key, std::int32_t value) {
    Key(key);
    out_ << value;
  }
  void Flag(std::string_view key, bool value) {
    Key(key);
    out_ << (value ? "true" : "false");
  }
  void Null(std::string_view key) {
    Key(key);
    out_ << "null";
  }

 private:
  void NewLine() {
    out_ << '\n';
    for (int level = 0; level < depth_; ++level)
      out_ << "  ";
  }
  void Key(std::string_view key) {
    if (depth_ > 0) {
      if (!first_)
        out_ << ',';
      NewLine();
    }
    first_ = false;
    if (!key.empty()) {
      out_ << '"' << key << "\": ";
    }
  }

  std::ostream& out_;
  int depth_ = 0;
  bool first_ = true;
};

void WriteCopy(StateWriter& writer, const ControlCopy& copy);

// Only a list that has some writes them, so that other states read as they always did.
void WriteDeletions(StateWriter& writer, const std::vector<SessionDeletion>& deletions) {
  if (deletions.empty())
    return;
  writer.Open("deletedForTheSession", '[');
  for (const SessionDeletion& deletion : deletions) {
    writer.OpenElement();
    writer.Number("place", static_cast<std::int32_t>(deletion.place));
    writer.Open("control", '{');
    WriteCopy(writer, deletion.control);
    writer.Close('}');
    writer.Close('}');
  }
  writer.Close(']');
}

// A control's fields inside its object; `children` writes a pop-up's controls.
template <typename Children>
void WriteControl(StateWriter& writer, const ControlProperties& p, Children&& children) {
  if (p.type == ControlType::kButton || p.type == ControlType::kPopup)
    writer.Text("type", p.type == ControlType::kPopup ? "popup" : "button");
  else
    writer.Number("type", static_cast<std::int32_t>(p.type));
  writer.Number("id", p.id);
  writer.Text("caption", p.caption);
  writer.Text("tag", p.tag);
  writer.Text("onAction", p.onAction);
  writer.Text("tooltipText", p.tooltipText);
  writer.Flag("temporary", p.temporary);
  writer.Flag("builtIn", p.builtIn);
  if (!p.visible)
    writer.Flag("visible", false);
  if (p.type == ControlType::kPopup) {
    children();
    return;
  }
  if (p.type != ControlType::kButton)
    return;
  writer.Number("style", p.style);
  if (p.face) {
    writer.Open("face", '{');
    writer.Base64("dib", p.face->dib);
    writer.Base64("mask", p.face->mask);
    writer.Close('}');
  } else {
    writer.Null("face");
  }
}

void WriteCopy(StateWriter& writer, const ControlCopy& copy) {
  WriteControl(writer, copy.properties, [&] {
    writer.Open("controls", '[');
    for (const ControlCopy& child : copy.controls) {
      writer.OpenElement();
      WriteCopy(writer, child);
      writer.Close('}');
    }
    writer.Close(']');
    WriteDeletions(writer, copy.deletedForTheSession);
  });
}

void WriteControls(StateWriter& writer, const ControlList& list) {
  writer.Open("controls", '[');
  list.VisitUntil([&](const Control& control) {
    writer.OpenElement();
    WriteControl(writer, control.properties(), [&] { WriteControls(writer, *control.controls()); });
    writer.Close('}');
    return false;
  });
  writer.Close(']');
  WriteDeletions(writer, list.deletedForTheSession());
}

// Where the text stops being JSON and why, in the reader's words rather than the parser's:
// "line L, column C: what is wrong". `byte` counts from 1, as the parser reports it.
std::string NotJson(std::string_view text, std::size_t byte) {
  if (text.empty())
    return "line 1, column 1: not JSON: the file is empty";
  std::size_t line = 1, column = 1;
  const std::size_t stop = std::min(byte, text.size() + 1);
  for (std::size_t i = 0; i + 1 < stop; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;  // a character, not each byte of one
    }
  }
  const std::string where = "line " + std::to_string(line) + ", column " + std::to_string(column);
  if (byte > text.size())
    return where + ": not JSON: the text ends before the document does";
  // The parser stops at a byte that is not UTF-8 as at any other; the cause is another.
  bool utf8 = true;
  try {
    Utf8ToWide(text);
  } catch (const host::RuntimeError&) {
    utf8 = false;
  }
  return where + (utf8 ? ": not JSON" : ": not UTF-8 text");
}

std::string DisplayPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

}  // namespace

CommandBarSet ParseCommandBars(std::string_view text) {
  json document;
  try {
    document = json::parse(text);
  } catch (const json::parse_error& error) {
    throw host::RuntimeError(5, NotJson(text, error.byte));
  } catch (const json::exception&) {
    throw host::RuntimeError(5, "not JSON");
  }
  if (!document.is_object())
    SchemaError("the document", "must be an object");
  json& bars = Field(document, "commandBars", "the document");
  if (!bars.is_array())
    SchemaError("the document", "\"commandBars\" must be an array");
  // A file from before PowerPoint could be closed holds a running PowerPoint's bars.
  const bool running =
      !document.contains("running") || FlagField(document, "running", "the document");
  CommandBarSet result;
  for (std::size_t i = 0; i < bars.size(); ++i) {
    json& bar = bars[i];
    const std::string at = "commandBars[" + std::to_string(i) + "]";
    if (!bar.is_object())
      SchemaError(at, "a bar must be an object");
    BarProperties p;
    p.name = WideField(bar, "name", at);
    // Optional: only a snapshot of PowerPoint in another language has it.
    if (bar.contains("nameLocal"))
      p.nameLocal = WideField(bar, "nameLocal", at);
    const std::string type = TextField(bar, "type", at);
    if (type != "menuBar" && type != "toolbar" && type != "popup") {
      SchemaError(at, "\"type\" must be \"menuBar\", \"toolbar\" or \"popup\"");
    }
    p.type = type == "menuBar" ? BarType::kMenuBar
             : type == "popup" ? BarType::kPopup
                               : BarType::kToolbar;
    p.position = NumberField(bar, "position", at);
    p.visible = FlagField(bar, "visible", at);
    p.temporary = FlagField(bar, "temporary", at);
    p.builtIn = FlagField(bar, "builtIn", at);
    // Optional: few bars are protected, and files without it stay as they were.
    if (bar.contains("protection"))
      p.protection = NumberField(bar, "protection", at);
    ReadControls(bar, result.Add(std::move(p)).controls(), at);
  }
  // A closed PowerPoint holds no temporary items, even where the file was edited by hand.
  if (!running)
    result.Close();
  return result;
}

void WriteCommandBars(const CommandBarSet& bars, std::ostream& out) {
  StateWriter writer(out);
  writer.OpenElement();
  writer.Flag("running", bars.running());
  writer.Open("commandBars", '[');
  for (std::size_t place = 1; place <= bars.size(); ++place) {
    const CommandBar& bar = bars.At(place);
    const BarProperties& p = bar.properties();
    writer.OpenElement();
    writer.Text("name", p.name);
    if (p.LocalName() != p.name)
      writer.Text("nameLocal", p.LocalName());
    writer.Text("type", BarTypeName(p.type));
    writer.Number("position", p.position);
    writer.Flag("visible", p.visible);
    writer.Flag("temporary", p.temporary);
    writer.Flag("builtIn", p.builtIn);
    if (p.protection != 0)
      writer.Number("protection", p.protection);
    WriteControls(writer, bar.controls());
    writer.Close('}');
  }
  writer.Close(']');
  writer.Close('}');
  out << '\n';
}

std::string SerializeCommandBars(const CommandBarSet& bars) {
  std::ostringstream out;
  WriteCommandBars(bars, out);
  return std::move(out).str();
}

CommandBarSet CopyCommandBars(const CommandBarSet& bars) {
  return ParseCommandBars(SerializeCommandBars(bars));
}

CommandBarSet LoadCommandBars(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::error_code ignored;
    if (!std::filesystem::exists(file, ignored))
      return BuiltInCommandBars();
    throw host::RuntimeError(host::RuntimeError::CannotCreateObject().number(),
                             "cannot read PowerPoint's command bars from " + DisplayPath(file));
  }
  std::string text;
  in.seekg(0, std::ios::end);
  text.resize(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)));
  in.seekg(0);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (!in) {
    throw host::RuntimeError(host::RuntimeError::CannotCreateObject().number(),
                             "cannot read PowerPoint's command bars from " + DisplayPath(file));
  }
  try {
    return ParseCommandBars(text);
  } catch (const host::RuntimeError& error) {
    throw host::RuntimeError(host::RuntimeError::CannotCreateObject().number(),
                             "PowerPoint's command bars in " + DisplayPath(file) +
                                 " are malformed: " + error.description());
  }
}

void SaveCommandBars(const CommandBarSet& bars, const std::filesystem::path& file) {
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  std::error_code error;
  if (file.has_parent_path())
    std::filesystem::create_directories(file.parent_path(), error);
  if (!error) {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    WriteCommandBars(bars, out);
    out.close();
    if (!out)
      error = std::make_error_code(std::errc::io_error);
  }
  if (!error)
    std::filesystem::rename(temporary, file, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw host::RuntimeError(
        host::RuntimeError::PathFileAccessError().number(),
        "cannot write PowerPoint's command bars to " + DisplayPath(file) + ": " + error.message());
  }
}

void SetPowerPointRunning(const std::filesystem::path& file, bool running) {
  CommandBarSet bars = LoadCommandBars(file);
  running ? bars.Open() : bars.Close();
  SaveCommandBars(bars, file);
}

}  // namespace tkw::command_bars
