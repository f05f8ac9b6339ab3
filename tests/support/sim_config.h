// Builds configuration files of the simulated NI-DAQmx: tasks with their
// channels, and the devices they use. Every section starts from plain
// defaults; the key lines a test gives replace the defaults of the same key.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

class SimIni {
 public:
  // A task timed continuously by the sample clock at 1000 frames/s.
  SimIni& Task(const std::string& name, const std::string& keys = "");
  // A channel of the last task: a ±10 V voltage input on `physical`
  // ("Dev1/ai0").
  SimIni& Channel(const std::string& name, const std::string& physical, const std::string& keys = "");
  // A simulated device without a serial number.
  SimIni& Device(const std::string& name, const std::string& product, const std::string& keys = "");
  // The file's text; a device that a channel names but none describes is a
  // 64-input PCIe-6363.
  std::string Text() const;

 private:
  struct Section {
    std::string header;
    std::string keys;
    std::vector<std::string> channels;  // of a task: full channel names
  };
  std::vector<Section> tasks_;
  std::vector<Section> channels_;
  std::vector<Section> devices_;
  std::vector<std::string> used_devices_;
};

}  // namespace testsupport
