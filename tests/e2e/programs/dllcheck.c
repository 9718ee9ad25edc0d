/* dllcheck.exe: shows which copies of the multimedia library and of the MCI
 * driver a program in some folder gets from Wine, so the tests can tell
 * whether a library planted in a program's folder would be loaded at all.
 *
 *   dllcheck [--harden] DRIVE
 *
 * Without --harden it does what an unprotected program does: it loads
 * "winmm.dll" by name and opens the cdaudio device of DRIVE through the
 * system's winmm, which loads the MCI driver by the name the registry gives.
 * With --harden it first restricts the library search to the system folder
 * (SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), SetDllDirectory("")).
 * It prints the file of each library as loaded: winmm_by_name=, driver=. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

typedef DWORD(WINAPI* MciSendString)(LPCSTR, LPSTR, UINT, HWND);
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);

static void module_file(HMODULE module, char* out, DWORD size) {
  out[0] = '\0';
  if (module) GetModuleFileNameA(module, out, size);
}

int main(int argc, char** argv) {
  int i = 1;
  BOOL harden = FALSE;
  if (i < argc && !strcmp(argv[i], "--harden")) harden = TRUE, ++i;
  if (i >= argc) {
    fputs("usage: dllcheck [--harden] DRIVE\n", stderr);
    return 2;
  }
  if (harden) {
    SetDefaultDllDirectoriesFn set = (SetDefaultDllDirectoriesFn)(void (*)(void))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (!set || !set(0x00000800)) return 2;
    SetDllDirectoryA("");
  }
  char by_name[MAX_PATH], driver[MAX_PATH], system[MAX_PATH], command[64], reply[64];
  module_file(LoadLibraryA("winmm.dll"), by_name, sizeof by_name);

  GetSystemDirectoryA(system, sizeof system);
  lstrcatA(system, "\\winmm.dll");
  HMODULE winmm = LoadLibraryA(system);
  MciSendString send =
      winmm ? (MciSendString)(void (*)(void))GetProcAddress(winmm, "mciSendStringA") : NULL;
  DWORD rc = (DWORD)-1;
  if (send) {
    snprintf(command, sizeof command, "open %s type cdaudio alias dllcheck wait", argv[i]);
    rc = send(command, reply, sizeof reply, NULL);
  }
  module_file(GetModuleHandleA("mcitest.dll"), driver, sizeof driver);
  if (send) send("close dllcheck", reply, sizeof reply, NULL);
  printf("winmm_by_name=%s\tdriver=%s\topen_rc=%lu\n", by_name, driver, (unsigned long)rc);
  return 0;
}
