// The face and mask path (PlacePictureFaceOnClipboard) and its colour-to-monochrome step
// (MakeMaskBitmap) on the emulated platform, beside a plain copy of the same 32-bit pixels.
// Rates are pixels per second; peak_rss_mb is the process's peak resident memory so far.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "faces/helper.h"
#include "host/emulated_windows/emulated_windows.h"
#include "host/emulated_windows/graphics/picture_loader.h"

namespace {

namespace fs = std::filesystem;

// A 24-bit bottom-up bitmap file of a gradient in which every seventh pixel is white.
std::vector<std::uint8_t> MakeBitmapFile(int side) {
  const std::size_t stride = (static_cast<std::size_t>(side) * 3 + 3) / 4 * 4;
  const std::size_t image = stride * side;
  std::vector<std::uint8_t> file(54 + image);
  const auto put32 = [&](std::size_t at, std::uint32_t value) {
    std::memcpy(file.data() + at, &value, sizeof value);
  };
  file[0] = 'B', file[1] = 'M';
  put32(2, static_cast<std::uint32_t>(file.size())), put32(10, 54), put32(14, 40);
  put32(18, side), put32(22, side), put32(26, 1 | 24 << 16), put32(34, image);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      std::uint8_t* pixel = file.data() + 54 + y * stride + x * 3;
      const bool white = (x + y) % 7 == 0;
      pixel[0] = white ? 0xFF : static_cast<std::uint8_t>(x);
      pixel[1] = white ? 0xFF : static_cast<std::uint8_t>(y);
      pixel[2] = white ? 0xFF : 0x40;
    }
  }
  return file;
}

// One emulated machine in a scratch prefix, and a loaded picture per size, kept across runs.
struct Machine {
  Machine() : prefix(MakePrefix()), host(prefix), loader(host.emulatedGdi()) {}
  ~Machine() {
    pictures.clear();
    std::error_code ignored;
    fs::remove_all(prefix, ignored);
  }
  static fs::path MakePrefix() {
    std::string path = (fs::temp_directory_path() / "tkw-face-bench-XXXXXX").string();
    if (::mkdtemp(path.data()) == nullptr)
      std::abort();
    return path;
  }
  tkw::host::Picture& Picture(int side) {
    auto& picture = pictures[side];
    if (!picture)
      picture = loader.LoadPicture(MakeBitmapFile(side));
    return *picture;
  }

  fs::path prefix;
  tkw::emulated::EmulatedWindows host;
  tkw::emulated::PictureLoader loader;
  std::map<int, std::unique_ptr<tkw::host::Picture>> pictures;
};

Machine& TheMachine() {
  static Machine machine;
  return machine;
}

void ReportPixels(benchmark::State& state, std::int64_t pixels) {
  state.SetItemsProcessed(state.iterations() * pixels);
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_FaceAndMask(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  Machine& machine = TheMachine();
  tkw::host::Picture& picture = machine.Picture(side);
  for (auto _ : state) {
    tkw::helper::PlacePictureFaceOnClipboard(machine.host, &picture, 0x00FFFFFF);
  }
  ReportPixels(state, std::int64_t{side} * side);
}

void BM_MaskBitmap(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  Machine& machine = TheMachine();
  tkw::host::Picture& picture = machine.Picture(side);
  tkw::host::Gdi& gdi = machine.host.gdi();
  const tkw::host::Handle screen = gdi.GetDC(0);
  const tkw::host::Handle palette = gdi.CreateHalftonePalette(screen);
  for (auto _ : state) {
    tkw::host::Handle mask = 0;
    tkw::helper::MakeMaskBitmap(gdi, picture.handle(), 0x02FFFFFF, screen, palette, mask);
    gdi.DeleteObject(mask);
  }
  gdi.DeleteObject(palette);
  gdi.ReleaseDC(0, screen);
  ReportPixels(state, std::int64_t{side} * side);
}

void BM_PlainCopy(benchmark::State& state) {
  const std::size_t bytes = static_cast<std::size_t>(state.range(0)) * state.range(0) * 4;
  std::vector<std::uint8_t> from(bytes, 0x5A), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  ReportPixels(state, state.range(0) * state.range(0));
}

BENCHMARK(BM_FaceAndMask)->Arg(16);
BENCHMARK(BM_FaceAndMask)->Arg(8000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MaskBitmap)->Arg(16);
BENCHMARK(BM_MaskBitmap)->Arg(8000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PlainCopy)->Arg(16);
BENCHMARK(BM_PlainCopy)->Arg(8000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
