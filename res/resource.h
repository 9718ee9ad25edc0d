/* Identifiers of Discora's resources and of its main window: the icon, the
   window class, the tray menu's commands, the configuration window's
   controls, the timer and the window's own messages. The resource script,
   the program, the host tests and the end-to-end test programs all take them
   from here. */
#ifndef DISCORA_RESOURCE_H
#define DISCORA_RESOURCE_H

/* The program's icon: the main window's icon, the tray icon and the
   file icon (the lowest icon id, so Explorer shows it for the .exe). */
#define IDI_DISCORA 1

/* The main window's class; another program finds the agent by it. */
#define DISCORA_WINDOW_CLASS "DiscoraNotifyForm"

/* Tray menu commands, one per item in display order (mnuAutorun .. mnuExit),
   separators included. */
#define IDM_AUTORUN 101
#define IDM_START 102
#define IDM_HIDE 103
#define IDM_SEP 104
#define IDM_UTILITY 105
#define IDM_CONFIG 106
#define IDM_SEP1 107
#define IDM_ABOUT 108
#define IDM_SEP2 109
#define IDM_EXIT 110

/* Not in the menu: opens the dialog that chooses the emulator, sent by the
   program itself when started with /emulator (to the running one, when one
   runs). Posted as the registered message named here, which the window lets
   through from a process of lower integrity level (an elevated Discora hears
   a normal /emulator); a WM_COMMAND with the id is taken too. */
#define IDM_EMULATOR 120
#define DISCORA_CHOOSE_EMULATOR_MESSAGE "Discora.ChooseEmulator"

/* A property the main window carries once the agent runs: a window of the
   class without it belongs to a Discora that is still starting, or about to
   end because another one runs. */
#define DISCORA_RUNNING_PROPERTY "Discora.Running"

/* Configuration window controls; the three rows are consecutive ids. btnOK
   is IDOK, so the dialog manager presses it for Enter; Esc arrives as
   IDCANCEL and does the same. */
#define IDC_TXTPATH0 201   /* 201..203 */
#define IDC_BTNBROWSE0 211 /* 211..213 */
#define IDC_LBLPATH0 221   /* 221..223 */
#define IDC_LBLCREDITS 230
#define IDC_BTNOK 1

/* The main window's timers. */
#define IDT_TIMER1 1 /* the 3000 ms disc poll */

/* The main window's own messages, from WM_APP (0x8000) up, written as plain
   decimal numbers for every reader of this file. */
#define UM_ARRIVALPOLL 32768 /* WM_APP: the poll a volume arrival asked for */

#endif
