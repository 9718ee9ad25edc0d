// The configuration window's controls on real Win32, and what the dialog
// manager would do for them if the window were a dialog.
#include "app/config_view.h"

#include <vector>

#include "app/window_text.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/win32_platform.h"

namespace discora {

namespace {

// 8.25 points at the screen's resolution: 11 pixels at 96 dots per inch.
HFONT CreateFormFont(bool underline, int dpi) {
  const int height = -MulDiv(825, dpi, 7200);
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, underline ? TRUE : FALSE, FALSE,
                     ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

}  // namespace

void ConfigView::Attach(HWND window, int dpi) {
  window_ = window;
  dpi_ = dpi;
}

// A tray agent spends nearly all its life with the window hidden: the
// controls, their fonts and the common-controls library they pull in are
// made only when the window is first shown or a control is first asked for.
void ConfigView::EnsureControls() {
  if (controlsCreated_ || window_ == nullptr) return;
  controlsCreated_ = true;
  CreateControls();
  for (int index = 0; index < kPathRows; ++index) {
    SetWindowTextA(Control(IDC_TXTPATH0 + index), pendingPaths_[index].c_str());
    std::string().swap(pendingPaths_[index]);
  }
}

void ConfigView::CreateControls() {
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

std::string ConfigView::PathText(int index) const {
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

void ConfigView::SetPathText(int index, const std::string& text) {
  if (index < 0 || index >= kPathRows) return;
  if (!controlsCreated_) {
    pendingPaths_[index] = text;
    return;
  }
  SetWindowTextA(Control(IDC_TXTPATH0 + index), text.c_str());
}

void ConfigView::SelectPathText(int index, int start, int length) {
  EnsureControls();
  SendMessageA(Control(IDC_TXTPATH0 + index), EM_SETSEL, static_cast<WPARAM>(start),
               static_cast<LPARAM>(start + length));
}

std::string ConfigView::LabelCaption(int index) const {
  if (!controlsCreated_) return PathLabelCaption(index);
  return WindowText(Control(IDC_LBLPATH0 + index));
}

HWND ConfigView::LastFocusOrFirstField() const {
  return lastFocus_ != nullptr ? lastFocus_ : Control(IDC_TXTPATH0);
}

void ConfigView::FocusAfterShow() {
  // The hidden window may already be the active one (the tray menu makes it
  // so), and then no activation puts the focus on a control.
  HWND focus = GetFocus();
  if (focus == nullptr || !IsChild(window_, focus)) SetFocus(LastFocusOrFirstField());
}

void ConfigView::OnActivate(bool active) {
  // Keep the focused control across deactivation, as a dialog does.
  if (!active) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window_, focus)) lastFocus_ = focus;
  } else if (!IsWindowVisible(window_)) {
    // Activated hidden, for the tray menu: keys typed now reach no field.
    SetFocus(window_);
  } else {
    SetFocus(LastFocusOrFirstField());
  }
}

void ConfigView::OnControlFocus(WORD id, WORD code) {
  if (code != BN_SETFOCUS && code != BN_KILLFOCUS && code != EN_SETFOCUS) return;
  if (BrowseButtonRow(id) >= 0) {
    // A focused browse button is the default while it has the focus.
    MoveDefaultButton(code == BN_SETFOCUS ? id : IDC_BTNOK);
  } else if (id == IDC_BTNOK || PathFieldRow(id) >= 0) {
    MoveDefaultButton(IDC_BTNOK);
  }
}

// The window is not a dialog, so nothing else moves the default-button
// style: as the dialog manager does, the push button with the focus is the
// default one, and OK is when no push button has the focus. Enter (through
// IsDialogMessage) presses the button that has the style.
void ConfigView::MoveDefaultButton(int id) {
  if (id == defaultId_) return;
  const int previous = defaultId_;
  defaultId_ = id;
  SendMessageA(Control(previous), BM_SETSTYLE, BS_PUSHBUTTON | BS_NOTIFY, TRUE);
  SendMessageA(Control(id), BM_SETSTYLE, BS_DEFPUSHBUTTON | BS_NOTIFY, TRUE);
}

LRESULT ConfigView::StaticColours(HDC dc, HWND control) const {
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  // The credits line reads as a link.
  if (GetDlgCtrlID(control) == IDC_LBLCREDITS) SetTextColor(dc, RGB(0, 0, 255));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace discora
