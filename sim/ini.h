// Lexical reading of NI MAX configuration exports: sections of
// "Property = Value" lines. Knows nothing about what the sections mean.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace sim {

struct IniProperty {
  std::string key;
  std::string value;
  int line = 0;
};

struct IniSection {
  std::string type;  // "DAQmxTask"; the whole header for "[DAQmx]"
  std::string name;  // "Demo4ch"; empty for "[DAQmx]"
  int line = 0;
  std::vector<IniProperty> properties;

  // Case-insensitive lookup, as NI property names are.
  const IniProperty* Find(std::string_view key) const;
};

struct IniError {
  int line = 0;
  std::string problem;
};

struct IniDocument {
  std::vector<IniSection> sections;
  std::optional<IniError> error;  // the first problem; sections are then incomplete
};

IniDocument ParseIni(std::string_view text);

// Helpers shared by the configuration model.
using platform::Trim;
bool EqualsNoCase(std::string_view a, std::string_view b);
// Splits "a, b, c" at commas and trims each part; an empty text gives no parts.
std::vector<std::string> SplitList(std::string_view text);

}  // namespace sim
