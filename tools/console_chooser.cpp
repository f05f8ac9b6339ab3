#include "tools/console_chooser.h"

#include <iostream>
#include <string>

#include "platform/system.h"

namespace tools {

std::int16_t ChooseOnConsole(const std::vector<daqmx::TaskListEntry>& entries) {
  if (!platform::HasInteractiveTerminal()) return -1;
  std::cerr << "Select NI-DAQmx Task\n";
  for (size_t i = 0; i < entries.size(); ++i) {
    std::cerr << "  " << i + 1 << ". " << entries[i].EntryName << "  (" << entries[i].ChannelSummary << ", "
              << entries[i].DeviceText << ")\n";
  }
  std::cerr << "Task number (Enter for none): " << std::flush;
  std::string line;
  if (!std::getline(std::cin, line)) return -1;
  try {
    const int chosen = std::stoi(line);
    return chosen >= 1 && static_cast<size_t>(chosen) <= entries.size() ? static_cast<std::int16_t>(chosen - 1)
                                                                          : std::int16_t{-1};
  } catch (const std::exception&) {
    return -1;
  }
}

}  // namespace tools
