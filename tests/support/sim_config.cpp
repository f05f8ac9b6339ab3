#include "tests/support/sim_config.h"

#include <algorithm>
#include <initializer_list>

namespace testsupport {
namespace {

// `keys` followed by each default line whose key `keys` does not set.
std::string WithDefaults(std::string keys, std::initializer_list<const char*> defaults) {
  if (!keys.empty() && keys.back() != '\n') keys += '\n';
  std::string text = keys;
  for (const std::string line : defaults) {
    const std::string key = line.substr(0, line.find(" = ") + 3);
    if (("\n" + keys).find("\n" + key) == std::string::npos) text += line + "\n";
  }
  return text;
}

}  // namespace

SimIni& SimIni::Task(const std::string& name, const std::string& keys) {
  tasks_.push_back({"DAQmxTask " + name,
                    WithDefaults(keys, {"SampQuant.SampMode = Continuous Samples", "SampQuant.SampPerChan = 1000",
                                        "SampTimingType = Sample Clock", "SampClk.Rate = 1000"}),
                    {}});
  return *this;
}

SimIni& SimIni::Channel(const std::string& name, const std::string& physical, const std::string& keys) {
  const std::string full = tasks_.back().header.substr(10) + "/" + name;
  tasks_.back().channels.push_back(full);
  channels_.push_back(
      {"DAQmxChannel " + full,
       WithDefaults("PhysicalChanName = " + physical + "\n" + keys,
                    {"ChanType = Analog Input", "AI.MeasType = Voltage", "AI.Min = -10", "AI.Max = 10"}),
       {}});
  used_devices_.push_back(physical.substr(0, physical.find('/')));
  return *this;
}

SimIni& SimIni::Device(const std::string& name, const std::string& product, const std::string& keys) {
  devices_.push_back(
      {"DAQmxDevice " + name,
       WithDefaults("ProductType = " + product + "\n" + keys, {"DevSerialNum = 0x0", "DevIsSimulated = 1"}),
       {}});
  return *this;
}

std::string SimIni::Text() const {
  SimIni all = *this;
  for (const auto& device : used_devices_) {
    const auto described = [&](const Section& s) { return s.header == "DAQmxDevice " + device; };
    if (std::none_of(all.devices_.begin(), all.devices_.end(), described)) {
      all.Device(device, "PCIe-6363", "Sim.AIChannels = 64");
    }
  }
  std::string text;
  for (const auto& task : all.tasks_) {
    std::string list;
    for (const auto& channel : task.channels) list += (list.empty() ? "" : ", ") + channel;
    text += "\n[" + task.header + "]\nChannels = " + list + "\n" + task.keys;
  }
  for (const auto* sections : {&all.channels_, &all.devices_}) {
    for (const auto& s : *sections) text += "\n[" + s.header + "]\n" + s.keys;
  }
  return text;
}

}  // namespace testsupport
