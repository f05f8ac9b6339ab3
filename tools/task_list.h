// Lists the saved NI-DAQmx tasks with their channels and devices, as the
// driver's task wrapper sees them.
#pragma once

#include <cstdio>

namespace tools {

// Prints every saved task; returns false when NI-DAQmx cannot be used.
bool PrintSavedTasks(std::FILE* out);

}  // namespace tools
