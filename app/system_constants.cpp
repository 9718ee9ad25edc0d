// The logic names the system's values and records by its own constants, so
// that it builds without windows.h. Here each is checked against windows.h
// for the architecture being built: a constant that drifts from the system
// stops the build, on x86 and on x64 alike.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include "config/open_dialog.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "res/resource.h"
#include "tray/tray_notice.h"
#include "tray/tray_record.h"

namespace discora {

// Registry, files, drives, programs.
static_assert(kRegSz == REG_SZ && kRegExpandSz == REG_EXPAND_SZ && kRegBinary == REG_BINARY &&
                  kRegDword == REG_DWORD,
              "registry value types");
static_assert(kErrorSuccess == ERROR_SUCCESS && kErrorFileNotFound == ERROR_FILE_NOT_FOUND &&
                  kErrorAccessDenied == ERROR_ACCESS_DENIED && kErrorMoreData == ERROR_MORE_DATA,
              "error codes");
static_assert(kErrorNoMoreItems == ERROR_NO_MORE_ITEMS, "end of an enumeration");
static_assert(kDriveCdrom == DRIVE_CDROM, "drive type");
static_assert(kShowNormal == SW_SHOWNORMAL && kShowMinimized == SW_SHOWMINIMIZED, "show styles");
static_assert(kVkShift == VK_SHIFT, "virtual key");

// Message boxes.
static_assert(kMbOk == MB_OK && kMbYesNo == MB_YESNO && kMbIconQuestion == MB_ICONQUESTION &&
                  kMbIconExclamation == MB_ICONEXCLAMATION &&
                  kMbIconInformation == MB_ICONINFORMATION && kMbDefButton2 == MB_DEFBUTTON2 &&
                  kMbTaskModal == MB_TASKMODAL && kIdYes == IDYES,
              "message box flags");

// The tray icon: operations, flags, callback and the record's first form.
static_assert(kNimAdd == NIM_ADD && kNimModify == NIM_MODIFY && kNimDelete == NIM_DELETE &&
                  kNimSetFocus == NIM_SETFOCUS,
              "Shell_NotifyIcon operations");
static_assert(kTrayFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP), "tray record flags");
static_assert(kTrayCallbackMessage == WM_MOUSEMOVE, "tray callback message");
static_assert(kTrayDoubleClick == WM_LBUTTONDBLCLK && kTrayRightButtonUp == WM_RBUTTONUP,
              "tray callback codes");
static_assert(sizeof(NOTIFYICONDATAA{}.szTip) >= sizeof(TrayRecord{}.szTip), "tip field");
static_assert(sizeof(NOTIFYICONDATAA{}.szInfo) == sizeof(TrayNotice{}.szInfo) &&
                  sizeof(NOTIFYICONDATAA{}.szInfoTitle) == sizeof(TrayNotice{}.szInfoTitle),
              "balloon fields");
static_assert(kNoticeInfoIcon == NIIF_INFO, "balloon icon");
static_assert(kTrayBalloonClick == NIN_BALLOONUSERCLICK, "a click on the balloon");
static_assert(kNotifyIconNoticeSize == NOTIFYICONDATAA_V2_SIZE, "the balloon's record");

// The open-file dialog: flags and the record's first form.
static_assert(kOpenFileFlags == (OFN_FILEMUSTEXIST | OFN_HIDEREADONLY), "open-file flags");

// The records' first forms as the platform hands them to the system: the
// sizes the logic keeps on x86, the 64-bit layout's on x64.
#if defined(_WIN64)
static_assert(kNotifyIconFirstFormSize == 104, "the tray record's first form on x64");
static_assert(kNotifyIconNoticeSize == 504, "the balloon's record on x64");
static_assert(kOpenFileNameFirstFormSize == 136, "the open-file record's first form on x64");
#else
static_assert(kNotifyIconFirstFormSize == kTrayRecordSize, "the tray record's first form");
static_assert(kNotifyIconNoticeSize == 488, "the balloon's record");
static_assert(kOpenFileNameFirstFormSize == kOpenFileRecordSize,
              "the open-file record's first form");
#endif

// The main window.
static_assert(IDC_BTNOK == IDOK, "Enter presses OK through the dialog manager");
static_assert(UM_ARRIVALPOLL == WM_APP, "the window's own messages start at WM_APP");

}  // namespace discora
