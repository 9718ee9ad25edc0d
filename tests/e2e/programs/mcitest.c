/* A "cdaudio" MCI driver for the end-to-end tests. Wine's own cdaudio driver
 * says a disc is present for any folder behind a CD-ROM drive letter, so it
 * cannot show a disc being taken out; this one answers "media present" from
 * what the test has put behind the drive letter, and lets the test make the
 * device misbehave. winmm loads it when the prefix names it under
 * HKLM\Software\Microsoft\Windows NT\CurrentVersion\MCI, value "cdaudio", so
 * the agent's own command strings run unchanged through winmm's parser.
 *
 * Control folder C:\discora-test\mci\ (read at every command, so a test can
 * change the behaviour while the agent runs):
 *   fail-open    the open fails
 *   fail-status  the status query fails with an MCI error
 *   delay-ms     the status query first sleeps this many milliseconds
 *   log.txt      written by the driver: one line per command, so a test can
 *                count the agent's polls
 * A disc is present when the drive's root (the element named at open, such
 * as "D:") holds at least one entry: an empty folder is an empty drive. A
 * drive letter that names no drive at all (a drive unplugged) fails the
 * open, as a real drive's open does; the status query then fails in winmm,
 * which has no device of that alias open. */
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "testlog.h"

#define CONTROL_DIR "C:\\discora-test\\mci\\"

/* One open device: the drive its element named. */
typedef struct {
  char element[MAX_PATH];
} Device;

static BOOL control_file_exists(const char* name) {
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s%s", CONTROL_DIR, name);
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static DWORD control_number(const char* name) {
  char path[MAX_PATH];
  char text[32] = {0};
  snprintf(path, sizeof path, "%s%s", CONTROL_DIR, name);
  FILE* f = fopen(path, "rb");
  if (!f) return 0;
  size_t n = fread(text, 1, sizeof text - 1, f);
  fclose(f);
  text[n] = '\0';
  return (DWORD)strtoul(text, NULL, 10);
}

/* One line per command: the tick count, the process, the command, then
 * details, tab-separated. */
static void log_line(const char* fmt, ...) {
  char line[512];
  int len = snprintf(line, sizeof line, "%lu\t%lu\t", (unsigned long)GetTickCount(),
                     (unsigned long)GetCurrentProcessId());
  va_list args;
  va_start(args, fmt);
  len += vsnprintf(line + len, sizeof line - len - 2, fmt, args);
  va_end(args);
  if (len > (int)sizeof line - 2) len = sizeof line - 2;
  line[len++] = '\n';
  append_line(CONTROL_DIR "log.txt", line, (DWORD)len);
}

static BOOL drive_has_entries(const char* element) {
  char pattern[MAX_PATH + 4];
  size_t n = strlen(element);
  snprintf(pattern, sizeof pattern, "%s%s*", element,
           (n > 0 && element[n - 1] == '\\') ? "" : "\\");
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return FALSE;
  BOOL found = FALSE;
  do {
    if (strcmp(data.cFileName, ".") != 0 && strcmp(data.cFileName, "..") != 0) found = TRUE;
  } while (!found && FindNextFileA(find, &data));
  FindClose(find);
  return found;
}

static BOOL drive_exists(const char* element) {
  char root[MAX_PATH + 2];
  size_t n = strlen(element);
  snprintf(root, sizeof root, "%s%s", element, (n > 0 && element[n - 1] == '\\') ? "" : "\\");
  return GetDriveTypeA(root) > DRIVE_NO_ROOT_DIR;
}

static LRESULT open_device(Device* dev, DWORD flags, MCI_OPEN_PARMSW* parms) {
  dev->element[0] = '\0';
  if ((flags & MCI_OPEN_ELEMENT) && parms && parms->lpstrElementName) {
    WideCharToMultiByte(CP_ACP, 0, parms->lpstrElementName, -1, dev->element, sizeof dev->element,
                        NULL, NULL);
    /* winmm lower-cases the command string; the log names drives as
     * people write them. */
    CharUpperA(dev->element);
  }
  if (control_file_exists("fail-open")) {
    log_line("open %s\tfailed", dev->element);
    return MCIERR_DEVICE_NOT_READY;
  }
  if (dev->element[0] && !drive_exists(dev->element)) {
    log_line("open %s\tfailed\tno drive", dev->element);
    return MCIERR_INVALID_DEVICE_NAME;
  }
  log_line("open %s", dev->element);
  return 0;
}

static LRESULT status(Device* dev, DWORD flags, MCI_STATUS_PARMS* parms) {
  DWORD delay = control_number("delay-ms");
  if (delay) Sleep(delay);
  if (control_file_exists("fail-status")) {
    log_line("status\tfailed");
    return MCIERR_HARDWARE;
  }
  if (!parms || !(flags & MCI_STATUS_ITEM) || parms->dwItem != MCI_STATUS_MEDIA_PRESENT) {
    log_line("status\tunsupported");
    return MCIERR_UNSUPPORTED_FUNCTION;
  }
  BOOL present = drive_has_entries(dev->element);
  log_line("status\t%s", present ? "true" : "false");
  parms->dwReturn = present ? MAKEMCIRESOURCE(TRUE, MCI_TRUE) : MAKEMCIRESOURCE(FALSE, MCI_FALSE);
  return MCI_RESOURCE_RETURNED;
}

LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM p1, LPARAM p2) {
  Device* dev = (Device*)id;
  switch (msg) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE: return 1;
    case DRV_OPEN: {
      /* winmm hands over the open record here and expects the type and
       * command table back: the standard cdaudio table parses the strings. */
      MCI_OPEN_DRIVER_PARMS* modp = (MCI_OPEN_DRIVER_PARMS*)p2;
      if (!modp) return 1; /* opened as a plain driver, not by MCI */
      modp->wType = MCI_DEVTYPE_CD_AUDIO;
      modp->wCustomCommandTable = MCI_NO_COMMAND_TABLE;
      Device* d = (Device*)calloc(1, sizeof *d);
      return d ? (LRESULT)d : 0;
    }
    case DRV_CLOSE: free(dev); return 1;
    case DRV_QUERYCONFIGURE: return 0;
    case DRV_CONFIGURE:
    case DRV_INSTALL:
    case DRV_REMOVE: return DRVCNF_OK;
  }
  if (!dev) return DefDriverProc(id, driver, msg, p1, p2);
  switch (msg) {
    case MCI_OPEN_DRIVER: return open_device(dev, (DWORD)p1, (MCI_OPEN_PARMSW*)p2);
    case MCI_CLOSE_DRIVER:
    case MCI_CLOSE: log_line("close"); return 0;
    case MCI_STATUS: return status(dev, (DWORD)p1, (MCI_STATUS_PARMS*)p2);
    default:
      if (msg >= DRV_MCI_FIRST && msg <= DRV_MCI_LAST) {
        log_line("command 0x%04x\tunsupported", msg);
        return MCIERR_UNRECOGNIZED_COMMAND;
      }
      return DefDriverProc(id, driver, msg, p1, p2);
  }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
