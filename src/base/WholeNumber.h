#pragma once
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace pcm {

// A whole decimal number and nothing else (no blanks, no fraction), or
// nothing when the text is not one or does not fit T.
// A "-" sign is taken only by signed types.
template <class T>
std::optional<T> ReadWholeNumber(std::string_view text) {
  T v = 0;
  const char* b = text.data();
  const char* e = b + text.size();
  auto [p, ec] = std::from_chars(b, e, v);
  if (text.empty() || ec != std::errc() || p != e) return std::nullopt;
  return v;
}

// The same with an optional leading "+" as well as "-".
template <class T>
std::optional<T> ReadSignedWholeNumber(std::string_view text) {
  if (!text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text[0] == '-') return std::nullopt;
  }
  return ReadWholeNumber<T>(text);
}

// Reads a decimal integer that may have leading blanks and must fill the rest
// of the text, of at most 10^12 either way; false when it does not.
inline bool ReadPaddedInteger(const std::string& text, long long& value) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  auto v = ReadSignedWholeNumber<long long>(std::string_view(text).substr(i));
  if (!v || *v > 1000000000000LL || *v < -1000000000000LL) return false;
  value = *v;
  return true;
}

}  // namespace pcm
