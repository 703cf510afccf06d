// The face and mask formats the helper module leaves on the clipboard, read back byte by byte
// from an emulated machine.
#include "faces/helper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <vector>

#include "host/emulated_windows/emulated_windows.h"
#include "host/emulated_windows/graphics/atl_clipboard.h"
#include "host/runtime/scoped_handles.h"
#include "host/runtime_error.h"

namespace tkw {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kWhite = 0x00FFFFFF;

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// A bottom-up 24-bit bitmap file, or an 8-bit one with a colour table, of `white(x, y)`.
Bytes BitmapFile(int width, int height, const std::function<bool(int, int)>& white,
                 bool palettized = false) {
  const int bits = palettized ? 8 : 24;
  const std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) / 4 * 4;
  const std::size_t table = palettized ? 2 * 4 : 0;
  Bytes file(54 + table + stride * height);
  file[0] = 'B', file[1] = 'M';
  Put32(file, 2, static_cast<std::uint32_t>(file.size()));
  Put32(file, 10, static_cast<std::uint32_t>(54 + table));
  Put32(file, 14, 40), Put32(file, 18, width), Put32(file, 22, height);
  Put32(file, 26, 1 | bits << 16);
  if (palettized) {
    Put32(file, 46, 2);
    Put32(file, 54, 0x00204080), Put32(file, 58, 0x00FFFFFF);  // a blue and white
  }
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = file.data() + 54 + table + (height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      if (palettized) {
        row[x] = white(x, y) ? 1 : 0;
      } else {
        std::memset(row + 3 * x, white(x, y) ? 0xFF : 0x30, 3);
      }
    }
  }
  return file;
}

class Machine {
 public:
  Machine()
      : prefix_(fs::temp_directory_path() /
                ("tkw-faces-" + std::to_string(::getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::remove_all(prefix_);
    fs::create_directories(prefix_ / "drive_c");
    host_.emplace(prefix_);
  }
  ~Machine() {
    host_.reset();
    fs::remove_all(prefix_);
  }

  emulated::EmulatedWindows& host() { return *host_; }
  const fs::path& prefix() const { return prefix_; }

  std::unique_ptr<host::Picture> Load(const Bytes& file, const char* name = "face.bmp") {
    std::ofstream(prefix_ / "drive_c" / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    return host().ole().LoadPicture(L"C:\\" + host().kernel().AnsiToWide(name));
  }

  // A format's bytes as GlobalSize reports them, or nothing.
  std::optional<Bytes> Format(unsigned format) {
    const host::ScopedOpenClipboard open(host().clipboard());
    const host::Handle block = host().clipboard().GetClipboardData(format);
    if (block == 0)
      return std::nullopt;
    const host::ScopedGlobalLock data(host().memory(), block);
    const auto* bytes = static_cast<const std::uint8_t*>(data.data());
    return Bytes(bytes, bytes + host().memory().GlobalSize(block));
  }
  std::optional<Bytes> Format(const char* name) {
    return Format(host().clipboard().RegisterClipboardFormatA(name));
  }

 private:
  fs::path prefix_;
  std::optional<emulated::EmulatedWindows> host_;
};

struct SizeCase {
  int width, height;
  std::uint32_t stride;  // of the mask's rows; 0 when no mask is made
};

class FaceAndMaskTest : public testing::TestWithParam<SizeCase> {};

TEST_P(FaceAndMaskTest, LeavesPictureFaceAndMaskLaidOutAsPasteFaceReadsThem) {
  const auto [width, height, stride] = GetParam();
  Machine machine;
  const auto white = [](int x, int y) { return (x + 2 * y) % 3 == 0; };
  const auto picture = machine.Load(BitmapFile(width, height, white));
  const std::size_t gdiObjects = machine.host().emulatedGdi().live_objects();

  helper::PlacePictureFaceOnClipboard(machine.host(), picture.get(), kWhite);

  EXPECT_EQ(machine.host().emulatedGdi().live_objects(), gdiObjects);
  const auto dib = machine.Format(host::kCfDib);
  ASSERT_TRUE(dib);
  if (stride == 0) {
    EXPECT_FALSE(machine.Format("Toolbar Button Face"));
    EXPECT_FALSE(machine.Format("Toolbar Button Mask"));
    return;
  }
  EXPECT_EQ(machine.Format("Toolbar Button Face"), dib);

  const auto mask = machine.Format("Toolbar Button Mask");
  ASSERT_TRUE(mask);
  const std::uint32_t imageSize = stride * height;
  ASSERT_EQ(mask->size(), imageSize + 50);
  host::BitmapInfoHeader header;
  std::memcpy(&header, mask->data(), sizeof header);
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, width);
  EXPECT_EQ(header.biHeight, height);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 1);
  EXPECT_EQ(header.biCompression, 0u);
  EXPECT_EQ(header.biSizeImage, imageSize);
  EXPECT_EQ(Bytes(mask->begin() + 40, mask->begin() + 48), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = mask->data() + 48 + (height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ((row[x / 8] >> (7 - x % 8)) & 1, white(x, y) ? 1 : 0) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FaceAndMaskTest,
                         testing::Values(SizeCase{16, 16, 4}, SizeCase{33, 2, 8}, SizeCase{1, 1, 4},
                                         SizeCase{30000, 1, 3752}, SizeCase{1, 30000, 4},
                                         SizeCase{30001, 1, 0}, SizeCase{1, 30001, 0}));

TEST(FaceAndMaskTest, PalettizedBitmapKeepsItsPalette) {
  Machine machine;
  const auto picture = machine.Load(BitmapFile(
      8, 1, [](int x, int) { return x < 3; }, true));
  ASSERT_NE(picture->hPal(), 0u);

  helper::PlacePictureFaceOnClipboard(machine.host(), picture.get(), kWhite);

  const auto mask = machine.Format("Toolbar Button Mask");
  ASSERT_TRUE(mask);
  EXPECT_EQ((*mask)[48], 0xE0);
  // The palette is the picture's, not the procedure's to delete.
  host::Gdi& gdi = machine.host().gdi();
  const host::ScopedScreenDC screen(gdi);
  const host::ScopedMemoryDC dc(gdi, screen.get());
  EXPECT_NE(gdi.SelectPalette(dc.get(), picture->hPal(), true), 0u);
}

TEST(FaceAndMaskTest, UnusablePicturesFailWith481AndLeaveTheClipboardAlone) {
  Machine machine;
  const Bytes text = {'k', 'e', 'e', 'p', 0};
  {
    const host::ScopedOpenClipboard open(machine.host().clipboard());
    machine.host().clipboard().EmptyClipboard();
    const host::Handle block = machine.host().memory().GlobalAlloc(0x2002, text.size());
    std::memcpy(host::ScopedGlobalLock(machine.host().memory(), block).data(), text.data(),
                text.size());
    machine.host().clipboard().SetClipboardData(1, block);
  }
  // An icon file: Type 3.
  Bytes icon(22 + 40 + 4 * 4 + 4, 0);
  icon[2] = 1, icon[4] = 1, icon[6] = 1, icon[7] = 1;
  Put32(icon, 14, 40 + 16 + 4), Put32(icon, 18, 22);
  Put32(icon, 22, 40), Put32(icon, 26, 1), Put32(icon, 30, 2), Put32(icon, 34, 1 | 32 << 16);
  const auto picture = machine.Load(icon, "face.ico");

  for (host::Picture* unusable : {picture.get(), static_cast<host::Picture*>(nullptr)}) {
    try {
      helper::PlacePictureFaceOnClipboard(machine.host(), unusable, kWhite);
      ADD_FAILURE() << "no error";
    } catch (const host::RuntimeError& error) {
      EXPECT_EQ(error.number(), 481);
    }
  }
  EXPECT_EQ(machine.Format(1), text);
  EXPECT_FALSE(machine.Format(host::kCfDib));
}

// The program's own mask colour: only pure white shows through, not a white one step off in
// red, green or blue.
TEST(FaceAndMaskTest, OnlyPureWhiteOfAnIconIsMasked) {
  Machine machine;
  Bytes file = BitmapFile(4, 1, [](int, int) { return true; });
  file[54 + 3 * 1 + 0] = 0xFE;  // pixels are blue, green, red
  file[54 + 3 * 2 + 1] = 0xFE;
  file[54 + 3 * 3 + 2] = 0xFE;
  machine.Load(file);

  helper::PlaceIconFaceOnClipboard(machine.host(), L"C:\\face.bmp");

  const auto mask = machine.Format("Toolbar Button Mask");
  ASSERT_TRUE(mask);
  EXPECT_EQ((*mask)[48] & 0xF0, 0x80);
}

// A block the clipboard takes is the clipboard's, so it is not freed again; one it refuses
// stays the caller's, who frees it. Neither is lost nor freed twice.
TEST(FaceAndMaskTest, FreesExactlyTheBlocksTheClipboardRefuses) {
  const auto formatOf = [](host::Clipboard& clipboard, const std::string& name) -> unsigned {
    if (name.empty())
      return 0;
    return name == "CF_DIB" ? host::kCfDib : clipboard.RegisterClipboardFormatA(name);
  };
  for (const std::string refused :
       {"", "CF_DIB", "Toolbar Button Face", "Toolbar Button Mask",
        "ExcludeClipboardContentFromMonitorProcessing", "CanUploadToCloudClipboard"}) {
    Machine machine;
    const auto picture = machine.Load(BitmapFile(16, 16, [](int x, int) { return x < 4; }));
    emulated::EmulatedClipboard& clipboard = machine.host().emulatedClipboard();
    const unsigned format = formatOf(clipboard, refused);
    if (format != 0)
      clipboard.RefuseFormat(format);
    const std::size_t blocks = machine.host().emulatedMemory().live_blocks();

    helper::PlacePictureFaceOnClipboard(machine.host(), picture.get(), kWhite);

    EXPECT_EQ(machine.host().emulatedMemory().live_blocks(), blocks) << refused;
    EXPECT_EQ(machine.host().emulatedMemory().bad_frees(), 0u) << refused;
    EXPECT_EQ(machine.Format("Toolbar Button Mask").has_value(),
              format != clipboard.RegisterClipboardFormatA("Toolbar Button Mask"))
        << refused;
  }
}

// Every change of the face's contents carries what keeps them out of the user's clipboard
// history and cloud clipboard: the face and mask join the picture's contents, so SetData's
// formats cover them too. The backup puts the user's contents back without them.
TEST(FaceAndMaskTest, TheWholeFaceStaysOutOfClipboardHistory) {
  Machine machine;
  const auto picture = machine.Load(BitmapFile(16, 16, [](int x, int) { return x < 4; }));
  emulated::EmulatedClipboard& clipboard = machine.host().emulatedClipboard();
  const auto formats = [&] {
    const host::ScopedOpenClipboard open(clipboard);
    std::vector<std::string> names;
    for (const auto& [format, bytes] : clipboard.ReadAllFormats()) {
      const bool zero = bytes == Bytes(4, 0);
      names.push_back(format == host::kCfDib ? "CF_DIB" : std::to_string(format));
      if (format >= emulated::kFirstRegisteredFormat) {
        for (const char* name :
             {"ExcludeClipboardContentFromMonitorProcessing", "CanIncludeInClipboardHistory",
              "CanUploadToCloudClipboard", "Toolbar Button Face", "Toolbar Button Mask"}) {
          if (clipboard.RegisterClipboardFormatA(name) == format)
            names.back() = name + std::string(zero ? " 0" : "");
        }
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  {
    const host::ScopedOpenClipboard open(clipboard);
    clipboard.EmptyClipboard();
    clipboard.WriteFormat(1, Bytes{'m', 'i', 'n', 'e', 0});
  }
  const host::DispatchPtr backup = emulated::CreateAtlClipboard(clipboard, machine.host().kernel());
  backup->Invoke(L"Backup", host::InvokeKind::kMethod, {});

  helper::PlacePictureFaceOnClipboard(machine.host(), picture.get(), kWhite);
  EXPECT_EQ(formats(), (std::vector<std::string>{"CF_DIB", "CanIncludeInClipboardHistory 0",
                                                 "CanUploadToCloudClipboard 0",
                                                 "ExcludeClipboardContentFromMonitorProcessing 0",
                                                 "Toolbar Button Face", "Toolbar Button Mask"}));

  backup->Invoke(L"Restore", host::InvokeKind::kMethod, {});
  EXPECT_EQ(formats(), (std::vector<std::string>{"1"}));
  EXPECT_EQ(machine.Format(1), (Bytes{'m', 'i', 'n', 'e', 0}));
}

// Clipboard history holds the clipboard for a moment after every change, the Restore of one face
// right before the next face's Backup among them: the clipboard component tries again while
// another program holds it, and gives up after its tenth try.
TEST(AtlClipboardTest, TriesAgainWhileAnotherProgramHoldsTheClipboard) {
  // The machine's kernel, whose pauses let the other program go after `heldFor` of them.
  class PausingKernel final : public emulated::EmulatedKernel {
   public:
    PausingKernel(const fs::path& prefix, std::function<void()> pause)
        : EmulatedKernel(prefix), pause_(std::move(pause)) {}
    void Sleep(std::uint32_t) override { pause_(); }

   private:
    std::function<void()> pause_;
  };
  for (const int heldFor : {0, 3, 9, 10}) {
    Machine machine;
    emulated::EmulatedClipboard& clipboard = machine.host().emulatedClipboard();
    {
      const host::ScopedOpenClipboard open(clipboard);
      clipboard.EmptyClipboard();
      clipboard.WriteFormat(1, Bytes{'m', 'i', 'n', 'e', 0});
    }
    emulated::EmulatedGlobalMemory otherMemory;
    emulated::EmulatedClipboard other(machine.prefix(), otherMemory);
    ASSERT_TRUE(heldFor == 0 || other.OpenClipboard(0));
    int pauses = 0;
    PausingKernel kernel(machine.prefix(), [&] {
      if (++pauses == heldFor)
        other.CloseClipboard();
    });
    const host::DispatchPtr backup = emulated::CreateAtlClipboard(clipboard, kernel);
    bool saved = true;
    try {
      backup->Invoke(L"Backup", host::InvokeKind::kMethod, {});
    } catch (const host::RuntimeError& error) {
      saved = false;
      EXPECT_EQ(error.number(), host::RuntimeError::CannotOpenClipboard().number());
    }
    other.CloseClipboard();
    EXPECT_EQ(saved, heldFor < 10) << "held for " << heldFor << " pauses";
    EXPECT_EQ(pauses, std::min(heldFor, 9)) << "held for " << heldFor << " pauses";
  }
}

TEST(StoreFaceAndMaskFormatsTest, LeavesOutWhatItCannotHave) {
  Machine machine;
  host::Host& host = machine.host();
  const host::ScopedScreenDC screen(host.gdi());
  host::ScopedGdiObject mask(host.gdi());
  mask.receive() = host.gdi().CreateBitmap(16, 16, 1, 1, nullptr);

  {
    // Another program holds the clipboard: neither format, and no error.
    emulated::EmulatedGlobalMemory otherMemory;
    emulated::EmulatedClipboard other(machine.prefix(), otherMemory);
    ASSERT_TRUE(other.OpenClipboard(0));
    helper::StoreFaceAndMaskFormats(host, mask.get(), screen.get());
  }
  EXPECT_FALSE(machine.Format("Toolbar Button Mask"));
  // No CF_DIB: the mask alone.
  helper::StoreFaceAndMaskFormats(host, mask.get(), screen.get());
  EXPECT_FALSE(machine.Format("Toolbar Button Face"));
  EXPECT_TRUE(machine.Format("Toolbar Button Mask"));
  EXPECT_EQ(machine.host().emulatedMemory().live_blocks(), 0u);
}

}  // namespace
}  // namespace tkw
