// The platform's raw disc reads on Win32: a disc's table of contents and its
// first sectors, read through the drive's device ("\\.\D:"), for a disc that
// just arrived and has no boot file. The drive is opened for reading only
// and shared with every other reader and writer, so the disc is never
// locked, and it is closed again before the call returns.
#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/scoped.h"

namespace discora {

namespace {

// IOCTL_CDROM_READ_TOC: CTL_CODE(IOCTL_CDROM_BASE, 0, METHOD_BUFFERED,
// FILE_READ_ACCESS). Every Windows from XP on answers it with MSF
// addresses (Vista added the _EX form, which this one still serves).
constexpr DWORD kIoctlCdromReadToc = 0x00024000;

// CDROM_TOC and its TRACK_DATA, as ntddcdrm.h lays them out.
struct TocTrack {
  UCHAR reserved;
  UCHAR controlAndAdr;  // Control in the low four bits: 0x4 marks data
  UCHAR trackNumber;
  UCHAR reserved1;
  UCHAR address[4];  // 0, minutes, seconds, frames
};
struct Toc {
  UCHAR length[2];  // big-endian, without these two bytes
  UCHAR firstTrack;
  UCHAR lastTrack;
  TocTrack tracks[100];
};
static_assert(sizeof(TocTrack) == 8 && sizeof(Toc) == 804, "CDROM_TOC's layout");

constexpr UCHAR kDataTrack = 0x4;
constexpr UCHAR kLeadOut = 0xAA;
// A disc's first sector (LBA 0) is at 00:02:00.
constexpr std::uint32_t kLeadInFrames = 150;

// The drive's device, for reading; INVALID_HANDLE_VALUE when it cannot be
// opened.
HANDLE OpenDrive(char drive) {
  char device[] = "\\\\.\\?:";
  device[4] = drive;
  return CreateFileA(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool Win32Platform::ReadDiscToc(char drive, std::vector<DiscTrack>* tracks) {
  tracks->clear();
  ScopedFile device(OpenDrive(drive));
  if (!device.Valid()) return false;
  Toc toc;
  std::memset(&toc, 0, sizeof toc);
  DWORD returned = 0;
  if (!DeviceIoControl(device.Get(), kIoctlCdromReadToc, nullptr, 0, &toc, sizeof toc, &returned,
                       nullptr)) {
    return false;
  }
  const std::size_t length = (std::size_t{toc.length[0]} << 8) | toc.length[1];
  // Only what the drive wrote, and never past the record.
  std::size_t count = length >= 2 ? (length - 2) / sizeof(TocTrack) : 0;
  if (returned >= 4) count = std::min<std::size_t>(count, (returned - 4) / sizeof(TocTrack));
  count = std::min<std::size_t>(count, 100);
  for (std::size_t i = 0; i < count; ++i) {
    const TocTrack& entry = toc.tracks[i];
    if (entry.trackNumber == kLeadOut) continue;
    const std::uint32_t frames =
        (std::uint32_t{entry.address[1]} * 60 + entry.address[2]) * 75 + entry.address[3];
    DiscTrack track;
    track.number = entry.trackNumber;
    track.data = (entry.controlAndAdr & kDataTrack) != 0;
    track.start = frames >= kLeadInFrames ? frames - kLeadInFrames : 0;
    tracks->push_back(track);
  }
  return !tracks->empty();
}

bool Win32Platform::ReadDiscSectors(char drive, std::uint32_t first, std::uint32_t count,
                                    std::string* bytes) {
  bytes->clear();
  if (count == 0) return false;
  ScopedFile device(OpenDrive(drive));
  if (!device.Valid()) return false;
  LARGE_INTEGER offset;
  offset.QuadPart = static_cast<LONGLONG>(first) * 2048;
  if (!SetFilePointerEx(device.Get(), offset, nullptr, FILE_BEGIN)) return false;
  // A device reads whole sectors into memory aligned as its sectors are:
  // the buffer starts on a page.
  constexpr std::size_t kPage = 4096;
  const std::size_t size = std::size_t{count} * 2048;
  std::vector<char> buffer(size + kPage);
  char* aligned = buffer.data() + (kPage - reinterpret_cast<std::uintptr_t>(buffer.data()) % kPage);
  DWORD read = 0;
  if (!ReadFile(device.Get(), aligned, static_cast<DWORD>(size), &read, nullptr) || read == 0) {
    return false;
  }
  bytes->assign(aligned, read - read % 2048);
  return !bytes->empty();
}

}  // namespace discora
