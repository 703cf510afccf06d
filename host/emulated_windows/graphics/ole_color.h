// OleTranslateColor over the emulated GDI's palettes and the system colours.
#pragma once

#include <cstdint>

#include "host/emulated_windows/graphics/emulated_gdi.h"

namespace tkw::emulated {

inline constexpr long kSOk = 0;
inline constexpr long kEInvalidArg = static_cast<std::int32_t>(0x80070057);

// An RGB colour stays as it is (PALETTERGB when a palette is given), a palette index is
// checked against the palette, 0x80000000 | n is system colour n; anything else is
// E_INVALIDARG. `result` may be null to test a colour.
long OleTranslateColor(const EmulatedGdi& gdi, std::uint32_t oleColor, host::Handle palette,
                       host::ColorRef* result);

}  // namespace tkw::emulated
