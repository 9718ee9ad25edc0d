// The main window formDiscoraNotify as the agent's logic sees it: its handles
// and caption, the tray menu's check marks, the poll timer, the configuration
// window's path fields and labels, and its visibility. The real window is
// app/main_window.h; the host tests use a fake.
#pragma once

#include <string>

#include "platform/platform.h"

namespace discora {

// The items of the tray menu, in display order.
enum class MenuItem {
  Autorun,  // mnuAutorun
  Start,    // mnuStart
  Hide,     // mnuHide
  Sep,      // mnuSep
  Utility,  // mnuUtility
  Config,   // mnuConfig
  Sep1,     // mnuSep1
  About,    // mnuAbout
  Sep2,     // mnuSep2
  Exit,     // mnuExit
  None,     // nothing chosen
};

// The main window's live state, as the logic sees it.
class FormWindow {
 public:
  virtual ~FormWindow() = default;

  virtual WindowHandle Handle() const = 0;
  virtual IconHandle Icon() const = 0;
  virtual std::string Caption() const = 0;

  virtual bool Checked(MenuItem item) const = 0;
  virtual void SetChecked(MenuItem item, bool checked) = 0;
  // Pops up the tray menu at screen point (x, y), left-aligned, items chosen
  // with the left button; returns the chosen item once the menu has closed.
  virtual MenuItem PopupMenu(int x, int y) = 0;

  // Starts (a full 3000 ms interval) or stops the poll timer, Timer1.
  virtual void SetTimerEnabled(bool enabled) = 0;
  // Posts the window its own "arrival poll" message, so the form's
  // Form_ArrivalPoll runs from the message loop after the message being
  // handled now has been answered. False when it could not be posted.
  virtual bool PostArrivalPoll() = 0;

  virtual std::string PathText(int index) const = 0;
  virtual void SetPathText(int index, const std::string& text) = 0;
  virtual void SelectPathText(int index, int start, int length) = 0;
  virtual std::string LabelCaption(int index) const = 0;

  // Makes the window the foreground one, hidden or not, so that a dialog
  // it then opens comes up in front: the right to do so, which a click on
  // the icon or on its notice gives, lasts only until the user's next input.
  virtual void TakeForeground() = 0;
  // Brings a dialog the window owns (the open-file dialog) to the front.
  virtual void BringOwnedDialogToFront() = 0;

  // Shows the window as the configuration window, or hides it.
  virtual void SetVisible(bool visible) = 0;
  // Closes the window for good; the unload handler runs and the program ends.
  virtual void Unload() = 0;
};

}  // namespace discora
