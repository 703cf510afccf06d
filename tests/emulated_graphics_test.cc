// The emulated graphics layer against what Windows does: bitmap files decoded pixel for pixel,
// GetDIBits and BitBlt as the face procedures use them, the clipboard shared with other
// processes, its backup component and the run-time's Clipboard.SetData.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "host/clipboard_object.h"
#include "host/emulated_windows/graphics/atl_clipboard.h"
#include "host/emulated_windows/graphics/emulated_clipboard.h"
#include "host/emulated_windows/graphics/emulated_gdi.h"
#include "host/emulated_windows/graphics/emulated_global_memory.h"
#include "host/emulated_windows/graphics/ole_color.h"
#include "host/emulated_windows/graphics/picture_loader.h"
#include "host/runtime_error.h"

namespace tkw::emulated {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF,
                        kBlack = 0, kGray = 0x808080;

void Put16(Bytes& out, unsigned v) {
  out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
}
void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF), Put16(out, v >> 16);
}

// A bitmap file: file header, a header of `headerSize` bytes, masks, colour table and rows.
struct BmpLayout {
  std::uint32_t headerSize;
  int width, height, bitsPerPixel;
  std::uint32_t compression;
  std::vector<std::uint32_t> colors;  // 0xRRGGBB
  std::vector<std::uint32_t> masks;   // red, green, blue
  Bytes rows;
};

Bytes MakeBmp(const BmpLayout& layout) {
  Bytes header;
  Put32(header, layout.headerSize);
  if (layout.headerSize == 12) {
    Put16(header, layout.width), Put16(header, layout.height), Put16(header, 1);
    Put16(header, layout.bitsPerPixel);
  } else {
    Put32(header, layout.width), Put32(header, layout.height), Put16(header, 1);
    Put16(header, layout.bitsPerPixel), Put32(header, layout.compression);
    Put32(header, layout.rows.size()), Put32(header, 2835), Put32(header, 2835);
    Put32(header, layout.colors.size()), Put32(header, 0);
    for (std::uint32_t mask : layout.masks)
      Put32(header, mask);
    header.resize(layout.headerSize + (layout.headerSize == 40 ? 4 * layout.masks.size() : 0));
  }
  for (std::uint32_t color : layout.colors) {
    header.insert(header.end(),
                  {std::uint8_t(color), std::uint8_t(color >> 8), std::uint8_t(color >> 16)});
    if (layout.headerSize != 12)
      header.push_back(0);
  }
  Bytes file = {'B', 'M'};
  Put32(file, 14 + header.size() + layout.rows.size()), Put32(file, 0);
  Put32(file, 14 + header.size());
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), layout.rows.begin(), layout.rows.end());
  return file;
}

// Top-down 0xRRGGBB pixels of a bitmap, read back as a 32-bit top-down DIB.
std::vector<std::uint32_t> ReadPixels(EmulatedGdi& gdi, host::Handle bitmap) {
  host::Bitmap record{};
  EXPECT_NE(gdi.GetObjectA(bitmap, sizeof record, &record), 0);
  host::BitmapInfo info{};
  info.bmiHeader = {40, record.bmWidth, -record.bmHeight, 1, 32, host::kBiRgb, 0, 0, 0, 0, 0};
  std::vector<std::uint32_t> pixels(std::size_t(record.bmWidth) * record.bmHeight);
  const host::Handle dc = gdi.GetDC(0);
  EXPECT_EQ(gdi.GetDIBits(dc, bitmap, 0, record.bmHeight, pixels.data(), &info, 0),
            record.bmHeight);
  gdi.ReleaseDC(0, dc);
  for (auto& pixel : pixels)
    pixel &= 0xFFFFFF;
  return pixels;
}

const std::vector<std::uint32_t> kSix = {kRed, kGreen, kBlue, kWhite, kBlack, kGray};

TEST(EmulatedPictures, DecodesEveryDepthAndCompressionPixelExactly) {
  const std::vector<std::uint32_t> kThreeByTwo = {kRed, kGreen, kBlue, kWhite, kBlack, kGray};
  struct Case {
    const char* name;
    BmpLayout layout;
    std::vector<std::uint32_t> expected;
    bool palette;
  };
  const std::vector<Case> cases = {
      {"24 bpp bottom-up",
       {40, 3, 2, 24, host::kBiRgb, {}, {}, {0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80, 0x80,
                                             0x80, 0,    0,    0, 0, 0, 0xFF, 0,
                                             0xFF, 0,    0xFF, 0, 0, 0, 0,    0}},
       kThreeByTwo,
       false},
      {"24 bpp top-down",
       {40, 3, -2, 24, host::kBiRgb, {}, {}, {0, 0, 0xFF, 0,    0xFF, 0,    0xFF, 0,
                                              0, 0, 0,    0,    0xFF, 0xFF, 0xFF, 0,
                                              0, 0, 0x80, 0x80, 0x80, 0,    0,    0}},
       kThreeByTwo,
       false},
      {"32 bpp, V5 header",
       {124, 3, 2, 32, host::kBiRgb, {}, {}, {0xFF, 0xFF, 0xFF, 0, 0,    0, 0,    0,
                                              0x80, 0x80, 0x80, 0, 0,    0, 0xFF, 0,
                                              0,    0xFF, 0,    0, 0xFF, 0, 0,    0}},
       kThreeByTwo,
       false},
      {"32 bpp bit fields RGBX",
       {40,
        1,
        2,
        32,
        host::kBiBitfields,
        {},
        {0xFF000000, 0xFF0000, 0xFF00},
        {0, 0x80, 0x80, 0x80, 0, 0, 0, 0xFF}},
       {kRed, kGray},
       false},
      {"16 bpp 5-5-5",
       {40,
        3,
        2,
        16,
        host::kBiRgb,
        {},
        {},
        {0xFF, 0x7F, 0, 0, 0x10, 0x42, 0, 0, 0, 0x7C, 0xE0, 0x03, 0x1F, 0, 0, 0}},
       {kRed, kGreen, kBlue, kWhite, kBlack, 0x848484},
       false},
      {"16 bpp 5-6-5, V4 header",
       {108, 2, 1, 16, host::kBiBitfields, {}, {0xF800, 0x07E0, 0x001F}, {0xE0, 0x07, 0x10, 0x84}},
       {kGreen, 0x848284},
       false},
      {"8 bpp with six colours",
       {40, 3, 2, 8, host::kBiRgb, kSix, {}, {3, 4, 5, 0, 0, 1, 2, 0}},
       kThreeByTwo,
       true},
      {"8 bpp index past the table is black",
       {40, 1, 1, 8, host::kBiRgb, {kRed, kGreen}, {}, {7, 0, 0, 0}},
       {kBlack},
       true},
      {"4 bpp, core header",
       {12,
        3,
        2,
        4,
        host::kBiRgb,
        [] {
          auto c = kSix;
          c.resize(16);
          return c;
        }(),
        {},
        {0x34, 0x50, 0, 0, 0x01, 0x20, 0, 0}},
       kThreeByTwo,
       true},
      {"1 bpp",
       {40, 3, 2, 1, host::kBiRgb, {kBlack, kWhite}, {}, {0x40, 0, 0, 0, 0xA0, 0, 0, 0}},
       {kWhite, kBlack, kWhite, kBlack, kWhite, kBlack},
       true},
      {"RLE8 runs, literal and end of line",
       {40, 3, 2, 8, host::kBiRle8, kSix, {}, {0, 3, 3, 4, 5, 0, 0, 0, 2, 0, 1, 2, 0, 1}},
       {kRed, kRed, kBlue, kWhite, kBlack, kGray},
       true},
      {"RLE4 nibble runs and a delta leaving a hole",
       {40, 3, 2, 4, host::kBiRle4, kSix, {}, {3, 0x34, 0, 0, 0, 2, 1, 0, 2, 0x12, 0, 1}},
       {kBlack, kGreen, kBlue, kWhite, kBlack, kWhite},
       true},
  };
  EmulatedGdi gdi;
  PictureLoader loader(gdi);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto picture = loader.LoadPicture(MakeBmp(c.layout));
    EXPECT_EQ(picture->type(), host::kPicTypeBitmap);
    EXPECT_EQ(ReadPixels(gdi, picture->handle()), c.expected);
    EXPECT_EQ(picture->hPal() != 0, c.palette);
  }
  EXPECT_EQ(gdi.live_objects(), 0u);  // each picture deleted its bitmap and palette
}

TEST(EmulatedPictures, RejectsMalformedFilesAndReportsFileErrors) {
  const Bytes good = MakeBmp({40, 3, 2, 8, host::kBiRgb, kSix, {}, {3, 4, 5, 0, 0, 1, 2, 0}});
  const auto patched = [&](std::size_t at, std::uint8_t value) {
    Bytes file = good;
    file[at] = value;
    return file;
  };
  const Bytes rle_cut = MakeBmp({40, 3, 2, 8, host::kBiRle8, kSix, {}, {0, 3, 3}});
  Bytes icon = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 4, 0, 0, 0, 22, 0, 0, 0, 1, 2, 3, 4};
  struct Case {
    const char* name;
    Bytes file;
    int error;
  };
  const std::vector<Case> cases = {
      {"empty", {}, 481},
      {"only the signature", {'B', 'M'}, 481},
      {"rows cut short", Bytes(good.begin(), good.end() - 1), 481},
      {"unknown header size", patched(14, 41), 481},
      {"two planes", patched(26, 2), 481},
      {"7 bits per pixel", patched(28, 7), 481},
      {"RLE4 at 8 bits per pixel", patched(30, 2), 481},
      {"unknown compression", patched(30, 9), 481},
      {"width 0", patched(18, 0), 481},
      {"colour table past the end", Bytes(good.begin(), good.begin() + 60), 481},
      {"RLE literal past the end", rle_cut, 481},
      {"not a picture", {'G', 'I', 'F', '8', '9', 'a'}, 481},
      {"icon image past the end", Bytes(icon.begin(), icon.end() - 1), 481},
      {"too large to hold",
       [&] {
         Bytes f = good;
         f[20] = 0x10;
         f[24] = 0x10;
         return f;
       }(),
       7},
  };
  EmulatedGdi gdi;
  PictureLoader loader(gdi);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      loader.LoadPicture(c.file);
      ADD_FAILURE() << "loaded";
    } catch (const host::RuntimeError& error) {
      EXPECT_EQ(error.number(), c.error);
    }
  }
  EXPECT_EQ(loader.LoadPicture(icon)->type(), host::kPicTypeIcon);

  const fs::path folder = fs::path(::testing::TempDir()) / "pictures";
  fs::create_directories(folder);
  const auto error_of = [&](const fs::path& path) {
    try {
      loader.LoadPicture(path);
    } catch (const host::RuntimeError& error) {
      return error.number();
    }
    return 0;
  };
  EXPECT_EQ(error_of(folder / "missing.bmp"), 53);
  EXPECT_EQ(error_of(folder), 75);
  EXPECT_EQ(gdi.live_objects(), 0u);
}

// Bit (x, y) of the monochrome test pattern.
bool Pattern(int x, int y) {
  return (x + 2 * y) % 3 == 0;
}

TEST(EmulatedGdi, GetDIBitsOfAMonochromeBitmapAsTheMaskFormatNeedsIt) {
  struct Case {
    int width, height;
    std::uint32_t stride, imageSize;
  };
  const std::vector<Case> cases = {{16, 16, 4, 64}, {33, 2, 8, 16}, {1, 1, 4, 4}};
  EmulatedGdi gdi;
  const host::Handle screen = gdi.GetDC(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    const int ddb_stride = (c.width + 15) / 16 * 2;
    Bytes ddb(std::size_t(ddb_stride) * c.height);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        if (Pattern(x, y))
          ddb[y * ddb_stride + x / 8] |= 0x80 >> (x % 8);
      }
    }
    const host::Handle mask = gdi.CreateBitmap(c.width, c.height, 1, 1, ddb.data());

    host::BitmapInfo info{};
    info.bmiHeader.biSize = 40;
    EXPECT_EQ(gdi.GetDIBits(screen, mask, 0, 0, nullptr, &info, 0), c.height);
    const host::BitmapInfoHeader expected{40, c.width, c.height, 1, 1, 0, c.imageSize, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&info.bmiHeader, &expected, 40), 0);

    Bytes bits(c.imageSize, 0xEE);
    EXPECT_EQ(gdi.GetDIBits(screen, mask, 0, c.height, bits.data(), &info, 0), c.height);
    EXPECT_EQ(std::memcmp(&info.bmiHeader, &expected, 40), 0);
    const std::uint32_t black_white[2] = {0x00000000, 0x00FFFFFF};
    EXPECT_EQ(std::memcmp(info.bmiColors, black_white, 8), 0);
    for (int line = 0; line < c.height; ++line) {  // bottom-up, padding zero
      for (std::uint32_t x = 0; x < c.stride * 8; ++x) {
        const bool bit = bits[line * c.stride + x / 8] & (0x80 >> (x % 8));
        const int y = c.height - 1 - line;
        ASSERT_EQ(bit, int(x) < c.width && Pattern(x, y)) << x << "," << y;
      }
    }
    EXPECT_TRUE(gdi.DeleteObject(mask));
  }
  host::BitmapInfo info{};
  info.bmiHeader.biSize = 40;
  const host::Handle colour = gdi.CreateBitmap(3, 2, 1, 32, nullptr);
  EXPECT_EQ(gdi.GetDIBits(screen, colour, 0, 0, nullptr, &info, 0), 2);
  EXPECT_EQ(info.bmiHeader.biCompression, host::kBiBitfields);
  EXPECT_EQ(info.bmiHeader.biSizeImage, 24u);
  gdi.DeleteObject(colour);
  gdi.ReleaseDC(0, screen);
  EXPECT_EQ(gdi.live_objects(), 0u);
}

TEST(EmulatedGdi, ColourToMonochromeMatchesTheSourceBackgroundColour) {
  // 10 pixels, so that a row crosses a byte: white, near-white, dark red, white with the
  // unused byte set, then black.
  const std::vector<std::uint32_t> row = {0xFFFFFF, 0xFFFFFE, 0x800000, 0xFFFFFFFF, 0,
                                          0,        0,        0,        0,          0xFFFFFF};
  struct Case {
    const char* name;
    host::ColorRef background;
    int x;
    std::uint16_t bits;  // the first 16 bits of the mask row, leftmost first
  };
  const std::vector<Case> cases = {
      {"plain white", 0x00FFFFFF, 0, 0b1001'0000'0100'0000},
      {"PALETTERGB white", 0x02FFFFFF, 0, 0b1001'0000'0100'0000},
      {"PALETTEINDEX of the halftone white", 0x010000FF, 0, 0b1001'0000'0100'0000},
      {"PALETTEINDEX of the halftone dark red", 0x01000001, 0, 0b0010'0000'0000'0000},
      {"black, placed at x 3", 0x00000000, 3, 0b0000'0001'1111'0000},
  };
  EmulatedGdi gdi;
  const host::Handle palette = gdi.CreateHalftonePalette(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const host::Handle source = gdi.CreateBitmap(10, 1, 1, 32, row.data());
    const host::Handle mask = gdi.CreateBitmap(10, 1, 1, 1, nullptr);
    const host::Handle source_dc = gdi.CreateCompatibleDC(0), mask_dc = gdi.CreateCompatibleDC(0);
    const host::Handle old_palette = gdi.SelectPalette(source_dc, palette, true);
    EXPECT_EQ(gdi.RealizePalette(source_dc), 0u);
    const host::Handle old_source = gdi.SelectObject(source_dc, source);
    const host::Handle old_mask = gdi.SelectObject(mask_dc, mask);
    EXPECT_EQ(gdi.SetBkColor(source_dc, c.background), 0x00FFFFFFu);
    EXPECT_TRUE(gdi.BitBlt(mask_dc, c.x, 0, 10, 1, source_dc, 0, 0, host::kSrcCopy));
    gdi.SelectObject(mask_dc, old_mask);
    gdi.SelectObject(source_dc, old_source);
    gdi.SelectPalette(source_dc, old_palette, true);
    EXPECT_TRUE(gdi.DeleteDC(mask_dc) && gdi.DeleteDC(source_dc));

    host::Bitmap record{};
    gdi.GetObjectA(mask, sizeof record, &record);
    EXPECT_EQ(record.bmWidthBytes, 2);
    const std::vector<std::uint32_t> pixels = ReadPixels(gdi, mask);
    for (int x = 0; x < 10; ++x) {
      EXPECT_EQ(pixels[x] == kWhite, bool(c.bits & (0x8000 >> x))) << x;
    }
    EXPECT_TRUE(gdi.DeleteObject(mask) && gdi.DeleteObject(source));
  }
  EXPECT_TRUE(gdi.DeleteObject(palette));
  EXPECT_EQ(gdi.live_objects(), 0u);
}

TEST(EmulatedGdi, RefusesStaleAndWrongHandlesWithoutHarm) {
  EmulatedGdi gdi;
  const host::Handle dc = gdi.CreateCompatibleDC(0), other_dc = gdi.CreateCompatibleDC(0);
  const host::Handle bitmap = gdi.CreateBitmap(4, 4, 1, 32, nullptr);
  const host::Handle palette = gdi.CreateHalftonePalette(dc);
  const host::Handle stock = gdi.SelectObject(dc, bitmap);
  EXPECT_NE(stock, 0u);
  EXPECT_EQ(gdi.SelectObject(other_dc, bitmap), 0u) << "a bitmap is in one context at a time";
  EXPECT_FALSE(gdi.DeleteObject(bitmap)) << "still selected";
  EXPECT_EQ(gdi.SelectObject(dc, palette), 0u) << "palettes go through SelectPalette";
  EXPECT_EQ(gdi.SelectPalette(dc, bitmap, false), 0u);
  EXPECT_EQ(gdi.GetObjectA(dc, sizeof(host::Bitmap), nullptr), 0);
  EXPECT_EQ(gdi.CreateBitmap(4, 4, 1, 24, nullptr), 0u);
  EXPECT_EQ(gdi.SelectObject(dc, stock), bitmap);
  EXPECT_TRUE(gdi.DeleteObject(bitmap));
  EXPECT_FALSE(gdi.DeleteObject(bitmap)) << "stale";
  EXPECT_EQ(gdi.SelectObject(dc, bitmap), 0u);
  EXPECT_EQ(gdi.SetBkColor(bitmap, 0), host::kClrInvalid);
  EXPECT_FALSE(gdi.BitBlt(dc, 0, 0, 1, 1, bitmap, 0, 0, host::kSrcCopy));
  EXPECT_EQ(gdi.RealizePalette(palette), host::kGdiError);
  EXPECT_FALSE(gdi.DeleteDC(gdi.GetDC(0))) << "a screen context is released, not deleted";
  EXPECT_EQ(gdi.live_objects(), 4u);
}

TEST(EmulatedOleColor, TranslatesAsOleautDoes) {
  EmulatedGdi gdi;
  const host::Handle halftone = gdi.CreateHalftonePalette(0);
  struct Case {
    std::uint32_t color;
    host::Handle palette;
    long result;
    host::ColorRef translated;
  };
  const std::vector<Case> cases = {
      {0x00FFFFFF, 0, kSOk, 0x00FFFFFF},        {0x00FFFFFF, halftone, kSOk, 0x02FFFFFF},
      {0x010000FF, halftone, kSOk, 0x010000FF}, {0x01000100, halftone, kEInvalidArg, 0},
      {0x8000000F, 0, kSOk, 0x00C8D0D4},        {0x8000001F, 0, kEInvalidArg, 0},
      {0x03000000, 0, kEInvalidArg, 0},
  };
  for (const Case& c : cases) {
    host::ColorRef translated = 0;
    EXPECT_EQ(OleTranslateColor(gdi, c.color, c.palette, &translated), c.result) << c.color;
    EXPECT_EQ(translated, c.translated) << c.color;
  }
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class EmulatedClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = fs::path(::testing::TempDir()) /
              ("clipboard-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(prefix_);
    fs::create_directories(prefix_);
  }
  void TearDown() override { fs::remove_all(prefix_); }

  host::Handle Block(const Bytes& bytes) {
    const host::Handle block = memory_.GlobalAlloc(0x2002, bytes.size());
    std::memcpy(memory_.GlobalLock(block), bytes.data(), bytes.size());
    memory_.GlobalUnlock(block);
    return block;
  }

  fs::path prefix_;
  EmulatedGlobalMemory memory_;
};

TEST_F(EmulatedClipboardTest, PersistsFormatsAsFilesAndNumbersRegisteredNames) {
  {
    EmulatedClipboard clipboard(prefix_, memory_);
    EXPECT_EQ(clipboard.RegisterClipboardFormatA("Toolbar Button Face"), 0xC000u);
    EXPECT_EQ(clipboard.RegisterClipboardFormatA("Toolbar Button Mask"), 0xC001u);
    EXPECT_EQ(clipboard.RegisterClipboardFormatA("TOOLBAR button face"), 0xC000u);
    EXPECT_EQ(clipboard.SetClipboardData(8, Block({1, 2, 3})), 0u) << "not open";
    ASSERT_TRUE(clipboard.OpenClipboard(0));
    EXPECT_TRUE(clipboard.EmptyClipboard());
    const host::Handle dib = Block({1, 2, 3});
    EXPECT_EQ(clipboard.SetClipboardData(8, dib), dib);
    EXPECT_NE(clipboard.SetClipboardData(0xC000, Block({4, 5})), 0u);
    EXPECT_EQ(clipboard.SetClipboardData(0xC005, Block({6})), 0u) << "never registered";
    EXPECT_TRUE(clipboard.CloseClipboard());
  }
  EXPECT_EQ(memory_.live_blocks(), 2u) << "only the two refused blocks stay the caller's";
  EXPECT_EQ(ReadFile(prefix_ / "clipboard" / "8"), (Bytes{1, 2, 3}));
  EXPECT_EQ(ReadFile(prefix_ / "clipboard" / "Toolbar Button Face"), (Bytes{4, 5}));

  EmulatedClipboard later(prefix_, memory_);  // as the next process sees it
  EXPECT_EQ(later.GetClipboardData(8), 0u) << "not open";
  ASSERT_TRUE(later.OpenClipboard(0));
  const host::Handle dib = later.GetClipboardData(8);
  ASSERT_NE(dib, 0u);
  EXPECT_EQ(memory_.GlobalSize(dib), 3u);
  EXPECT_EQ(static_cast<std::uint8_t*>(memory_.GlobalLock(dib))[2], 3);
  memory_.GlobalUnlock(dib);
  EXPECT_EQ(later.GetClipboardData(later.RegisterClipboardFormatA("Toolbar Button Mask")), 0u);
  const std::vector<EmulatedClipboard::FormatData> all = later.ReadAllFormats();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].format, 8u);
  EXPECT_EQ(all[1].format, later.RegisterClipboardFormatA("toolbar button face"));
  later.CloseClipboard();
  EXPECT_EQ(memory_.live_blocks(), 2u);
}

TEST_F(EmulatedClipboardTest, CannotBeOpenedWhileAnotherProcessHoldsIt) {
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    EmulatedGlobalMemory memory;
    EmulatedClipboard holder(prefix_, memory);
    const char opened = holder.OpenClipboard(0) ? 'y' : 'n';
    char go;
    if (::write(ready[1], &opened, 1) != 1 || ::read(done[0], &go, 1) != 1)
      std::_Exit(2);
    std::_Exit(0);
  }
  char opened = 0;
  ASSERT_EQ(::read(ready[0], &opened, 1), 1);
  EXPECT_EQ(opened, 'y');
  EmulatedClipboard clipboard(prefix_, memory_);
  EXPECT_FALSE(clipboard.OpenClipboard(0));
  EXPECT_EQ(::write(done[1], "x", 1), 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(clipboard.OpenClipboard(0)) << "released when the holder ended";
  for (int fd : {ready[0], ready[1], done[0], done[1]})
    ::close(fd);
}

TEST_F(EmulatedClipboardTest, BackupAndRestorePutEveryFormatBack) {
  EmulatedClipboard clipboard(prefix_, memory_);
  ASSERT_TRUE(clipboard.OpenClipboard(0));
  clipboard.WriteFormat(1, Bytes{'h', 'i', 0});
  clipboard.WriteFormat(clipboard.RegisterClipboardFormatA("Rich Text Format"), Bytes{'{', '}'});
  clipboard.CloseClipboard();

  const host::DispatchPtr backup = CreateAtlClipboard(clipboard);
  EXPECT_TRUE(backup->Supports({0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}));
  backup->Invoke(L"backup", host::InvokeKind::kMethod, {});
  ASSERT_TRUE(clipboard.OpenClipboard(0));
  clipboard.EmptyClipboard();
  clipboard.WriteFormat(8, Bytes(48, 7));
  clipboard.CloseClipboard();
  backup->Invoke(L"Restore", host::InvokeKind::kMethod, {});

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(prefix_ / "clipboard")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"1", "Rich Text Format"}));
  EXPECT_EQ(ReadFile(prefix_ / "clipboard" / "Rich Text Format"), (Bytes{'{', '}'}));
  EXPECT_THROW(backup->Invoke(L"Clear", host::InvokeKind::kMethod, {}), host::RuntimeError);
  EXPECT_EQ(memory_.live_blocks(), 0u);
}

// The services that Clipboard.SetData reaches; it must reach no others.
class GraphicsHost final : public host::Host {
 public:
  GraphicsHost(const fs::path& prefix) : clipboard_(prefix, memory_) {}
  host::Registry& registry() override { std::abort(); }
  host::Kernel& kernel() override { std::abort(); }
  host::Shell& shell() override { std::abort(); }
  host::Ole& ole() override { std::abort(); }
  host::GlobalMemory& memory() override { return memory_; }
  host::Clipboard& clipboard() override { return clipboard_; }
  host::Gdi& gdi() override { return gdi_; }

  EmulatedGlobalMemory memory_;
  EmulatedGdi gdi_;
  EmulatedClipboard clipboard_;
};

TEST_F(EmulatedClipboardTest, SetDataLeavesABottomUp32BitDibAlone) {
  GraphicsHost host(prefix_);
  PictureLoader loader(host.gdi_);
  ASSERT_TRUE(host.clipboard_.OpenClipboard(0));
  host.clipboard_.WriteFormat(1, Bytes{'x', 0});
  host.clipboard_.CloseClipboard();

  // 2 x 2: top row red, green; bottom row blue, white.
  const auto picture = loader.LoadPicture(
      MakeBmp({40,
               2,
               2,
               24,
               host::kBiRgb,
               {},
               {},
               {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0}}));
  host::ClipboardSetData(host, *picture, host::kCfDib);

  Bytes expected;
  for (std::uint32_t v : {40u, 2u, 2u})
    Put32(expected, v);
  Put16(expected, 1), Put16(expected, 32), Put32(expected, 0), Put32(expected, 16);
  for (int i = 0; i < 4; ++i)
    Put32(expected, 0);
  for (std::uint32_t pixel : {kBlue, kWhite, kRed, kGreen})
    Put32(expected, pixel);
  EXPECT_EQ(ReadFile(prefix_ / "clipboard" / "8"), expected);
  EXPECT_FALSE(fs::exists(prefix_ / "clipboard" / "1")) << "SetData empties the clipboard";
  EXPECT_EQ(host.memory_.live_blocks(), 0u);

  const auto icon = loader.LoadPicture(
      Bytes{0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 1, 0, 0, 0, 22, 0, 0, 0, 9});
  try {
    host::ClipboardSetData(host, *icon, host::kCfDib);
    ADD_FAILURE() << "an icon was placed";
  } catch (const host::RuntimeError& error) {
    EXPECT_EQ(error.number(), 461);
  }
}

}  // namespace
}  // namespace tkw::emulated
