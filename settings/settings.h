// The per-user settings store: seven options kept as string values under
// HKEY_CURRENT_USER\Software\Discora\Settings, one value per key, and the
// emulator commands the user may add there, one per console.
#pragma once

#include <string>

#include "platform/platform.h"
#include "settings/bool_text.h"

namespace discora {

namespace keys {
constexpr char kEnabled[] = "Enabled";
constexpr char kStart[] = "Start";
constexpr char kStartUtils[] = "StartUtils";
constexpr char kHidden[] = "Hidden";
constexpr char kApp1[] = "App1";
constexpr char kApp2[] = "App2";
constexpr char kApp3[] = "App3";
// Optional commands: the emulator for a PlayStation or a PlayStation 2 disc.
// Written only by the user: in the registry, or by choosing the emulator in
// the dialog the notice opens.
constexpr char kPs1Command[] = "PS1Command";
constexpr char kPs2Command[] = "PS2Command";
// The same for the other consoles whose discs a PC's drive reads.
constexpr char kSaturnCommand[] = "SaturnCommand";
constexpr char kMegaCdCommand[] = "MegaCDCommand";
constexpr char kPcEngineCdCommand[] = "PCECDCommand";
constexpr char kPcFxCommand[] = "PCFXCommand";
// Whether every CD-ROM drive is watched, now and later, rather than only the
// first one. Read at start-up, never written; the machine may set a default
// for its users (SettingsStore::ReadOrMachineDefault).
constexpr char kAllDrives[] = "AllDrives";
}  // namespace keys

constexpr char kSettingsKey[] = "Software\\Discora\\Settings";

class SettingsStore {
 public:
  explicit SettingsStore(Platform& platform) : platform_(platform) {}

  // The stored text of `key`, or `defaultText` when the key or value is
  // absent, cannot be read, or does not hold text.
  std::string Read(const std::string& key, const std::string& defaultText);
  // The user's text of `key`; when the user has none, the machine's, under
  // HKEY_LOCAL_MACHINE\Software\Discora\Settings in the 64-bit programs'
  // view wherever there is one, so that both builds read what either
  // build's installer wrote; else `defaultText`.
  std::string ReadOrMachineDefault(const std::string& key, const std::string& defaultText);
  // Writes one value, creating the settings key when needed. Returns false
  // when the store refused it; the caller's live value stays as it is.
  bool Write(const std::string& key, const std::string& text);

 private:
  Platform& platform_;
};

}  // namespace discora
