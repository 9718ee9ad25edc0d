// The main window on real Win32. It is created hidden and shown only as the
// configuration window; its window procedure turns messages into the form's
// handlers (timer ticks, tray callbacks, menu commands, control events and
// close requests). The program is built without C++ exceptions, so none can
// cross the window procedure.
#include "app/main_window.h"

#include <dbt.h>

#include <vector>

#include "agent/form.h"
#include "config/layout.h"
#include "platform/win32/ansi_text.h"
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

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return std::string();
  std::vector<char> text(static_cast<std::size_t>(length) + 1);
  const int got = GetWindowTextA(window, text.data(), length + 1);
  return std::string(text.data(), got > 0 ? static_cast<std::size_t>(got) : 0u);
}

// The screen's resolution in dots per inch: 96 normally, 120 with large
// fonts. The program is not aware of display scaling, so where Windows
// scales programs it answers 96 and Windows enlarges the window.
int ScreenDpi() {
  const ScopedScreenDC screen;
  return screen.Get() != nullptr ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : kDefaultDpi;
}

// 8.25 points at the screen's resolution: 11 pixels at 96 dots per inch.
HFONT CreateFormFont(bool underline, int dpi) {
  const int height = -MulDiv(825, dpi, 7200);
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, underline ? TRUE : FALSE, FALSE,
                     ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {}

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
  dpi_ = ScreenDpi();
  RECT frame = {0, 0, TwipsToPixels(kClientWidthTwips, dpi_),
                TwipsToPixels(kClientHeightTwips, dpi_)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  window_ = CreateWindowExA(kExStyle, DISCORA_WINDOW_CLASS, DISCORA_CAPTION, kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                            nullptr, nullptr, instance_, this);
  if (window_ == nullptr) return false;

  // The window menu of a fixed tool window offers only Move and Close.
  HMENU systemMenu = GetSystemMenu(window_, FALSE);
  if (systemMenu != nullptr) {
    DeleteMenu(systemMenu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(systemMenu, SC_MINIMIZE, MF_BYCOMMAND);
    DeleteMenu(systemMenu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(systemMenu, SC_RESTORE, MF_BYCOMMAND);
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
  // Run elevated, the window would not hear the announcement from the
  // shell, which runs at a lower integrity level.
  AllowMessageFromLowerIntegrity(window_, taskbarCreated_);
  // The poll timer runs from the window's creation; start-up then sets it
  // from the "Enable Autorun" check mark.
  SetTimerEnabled(true);
  return true;
}

// A tray agent spends nearly all its life with the window hidden: the
// controls, their fonts and the common-controls library they pull in are
// made only when the window is first shown or a control is first asked for.
void MainWindow::EnsureControls() {
  if (controlsCreated_ || window_ == nullptr) return;
  controlsCreated_ = true;
  CreateControls();
  for (int index = 0; index < kPathRows; ++index) {
    SetWindowTextA(Control(IDC_TXTPATH0 + index), pendingPaths_[index].c_str());
    std::string().swap(pendingPaths_[index]);
  }
}

void MainWindow::CreateControls() {
  InitCommonControlsOnce();
  font_.Reset(CreateFormFont(false, dpi_));
  linkFont_.Reset(CreateFormFont(true, dpi_));
  // Created in tab order, so Tab visits them in that order.
  for (const ControlSpec& entry : kConfigControls) {
    const char* className = "STATIC";
    // Rows overlap by a few pixels (each label reaches into the field
    // below it); clipping keeps the fields whole on top of the labels.
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    switch (entry.kind) {
      case ControlKind::Edit:
        className = "EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::Button:
        className = "BUTTON";
        // BS_NOTIFY: the button reports its focus, so the default-button
        // style can follow it.
        style |= WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY;
        break;
      case ControlKind::DefaultButton:
        className = "BUTTON";
        style |= WS_TABSTOP | BS_DEFPUSHBUTTON | BS_NOTIFY;
        break;
      case ControlKind::Label: style |= SS_LEFT; break;
      case ControlKind::Link: style |= SS_LEFT | SS_NOTIFY; break;
    }
    HWND control = CreateWindowExA(
        exStyle, className, entry.caption, style, TwipsToPixels(entry.left, dpi_),
        TwipsToPixels(entry.top, dpi_), TwipsToPixels(entry.width, dpi_),
        TwipsToPixels(entry.height, dpi_), window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), instance_, nullptr);
    if (control == nullptr) continue;
    if (entry.kind == ControlKind::Label) {
      SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    SendMessageA(
        control, WM_SETFONT,
        reinterpret_cast<WPARAM>(entry.kind == ControlKind::Link ? linkFont_.Get() : font_.Get()),
        0);
    // The path fields have no length limit of their own.
    if (entry.kind == ControlKind::Edit) SendMessageA(control, EM_LIMITTEXT, 0, 0);
  }
}

void MainWindow::DestroyWithoutUnload() {
  unloaded_ = true;
  Destroy();
}

void MainWindow::Destroy() {
  if (window_ != nullptr) DestroyWindow(window_);
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

std::string MainWindow::PathText(int index) const {
  if (index < 0 || index >= kPathRows) return std::string();
  if (!controlsCreated_) return pendingPaths_[index];
  // Read wide and converted exactly: a typed character the code page lacks
  // must not turn the path into another file's.
  HWND field = Control(IDC_TXTPATH0 + index);
  const int length = GetWindowTextLengthW(field);
  if (length <= 0) return std::string();
  std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1);
  const int got = GetWindowTextW(field, text.data(), length + 1);
  return ToAnsi(text.data(), got > 0 ? got : 0);
}

void MainWindow::SetPathText(int index, const std::string& text) {
  if (index < 0 || index >= kPathRows) return;
  if (!controlsCreated_) {
    pendingPaths_[index] = text;
    return;
  }
  SetWindowTextA(Control(IDC_TXTPATH0 + index), text.c_str());
}

void MainWindow::SelectPathText(int index, int start, int length) {
  EnsureControls();
  SendMessageA(Control(IDC_TXTPATH0 + index), EM_SETSEL, static_cast<WPARAM>(start),
               static_cast<LPARAM>(start + length));
}

std::string MainWindow::LabelCaption(int index) const {
  if (!controlsCreated_) return PathLabelCaption(index);
  return WindowText(Control(IDC_LBLPATH0 + index));
}

void MainWindow::SetVisible(bool visible) {
  if (!visible) {
    ShowWindow(window_, SW_HIDE);
    return;
  }
  if (IsWindowVisible(window_)) return;
  EnsureControls();
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
  // The hidden window may already be the active one (the tray menu makes it
  // so), and then no activation puts the focus on a control.
  HWND focus = GetFocus();
  if (focus == nullptr || !IsChild(window_, focus)) {
    SetFocus(lastFocus_ != nullptr ? lastFocus_ : Control(IDC_TXTPATH0));
  }
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

void MainWindow::Unload() {
  if (form_ != nullptr && form_->Form_QueryUnload(kUnloadFromCode)) return;
  DestroyWindow(window_);
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

    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_LBLCREDITS) {
        SetTextColor(dc, RGB(0, 0, 255));
      }
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }

    case DM_GETDEFID: return MAKELRESULT(defaultId_, DC_HASDEFID);

    case WM_ACTIVATE:
      // Keep the focused control across deactivation, as a dialog does.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus)) lastFocus_ = focus;
      } else if (!IsWindowVisible(window_)) {
        // Activated hidden, for the tray menu: keys typed now reach no field.
        SetFocus(window_);
      } else {
        SetFocus(lastFocus_ != nullptr ? lastFocus_ : Control(IDC_TXTPATH0));
      }
      return 0;

    case WM_SYSCOMMAND:
      // Close box, window menu Close and Alt+F4 all arrive here.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        if (!form_->Form_QueryUnload(kUnloadFromControlMenu)) DestroyWindow(window_);
        return 0;
      }
      break;

    case WM_CLOSE:
      // A close request that did not come from the window itself, such as
      // the task manager's.
      if (!form_->Form_QueryUnload(kUnloadTaskManager)) DestroyWindow(window_);
      return 0;

    case WM_QUERYENDSESSION: return TRUE;

    case WM_ENDSESSION:
      if (wParam && !unloaded_) {
        if (!form_->Form_QueryUnload(kUnloadAppWindows)) {
          unloaded_ = true;
          form_->Form_Unload();
        }
      }
      return 0;

    case WM_DESTROY:
      if (!unloaded_) {
        unloaded_ = true;
        form_->Form_Unload();
      }
      KillTimer(window_, IDT_TIMER1);
      PostQuitMessage(0);
      return 0;

    default: break;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
}

void MainWindow::OnCommand(WORD id, WORD code) {
  if (code == BN_SETFOCUS || code == BN_KILLFOCUS || code == EN_SETFOCUS) {
    if (id >= IDC_BTNBROWSE0 && id < IDC_BTNBROWSE0 + kPathRows) {
      // A focused browse button is the default while it has the focus.
      MoveDefaultButton(code == BN_SETFOCUS ? id : IDC_BTNOK);
    } else if (id == IDC_BTNOK || (id >= IDC_TXTPATH0 && id < IDC_TXTPATH0 + kPathRows)) {
      MoveDefaultButton(IDC_BTNOK);
    }
  }
  if (id == IDOK || id == IDCANCEL) {
    if (code == BN_CLICKED || code == 0) form_->btnOK_Click();
    return;
  }
  if (id >= IDC_BTNBROWSE0 && id < IDC_BTNBROWSE0 + kPathRows) {
    if (code == BN_CLICKED) form_->btnBrowse_Click(id - IDC_BTNBROWSE0);
    return;
  }
  if (id >= IDC_TXTPATH0 && id < IDC_TXTPATH0 + kPathRows) {
    if (code == EN_SETFOCUS) form_->txtPath_GotFocus(id - IDC_TXTPATH0);
    return;
  }
  if (id == IDC_LBLCREDITS) {
    if (code == STN_CLICKED) form_->lblCredits_Click();
    return;
  }
  // The window's own menu commands, also when another program sends them.
  const MenuItem item = MenuItemFromId(id);
  if (code == 0 && item != MenuItem::None) form_->RunMenuCommand(item);
}

// The window is not a dialog, so nothing else moves the default-button
// style: as the dialog manager does, the push button with the focus is the
// default one, and OK is when no push button has the focus. Enter (through
// IsDialogMessage) presses the button that has the style.
void MainWindow::MoveDefaultButton(int id) {
  if (id == defaultId_) return;
  const int previous = defaultId_;
  defaultId_ = id;
  SendMessageA(Control(previous), BM_SETSTYLE, BS_PUSHBUTTON | BS_NOTIFY, TRUE);
  SendMessageA(Control(id), BM_SETSTYLE, BS_DEFPUSHBUTTON | BS_NOTIFY, TRUE);
}

void MainWindow::OnDeviceChange(WPARAM event, LPARAM data) {
  if (event != DBT_DEVICEARRIVAL || data == 0) return;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (header->dbch_devicetype != DBT_DEVTYP_VOLUME ||
      header->dbch_size < sizeof(DEV_BROADCAST_VOLUME)) {
    return;
  }
  const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(data);
  form_->Form_DeviceArrival(volume->dbcv_unitmask, (volume->dbcv_flags & DBTF_MEDIA) != 0);
}

}  // namespace discora
