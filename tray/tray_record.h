// The notification-icon record: icon id 1, message, icon and tooltip, with
// the window's own mouse-move message as the callback.
#pragma once

#include <string>

#include "platform/platform.h"

namespace discora {

constexpr std::uint32_t kTrayIconId = 1;
constexpr std::uint32_t kTrayFlags = 7;                // NIF_MESSAGE | NIF_ICON | NIF_TIP
constexpr std::uint32_t kTrayCallbackMessage = 0x200;  // WM_MOUSEMOVE

// Tray callback codes: the low word of the callback's lParam, the mouse
// message that occurred over the icon.
constexpr unsigned kTrayDoubleClick = 515;    // WM_LBUTTONDBLCLK
constexpr unsigned kTrayRightButtonUp = 517;  // WM_RBUTTONUP

// Fills the 64-byte tip field: `text` cut to 63 characters, one NUL, then
// blanks up to the end of the field.
void FillTooltip(char (&tip)[64], const std::string& text);

// The record passed on every add and delete; the tooltip is the window
// caption followed by the credit suffix.
TrayRecord MakeTrayRecord(WindowHandle window, IconHandle icon, const std::string& caption);

}  // namespace discora
