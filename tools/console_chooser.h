// adc-record's answer to the driver's question which saved task to use: a
// prompt on the terminal.
#pragma once

#include <cstdint>
#include <vector>

#include "daqmx/probe.h"

namespace tools {

// Lists the candidates on standard error and reads a number from standard
// input: the chosen entry's index, or -1 without an interactive terminal, on
// an empty or invalid answer.
std::int16_t ChooseOnConsole(const std::vector<daqmx::TaskListEntry>& entries);

}  // namespace tools
