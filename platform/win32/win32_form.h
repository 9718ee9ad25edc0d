// The main window formDiscoraNotify on real Win32: a hidden tool window that
// owns the tray menu, the poll timer and the configuration controls, and
// hands every message to the agent's handlers.
#pragma once

#include <windows.h>

#include <array>

#include "platform/platform.h"

namespace discora {

class FormDiscoraNotify;

class Win32Form final : public FormWindow {
 public:
  explicit Win32Form(HINSTANCE instance);
  ~Win32Form() override;
  Win32Form(const Win32Form&) = delete;
  Win32Form& operator=(const Win32Form&) = delete;

  // Creates the window hidden, with its controls, menu and running timer.
  bool Create();
  void Attach(FormDiscoraNotify* form) { form_ = form; }
  // Ends a program that never got going: no unload handler runs.
  void DestroyWithoutUnload();
  int RunMessageLoop();

  WindowHandle Handle() const override;
  IconHandle Icon() const override;
  std::string Caption() const override;
  bool Checked(MenuItem item) const override;
  void SetChecked(MenuItem item, bool checked) override;
  MenuItem PopupMenu(int x, int y) override;
  void SetTimerEnabled(bool enabled) override;
  bool TimerEnabled() const override { return timerEnabled_; }
  std::string PathText(int index) const override;
  void SetPathText(int index, const std::string& text) override;
  void SelectPathText(int index, int start, int length) override;
  std::string LabelCaption(int index) const override;
  bool Visible() const override;
  void SetVisible(bool visible) override;
  void Unload() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(WORD id, WORD code);
  void OnDeviceChange(WPARAM event, LPARAM data);
  void CreateControls();
  void EnsureControls();
  void CenterOnScreen();
  HWND Control(int id) const { return GetDlgItem(window_, id); }

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HMENU menu_ = nullptr;
  HICON icon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HFONT font_ = nullptr;
  HFONT linkFont_ = nullptr;
  HWND lastFocus_ = nullptr;
  UINT taskbarCreated_ = 0;
  bool timerEnabled_ = false;
  bool shownBefore_ = false;
  bool unloaded_ = false;
  // The controls are made when the window is first needed as the
  // configuration window; until then the path fields' text is kept here.
  bool controlsCreated_ = false;
  std::string pendingPaths_[3];
  FormDiscoraNotify* form_ = nullptr;
};

}  // namespace discora
