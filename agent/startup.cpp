// Start-up: one instance, the drives to watch (the first CD-ROM drive, or
// every one), the emulator, the options and the utility paths, then the
// first poll.
#include <string>

#include "agent/form.h"
#include "res/version.h"
#include "settings/registry_key.h"
#include "settings/registry_text.h"

namespace discora {

namespace {

constexpr char kVgsRegistryKey[] = "SOFTWARE\\Connectix\\Connectix Virtual Game Station\\General";
constexpr char kVgsRegistryValue[] = "Location";
constexpr char kVgsTitle[] = "Connectix Virtual Game Station";
constexpr char kBleemTitle[] = "bleem!";

}  // namespace

FormDiscoraNotify::FormDiscoraNotify(Platform& platform, FormWindow& window)
    : platform_(platform), window_(window), settings_(platform) {}

bool FormDiscoraNotify::Form_Load() {
  if (platform_.AnotherInstanceRunning()) {
    anotherInstance_ = true;
    return false;
  }

  if (ReadAllDrivesOption()) {
    // Every CD-ROM drive, now and later: a machine with none waits for a
    // USB drive to be plugged in or a disc image to be mounted.
    state_.Drives.FollowAll(platform_);
  } else {
    // Only the first CD-ROM drive in letter order is watched; A: and B: are
    // never looked at.
    for (state_.LoopIndex = 3; state_.LoopIndex <= 26; ++state_.LoopIndex) {
      state_.CdDrive = std::string(1, static_cast<char>(state_.LoopIndex + 64)) + ":";
      if (platform_.DriveType(state_.CdDrive + "\\") == kDriveCdrom) break;
    }
    if (state_.LoopIndex > 26) return false;
    state_.Drives.WatchOnly(state_.CdDrive[0]);
  }
  InitAgent();
  Timer1_Timer();
  return true;
}

bool FormDiscoraNotify::ReadAllDrivesOption() {
  const auto all = TextToBool(settings_.ReadOrMachineDefault(keys::kAllDrives, BoolText(false)));
  return all && *all;
}

void FormDiscoraNotify::InitAgent() {
  LoadTrayIcon();
  LocateEmulator();
  LoadOptions();
}

void FormDiscoraNotify::LocateEmulator() {
  const std::string folder = platform_.AppFolder();
  // The search always inserts one separator, as the folder is reported.
  state_.EmulatorPath = platform_.FindFirstFileName(folder + "\\*vgs.exe");
  state_.EmulatorInAppFolder = !state_.EmulatorPath.empty();
  if (state_.EmulatorPath.empty()) {
    state_.EmulatorPath = platform_.FindFirstFileName(folder + "\\bleem!.exe");
    state_.EmulatorInAppFolder = !state_.EmulatorPath.empty();
    state_.IsBleem = true;
  }
  if (state_.EmulatorPath.empty()) {
    state_.EmulatorPath =
        ReadRegistryString(RegRoot::LocalMachine, kVgsRegistryKey, kVgsRegistryValue);
    state_.IsBleem = false;
  }
  state_.EmulatorTitle = state_.IsBleem ? kBleemTitle : kVgsTitle;
}

void FormDiscoraNotify::LoadOptions() {
  if (auto enabled = TextToBool(settings_.Read(keys::kEnabled, BoolText(true)))) {
    window_.SetChecked(MenuItem::Autorun, *enabled);
  }
  window_.SetTimerEnabled(window_.Checked(MenuItem::Autorun));

  if (auto start = TextToBool(settings_.Read(keys::kStart, BoolText(true)))) {
    window_.SetChecked(MenuItem::Start, *start);
  }
  // Drive by drive, a disc in it now counts as seen or as newly inserted.
  state_.Drives.SeedLatches(window_.Checked(MenuItem::Start));

  if (auto utilities = TextToBool(settings_.Read(keys::kStartUtils, BoolText(true)))) {
    window_.SetChecked(MenuItem::Utility, *utilities);
  }

  const std::string appDir = AppDir();
  window_.SetPathText(0, settings_.Read(keys::kApp1, appDir + "DX7VGSJoy.exe"));
  window_.SetPathText(1, settings_.Read(keys::kApp2, appDir + "pec.exe"));
  window_.SetPathText(2, settings_.Read(keys::kApp3, ""));
}

std::string FormDiscoraNotify::AppDir() {
  std::string dir = platform_.AppFolder();
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  return dir;
}

std::string FormDiscoraNotify::ReadRegistryString(RegRoot hKey, const std::string& subKey,
                                                  const std::string& valueName) {
  // The emulator's installer is a 32-bit program: on 64-bit Windows its
  // record is in the view 32-bit programs see, whichever build reads it.
  RegistryKey key(platform_);
  if (key.Open(hKey, subKey, RegView::Of32BitPrograms) != kErrorSuccess) return std::string();

  // A 255-byte buffer: a text of up to 254 characters and its NUL fits; a
  // longer value does not and reads as empty.
  std::string buffer(255, ' ');
  std::uint32_t size = 255;
  std::uint32_t type = kRegExpandSz;
  std::string result;
  const long rc = key.QueryValue(valueName, &type, &buffer[0], &size);
  if (rc == kErrorSuccess && size > 1 && size <= buffer.size()) {
    result = RegistryText(type, buffer.data(), size);
    // A value that filled the whole buffer without a terminator is a text
    // of 255 characters or more: it does not fit.
    if (result.size() >= buffer.size()) result.clear();
    if (type == kRegExpandSz) result = platform_.ExpandEnvironmentOf32BitProgram(result);
  }

  // Closed here rather than at the end of the scope: a failed close is the
  // one failure the user is told of.
  if (key.Close() != kErrorSuccess) {
    platform_.ShowMessageBox(0, "RegCloseKey Failed: " + subKey, DISCORA_TITLE,
                             kMbOk | kMbIconExclamation);
  }
  return result;
}

}  // namespace discora
