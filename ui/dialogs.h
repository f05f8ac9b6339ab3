// The driver's Windows dialogs: the task selection dialog (the platform's
// chooser among several saved tasks) and the setup window (ShowSetting).
#pragma once

namespace ui {

// Makes the dialogs the driver's chooser and setup window. The COM server
// calls it before it creates a driver object.
void InstallDialogs();

}  // namespace ui
