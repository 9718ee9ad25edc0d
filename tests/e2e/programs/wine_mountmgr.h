/* Wine's own request to its mount manager (ddk/mountmgr.h, with
 * WINE_MOUNTMGR_EXTENSIONS), the one winecfg sends: a record with a mount
 * point defines the drive, one without removes it. Either way the mount
 * manager updates the drive's link in dosdevices and its type. Shared by the
 * test probe and the benchmark's helper, which plug drives in and out as a
 * USB drive or a mounted disc image comes and goes. */
#ifndef DISCORA_WINE_MOUNTMGR_H
#define DISCORA_WINE_MOUNTMGR_H

#include <windows.h>

#include <string.h>

#define MOUNTMGR_DEVICE_PATH "\\\\.\\MountPointManager"
#define IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE \
  CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS)
typedef struct {
  ULONG size;
  ULONG type;
  ULONG fs_type;
  DWORD serial;
  ULONGLONG unix_dev;
  WCHAR letter;
  USHORT mount_point_offset;
  USHORT device_offset;
  USHORT label_offset;
} UnixDrive;

/* Makes `letter` a drive of `type` behind the Unix folder `mount_point`, or
 * removes it when `mount_point` is NULL. 0 on success, else the error. */
static DWORD define_unix_drive(char letter, UINT type, const char* mount_point) {
  char buffer[sizeof(UnixDrive) + MAX_PATH];
  UnixDrive* drive = (UnixDrive*)buffer;
  size_t length = mount_point ? strlen(mount_point) + 1 : 0;
  if (length > MAX_PATH) return ERROR_BAD_PATHNAME;
  ZeroMemory(buffer, sizeof buffer);
  drive->size = (ULONG)(sizeof *drive + length);
  drive->type = type;
  drive->letter = (WCHAR)(letter | 0x20);
  if (mount_point) {
    memcpy(buffer + sizeof *drive, mount_point, length);
    drive->mount_point_offset = sizeof *drive;
  }
  HANDLE manager = CreateFileA(MOUNTMGR_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  if (manager == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD returned = 0;
  BOOL done = DeviceIoControl(manager, IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE, drive, drive->size, NULL,
                              0, &returned, NULL);
  DWORD error = done ? 0 : GetLastError();
  CloseHandle(manager);
  return error;
}

#endif
