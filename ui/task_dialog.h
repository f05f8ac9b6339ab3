// dlgTaskEnum, "Select NI-DAQmx Task": lets the user choose which of several
// saved tasks the driver uses. Windows only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "daqmx/probe.h"

namespace ui {

class dlgTaskEnum {
 public:
  // One entry: 0 at once, no window. Otherwise shows the list modally,
  // without an owner, and returns the row accepted with OK (0-based, in
  // list order), or -1 when the dialog was closed any other way or OK was
  // pressed with no row selected.
  std::int16_t SelectDevice(const std::vector<daqmx::TaskListEntry>& tasks);

 private:
  struct Events;  // the window's message handlers
  friend struct Events;

  std::int16_t mSelectedIndex = -1;
  const std::vector<daqmx::TaskListEntry>* mTaskList = nullptr;
};

// The default instance's SelectDevice: the platform's task chooser.
std::int16_t SelectDevice(const std::vector<daqmx::TaskListEntry>& tasks);

// The key of a device type's icon: "USB" and "COM" as they are, every other
// text "PCI" (exact, case-sensitive).
std::string GetDeviceIcon(const std::string& device_type);

}  // namespace ui
