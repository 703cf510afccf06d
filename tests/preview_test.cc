#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "host/command_bars/command_bar_state.h"
#include "host/formats/base64.h"
#include "host/formats/utf8.h"
#include "tools/tkwpreview/picture_drawing.h"
#include "tools/tkwpreview/preview_command.h"
#include "tools/tkwpreview/typesetter.h"

namespace tkw::preview {
namespace {

namespace fs = std::filesystem;
using command_bars::BarProperties;
using command_bars::BarType;
using command_bars::ButtonFace;
using command_bars::CommandBar;
using command_bars::CommandBarSet;
using command_bars::Control;
using command_bars::ControlProperties;
using command_bars::ControlType;
using Bytes = std::vector<std::uint8_t>;
using PixelRule = std::function<bool(int x, int y)>;

constexpr std::uint32_t kRed = 0xC01010, kWhite = 0xFFFFFF;

void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A bottom-up BITMAPINFOHEADER of 16 x 16 pixels, as GetDIBits leaves it.
Bytes Header(int bitsPerPixel, std::size_t imageSize) {
  Bytes dib(40);
  PutU32(dib, 0, 40);
  PutU32(dib, 4, 16);
  PutU32(dib, 8, 16);
  dib[12] = 1;
  dib[14] = static_cast<std::uint8_t>(bitsPerPixel);
  PutU32(dib, 20, static_cast<std::uint32_t>(imageSize));
  return dib;
}

// The face block: a 32-bit DIB whose pixel (x, y), counted from the top, is colour(x, y).
std::string FaceDib(const std::function<std::uint32_t(int, int)>& colour) {
  Bytes dib = Header(32, 16 * 16 * 4);
  for (int row = 15; row >= 0; --row) {
    for (int x = 0; x < 16; ++x) {
      const std::uint32_t c = colour(x, row);
      dib.insert(dib.end(), {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16), 0});
    }
  }
  return formats::EncodeBase64(dib);
}

// The mask block: header, black and white, rows of 4 bytes, and the two bytes of its tail.
std::string MaskDib(const PixelRule& transparent) {
  Bytes dib = Header(1, 16 * 4);
  dib.insert(dib.end(), {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0});
  for (int row = 15; row >= 0; --row) {
    Bytes line(4);
    for (int x = 0; x < 16; ++x)
      line[x / 8] |= transparent(x, row) ? 0x80 >> (x % 8) : 0;
    dib.insert(dib.end(), line.begin(), line.end());
  }
  dib.insert(dib.end(), {0, 0});
  return formats::EncodeBase64(dib);
}

ControlProperties Button(std::wstring caption, std::int32_t style, std::optional<ButtonFace> face,
                         bool builtIn = false) {
  ControlProperties p;
  p.caption = std::move(caption);
  p.style = style;
  p.face = std::move(face);
  p.builtIn = builtIn;
  return p;
}

ControlProperties Popup(std::wstring caption, bool builtIn) {
  ControlProperties p = Button(std::move(caption), 0, std::nullopt, builtIn);
  p.type = ControlType::kPopup;
  return p;
}

ButtonFace SolidFace(std::uint32_t colour) {
  return {FaceDib([=](int, int) { return colour; }), std::nullopt};
}

CommandBar& AddBar(CommandBarSet& bars, std::wstring name, BarType type, bool visible,
                   bool builtIn = false) {
  return bars.Add({std::move(name), type, 1, visible, /*temporary=*/false, builtIn});
}

Control& Append(command_bars::ControlList& list, ControlProperties p) {
  return list.Insert(list.size() + 1, std::move(p));
}

std::uint32_t PixelAt(const Surface& surface, int x, int y) {
  const unsigned char* row = cairo_image_surface_get_data(surface.get()) +
                             y * cairo_image_surface_get_stride(surface.get());
  return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
}

std::vector<const PlacedControl*> WithFaces(const Picture& picture) {
  std::vector<const PlacedControl*> found;
  for (const Strip& strip : picture.strips) {
    for (const PlacedControl& control : strip.controls) {
      if (control.face)
        found.push_back(&control);
    }
  }
  return found;
}

// Where the mask has a 1 the picture shows what lies under the face, which a face that is all
// mask reveals; elsewhere the face's own colour. A white pixel outside the mask stays white
// and a red one inside it goes, so a renderer that keys on white instead of reading the mask
// fails, as does one that turns the mask upside down.
TEST(PreviewTest, FaceShowsWhatLiesUnderItWhereItsMaskIsSet) {
  const PixelRule masked = [](int x, int y) { return (x + 2 * y) % 3 == 0 || (x == 14 && y == 9); };
  const auto colour = [](int x, int y) {
    return (x + 2 * y) % 3 == 0 || (x == 5 && y == 1) ? kWhite : kRed;
  };
  struct Case {
    View view;
    bool inMenu;
    bool withMask;
  } const cases[] = {
      {View::kCommandBars, false, true},  {View::kCommandBars, true, true},
      {View::kAddIns, false, true},       {View::kAddIns, true, true},
      {View::kCommandBars, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "view " << int(c.view) << ", menu " << c.inMenu << ", mask " << c.withMask);
    const auto render = [&](std::optional<std::string> mask) {
      CommandBarSet bars;
      Control& tools = Append(AddBar(bars, L"Menu Bar", BarType::kMenuBar, true, true).controls(),
                              Popup(L"&Tools", true));
      CommandBar& toolbar = AddBar(bars, L"Mine", BarType::kToolbar, true);
      Append(c.inMenu ? *tools.controls() : toolbar.controls(),
             Button(L"&Chart", 3, ButtonFace{FaceDib(colour), std::move(mask)}));
      const Picture picture = LayOutPicture(bars, c.view);
      return std::pair{WithFaces(picture).at(0)->face.value(), RenderPicture(picture)};
    };
    const auto [face, shown] = render(c.withMask ? std::optional(MaskDib(masked)) : std::nullopt);
    const auto [under, bare] = render(MaskDib([](int, int) { return true; }));
    ASSERT_EQ(face.x, under.x);
    ASSERT_EQ(face.y, under.y);
    for (int y = 0; y < kFaceSize; ++y) {
      for (int x = 0; x < kFaceSize; ++x) {
        const std::uint32_t pixel = PixelAt(shown, face.x + x, face.y + y);
        if (c.withMask && masked(x, y)) {
          ASSERT_EQ(pixel, PixelAt(bare, face.x + x, face.y + y)) << x << "," << y;
          ASSERT_NE(pixel, colour(x, y)) << x << "," << y;
        } else {
          ASSERT_EQ(pixel, colour(x, y)) << x << "," << y;
        }
      }
    }
  }
}

TEST(PreviewTest, EveryControlWidensItsBar) {
  const std::pair<const char*, ControlProperties> kinds[] = {
      {"icon", Button(L"&Icon", 1, SolidFace(kRed))},
      {"caption", Button(L"&Caption", 2, SolidFace(kRed))},
      {"icon and caption", Button(L"Both", 3, SolidFace(kRed))},
      {"automatic, no face", Button(L"Auto", 0, std::nullopt)},
      {"icon, no face", Button(L"Blank", 1, std::nullopt)},
      {"PowerPoint's own", Button(L"&Save", 0, std::nullopt, true)},
      {"pop-up", Popup(L"&More", false)},
  };
  for (const View view : {View::kCommandBars, View::kAddIns}) {
    for (const auto& [kind, properties] : kinds) {
      int previous = 0;
      for (int count = 1; count <= 4; ++count) {
        CommandBarSet bars;
        CommandBar& bar = AddBar(bars, L"Mine", BarType::kToolbar, true);
        for (int i = 0; i < count; ++i)
          Append(bar.controls(), properties);
        const Picture picture = LayOutPicture(bars, view);
        const auto strip = std::find_if(picture.strips.begin(), picture.strips.end(),
                                        [&](const Strip& s) { return s.bar == &bar; });
        ASSERT_NE(strip, picture.strips.end()) << kind;
        EXPECT_EQ(strip->controls.size(), static_cast<std::size_t>(count)) << kind;
        EXPECT_GT(strip->box.width, previous) << kind << ", " << count << " controls";
        previous = strip->box.width;
      }
    }
  }
}

TEST(PreviewTest, HiddenBarIsListedAndNotDrawn) {
  constexpr std::uint32_t kShownColour = 0x12AB34, kHiddenColour = 0x00FF00;
  CommandBarSet bars;
  Append(AddBar(bars, L"Shown", BarType::kToolbar, true).controls(),
         Button(L"Seen", 1, SolidFace(kShownColour)));
  CommandBar& hidden = AddBar(bars, L"Tucked", BarType::kToolbar, false);
  Append(hidden.controls(), Button(L"Unseen", 1, SolidFace(kHiddenColour)));
  for (const View view : {View::kCommandBars, View::kAddIns}) {
    const Picture picture = LayOutPicture(bars, view);
    EXPECT_EQ(picture.hiddenBars, std::vector<const CommandBar*>{&hidden});
    for (const Strip& strip : picture.strips)
      EXPECT_NE(strip.bar, &hidden);
    ASSERT_EQ(picture.hidden.size(), 2u);
    EXPECT_EQ(picture.hidden[1].text, "Tucked");
    EXPECT_LE(picture.hidden[1].box.right(), picture.width);

    const Surface image = RenderPicture(picture);
    std::set<std::uint32_t> colours;
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x)
        colours.insert(PixelAt(image, x, y));
    }
    EXPECT_TRUE(colours.contains(kShownColour));
    EXPECT_FALSE(colours.contains(kHiddenColour));
  }
}

// The menus that open are those with controls of ours, at any depth, and nothing else.
TEST(PreviewTest, OpensTheMenusThatHoldControlsOfOurs) {
  CommandBarSet bars = command_bars::BuiltInCommandBars();
  command_bars::ControlList& menus = bars.Find(L"Menu Bar")->controls();
  Append(*menus.FindByCaption(L"Tools")->controls(), Button(L"Ours", 0, std::nullopt));
  Control& more = Append(*menus.FindByCaption(L"Format")->controls(), Popup(L"More", false));
  Append(*more.controls(), Button(L"Deep", 0, std::nullopt));
  const std::pair<View, std::vector<std::wstring>> cases[] = {
      {View::kCommandBars, {L"F&ormat", L"More", L"&Tools"}},
      {View::kAddIns, {L"F&ormat", L"More", L"&Tools"}},
  };
  for (const auto& [view, expected] : cases) {
    std::vector<std::wstring> open;
    for (const Strip& strip : LayOutPicture(bars, view).strips) {
      if (strip.kind == StripKind::kMenu)
        open.push_back(strip.controls.at(0).control->parent().owner()->properties().caption);
    }
    EXPECT_EQ(open, expected);
  }
}

// Office 2007's Add-Ins tab: controls added to PowerPoint's own toolbars in "Toolbar Commands",
// to menus in "Menu Commands", and bars of add-ins' own in "Custom Toolbars"; each toolbar's
// row named, a menu's drop-down by its title.
TEST(PreviewTest, AddInsTabPutsEachControlInItsGroup) {
  const struct {
    const char* what;
    std::function<void(CommandBarSet&)> add;
    std::vector<std::string> rows;  // "<group>: <the row's name>", in order
  } cases[] = {
      {"a button on PowerPoint's own toolbar",
       [](CommandBarSet& bars) {
         Append(bars.Find(L"Standard")->controls(), Button(L"Ours", 0, std::nullopt));
       },
       {"Toolbar Commands: Standard"}},
      {"a toolbar of an add-in's own",
       [](CommandBarSet& bars) {
         Append(AddBar(bars, L"Glintwave", BarType::kToolbar, true).controls(),
                Button(L"Ours", 0, std::nullopt));
       },
       {"Custom Toolbars: Glintwave"}},
      {"a control in PowerPoint's menu, and a menu of an add-in's own",
       [](CommandBarSet& bars) {
         command_bars::ControlList& menus = bars.Find(L"Menu Bar")->controls();
         Append(*menus.FindByCaption(L"Tools")->controls(), Button(L"Ours", 0, std::nullopt));
         Append(*Append(menus, Popup(L"&Glintwave", false)).controls(),
                Button(L"Mine", 0, std::nullopt));
       },
       {"Menu Commands: &Tools", "Menu Commands: &Glintwave"}},
      {"all three, an empty toolbar of its own and a hidden one left out",
       [](CommandBarSet& bars) {
         Append(*bars.Find(L"Menu Bar")->controls().FindByCaption(L"Help")->controls(),
                Button(L"Ours", 0, std::nullopt));
         Append(AddBar(bars, L"Mine", BarType::kToolbar, true).controls(),
                Button(L"Ours", 0, std::nullopt));
         AddBar(bars, L"Empty", BarType::kToolbar, true);
         Append(AddBar(bars, L"Tucked", BarType::kToolbar, false).controls(),
                Button(L"Ours", 0, std::nullopt));
         Append(bars.Find(L"Formatting")->controls(), Button(L"Ours", 0, std::nullopt));
       },
       {"Menu Commands: &Help", "Toolbar Commands: Formatting", "Custom Toolbars: Mine"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CommandBarSet bars = command_bars::BuiltInCommandBars();
    c.add(bars);
    const Picture picture = LayOutPicture(bars, View::kAddIns);
    std::vector<std::string> rows;
    for (const Strip& strip : picture.strips) {
      if (strip.kind != StripKind::kRibbonRow && strip.kind != StripKind::kRibbonMenu)
        continue;
      const auto group =
          std::find_if(picture.groups.begin(), picture.groups.end(), [&](const Note& g) {
            return g.box.x <= strip.box.x && strip.box.right() <= g.box.right();
          });
      ASSERT_NE(group, picture.groups.end());
      if (strip.kind == StripKind::kRibbonMenu) {
        rows.push_back(group->text + ": " +
                       formats::WideToUtf8(strip.controls.at(0).control->properties().caption));
        continue;
      }
      rows.push_back(group->text + ": " + (strip.label ? strip.label->text : "<no name>"));
      if (strip.label) {  // before the row's controls, inside the group
        EXPECT_GE(strip.label->box.x, group->box.x);
        EXPECT_LE(strip.label->box.right(), strip.controls.at(0).box.x);
      }
    }
    EXPECT_EQ(rows, c.rows);
  }
}

TEST(PreviewTest, CaptionsShowTheirAcceleratorAsOfficeDoes) {
  const std::pair<const wchar_t*, Caption> cases[] = {
      {L"&New", {"New", 0}},
      {L"Save &As...", {"Save As...", 5}},
      {L"R&&D", {"R&D", std::nullopt}},
      {L"&&&Tools", {"&Tools", 1}},
      {L"a&b&c", {"abc", 1}},
      {L"End&", {"End", std::nullopt}},
      {L"<b>&\u00e9t\u00e9", {"<b>\u00e9t\u00e9", 3}},
  };
  for (const auto& [caption, expected] : cases)
    EXPECT_EQ(ReadCaption(caption), expected) << formats::WideToUtf8(caption);
}

class PreviewCommandTest : public testing::Test {
 protected:
  PreviewCommandTest() {
    std::string pattern = (fs::temp_directory_path() / "tkw-preview-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    fs::create_directories(folder_ / "machine" / "powerpoint");
  }
  ~PreviewCommandTest() override { fs::remove_all(folder_); }

  int Run(std::vector<std::string> args) {
    std::ostringstream out;
    err_.str("");
    return RunPreview(args, out, err_);
  }

  fs::path folder_;
  std::ostringstream err_;
};

// Every failure is one line and a status; no state file means PowerPoint's own bars.
TEST_F(PreviewCommandTest, ExitsWithOneLineForWhatItCannotRead) {
  const std::string machine = (folder_ / "machine").string(), png = (folder_ / "p.png").string();
  const fs::path state = folder_ / "machine" / "powerpoint" / "commandbars.json";
  const std::pair<std::function<void()>, int> cases[] = {
      {[] {}, 0},
      {[&] { std::ofstream(state) << R"({"commandBars": [{"name": 1}]})"; }, 2},
      {[&] { std::ofstream(state) << "{\"commandBars\": [\n"; }, 2},
      {[&] { fs::remove(state), fs::create_directory(state); }, 2},
      {[&] { fs::remove_all(folder_ / "machine"); }, 2},
  };
  for (const auto& [prepare, status] : cases) {
    prepare();
    EXPECT_EQ(Run({"--prefix", machine, "--out", png}), status) << err_.str();
    const std::string message = err_.str();
    EXPECT_EQ(message.find('\n'), status == 0 ? std::string::npos : message.size() - 1) << message;
    EXPECT_EQ(fs::exists(png), status == 0);
    fs::remove(png);
  }
  EXPECT_EQ(Run({"--prefix", machine}), 2);
  EXPECT_EQ(Run({"--out", png, "--view", "ribbon"}), 2);

  fs::create_directories(folder_ / "machine");
  const std::string svg = (folder_ / "p.svg").string();
  EXPECT_EQ(Run({"--prefix", machine, "--out", png, "--svg", svg, "--view", "addins"}), 0);
  std::string start(5, ' ');
  std::ifstream(svg).read(start.data(), 5);
  EXPECT_EQ(start, "<?xml");
  EXPECT_EQ(Run({"--prefix", machine, "--out", (folder_ / "none" / "p.png").string()}), 1);
}

// Once PowerPoint closes, its temporary bars and controls are gone and the rest is drawn as it
// is: the picture after close is the picture of the permanent items alone.
TEST_F(PreviewCommandTest, AfterCloseDrawsOnlyWhatLasts) {
  const fs::path state = folder_ / "machine" / "powerpoint" / "commandbars.json";
  const auto save = [&](bool withTemporary) {
    CommandBarSet bars;
    CommandBar& standard = AddBar(bars, L"Standard", BarType::kToolbar, true, /*builtIn=*/true);
    Append(standard.controls(), Button(L"Kept", 1, SolidFace(kRed)));
    if (withTemporary) {
      ControlProperties gone = Button(L"Gone", 1, SolidFace(kRed));
      gone.temporary = true;
      Append(standard.controls(), std::move(gone));
      CommandBar& ours = bars.Add({L"Ours", BarType::kToolbar, 1, true, /*temporary=*/true});
      Append(ours.controls(), Button(L"On ours", 1, std::nullopt));
    }
    command_bars::SaveCommandBars(bars, state);
  };
  const auto picture = [&](bool afterClose) {
    const fs::path png = folder_ / "p.png";
    std::vector<std::string> args = {"--prefix", (folder_ / "machine").string(), "--out",
                                     png.string()};
    if (afterClose)
      args.push_back("--after-close");
    EXPECT_EQ(Run(args), 0) << err_.str();
    std::ifstream in(png, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  save(/*withTemporary=*/false);
  const std::string lasting = picture(/*afterClose=*/false);
  save(/*withTemporary=*/true);
  EXPECT_NE(picture(/*afterClose=*/false), lasting);
  EXPECT_EQ(picture(/*afterClose=*/true), lasting);
}

}  // namespace
}  // namespace tkw::preview
