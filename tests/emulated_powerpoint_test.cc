#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <numeric>
#include <optional>
#include <random>
#include <vector>

#include "host/command_bars/command_bar_state.h"
#include "host/command_bars/ranked_list.h"
#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/formats/base64.h"
#include "host/formats/utf8.h"
#include "host/office_interfaces.h"
#include "host/runtime_error.h"

namespace tkw::emulated {

using command_bars::BarProperties;
using command_bars::BarType;
using command_bars::BuiltInCommandBars;
using command_bars::CommandBarSet;
using command_bars::ControlProperties;
using command_bars::LoadCommandBars;
using command_bars::ParseCommandBars;
using command_bars::RankedList;
using command_bars::SaveCommandBars;
using command_bars::SerializeCommandBars;
using formats::DecodeBase64;
using formats::EncodeBase64;
using formats::IsBase64;
namespace {

namespace fs = std::filesystem;
namespace office = host::office;
using host::DispatchPtr;
using host::MissingArgument;
using host::RuntimeError;
using host::Variant;
using Bytes = std::vector<std::uint8_t>;

// The clipboard, with the global memory its blocks live in.
class FakeClipboard : public host::Clipboard, public host::GlobalMemory {
 public:
  bool heldElsewhere = false, open = false;
  std::map<unsigned, host::Handle> data;

  host::Handle Store(Bytes bytes) {
    blocks_[++lastBlock_] = std::move(bytes);
    return lastBlock_;
  }
  bool OpenClipboard(host::Handle) override { return !heldElsewhere && !std::exchange(open, true); }
  bool CloseClipboard() override { return std::exchange(open, false); }
  bool EmptyClipboard() override { return data.clear(), true; }
  unsigned RegisterClipboardFormatA(const std::string& name) override {
    return names_.emplace(name, 0xC000 + names_.size()).first->second;
  }
  host::Handle GetClipboardData(unsigned format) override {
    EXPECT_TRUE(open);
    return data.contains(format) ? data[format] : 0;
  }
  host::Handle SetClipboardData(unsigned format, host::Handle block) override {
    return data[format] = block;
  }
  host::Handle GlobalAlloc(std::uint32_t, std::size_t size) override { return Store(Bytes(size)); }
  std::size_t GlobalSize(host::Handle block) override { return blocks_.at(block).size(); }
  void* GlobalLock(host::Handle block) override { return blocks_.at(block).data(); }
  bool GlobalUnlock(host::Handle) override { return true; }
  host::Handle GlobalFree(host::Handle block) override { return blocks_.erase(block) ? 0 : block; }

 private:
  std::map<std::string, unsigned> names_;
  std::map<host::Handle, Bytes> blocks_;
  host::Handle lastBlock_ = 0;
};

Variant Call(const DispatchPtr& object, std::wstring_view member, std::vector<Variant> args = {}) {
  return object->Invoke(member, host::InvokeKind::kGet, args);
}
DispatchPtr Object(const DispatchPtr& object, std::wstring_view member,
                   std::vector<Variant> args = {}) {
  return std::get<DispatchPtr>(Call(object, member, std::move(args)));
}
void Put(const DispatchPtr& object, std::wstring_view member, Variant value) {
  object->Invoke(member, host::InvokeKind::kPut, std::span<const Variant>(&value, 1));
}
std::wstring Text(const DispatchPtr& object, std::wstring_view member) {
  return std::get<std::wstring>(Call(object, member));
}
std::int32_t Number(const DispatchPtr& object, std::wstring_view member) {
  return std::get<std::int32_t>(Call(object, member));
}

// Adds a control the way the builders do: Type, Id, Parameter, Before, Temporary.
DispatchPtr AddControl(const DispatchPtr& controls, std::wstring caption, std::wstring tag = L"",
                       Variant before = MissingArgument{},
                       std::int16_t type = office::msoControlButton) {
  DispatchPtr control =
      Object(controls, L"Add", {type, MissingArgument{}, MissingArgument{}, before, true});
  Put(control, L"Caption", caption);
  Put(control, L"Tag", tag);
  return control;
}

class EmulatedPowerPointTest : public testing::Test {
 protected:
  EmulatedPowerPointTest() {
    std::string pattern = (fs::temp_directory_path() / "tkw-powerpoint-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    state_ = folder_ / "powerpoint" / "commandbars.json";
    powerPoint_.emplace(state_, clipboard_, clipboard_);
  }
  ~EmulatedPowerPointTest() override { fs::remove_all(folder_); }

  DispatchPtr Start() { return powerPoint_->Application(); }
  static DispatchPtr Bars(const DispatchPtr& app) { return Object(app, L"CommandBars"); }
  static DispatchPtr NewToolbar(const DispatchPtr& app, const std::wstring& name) {
    return Object(Bars(app), L"Add", {name, office::msoBarTop, false, true});
  }
  std::string StateText() {
    std::ifstream in(state_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path folder_, state_;
  FakeClipboard clipboard_;
  std::optional<PowerPoint> powerPoint_;  // the machine's, once its folder is made
};

// A packed DIB with a full colour table, its pixels zero; `extra` bytes beyond its last row.
Bytes PackedDib(std::int32_t width, std::int32_t height, std::uint16_t bits, int extra = 0) {
  const std::size_t table = bits <= 8 ? 4u << bits : 0;
  const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  Bytes dib(static_cast<std::size_t>(
      40 +
      static_cast<std::ptrdiff_t>(table + stride * static_cast<std::size_t>(std::abs(height))) +
      extra));
  const auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      dib[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  put(0, 40, 4);
  put(4, static_cast<std::uint32_t>(width), 4);
  put(8, static_cast<std::uint32_t>(height), 4);
  put(12, 1, 2);
  put(14, bits, 2);
  return dib;
}

TEST(Base64Test, ReadsBackWhatItWroteAndRefusesWhatItCannotHaveWritten) {
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_TRUE(IsBase64(EncodeBase64(all)));
  for (std::size_t size = 0; size <= 4; ++size) {  // every length of the last group
    const Bytes part(all.begin() + 250, all.begin() + 250 + size);
    EXPECT_EQ(DecodeBase64(EncodeBase64(part)), part) << size;
  }
  EXPECT_EQ(DecodeBase64(EncodeBase64(all)), all);
  for (const char* bad : {"Zg=", "Z===", "Zh==", "Zm9=", "Zm9!", "====", "Zm=v"})
    EXPECT_FALSE(IsBase64(bad)) << bad;
}

// Against a vector doing the same edits: places and access by place must agree.
TEST(RankedListTest, AgreesWithAVectorUnderRandomEdits) {
  RankedList<int> list;
  std::vector<std::pair<int, RankedList<int>::Node*>> expected;
  std::mt19937 random(7);
  for (int step = 0; step < 3000; ++step) {
    if (expected.empty() || random() % 3 != 0) {
      const std::size_t at = random() % (expected.size() + 1);
      expected.insert(expected.begin() + at, {step, list.Insert(at, step)});
    } else {
      const std::size_t at = random() % expected.size();
      EXPECT_EQ(list.Erase(expected[at].second), expected[at].first);
      expected.erase(expected.begin() + at);
    }
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; step % 97 == 0 && i < expected.size(); ++i) {
      ASSERT_EQ(list.At(i), expected[i].first);
      ASSERT_EQ(list.IndexOf(expected[i].second), i);
    }
  }
}

TEST_F(EmulatedPowerPointTest, ItemMatchesNamesAndPlaces) {
  DispatchPtr bars = Bars(Start());
  DispatchPtr menus = Object(Object(bars, L"Item", {std::wstring(L"Menu Bar")}), L"Controls");
  const std::tuple<DispatchPtr, Variant, const wchar_t*> cases[] = {
      // null: an error
      {bars, std::wstring(L"menu bar"), L"Menu Bar"},
      {bars, std::wstring(L"&FORMATTING"), L"Formatting"},
      {bars, std::int16_t{2}, L"Standard"},
      {bars, std::int32_t{3}, L"Formatting"},
      {bars, std::int16_t{0}, nullptr},
      {bars, std::int16_t{4}, nullptr},
      {bars, std::wstring(L"Menu"), nullptr},
      {menus, std::wstring(L"slide show"), L"Sli&de Show"},
      {menus, std::wstring(L"&Format"), L"F&ormat"},
      {menus, std::int16_t{9}, L"&Help"},
      {menus, std::int32_t{10}, nullptr},
      {menus, std::wstring(L"Slide  Show"), nullptr},
  };
  for (const auto& [collection, index, found] : cases) {
    if (found == nullptr) {
      EXPECT_THROW(Call(collection, L"item", {index}), RuntimeError);
    } else {
      const DispatchPtr item = Object(collection, L"ITEM", {index});
      EXPECT_EQ(Text(item, collection == bars ? L"Name" : L"Caption"), found);
    }
  }
  EXPECT_THROW(Object(bars, L"Add", {std::wstring(L"standard")}), RuntimeError);
}

TEST_F(EmulatedPowerPointTest, FindControlGoesDepthFirstAndFollowsTagChanges) {
  DispatchPtr app = Start();
  DispatchPtr bar = NewToolbar(app, L"Tools bar");
  DispatchPtr controls = Object(bar, L"Controls");
  DispatchPtr popup = AddControl(controls, L"Sub", L"", MissingArgument{}, office::msoControlPopup);
  DispatchPtr nested = AddControl(Object(popup, L"Controls"), L"nested", L"t");
  AddControl(controls, L"top", L"t");
  auto find = [&](Variant type, std::wstring tag, bool recursive) -> std::wstring {
    const DispatchPtr control = std::get<DispatchPtr>(
        Call(bar, L"FindControl", {type, MissingArgument{}, tag, MissingArgument{}, recursive}));
    return control ? Text(control, L"Caption") : L"<nothing>";
  };
  EXPECT_EQ(find(office::msoControlButton, L"t", true), L"nested");
  EXPECT_EQ(find(office::msoControlButton, L"t", false), L"top");
  EXPECT_EQ(find(office::msoControlPopup, L"t", true), L"<nothing>");
  EXPECT_EQ(find(office::msoControlButton, L"T", true), L"<nothing>");
  EXPECT_EQ(find(MissingArgument{}, L"", true), L"Sub");  // an empty tag is no criterion

  AddControl(controls, L"first", L"t", std::int16_t{1});
  EXPECT_EQ(find(office::msoControlButton, L"t", true), L"first");
  Put(Object(controls, L"Item", {std::int16_t{1}}), L"Tag", std::wstring(L"u"));
  EXPECT_EQ(find(office::msoControlButton, L"t", true), L"nested");
  Call(popup, L"Delete", {MissingArgument{}});
  EXPECT_EQ(find(office::msoControlButton, L"t", true), L"top");
  EXPECT_THROW(Text(nested, L"Caption"), RuntimeError);
}

TEST_F(EmulatedPowerPointTest, AddPlacesBeforeAndDeleteShiftsIndexes) {
  DispatchPtr app = Start();
  DispatchPtr controls = Object(NewToolbar(app, L"Order"), L"Controls");
  auto captions = [&] {
    std::wstring all;
    for (std::int32_t i = 1; i <= Number(controls, L"Count"); ++i)
      all += Text(Object(controls, L"Item", {i}), L"Caption");
    return all;
  };
  DispatchPtr a = AddControl(controls, L"a");
  DispatchPtr b = AddControl(controls, L"b");
  AddControl(controls, L"c", L"", std::int16_t{1});
  AddControl(controls, L"d", L"", std::int32_t{3});
  AddControl(controls, L"e", L"", std::int16_t{5});
  EXPECT_EQ(captions(), L"cadbe");
  EXPECT_EQ(Number(b, L"Index"), 4);
  for (std::int16_t before : {0, 7})
    EXPECT_THROW(AddControl(controls, L"x", L"", before), RuntimeError);
  EXPECT_EQ(Number(controls, L"Count"), 5);

  Call(a, L"Delete", {MissingArgument{}});
  EXPECT_EQ(captions(), L"cdbe");
  EXPECT_EQ(Number(b, L"Index"), 3);
  EXPECT_THROW(Number(a, L"Index"), RuntimeError);
}

// What tkwremove relies on: PowerPoint's own bars and controls say they are built in, and a
// built-in bar, or any control of a bar protected against customizing, cannot be deleted. A
// built-in control can, as in Office, and the bars and controls that programs add can.
TEST_F(EmulatedPowerPointTest, BuiltInProtectedAndAddedItemsAnswerDeleteAsOfficeDoes) {
  {
    CommandBarSet bars = BuiltInCommandBars();
    BarProperties locked{L"Locked", BarType::kToolbar, 1, true, false, false};
    locked.protection = 1;  // msoBarNoCustomize
    ControlProperties held;
    held.caption = L"held";
    bars.Add(std::move(locked)).controls().Insert(1, std::move(held));
    SaveCommandBars(bars, state_);
  }
  DispatchPtr app = Start();
  DispatchPtr bars = Bars(app);
  const auto bar = [&](std::wstring name) { return Object(bars, L"Item", {std::move(name)}); };
  const auto first = [&](const DispatchPtr& of) {
    return Object(Object(of, L"Controls"), L"Item", {std::int32_t{1}});
  };
  DispatchPtr added = NewToolbar(app, L"Added");
  AddControl(Object(added, L"Controls"), L"ours");
  const struct {
    const char* what;
    DispatchPtr object;
    bool builtIn, deletes;
  } cases[] = {
      {"a built-in bar", bar(L"Standard"), true, false},
      {"a built-in control", first(bar(L"Formatting")), true, true},
      {"a control of a protected bar", first(bar(L"Locked")), false, false},
      {"a protected bar", bar(L"Locked"), false, false},
      {"a control a program added", first(added), false, true},
      {"a bar a program added", added, false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::get<bool>(Call(c.object, L"BuiltIn")), c.builtIn) << c.what;
    const bool isBar = c.object->Supports(office::kIidCommandBar);
    const auto remove = [&] {
      Call(c.object, L"Delete",
           isBar ? std::vector<Variant>{} : std::vector<Variant>{MissingArgument{}});
    };
    if (c.deletes) {
      EXPECT_NO_THROW(remove()) << c.what;
      EXPECT_THROW(Call(c.object, L"BuiltIn"), RuntimeError) << c.what << " is gone";
    } else {
      EXPECT_THROW(remove(), RuntimeError) << c.what;
      EXPECT_NO_THROW(Call(c.object, L"BuiltIn")) << c.what << " stays";
    }
  }
}

// Office's CommandBarControl.Delete: with Temporary omitted or false the control is gone for
// good; with Temporary true it is gone for the session and back at its place at the next start.
// The user's PowerPoint keeps that in its state until it closes.
TEST_F(EmulatedPowerPointTest, DeleteLastsUnlessItIsForTheSession) {
  const auto tools = [](const DispatchPtr& app) {
    return Object(
        Object(Object(Object(Bars(app), L"Item", {std::wstring(L"Menu Bar")}), L"Controls"),
               L"Item", {std::wstring(L"&Tools")}),
        L"Controls");
  };
  // The Tools menu's captions, first letters only: "SRLCO" as PowerPoint has it.
  const auto letters = [&](const DispatchPtr& app) {
    const DispatchPtr controls = tools(app);
    std::wstring all;
    for (std::int32_t i = 1; i <= Number(controls, L"Count"); ++i) {
      const std::wstring caption = Text(Object(controls, L"Item", {i}), L"Caption");
      all += caption[caption.find_first_not_of(L'&')];
    }
    return all;
  };
  const auto remove = [&](const DispatchPtr& app, const wchar_t* caption, Variant temporary) {
    Call(Object(tools(app), L"Item", {std::wstring(caption)}), L"Delete", {temporary});
  };
  const auto addTemporary = [&](const DispatchPtr& app, const wchar_t* caption, Variant before) {
    AddControl(tools(app), caption, L"", before);
  };
  const struct {
    const char* what;
    std::function<void(const DispatchPtr&)> change;
    const wchar_t* running;  // the menu while PowerPoint runs
    const wchar_t* closed;   // once it has closed, and at every start after
  } cases[] = {
      {"Temporary omitted", [&](auto& app) { remove(app, L"Options...", MissingArgument{}); },
       L"SRLC", L"SRLC"},
      {"Temporary false", [&](auto& app) { remove(app, L"Spelling...", false); }, L"RLCO", L"RLCO"},
      {"Temporary true", [&](auto& app) { remove(app, L"Options...", true); }, L"SRLC", L"SRLCO"},
      {"for the session, after temporary controls that go first",
       [&](auto& app) {
         addTemporary(app, L"x", std::int16_t{1});
         addTemporary(app, L"y", std::int16_t{3});
         remove(app, L"Language...", true);
       },
       L"xSyRCO", L"SRLCO"},
      {"two neighbours, one after the other",
       [&](auto& app) {
         remove(app, L"Customize...", true);
         remove(app, L"Language...", true);
         remove(app, L"Options...", false);
       },
       L"SR", L"SRLC"},
      {"a menu with its controls, one of them deleted for the session before",
       [&](auto& app) {
         remove(app, L"Research...", true);
         const DispatchPtr menus =
             Object(Object(Bars(app), L"Item", {std::wstring(L"Menu Bar")}), L"Controls");
         Call(Object(menus, L"Item", {std::wstring(L"&Tools")}), L"Delete", {true});
       },
       nullptr, L"SRLCO"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(state_);
    {
      DispatchPtr app = Start();
      c.change(app);
    }
    const std::string written = StateText();
    // The streamed text is what a JSON library writes for the same document.
    EXPECT_EQ(nlohmann::ordered_json::parse(written).dump(2) + "\n", written);
    if (c.running != nullptr) {
      EXPECT_EQ(letters(Start()), c.running);
    } else {
      EXPECT_THROW(tools(Start()), RuntimeError);
    }
    powerPoint_->Close();
    EXPECT_EQ(letters(Start()), c.closed);
    EXPECT_EQ(letters(Start()), c.closed) << "at the start after";
  }
}

// Office's CommandBarControls.Add with the Id of one of PowerPoint's commands makes that
// built-in control, with its caption, as its menu shows it; a menu's Id makes the menu. Every
// Id of PowerPoint's menus names one command, so that a command put back is the one taken.
TEST_F(EmulatedPowerPointTest, AddWithAnIdMakesPowerPointsOwnControl) {
  const CommandBarSet fresh = BuiltInCommandBars();
  std::vector<const command_bars::Control*> commands;
  fresh.Find(L"Menu Bar")->controls().VisitUntil([&](const command_bars::Control& menu) {
    commands.push_back(&menu);
    menu.controls()->VisitUntil([&](const command_bars::Control& command) {
      commands.push_back(&command);
      return false;
    });
    return false;
  });
  DispatchPtr app = Start();
  // Where the command is gone from PowerPoint's own bars, it is still known.
  DispatchPtr menus = Object(Object(Bars(app), L"Item", {std::wstring(L"Menu Bar")}), L"Controls");
  Call(Object(Object(Object(menus, L"Item", {std::wstring(L"&Tools")}), L"Controls"), L"Item",
              {std::wstring(L"&Options...")}),
       L"Delete", {MissingArgument{}});
  DispatchPtr controls = Object(NewToolbar(app, L"Commands"), L"Controls");
  for (const command_bars::Control* command : commands) {
    const command_bars::ControlProperties& p = command->properties();
    SCOPED_TRACE(formats::WideToUtf8(p.caption));
    const DispatchPtr added =
        Object(controls, L"Add", {MissingArgument{}, p.id, MissingArgument{}, std::int16_t{1}});
    EXPECT_EQ(Number(added, L"Id"), p.id);
    EXPECT_EQ(Text(added, L"Caption"), p.caption);
    EXPECT_TRUE(std::get<bool>(Call(added, L"BuiltIn")));
    EXPECT_EQ(Number(added, L"Type"), static_cast<std::int32_t>(p.type));
    if (command->controls() != nullptr) {  // its commands as PowerPoint's menu has them now
      EXPECT_EQ(Number(Object(added, L"Controls"), L"Count"),
                Number(Object(Object(menus, L"Item", {p.caption}), L"Controls"), L"Count"));
    }
    Call(added, L"Delete", {MissingArgument{}});
  }
  const std::pair<const char*, std::vector<Variant>> refused[] = {
      {"an Id PowerPoint has no command of", {office::msoControlButton, std::int32_t{12345}}},
      {"a menu's Id as a button", {office::msoControlButton, std::int32_t{30007}}},
      {"a button's Id as a pop-up", {office::msoControlPopup, std::int32_t{522}}},
  };
  for (const auto& [what, args] : refused)
    EXPECT_THROW(Object(controls, L"Add", args), RuntimeError) << what;
  EXPECT_EQ(Number(controls, L"Count"), 0);
}

TEST_F(EmulatedPowerPointTest, PasteFaceTakesABitmapWithAMaskOfItsSizeOrDibAlone) {
  const Bytes face = PackedDib(16, 16, 24), mask = PackedDib(16, 16, 1, 2);
  const Bytes dib = PackedDib(3, -2, 8), topDown = PackedDib(16, -16, 32);
  const unsigned faceFormat = clipboard_.RegisterClipboardFormatA("Toolbar Button Face");
  const unsigned maskFormat = clipboard_.RegisterClipboardFormatA("Toolbar Button Mask");
  Bytes sevenBits = face, shortFace = face, noPlanes = face, hugeTable = dib;
  sevenBits[14] = 7;
  shortFace.pop_back();
  noPlanes[12] = 0;
  hugeTable[32] = 1;  // 257 colours for 8 bits
  hugeTable[33] = 1;
  const auto stored = [](const Bytes& dibBytes, const Bytes* maskBytes) {
    return nlohmann::json{{"dib", EncodeBase64(dibBytes)},
                          {"mask", maskBytes ? nlohmann::json(EncodeBase64(*maskBytes)) : nullptr}};
  };
  const auto copied = [&](unsigned format) {
    const host::Handle block = clipboard_.data.at(format);
    const auto* bytes = static_cast<const std::uint8_t*>(clipboard_.GlobalLock(block));
    return Bytes(bytes, bytes + clipboard_.GlobalSize(block));
  };
  const std::tuple<std::map<unsigned, Bytes>, bool, nlohmann::json> cases[] = {
      // clipboard, held elsewhere, the face stored (null: PasteFace fails and none is stored)
      {{{faceFormat, face}, {maskFormat, mask}, {host::kCfDib, dib}}, false, stored(face, &mask)},
      {{{faceFormat, topDown}, {maskFormat, mask}}, false, stored(topDown, &mask)},
      {{{faceFormat, face}}, false, stored(face, nullptr)},
      {{{maskFormat, mask}, {host::kCfDib, dib}}, false, stored(dib, nullptr)},
      {{{maskFormat, mask}}, false, nullptr},
      {{{host::kCfDib, dib}}, true, nullptr},
      {{{faceFormat, {1, 2, 3}}, {maskFormat, mask}}, false, nullptr},
      {{{faceFormat, sevenBits}, {maskFormat, mask}}, false, nullptr},
      {{{faceFormat, shortFace}, {maskFormat, mask}}, false, nullptr},
      {{{faceFormat, noPlanes}, {maskFormat, mask}}, false, nullptr},
      {{{faceFormat, face}, {maskFormat, PackedDib(15, 16, 1)}}, false, nullptr},
      {{{faceFormat, face}, {maskFormat, PackedDib(16, 17, 1)}}, false, nullptr},
      {{{faceFormat, face}, {maskFormat, PackedDib(16, 16, 4)}}, false, nullptr},
      {{{faceFormat, face}, {maskFormat, Bytes(mask.begin(), mask.end() - 3)}}, false, nullptr},
      {{{host::kCfDib, hugeTable}}, false, nullptr},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& [formats, held, expected] = cases[i];
    clipboard_.data.clear();
    for (const auto& [format, bytes] : formats)
      clipboard_.data[format] = clipboard_.Store(bytes);
    clipboard_.heldElsewhere = held;
    {
      DispatchPtr app = Start();
      DispatchPtr button = AddControl(Object(NewToolbar(app, L"Bar"), L"Controls"), L"b");
      if (expected.is_null()) {
        EXPECT_THROW(Call(button, L"PasteFace"), RuntimeError) << "case " << i;
      } else {
        Call(button, L"PasteFace");
      }
      // CopyFace gives back what PasteFace took; a button without a face has none to give.
      clipboard_.data.clear();
      if (expected.is_null()) {
        EXPECT_THROW(Call(button, L"CopyFace"), RuntimeError) << "case " << i;
      } else {
        Call(button, L"CopyFace");
        const Bytes copiedMask =
            clipboard_.data.contains(maskFormat) ? copied(maskFormat) : Bytes();
        EXPECT_EQ(stored(copied(faceFormat), copiedMask.empty() ? nullptr : &copiedMask), expected)
            << "case " << i;
      }
      EXPECT_FALSE(clipboard_.open);
    }
    EXPECT_EQ(nlohmann::json::parse(StateText())["commandBars"][3]["controls"][0]["face"], expected)
        << "case " << i;
    fs::remove(state_);
  }
}

// Temporary bars and controls last as long as PowerPoint: a PowerPoint the program starts closes
// when it is released, the user's stays open until it is closed.
TEST_F(EmulatedPowerPointTest, TemporaryItemsGoWhenPowerPointCloses) {
  const std::string temporaryBar = R"({"name": "T", "type": "toolbar", "position": 1,
      "visible": true, "temporary": true, "builtIn": false, "controls": []})";
  const std::tuple<const char*, bool> cases[] = {
      // the state file before (null: none), whether PowerPoint is running
      {nullptr, true},
      {R"({"commandBars": []})", true},
      {R"({"running": true, "commandBars": []})", true},
      {R"({"running": false, "commandBars": []})", false},
  };
  fs::create_directories(state_.parent_path());
  for (const auto& [before, running] : cases) {
    fs::remove(state_);
    if (before != nullptr)
      std::ofstream(state_, std::ios::binary) << before;
    {
      DispatchPtr app = Start();
      AddControl(Object(NewToolbar(app, L"Mine"), L"Controls"), L"goes with its bar");
      DispatchPtr kept =
          Object(Bars(app), L"Add", {std::wstring(L"Kept"), office::msoBarTop, false, false});
      DispatchPtr popup = Object(Object(kept, L"Controls"), L"Add",
                                 {office::msoControlPopup, MissingArgument{}, MissingArgument{},
                                  MissingArgument{}, false});
      AddControl(Object(popup, L"Controls"), L"temporary in a lasting pop-up");
      // A second application object alive beside the first is the same PowerPoint.
      EXPECT_NO_THROW(Object(Bars(Start()), L"Item", {std::wstring(L"Mine")}));
    }
    const CommandBarSet after = LoadCommandBars(state_);
    EXPECT_EQ(after.running(), running) << before;
    EXPECT_EQ(after.Find(L"Mine") != nullptr, running) << before;
    ASSERT_NE(after.Find(L"Kept"), nullptr);
    EXPECT_EQ(after.Find(L"Kept")->controls().At(1).controls()->size(), running ? 1u : 0u);
  }

  // Closing the user's PowerPoint drops them; so does a state closed by hand.
  CommandBarSet open = ParseCommandBars(R"({"commandBars": [)" + temporaryBar + "]}");
  ASSERT_TRUE(open.running());
  open.Close();
  EXPECT_EQ(open.size(), 0u);
  EXPECT_EQ(open.Find(L"T"), nullptr);
  EXPECT_EQ(ParseCommandBars(R"({"running": false, "commandBars": [)" + temporaryBar + "]}").size(),
            0u);
}

TEST_F(EmulatedPowerPointTest, StateIsWrittenWhenTheLastObjectGoesAndReadBack) {
  clipboard_.data[host::kCfDib] = clipboard_.Store(PackedDib(1, 1, 1));
  DispatchPtr button;
  {
    DispatchPtr app = Start();
    DispatchPtr bar = NewToolbar(app, L"Tarnwick Tools");
    Put(bar, L"Visible", true);
    button = AddControl(Object(bar, L"Controls"), L"Sch\u00f6n", L"tag1");
    EXPECT_EQ(Text(button, L"TooltipText"), L"Sch\u00f6n");  // the caption, until one is set
    Put(button, L"OnAction", std::wstring(L"Macro1"));
    Put(button, L"TooltipText", std::wstring(L"tip"));
    Put(button, L"Style", office::msoButtonIconAndCaption);
    Call(button, L"PasteFace");
    DispatchPtr menu = Object(bar, L"Controls");
    for (int depth = 0; depth < 12; ++depth)
      menu = Object(AddControl(menu, L"deep", L"", MissingArgument{}, office::msoControlPopup),
                    L"Controls");
  }
  EXPECT_FALSE(fs::exists(state_)) << "written while a control was still held";
  button.reset();
  ASSERT_TRUE(fs::exists(state_));
  EXPECT_FALSE(fs::exists(state_.string() + ".tmp"));

  const std::string written = StateText();
  nlohmann::json bar = nlohmann::json::parse(written)["commandBars"][3];
  bar["controls"].erase(1);  // the nested pop-ups
  EXPECT_EQ(bar, nlohmann::json::parse(R"({
      "name": "Tarnwick Tools", "type": "toolbar", "position": 1, "visible": true,
      "temporary": true, "builtIn": false,
      "controls": [{"type": "button", "id": 1, "caption": "Sch\u00f6n", "tag": "tag1",
                    "onAction": "Macro1", "tooltipText": "tip", "temporary": true,
                    "builtIn": false, "style": 3, "face": {"dib": "", "mask": null}}]})")
                     .patch(nlohmann::json::parse(R"([{"op": "replace",
                         "path": "/controls/0/face/dib", "value": ")" +
                                                  EncodeBase64(PackedDib(1, 1, 1)) + R"("}])")));
  // The streamed text is what a JSON library writes for the same document.
  EXPECT_EQ(nlohmann::ordered_json::parse(written).dump(2) + "\n", written);

  DispatchPtr again =
      Object(Object(Object(Bars(Start()), L"Item", {std::wstring(L"tarnwick tools")}), L"Controls"),
             L"Item", {std::wstring(L"sch\u00d6n")});
  EXPECT_EQ(Text(again, L"Tag"), L"tag1");
  EXPECT_EQ(Number(again, L"Style"), office::msoButtonIconAndCaption);
}

// What a snapshot of a PowerPoint in another language holds: bars with a local name, a shortcut
// menu, a kind of control that is neither a button nor a pop-up, a hidden control. Each is found
// and refuses what it refuses as in Office.
TEST_F(EmulatedPowerPointTest, AnswersWhatASnapshotReadsOfAnotherPowerPoint) {
  const auto builtIn = [](command_bars::ControlType type, std::int32_t id, std::wstring caption) {
    ControlProperties p;
    p.type = type;
    p.id = id;
    p.caption = std::move(caption);
    p.builtIn = true;
    return p;
  };
  CommandBarSet snapshot;
  BarProperties menuBar = BuiltInCommandBars().At(1).properties();
  menuBar.nameLocal = L"Men\u00fcleiste";
  snapshot.Add(menuBar).controls().Insert(
      1, builtIn(command_bars::ControlType::kPopup, 30007, L"E&xtras"));
  snapshot.Add({L"Text", BarType::kPopup, office::msoBarTop, false, false, true});
  command_bars::ControlList& formatting =
      snapshot.Add({L"Formatting", BarType::kToolbar, office::msoBarTop, true, false, true})
          .controls();
  formatting.Insert(1, builtIn(static_cast<command_bars::ControlType>(4), 1728, L"&Font:"));
  ControlProperties hidden = builtIn(command_bars::ControlType::kButton, 113, L"&Bold");
  hidden.visible = false;
  formatting.Insert(2, hidden);
  SaveCommandBars(snapshot, state_);

  // What a snapshot reads of them, snapshot_test reads through the typed references.
  const DispatchPtr all = Bars(Start());
  const auto bar = [&](std::int32_t place) { return Object(all, L"Item", {place}); };
  const auto control = [&](std::int32_t place) {
    return Object(Object(bar(place), L"Controls"), L"Item", {std::int32_t{1}});
  };
  // The menu bar is found by its English name only.
  EXPECT_THROW(Call(all, L"Item", {std::wstring(L"Men\u00fcleiste")}), RuntimeError);
  // A combo box is a control, neither a button nor a pop-up.
  EXPECT_TRUE(control(3)->Supports(office::kIidCommandBarControl));
  EXPECT_FALSE(control(3)->Supports(office::kIidCommandBarButton));
  EXPECT_FALSE(control(3)->Supports(office::kIidCommandBarPopup));
  EXPECT_THROW(Call(control(3), L"Style"), RuntimeError);
  EXPECT_THROW(Put(bar(1), L"NameLocal", std::wstring(L"x")), RuntimeError);
  const DispatchPtr font =
      std::get<DispatchPtr>(Call(bar(3), L"FindControl",
                                 {std::int16_t{4}, MissingArgument{}, MissingArgument{},
                                  MissingArgument{}, MissingArgument{}}));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(Text(font, L"Caption"), L"&Font:");
  // Hidden controls are found unless only visible ones are asked for.
  const auto find = [&](bool visibleOnly) {
    const DispatchPtr found =
        std::get<DispatchPtr>(Call(bar(3), L"FindControl",
                                   {office::msoControlButton, std::int32_t{113}, MissingArgument{},
                                    visibleOnly, MissingArgument{}}));
    return found != nullptr;
  };
  EXPECT_TRUE(find(false));
  EXPECT_FALSE(find(true));
}

// PowerPoint saves its bars as it closes when something changed them, or its being open or
// closed; a PowerPoint that was only looked at leaves its file as it was, or leaves none.
TEST_F(EmulatedPowerPointTest, SavesOnlyWhatChanged) {
  const auto read = [](const DispatchPtr& app) {
    const DispatchPtr menus =
        Object(Object(Bars(app), L"Item", {std::wstring(L"Menu Bar")}), L"Controls");
    Text(Object(menus, L"Item", {std::int32_t{6}}), L"Caption");
    Number(Object(Bars(app), L"Item", {std::int32_t{2}}), L"Type");
  };
  const auto caption = [](const DispatchPtr& app) {
    Put(Object(Object(Object(Bars(app), L"Item", {std::wstring(L"Standard")}), L"Controls"),
               L"Item", {std::int32_t{1}}),
        L"Caption", std::wstring(L"Neu"));
  };
  const auto hide = [](const DispatchPtr& app) {
    Put(Object(Bars(app), L"Item", {std::wstring(L"Formatting")}), L"Visible", false);
  };
  const auto add = [](const DispatchPtr& app) { NewToolbar(app, L"New"); };
  const auto deleteOne = [](const DispatchPtr& app) {
    Call(Object(Object(Object(Bars(app), L"Item", {std::wstring(L"Standard")}), L"Controls"),
                L"Item", {std::int32_t{1}}),
         L"Delete", {MissingArgument{}});
  };
  // The state before, "" for none, and whether the user closes PowerPoint meanwhile.
  const std::string lookedAt = SerializeCommandBars(BuiltInCommandBars());
  const struct {
    const char* what;
    std::function<void(const DispatchPtr&)> use;
    bool fileBefore, closedMeanwhile, saved;
  } cases[] = {
      {"read, no file", read, false, false, false},
      {"read, a file", read, true, false, false},
      {"a caption written", caption, true, false, true},
      {"a bar hidden", hide, false, false, true},
      {"a bar added", add, true, false, true},
      {"a control deleted", deleteOne, true, false, true},
      {"read, and closed by its user", read, true, true, true},
  };
  for (const auto& c : cases) {
    fs::remove_all(state_.parent_path());
    if (c.fileBefore) {
      fs::create_directories(state_.parent_path());
      std::ofstream(state_, std::ios::binary) << lookedAt;
    }
    {
      const DispatchPtr app = Start();
      c.use(app);
      if (c.closedMeanwhile)
        powerPoint_->Close();
    }
    const bool unchanged = c.fileBefore ? StateText() == lookedAt : !fs::exists(state_);
    EXPECT_EQ(unchanged, !c.saved) << c.what;
  }
}

TEST_F(EmulatedPowerPointTest, MalformedStateFailsNamingTheFileAndIsKept) {
  const std::string bar = R"({"commandBars": [{"name": "B", "type": "toolbar", "position": 1,
      "visible": true, "temporary": false, "builtIn": false)";
  const std::string button = bar + R"(, "controls": [{"type": "button", "id": 1, "caption": "c",
      "tag": "", "onAction": "", "tooltipText": "", "temporary": false, "builtIn": false,
      "style": 0)";
  const std::string cases[] = {
      "",
      "{\"commandBars\": [",
      R"({"running": "no", "commandBars": []})",
      "{}",
      R"({"commandBars": {}})",
      bar + "}]}",  // no controls
      bar + R"(, "type": "menu", "controls": []}]})",
      button + "}]}]}",  // no face
      button + R"(, "face": {"dib": "A", "mask": null}}]}]})",
      button + R"(, "id": 4294967296, "face": null}]}]})",
      R"({"commandBars": [{"name": "\ud800", )" + bar.substr(31) + R"(, "controls": []}]})",
      bar + R"(, "controls": [], "deletedForTheSession": {}}]})",
      bar + R"(, "controls": [], "deletedForTheSession": [{"place": 0, "control": {}}]}]})",
      bar + R"(, "controls": [], "deletedForTheSession": [{"place": 1}]}]})",
      bar + R"(, "nameLocal": 7, "controls": []}]})",
      button + R"(, "type": 1, "face": null}]}]})",  // a button is "button"
      button + R"(, "type": 65536, "face": null}]}]})",
      std::string(R"({"commandBars": [], "x": ")") + "\xFF\"}",
  };
  fs::create_directories(state_.parent_path());
  for (const std::string& text : cases) {
    std::ofstream(state_, std::ios::binary) << text;
    try {
      Start();
      ADD_FAILURE() << "accepted: " << text;
    } catch (const RuntimeError& error) {
      EXPECT_NE(error.description().find(state_.string()), std::string::npos)
          << error.description();
      // In the reader's words, not the JSON library's.
      EXPECT_EQ(error.description().find("[json."), std::string::npos) << error.description();
    }
    EXPECT_EQ(StateText(), text);
  }
}

}  // namespace
}  // namespace tkw::emulated
