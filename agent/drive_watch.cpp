#include "agent/drive_watch.h"

namespace discora {

namespace {

// C: to Z:; A: and B: are never looked at.
constexpr std::uint32_t kWatchableLetters = 0x03FFFFFCu;

bool IsCdrom(Platform& platform, char letter) {
  return platform.DriveType(DriveSpec(letter) + "\\") == kDriveCdrom;
}

}  // namespace

void DriveWatch::WatchOnly(char letter) {
  followsAll_ = false;
  watched_ = 0;
  Add(letter);
}

void DriveWatch::FollowAll(Platform& platform) {
  followsAll_ = true;
  watched_ = 0;
  arrived_ = 0;
  inUse_ = platform.LogicalDrives() & kWatchableLetters;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if ((inUse_ & DriveBit(letter)) != 0 && IsCdrom(platform, letter)) Add(letter);
  }
}

void DriveWatch::SeedLatches(bool seen) {
  for (WatchedDrive& drive : drives_) drive.WasPresent = seen;
}

bool DriveWatch::NoteArrival(std::uint32_t unitMask, bool isMedia) {
  if (!followsAll_) return isMedia && (unitMask & watched_) != 0;
  arrived_ |= unitMask & kWatchableLetters;
  return (unitMask & kWatchableLetters) != 0;
}

void DriveWatch::NoteRemoval(std::uint32_t unitMask) {
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if ((unitMask & watched_ & DriveBit(letter)) == 0) continue;
    drives_[letter - 'A'].MediaPresent = false;
    drives_[letter - 'A'].WasPresent = false;
  }
}

void DriveWatch::Refresh(Platform& platform) {
  if (!followsAll_) return;
  const std::uint32_t inUse = platform.LogicalDrives() & kWatchableLetters;
  // Every machine has a drive C: at least: no letter at all is a failed
  // call, not every drive gone at once (which would make each disc a new
  // insertion at the next refresh).
  if (inUse == 0) return;
  const std::uint32_t changed = (inUse ^ inUse_) | (arrived_ & inUse);
  inUse_ = inUse;
  arrived_ = 0;
  // A drive that went away is forgotten with its disc.
  watched_ &= inUse;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const std::uint32_t bit = DriveBit(letter);
    if ((changed & inUse & ~watched_ & bit) != 0 && IsCdrom(platform, letter)) Add(letter);
  }
}

WatchedDrive* DriveWatch::Find(char letter) {
  if (letter < 'A' || letter > 'Z' || (watched_ & DriveBit(letter)) == 0) return nullptr;
  return &drives_[letter - 'A'];
}

void DriveWatch::Add(char letter) {
  watched_ |= DriveBit(letter);
  drives_[letter - 'A'] = WatchedDrive();
}

}  // namespace discora
