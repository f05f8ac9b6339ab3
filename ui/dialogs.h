// The driver's Windows dialogs: the task selection dialog (the platform's
// chooser among several saved tasks) and the setup window (ShowSetting).
// They depend on the driver, never the other way: the driver calls what
// InstallDialogs hands it, and the setup window gets a read-only view.
//
// Errors in this layer: nothing in a dialog reports one; a failing call
// leaves its part of the window empty and the rest is still filled.
#pragma once

namespace ui {

// Makes the dialogs the driver's chooser and setup window. The COM server
// calls it before it creates a driver object.
void InstallDialogs();

}  // namespace ui
