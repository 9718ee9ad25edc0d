// The disc watcher: each poll asks the Media Control Interface whether a disc
// is in each watched drive and turns that level into an edge, drive by drive;
// a newly inserted console's disc goes to the launcher, for its drive.
#include <cstring>
#include <string>
#include <vector>

#include "agent/console_table.h"
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
  state_.Drives.Refresh(platform_);
  // A launch can run a message loop of the system's (the consent prompt of a
  // program that runs as administrator), in which another poll may change
  // the set: PollDrive asks it again for each letter.
  for (char letter = 'C'; letter <= 'Z'; ++letter) PollDrive(letter);
}

void FormDiscoraNotify::PollDrive(char letter) {
  WatchedDrive* drive = state_.Drives.Find(letter);
  if (drive == nullptr) return;
  state_.CdDrive = DriveSpec(letter);

  char reply[kReplyLength + 1] = {};  // one more byte so the reply always ends
  platform_.SendMciString("open " + state_.CdDrive + " Type cdaudio Alias cdvgs wait", reply,
                          kReplyLength);
  // Only the answer of a status query that succeeded is a reading: after a
  // failure the buffer still holds the open command's reply (the device id).
  std::memset(reply, 0, sizeof reply);
  if (platform_.SendMciString("status cdvgs media present wait", reply, kReplyLength) == 0) {
    if (auto present = TextToBool(std::string(reply, strnlen(reply, kReplyLength)))) {
      drive->MediaPresent = *present;
    }
  } else if (platform_.DriveType(state_.CdDrive + "\\") != kDriveCdrom) {
    // The drive itself is gone (a USB or virtual drive removed with its
    // disc in): no disc, so the next one in it is a new insertion. A failed
    // query on a drive that is still there is no reading. Asked only after
    // a failure, so an idle poll costs what it did.
    drive->MediaPresent = false;
  }
  platform_.SendMciString("close cdvgs", reply, kReplyLength);

  DiscIdentity disc;
  if (drive->MediaPresent) {
    // Held Shift marks the disc as seen without a launch. The disc is read
    // only when it has just come: an idle poll reads nothing.
    if (!drive->WasPresent && !ShiftIsDown()) disc = IdentifyDisc(letter);
    // Set before the launch, so that a poll run inside it sees the disc as
    // seen.
    drive->WasPresent = true;
  } else {
    drive->WasPresent = false;
  }
  if (disc.kind != DiscKind::None) LaunchEmulator(letter, disc, LaunchCause::Disc);
}

char FormDiscoraNotify::ChooseLaunchDrive(DiscIdentity* disc) {
  // The one drive, always.
  if (!state_.Drives.FollowsAll()) {
    const char letter = state_.CdDrive.empty() ? '\0' : state_.CdDrive[0];
    *disc = IdentifyDisc(letter);
    return letter;
  }
  state_.CdDrive.clear();
  *disc = DiscIdentity();
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (state_.Drives.Find(letter) == nullptr) continue;
    // The first drive, unless a later one holds a console's disc.
    if (state_.CdDrive.empty()) state_.CdDrive = DriveSpec(letter);
    DiscIdentity found = IdentifyDisc(letter);
    if (found.kind != DiscKind::None) {
      state_.CdDrive = DriveSpec(letter);
      *disc = found;
      return letter;
    }
  }
  return state_.CdDrive.empty() ? '\0' : state_.CdDrive[0];
}

DiscIdentity FormDiscoraNotify::IdentifyDisc(char drive) {
  DiscIdentity disc;
  if (drive == '\0') return disc;  // no drive at all
  const std::string bootFile = DriveSpec(drive) + "\\system.cnf";
  if (platform_.IsFile(bootFile)) {
    // One byte over the limit tells a file too long to be a boot file; one
    // that cannot be read still marks a PlayStation disc.
    std::string text;
    const bool read = platform_.ReadFileStart(bootFile, kBootFileLimit + 1, &text);
    disc.kind = read ? ClassifyBootFile(text) : DiscKind::PlayStation;
    disc.code = read ? GameCode(text) : std::string();
    return disc;
  }
  // Without a boot file, the header of the disc's first data track: the
  // first track that holds data, or the disc's start when the drive gives no
  // table of contents. A disc of audio tracks alone is read no further.
  std::vector<DiscTrack> tracks;
  std::uint32_t first = 0;
  if (platform_.ReadDiscToc(drive, &tracks)) {
    std::size_t data = 0;
    while (data < tracks.size() && !tracks[data].data) ++data;
    if (data == tracks.size()) return disc;
    first = tracks[data].start;
  }
  std::string sectors;
  if (platform_.ReadDiscSectors(drive, first, kHeaderSectors, &sectors)) {
    disc = IdentifyHeader(sectors);
  }
  return disc;
}

void FormDiscoraNotify::Form_DeviceArrival(std::uint32_t unitMask, bool isMedia) {
  if (!window_.Checked(MenuItem::Autorun) || !state_.Drives.NoteArrival(unitMask, isMedia)) return;
  // The sender waits for this answer, and so does every window after ours:
  // a slow drive must not hold them up. One waiting poll serves any number
  // of arrivals.
  if (!arrivalPollPosted_) arrivalPollPosted_ = window_.PostArrivalPoll();
}

void FormDiscoraNotify::Form_DeviceRemoval(std::uint32_t unitMask) {
  // As with arrivals, nothing is watched while "Enable Autorun" is off.
  if (window_.Checked(MenuItem::Autorun)) state_.Drives.NoteRemoval(unitMask);
}

void FormDiscoraNotify::Form_ArrivalPoll() {
  arrivalPollPosted_ = false;
  // "Enable Autorun" may have been unchecked since the arrival.
  if (window_.Checked(MenuItem::Autorun)) Timer1_Timer();
}

}  // namespace discora
