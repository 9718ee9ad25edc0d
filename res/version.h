/* The program's identity, read by the code and by the resource script. */
#ifndef DISCORA_VERSION_H
#define DISCORA_VERSION_H

#define DISCORA_VERSION_MAJOR 1
#define DISCORA_VERSION_MINOR 0
#define DISCORA_VERSION_TEXT "1.00"
#define DISCORA_VERSION_QUAD 1, 0, 0, 0

#define DISCORA_TITLE "Discora"
#define DISCORA_CAPTION "Discora 1.0"
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
