// Drives the driver's dialogs from the test thread as a user would: the
// dialog runs modally on a thread of its own, the robot finds its window,
// reads its lists, clicks, types and takes screenshots for people to look at.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/wait.h"

namespace robot {

using testsupport::WaitUntil;
using Table = std::vector<std::vector<std::string>>;

// Why the dialog tests cannot run here ("" when they can): no X display.
std::string NoDisplayReason();

// Runs `show` (which opens a modal dialog) on a thread of its own.
class DialogThread {
 public:
  explicit DialogThread(std::function<void()> show);
  // Closes whatever the test left open and waits for the thread.
  ~DialogThread();
  DialogThread(const DialogThread&) = delete;
  DialogThread& operator=(const DialogThread&) = delete;

  // The thread's visible dialog window, waiting up to 10 s; null when none
  // appeared or the thread ended first.
  HWND WaitForDialog();
  // Waits up to 10 s for `show` to return.
  bool WaitFinished();

 private:
  HWND FindDialog() const;

  std::atomic<DWORD> thread_id_{0};
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

std::string WindowText(HWND window);
// A list view as the user reads it: the column headers, then each row.
Table Shown(HWND list);
int RowImage(HWND list, int row);
int SelectedRow(HWND list);

// The control that has the keyboard focus in the dialog's thread.
HWND FocusOf(HWND dialog);
// Mouse clicks as the mouse sends them, at a list row or a control's centre.
void ClickRow(HWND list, int row);
void DoubleClickRow(HWND list, int row);
void ClickControl(HWND control);
// A key press (down and up) delivered to the control with the focus.
void PressKey(HWND dialog, UINT virtual_key);
// A key press through the keyboard's input queue (SendInput), as the keyboard
// sends it, to the dialog brought to the foreground. False when the dialog
// could not be brought there (the key is then not sent).
bool TypeKey(HWND dialog, WORD virtual_key);

// Saves what the screen shows of the window as a PNG in the build tree's
// artifacts folder; returns the file's path ("" on failure).
std::string SaveScreenshot(HWND window, const std::string& name);

}  // namespace robot
