// The drives the watcher polls, each with its own edge latch: either the
// first CD-ROM drive, chosen once at start-up, or every CD-ROM drive from C:
// to Z:, now and later. Following every drive, a drive that appears (a USB
// drive plugged in, a disc image mounted) is added with its latch clear, so
// a disc already in it is a new insertion, and a drive that goes away is
// dropped with its disc.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace discora {

struct WatchedDrive {
  bool MediaPresent = false;  // result of the last media-present query
  bool WasPresent = false;    // a disc was present at the previous poll
};

// A drive letter's bit in a set of drives (bit 0 = A:).
constexpr std::uint32_t DriveBit(char letter) { return 1u << (letter - 'A'); }

// "D:"
inline std::string DriveSpec(char letter) { return std::string(1, letter) + ":"; }

class DriveWatch {
 public:
  // Watches `letter` alone, for good.
  void WatchOnly(char letter);
  // Watches every CD-ROM drive there is now and follows the drives that
  // come and go from then on.
  void FollowAll(Platform& platform);
  bool FollowsAll() const { return followsAll_; }

  // Sets the latch of every drive watched now: whether the discs in the
  // drives at start-up count as seen.
  void SeedLatches(bool seen);

  // A volume arrived on the drives of `unitMask`, a new disc when
  // `isMedia`, else a new drive. Returns whether a poll should look: for
  // the one drive, a new disc in it; following every drive, any drive from
  // C: to Z:, which the next refresh asks after even when its letter was in
  // use already.
  bool NoteArrival(std::uint32_t unitMask, bool isMedia);

  // A volume went away from the drives of `unitMask` (its disc taken out,
  // or the drive itself): their latches are cleared, so a disc in them at
  // the next poll is a new one, even when it came back before that poll.
  void NoteRemoval(std::uint32_t unitMask);

  // Following every drive: takes in the drives that appeared and drops the
  // ones that went away since the last refresh. Asks the system for its
  // drive letters once, and the type of a drive only for a letter that came
  // or was named by an arrival. Watching one drive, does nothing.
  void Refresh(Platform& platform);

  // The watched drives, one bit each.
  std::uint32_t Watched() const { return watched_; }
  // The watched drive `letter`, or null.
  WatchedDrive* Find(char letter);

 private:
  void Add(char letter);

  bool followsAll_ = false;
  std::uint32_t watched_ = 0;
  std::uint32_t inUse_ = 0;    // drive letters in use at the last refresh
  std::uint32_t arrived_ = 0;  // letters named by arrivals since then
  WatchedDrive drives_[26];    // by letter; only the watched ones count
};

}  // namespace discora
