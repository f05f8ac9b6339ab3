#include "sim/ini.h"

#include <cctype>
#include <unordered_map>

namespace sim {
namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// "[DAQmxTask My Task]" -> type "DAQmxTask", name "My Task".
std::optional<IniError> ParseHeader(std::string_view line, int number, IniSection& section) {
  if (line.back() != ']') return IniError{number, "section header without closing ']'"};
  const std::string inner = Trim(line.substr(1, line.size() - 2));
  if (inner.empty()) return IniError{number, "empty section header '[]'"};
  const auto blank = inner.find_first_of(" \t");
  section.line = number;
  section.type = inner.substr(0, blank);
  section.name = blank == std::string::npos ? std::string() : Trim(std::string_view(inner).substr(blank));
  return std::nullopt;
}

// Lower-case keys of the section being read, with their lines: one lookup per property keeps the parse linear.
using KeyLines = std::unordered_map<std::string, int>;

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (auto& c : lower) c = Lower(c);
  return lower;
}

std::optional<IniError> ParseProperty(std::string_view line, int number, IniSection* section, KeyLines& keys) {
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) {
    return IniError{number, "expected 'Property = Value' or '[Section]', found '" + std::string(line) + "'"};
  }
  IniProperty property{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), number};
  if (property.key.empty()) return IniError{number, "property without a name before '='"};
  if (section == nullptr) return IniError{number, "property '" + property.key + "' outside any [section]"};
  const auto [earlier, added] = keys.emplace(LowerCase(property.key), number);
  if (!added) {
    return IniError{
        number, "property '" + property.key + "' repeated (first given on line " + std::to_string(earlier->second) + ")"};
  }
  section->properties.push_back(std::move(property));
  return std::nullopt;
}

}  // namespace

const IniProperty* IniSection::Find(std::string_view key) const {
  for (const auto& property : properties) {
    if (EqualsNoCase(property.key, key)) return &property;
  }
  return nullptr;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> parts;
  if (Trim(text).empty()) return parts;
  size_t begin = 0;
  for (;;) {
    const auto comma = text.find(',', begin);
    parts.push_back(Trim(text.substr(begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin)));
    if (comma == std::string_view::npos) return parts;
    begin = comma + 1;
  }
}

IniDocument ParseIni(std::string_view text) {
  IniDocument document;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte order mark
  int number = 0;
  size_t begin = 0;
  KeyLines keys;
  while (begin <= text.size() && !document.error) {
    const auto end = text.find('\n', begin);
    const std::string line =
        Trim(text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
    ++number;
    if (!line.empty() && line[0] != ';' && line[0] != '#') {
      if (line[0] == '[') {
        document.sections.emplace_back();
        keys.clear();
        document.error = ParseHeader(line, number, document.sections.back());
      } else {
        document.error =
            ParseProperty(line, number, document.sections.empty() ? nullptr : &document.sections.back(), keys);
      }
    }
    if (end == std::string_view::npos) break;
    begin = end + 1;
  }
  return document;
}

}  // namespace sim
