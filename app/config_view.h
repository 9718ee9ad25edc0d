// The configuration window's controls on real Win32: the path fields, browse
// buttons, labels, OK and the credits line that the main window shows when it
// serves as the configuration window. They are made from the layout table
// the first time they are needed, with their fonts; until then the path
// fields' texts are kept here. The main window is no dialog, so this also
// does what the dialog manager would: it moves the default-button style with
// the focus, keeps the focused control across deactivation, and colours the
// static texts.
#pragma once

#include <windows.h>

#include <string>

#include "config/layout.h"
#include "platform/win32/scoped.h"
#include "res/resource.h"

namespace discora {

class ConfigView {
 public:
  explicit ConfigView(HINSTANCE instance) : instance_(instance) {}
  ConfigView(const ConfigView&) = delete;
  ConfigView& operator=(const ConfigView&) = delete;

  // The window the controls belong to, and the screen's resolution the
  // layout and the fonts follow; Detach when the window is gone.
  void Attach(HWND window, int dpi);
  void Detach() { window_ = nullptr; }

  // Makes the controls unless they are there already, and hands them the
  // path texts kept so far.
  void EnsureControls();

  std::string PathText(int index) const;
  void SetPathText(int index, const std::string& text);
  void SelectPathText(int index, int start, int length);
  std::string LabelCaption(int index) const;

  // The window was just shown: unless a control has the focus already, the
  // one that had it last gets it, or the first path field.
  void FocusAfterShow();
  // The window was activated or deactivated (WM_ACTIVATE).
  void OnActivate(bool active);
  // A control reported a change of focus (BN_SETFOCUS, BN_KILLFOCUS,
  // EN_SETFOCUS); the default-button style follows it.
  void OnControlFocus(WORD id, WORD code);
  // The push button with the default style, for DM_GETDEFID.
  int DefaultButtonId() const { return defaultId_; }
  // The colours of a static control (WM_CTLCOLORSTATIC): the brush to paint
  // its background with.
  LRESULT StaticColours(HDC dc, HWND control) const;

 private:
  void CreateControls();
  void MoveDefaultButton(int id);
  HWND LastFocusOrFirstField() const;
  HWND Control(int id) const { return GetDlgItem(window_, id); }

  HINSTANCE instance_;
  HWND window_ = nullptr;
  int dpi_ = kDefaultDpi;
  ScopedFont font_;
  ScopedFont linkFont_;
  HWND lastFocus_ = nullptr;
  int defaultId_ = IDC_BTNOK;  // the push button with the default style
  // Until the controls are made, the path fields' text is kept here.
  bool controlsCreated_ = false;
  std::string pendingPaths_[kPathRows];
};

}  // namespace discora
