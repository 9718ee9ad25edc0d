// The main window on real Win32: its creation with the tray menu and the
// poll timer, its lifecycle from the first show to the one way out, and its
// window procedure, which turns messages into the form's handlers (timer
// ticks, tray callbacks, menu commands, control events and close requests).
// The program is built without C++ exceptions, so none can cross the window
// procedure.
#include "app/main_window.h"

#include <dbt.h>

#include "agent/form.h"
#include "app/window_text.h"
#include "config/layout.h"
#include "platform/win32/win32_platform.h"
#include "res/resource.h"
#include "res/version.h"
#include "tray/tray_menu.h"
#include "tray/tray_record.h"

namespace discora {

namespace {

constexpr UINT kTimer1Interval = 3000;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW;  // small caption, no taskbar button

UINT MenuId(MenuItem item) {
  const MenuItemSpec* entry = FindMenuItem(item);
  return entry != nullptr ? entry->id : 0;
}

// The screen's resolution in dots per inch: 96 normally, 120 with large
// fonts. The program is not aware of display scaling, so where Windows
// scales programs it answers 96 and Windows enlarges the window.
int ScreenDpi() {
  const ScopedScreenDC screen;
  return screen.Get() != nullptr ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : kDefaultDpi;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance), config_(instance) {}

MainWindow::~MainWindow() {
  form_ = nullptr;
  Destroy();
}

bool MainWindow::Create() {
  icon_ = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_DISCORA));
  smallIcon_.Reset(static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_DISCORA),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR)));
  WNDCLASSEXA windowClass;
  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = icon_;
  windowClass.hIconSm = smallIcon_.Get();
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = DISCORA_WINDOW_CLASS;
  if (!RegisterClassExA(&windowClass)) return false;

  // The layout and the font follow one factor, the screen's resolution.
  const int dpi = ScreenDpi();
  RECT frame = {0, 0, TwipsToPixels(kClientWidthTwips, dpi),
                TwipsToPixels(kClientHeightTwips, dpi)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  window_ = CreateWindowExA(kExStyle, DISCORA_WINDOW_CLASS, DISCORA_CAPTION, kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                            nullptr, nullptr, instance_, this);
  if (window_ == nullptr) return false;
  config_.Attach(window_, dpi);

  // The window menu of a fixed tool window offers only Move and Close.
  if (HMENU systemMenu = GetSystemMenu(window_, FALSE)) {
    for (UINT command : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) {
      DeleteMenu(systemMenu, command, MF_BYCOMMAND);
    }
  }

  menu_.Reset(CreatePopupMenu());
  for (const MenuItemSpec& entry : kTrayMenu) {
    if (entry.separator) {
      AppendMenuA(menu_.Get(), MF_SEPARATOR, entry.id, nullptr);
    } else {
      AppendMenuA(menu_.Get(), MF_STRING | (entry.checkedAtCreation ? MF_CHECKED : MF_UNCHECKED),
                  entry.id, entry.caption);
    }
  }

  taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");
  chooseEmulator_ = RegisterWindowMessageA(DISCORA_CHOOSE_EMULATOR_MESSAGE);
  // Run elevated, the window would not hear the announcement from the
  // shell, nor /emulator started from the Start menu, both of which run at
  // a lower integrity level.
  AllowMessageFromLowerIntegrity(window_, taskbarCreated_);
  AllowMessageFromLowerIntegrity(window_, chooseEmulator_);
  // The poll timer runs from the window's creation; start-up then sets it
  // from the "Enable Autorun" check mark.
  SetTimerEnabled(true);
  return true;
}

void MainWindow::MarkRunning() {
  SetPropA(window_, DISCORA_RUNNING_PROPERTY, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1)));
}

int MainWindow::RunMessageLoop() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    // The dialog manager gives the configuration controls Tab, Enter and Esc,
    // only while they can be seen: the hidden window is made the foreground
    // one for the tray menu, and keys typed then must not press OK.
    if (window_ != nullptr && IsWindowVisible(window_) && IsDialogMessageA(window_, &message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // Ended by a WM_QUIT another program posted, the window is still there.
  Destroy();
  return static_cast<int>(message.wParam);
}

WindowHandle MainWindow::Handle() const { return reinterpret_cast<WindowHandle>(window_); }

IconHandle MainWindow::Icon() const { return reinterpret_cast<IconHandle>(icon_); }

std::string MainWindow::Caption() const { return WindowText(window_); }

bool MainWindow::Checked(MenuItem item) const {
  const UINT state = GetMenuState(menu_.Get(), MenuId(item), MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

void MainWindow::SetChecked(MenuItem item, bool checked) {
  CheckMenuItem(menu_.Get(), MenuId(item), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

MenuItem MainWindow::PopupMenu(int x, int y) {
  // A tray menu closes when the user clicks elsewhere or presses Esc only
  // if its window is in the foreground while it tracks, and the message
  // posted after it lets the menu loop finish cleanly.
  SetForegroundWindow(window_);
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenu(menu_.Get(), TPM_LEFTALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, x,
                     y, 0, window_, nullptr));
  PostMessageA(window_, WM_NULL, 0, 0);
  return MenuItemFromId(chosen);
}

void MainWindow::SetTimerEnabled(bool enabled) {
  if (enabled) {
    // Enabling starts a full interval, as after a fresh start.
    SetTimer(window_, IDT_TIMER1, kTimer1Interval, nullptr);
  } else {
    KillTimer(window_, IDT_TIMER1);
  }
}

bool MainWindow::PostArrivalPoll() { return PostMessageA(window_, UM_ARRIVALPOLL, 0, 0) != FALSE; }

void MainWindow::TakeForeground() { SetForegroundWindow(window_); }

namespace {

// The first visible window of this thread that `owner` owns.
struct OwnedWindowSearch {
  HWND owner;
  HWND found;
  static BOOL CALLBACK Visit(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<OwnedWindowSearch*>(context);
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != search->owner) return TRUE;
    search->found = window;
    return FALSE;
  }
};

}  // namespace

void MainWindow::BringOwnedDialogToFront() {
  OwnedWindowSearch search{window_, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), &OwnedWindowSearch::Visit,
                    reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return;
  if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
  SetForegroundWindow(search.found);
}

void MainWindow::SetVisible(bool visible) {
  if (!visible) {
    ShowWindow(window_, SW_HIDE);
    return;
  }
  if (IsWindowVisible(window_)) return;
  config_.EnsureControls();
  if (!shownBefore_) {
    CenterOnScreen();
    shownBefore_ = true;
  }
  // The first ShowWindow of the process takes the show style its starter
  // asked for (a shortcut set to "Minimized", a launcher that hides it)
  // instead of ours: the window is shown normally whatever came first.
  ShowWindow(window_, SW_SHOWNORMAL);
  if (!IsWindowVisible(window_) || IsIconic(window_) || IsZoomed(window_)) {
    ShowWindow(window_, SW_SHOWNORMAL);
  }
  SetForegroundWindow(window_);
  config_.FocusAfterShow();
}

void MainWindow::CenterOnScreen() {
  RECT frame;
  if (!GetWindowRect(window_, &frame)) return;
  RECT work;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
    work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Unload() { RequestClose(kUnloadFromCode); }

// The form decides every close request by its reason: one from the window
// itself (the close box, the window menu's Close, Alt+F4) only hides it; the
// exit command, another program's close request and the end of the session
// unload it.
void MainWindow::RequestClose(int reason) {
  // The session ends once: a window unloaded for it is not asked again.
  if (reason == kUnloadAppWindows && unloaded_) return;
  if (form_ != nullptr && form_->Form_QueryUnload(reason)) return;  // hidden instead
  if (reason == kUnloadAppWindows) {
    // Windows ends the program once every window has answered: the window
    // stays until then, unloaded.
    RunUnloadHandler();
    return;
  }
  Destroy();
}

void MainWindow::RunUnloadHandler() {
  if (unloaded_ || form_ == nullptr) return;
  unloaded_ = true;
  form_->Form_Unload();
}

void MainWindow::Destroy() {
  if (window_ != nullptr) DestroyWindow(window_);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MainWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    self = static_cast<MainWindow*>(create->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  } else {
    self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  }
  if (message == WM_NCDESTROY && self != nullptr) {
    // The last message the window gets: forget it.
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    self->config_.Detach();
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (self == nullptr || self->form_ == nullptr) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    form_->Form_TaskbarCreated();
    return 0;
  }
  if (message == chooseEmulator_ && chooseEmulator_ != 0) {
    form_->Form_ChooseEmulator();
    return 0;
  }
  switch (message) {
    case WM_TIMER:
      if (wParam == IDT_TIMER1) form_->Timer1_Timer();
      return 0;

    case WM_MOUSEMOVE:
      // Tray callbacks arrive as mouse moves whose lParam carries the mouse
      // message that occurred over the icon.
      form_->Form_MouseMove(LOWORD(lParam));
      return 0;

    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return 0;

    // Windows sends it to every window in turn and waits for each answer:
    // answered at once, the poll it may ask for comes from the queue.
    case WM_DEVICECHANGE: OnDeviceChange(wParam, lParam); return TRUE;

    case UM_ARRIVALPOLL: form_->Form_ArrivalPoll(); return 0;

    case WM_CTLCOLORSTATIC:
      return config_.StaticColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));

    case DM_GETDEFID: return MAKELRESULT(config_.DefaultButtonId(), DC_HASDEFID);

    case WM_ACTIVATE: config_.OnActivate(LOWORD(wParam) != WA_INACTIVE); return 0;

    case WM_SYSCOMMAND:
      // Close box, window menu Close and Alt+F4 all arrive here.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        RequestClose(kUnloadFromControlMenu);
        return 0;
      }
      break;

    // A close request that did not come from the window itself, such as
    // the task manager's.
    case WM_CLOSE: RequestClose(kUnloadTaskManager); return 0;

    case WM_QUERYENDSESSION: return TRUE;

    case WM_ENDSESSION:
      if (wParam) RequestClose(kUnloadAppWindows);
      return 0;

    case WM_DESTROY:
      RemovePropA(window_, DISCORA_RUNNING_PROPERTY);
      RunUnloadHandler();
      KillTimer(window_, IDT_TIMER1);
      PostQuitMessage(0);
      return 0;

    default: break;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
}

void MainWindow::OnCommand(WORD id, WORD code) {
  config_.OnControlFocus(id, code);
  if (id == IDOK || id == IDCANCEL) {
    if (code == BN_CLICKED || code == 0) form_->btnOK_Click();
    return;
  }
  if (const int row = BrowseButtonRow(id); row >= 0) {
    if (code == BN_CLICKED) form_->btnBrowse_Click(row);
    return;
  }
  if (const int row = PathFieldRow(id); row >= 0) {
    if (code == EN_SETFOCUS) form_->txtPath_GotFocus(row);
    return;
  }
  if (id == IDC_LBLCREDITS) {
    if (code == STN_CLICKED) form_->lblCredits_Click();
    return;
  }
  // Sent by the program itself started with /emulator, this one or another.
  if (id == IDM_EMULATOR) {
    if (code == 0) form_->Form_ChooseEmulator();
    return;
  }
  // The window's own menu commands, also when another program sends them.
  const MenuItem item = MenuItemFromId(id);
  if (code == 0 && item != MenuItem::None) form_->RunMenuCommand(item);
}

void MainWindow::OnDeviceChange(WPARAM event, LPARAM data) {
  if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || data == 0) return;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (header->dbch_devicetype != DBT_DEVTYP_VOLUME ||
      header->dbch_size < sizeof(DEV_BROADCAST_VOLUME)) {
    return;
  }
  const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(data);
  // A disc taken out or a drive gone, media flag or not.
  if (event == DBT_DEVICEREMOVECOMPLETE) {
    form_->Form_DeviceRemoval(volume->dbcv_unitmask);
    return;
  }
  form_->Form_DeviceArrival(volume->dbcv_unitmask, (volume->dbcv_flags & DBTF_MEDIA) != 0);
}

}  // namespace discora
