// Small builders of simulated NI-DAQmx configurations for the driver tests.
#pragma once

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sim_env.h"

namespace testini {

// "Dev1/ai0:3" -> Dev1/ai0 .. Dev1/ai3; "Dev1/ai0, Dev2/ai0" -> both.
inline std::vector<std::string> Physicals(const std::string& spec) {
  std::vector<std::string> result;
  std::stringstream list(spec);
  std::string item;
  while (std::getline(list, item, ',')) {
    item.erase(0, item.find_first_not_of(' '));
    if (item.empty()) continue;
    const auto colon = item.find(':');
    if (colon == std::string::npos) {
      result.push_back(item);
      continue;
    }
    size_t digits = colon;
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(item[digits - 1]))) --digits;
    const std::string stem = item.substr(0, digits);
    const int first = std::stoi(item.substr(digits, colon - digits));
    const int last = std::stoi(item.substr(colon + 1));
    for (int i = first; i <= last; ++i) result.push_back(stem + std::to_string(i));
  }
  return result;
}

// Continuous sample-clock timing at 1000 frames/s, unless `extra` says otherwise.
inline std::string TaskSection(const std::string& name, const std::vector<std::string>& channels,
                               const std::string& extra = "") {
  std::string list;
  for (const auto& c : channels) list += (list.empty() ? "" : ", ") + name + "/" + c;
  std::string section = "[DAQmxTask " + name + "]\nChannels = " + list + "\n" + extra;
  for (const char* line : {"SampQuant.SampMode = Continuous Samples", "SampQuant.SampPerChan = 1000",
                           "SampTimingType = Sample Clock", "SampClk.Rate = 1000"}) {
    const std::string key = std::string(line).substr(0, std::string(line).find(' '));
    if (extra.find(key + " =") == std::string::npos) section += std::string(line) + "\n";
  }
  return section + "\n";
}

// `spec` is "physical|min|max|measurement".
inline std::string Channel(const std::string& task, const std::string& name, const std::string& spec,
                           const std::string& type = "Analog Input", const std::string& extra = "") {
  std::vector<std::string> parts;
  std::stringstream fields(spec);
  std::string field;
  while (std::getline(fields, field, '|')) parts.push_back(field);
  parts.resize(4);
  return "[DAQmxChannel " + task + "/" + name + "]\nChanType = " + type + "\nPhysicalChanName = " + parts[0] +
         "\nAI.MeasType = " + (parts[3].empty() ? "Voltage" : parts[3]) + "\nAI.Min = " + parts[1] +
         "\nAI.Max = " + parts[2] + "\n" + extra + "\n";
}

// A task of ±10 V channels named after their physical channels ("ai0").
inline std::string Task(const std::string& name, const std::string& physicals,
                        const std::string& type = "Analog Input", const std::string& extra = "",
                        const std::string& channel_extra = "") {
  std::vector<std::string> names;
  std::string channels;
  for (const auto& physical : Physicals(physicals)) {
    std::string channel = physical.substr(physical.find('/') + 1);
    for (const auto& existing : names) {
      if (existing == channel) channel = physical.substr(0, physical.find('/')) + "_" + channel;
    }
    names.push_back(channel);
    channels += Channel(name, channel, physical + "|-10|10|Voltage", type, channel_extra);
  }
  return TaskSection(name, names, extra) + channels;
}

inline std::string Device(const std::string& name, const std::string& product, const std::string& extra = "") {
  return "[DAQmxDevice " + name + "]\nProductType = " + product + "\nDevSerialNum = 0x0\nDevIsSimulated = 1\n" + extra +
         "\n";
}

// Declares every device that channels name but the text does not describe,
// as a 64-channel PCIe-6363.
inline std::string WithDevices(std::string ini) {
  for (size_t at = ini.find("Dev"); at != std::string::npos; at = ini.find("Dev", at + 3)) {
    size_t end = at + 3;
    while (end < ini.size() && std::isdigit(static_cast<unsigned char>(ini[end]))) ++end;
    if (end == at + 3 || end >= ini.size() || ini[end] != '/') continue;
    const std::string name = ini.substr(at, end - at);
    if (ini.find("[DAQmxDevice " + name + "]") == std::string::npos) {
      ini += Device(name, "PCIe-6363", "Sim.AIChannels = 64\n");
    }
  }
  return ini;
}

// A configuration file for one test, with its devices declared.
class SimConfig : public testsupport::SimConfigFile {
 public:
  explicit SimConfig(const std::string& ini) : SimConfigFile(WithDevices(ini)) {}
};

}  // namespace testini
