// The notice the icon gives when a launch finds no emulator for a console's
// disc: a balloon (a notification on Windows 10 and 11) that names the kind
// of disc, the drive and the game, and says that a click on it chooses the
// emulator.
#pragma once

#include <string>

#include "agent/disc_kind.h"
#include "platform/platform.h"

namespace discora {

// Tray callback code of a click on the balloon (NIN_BALLOONUSERCLICK),
// which arrives like the mouse messages.
constexpr unsigned kTrayBalloonClick = 0x405;

// Copies `text` into `field`, cut so that it and its NUL fit.
template <std::size_t N>
void FillNoticeField(char (&field)[N], const std::string& text) {
  const std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
  text.copy(field, length);
  field[length] = '\0';
}

// The notice for `disc` in drive `drive`: no emulator was found for it, or
// (`noCore`) RetroArch was, without a core for it.
TrayNotice MakeEmulatorNotice(char drive, const DiscIdentity& disc, bool noCore);

}  // namespace discora
