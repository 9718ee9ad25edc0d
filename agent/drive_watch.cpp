#include "agent/drive_watch.h"

#include <algorithm>

namespace discora {

namespace {

// C: to Z:; A: and B: are never looked at.
constexpr std::uint32_t kWatchableLetters = 0x03FFFFFCu;

std::uint32_t Bit(char letter) { return 1u << (letter - 'A'); }

bool IsCdrom(Platform& platform, char letter) {
  return platform.DriveType(std::string(1, letter) + ":\\") == kDriveCdrom;
}

}  // namespace

void DriveWatch::WatchOnly(char letter) {
  followsAll_ = false;
  drives_.clear();
  Add(letter);
}

void DriveWatch::FollowAll(Platform& platform) {
  followsAll_ = true;
  drives_.clear();
  arrived_ = 0;
  inUse_ = platform.LogicalDrives() & kWatchableLetters;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if ((inUse_ & Bit(letter)) != 0 && IsCdrom(platform, letter)) Add(letter);
  }
}

void DriveWatch::SeedLatches(bool seen) {
  for (WatchedDrive& drive : drives_) drive.WasPresent = seen;
}

bool DriveWatch::NoteArrival(std::uint32_t unitMask, bool isMedia) {
  if (!followsAll_) {
    return isMedia && drives_.size() == 1 && (unitMask & Bit(drives_[0].Letter)) != 0;
  }
  arrived_ |= unitMask & kWatchableLetters;
  return (unitMask & kWatchableLetters) != 0;
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
  for (char letter = 'C'; changed != 0 && letter <= 'Z'; ++letter) {
    if ((changed & Bit(letter)) == 0) continue;
    if ((inUse & Bit(letter)) == 0) {
      Remove(letter);
    } else if (Find(letter) == nullptr && IsCdrom(platform, letter)) {
      Add(letter);
    }
  }
}

std::vector<char> DriveWatch::Letters() const {
  std::vector<char> letters;
  letters.reserve(drives_.size());
  for (const WatchedDrive& drive : drives_) letters.push_back(drive.Letter);
  return letters;
}

WatchedDrive* DriveWatch::Find(char letter) {
  for (WatchedDrive& drive : drives_) {
    if (drive.Letter == letter) return &drive;
  }
  return nullptr;
}

void DriveWatch::Add(char letter) {
  WatchedDrive drive;
  drive.Letter = letter;
  const auto at = std::find_if(drives_.begin(), drives_.end(),
                               [letter](const WatchedDrive& d) { return d.Letter > letter; });
  drives_.insert(at, drive);
}

void DriveWatch::Remove(char letter) {
  drives_.erase(std::remove_if(drives_.begin(), drives_.end(),
                               [letter](const WatchedDrive& d) { return d.Letter == letter; }),
                drives_.end());
}

}  // namespace discora
