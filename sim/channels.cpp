#include "sim/channels.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "sim/errors.h"
#include "sim/ini.h"

namespace sim {
namespace {

constexpr uint64_t kMostInRange = 65536;  // names one range may stand for

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

int32 BadRange(std::string_view entry, const std::string& why) {
  return Fail(daqmx::status::kInvalidRangeSyntax, "Range: " + std::string(entry) + "\n" + why);
}

// "Dev1/ai0:3" -> Dev1/ai0 ... Dev1/ai3; the end may repeat the prefix ("ai0:ai3").
int32 ExpandRange(std::string_view entry, size_t colon, std::vector<std::string>& names) {
  const std::string_view left = entry.substr(0, colon);
  std::string_view right = entry.substr(colon + 1);
  size_t digits = left.size();
  while (digits > 0 && IsDigit(left[digits - 1])) --digits;
  const std::string_view prefix = left.substr(0, digits);
  const std::string_view first_text = left.substr(digits);
  if (right.size() > prefix.size() && EqualsNoCase(right.substr(0, prefix.size()), prefix) && !prefix.empty()) {
    right.remove_prefix(prefix.size());
  }
  uint64_t first = 0;
  uint64_t last = 0;
  const auto parse = [](std::string_view text, uint64_t& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
  };
  if (!parse(first_text, first) || !parse(right, last)) {
    return BadRange(entry, "A range is a name ending in a number, a colon and the last number.");
  }
  const uint64_t count = (first <= last ? last - first : first - last) + 1;
  if (count > kMostInRange) return BadRange(entry, "The range names too many objects.");
  const size_t width = first_text.size() > 1 && first_text[0] == '0' ? first_text.size() : 0;
  for (uint64_t i = 0; i < count; ++i) {
    std::string number = std::to_string(first <= last ? first + i : first - i);
    if (number.size() < width) number.insert(0, width - number.size(), '0');
    names.push_back(std::string(prefix) + number);
  }
  return 0;
}

}  // namespace

int32 ExpandNames(std::string_view list, std::vector<std::string>& names) {
  for (const auto& entry : SplitList(list)) {
    const auto colon = entry.rfind(':');
    if (colon == std::string::npos) {
      names.push_back(entry);
    } else if (const int32 status = ExpandRange(entry, colon, names); status < 0) {
      return status;
    }
  }
  return 0;
}

int32 FindChannels(const TaskConfig& task, std::string_view list, std::vector<size_t>& found) {
  if (Trim(list).empty()) {
    for (size_t i = 0; i < task.channels.size(); ++i) found.push_back(i);
    return 0;
  }
  std::vector<std::string> names;
  if (const int32 status = ExpandNames(list, names); status < 0) return status;
  for (const auto& name : names) {
    size_t i = 0;
    while (i < task.channels.size() && !EqualsNoCase(task.channels[i].name, name) &&
           !EqualsNoCase(task.channels[i].physical, name)) {
      ++i;
    }
    if (i == task.channels.size()) {
      return Fail(daqmx::status::kChannelNotInTask, "Channel Name: " + name + "\nTask Name: " + task.name);
    }
    found.push_back(i);
  }
  return 0;
}

int32 FindPhysicalChannel(const Config& config, const std::string& name, const DeviceConfig*& device) {
  const auto slash = name.find('/');
  device = config.FindDevice(Trim(std::string_view(name).substr(0, slash)));
  if (device == nullptr) return Fail(daqmx::status::kInvalidDeviceId, "Device Specified: " + name.substr(0, slash));
  const std::string channel = slash == std::string::npos ? std::string() : name.substr(slash + 1);
  const bool analog = channel.size() > 2 && channel.size() <= 6 && EqualsNoCase(channel.substr(0, 2), "ai") &&
                      std::all_of(channel.begin() + 2, channel.end(), IsDigit);
  if (!analog || std::stoi(channel.substr(2)) >= device->ai_channels) {
    return Fail(daqmx::status::kPhysicalChannelDoesNotExist, "Physical Channel Name: " + name);
  }
  return 0;
}

}  // namespace sim
