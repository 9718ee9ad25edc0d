// The main window formDiscoraNotify on real Win32: a hidden tool window that
// owns the tray menu, the poll timer and the configuration controls, and
// hands every message to the form's handlers.
#pragma once

#include <windows.h>

#include <string>

#include "config/layout.h"
#include "platform/form_window.h"
#include "platform/win32/scoped.h"
#include "res/resource.h"

namespace discora {

class FormDiscoraNotify;

class MainWindow final : public FormWindow {
 public:
  explicit MainWindow(HINSTANCE instance);
  // Destroys a window that is still there without running the unload
  // handler: the form may already be gone.
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window hidden, with its menu and running timer; the
  // configuration controls are made when they are first needed.
  bool Create();
  void Attach(FormDiscoraNotify* form) { form_ = form; }
  // Ends a program that never got going: no unload handler runs.
  void DestroyWithoutUnload();
  // Runs the message loop until WM_QUIT; returns its exit code.
  int RunMessageLoop();
  // Destroys the window if it is still there, running the unload handler
  // once (the loop also ends on a WM_QUIT another program posts).
  void Destroy();

  WindowHandle Handle() const override;
  IconHandle Icon() const override;
  std::string Caption() const override;
  bool Checked(MenuItem item) const override;
  void SetChecked(MenuItem item, bool checked) override;
  MenuItem PopupMenu(int x, int y) override;
  void SetTimerEnabled(bool enabled) override;
  bool PostArrivalPoll() override;
  std::string PathText(int index) const override;
  void SetPathText(int index, const std::string& text) override;
  void SelectPathText(int index, int start, int length) override;
  std::string LabelCaption(int index) const override;
  void SetVisible(bool visible) override;
  void Unload() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(WORD id, WORD code);
  void OnDeviceChange(WPARAM event, LPARAM data);
  void EnsureControls();
  void CreateControls();
  void CenterOnScreen();
  void MoveDefaultButton(int id);
  HWND Control(int id) const { return GetDlgItem(window_, id); }

  HINSTANCE instance_;
  // The class icons outlive the window (they are released after it).
  HICON icon_ = nullptr;  // shared (LoadIcon): the system's to free
  ScopedIcon smallIcon_;
  ScopedFont font_;
  ScopedFont linkFont_;
  ScopedMenu menu_;
  HWND window_ = nullptr;  // destroyed by Destroy or DestroyWithoutUnload
  HWND lastFocus_ = nullptr;
  UINT taskbarCreated_ = 0;
  int dpi_ = kDefaultDpi;      // the screen's resolution, read at creation
  int defaultId_ = IDC_BTNOK;  // the push button with the default style
  bool shownBefore_ = false;
  bool unloaded_ = false;
  // Until the controls are made, the path fields' text is kept here.
  bool controlsCreated_ = false;
  std::string pendingPaths_[kPathRows];
  FormDiscoraNotify* form_ = nullptr;
};

}  // namespace discora
