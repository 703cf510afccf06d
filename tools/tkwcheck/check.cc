#include "tools/tkwcheck/check.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <unordered_map>

#include "faces/helper.h"
#include "host/command_bars/command_bar_state.h"
#include "host/formats/utf8.h"
#include "host/formats/windows_1252.h"
#include "host/gdi.h"
#include "host/office_interfaces.h"
#include "host/runtime_error.h"
#include "run/settings.h"
#include "tools/tkwcheck/program_view.h"

namespace tkw::check {

IconFile InspectIcon(host::Host& host, const std::wstring& windowsPath) {
  IconFile icon;
  try {
    const std::unique_ptr<host::Picture> picture = host.ole().LoadPicture(windowsPath);
    const std::int16_t type = picture->type();
    if (type != 1) {
      icon.kind = type == 3 ? IconFile::Kind::kIcon : IconFile::Kind::kOtherPicture;
      return icon;
    }
    host::Bitmap bitmap{};
    host.gdi().GetObjectA(picture->handle(), sizeof bitmap, &bitmap);
    icon.kind = IconFile::Kind::kBitmap;
    icon.width = bitmap.bmWidth;
    icon.height = bitmap.bmHeight;
  } catch (const host::RuntimeError& error) {
    icon.kind = error.number() == host::RuntimeError::FileNotFound().number()
                    ? IconFile::Kind::kMissing
                : error.number() == host::RuntimeError::InvalidPicture().number()
                    ? IconFile::Kind::kNotAPicture
                    : IconFile::Kind::kUnreadable;
  }
  return icon;
}

namespace {

using command_bars::CommandBar;
using command_bars::Control;
using command_bars::ControlType;

std::string Utf8(std::wstring_view text) {
  return formats::WideToUtf8(text);
}
std::string Utf8(std::u16string_view text) {
  return Utf8(std::wstring(text.begin(), text.end()));
}
std::string Quoted(std::wstring_view text) {
  return "'" + Utf8(text) + "'";
}
std::string Quoted(std::u16string_view text) {
  return "'" + Utf8(text) + "'";
}

// A record's fields by what they mean to the program.
enum class Role { kBar, kCaption, kMacro, kTag, kProduct, kImage, kTooltip, kMenu, kBefore };

struct FieldMeaning {
  Role role;
  const char* name;
};

constexpr FieldMeaning kToolbarFields[] = {
    {Role::kBar, "bar name"},    {Role::kCaption, "caption"}, {Role::kMacro, "macro"},
    {Role::kTag, "tag"},         {Role::kProduct, "product"}, {Role::kImage, "image name"},
    {Role::kTooltip, "tooltip"},
};
constexpr FieldMeaning kMenuFields[] = {
    {Role::kMenu, "menu name"},        {Role::kCaption, "caption"}, {Role::kMacro, "macro"},
    {Role::kBefore, "before-control"}, {Role::kProduct, "product"}, {Role::kImage, "image name"},
};

// What blanks at the edge of a field do, and how much it matters.
std::pair<Severity, std::string> BlankEffect(Role role) {
  switch (role) {
    case Role::kBar:
      return {Severity::kWarning, "a bar of that name, blank and all, is looked for and made"};
    case Role::kCaption:
      return {Severity::kWarning, "the caption shows it"};
    case Role::kMacro:
      return {Severity::kError, "no macro of that name is found when the control is clicked"};
    case Role::kTag:
      return {Severity::kWarning, "the button is recognised by that tag, blank and all"};
    case Role::kProduct:
      return {Severity::kError, "no product of that name is found, so the control gets no face"};
    case Role::kImage:
      return {Severity::kError, "no file of that name is found, so the control gets no face"};
    case Role::kTooltip:
      return {Severity::kWarning, "the tooltip shows it"};
    case Role::kMenu:
      return {Severity::kError, "no menu of that name is found, so the control is not added"};
    case Role::kBefore:
      return {Severity::kWarning, "no control of that name is found, so the control goes first"};
  }
  return {Severity::kWarning, ""};
}

// A menu of PowerPoint's own English "Menu Bar": its caption and the id it keeps in every
// language.
struct EnglishMenu {
  std::wstring caption;
  std::int32_t id;
};

// PowerPoint's English menus by their name key.
const std::unordered_map<std::wstring, EnglishMenu>& EnglishMenus() {
  static const auto menus = [] {
    std::unordered_map<std::wstring, EnglishMenu> byKey;
    const command_bars::CommandBarSet bars = command_bars::BuiltInCommandBars();
    bars.Find(host::office::kMenuBarName)->controls().VisitUntil([&](const Control& menu) {
      byKey.emplace(command_bars::NameKey(menu.properties().caption),
                    EnglishMenu{menu.properties().caption, menu.properties().id});
      return false;
    });
    return byKey;
  }();
  return menus;
}

class Checker {
 public:
  Checker(const SettingsKey* settings, const Place& whole, Machine& machine)
      : settings_(settings), whole_(whole), machine_(machine) {}

  std::vector<Finding> Run() {
    if (settings_ == nullptr) {
      Add(whole_, Severity::kWarning, "no-settings",
          "there is no key HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick: a run adds nothing");
      return std::move(findings_);
    }
    // The program asks for the switch by name, wherever the enumeration would end.
    loggingSwitch_ = settings_->Value(formats::AnsiToUtf16(settings::kLoggingValue));
    if (loggingSwitch_ != nullptr)
      CheckLogging(*loggingSwitch_, ViewOf(*loggingSwitch_));
    CheckValues(*settings_, /*menus=*/false);
    if (const auto menus = settings_->Subkey(formats::AnsiToUtf16(settings::kMenusSubkey)))
      CheckValues(*menus, /*menus=*/true);
    std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
      return std::tie(a.place.file, a.place.key, a.place.line) <
             std::tie(b.place.file, b.place.key, b.place.line);
    });
    return std::move(findings_);
  }

 private:
  // Another definition, named as briefly as it can be from `from`: by its line in the same
  // file, by its value name in the same key.
  static std::string Other(const Place& other, const Place& from) {
    if (!other.file.empty() && other.file == from.file)
      return "line " + std::to_string(other.line);
    if (other.file.empty() && other.key == from.key)
      return "the value [" + other.value + "]";
    return other.Text();
  }

  void Add(const Place& place, Severity severity, const char* rule, std::string message) {
    findings_.push_back({place, severity, std::move(message), rule});
  }

  // The values of one key in the order the builder enumerates them.
  void CheckValues(const SettingsKey& key, bool menus) {
    const std::vector<SettingsValue>& values = key.values();
    for (std::size_t i = 0; i < values.size(); ++i) {
      const SettingsValue& value = values[i];
      const ProgramView view = ViewOf(value);
      if (!view.nameFits) {
        EnumerationEnds(values, i, view);
        return;
      }
      if (view.name != settings::kLoggingValue)
        CheckDefinition(value, view, menus);
    }
  }

  void EnumerationEnds(const std::vector<SettingsValue>& values, std::size_t at,
                       const ProgramView& view) {
    // The switch is read by name all the same.
    std::vector<const SettingsValue*> neverRead;
    for (std::size_t j = at + 1; j < values.size(); ++j) {
      if (&values[j] != loggingSwitch_)
        neverRead.push_back(&values[j]);
    }
    std::string unread;
    for (const SettingsValue* value : neverRead)
      unread += (unread.empty() ? "" : ", ") + Quoted(value->name);
    Add(values[at].place, Severity::kError, "name-too-long",
        "a value name of " + std::to_string(view.name.size()) +
            " characters does not fit the program's 1023: the enumeration ends here, and " +
            (unread.empty() ? std::string("this value is never read")
                            : "this value and the ones after it are never read: " + unread));
    for (const SettingsValue* value : neverRead)
      Add(value->place, Severity::kNote, "never-read",
          "never read: the enumeration ends at the long value name before it");
  }

  void CheckLogging(const SettingsValue& value, const ProgramView& view) {
    // Read as a little-endian number of at most 4 bytes, whatever its type, then narrowed to 16
    // bits.
    if (view.data.size() > 4) {
      Add(value.place, Severity::kWarning, "logging-not-dword",
          "\"Logging\" is " + TypeName(value.type) + " of " + std::to_string(view.data.size()) +
              " bytes, which the program cannot read into its 4: logging stays off");
      return;
    }
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < view.data.size(); ++i)
      number |= static_cast<std::uint32_t>(static_cast<unsigned char>(view.data[i])) << (8 * i);
    const auto signedNumber = static_cast<std::int32_t>(number);
    const bool fits = signedNumber >= std::numeric_limits<std::int16_t>::min() &&
                      signedNumber <= std::numeric_limits<std::int16_t>::max();
    const std::string effect = !fits               ? "does not fit 16 bits, so logging stays off"
                               : signedNumber != 0 ? "turns logging on"
                                                   : "leaves logging off";
    if (value.type != formats::kRegDword) {
      Add(value.place, Severity::kWarning, "logging-not-dword",
          "\"Logging\" is " + TypeName(value.type) +
              "; the program reads its bytes as the number " + std::to_string(signedNumber) +
              ", which " + effect);
    } else if (!fits) {
      Add(value.place, Severity::kWarning, "logging-out-of-range",
          "\"Logging\" is " + std::to_string(signedNumber) + ", which " + effect +
              " (the switch holds -32768 to 32767)");
    }
  }

  void CheckDefinition(const SettingsValue& value, const ProgramView& view, bool menus) {
    const Place& place = value.place;
    if (value.name.empty()) {
      Add(place, Severity::kWarning, "default-value",
          "the key's default value is set, and the program reads it as a definition with an "
          "empty name");
    }
    if (!view.nameLost.empty()) {
      Add(place, Severity::kError, "not-windows-1252",
          "the value name holds " + Quoted(view.nameLost) +
              ", which Windows-1252 cannot hold: the program reads the name as " +
              Quoted(formats::AnsiToWide(view.name)) +
              ", which names no value, so the definition is passed over");
      return;
    }
    if (!view.dataFits) {
      Add(place, Severity::kError, "data-too-long",
          "the data is " + std::to_string(view.data.size()) +
              " bytes with its terminator, more than the program's 1024: it is passed over");
      return;
    }
    if (!formats::IsStringType(value.type)) {
      Add(place, Severity::kError, "not-a-string",
          "the value is " + TypeName(value.type) + ": its " + std::to_string(view.data.size()) +
              " bytes are read as the text of a record");
    } else if (value.type == formats::kRegExpandSz && view.data.find('%') != std::string::npos) {
      Add(place, Severity::kWarning, "not-expanded",
          "the value is an expandable string, but the program reads it as it stands: "
          "%variables% are not expanded");
    }

    const std::size_t needed = menus ? settings::kMenuFieldsNeeded : settings::kToolbarFieldsNeeded;
    const std::size_t used = menus ? settings::kMenuFieldsUsed : settings::kToolbarFieldsUsed;
    const std::vector<std::wstring>& fields = view.fields;
    if (fields.size() < needed) {
      Add(place, Severity::kError, "too-few-fields",
          std::string(menus ? "a menu" : "a toolbar") + " definition needs " +
              std::to_string(needed) + " fields and this one has " + std::to_string(fields.size()) +
              ": the program logs \"less no of args\" and adds nothing");
      return;
    }
    if (fields.size() > used) {
      // Every comma ends a field, one inside the last field the program uses too: that field
      // is cut there, and the rest of its text is fields the program ignores.
      std::wstring rest;
      for (std::size_t i = used; i < fields.size(); ++i)
        rest += (i == used ? L"" : L",") + fields[i];
      const std::string ignored =
          fields.size() == used + 1
              ? "field " + std::to_string(used + 1) + " (" + Quoted(rest) + ") is ignored"
              : "fields " + std::to_string(used + 1) + " to " + std::to_string(fields.size()) +
                    " (" + Quoted(rest) + ") are ignored";
      const FieldMeaning cut = menus ? kMenuFields[used - 1] : kToolbarFields[used - 1];
      Add(place, Severity::kWarning, "ignored-fields",
          std::string("the ") + cut.name + " is cut at the comma: " + Quoted(fields[used - 1]) +
              "; " + ignored + ": " + (menus ? "a menu" : "a toolbar") + " definition uses " +
              std::to_string(used) + " fields, and a comma always ends one");
    }
    if (!view.dataLost.empty()) {
      Add(place, Severity::kWarning, "not-windows-1252",
          "the data holds " + Quoted(view.dataLost) +
              ", which Windows-1252 cannot hold: the program reads '?' in its place");
    }

    const bool blankProduct = CheckBlanks(place, fields, menus);
    if (menus)
      CheckMenuDefinition(place, fields, blankProduct);
    else
      CheckToolbarDefinition(place, fields, blankProduct);
  }

  // Reports blanks next to a comma, and those that end the last field; true when the product
  // or image field holds any, so that the face is reported as lost already.
  bool CheckBlanks(const Place& place, const std::vector<std::wstring>& fields, bool menus) {
    bool faceLost = false;
    const std::size_t used =
        std::min(fields.size(), menus ? settings::kMenuFieldsUsed : settings::kToolbarFieldsUsed);
    for (std::size_t i = 0; i < used; ++i) {
      const std::wstring& field = fields[i];
      const bool leading = i > 0 && !field.empty() && field.front() == L' ';
      const bool trailing = !field.empty() && field.back() == L' ';
      if (!leading && !trailing)
        continue;
      const FieldMeaning meaning = menus ? kMenuFields[i] : kToolbarFields[i];
      // Only blanks before a comma, or before the stored terminator of the last field, stay.
      const bool last = i + 1 == fields.size();
      std::string where = leading && trailing ? "blanks before and after it"
                          : leading           ? "a blank after the comma before it"
                          : last              ? "blanks at its end, which the terminator keeps"
                                              : "a blank before the comma after it";
      auto [severity, effect] = BlankEffect(meaning.role);
      Add(place, severity, "blank-next-to-comma",
          "field " + std::to_string(i + 1) + " (" + meaning.name + ") is " + Quoted(field) +
              ", with " + where + ": " + effect);
      faceLost |= meaning.role == Role::kProduct || meaning.role == Role::kImage;
    }
    return faceLost;
  }

  void CheckToolbarDefinition(const Place& place, const std::vector<std::wstring>& fields,
                              bool faceReported) {
    const std::wstring& barName = fields[0];
    const std::wstring& tag = fields[3];
    const std::wstring& image = fields[5];

    CommandBar* bar = machine_.bars.Find(barName);
    if (bar == nullptr) {
      command_bars::BarProperties properties;
      properties.name = barName;
      properties.position = host::office::msoBarTop;
      properties.temporary = true;
      bar = &machine_.bars.Add(std::move(properties));
    }
    command_bars::ControlQuery query;
    query.type = ControlType::kButton;
    query.tag = tag;
    query.recursive = true;
    if (const Control* found = bar->FindControl(query)) {
      if (!ReportTaken(place, *bar, *found, fields))
        return;
    } else {
      command_bars::ControlProperties button;
      button.tag = tag;
      button.caption = fields[1];
      addedBy_[&bar->controls().Insert(bar->controls().size() + 1, std::move(button))] = place;
    }

    if (image.empty()) {
      Add(place, Severity::kWarning, "empty-image",
          "no image is named, yet the button's face is still pasted: it gets whatever the "
          "clipboard holds (the face before it, or the user's own contents)");
      return;
    }
    if (!faceReported)
      CheckFace(place, fields[4], image);
  }

  // A button with the definition's tag on its bar: one that a run of this definition added, or
  // another, which keeps the definition's from being added. True when it is the definition's
  // own, whose definition is then judged on as a run on a fresh machine would meet it.
  bool ReportTaken(const Place& place, const CommandBar& bar, const Control& found,
                   const std::vector<std::wstring>& fields) {
    const std::wstring& tag = fields[3];
    const std::string barName = (bar.properties().builtIn ? "PowerPoint's bar " : "the bar ") +
                                Quoted(bar.properties().name);
    std::string where;
    if (found.parent().owner() != nullptr)
      where = " in its pop-up " + Quoted(found.parent().owner()->properties().caption);
    if (const auto earlier = addedBy_.find(&found); earlier != addedBy_.end()) {
      Add(place, Severity::kWarning, "duplicate-tag",
          barName + " already holds the button with tag " + Quoted(tag) + " that " +
              Other(earlier->second, place) + " adds: this one is never added");
      return false;
    }
    const command_bars::ControlProperties& there = found.properties();
    if (!there.builtIn && there.caption == fields[1] && there.onAction == fields[2]) {
      Add(place, Severity::kNote, "already-there",
          "already there: " + barName + " holds this definition's button " + Quoted(there.caption) +
              " with tag " + Quoted(tag) + where + ", which a run added; a run leaves it as it is");
      addedBy_[&found] = place;
      return true;
    }
    Add(place, Severity::kWarning, "tag-taken",
        barName + " already holds a button " + Quoted(there.caption) + " with tag " + Quoted(tag) +
            where + ": this one is never added, nor is that one changed");
    return false;
  }

  void CheckMenuDefinition(const Place& place, const std::vector<std::wstring>& fields,
                           bool faceReported) {
    const auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : L""; };
    const std::wstring menuName = fields[0];
    const std::wstring caption = fields[1];
    const std::wstring before = field(3);
    const std::wstring image = field(5);

    Control* menu = nullptr;
    CommandBar* menuBar = machine_.bars.Find(host::office::kMenuBarName);
    if (menuBar != nullptr)
      menu = menuBar->controls().FindByCaption(menuName);
    const auto english = EnglishMenus().find(command_bars::NameKey(menuName));
    const bool namesEnglishMenu = english != EnglishMenus().end();
    if (menu == nullptr || menu->type() != ControlType::kPopup) {
      if (menuName.empty() || (menuName.front() != L' ' && menuName.back() != L' ')) {
        std::string message = "PowerPoint's \"Menu Bar\" has no menu " + Quoted(menuName) +
                              ": the program logs \"Menu not found\" and adds nothing";
        // The same command keeps its id in every language.
        if (const Control* local = namesEnglishMenu && menuBar != nullptr
                                       ? MenuWithId(*menuBar, english->second.id)
                                       : nullptr) {
          message += "; in this PowerPoint the menu " + Quoted(english->second.caption) + " is " +
                     Quoted(local->properties().caption);
        }
        Add(place, Severity::kError, "menu-not-found", std::move(message));
        NoteLanguage(place);
      }
      return;
    }
    if (namesEnglishMenu)
      NoteLanguage(place);
    command_bars::ControlList& controls = *menu->controls();
    Control* existing = controls.FindByCaption(caption);
    if (existing != nullptr && existing->type() == ControlType::kButton) {
      if (const auto earlier = addedBy_.find(existing); earlier != addedBy_.end()) {
        Add(place, Severity::kWarning, "replaced",
            "the menu " + Quoted(menuName) + " gets the control " + Quoted(caption) + " from " +
                Other(earlier->second, place) + " already: this one replaces it");
        addedBy_.erase(earlier);
      } else {
        CheckReplacesBuiltIn(place, menuName, caption, existing);
      }
      controls.Remove(*existing);
    } else if (existing == nullptr) {
      CheckReplacesBuiltIn(place, menuName, caption, nullptr);
    }
    std::size_t placeInMenu = 1;
    if (!before.empty()) {
      const Control* beforeControl = controls.FindByCaption(before);
      if (command_bars::NameKey(before) == command_bars::NameKey(caption)) {
        Add(place, Severity::kWarning, "before-is-caption",
            "the before-control " + Quoted(before) +
                " is the control itself, which is removed first: the control goes first");
      } else if (beforeControl == nullptr || beforeControl->type() != ControlType::kButton) {
        if (before.front() != L' ' && before.back() != L' ') {
          Add(place, Severity::kWarning, "before-not-found",
              "the menu " + Quoted(menuName) + " has no button " + Quoted(before) +
                  " to stand before: the control goes first");
        }
      } else {
        placeInMenu = beforeControl->Index();
      }
    }
    command_bars::ControlProperties button;
    button.caption = caption;
    addedBy_[&controls.Insert(placeInMenu, std::move(button))] = place;

    if (!image.empty() && !faceReported)
      CheckFace(place, field(4), image);
  }

  static const Control* MenuWithId(const CommandBar& menuBar, std::int32_t id) {
    const Control* found = nullptr;
    menuBar.controls().VisitUntil([&](const Control& control) {
      if (control.type() == ControlType::kPopup && control.properties().id == id)
        found = &control;
      return found != nullptr;
    });
    return found;
  }

  // Said once, where a menu definition names an English menu or a menu that is not there, and
  // the bars are not a snapshot of the PowerPoint the definitions are for.
  void NoteLanguage(const Place& place) {
    if (machine_.snapshot || languageNoted_)
      return;
    languageNoted_ = true;
    Add(place, Severity::kNote, "menu-language",
        "menus are found by their caption in PowerPoint's language, so in a German PowerPoint "
        "'&Tools' is 'E&xtras': to judge against your customers' PowerPoint, take a snapshot "
        "there with tkwcheck --snapshot FILE and give it here with --powerpoint FILE");
  }

  // Said once, at the first definition whose icon would be looked at, where there are no files.
  void NoteIconsNotChecked(const Place& place) {
    if (iconsNoted_)
      return;
    iconsNoted_ = true;
    Add(place, Severity::kNote, "icons-not-checked",
        "icons were not looked at: an export holds no files. To have them checked, check a "
        "machine where the product is installed: tkwcheck --prefix DIR (an emulated machine on "
        "Linux), or tkwcheck.exe without FILE.reg there (Windows)");
  }

  // A caption that finds one of PowerPoint's own buttons in the menu: the program deletes it
  // with Temporary omitted, which lasts, and its own control, which takes the place, is
  // temporary. Where a run has done so already, or the user has, PowerPoint's own bars tell
  // what was there.
  void CheckReplacesBuiltIn(const Place& place, const std::wstring& menuName,
                            const std::wstring& caption, const Control* existing) {
    const Control* own = existing;
    if (own == nullptr || !own->properties().builtIn) {
      const CommandBar* menuBar = powerPointsOwn_.Find(host::office::kMenuBarName);
      const Control* menu = menuBar ? menuBar->controls().FindByCaption(menuName) : nullptr;
      own = menu && menu->controls() ? menu->controls()->FindByCaption(caption) : nullptr;
    }
    if (own == nullptr || !own->properties().builtIn || own->type() != ControlType::kButton)
      return;
    Add(place, Severity::kError, "replaces-builtin",
        "the caption is that of PowerPoint's own " + Quoted(own->properties().caption) +
            " in the menu " + Quoted(menuName) +
            ", which the program deletes for good to put this control in its place: it stays "
            "gone once this control goes when PowerPoint closes, until tkwremove puts it back");
  }

  // The product's install folder and the icon below it.
  void CheckFace(const Place& place, const std::wstring& product, const std::wstring& image) {
    const std::u16string productName(product.begin(), product.end());
    const auto productKey = settings_->Subkey(productName);
    const SettingsValue* folderValue =
        productKey ? productKey->Value(formats::AnsiToUtf16(settings::kInstallFolderValue))
                   : nullptr;
    const std::string noFace = ": the icon path becomes the relative " +
                               Quoted(settings::IconFileName(L"", image)) +
                               " and the control gets no face";
    if (!productKey) {
      Add(place, Severity::kError, "no-product",
          "there is no key SOFTWARE\\Tarnwick\\" + Utf8(product) + " for the product " +
              Quoted(product) + noFace);
      return;
    }
    if (folderValue == nullptr) {
      Add(place, Severity::kError, "no-install-folder",
          "the product " + Quoted(product) + " has no \"InstallFolder\"" + noFace);
      return;
    }
    const ProgramView folderView = ViewOf(*folderValue);
    if (folderView.data.size() > settings::kBufferSize) {
      Add(place, Severity::kError, "no-install-folder",
          "the product " + Quoted(product) + "'s \"InstallFolder\" is " +
              std::to_string(folderView.data.size()) + " bytes, more than the program reads" +
              noFace);
      return;
    }
    std::wstring folder = formats::AnsiToWide(folderView.data);
    folder.resize(std::min(folder.size(), folder.find(L'\0')));
    if (!settings::AppendSlash(folder)) {
      Add(place, Severity::kError, "no-install-folder",
          "the product " + Quoted(product) + "'s \"InstallFolder\" is empty" + noFace);
      return;
    }
    if (machine_.files == nullptr) {
      NoteIconsNotChecked(place);
      return;
    }
    const std::wstring path = settings::IconFileName(folder, image);
    const IconFile icon = InspectIcon(*machine_.files, path);
    const std::string what = "the icon " + Quoted(path);
    switch (icon.kind) {
      case IconFile::Kind::kBitmap:
        if (icon.width > helper::kLargestMaskSide || icon.height > helper::kLargestMaskSide) {
          Add(place, Severity::kWarning, "no-mask",
              what + " is " + std::to_string(icon.width) + " x " + std::to_string(icon.height) +
                  " pixels, more than 30000 on a side: it gets no mask, so its white shows");
        }
        return;
      case IconFile::Kind::kMissing:
        Add(place, Severity::kError, "icon-missing", what + " does not exist: no face");
        return;
      case IconFile::Kind::kUnreadable:
        Add(place, Severity::kError, "icon-unreadable",
            what + " cannot be read as a file: no face");
        return;
      case IconFile::Kind::kNotAPicture:
        Add(place, Severity::kError, "not-a-picture", what + " is not a picture: no face");
        return;
      case IconFile::Kind::kIcon:
        Add(place, Severity::kError, "icon-not-bitmap",
            what + " is an icon, not a bitmap: only bitmaps give a face");
        return;
      case IconFile::Kind::kOtherPicture:
        Add(place, Severity::kError, "icon-not-bitmap",
            what + " is a picture but not a bitmap: only bitmaps give a face");
        return;
    }
  }

  const SettingsKey* settings_;
  const SettingsValue* loggingSwitch_ = nullptr;  // the value the program reads as the switch
  Place whole_;
  Machine& machine_;
  // What PowerPoint's menus hold before any run.
  const command_bars::CommandBarSet powerPointsOwn_ = command_bars::BuiltInCommandBars();
  std::vector<Finding> findings_;
  bool languageNoted_ = false;
  bool iconsNoted_ = false;
  // The controls that the definitions checked so far add, by the definition that adds them.
  std::unordered_map<const Control*, Place> addedBy_;
};

}  // namespace

std::vector<Finding> CheckSettings(const SettingsKey* settings, const Place& whole,
                                   Machine& machine) {
  return Checker(settings, whole, machine).Run();
}

}  // namespace tkw::check
