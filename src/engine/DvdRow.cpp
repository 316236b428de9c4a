#include "engine/DvdRow.h"

#include <cstdlib>

namespace pcm {

std::string StreamIdFromText(const std::string& description) {
  size_t close = description.find(')');
  if (close == std::string::npos) return "0";
  return description.substr(close >= 4 ? close - 4 : 0, close >= 4 ? 4 : close);
}

int StreamIdValue(const std::string& id) {
  if (id.empty()) return 0;
  char* end = nullptr;
  long value = std::strtol(id.c_str(), &end, 0);
  if (*end != '\0' || value < 0 || value > 0xffff) return 0;
  return int(value);
}

std::string TwoDigitNumber(int n) { return (n >= 0 && n <= 9 ? "0" : "") + std::to_string(n); }

std::string DvdOutputCaption(const std::string& caption) {
  std::string name = caption;
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t text = name.find_first_not_of(" \t");
  name.erase(0, text == std::string::npos ? name.size() : text);
  return name;
}

}  // namespace pcm
