#include "host/emulated_windows/powerpoint/powerpoint_application.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "host/command_bars/command_bar_state.h"
#include "host/emulated_windows/powerpoint/automation_call.h"
#include "host/formats/base64.h"
#include "host/formats/utf8.h"
#include "host/gdi.h"
#include "host/office_interfaces.h"

namespace tkw::emulated {

using command_bars::BarProperties;
using command_bars::BarType;
using command_bars::BuiltInCommandBars;
using command_bars::ButtonFace;
using command_bars::CommandBar;
using command_bars::CommandBarSet;
using command_bars::Control;
using command_bars::ControlCopy;
using command_bars::ControlList;
using command_bars::ControlProperties;
using command_bars::ControlQuery;
using command_bars::ControlType;
using command_bars::kMaxPopupDepth;
using command_bars::LoadCommandBars;
using command_bars::SaveCommandBars;
using command_bars::SetPowerPointRunning;
using formats::DecodeBase64;
using formats::EncodeBase64;
using formats::WideToUtf8;
namespace {

using host::DispatchPtr;
using host::InterfaceId;
using host::InvokeKind;
using host::kIidDispatch;
using host::kIidUnknown;
using host::RuntimeError;
using host::Variant;
namespace office = host::office;

constexpr int kInvalidArgument = 5;
constexpr int kOutOfMemory = 7;
constexpr int kAutomationError = 440;       // a reference to an object that is gone
constexpr std::int32_t kBarFloating = 4;    // msoBarFloating, Add's default position
constexpr std::int32_t kBarTypeNormal = 0;  // MsoBarType
constexpr std::int32_t kBarTypeMenuBar = 1;
constexpr std::int32_t kBarTypePopup = 2;
constexpr std::int32_t kBarNoCustomize = 1;   // MsoBarProtection: its controls stay as they are
constexpr std::int32_t kCustomControlId = 1;  // Add's Id for a control of a program's own

void RefuseCustomizing(const AutomationCall& call, const CommandBar& bar) {
  if (bar.properties().protection & kBarNoCustomize)
    throw call.Failure(kInvalidArgument, "the command bar is protected");
}

// The fields of a packed DIB that decide whether PowerPoint can draw it.
struct PackedDib {
  std::int64_t width = 0, rows = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
};

std::uint32_t U32(std::span<const std::uint8_t> block, std::size_t at) {
  return static_cast<std::uint32_t>(block[at]) | static_cast<std::uint32_t>(block[at + 1]) << 8 |
         static_cast<std::uint32_t>(block[at + 2]) << 16 |
         static_cast<std::uint32_t>(block[at + 3]) << 24;
}
std::uint16_t U16(std::span<const std::uint8_t> block, std::size_t at) {
  return static_cast<std::uint16_t>(block[at] | block[at + 1] << 8);
}

// A BITMAPINFOHEADER (or a V4 or V5 header), its bit-field masks, its colour table and every
// row of its pixels, all within `block`; `what` names the block in the error.
PackedDib ReadPackedDib(std::span<const std::uint8_t> block, const AutomationCall& call,
                        const std::string& what) {
  const auto refuse = [&](const std::string& why) {
    return call.Failure(kInvalidArgument, what + " is not a packed bitmap: " + why);
  };
  constexpr std::size_t kInfoHeaderSize = 40;
  if (block.size() < kInfoHeaderSize)
    throw refuse(std::to_string(block.size()) + " bytes are too few for its header");
  const std::uint32_t headerSize = U32(block, 0);
  if (headerSize != kInfoHeaderSize && headerSize != 108 && headerSize != 124)
    throw refuse("its header size is " + std::to_string(headerSize));
  PackedDib dib;
  dib.width = static_cast<std::int32_t>(U32(block, 4));
  const std::int64_t height = static_cast<std::int32_t>(U32(block, 8));
  dib.rows = height < 0 ? -height : height;
  dib.bitCount = U16(block, 14);
  dib.compression = U32(block, 16);
  const std::uint32_t colorsUsed = U32(block, 32);
  if (dib.width < 1 || dib.rows < 1 || U16(block, 12) != 1)
    throw refuse("its width, height or planes are out of range");
  const bool fewColors = dib.bitCount == 1 || dib.bitCount == 4 || dib.bitCount == 8;
  const bool manyColors = dib.bitCount == 16 || dib.bitCount == 24 || dib.bitCount == 32;
  if (!fewColors && !manyColors)
    throw refuse(std::to_string(dib.bitCount) + " bits per pixel");
  if (dib.compression != host::kBiRgb &&
      !(dib.compression == host::kBiBitfields && (dib.bitCount == 16 || dib.bitCount == 32)))
    throw refuse("compression " + std::to_string(dib.compression));
  if (fewColors && colorsUsed > (1u << dib.bitCount))
    throw refuse(std::to_string(colorsUsed) + " colours in its table");
  const std::uint64_t before =
      host::PackedDibRowsOffset(headerSize, dib.compression, dib.bitCount, colorsUsed);
  const std::uint64_t stride = host::DibStride(static_cast<std::uint64_t>(dib.width), dib.bitCount);
  if (before > block.size() ||
      (block.size() - before) / stride < static_cast<std::uint64_t>(dib.rows))
    throw refuse("its " + std::to_string(block.size()) + " bytes end before its last row");
  return dib;
}

void CheckMask(const PackedDib& mask, const PackedDib& face, const AutomationCall& call) {
  if (mask.bitCount != 1 || mask.width != face.width || mask.rows != face.rows) {
    throw call.Failure(kInvalidArgument,
                       "the mask is not a 1-bit bitmap of the face's width and height");
  }
}

}  // namespace

// Every object of the model is reached only through the session, so it lives as long as any
// of them; its end is the moment PowerPoint's state is saved, and PowerPoint closes when no
// user had it open.
class PowerPointSession {
 public:
  PowerPointSession(std::filesystem::path file, host::Clipboard& clipboard,
                    host::GlobalMemory& memory)
      : file_(std::move(file)),
        bars_(LoadCommandBars(file_)),
        startedForTheCall_(!bars_.running()),
        wasRunning_(bars_.running()),
        clipboard_(clipboard),
        memory_(memory) {
    bars_.Open();
  }
  PowerPointSession(const PowerPointSession&) = delete;
  PowerPointSession& operator=(const PowerPointSession&) = delete;

  ~PowerPointSession() {
    if (startedForTheCall_)
      bars_.Close();
    // A PowerPoint that was only looked at leaves its file as it was.
    if (!changed_ && bars_.running() == wasRunning_)
      return;
    try {
      SaveCommandBars(bars_, file_);
    } catch (const RuntimeError& error) {
      // A release cannot fail; the state of this run is lost, which the user has to hear of.
      std::cerr << "PowerPoint.Application: " << error.description() << '\n';
    }
  }

  CommandBarSet& bars() { return bars_; }
  void StayOpen(bool open) { startedForTheCall_ = !open; }
  // A call is about to change the bars: the state is saved at the end.
  void Changed() { changed_ = true; }

  // "Toolbar Button Face" with "Toolbar Button Mask", or CF_DIB alone when there is no face;
  // only a packed bitmap, and a mask of its size, make a face.
  ButtonFace FaceFromClipboard(const AutomationCall& call) {
    OpenClipboard open(clipboard_, call);
    if (host::Handle face = FormatData("Toolbar Button Face")) {
      const Block faceBlock(memory_, face, call);
      const PackedDib faceDib = ReadPackedDib(faceBlock.bytes(), call, "the face");
      ButtonFace result{EncodeBase64(faceBlock.bytes()), std::nullopt};
      if (host::Handle mask = FormatData("Toolbar Button Mask")) {
        const Block maskBlock(memory_, mask, call);
        CheckMask(ReadPackedDib(maskBlock.bytes(), call, "the mask"), faceDib, call);
        result.mask = EncodeBase64(maskBlock.bytes());
      }
      return result;
    }
    if (host::Handle dib = clipboard_.GetClipboardData(host::kCfDib)) {
      const Block dibBlock(memory_, dib, call);
      ReadPackedDib(dibBlock.bytes(), call, "the CF_DIB data");
      return {EncodeBase64(dibBlock.bytes()), std::nullopt};
    }
    throw call.Failure(kInvalidArgument, "the clipboard holds no button face");
  }

  // The clipboard then holds the face as CF_DIB and "Toolbar Button Face", with its mask, which
  // PasteFace takes back.
  void FaceToClipboard(const ButtonFace& face, const AutomationCall& call) {
    OpenClipboard open(clipboard_, call);
    clipboard_.EmptyClipboard();
    const std::vector<std::uint8_t> dib = DecodeBase64(face.dib);
    Place(host::kCfDib, dib, call);
    Place(clipboard_.RegisterClipboardFormatA("Toolbar Button Face"), dib, call);
    if (face.mask)
      Place(clipboard_.RegisterClipboardFormatA("Toolbar Button Mask"), DecodeBase64(*face.mask),
            call);
  }

 private:
  class OpenClipboard {
   public:
    OpenClipboard(host::Clipboard& clipboard, const AutomationCall& call) : clipboard_(clipboard) {
      if (!clipboard_.OpenClipboard(0)) {
        throw call.Failure(RuntimeError::CannotOpenClipboard().number(), "Can't open Clipboard");
      }
    }
    ~OpenClipboard() { clipboard_.CloseClipboard(); }
    OpenClipboard(const OpenClipboard&) = delete;
    OpenClipboard& operator=(const OpenClipboard&) = delete;

   private:
    host::Clipboard& clipboard_;
  };

  // A clipboard block, locked while it is read.
  class Block {
   public:
    Block(host::GlobalMemory& memory, host::Handle block, const AutomationCall& call)
        : memory_(memory), block_(block) {
      data_ = static_cast<const std::uint8_t*>(memory_.GlobalLock(block));
      if (data_ == nullptr)
        throw call.Failure(kInvalidArgument, "the clipboard data cannot be read");
      size_ = memory_.GlobalSize(block);
    }
    ~Block() { memory_.GlobalUnlock(block_); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    std::span<const std::uint8_t> bytes() const { return {data_, size_}; }

   private:
    host::GlobalMemory& memory_;
    host::Handle block_;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
  };

  void Place(unsigned format, std::span<const std::uint8_t> bytes, const AutomationCall& call) {
    const host::Handle block =
        memory_.GlobalAlloc(host::kGmemMoveable | host::kGmemShare, bytes.size());
    void* data = block == 0 ? nullptr : memory_.GlobalLock(block);
    if (data == nullptr) {
      if (block != 0)
        memory_.GlobalFree(block);
      throw call.Failure(kOutOfMemory, "no memory for the face");
    }
    std::memcpy(data, bytes.data(), bytes.size());
    memory_.GlobalUnlock(block);
    if (format == 0 || clipboard_.SetClipboardData(format, block) == 0) {
      memory_.GlobalFree(block);
      throw call.Failure(kAutomationError, "the clipboard refused the face");
    }
  }

  host::Handle FormatData(const char* name) {
    const unsigned format = clipboard_.RegisterClipboardFormatA(name);
    return format == 0 ? 0 : clipboard_.GetClipboardData(format);
  }

  std::filesystem::path file_;
  CommandBarSet bars_;
  bool startedForTheCall_;
  bool wasRunning_;
  bool changed_ = false;
  host::Clipboard& clipboard_;
  host::GlobalMemory& memory_;
};

namespace {

using SessionPtr = std::shared_ptr<PowerPointSession>;

DispatchPtr NewControlObject(SessionPtr session, Control& control);

// A bar's controls, or a pop-up's; the bar or the pop-up may be deleted while this is held.
class ControlsObject final : public host::Dispatch {
 public:
  ControlsObject(SessionPtr session, CommandBar& bar)
      : session_(std::move(session)), bar_(bar.weak_from_this()) {}
  ControlsObject(SessionPtr session, Control& popup)
      : session_(std::move(session)), popup_(popup.weak_from_this()) {}

  bool Supports(const InterfaceId& iid) override {
    return iid == office::kIidCommandBarControls || iid == kIidDispatch || iid == kIidUnknown;
  }

  Variant Invoke(const host::Member& member, InvokeKind kind,
                 std::span<const Variant> args) override {
    const AutomationCall call("CommandBarControls", *this, member, kind, args);
    const std::shared_ptr<CommandBar> bar = bar_.lock();
    const std::shared_ptr<Control> popup = popup_.lock();
    if (bar == nullptr && popup == nullptr) {
      throw call.Failure(kAutomationError, "the bar or pop-up was deleted");
    }
    ControlList& list = bar != nullptr ? bar->controls() : *popup->controls();

    if (call.IsReadOnly(L"Count"))
      return static_cast<std::int32_t>(list.size());
    if (call.IsMethod(L"Item", 1))
      return NewControlObject(session_, Item(call, list));
    if (call.IsMethod(L"Add", 5)) {
      session_->Changed();
      return NewControlObject(session_, Add(call, list, session_->bars()));
    }
    throw call.UnknownMember();
  }

 private:
  static Control& Item(const AutomationCall& call, const ControlList& list) {
    const auto index = call.Required(call.TextOrNumber(0, "Index"), "Index");
    if (const auto* caption = std::get_if<std::wstring>(&index)) {
      if (Control* found = list.FindByCaption(*caption))
        return *found;
      throw call.Failure(kInvalidArgument,
                         "no control answers to \"" + WideToUtf8(*caption) + "\"");
    }
    const std::int32_t place = std::get<std::int32_t>(index);
    if (place < 1 || static_cast<std::size_t>(place) > list.size()) {
      throw call.Failure(kInvalidArgument, "index " + std::to_string(place) + " is out of range");
    }
    return list.At(static_cast<std::size_t>(place));
  }

  static Control& Add(const AutomationCall& call, ControlList& list, const CommandBarSet& bars) {
    RefuseCustomizing(call, list.bar());
    const std::optional<std::int32_t> type = call.Number(0, "Type");
    if (type && *type != office::msoControlButton && *type != office::msoControlPopup)
      throw call.Failure(kInvalidArgument, "only buttons and pop-ups can be added");
    const std::int32_t id = call.Number(1, "Id").value_or(kCustomControlId);
    // Parameter (2) only passes data to a built-in command; check its type and drop it.
    call.TextOrNumber(2, "Parameter");
    const std::int32_t before =
        call.Number(3, "Before").value_or(static_cast<std::int32_t>(list.size() + 1));
    if (before < 1 || static_cast<std::size_t>(before) > list.size() + 1) {
      throw call.Failure(kInvalidArgument, "Before " + std::to_string(before) + " is out of range");
    }
    ControlCopy added;
    if (id == kCustomControlId) {
      added.properties.type =
          type == office::msoControlPopup ? ControlType::kPopup : ControlType::kButton;
    } else {
      added = BuiltInCommand(call, bars, id, type);
    }
    if (NestingOf(added) + list.depth() > kMaxPopupDepth)
      throw call.Failure(kInvalidArgument, "pop-ups cannot nest deeper");
    added.properties.temporary = call.Flag(4, "Temporary").value_or(false);
    return list.InsertCopy(static_cast<std::size_t>(before), added);
  }

  // A new control of PowerPoint's command `id`, as Office makes one: built in, with the
  // command's Id and caption, and for a menu its commands. The command is known by PowerPoint's
  // own controls, those it has now first, else those of a fresh installation.
  static ControlCopy BuiltInCommand(const AutomationCall& call, const CommandBarSet& bars,
                                    std::int32_t id, std::optional<std::int32_t> type) {
    static const CommandBarSet kFresh = BuiltInCommandBars();
    const Control* command = bars.FindCommand(id);
    if (command == nullptr)
      command = kFresh.FindCommand(id);
    if (command == nullptr)
      throw call.Failure(kInvalidArgument,
                         "there is no built-in control with Id " + std::to_string(id));
    if (type && *type != static_cast<std::int32_t>(command->type()))
      throw call.Failure(kInvalidArgument, "the built-in control with Id " + std::to_string(id) +
                                               " is of another type");
    return Fresh(CopyOf(*command));
  }

  // The command as PowerPoint first shows it: none of a program's settings, nothing
  // deleted from it.
  static ControlCopy Fresh(ControlCopy copy) {
    const ControlProperties& p = copy.properties;
    ControlCopy fresh;
    fresh.properties.type = p.type;
    fresh.properties.id = p.id;
    fresh.properties.caption = p.caption;
    fresh.properties.builtIn = true;
    for (ControlCopy& child : copy.controls) {
      if (child.properties.builtIn)
        fresh.controls.push_back(Fresh(std::move(child)));
    }
    return fresh;
  }

  // How many pop-ups deep `copy` goes: 0 for a button.
  static int NestingOf(const ControlCopy& copy) {
    int deepest = 0;
    for (const ControlCopy& child : copy.controls)
      deepest = std::max(deepest, NestingOf(child));
    return copy.properties.type == ControlType::kPopup ? deepest + 1 : 0;
  }

  SessionPtr session_;
  std::weak_ptr<CommandBar> bar_;
  std::weak_ptr<Control> popup_;
};

// A button or a pop-up. A deleted control's reference fails on every use.
class ControlObject final : public host::Dispatch {
 public:
  ControlObject(SessionPtr session, Control& control)
      : session_(std::move(session)), control_(control.weak_from_this()), type_(control.type()) {}

  // Other kinds of control (a snapshot's combo boxes) answer only as controls.
  bool Supports(const InterfaceId& iid) override {
    return (type_ == ControlType::kButton && iid == office::kIidCommandBarButton) ||
           (type_ == ControlType::kPopup && iid == office::kIidCommandBarPopup) ||
           iid == office::kIidCommandBarControl || iid == kIidDispatch || iid == kIidUnknown;
  }

  Variant Invoke(const host::Member& member, InvokeKind kind,
                 std::span<const Variant> args) override {
    const AutomationCall call(type_ == ControlType::kButton  ? "CommandBarButton"
                              : type_ == ControlType::kPopup ? "CommandBarPopup"
                                                             : "CommandBarControl",
                              *this, member, kind, args);
    const std::shared_ptr<Control> control = control_.lock();
    if (control == nullptr) {
      throw call.Failure(kAutomationError, "the control was deleted");
    }
    const ControlProperties& p = control->properties();
    // What is written, deleted or pasted is saved; what is only read is not.
    if (call.writing() || call.IsMethod(L"Delete", 1) || call.IsMethod(L"PasteFace", 0))
      session_->Changed();

    if (call.IsProperty(L"Caption")) {
      if (!call.writing())
        return p.caption;
      control->SetCaption(call.NewText());
    } else if (call.IsProperty(L"OnAction")) {
      if (!call.writing())
        return p.onAction;
      control->SetOnAction(call.NewText());
    } else if (call.IsProperty(L"Tag")) {
      if (!call.writing())
        return p.tag;
      control->SetTag(call.NewText());
    } else if (call.IsProperty(L"TooltipText")) {
      // The caption is the ScreenTip until a tooltip of its own is set.
      if (!call.writing())
        return p.tooltipText.empty() ? p.caption : p.tooltipText;
      control->SetTooltipText(call.NewText());
    } else if (call.IsReadOnly(L"Index")) {
      return static_cast<std::int32_t>(control->Index());
    } else if (call.IsReadOnly(L"Type")) {
      return static_cast<std::int32_t>(p.type);
    } else if (call.IsReadOnly(L"Id")) {
      return p.id;
    } else if (call.IsReadOnly(L"BuiltIn")) {
      return p.builtIn;
    } else if (call.IsReadOnly(L"Visible")) {
      return p.visible;
    } else if (call.IsMethod(L"Delete", 1)) {
      // Omitted or false, the deletion lasts; true, the control is back at the next start.
      const bool forTheSession = call.Flag(0, "Temporary").value_or(false);
      RefuseCustomizing(call, control->parent().bar());
      if (forTheSession)
        control->parent().RemoveForTheSession(*control);
      else
        control->parent().Remove(*control);
    } else if (type_ == ControlType::kButton) {
      return InvokeButton(call, *control);
    } else if (type_ == ControlType::kPopup) {
      return InvokePopup(call, *control);
    } else {
      throw call.UnknownMember();
    }
    return {};
  }

 private:
  Variant InvokeButton(const AutomationCall& call, Control& button) {
    if (call.IsProperty(L"Style")) {
      if (!call.writing())
        return button.properties().style;
      button.SetStyle(call.NewNumber());
    } else if (call.IsMethod(L"PasteFace", 0)) {
      button.SetFace(session_->FaceFromClipboard(call));
    } else if (call.IsMethod(L"CopyFace", 0)) {
      if (!button.properties().face)
        throw call.Failure(kAutomationError, "the button has no face");
      session_->FaceToClipboard(*button.properties().face, call);
    } else {
      throw call.UnknownMember();
    }
    return {};
  }

  Variant InvokePopup(const AutomationCall& call, Control& popup) {
    if (call.IsReadOnly(L"Controls"))
      return std::make_shared<ControlsObject>(session_, popup);
    throw call.UnknownMember();
  }

  SessionPtr session_;
  std::weak_ptr<Control> control_;
  ControlType type_;
};

DispatchPtr NewControlObject(SessionPtr session, Control& control) {
  return std::make_shared<ControlObject>(std::move(session), control);
}

// A bar; a deleted bar's reference fails on every use.
class CommandBarObject final : public host::Dispatch {
 public:
  CommandBarObject(SessionPtr session, CommandBar& bar)
      : session_(std::move(session)), bar_(bar.weak_from_this()) {}

  bool Supports(const InterfaceId& iid) override {
    return iid == office::kIidCommandBar || iid == kIidDispatch || iid == kIidUnknown;
  }

  Variant Invoke(const host::Member& member, InvokeKind kind,
                 std::span<const Variant> args) override {
    const AutomationCall call("CommandBar", *this, member, kind, args);
    const std::shared_ptr<CommandBar> bar = bar_.lock();
    if (bar == nullptr)
      throw call.Failure(kAutomationError, "the command bar was deleted");
    const BarProperties& p = bar->properties();
    if (call.writing() || call.IsMethod(L"Delete", 0))
      session_->Changed();
    if (call.IsReadOnly(L"Controls"))
      return std::make_shared<ControlsObject>(session_, *bar);
    if (call.IsMethod(L"FindControl", 5))
      return FindControl(call, *bar);
    if (call.IsProperty(L"Visible")) {
      if (!call.writing())
        return p.visible;
      bar->SetVisible(call.NewFlag());
      return {};
    }
    if (call.IsReadOnly(L"BuiltIn"))
      return p.builtIn;
    if (call.IsReadOnly(L"Protection"))
      return p.protection;
    if (call.IsMethod(L"Delete", 0)) {
      // PowerPoint keeps its own bars; only the ones added to it can go.
      if (p.builtIn)
        throw call.Failure(kInvalidArgument, "a built-in command bar cannot be deleted");
      RefuseCustomizing(call, *bar);
      session_->bars().Remove(*bar);
      return {};
    }
    if (call.IsReadOnly(L"Name"))
      return p.name;
    if (call.IsReadOnly(L"NameLocal"))
      return p.LocalName();
    if (call.IsReadOnly(L"Type")) {
      return p.type == BarType::kMenuBar ? kBarTypeMenuBar
             : p.type == BarType::kPopup ? kBarTypePopup
                                         : kBarTypeNormal;
    }
    if (call.IsReadOnly(L"Position"))
      return p.position;
    throw call.UnknownMember();
  }

 private:
  // Nothing when no control matches.
  DispatchPtr FindControl(const AutomationCall& call, const CommandBar& bar) {
    ControlQuery query;
    if (const auto type = call.Number(0, "Type")) {
      if (*type < 0 || *type > std::numeric_limits<std::int16_t>::max())
        return nullptr;
      query.type = static_cast<ControlType>(*type);
    }
    query.id = call.Number(1, "Id");
    query.tag = call.Text(2, "Tag");
    query.visibleOnly = call.Flag(3, "Visible").value_or(false);
    query.recursive = call.Flag(4, "Recursive").value_or(false);
    Control* found = bar.FindControl(query);
    return found == nullptr ? nullptr : NewControlObject(session_, *found);
  }

  SessionPtr session_;
  std::weak_ptr<CommandBar> bar_;
};

class CommandBarsObject final : public host::Dispatch {
 public:
  explicit CommandBarsObject(SessionPtr session) : session_(std::move(session)) {}

  bool Supports(const InterfaceId& iid) override {
    return iid == office::kIidCommandBars || iid == kIidDispatch || iid == kIidUnknown;
  }

  Variant Invoke(const host::Member& member, InvokeKind kind,
                 std::span<const Variant> args) override {
    const AutomationCall call("CommandBars", *this, member, kind, args);
    CommandBarSet& bars = session_->bars();
    if (call.IsReadOnly(L"Count"))
      return static_cast<std::int32_t>(bars.size());
    if (call.IsMethod(L"Item", 1))
      return Wrap(Item(call, bars));
    if (call.IsMethod(L"Add", 4)) {
      session_->Changed();
      return Wrap(Add(call, bars));
    }
    throw call.UnknownMember();
  }

 private:
  DispatchPtr Wrap(CommandBar& bar) { return std::make_shared<CommandBarObject>(session_, bar); }

  static CommandBar& Item(const AutomationCall& call, const CommandBarSet& bars) {
    const auto index = call.Required(call.TextOrNumber(0, "Index"), "Index");
    if (const auto* name = std::get_if<std::wstring>(&index)) {
      if (CommandBar* found = bars.Find(*name))
        return *found;
      throw call.Failure(kInvalidArgument, "there is no command bar \"" + WideToUtf8(*name) + "\"");
    }
    const std::int32_t place = std::get<std::int32_t>(index);
    if (place < 1 || static_cast<std::size_t>(place) > bars.size()) {
      throw call.Failure(kInvalidArgument, "index " + std::to_string(place) + " is out of range");
    }
    return bars.At(static_cast<std::size_t>(place));
  }

  static CommandBar& Add(const AutomationCall& call, CommandBarSet& bars) {
    BarProperties properties;
    properties.name = call.Text(0, "Name").value_or(UnusedName(bars));
    if (bars.Find(properties.name) != nullptr) {
      throw call.Failure(kInvalidArgument,
                         "a command bar named \"" + WideToUtf8(properties.name) + "\" exists");
    }
    properties.position = call.Number(1, "Position").value_or(kBarFloating);
    properties.type =
        call.Flag(2, "MenuBar").value_or(false) ? BarType::kMenuBar : BarType::kToolbar;
    properties.temporary = call.Flag(3, "Temporary").value_or(false);
    return bars.Add(std::move(properties));
  }

  // "Custom 1", "Custom 2", ...: the names PowerPoint gives bars added without one.
  static std::wstring UnusedName(const CommandBarSet& bars) {
    for (std::size_t n = 1;; ++n) {
      std::wstring name = L"Custom " + std::to_wstring(n);
      if (bars.Find(name) == nullptr)
        return name;
    }
  }

  SessionPtr session_;
};

class ApplicationObject final : public host::Dispatch {
 public:
  explicit ApplicationObject(SessionPtr session) : session_(std::move(session)) {}

  bool Supports(const InterfaceId& iid) override {
    return iid == office::kIidApplication || iid == kIidDispatch || iid == kIidUnknown;
  }

  Variant Invoke(const host::Member& member, InvokeKind kind,
                 std::span<const Variant> args) override {
    const AutomationCall call("Application", *this, member, kind, args);
    if (call.IsReadOnly(L"CommandBars"))
      return std::make_shared<CommandBarsObject>(session_);
    if (call.IsReadOnly(L"Name"))
      return std::wstring(L"Microsoft PowerPoint");
    throw call.UnknownMember();
  }

 private:
  SessionPtr session_;
};

}  // namespace

PowerPoint::PowerPoint(std::filesystem::path stateFile, host::Clipboard& clipboard,
                       host::GlobalMemory& memory)
    : stateFile_(std::move(stateFile)), clipboard_(clipboard), memory_(memory) {}

DispatchPtr PowerPoint::Application() {
  SessionPtr session = session_.lock();
  if (session == nullptr) {
    session = std::make_shared<PowerPointSession>(stateFile_, clipboard_, memory_);
    session_ = session;
  }
  return std::make_shared<ApplicationObject>(std::move(session));
}

bool PowerPoint::Running() const {
  if (Alive())
    return true;
  try {
    return LoadCommandBars(stateFile_).running();
  } catch (const RuntimeError&) {
    return false;
  }
}

void PowerPoint::Open() {
  SetRunning(true);
}
void PowerPoint::Close() {
  SetRunning(false);
}

void PowerPoint::SetRunning(bool running) {
  if (const SessionPtr session = session_.lock()) {
    session->StayOpen(running);
    return;
  }
  SetPowerPointRunning(stateFile_, running);
}

}  // namespace tkw::emulated
