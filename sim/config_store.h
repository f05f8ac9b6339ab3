// The configuration in force: the file named by NIDAQMX_SIM_CONFIG (re-read
// when the name or the file changes) or, without that variable, the built-in one.
#pragma once

#include "sim/config.h"

namespace sim {

inline constexpr char kConfigVariable[] = "NIDAQMX_SIM_CONFIG";
inline constexpr char kFreeRunningVariable[] = "NIDAQMX_SIM_FREE_RUNNING";

// Thread-safe. A failed result carries the status and "file:line: problem".
ConfigResult CurrentConfig();

}  // namespace sim
