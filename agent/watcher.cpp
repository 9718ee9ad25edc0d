// The disc watcher: each poll asks the Media Control Interface whether a disc
// is in the watched drive and turns that level into an edge; a newly inserted
// PlayStation disc goes to the launcher.
#include <cstring>
#include <string>

#include "agent/form.h"

namespace discora {

namespace {

constexpr std::uint32_t kReplyLength = 6;

}  // namespace

bool FormDiscoraNotify::ShiftIsDown() {
  // 0x8000 or 0x8001: the key is down now.
  return platform_.AsyncKeyState(kVkShift) <= -32767;
}

void FormDiscoraNotify::Timer1_Timer() {
  RecallIcon();

  char reply[kReplyLength + 1] = {};  // one more byte so the reply always ends
  platform_.SendMciString("open " + state_.CdDrive + " Type cdaudio Alias cdvgs wait", reply,
                          kReplyLength);
  // Only the answer of a status query that succeeded is a reading: after a
  // failure the buffer still holds the open command's reply (the device id).
  std::memset(reply, 0, sizeof reply);
  if (platform_.SendMciString("status cdvgs media present wait", reply, kReplyLength) == 0) {
    if (auto present = TextToBool(std::string(reply, strnlen(reply, kReplyLength)))) {
      state_.MediaPresent = *present;
    }
  } else if (platform_.DriveType(state_.CdDrive + "\\") != kDriveCdrom) {
    // The drive itself is gone (a USB or virtual drive removed with its
    // disc in): no disc, so the next one in it is a new insertion. A failed
    // query on a drive that is still there is no reading. Asked only after
    // a failure, so an idle poll costs what it did.
    state_.MediaPresent = false;
  }
  platform_.SendMciString("close cdvgs", reply, kReplyLength);

  if (state_.MediaPresent) {
    if (!state_.WasPresent) {
      if (ShiftIsDown()) {
        // Held Shift marks the disc as seen without a launch.
      } else if (platform_.IsFile(state_.CdDrive + "\\system.cnf")) {
        LaunchEmulator();
      }
    }
    state_.WasPresent = true;
  } else {
    state_.WasPresent = false;
  }
}

DiscKind FormDiscoraNotify::DiscInDrive() {
  const std::string bootFile = state_.CdDrive + "\\system.cnf";
  // One byte over the limit tells a file too long to be a boot file.
  std::string text;
  if (platform_.ReadFileStart(bootFile, kBootFileLimit + 1, &text)) return ClassifyBootFile(text);
  // A boot file that cannot be read still marks a PlayStation disc.
  return platform_.IsFile(bootFile) ? DiscKind::PlayStation : DiscKind::None;
}

void FormDiscoraNotify::Form_DeviceArrival(std::uint32_t unitMask, bool isMedia) {
  if (!isMedia || state_.CdDrive.size() < 2 || !window_.Checked(MenuItem::Autorun)) return;
  const int drive = state_.CdDrive[0] - 'A';
  if (drive < 0 || drive > 25 || (unitMask & (1u << drive)) == 0) return;
  // The sender waits for this answer, and so does every window after ours:
  // a slow drive must not hold them up. One waiting poll serves any number
  // of arrivals.
  if (!arrivalPollPosted_) arrivalPollPosted_ = window_.PostArrivalPoll();
}

void FormDiscoraNotify::Form_ArrivalPoll() {
  arrivalPollPosted_ = false;
  // "Enable Autorun" may have been unchecked since the arrival.
  if (window_.Checked(MenuItem::Autorun)) Timer1_Timer();
}

}  // namespace discora
