// Channel-name arguments in the forms NI accepts: "" for every channel of the
// task, comma lists ("ai0, ai1"), and ranges of numbered names ("Dev1/ai0:3",
// also descending and zero-padded: "ai3:0", "ai00:15"), virtual or physical,
// ignoring case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim/config.h"

namespace sim {

// The names a list stands for, ranges expanded; -200498 for a malformed or
// oversized range (status recorded).
int32 ExpandNames(std::string_view list, std::vector<std::string>& names);

// Indices of the task's channels that `list` names; "" names them all.
// -200486 when a name is not a channel of the task (status recorded).
int32 FindChannels(const TaskConfig& task, std::string_view list, std::vector<size_t>& found);

// The device of a physical analog input ("Dev1/ai3"): -200220 for an unknown
// device, -200170 for a channel the device does not have (status recorded).
int32 FindPhysicalChannel(const Config& config, const std::string& name, const DeviceConfig*& device);

}  // namespace sim
