/* planted.dll: a library that must never be loaded. The hardening tests
 * copy it into the agent's folder under the names of libraries the agent
 * uses (winmm.dll, the MCI driver mcitest.dll), where a program that
 * searches its own folder first would pick it up instead of the system's.
 * Loaded anywhere, it writes one line to C:\discora-test\planted.log naming
 * its own file and the program that loaded it, and every call of its
 * exports logs too and fails. */
/* The real prototypes of what it exports are not wanted here. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>

#include "testlog.h"

#define PLANTED_LOG "C:\\discora-test\\planted.log"

static HINSTANCE g_self;

static void log_event(const char* event) {
  char module[MAX_PATH] = {0}, program[MAX_PATH] = {0}, line[3 * MAX_PATH];
  GetModuleFileNameA(g_self, module, sizeof module);
  GetModuleFileNameA(NULL, program, sizeof program);
  int len = snprintf(line, sizeof line, "event=%s\tmodule=%s\tprogram=%s\tpid=%lu\n", event, module,
                     program, (unsigned long)GetCurrentProcessId());
  if (len > 0 && len < (int)sizeof line) append_line(PLANTED_LOG, line, (DWORD)len);
}

/* As the MCI driver: refuses to load. */
LRESULT CALLBACK DriverProc(DWORD_PTR id, HANDLE driver, UINT msg, LPARAM p1, LPARAM p2) {
  (void)id, (void)driver, (void)p1, (void)p2;
  if (msg == 1 /* DRV_LOAD */) log_event("DriverProc");
  return 0;
}

/* As winmm: every command fails (MCIERR_CANNOT_LOAD_DRIVER). */
DWORD WINAPI mciSendStringA(LPCSTR command, LPSTR reply, UINT length, HWND callback) {
  (void)command, (void)callback;
  log_event("mciSendStringA");
  if (reply && length) reply[0] = '\0';
  return 266;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    g_self = instance;
    DisableThreadLibraryCalls(instance);
    log_event("loaded");
  }
  return TRUE;
}
