// The face and mask clipboard formats a command-bar control's PasteFace takes: the picture as
// CF_DIB, "Toolbar Button Face" (a copy of the CF_DIB block) and "Toolbar Button Mask" (a 1-bit
// DIB marking the pixels of the mask colour).
#pragma once

#include <cstdint>
#include <string>

#include "host/host.h"

namespace tkw::helper {

// Places the picture and its face and mask formats on the clipboard. Throws RuntimeError 481
// for no picture, a picture that is not a bitmap or one without a handle (before anything is
// taken), and passes on an error of putting the picture on the clipboard; every other failure
// only leaves a format out.
void PlacePictureFaceOnClipboard(host::Host& host, host::Picture* picture,
                                 std::uint32_t maskColour);

// Loads the icon file and places its face and mask, the mask marking its white pixels, as a
// run gives them to a button. An icon that cannot be loaded or used leaves the clipboard as it
// was.
void PlaceIconFaceOnClipboard(host::Host& host, const std::wstring& sIconPath);

// The widest and highest bitmap that gets a mask.
inline constexpr int kLargestMaskSide = 30000;

// Makes a monochrome copy of `hbmSource` in which the pixels of `translatedColour` are 1.
// Leaves `hbmMask` alone when the bitmap is narrower or lower than 1 or larger than
// kLargestMaskSide.
void MakeMaskBitmap(host::Gdi& gdi, host::Handle hbmSource, host::ColorRef translatedColour,
                    host::Handle hdcReference, host::Handle hPalette, host::Handle& hbmMask);

// Adds "Toolbar Button Face" and "Toolbar Button Mask" beside what the clipboard holds.
void StoreFaceAndMaskFormats(host::Host& host, host::Handle hbmMask, host::Handle hdcReference);

}  // namespace tkw::helper
