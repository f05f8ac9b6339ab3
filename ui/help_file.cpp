#include "ui/help_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace ui {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool IsHelpName(const std::string& name) {
  const std::string lower = Lower(name);
  return lower.size() > 4 && lower.starts_with("ni") && lower.ends_with(".chm");
}

}  // namespace

std::string FindHelpFile(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path path(std::u8string(folder.begin(), folder.end()));
  std::filesystem::directory_iterator it(path, error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::u8string utf8 = it->path().filename().u8string();
    const std::string name(utf8.begin(), utf8.end());
    if (name.starts_with(".") || !it->is_regular_file(error) || !IsHelpName(name)) continue;
#ifdef _WIN32
    return folder + "\\" + name;
#else
    return folder + "/" + name;
#endif
  }
  return {};
}

}  // namespace ui
