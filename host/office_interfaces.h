// Interface identifiers and constants of PowerPoint's Application and the Office command-bar
// object model, as their type libraries publish them.
#pragma once

#include <cstdint>

#include "host/automation.h"

namespace tkw::host::office {

inline constexpr InterfaceId kIidApplication = {
    0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
inline constexpr InterfaceId kIidCommandBars = {
    0x000C0302, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr InterfaceId kIidCommandBar = {
    0x000C0304, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr InterfaceId kIidCommandBarControls = {
    0x000C0306, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr InterfaceId kIidCommandBarControl = {
    0x000C0308, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr InterfaceId kIidCommandBarPopup = {
    0x000C030A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr InterfaceId kIidCommandBarButton = {
    0x000C030E, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The command bar whose pop-ups are PowerPoint's menus.
inline constexpr wchar_t kMenuBarName[] = L"Menu Bar";

// MsoControlType
inline constexpr std::int16_t msoControlButton = 1;
inline constexpr std::int16_t msoControlPopup = 10;
// MsoBarPosition
inline constexpr std::int16_t msoBarTop = 1;
// MsoButtonStyle
inline constexpr std::int32_t msoButtonIconAndCaption = 3;
// MsoBarProtection: a bar whose controls cannot be added or deleted
inline constexpr std::int32_t msoBarNoCustomize = 1;

}  // namespace tkw::host::office
