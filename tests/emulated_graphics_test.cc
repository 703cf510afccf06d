// The emulated graphics layer against what Windows does: bitmap files decoded pixel for pixel,
// GetDIBits and BitBlt as the face procedures use them, the clipboard shared with other
// processes and the run-time's Clipboard.SetData. Backup and restore of the clipboard are proven
// by the scenario runs.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "host/emulated_windows/graphics/emulated_clipboard.h"
#include "host/emulated_windows/graphics/emulated_gdi.h"
#include "host/emulated_windows/graphics/emulated_global_memory.h"
#include "host/emulated_windows/graphics/emulated_message_windows.h"
#include "host/emulated_windows/graphics/ole_color.h"
#include "host/emulated_windows/graphics/picture_loader.h"
#include "host/formats/bmp_decoder.h"
#include "host/runtime/clipboard_object.h"
#include "host/runtime_error.h"

namespace tkw::emulated {

using formats::DecodeBmp;
using formats::DecodedBitmap;
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using host::kBiBitfields, host::kBiRgb, host::kBiRle4, host::kBiRle8;

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF,
                        kBlack = 0, kGray = 0x808080;
const std::vector<std::uint32_t> kSix = {kRed, kGreen, kBlue, kWhite, kBlack, kGray};

// "ff 0a0b" as bytes; white space is only for the reader.
Bytes Hex(std::string_view text) {
  Bytes bytes;
  std::string digits;
  std::copy_if(text.begin(), text.end(), std::back_inserter(digits), ::isxdigit);
  for (std::size_t at = 0; at + 1 < digits.size(); at += 2)
    bytes.push_back(std::uint8_t(std::stoi(digits.substr(at, 2), nullptr, 16)));
  return bytes;
}

void Put(Bytes& out, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i)
    out.push_back(std::uint8_t(value >> 8 * i));
}

// A bitmap file: file header, a header of `headerSize` bytes, masks, colour table and rows.
struct BmpLayout {
  std::uint32_t headerSize;
  int width, height, bitsPerPixel;
  std::uint32_t compression;
  std::vector<std::uint32_t> colors;  // 0xRRGGBB
  std::vector<std::uint32_t> masks;   // red, green, blue
  std::string_view rows;              // in hexadecimal
};

Bytes MakeBmp(const BmpLayout& layout) {
  const Bytes rows = Hex(layout.rows);
  Bytes header;
  Put(header, layout.headerSize, 4);
  const int field = layout.headerSize == 12 ? 2 : 4;  // the core header's fields are 16-bit
  Put(header, layout.width, field), Put(header, layout.height, field), Put(header, 1, 2);
  Put(header, layout.bitsPerPixel, 2);
  if (layout.headerSize != 12) {
    for (std::uint32_t value : {layout.compression, std::uint32_t(rows.size()), 2835u, 2835u,
                                std::uint32_t(layout.colors.size()), 0u})
      Put(header, value, 4);
    for (std::uint32_t mask : layout.masks)
      Put(header, mask, 4);
    header.resize(layout.headerSize + (layout.headerSize == 40 ? 4 * layout.masks.size() : 0));
  }
  std::vector<std::uint32_t> colors = layout.colors;
  if (layout.headerSize == 12 && !colors.empty())
    colors.resize(std::size_t(1) << layout.bitsPerPixel);  // a core table is always full
  for (std::uint32_t color : colors)
    Put(header, color, layout.headerSize == 12 ? 3 : 4);
  Bytes file = {'B', 'M'};
  Put(file, 14 + header.size() + rows.size(), 4), Put(file, 0, 4);
  Put(file, 14 + header.size(), 4);
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), rows.begin(), rows.end());
  return file;
}

// Top-down 0xRRGGBB pixels of a bitmap, read back as a 32-bit top-down DIB.
std::vector<std::uint32_t> ReadPixels(EmulatedGdi& gdi, host::Handle bitmap) {
  host::Bitmap record{};
  EXPECT_NE(gdi.GetObjectA(bitmap, sizeof record, &record), 0);
  host::BitmapInfo info{};
  info.bmiHeader = {40, record.bmWidth, -record.bmHeight, 1, 32, kBiRgb, 0, 0, 0, 0, 0};
  std::vector<std::uint32_t> pixels(std::size_t(record.bmWidth) * record.bmHeight);
  const host::Handle dc = gdi.GetDC(0);
  EXPECT_EQ(gdi.GetDIBits(dc, bitmap, 0, record.bmHeight, pixels.data(), &info, 0),
            record.bmHeight);
  gdi.ReleaseDC(0, dc);
  for (auto& pixel : pixels)
    pixel &= 0xFFFFFF;
  return pixels;
}

// The RuntimeError number that loading `source` gives, 0 when it loads.
template <class Source>
int LoadError(PictureLoader& loader, const Source& source) {
  try {
    loader.LoadPicture(source);
  } catch (const host::RuntimeError& error) {
    return error.number();
  }
  return 0;
}

TEST(EmulatedPictures, DecodesEveryDepthAndCompressionPixelExactly) {
  struct Case {
    const char* name;
    BmpLayout layout;  // indexed layouts must give a palette
    std::vector<std::uint32_t> expected;
  };
  const std::vector<Case> cases = {
      {"24 bpp bottom-up",
       {40, 3, 2, 24, kBiRgb, {}, {}, "ffffff000000808080000000 0000ff00ff00ff0000000000"},
       kSix},
      {"24 bpp top-down",
       {40, 3, -2, 24, kBiRgb, {}, {}, "0000ff00ff00ff0000000000 ffffff000000808080000000"},
       kSix},
      {"32 bpp, V5 header",
       {124, 3, 2, 32, kBiRgb, {}, {}, "ffffff000000000080808000 0000ff0000ff0000ff000000"},
       kSix},
      {"32 bpp bit fields RGBX",
       {40, 1, 2, 32, kBiBitfields, {}, {0xFF000000, 0xFF0000, 0xFF00}, "00808080 000000ff"},
       {kRed, kGray}},
      {"16 bpp 5-5-5",
       {40, 3, 2, 16, kBiRgb, {}, {}, "ff7f 0000 1042 0000  007c e003 1f00 0000"},
       {kRed, kGreen, kBlue, kWhite, kBlack, 0x848484}},
      {"16 bpp 5-6-5, V4 header",
       {108, 2, 1, 16, kBiBitfields, {}, {0xF800, 0x07E0, 0x001F}, "e007 1084"},
       {kGreen, 0x848284}},
      {"8 bpp with six colours", {40, 3, 2, 8, kBiRgb, kSix, {}, "03040500 00010200"}, kSix},
      {"8 bpp index past the table is black",
       {40, 1, 1, 8, kBiRgb, {kRed, kGreen}, {}, "07000000"},
       {kBlack}},
      {"4 bpp, core header", {12, 3, 2, 4, kBiRgb, kSix, {}, "34500000 01200000"}, kSix},
      {"1 bpp",
       {40, 3, 2, 1, kBiRgb, {kBlack, kWhite}, {}, "40000000 a0000000"},
       {kWhite, kBlack, kWhite, kBlack, kWhite, kBlack}},
      {"RLE8 runs, literal and end of line",
       {40, 3, 2, 8, kBiRle8, kSix, {}, "00 03 03 04 05 00  00 00  02 00  01 02  00 01"},
       {kRed, kRed, kBlue, kWhite, kBlack, kGray}},
      {"RLE4 nibble runs and a delta leaving a hole",
       {40, 3, 2, 4, kBiRle4, kSix, {}, "03 34  00 00  00 02 01 00  02 12  00 01"},
       {kBlack, kGreen, kBlue, kWhite, kBlack, kWhite}},
  };
  EmulatedGdi gdi;
  PictureLoader loader(gdi);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto picture = loader.LoadPicture(MakeBmp(c.layout));
    EXPECT_EQ(picture->type(), host::kPicTypeBitmap);
    EXPECT_EQ(ReadPixels(gdi, picture->handle()), c.expected);
    EXPECT_EQ(picture->hPal() != 0, !c.layout.colors.empty());
  }
  EXPECT_EQ(gdi.live_objects(), 0u);  // each picture deleted its bitmap and palette
}

// A packed DIB (a file header with no pixel offset, as a face is stored) is read from after its
// colour table, which a 24-bit DIB may carry as well, and after its bit-field masks.
TEST(EmulatedPictures, FindsThePixelsOfAPackedDibAfterItsTableAndMasks) {
  const std::vector<BmpLayout> cases = {
      {40, 1, 1, 8, kBiRgb, {kBlue, kRed}, {}, "01000000"},
      {40, 1, 1, 24, kBiRgb, {kBlue, kGreen}, {}, "0000ff00"},
      {40, 1, 1, 32, kBiBitfields, {}, {0xFF0000, 0xFF00, 0xFF}, "0000ff00"},
      {108, 1, 1, 32, kBiBitfields, {}, {0xFF0000, 0xFF00, 0xFF}, "0000ff00"},
  };
  for (const BmpLayout& layout : cases) {
    SCOPED_TRACE(::testing::Message()
                 << layout.bitsPerPixel << " bpp, header " << layout.headerSize);
    Bytes file = MakeBmp(layout);
    std::fill_n(file.begin() + 10, 4, 0);
    const DecodedBitmap decoded = DecodeBmp(file, 1);
    EXPECT_EQ(Bytes(decoded.pixels.begin(), decoded.pixels.begin() + 3), (Bytes{0, 0, 0xFF}));
  }
}

TEST(EmulatedPictures, RejectsMalformedFilesAndReportsFileErrors) {
  const Bytes good = MakeBmp({40, 3, 2, 8, kBiRgb, kSix, {}, "03040500 00010200"});
  const auto patched = [&](std::initializer_list<std::pair<std::size_t, std::uint8_t>> edits) {
    Bytes file = good;
    for (auto [at, value] : edits)
      file[at] = value;
    return file;
  };
  const Bytes icon = Hex("0000 0100 0100 10 10 00 00 0100 2000 04000000 16000000 01020304");
  const std::vector<std::tuple<const char*, Bytes, int>> cases = {
      {"empty", {}, 481},
      {"rows cut short", Bytes(good.begin(), good.end() - 1), 481},
      {"unknown header size", patched({{14, 41}}), 481},
      {"two planes", patched({{26, 2}}), 481},
      {"7 bits per pixel", patched({{28, 7}}), 481},
      {"RLE4 at 8 bits per pixel", patched({{30, 2}}), 481},
      {"unknown compression", patched({{30, 9}}), 481},
      {"width 0", patched({{18, 0}}), 481},
      {"colour table past the end", Bytes(good.begin(), good.begin() + 60), 481},
      {"RLE literal past the end", MakeBmp({40, 3, 2, 8, kBiRle8, kSix, {}, "000303"}), 481},
      {"not a picture", {'G', 'I', 'F', '8', '9', 'a'}, 481},
      {"icon image past the end", Bytes(icon.begin(), icon.end() - 1), 481},
      {"too large to hold", patched({{20, 0x10}, {24, 0x10}}), 7},
  };
  EmulatedGdi gdi;
  PictureLoader loader(gdi);
  for (const auto& [name, file, error] : cases)
    EXPECT_EQ(LoadError(loader, std::span<const std::uint8_t>(file)), error) << name;
  EXPECT_EQ(loader.LoadPicture(icon)->type(), host::kPicTypeIcon);
  const fs::path folder = fs::path(::testing::TempDir());
  EXPECT_EQ(LoadError(loader, folder / "missing.bmp"), 53);
  EXPECT_EQ(LoadError(loader, folder), 75);
  EXPECT_EQ(gdi.live_objects(), 0u);
}

TEST(EmulatedGdi, GetDIBitsOfAMonochromeBitmapAsTheMaskFormatNeedsIt) {
  const auto pattern = [](int x, int y) { return (x + 2 * y) % 3 == 0; };
  EmulatedGdi gdi;
  const host::Handle screen = gdi.GetDC(0);
  for (auto [width, height, stride] : {std::tuple{16, 16, 4}, {33, 2, 8}, {1, 1, 4}}) {
    SCOPED_TRACE(width);
    const int ddb_stride = (width + 15) / 16 * 2;  // device bitmaps pad rows to 16 bits
    Bytes ddb(std::size_t(ddb_stride) * height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x)
        ddb[y * ddb_stride + x / 8] |= pattern(x, y) ? 0x80 >> (x % 8) : 0;
    }
    const host::Handle mask = gdi.CreateBitmap(width, height, 1, 1, ddb.data());
    const std::uint32_t image_size = stride * height;
    const host::BitmapInfoHeader expected{40, width, height, 1, 1, 0, image_size, 0, 0, 0, 0};
    host::BitmapInfo info{};
    info.bmiHeader.biSize = 40;
    EXPECT_EQ(gdi.GetDIBits(screen, mask, 0, 0, nullptr, &info, 0), height);
    EXPECT_EQ(std::memcmp(&info.bmiHeader, &expected, 40), 0);

    Bytes bits(image_size, 0xEE);
    EXPECT_EQ(gdi.GetDIBits(screen, mask, 0, height, bits.data(), &info, 0), height);
    EXPECT_EQ(std::memcmp(&info.bmiHeader, &expected, 40), 0);
    const std::uint32_t black_white[2] = {0x00000000, 0x00FFFFFF};
    EXPECT_EQ(std::memcmp(info.bmiColors, black_white, 8), 0);
    for (int line = 0; line < height; ++line) {  // bottom-up, padding zero
      for (int x = 0; x < stride * 8; ++x) {
        const bool bit = bits[line * stride + x / 8] & (0x80 >> (x % 8));
        ASSERT_EQ(bit, x < width && pattern(x, height - 1 - line)) << x << "," << line;
      }
    }
    EXPECT_TRUE(gdi.DeleteObject(mask));
  }
  gdi.ReleaseDC(0, screen);
  EXPECT_EQ(gdi.live_objects(), 0u);
}

TEST(EmulatedGdi, ColourToMonochromeMatchesTheSourceBackgroundColour) {
  // 10 pixels, so that a row crosses a byte: white, near-white, dark red, white with the
  // unused byte set, then black.
  const std::uint32_t row[10] = {0xFFFFFF, 0xFFFFFE, 0x800000, 0xFFFFFFFF, 0, 0, 0, 0, 0, 0xFFFFFF};
  const std::tuple<const char*, host::ColorRef, int, std::uint16_t> cases[] = {
      // name, background, x, the first 16 bits of the mask row, leftmost first
      {"plain white", 0x00FFFFFF, 0, 0b1001'0000'0100'0000},
      {"PALETTERGB white", 0x02FFFFFF, 0, 0b1001'0000'0100'0000},
      {"PALETTEINDEX of the halftone white", 0x010000FF, 0, 0b1001'0000'0100'0000},
      {"PALETTEINDEX of the halftone dark red", 0x01000001, 0, 0b0010'0000'0000'0000},
      {"dark red as a COLORREF, 0x00BBGGRR", 0x00000080, 0, 0b0010'0000'0000'0000},
      {"black, placed at x 3", 0x00000000, 3, 0b0000'0001'1111'0000},
  };
  EmulatedGdi gdi;
  const host::Handle palette = gdi.CreateHalftonePalette(0);
  for (const auto& [name, background, left, bits] : cases) {
    SCOPED_TRACE(name);
    const host::Handle source = gdi.CreateBitmap(10, 1, 1, 32, row);
    const host::Handle mask = gdi.CreateBitmap(10, 1, 1, 1, nullptr);
    const host::Handle source_dc = gdi.CreateCompatibleDC(0), mask_dc = gdi.CreateCompatibleDC(0);
    gdi.SelectPalette(source_dc, palette, true);
    EXPECT_EQ(gdi.RealizePalette(source_dc), 0u);
    const host::Handle old_source = gdi.SelectObject(source_dc, source);
    const host::Handle old_mask = gdi.SelectObject(mask_dc, mask);
    EXPECT_EQ(gdi.SetBkColor(source_dc, background), 0x00FFFFFFu);
    EXPECT_TRUE(gdi.BitBlt(mask_dc, left, 0, 10, 1, source_dc, 0, 0, host::kSrcCopy));
    EXPECT_FALSE(gdi.DeleteObject(mask)) << "still selected";
    EXPECT_EQ(gdi.SelectObject(source_dc, mask), 0u) << "a bitmap is in one context at a time";
    gdi.SelectObject(mask_dc, old_mask);
    gdi.SelectObject(source_dc, old_source);
    EXPECT_TRUE(gdi.DeleteDC(mask_dc) && gdi.DeleteDC(source_dc));

    const std::vector<std::uint32_t> pixels = ReadPixels(gdi, mask);
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(pixels[x] == kWhite, bool(bits & (0x8000 >> x))) << x;
    EXPECT_TRUE(gdi.DeleteObject(mask) && gdi.DeleteObject(source));
  }
  EXPECT_TRUE(gdi.DeleteObject(palette));
  EXPECT_EQ(gdi.live_objects(), 0u);
}

TEST(EmulatedOleColor, TranslatesAsOleautDoes) {
  EmulatedGdi gdi;
  const host::Handle halftone = gdi.CreateHalftonePalette(0);
  const std::tuple<std::uint32_t, host::Handle, long, host::ColorRef> cases[] = {
      // OLE_COLOR, palette, result, COLORREF
      {0x00FFFFFF, 0, kSOk, 0x00FFFFFF},        {0x00FFFFFF, halftone, kSOk, 0x02FFFFFF},
      {0x010000FF, halftone, kSOk, 0x010000FF}, {0x01000100, halftone, kEInvalidArg, 0},
      {0x8000000F, 0, kSOk, 0x00C8D0D4},        {0x8000001F, 0, kEInvalidArg, 0},
      {0x03000000, 0, kEInvalidArg, 0},
  };
  for (const auto& [color, palette, result, expected] : cases) {
    host::ColorRef translated = 0;
    EXPECT_EQ(OleTranslateColor(gdi, color, palette, &translated), result) << color;
    EXPECT_EQ(translated, expected) << color;
  }
}

class EmulatedClipboardTest : public ::testing::Test {
 protected:
  EmulatedClipboardTest() {
    std::string pattern = (fs::temp_directory_path() / "tkw-clipboard-XXXXXX").string();
    prefix_ = ::mkdtemp(pattern.data());
  }
  ~EmulatedClipboardTest() override { fs::remove_all(prefix_); }

  host::Handle Block(const Bytes& bytes) {
    const host::Handle block = memory_.GlobalAlloc(0x2002, bytes.size());
    std::memcpy(memory_.GlobalLock(block), bytes.data(), bytes.size());
    memory_.GlobalUnlock(block);
    return block;
  }
  Bytes Stored(const std::string& name) {
    std::ifstream in(prefix_ / "clipboard" / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
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
    EXPECT_TRUE(clipboard.CloseClipboard());
  }
  EXPECT_EQ(memory_.live_blocks(), 1u) << "only the refused block stays the caller's";
  EXPECT_EQ(Stored("8"), (Bytes{1, 2, 3}));
  EXPECT_EQ(Stored("Toolbar Button Face"), (Bytes{4, 5}));

  EmulatedClipboard later(prefix_, memory_);  // as the next process sees it
  ASSERT_TRUE(later.OpenClipboard(0));
  const host::Handle dib = later.GetClipboardData(8);
  ASSERT_NE(dib, 0u);
  EXPECT_EQ(memory_.GlobalSize(dib), 3u);
  EXPECT_EQ(static_cast<std::uint8_t*>(memory_.GlobalLock(dib))[2], 3);
  memory_.GlobalUnlock(dib);
  EXPECT_EQ(later.GetClipboardData(later.RegisterClipboardFormatA("Toolbar Button Mask")), 0u);
  const std::vector<EmulatedClipboard::FormatData> all = later.ReadAllFormats();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].format, later.RegisterClipboardFormatA("toolbar button face"));
  later.CloseClipboard();
  EXPECT_EQ(memory_.live_blocks(), 1u);
}

TEST_F(EmulatedClipboardTest, CannotBeOpenedWhileAnotherProcessHoldsIt) {
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready) | ::pipe(done), 0);
  const pid_t child = ::fork();
  if (child == 0) {  // holds the clipboard until told, then dies without destructors
    EmulatedGlobalMemory memory;
    EmulatedClipboard holder(prefix_, memory);
    char byte = holder.OpenClipboard(0) ? 'y' : 'n';
    std::_Exit(::write(ready[1], &byte, 1) == 1 && ::read(done[0], &byte, 1) == 1 ? 0 : 2);
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

// The services that Clipboard.SetData reaches; it must reach no others. Of the kernel only the
// pause between tries, which is counted here and never waited; the clipboard is reached through
// the host, which notes whether a live window of its own emptied it.
class GraphicsHost final : public host::Host, host::Kernel, host::Clipboard {
 public:
  GraphicsHost(const fs::path& prefix) : clipboard_(prefix, memory_) {}
  host::Registry& registry() override { std::abort(); }
  host::Kernel& kernel() override { return *this; }
  host::Shell& shell() override { std::abort(); }
  host::Ole& ole() override { std::abort(); }
  host::GlobalMemory& memory() override { return memory_; }
  host::Clipboard& clipboard() override { return *this; }
  host::MessageWindows& windows() override { return windows_; }
  host::Gdi& gdi() override { return gdi_; }

  EmulatedGlobalMemory memory_;
  EmulatedGdi gdi_;
  EmulatedClipboard clipboard_;
  EmulatedMessageWindows windows_;
  std::vector<std::uint32_t> pauses;
  std::function<void()> onPause;
  // Whether the clipboard was emptied by an opening made with a live window.
  std::optional<bool> emptiedByAWindow;

 private:
  bool OpenClipboard(host::Handle owner) override {
    const bool open = clipboard_.OpenClipboard(owner);
    if (open)
      openedWith_ = owner;
    return open;
  }
  bool CloseClipboard() override { return clipboard_.CloseClipboard(); }
  bool EmptyClipboard() override {
    emptiedByAWindow = openedWith_ != 0 && windows_.IsWindow(openedWith_);
    return clipboard_.EmptyClipboard();
  }
  unsigned RegisterClipboardFormatA(const std::string& name) override {
    return clipboard_.RegisterClipboardFormatA(name);
  }
  host::Handle GetClipboardData(unsigned format) override {
    return clipboard_.GetClipboardData(format);
  }
  host::Handle SetClipboardData(unsigned format, host::Handle block) override {
    return clipboard_.SetClipboardData(format, block);
  }

  host::Handle CreateMutexA(bool, const std::string&) override { std::abort(); }
  std::uint32_t GetLastError() override { std::abort(); }
  bool CloseHandle(host::Handle) override { std::abort(); }
  bool DeleteFileA(const std::string&) override { std::abort(); }
  std::wstring AnsiToWide(std::string_view) override { std::abort(); }
  std::string WideToAnsi(std::wstring_view) override { std::abort(); }
  host::LocalTime GetLocalTime() override { std::abort(); }
  void Sleep(std::uint32_t milliseconds) override {
    pauses.push_back(milliseconds);
    if (onPause)
      onPause();
  }

  host::Handle openedWith_ = 0;
};

// The picture, and beside it what keeps the contents out of the user's clipboard history and
// cloud clipboard, by the names and values Microsoft documents (any data for the first, a DWORD
// 0 for the others), kept by the emulated clipboard as any registered format.
TEST_F(EmulatedClipboardTest, SetDataLeavesABottomUp32BitDibKeptOutOfClipboardHistory) {
  GraphicsHost host(prefix_);
  PictureLoader loader(host.gdi_);
  ASSERT_TRUE(host.clipboard_.OpenClipboard(0));
  host.clipboard_.WriteFormat(1, Bytes{'x', 0});
  host.clipboard_.CloseClipboard();
  // 2 x 2: top row red, green; bottom row blue, white.
  const auto picture = loader.LoadPicture(
      MakeBmp({40, 2, 2, 24, kBiRgb, {}, {}, "ff0000 ffffff 0000  0000ff 00ff00 0000"}));
  host::ClipboardSetData(host, *picture, host::kCfDib);
  const std::pair<const char*, Bytes> stored[] = {
      {"8", Hex("28000000 02000000 02000000 0100 2000 00000000 10000000"
                "00000000 00000000 00000000 00000000"
                "ff000000 ffffff00 0000ff00 00ff0000")},  // blue white red green
      {"CanIncludeInClipboardHistory", Hex("00000000")},
      {"CanUploadToCloudClipboard", Hex("00000000")},
      {"ExcludeClipboardContentFromMonitorProcessing", Hex("00000000")},
  };
  std::vector<std::string> files;
  for (const auto& file : fs::directory_iterator(prefix_ / "clipboard"))
    files.push_back(file.path().filename());
  std::sort(files.begin(), files.end());
  ASSERT_EQ(files.size(), std::size(stored)) << "SetData empties the clipboard";
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(files[i], stored[i].first);
    EXPECT_EQ(Stored(files[i]), stored[i].second) << files[i];
  }
  EXPECT_EQ(host.memory_.live_blocks(), 0u);

  const auto icon =
      loader.LoadPicture(Hex("0000 0100 0100 10 10 00 00 0100 2000 01000000 16000000 09"));
  try {
    host::ClipboardSetData(host, *icon, host::kCfDib);
    ADD_FAILURE() << "an icon was placed";
  } catch (const host::RuntimeError& error) {
    EXPECT_EQ(error.number(), 461);
  }
}

// Clipboard history and the like hold the clipboard for a moment after every change. SetData
// opens it with a window of its own, so that the picture has an owner, tries ten times with
// 100 ms between, and leaves the user's contents alone when it never gets in.
TEST_F(EmulatedClipboardTest, SetDataTriesAgainWhileAnotherProgramHoldsTheClipboard) {
  const struct {
    std::size_t heldFor;  // the pauses after which the other program lets go; 0: it never held
    bool placed;
  } cases[] = {{0, true}, {1, true}, {9, true}, {10, false}};
  for (const auto& c : cases) {
    GraphicsHost host(prefix_);
    ASSERT_TRUE(host.clipboard_.OpenClipboard(0));
    host.clipboard_.EmptyClipboard();
    host.clipboard_.WriteFormat(1, Bytes{'x', 0});
    host.clipboard_.CloseClipboard();
    EmulatedGlobalMemory otherMemory;
    EmulatedClipboard other(prefix_, otherMemory);
    ASSERT_TRUE(c.heldFor == 0 || other.OpenClipboard(0));
    host.onPause = [&] {
      if (host.pauses.size() == c.heldFor)
        other.CloseClipboard();
    };
    const auto picture =
        PictureLoader(host.gdi_).LoadPicture(MakeBmp({40, 1, 1, 24, kBiRgb, {}, {}, "ff0000 00"}));

    int error = 0;
    try {
      host::ClipboardSetData(host, *picture, host::kCfDib);
    } catch (const host::RuntimeError& thrown) {
      error = thrown.number();
    }

    const std::size_t pauses = std::min<std::size_t>(c.heldFor, 9);
    EXPECT_EQ(host.pauses, std::vector<std::uint32_t>(pauses, 100)) << c.heldFor;
    EXPECT_EQ(error, c.placed ? 0 : 521) << c.heldFor;
    EXPECT_EQ(fs::exists(prefix_ / "clipboard" / "8"), c.placed) << c.heldFor;
    EXPECT_EQ(fs::exists(prefix_ / "clipboard" / "1"), !c.placed) << c.heldFor;
    EXPECT_EQ(host.emptiedByAWindow, c.placed ? std::optional(true) : std::nullopt) << c.heldFor;
    EXPECT_EQ(host.windows_.live_windows(), 0u) << c.heldFor;
    EXPECT_EQ(host.memory_.live_blocks(), 0u) << c.heldFor;
    other.CloseClipboard();
  }
}

}  // namespace
}  // namespace tkw::emulated
