// The main window formDiscoraNotify as the agent's logic sees it: the state it
// owns for the life of the program and every event handler and routine that
// acts on it. The handlers are defined by subsystem: start-up, the watcher
// and the launcher in agent/, the icon and menu in tray/, the configuration
// window in config/. All of them run on the window's one thread.
#pragma once

#include <cstdint>
#include <string>

#include "agent/disc_kind.h"
#include "agent/drive_watch.h"
#include "agent/emulator_search.h"
#include "platform/form_window.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace discora {

// The main window's variables, created with the window and living until it is
// unloaded.
struct AgentState {
  // The watched drives, each with its last media reading and its edge latch.
  DriveWatch Drives;
  std::string CdDrive;  // the drive polled or launched for, such as "D:"
  std::int32_t LoopIndex = 0;
  std::string EmulatorPath;   // bare file name found in the program's folder,
                              // or the registry "Location" value, or empty
  std::string EmulatorTitle;  // title of the emulator's main window
  WindowHandle EmulatorWindow = 0;
  bool IsBleem = false;
  bool IconHidden = false;
  bool IconShown = false;  // the last add of the tray icon succeeded
  TrayRecord TrayData;
  // TrayData has been filled (by start-up): the icon can be added from now on.
  bool TrayDataFilled = false;
  // The emulator was found in the program's folder, so EmulatorPath is a
  // bare name to be started from that folder.
  bool EmulatorInAppFolder = false;
};

// Close reasons handed to Form_QueryUnload.
constexpr int kUnloadFromControlMenu = 0;  // close box, system menu Close, Alt+F4
constexpr int kUnloadFromCode = 1;         // the exit command
constexpr int kUnloadAppWindows = 2;       // Windows shutting down or logoff
constexpr int kUnloadTaskManager = 3;      // a close request from another program

class FormDiscoraNotify {
 public:
  FormDiscoraNotify(Platform& platform, FormWindow& window);

  // Start-up. Returns false when the program must end at once (another
  // instance runs, or there is no CD-ROM drive to watch when only the first
  // one is watched); nothing is shown then.
  bool Form_Load();
  // Whether Form_Load ended the program because another instance runs.
  bool AnotherInstanceRuns() const { return anotherInstance_; }

  // The poll tick, run by Timer1 every 3000 ms and once by Form_Load.
  void Timer1_Timer();
  // A volume arrived on the drives of `unitMask` (bit 0 = A:): new media
  // when `isMedia`, else a new drive. Windows sends this to every top-level
  // window in turn, so it only asks for a poll: Form_ArrivalPoll runs it
  // once the sender has its answer.
  void Form_DeviceArrival(std::uint32_t unitMask, bool isMedia);
  // A volume was removed from the drives of `unitMask` (its media, or the
  // drive): their latches are cleared at once, with no poll, so a disc
  // swapped in before the next poll is a new insertion.
  void Form_DeviceRemoval(std::uint32_t unitMask);
  // The poll an arrival asked for, taken from the window's message queue.
  void Form_ArrivalPoll();

  // Mouse movement over the window, tray callbacks included: `trayMessage`
  // is the low word of the message's lParam (kTrayDoubleClick, ...).
  void Form_MouseMove(unsigned trayMessage);
  // Returns true to refuse the close (the window is hidden instead).
  bool Form_QueryUnload(int unloadMode);
  void Form_Unload();
  // The taskbar was created again (Explorer restarted or started late).
  void Form_TaskbarCreated();

  // Tray menu commands.
  void RunMenuCommand(MenuItem item);
  void mnuAutorun_Click();
  void mnuStart_Click();
  void mnuHide_Click();
  void mnuUtility_Click();
  void mnuConfig_Click();
  void mnuAbout_Click();
  void mnuExit_Click();

  // Configuration window.
  void btnBrowse_Click(int index);
  void btnOK_Click();
  void txtPath_GotFocus(int index);
  void lblCredits_Click();

  // The dialog that chooses the emulator (IDM_EMULATOR, from /emulator): for
  // the disc in the drive a tray launch is for, or for none. While the
  // dialog is open, it is brought to the front instead.
  void Form_ChooseEmulator();

  // Shows the open-file dialog owned by `form1`; returns the chosen file's
  // full path, or "" when the user cancelled or the dialog failed.
  std::string OpenDialog(WindowHandle form1, const std::string& filter, const std::string& title,
                         const std::string& initDir);

  const AgentState& State() const { return state_; }
  AgentState& State() { return state_; }
  bool MenuBusy() const { return menuBusy_; }

 private:
  // agent/startup.cpp
  void InitAgent();
  void LocateEmulator();
  void LoadOptions();
  // Whether every CD-ROM drive is watched: the user's choice, else the
  // machine's, else not.
  bool ReadAllDrivesOption();
  std::string ReadRegistryString(RegRoot hKey, const std::string& subKey,
                                 const std::string& valueName);
  std::string AppDir();
  // agent/watcher.cpp
  bool ShiftIsDown();
  // One drive's media query and edge latch, when it is watched; launches
  // for a new PlayStation disc in it.
  void PollDrive(char letter);
  // For a launch from the tray: the letter of the first watched drive that
  // holds a console's disc, else of the first one; '\0' when there is none.
  // `disc` is the disc in it.
  char ChooseLaunchDrive(DiscIdentity* disc);
  // The disc in `drive` ('\0': none): from its boot file, else from the
  // header of its first data track.
  DiscIdentity IdentifyDisc(char drive);
  // agent/launcher.cpp
  // Who asked for a launch: a disc that went in, or the user's double-click
  // on the icon. When nothing can be started, a disc gets the notice, and
  // the user's click the dialog that chooses the emulator, at once.
  enum class LaunchCause { Disc, Click };
  // Starts the utilities, then the emulator for `disc` in `drive` ('\0':
  // no drive), with that drive's letter.
  void LaunchEmulator(char drive, const DiscIdentity& disc, LaunchCause cause);
  // Starts (or brings back) the first of today's emulators that `search`
  // finds for discs of kind `disc`; false when none started.
  bool StartTodaysEmulator(char drive, DiscKind disc, EmulatorSearch& search);
  // Starts the emulator found at start-up; 0, or why nothing started.
  long StartEmulator();
  enum class UserCommand { None, Started, Failed };
  // Runs the user's command stored under `key` for `disc` in `drive`.
  UserCommand RunUserCommand(const char* key, DiscKind disc, char drive);
  // Starts the command template `command` for a disc of kind `disc` in
  // drive `drive`. Returns 0, kErrorFileNotFound when it names no existing
  // program, or the system's error code when the program did not start.
  long StartCommand(const std::string& command, char drive, DiscKind disc);
  // Brings back the main window of `program` when it runs, else starts it,
  // with `discArguments` when there is a disc; 0 or the start's error.
  long RestoreOrStart(const std::string& program, const std::string& discArguments, DiscKind disc);
  // Activates a running emulator's window and restores it when it is
  // minimised or maximised.
  void BringBack(WindowHandle window);
  // Starts `file` with `arguments`, in the file's folder; `command`, when
  // given, is the command line handed over as it stands instead. Returns 0,
  // or the system's error code when nothing was started.
  long RunProgram(const std::string& file, const std::string& arguments, int showStyle,
                  const std::string& command = std::string());
  bool FileExists(const std::string& path);
  // tray/tray_notice.cpp
  // Asks the user for the emulator, as `cause` wants it, when `search`
  // found no emulator for `disc` in `drive` (DiscKind::None: no disc is in
  // it); a disc of no console wants none.
  void AskForEmulator(char drive, const DiscIdentity& disc, LaunchCause cause,
                      const EmulatorSearch& search);
  // Tells the user that no emulator was found for `disc` in `drive` (or,
  // with `noCore`, that RetroArch has no core for it), and remembers the
  // drive for the answer.
  void ShowEmulatorNotice(char drive, const DiscIdentity& disc, bool noCore);
  // config/emulator_dialog.cpp
  // Asks for the emulator's program, starts it for a disc of kind `disc` in
  // `drive` and writes its command once it started. One dialog at a time:
  // while it is open, it is brought to the front instead.
  void ChooseEmulator(char drive, DiscKind disc);
  // Tells the user why a choice changed nothing.
  void TellUser(const std::string& text);
  // tray/tray_icon.cpp
  void LoadTrayIcon();
  void RecallIcon();
  void AddTrayIcon();
  void DeleteTrayIcon();

  Platform& platform_;
  FormWindow& window_;
  SettingsStore settings_;
  AgentState state_;
  bool menuBusy_ = false;
  bool arrivalPollPosted_ = false;     // an arrival poll waits in the queue
  UninstallRecords uninstallRecords_;  // what the launcher's searches read last
  // The drive of the last notice, whose disc a click on it reads again.
  char noticeDrive_ = '\0';
  bool choosingEmulator_ = false;  // the emulator's dialog is open
  bool anotherInstance_ = false;   // Form_Load found another instance
};

}  // namespace discora
