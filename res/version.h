/* The program's identity, read by the code, by the resource script and by
   the build (CMakeLists.txt reads the version from here, and the packages'
   names, the installer and the manifests follow it). */
#ifndef DISCORA_VERSION_H
#define DISCORA_VERSION_H

/* The version: the one place it is written. */
#define DISCORA_VERSION_MAJOR 1
#define DISCORA_VERSION_MINOR 1
#define DISCORA_VERSION_PATCH 0

#define DISCORA_STRINGIZE_(x) #x
#define DISCORA_STRINGIZE(x) DISCORA_STRINGIZE_(x)
/* The version record's text: major, a point, minor and patch ("1.00" was
   1.0.0, "1.10" is 1.1.0). */
#define DISCORA_VERSION_TEXT               \
  DISCORA_STRINGIZE(DISCORA_VERSION_MAJOR) \
  "." DISCORA_STRINGIZE(DISCORA_VERSION_MINOR) DISCORA_STRINGIZE(DISCORA_VERSION_PATCH)
#define DISCORA_VERSION_QUAD DISCORA_VERSION_MAJOR, DISCORA_VERSION_MINOR, DISCORA_VERSION_PATCH, 0

#define DISCORA_TITLE "Discora"
/* The window's caption: the title and the major and minor version. */
#define DISCORA_CAPTION \
  DISCORA_TITLE         \
  " " DISCORA_STRINGIZE(DISCORA_VERSION_MAJOR) "." DISCORA_STRINGIZE(DISCORA_VERSION_MINOR)
#define DISCORA_PRODUCT_NAME "DiscoraNotify"
#define DISCORA_AUTHOR "the Discora developers"
#define DISCORA_COMPANY "The Discora developers"
#define DISCORA_COPYRIGHT "Copyright (C) 2026 the Discora developers"
#define DISCORA_TRADEMARK "Discora is a name of the Discora developers"
#define DISCORA_HOMEPAGE "https://discora.example.org/"
/* Follows the window caption in the tray tooltip. */
#define DISCORA_TIP_CREDIT " - by the Discora developers"
/* The clickable credits line of the configuration window. */
#define DISCORA_CREDITS "Discora by the Discora developers"

#endif
