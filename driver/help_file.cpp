#include "driver/help_file.h"

#include <algorithm>
#include <cctype>

#include "platform/system.h"

namespace driver {
namespace {

bool IsHelpName(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name.size() > 4 && name.starts_with("ni") && name.ends_with(".chm");
}

}  // namespace

std::string FindHelpFile(const std::string& folder) { return platform::FirstPlainFile(folder, IsHelpName); }

}  // namespace driver
