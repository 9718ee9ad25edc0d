// The main window formDiscoraNotify on real Win32: a hidden tool window that
// owns the tray menu and the poll timer, shows the configuration controls
// (config_view.h) when it is shown, and hands every message to the form's
// handlers. Every request to close it goes through one function with its
// reason, and one function destroys it.
#pragma once

#include <windows.h>

#include <string>

#include "app/config_view.h"
#include "platform/form_window.h"
#include "platform/win32/scoped.h"

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
  // The form whose handlers the window's messages run; null for none (the
  // window's end then runs no handler).
  void Attach(FormDiscoraNotify* form) { form_ = form; }
  // Marks the window as the running agent's (DISCORA_RUNNING_PROPERTY),
  // once its load handler has let it run.
  void MarkRunning();
  // Runs the message loop until WM_QUIT and returns its exit code. A
  // WM_QUIT another program posts ends the loop with the window still
  // there: it is destroyed then, its unload handler run while the form is
  // alive.
  int RunMessageLoop();

  WindowHandle Handle() const override;
  IconHandle Icon() const override;
  std::string Caption() const override;
  bool Checked(MenuItem item) const override;
  void SetChecked(MenuItem item, bool checked) override;
  MenuItem PopupMenu(int x, int y) override;
  void SetTimerEnabled(bool enabled) override;
  bool PostArrivalPoll() override;
  // The configuration controls' texts, kept by the configuration view.
  std::string PathText(int index) const override { return config_.PathText(index); }
  void SetPathText(int index, const std::string& text) override {
    config_.SetPathText(index, text);
  }
  void SelectPathText(int index, int start, int length) override {
    config_.SelectPathText(index, start, length);
  }
  std::string LabelCaption(int index) const override { return config_.LabelCaption(index); }
  void TakeForeground() override;
  void BringOwnedDialogToFront() override;
  void SetVisible(bool visible) override;
  // The exit command: a close request of the program itself.
  void Unload() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(WORD id, WORD code);
  void OnDeviceChange(WPARAM event, LPARAM data);
  void CenterOnScreen();
  // Every request to close the window, with its reason for the form's
  // Form_QueryUnload (kUnloadFromControlMenu, kUnloadFromCode, ...).
  void RequestClose(int reason);
  // Runs the form's unload handler, at most once in the window's life.
  void RunUnloadHandler();
  // The one place the window is destroyed; its WM_DESTROY runs the unload
  // handler unless it has run already.
  void Destroy();

  HINSTANCE instance_;
  // The class icons outlive the window (they are released after it).
  HICON icon_ = nullptr;  // shared (LoadIcon): the system's to free
  ScopedIcon smallIcon_;
  ScopedMenu menu_;
  HWND window_ = nullptr;  // cleared by the window's last message
  ConfigView config_;
  UINT taskbarCreated_ = 0;
  UINT chooseEmulator_ = 0;  // DISCORA_CHOOSE_EMULATOR_MESSAGE
  bool shownBefore_ = false;
  bool unloaded_ = false;  // the unload handler has run
  FormDiscoraNotify* form_ = nullptr;
};

}  // namespace discora
