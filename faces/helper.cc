#include "faces/helper.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/runtime/clipboard_object.h"
#include "host/runtime/scoped_handles.h"
#include "host/runtime_error.h"

namespace tkw::helper {

namespace {

constexpr std::uint32_t kClipboardBlockFlags = host::kGmemMoveable | host::kGmemShare;
// The mask block: header, two colour entries, the rows, and two bytes that are never written.
constexpr std::size_t kMaskInfoSize = sizeof(host::BitmapInfoHeader) + 2 * sizeof(host::RgbQuad);
constexpr std::size_t kMaskBlockSlack = 2;

// Hands a filled block to the clipboard, which owns it from then on; a block that could not
// be filled or that the clipboard refuses is freed.
void GiveToClipboard(host::Host& host, unsigned format, host::Handle block, bool filled) {
  if (!filled || host.clipboard().SetClipboardData(format, block) == 0) {
    host.memory().GlobalFree(block);
  }
}

}  // namespace

void PlacePictureFaceOnClipboard(host::Host& host, host::Picture* picture,
                                 std::uint32_t maskColour) {
  if (picture == nullptr || picture->type() != host::kPicTypeBitmap || picture->handle() == 0) {
    throw host::RuntimeError::InvalidPicture();
  }

  host::Gdi& gdi = host.gdi();
  const host::ScopedScreenDC screen(gdi);
  host::ScopedGdiObject madePalette(gdi);
  host::Handle hPalette = picture->hPal();
  if (hPalette == 0) {
    hPalette = gdi.CreateHalftonePalette(screen.get());
    madePalette.receive() = hPalette;
  }

  host::ColorRef translatedColour = 0;
  host.ole().OleTranslateColor(maskColour, hPalette, &translatedColour);

  host::ScopedGdiObject mask(gdi);
  MakeMaskBitmap(gdi, picture->handle(), translatedColour, screen.get(), hPalette, mask.receive());
  host::ClipboardSetData(host, *picture, host::kCfDib);
  StoreFaceAndMaskFormats(host, mask.get(), screen.get());
}

void MakeMaskBitmap(host::Gdi& gdi, host::Handle hbmSource, host::ColorRef translatedColour,
                    host::Handle hdcReference, host::Handle hPalette, host::Handle& hbmMask) {
  host::Bitmap bitmap{};
  gdi.GetObjectA(hbmSource, sizeof bitmap, &bitmap);
  const int width = bitmap.bmWidth;
  const int height = bitmap.bmHeight;
  if (width < 1 || width > kLargestMaskSide || height < 1 || height > kLargestMaskSide)
    return;

  const host::ScopedMemoryDC source(gdi, hdcReference);
  const host::ScopedSelectPalette sourcePalette(gdi, source.get(), hPalette);
  gdi.RealizePalette(source.get());
  const host::ScopedSelectObject sourceBitmap(gdi, source.get(), hbmSource);

  hbmMask = gdi.CreateBitmap(width, height, 1, 1, nullptr);
  const host::ScopedMemoryDC maskContext(gdi, hdcReference);
  const host::ScopedSelectObject maskBitmap(gdi, maskContext.get(), hbmMask);

  // Colour to monochrome: the pixels of the source's background colour become 1.
  gdi.SetBkColor(source.get(), translatedColour);
  gdi.BitBlt(maskContext.get(), 0, 0, width, height, source.get(), 0, 0, host::kSrcCopy);
  // Leaving the scope selects everything back, so the mask is free for GetDIBits.
}

void StoreFaceAndMaskFormats(host::Host& host, host::Handle hbmMask, host::Handle hdcReference) {
  host::Gdi& gdi = host.gdi();
  host::GlobalMemory& memory = host.memory();
  host::Clipboard& clipboard = host.clipboard();

  host::BitmapInfo query{};
  query.bmiHeader.biSize = sizeof(host::BitmapInfoHeader);
  gdi.GetDIBits(hdcReference, hbmMask, 0, 0, nullptr, &query, host::kDibRgbColors);
  host::BitmapInfo maskInfo{};
  maskInfo.bmiHeader = query.bmiHeader;
  const host::BitmapInfoHeader& header = maskInfo.bmiHeader;
  if (header.biBitCount != 1 || header.biSizeImage < 1)
    return;
  const std::size_t imageSize = header.biSizeImage;
  std::vector<std::uint8_t> bits(imageSize);

  // Added beside what the clipboard holds: it is not emptied.
  const host::ScopedOpenClipboard open(clipboard);
  if (!open)
    return;
  const unsigned faceFormat = clipboard.RegisterClipboardFormatA("Toolbar Button Face");
  const unsigned maskFormat = clipboard.RegisterClipboardFormatA("Toolbar Button Mask");

  if (const host::Handle dib = clipboard.GetClipboardData(host::kCfDib)) {
    const std::size_t size = memory.GlobalSize(dib);
    if (const host::Handle face = memory.GlobalAlloc(kClipboardBlockFlags, size)) {
      bool copied = false;
      {
        const host::ScopedGlobalLock from(memory, dib);
        const host::ScopedGlobalLock to(memory, face);
        if (from.data() != nullptr && to.data() != nullptr) {
          std::memmove(to.data(), from.data(), size);
          copied = true;
        }
      }
      GiveToClipboard(host, faceFormat, face, copied);
    }
  }

  gdi.GetDIBits(hdcReference, hbmMask, 0, static_cast<unsigned>(std::abs(header.biHeight)),
                bits.data(), &maskInfo, host::kDibRgbColors);
  if (const host::Handle mask =
          memory.GlobalAlloc(kClipboardBlockFlags, kMaskInfoSize + imageSize + kMaskBlockSlack)) {
    bool copied = false;
    {
      const host::ScopedGlobalLock to(memory, mask);
      if (auto* data = static_cast<std::uint8_t*>(to.data())) {
        std::memmove(data, &maskInfo, kMaskInfoSize);
        std::memmove(data + kMaskInfoSize, bits.data(), imageSize);
        copied = true;
      }
    }
    GiveToClipboard(host, maskFormat, mask, copied);
  }
}

}  // namespace tkw::helper
