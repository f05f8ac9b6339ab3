// libFuzzer target: the configuration parser, and the waveforms of every task
// it accepts. Any input must give a configuration or a "file:line: problem".
#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/config.h"
#include "sim/signals.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto result = sim::ParseConfig(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.ini");
  if (!result.config) return result.error.empty() ? __builtin_trap(), 0 : 0;
  (void)result.config->TaskList();
  for (const auto& device : result.config->devices) (void)device.AIPhysicalChannels();
  for (const auto& task : result.config->tasks) {
    (void)sim::DerivedMaxRate(task, *result.config);
    std::uint64_t entries = 0;
    for (const auto& channel : task.channels) entries += static_cast<std::uint64_t>(channel.period) + 64001;
    if (entries > (1u << 18)) continue;  // large tables are right but slow to fuzz
    sim::Waveforms waveforms(task.channels);
    std::vector<double> values(64 * task.channels.size());
    std::vector<daqmx::int16> codes(values.size());
    waveforms.Fill(0, 64, true, values.data());
    waveforms.Fill(1000, 64, false, codes.data());
  }
  return 0;
}
