/* Appending one line to a log file that several processes of the prefix
 * write at once (the stand-ins, the MCI driver inside the agent and inside
 * probe.exe). Wine does not make FILE_APPEND_DATA writes of different
 * processes atomic: two lines written at the same moment can land at the same
 * offset, and one is lost. A named mutex, shared by every writer in the
 * prefix, makes "seek to the end and write" one step. */
#ifndef DISCORA_TEST_LOG_H
#define DISCORA_TEST_LOG_H

#include <windows.h>

static void append_line(const char* path, const char* line, DWORD length) {
  HANDLE lock = CreateMutexA(NULL, FALSE, "DiscoraTestLogWrite");
  /* An abandoned mutex (a writer that died) still hands over the lock;
   * the bound keeps a stuck writer from stopping every other one. */
  DWORD waited = lock ? WaitForSingleObject(lock, 10000) : WAIT_FAILED;
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written;
    SetFilePointer(file, 0, NULL, FILE_END);
    WriteFile(file, line, length, &written, NULL);
    CloseHandle(file);
  }
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(lock);
  if (lock) CloseHandle(lock);
}

#endif
