/* Resource identifiers shared by the resource script and the code. */
#ifndef DISCORA_RESOURCE_H
#define DISCORA_RESOURCE_H

/* The program's icon: the main window's icon, the tray icon and the
   file icon (the lowest icon id, so Explorer shows it for the .exe). */
#define IDI_DISCORA 1

#endif
