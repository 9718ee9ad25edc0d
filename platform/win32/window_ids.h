// Identifiers of the main window's class, menu items and controls. Test
// programs of the project use them too, to find and drive the window.
#ifndef DISCORA_WINDOW_IDS_H
#define DISCORA_WINDOW_IDS_H

#define DISCORA_WINDOW_CLASS "DiscoraNotifyForm"

/* Tray menu items: 101 + position in the menu (mnuAutorun .. mnuExit). */
#define IDM_AUTORUN 101
#define IDM_START 102
#define IDM_HIDE 103
#define IDM_UTILITY 105
#define IDM_CONFIG 106
#define IDM_ABOUT 108
#define IDM_EXIT 110

/* Configuration window controls. btnOK is IDOK so Enter and the dialog
   manager find it; Esc arrives as IDCANCEL and does the same. */
#define IDC_TXTPATH0 201 /* 201..203 */
#define IDC_BTNBROWSE0 211 /* 211..213 */
#define IDC_LBLPATH0 221 /* 221..223 */
#define IDC_LBLCREDITS 230
#define IDC_BTNOK 1

#endif
