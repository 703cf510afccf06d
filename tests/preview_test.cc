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
      const Picture picture = LayOutPicture(bars, c.view, Moment::kRunning);
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
        const Picture picture = LayOutPicture(bars, view, Moment::kRunning);
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
    const Picture picture = LayOutPicture(bars, view, Moment::kRunning);
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
    for (const Strip& strip : LayOutPicture(bars, view, Moment::kRunning).strips) {
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
    const Picture picture = LayOutPicture(bars, View::kAddIns, Moment::kRunning);
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

// The title stands above the bars or the ribbon, and nothing is drawn over it.
TEST(PreviewTest, TitleStandsAboveEverythingElse) {
  CommandBarSet bars = command_bars::BuiltInCommandBars();
  Append(*bars.Find(L"Menu Bar")->controls().FindByCaption(L"Tools")->controls(),
         Button(L"Ours", 0, std::nullopt));
  Append(AddBar(bars, L"Glintwave", BarType::kToolbar, true).controls(),
         Button(L"Ours", 0, std::nullopt));
  for (const View view : {View::kCommandBars, View::kAddIns}) {
    for (const Moment moment : {Moment::kRunning, Moment::kClosed}) {
      SCOPED_TRACE(testing::Message() << "view " << int(view) << ", moment " << int(moment));
      const Picture picture = LayOutPicture(bars, view, moment);
      const Box& title = picture.title.box;
      EXPECT_GT(title.width, 0);
      EXPECT_GE(title.y, 0);
      EXPECT_LE(title.right(), picture.width);
      EXPECT_LE(title.bottom(), picture.dock.y);
      for (const Strip& strip : picture.strips)
        EXPECT_GE(strip.box.y, title.bottom());
      for (const Note& tab : picture.tabs)
        EXPECT_GE(tab.box.y, title.bottom());
    }
  }
}

// On the Add-Ins tab every open menu hangs from its own drop-down, in the drop-down's column
// and below the ribbon, however many there are and however wide their menus and sub-menus.
TEST(PreviewTest, AddInsMenuHangsUnderItsOwnButton) {
  const auto ours = [](Control& popup, const wchar_t* caption) {
    Append(*popup.controls(), Button(caption, 0, std::nullopt));
  };
  const struct {
    const char* what;
    std::function<void(command_bars::ControlList& menus)> add;
    std::vector<std::wstring> open;  // the titles of the menus that open, in order
  } cases[] = {
      {"three of PowerPoint's menus, once stacked in one column",
       [&](command_bars::ControlList& menus) {
         for (const wchar_t* menu : {L"Insert", L"Tools", L"Help"})
           ours(*menus.FindByCaption(menu), L"Ours");
       },
       {L"&Insert", L"&Tools", L"&Help"}},
      {"four, wide ones and a sub-menu of ours",
       [&](command_bars::ControlList& menus) {
         ours(*menus.FindByCaption(L"File"), L"A caption far wider than its menu's title");
         Control& deeper =
             Append(*menus.FindByCaption(L"Edit")->controls(), Popup(L"Deeper", false));
         ours(deeper, L"Another caption, wide enough to reach well beyond the next title");
         ours(*menus.FindByCaption(L"View"), L"V");
         ours(*menus.FindByCaption(L"Window"), L"W");
       },
       {L"&File", L"&Edit", L"Deeper", L"&View", L"&Window"}},
      {"a menu of its own beside a button that opens nothing",
       [&](command_bars::ControlList& menus) {
         Append(menus, Button(L"Plain", 2, std::nullopt));
         ours(Append(menus, Popup(L"&Glintwave", false)), L"Mine");
         ours(*menus.FindByCaption(L"Format"), L"F");
       },
       {L"F&ormat", L"&Glintwave"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CommandBarSet bars = command_bars::BuiltInCommandBars();
    c.add(bars.Find(L"Menu Bar")->controls());
    const Picture picture = LayOutPicture(bars, View::kAddIns, Moment::kRunning);
    std::vector<std::wstring> open;
    std::vector<std::pair<int, int>> spans;  // left and right of each menu with its sub-menus
    for (const Strip& menu : picture.strips) {
      if (menu.kind != StripKind::kMenu)
        continue;
      const Control* popup = menu.controls.at(0).control->parent().owner();
      open.push_back(popup->properties().caption);
      if (!menu.title) {  // a sub-menu, beside its parent
        spans.back().second = std::max(spans.back().second, menu.box.right());
        continue;
      }
      const auto button =
          std::find_if(picture.strips.begin(), picture.strips.end(), [&](const Strip& strip) {
            return strip.kind == StripKind::kRibbonMenu && strip.controls.at(0).control == popup;
          });
      ASSERT_NE(button, picture.strips.end());
      const Box& drop = button->controls.at(0).box;
      EXPECT_EQ(menu.title->x, drop.x);
      EXPECT_EQ(menu.title->y, drop.y);
      EXPECT_EQ(menu.box.x, drop.x);  // its left edge under the button's
      EXPECT_GE(menu.box.y, picture.dock.bottom());
      spans.emplace_back(menu.box.x, menu.box.right());
    }
    EXPECT_EQ(open, c.open);
    for (std::size_t i = 1; i < spans.size(); ++i)
      EXPECT_LT(spans[i - 1].second, spans[i].first)
          << "menus " << i - 1 << " and " << i << " overlap";
  }
}

// Captions and names are SVG text, escaped, in the place the layout gives them; the accelerator
// letter underlined. No text is drawn as glyph outlines.
TEST(PreviewTest, SvgCarriesTextAsEscapedText) {
  const std::pair<const wchar_t*, std::string> cases[] = {
      {L"R&&D", ">R&amp;D</text>"},
      {L"&<b> \"quoted\" 'too'",
       "><tspan text-decoration=\"underline\">&lt;</tspan>b&gt; &quot;quoted&quot; "
       "&apos;too&apos;</text>"},
      {L"Save &As...", ">Save <tspan text-decoration=\"underline\">A</tspan>s...</text>"},
      {L"&\u00e9t\u00e9", "><tspan text-decoration=\"underline\">\u00e9</tspan>t\u00e9</text>"},
      {L"tab\tand\x01"
       L"bell",
       ">tab\tand\uFFFDbell</text>"},
  };
  for (const auto& [caption, expected] : cases) {
    SCOPED_TRACE(formats::WideToUtf8(caption));
    CommandBarSet bars;
    CommandBar& bar = AddBar(bars, L"Tom & <Jerry>", BarType::kToolbar, true);
    Append(bar.controls(), Button(caption, 2, std::nullopt));
    const Picture picture = LayOutPicture(bars, View::kCommandBars, Moment::kRunning);
    const std::string svg = SvgDocument(picture);
    EXPECT_EQ(svg.find("glyph"), std::string::npos);
    EXPECT_NE(svg.find(">Tom &amp; &lt;Jerry&gt;</text>"), std::string::npos);
    const std::size_t at = svg.find(expected);
    ASSERT_NE(at, std::string::npos) << svg;
    const std::size_t text = svg.rfind("<text ", at);
    const std::string place =
        "<text x=\"" + std::to_string(picture.strips.at(0).controls.at(0).caption.value().x) +
        "\" ";
    EXPECT_EQ(svg.compare(text, place.size(), place), 0) << svg.substr(text, at - text);
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
// is: the picture after close is the picture of the permanent items alone, closed or not.
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
  const std::string lasting = picture(/*afterClose=*/true);
  save(/*withTemporary=*/true);
  EXPECT_NE(picture(/*afterClose=*/false), lasting);
  EXPECT_EQ(picture(/*afterClose=*/true), lasting);
}

// The first line of the picture, found in its SVG as text, says which view it draws and when.
TEST_F(PreviewCommandTest, TitleSaysWhichViewAndWhen) {
  const struct {
    std::vector<std::string> options;
    const char* view;
    const char* when;
  } cases[] = {
      {{}, "Toolbars and menu bar (PowerPoint 2003 and earlier)", "while PowerPoint runs"},
      {{"--after-close"}, "Toolbars and menu bar", "once PowerPoint has closed"},
      {{"--view", "addins"}, "Add-Ins tab (PowerPoint 2007 and later)", "while PowerPoint runs"},
      {{"--after-close", "--view", "addins"}, "Add-Ins tab", "once PowerPoint has closed"},
      {{"--view", "bars", "--after-close"}, "Toolbars and menu bar", "once PowerPoint has closed"},
  };
  const fs::path svg = folder_ / "p.svg";
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--prefix", (folder_ / "machine").string(),
                                     "--out",    (folder_ / "p.png").string(),
                                     "--svg",    svg.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(Run(args), 0) << err_.str();
    std::ifstream in(svg);
    const std::string document(std::istreambuf_iterator<char>(in), {});
    const std::size_t start = document.find('>', document.find("<text ")) + 1;
    const std::string title = document.substr(start, document.find("</text>", start) - start);
    SCOPED_TRACE(title);
    EXPECT_NE(title.find(c.view), std::string::npos);
    EXPECT_NE(title.find(c.when), std::string::npos);
  }
}

}  // namespace
}  // namespace tkw::preview
