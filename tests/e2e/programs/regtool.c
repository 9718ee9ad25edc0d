/* regtool.exe: reads and writes registry keys of the Wine prefix exactly,
 * byte for byte, for the hardening tests: values of any type, names and
 * texts with characters outside ASCII, and keys whose access rights deny
 * reading or writing.
 *
 * Names and data are given and printed as hexadecimal bytes, so nothing is
 * lost to a code page: a name is its UTF-16LE bytes, data is the raw bytes
 * the registry holds (UTF-16LE with its terminator for REG_SZ written this
 * way). Keys are written "HKCU\Software\...", "HKLM\..." or "HKCR\...".
 *
 *   regtool dump  KEY                      one line per value:
 *                                          name=<hex> type=<n> data=<hex>
 *                                          exit code 1 when the key cannot
 *                                          be opened for reading
 *   regtool set   KEY NAMEHEX TYPE DATAHEX  create the key when needed
 *   regtool open  KEY ACCESS               prints rc=<RegOpenKeyEx result>
 *   regtool deny  KEY MASK                 the key's access list becomes:
 *                                          deny MASK to everyone, then allow
 *                                          everything else to everyone
 *   regtool allow KEY                      allow everything to everyone
 *
 * The exit code is 0 on success, 1 when the operation was refused, 2 on a
 * usage error. */
#include <windows.h>

#include <aclapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void usage(void) {
  fputs("usage: regtool dump|set|open|deny|allow KEY ...\n", stderr);
  exit(2);
}

static HKEY split_root(const char* path, const char** sub) {
  const char* slash = strchr(path, '\\');
  size_t n = slash ? (size_t)(slash - path) : strlen(path);
  *sub = slash ? slash + 1 : "";
  if (n == 4 && !_strnicmp(path, "HKCU", 4)) return HKEY_CURRENT_USER;
  if (n == 4 && !_strnicmp(path, "HKLM", 4)) return HKEY_LOCAL_MACHINE;
  if (n == 4 && !_strnicmp(path, "HKCR", 4)) return HKEY_CLASSES_ROOT;
  usage();
  return NULL;
}

static int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Decodes `hex` into a new buffer; *size gets the byte count. Two extra
 * zero bytes after the data let a name be used as a wide string. */
static BYTE* from_hex(const char* hex, DWORD* size) {
  size_t n = strlen(hex);
  if (n % 2) usage();
  BYTE* bytes = calloc(n / 2 + 2, 1);
  if (!bytes) exit(2);
  for (size_t i = 0; i < n / 2; ++i) {
    int hi = hex_value(hex[2 * i]), lo = hex_value(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) usage();
    bytes[i] = (BYTE)(hi * 16 + lo);
  }
  *size = (DWORD)(n / 2);
  return bytes;
}

static void print_hex(const BYTE* bytes, DWORD size) {
  for (DWORD i = 0; i < size; ++i) printf("%02x", bytes[i]);
}

static int cmd_dump(HKEY root, const char* sub) {
  HKEY key;
  LONG rc = RegOpenKeyExA(root, sub, 0, KEY_QUERY_VALUE, &key);
  if (rc != ERROR_SUCCESS) {
    printf("rc=%ld\n", rc);
    return 1;
  }
  static WCHAR name[32768];
  static BYTE data[1 << 20];
  for (DWORD index = 0;; ++index) {
    DWORD name_len = sizeof name / sizeof name[0];
    DWORD size = sizeof data;
    DWORD type = 0;
    rc = RegEnumValueW(key, index, name, &name_len, NULL, &type, data, &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) {
      printf("rc=%ld\n", rc);
      RegCloseKey(key);
      return 1;
    }
    fputs("name=", stdout);
    print_hex((const BYTE*)name, name_len * sizeof(WCHAR));
    printf("\ttype=%lu\tdata=", (unsigned long)type);
    print_hex(data, size);
    fputc('\n', stdout);
  }
  RegCloseKey(key);
  return 0;
}

static int cmd_set(HKEY root, const char* sub, const char* name_hex, const char* type_text,
                   const char* data_hex) {
  DWORD name_size, data_size;
  BYTE* name = from_hex(name_hex, &name_size);
  BYTE* data = from_hex(data_hex, &data_size);
  HKEY key;
  LONG rc = RegCreateKeyExA(root, sub, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueExW(key, (const WCHAR*)name, 0, strtoul(type_text, NULL, 0), data, data_size);
    RegCloseKey(key);
  }
  printf("rc=%ld\n", rc);
  return rc == ERROR_SUCCESS ? 0 : 1;
}

static int cmd_open(HKEY root, const char* sub, const char* access) {
  HKEY key;
  LONG rc = RegOpenKeyExA(root, sub, 0, strtoul(access, NULL, 0), &key);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
  printf("rc=%ld\n", rc);
  return rc == ERROR_SUCCESS ? 0 : 1;
}

/* Replaces the key's access list; WRITE_DAC is never denied, so the list
 * can always be put back. */
static int set_access(HKEY root, const char* sub, DWORD deny_mask) {
  HKEY key;
  LONG rc = RegOpenKeyExA(root, sub, 0, WRITE_DAC, &key);
  if (rc != ERROR_SUCCESS) {
    printf("rc=%ld\n", rc);
    return 1;
  }
  SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
  PSID everyone = NULL;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  DWORD acl_size = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(everyone));
  ACL* acl = calloc(1, acl_size);
  InitializeAcl(acl, acl_size, ACL_REVISION);
  deny_mask &= ~(DWORD)(WRITE_DAC | READ_CONTROL);
  if (deny_mask) AddAccessDeniedAce(acl, ACL_REVISION, deny_mask, everyone);
  AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
  rc = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
  RegCloseKey(key);
  FreeSid(everyone);
  free(acl);
  printf("rc=%ld\n", rc);
  return rc == ERROR_SUCCESS ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc < 3) usage();
  setvbuf(stdout, NULL, _IOFBF, 1 << 16);
  const char* sub;
  HKEY root = split_root(argv[2], &sub);
  const char* cmd = argv[1];
  int rc;
  if (!strcmp(cmd, "dump"))
    rc = cmd_dump(root, sub);
  else if (!strcmp(cmd, "set") && argc == 6)
    rc = cmd_set(root, sub, argv[3], argv[4], argv[5]);
  else if (!strcmp(cmd, "open") && argc == 4)
    rc = cmd_open(root, sub, argv[3]);
  else if (!strcmp(cmd, "deny") && argc == 4)
    rc = set_access(root, sub, strtoul(argv[3], NULL, 0));
  else if (!strcmp(cmd, "allow"))
    rc = set_access(root, sub, 0);
  else
    usage();
  fflush(stdout);
  return rc;
}
