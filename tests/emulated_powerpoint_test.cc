#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <numeric>
#include <random>
#include <vector>

#include "host/emulated_windows/powerpoint/base64.h"
#include "host/emulated_windows/powerpoint/command_bar_state.h"
#include "host/emulated_windows/powerpoint/powerpoint_application.h"
#include "host/emulated_windows/powerpoint/ranked_list.h"
#include "host/office_interfaces.h"
#include "host/runtime_error.h"

namespace tkw::emulated {
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
  }
  ~EmulatedPowerPointTest() override { fs::remove_all(folder_); }

  DispatchPtr Start() { return CreatePowerPointApplication(state_, clipboard_, clipboard_); }
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
};

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

TEST_F(EmulatedPowerPointTest, PasteFaceTakesFaceAndMaskOrDibAlone) {
  const Bytes face = {1, 2, 3}, mask = {4, 5}, dib = {6, 7, 8, 9};
  const unsigned faceFormat = clipboard_.RegisterClipboardFormatA("Toolbar Button Face");
  const unsigned maskFormat = clipboard_.RegisterClipboardFormatA("Toolbar Button Mask");
  const std::tuple<std::map<unsigned, Bytes>, bool, nlohmann::json> cases[] = {
      // clipboard, held elsewhere, the face stored (null: PasteFace fails and none is stored)
      {{{faceFormat, face}, {maskFormat, mask}, {host::kCfDib, dib}},
       false,
       {{"dib", "AQID"}, {"mask", "BAU="}}},
      {{{faceFormat, face}}, false, {{"dib", "AQID"}, {"mask", nullptr}}},
      {{{maskFormat, mask}, {host::kCfDib, dib}}, false, {{"dib", "BgcICQ=="}, {"mask", nullptr}}},
      {{{maskFormat, mask}}, false, nullptr},
      {{{host::kCfDib, dib}}, true, nullptr},
  };
  for (const auto& [formats, held, stored] : cases) {
    clipboard_.data.clear();
    for (const auto& [format, bytes] : formats)
      clipboard_.data[format] = clipboard_.Store(bytes);
    clipboard_.heldElsewhere = held;
    {
      DispatchPtr app = Start();
      DispatchPtr button = AddControl(Object(NewToolbar(app, L"Bar"), L"Controls"), L"b");
      if (stored.is_null()) {
        EXPECT_THROW(Call(button, L"PasteFace"), RuntimeError) << stored;
      } else {
        Call(button, L"PasteFace");
      }
      EXPECT_FALSE(clipboard_.open);
    }
    EXPECT_EQ(nlohmann::json::parse(StateText())["commandBars"][3]["controls"][0]["face"], stored);
    fs::remove(state_);
  }
}

TEST_F(EmulatedPowerPointTest, StateIsWrittenWhenTheLastObjectGoesAndReadBack) {
  clipboard_.data[host::kCfDib] = clipboard_.Store({0, 0xFF, 0x10});
  DispatchPtr button;
  {
    DispatchPtr app = Start();
    DispatchPtr bar = NewToolbar(app, L"Tarnwick Tools");
    Put(bar, L"Visible", true);
    button = AddControl(Object(bar, L"Controls"), L"Sch\u00f6n", L"tag1");
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
                    "builtIn": false, "style": 3, "face": {"dib": "AP8Q", "mask": null}}]})"));
  // The streamed text is what a JSON library writes for the same document.
  EXPECT_EQ(nlohmann::ordered_json::parse(written).dump(2) + "\n", written);

  DispatchPtr again =
      Object(Object(Object(Bars(Start()), L"Item", {std::wstring(L"tarnwick tools")}), L"Controls"),
             L"Item", {std::wstring(L"sch\u00d6n")});
  EXPECT_EQ(Text(again, L"Tag"), L"tag1");
  EXPECT_EQ(Number(again, L"Style"), office::msoButtonIconAndCaption);
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
      "{}",
      R"({"commandBars": {}})",
      bar + "}]}",  // no controls
      bar + R"(, "type": "menu", "controls": []}]})",
      button + "}]}]}",  // no face
      button + R"(, "face": {"dib": "A", "mask": null}}]}]})",
      button + R"(, "id": 4294967296, "face": null}]}]})",
      R"({"commandBars": [{"name": "\ud800", )" + bar.substr(31) + R"(, "controls": []}]})",
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
    }
    EXPECT_EQ(StateText(), text);
  }
}

}  // namespace
}  // namespace tkw::emulated
