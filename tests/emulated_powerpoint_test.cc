#include <gtest/gtest.h>

#include <algorithm>
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

using host::DispatchPtr;
using host::InvokeKind;
using host::MissingArgument;
using host::Variant;
namespace office = host::office;
using Bytes = std::vector<std::uint8_t>;

class FakeMemory : public host::GlobalMemory {
 public:
  host::Handle Store(Bytes bytes) {
    blocks_[++last_] = std::move(bytes);
    return last_;
  }
  host::Handle GlobalAlloc(std::uint32_t, std::size_t bytes) override {
    return Store(Bytes(bytes));
  }
  std::size_t GlobalSize(host::Handle block) override { return blocks_.at(block).size(); }
  void* GlobalLock(host::Handle block) override { return blocks_.at(block).data(); }
  bool GlobalUnlock(host::Handle) override { return true; }
  host::Handle GlobalFree(host::Handle block) override { return blocks_.erase(block) ? 0 : block; }

 private:
  std::map<host::Handle, Bytes> blocks_;
  host::Handle last_ = 0;
};

class FakeClipboard : public host::Clipboard {
 public:
  bool heldElsewhere = false;
  bool open = false;
  std::map<unsigned, host::Handle> data;

  bool OpenClipboard(host::Handle) override { return !heldElsewhere && !std::exchange(open, true); }
  bool CloseClipboard() override { return std::exchange(open, false); }
  bool EmptyClipboard() override { return data.clear(), true; }
  unsigned RegisterClipboardFormatA(const std::string& name) override {
    return names_.emplace(name, 0xC000 + names_.size()).first->second;
  }
  host::Handle GetClipboardData(unsigned format) override {
    EXPECT_TRUE(open);
    auto found = data.find(format);
    return found == data.end() ? 0 : found->second;
  }
  host::Handle SetClipboardData(unsigned format, host::Handle block) override {
    return data[format] = block;
  }

 private:
  std::map<std::string, unsigned> names_;
};

Variant Call(const DispatchPtr& object, std::wstring_view member, std::vector<Variant> args = {}) {
  return object->Invoke(member, InvokeKind::kGet, args);
}
DispatchPtr Object(const DispatchPtr& object, std::wstring_view member,
                   std::vector<Variant> args = {}) {
  return std::get<DispatchPtr>(Call(object, member, std::move(args)));
}
void Put(const DispatchPtr& object, std::wstring_view member, Variant value) {
  object->Invoke(member, InvokeKind::kPut, std::span<const Variant>(&value, 1));
}
std::wstring Text(const DispatchPtr& object, std::wstring_view member) {
  return std::get<std::wstring>(Call(object, member));
}
std::int32_t Number(const DispatchPtr& object, std::wstring_view member) {
  return std::get<std::int32_t>(Call(object, member));
}

// Adds a control the way the builders do: Type, Id, Parameter, Before, Temporary.
DispatchPtr AddControl(const DispatchPtr& controls, std::int16_t type, Variant before,
                       std::wstring caption, std::wstring tag = L"") {
  DispatchPtr control =
      Object(controls, L"Add", {type, MissingArgument{}, MissingArgument{}, before, true});
  Put(control, L"Caption", caption);
  Put(control, L"Tag", tag);
  return control;
}

class EmulatedPowerPointTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("tkw_powerpoint_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    state_ = folder_ / "powerpoint" / "commandbars.json";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  DispatchPtr Start() { return CreatePowerPointApplication(state_, clipboard_, memory_); }
  DispatchPtr Bars(const DispatchPtr& app) { return Object(app, L"CommandBars"); }
  DispatchPtr NewToolbar(const DispatchPtr& app, const std::wstring& name) {
    return Object(Bars(app), L"Add", {name, office::msoBarTop, false, true});
  }
  void WriteState(const std::string& text) {
    std::filesystem::create_directories(state_.parent_path());
    std::ofstream(state_, std::ios::binary) << text;
  }
  nlohmann::json ReadState() { return nlohmann::json::parse(std::ifstream(state_)); }

  std::filesystem::path folder_, state_;
  FakeClipboard clipboard_;
  FakeMemory memory_;
};

TEST(Base64Test, EncodesAndChecks) {
  const std::vector<std::pair<std::string, std::string>> known = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}};
  for (const auto& [plain, encoded] : known) {
    EXPECT_EQ(EncodeBase64(Bytes(plain.begin(), plain.end())), encoded);
    EXPECT_TRUE(IsBase64(encoded)) << encoded;
  }
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_TRUE(IsBase64(EncodeBase64(all)));
  for (const char* bad : {"Zg=", "Z===", "Zh==", "Zm9=", "Zm9!", "====", "Zm=v"}) {
    EXPECT_FALSE(IsBase64(bad)) << bad;
  }
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
    if (step % 97 == 0) {
      for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(list.At(i), expected[i].first);
        ASSERT_EQ(list.IndexOf(expected[i].second), i);
      }
    }
  }
}

TEST_F(EmulatedPowerPointTest, ItemMatchesNamesAndPlaces) {
  DispatchPtr app = Start();
  DispatchPtr menus = Object(Object(Bars(app), L"Item", {std::wstring(L"Menu Bar")}), L"Controls");
  struct Case {
    DispatchPtr collection;
    Variant index;
    const wchar_t* found;  // null: an error
  };
  const std::vector<Case> cases = {
      {Bars(app), std::wstring(L"menu bar"), L"Menu Bar"},
      {Bars(app), std::wstring(L"&FORMATTING"), L"Formatting"},
      {Bars(app), std::int16_t{2}, L"Standard"},
      {Bars(app), std::int32_t{3}, L"Formatting"},
      {Bars(app), std::int16_t{0}, nullptr},
      {Bars(app), std::int16_t{4}, nullptr},
      {Bars(app), std::wstring(L"Menu"), nullptr},
      {Bars(app), true, nullptr},
      {menus, std::wstring(L"slide show"), L"Sli&de Show"},
      {menus, std::wstring(L"&Format"), L"F&ormat"},
      {menus, std::int16_t{9}, L"&Help"},
      {menus, std::int32_t{10}, nullptr},
      {menus, std::wstring(L"Slide  Show"), nullptr},
  };
  for (const Case& c : cases) {
    const std::vector<Variant> args = {c.index};
    if (c.found == nullptr) {
      EXPECT_THROW(c.collection->Invoke(L"item", InvokeKind::kGet, args), host::RuntimeError);
    } else {
      const DispatchPtr item =
          std::get<DispatchPtr>(c.collection->Invoke(L"ITEM", InvokeKind::kGet, args));
      const bool isBar = item->Supports(office::kIidCommandBar);
      EXPECT_EQ(Text(item, isBar ? L"Name" : L"Caption"), c.found);
    }
  }
  EXPECT_THROW(Object(Bars(app), L"Add", {std::wstring(L"standard")}), host::RuntimeError);
}

TEST_F(EmulatedPowerPointTest, FindControlGoesDepthFirstAndFollowsTagChanges) {
  DispatchPtr app = Start();
  DispatchPtr bar = NewToolbar(app, L"Tools bar");
  DispatchPtr controls = Object(bar, L"Controls");
  DispatchPtr popup = AddControl(controls, office::msoControlPopup, MissingArgument{}, L"Sub");
  DispatchPtr nested = AddControl(Object(popup, L"Controls"), office::msoControlButton,
                                  MissingArgument{}, L"nested", L"t");
  DispatchPtr top = AddControl(controls, office::msoControlButton, MissingArgument{}, L"top", L"t");
  auto find = [&](Variant type, std::wstring tag, bool recursive) -> std::wstring {
    const Variant found =
        Call(bar, L"FindControl", {type, MissingArgument{}, tag, MissingArgument{}, recursive});
    const DispatchPtr control = std::get<DispatchPtr>(found);
    return control ? Text(control, L"Caption") : L"<nothing>";
  };
  EXPECT_EQ(find(office::msoControlButton, L"t", true), L"nested");
  EXPECT_EQ(find(office::msoControlButton, L"t", false), L"top");
  EXPECT_EQ(find(office::msoControlPopup, L"t", true), L"<nothing>");
  EXPECT_EQ(find(office::msoControlButton, L"T", true), L"<nothing>");
  EXPECT_EQ(find(MissingArgument{}, L"", true), L"Sub");  // an empty tag is no criterion

  AddControl(controls, office::msoControlButton, std::int16_t{1}, L"first", L"t");
  EXPECT_EQ(find(office::msoControlButton, L"t", true), L"first");
  Put(Object(Object(bar, L"Controls"), L"Item", {std::int16_t{1}}), L"Tag", std::wstring(L"u"));
  EXPECT_EQ(find(office::msoControlButton, L"t", true), L"nested");
  Call(popup, L"Delete", {MissingArgument{}});
  EXPECT_EQ(find(office::msoControlButton, L"t", true), L"top");
  EXPECT_THROW(Text(nested, L"Caption"), host::RuntimeError);
}

TEST_F(EmulatedPowerPointTest, AddPlacesBeforeAndDeleteShiftsIndexes) {
  DispatchPtr app = Start();
  DispatchPtr controls = Object(NewToolbar(app, L"Order"), L"Controls");
  auto captions = [&] {
    std::wstring all;
    for (std::int32_t i = 1; i <= Number(controls, L"Count"); ++i) {
      all += Text(Object(controls, L"Item", {i}), L"Caption");
    }
    return all;
  };
  DispatchPtr a = AddControl(controls, office::msoControlButton, MissingArgument{}, L"a");
  DispatchPtr b = AddControl(controls, office::msoControlButton, MissingArgument{}, L"b");
  DispatchPtr c = AddControl(controls, office::msoControlButton, std::int16_t{1}, L"c");
  DispatchPtr d = AddControl(controls, office::msoControlButton, std::int32_t{3}, L"d");
  DispatchPtr e = AddControl(controls, office::msoControlButton, std::int16_t{5}, L"e");
  EXPECT_EQ(captions(), L"cadbe");
  EXPECT_EQ(Number(b, L"Index"), 4);
  for (std::int16_t before : {std::int16_t{0}, std::int16_t{7}}) {
    EXPECT_THROW(AddControl(controls, office::msoControlButton, before, L"x"), host::RuntimeError);
  }
  EXPECT_THROW(Object(controls, L"Add", {std::int16_t{2}}), host::RuntimeError);  // an edit box
  EXPECT_EQ(Number(controls, L"Count"), 5);

  Call(a, L"Delete", {MissingArgument{}});
  EXPECT_EQ(captions(), L"cdbe");
  EXPECT_EQ(Number(b, L"Index"), 3);
  EXPECT_THROW(Number(a, L"Index"), host::RuntimeError);
  EXPECT_THROW(Call(a, L"Delete"), host::RuntimeError);
  EXPECT_THROW(Put(d, L"Caption", std::int16_t{1}), host::RuntimeError);
  EXPECT_THROW(Put(d, L"Index", std::int32_t{1}), host::RuntimeError);
  EXPECT_THROW(Call(d, L"Controls"), host::RuntimeError);  // a button has none
  EXPECT_THROW(Call(d, L"NoSuchMember"), host::RuntimeError);
}

TEST_F(EmulatedPowerPointTest, ObjectsAnswerTheirInterfaces) {
  DispatchPtr app = Start();
  DispatchPtr bars = Bars(app);
  DispatchPtr bar = Object(bars, L"Item", {std::wstring(L"Menu Bar")});
  DispatchPtr controls = Object(bar, L"Controls");
  DispatchPtr popup = Object(controls, L"Item", {std::int16_t{1}});
  DispatchPtr button = Object(Object(popup, L"Controls"), L"Item", {std::int16_t{1}});
  const std::vector<host::InterfaceId> all = {
      office::kIidApplication,        office::kIidCommandBars,       office::kIidCommandBar,
      office::kIidCommandBarControls, office::kIidCommandBarControl, office::kIidCommandBarButton,
      office::kIidCommandBarPopup};
  const std::vector<std::pair<DispatchPtr, std::vector<host::InterfaceId>>> cases = {
      {app, {office::kIidApplication}},
      {bars, {office::kIidCommandBars}},
      {bar, {office::kIidCommandBar}},
      {controls, {office::kIidCommandBarControls}},
      {popup, {office::kIidCommandBarControl, office::kIidCommandBarPopup}},
      {button, {office::kIidCommandBarControl, office::kIidCommandBarButton}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    for (const host::InterfaceId& iid : all) {
      const auto& expected = cases[i].second;
      EXPECT_EQ(cases[i].first->Supports(iid),
                std::find(expected.begin(), expected.end(), iid) != expected.end())
          << "object " << i << " interface " << std::hex << iid.data1;
    }
  }
}

TEST_F(EmulatedPowerPointTest, PasteFaceTakesFaceAndMaskOrDibAlone) {
  const Bytes face = {1, 2, 3}, mask = {4, 5}, dib = {6, 7, 8, 9};
  const unsigned faceFormat = clipboard_.RegisterClipboardFormatA("Toolbar Button Face");
  const unsigned maskFormat = clipboard_.RegisterClipboardFormatA("Toolbar Button Mask");
  struct Case {
    std::map<unsigned, Bytes> clipboard;
    bool heldElsewhere;
    nlohmann::json stored;  // null: PasteFace fails and the button keeps no face
  };
  const std::vector<Case> cases = {
      {{{faceFormat, face}, {maskFormat, mask}, {host::kCfDib, dib}},
       false,
       {{"dib", "AQID"}, {"mask", "BAU="}}},
      {{{faceFormat, face}}, false, {{"dib", "AQID"}, {"mask", nullptr}}},
      {{{maskFormat, mask}, {host::kCfDib, dib}}, false, {{"dib", "BgcICQ=="}, {"mask", nullptr}}},
      {{{maskFormat, mask}}, false, nullptr},
      {{{host::kCfDib, dib}}, true, nullptr},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    clipboard_.data.clear();
    for (const auto& [format, bytes] : cases[i].clipboard) {
      clipboard_.data[format] = memory_.Store(bytes);
    }
    clipboard_.heldElsewhere = cases[i].heldElsewhere;
    {
      DispatchPtr app = Start();
      DispatchPtr button =
          AddControl(Object(NewToolbar(app, L"Bar " + std::to_wstring(i)), L"Controls"),
                     office::msoControlButton, MissingArgument{}, L"b");
      if (cases[i].stored.is_null()) {
        EXPECT_THROW(Call(button, L"PasteFace"), host::RuntimeError) << i;
      } else {
        Call(button, L"PasteFace");
      }
      EXPECT_FALSE(clipboard_.open) << i;
    }
    const nlohmann::json bar = ReadState()["commandBars"].back();
    EXPECT_EQ(bar["controls"][0]["face"], cases[i].stored) << i;
  }
}

TEST_F(EmulatedPowerPointTest, StateIsWrittenWhenTheLastObjectGoesAndReadBack) {
  const Bytes dib = {0, 0xFF, 0x10};
  clipboard_.data[host::kCfDib] = memory_.Store(dib);
  DispatchPtr button;
  {
    DispatchPtr app = Start();
    DispatchPtr bar = NewToolbar(app, L"Tarnwick Tools");
    Put(bar, L"Visible", true);
    button = AddControl(Object(bar, L"Controls"), office::msoControlButton, MissingArgument{},
                        L"Sch\u00f6n", L"tag1");
    Put(button, L"OnAction", std::wstring(L"Macro1"));
    Put(button, L"TooltipText", std::wstring(L"tip"));
    Put(button, L"Style", office::msoButtonIconAndCaption);
    Call(button, L"PasteFace");
    DispatchPtr menu = Object(bar, L"Controls");
    for (int depth = 0; depth < 12; ++depth) {
      menu = Object(AddControl(menu, office::msoControlPopup, MissingArgument{}, L"deep"),
                    L"Controls");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(state_)) << "written while a control was still held";
  button.reset();
  ASSERT_TRUE(std::filesystem::exists(state_));
  EXPECT_FALSE(std::filesystem::exists(state_.string() + ".tmp"));

  nlohmann::json bar = ReadState()["commandBars"][3];
  bar["controls"].erase(1);  // the nested pop-ups
  EXPECT_EQ(bar, nlohmann::json::parse(R"({
      "name": "Tarnwick Tools", "type": "toolbar", "position": 1, "visible": true,
      "temporary": true, "builtIn": false,
      "controls": [{"type": "button", "id": 1, "caption": "Sch\u00f6n", "tag": "tag1",
                    "onAction": "Macro1", "tooltipText": "tip", "temporary": true,
                    "builtIn": false, "style": 3, "face": {"dib": "AP8Q", "mask": null}}]})"));

  DispatchPtr app = Start();
  DispatchPtr again =
      Object(Object(Object(Bars(app), L"Item", {std::wstring(L"tarnwick tools")}), L"Controls"),
             L"Item", {std::wstring(L"sch\u00d6n")});
  EXPECT_EQ(Text(again, L"Tag"), L"tag1");
  EXPECT_EQ(Number(again, L"Style"), office::msoButtonIconAndCaption);
  // The streamed text is what a JSON library writes for the same document.
  std::ifstream in(state_, std::ios::binary);
  const std::string written(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(nlohmann::ordered_json::parse(written).dump(2) + "\n", written);
  EXPECT_EQ(SerializeCommandBars(ParseCommandBars(written)), written);
}

TEST_F(EmulatedPowerPointTest, MissingStateGivesPowerPointsBuiltInBars) {
  DispatchPtr app = Start();
  DispatchPtr bars = Bars(app);
  ASSERT_EQ(Number(bars, L"Count"), 3);
  DispatchPtr menuBar = Object(bars, L"Item", {std::int16_t{1}});
  EXPECT_EQ(Text(menuBar, L"Name"), L"Menu Bar");
  EXPECT_EQ(Number(menuBar, L"Type"), 1);  // msoBarTypeMenuBar
  std::wstring menus;
  DispatchPtr controls = Object(menuBar, L"Controls");
  for (std::int32_t i = 1; i <= Number(controls, L"Count"); ++i) {
    DispatchPtr menu = Object(controls, L"Item", {i});
    menus += Text(menu, L"Caption") + L"|";
    EXPECT_TRUE(menu->Supports(office::kIidCommandBarPopup));
    EXPECT_GT(Number(Object(menu, L"Controls"), L"Count"), 2);
  }
  EXPECT_EQ(menus, L"&File|&Edit|&View|&Insert|F&ormat|&Tools|Sli&de Show|&Window|&Help|");
  EXPECT_EQ(Text(Object(bars, L"Item", {std::int16_t{2}}), L"Name"), L"Standard");
  EXPECT_EQ(Text(Object(bars, L"Item", {std::int16_t{3}}), L"Name"), L"Formatting");
}

TEST_F(EmulatedPowerPointTest, MalformedStateFailsNamingTheFileAndIsKept) {
  const char* bar = R"("name": "B", "type": "toolbar", "position": 1, "visible": true,
                       "temporary": false, "builtIn": false)";
  const std::string button = R"("type": "button", "id": 1, "caption": "c", "tag": "",
      "onAction": "", "tooltipText": "", "temporary": false, "builtIn": false, "style": 0)";
  const std::vector<std::string> cases = {
      "",
      "{\"commandBars\": [",
      "[]",
      "{}",
      R"({"commandBars": {}})",
      std::string(R"({"commandBars": [{)") + bar + "}]}",
      std::string(R"({"commandBars": [{)") + bar + R"(, "type": "menu", "controls": []}]})",
      std::string(R"({"commandBars": [{)") + bar + R"(, "controls": [{)" + button + "}]}]}",
      std::string(R"({"commandBars": [{)") + bar + R"(, "controls": [{)" + button +
          R"(, "face": {"dib": "A", "mask": null}}]}]})",
      std::string(R"({"commandBars": [{)") + bar + R"(, "controls": [{)" + button +
          R"(, "id": 4294967296, "face": null}]}]})",
      std::string(R"({"commandBars": [{"name": "\ud800", )") + (bar + 12) +
          R"(, "controls": []}]})",
  };
  for (const std::string& text : cases) {
    WriteState(text);
    try {
      Start();
      ADD_FAILURE() << "accepted: " << text;
    } catch (const host::RuntimeError& error) {
      EXPECT_NE(error.description().find(state_.string()), std::string::npos)
          << error.description();
    }
    std::ifstream in(state_, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), text);
  }
}

}  // namespace
}  // namespace tkw::emulated
