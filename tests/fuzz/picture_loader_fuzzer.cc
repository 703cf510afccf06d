// Arbitrary bytes as a picture file: the loader must refuse or decode them without reading
// out of bounds, and a decoded bitmap must survive the face path's GDI calls.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "host/emulated_windows/graphics/emulated_gdi.h"
#include "host/emulated_windows/graphics/picture_loader.h"
#include "host/runtime_error.h"

namespace {

// Colour to monochrome against white, then the mask read back as a 1-bit DIB.
void DrawMask(tkw::emulated::EmulatedGdi& gdi, tkw::host::Handle bitmap) {
  tkw::host::Bitmap record{};
  if (gdi.GetObjectA(bitmap, sizeof record, &record) == 0)
    return;
  const int width = record.bmWidth, height = record.bmHeight;
  const tkw::host::Handle source_dc = gdi.CreateCompatibleDC(0);
  const tkw::host::Handle mask_dc = gdi.CreateCompatibleDC(0);
  const tkw::host::Handle mask = gdi.CreateBitmap(width, height, 1, 1, nullptr);
  const tkw::host::Handle old_source = gdi.SelectObject(source_dc, bitmap);
  const tkw::host::Handle old_mask = gdi.SelectObject(mask_dc, mask);
  gdi.SetBkColor(source_dc, 0x00FFFFFF);
  gdi.BitBlt(mask_dc, 0, 0, width, height, source_dc, 0, 0, tkw::host::kSrcCopy);
  gdi.SelectObject(mask_dc, old_mask);
  gdi.SelectObject(source_dc, old_source);
  gdi.DeleteDC(mask_dc);
  gdi.DeleteDC(source_dc);

  tkw::host::BitmapInfo info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  const tkw::host::Handle screen = gdi.GetDC(0);
  gdi.GetDIBits(screen, mask, 0, 0, nullptr, &info, 0);
  std::vector<std::uint8_t> bits(info.bmiHeader.biSizeImage);
  gdi.GetDIBits(screen, mask, 0, static_cast<unsigned>(height), bits.data(), &info, 0);
  gdi.ReleaseDC(0, screen);
  gdi.DeleteObject(mask);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tkw::emulated::EmulatedGdi gdi;
  // Big bitmaps only make each input slow; what they exercise, small ones do too.
  tkw::emulated::PictureLoader loader(gdi, 1 << 14);
  try {
    const auto picture = loader.LoadPicture(std::span(data, size));
    if (picture->type() == tkw::host::kPicTypeBitmap)
      DrawMask(gdi, picture->handle());
  } catch (const tkw::host::RuntimeError&) {
    // A refused file is the expected outcome for most inputs.
  }
  if (gdi.live_objects() != 0)
    __builtin_trap();  // a picture must delete what it created
  return 0;
}
