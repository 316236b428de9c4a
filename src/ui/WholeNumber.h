#pragma once
#include <charconv>
#include <optional>
#include <string>

namespace pcm {

// A whole decimal number and nothing else (no blanks, no fraction), or
// nothing when the text is not one or does not fit T.
template <class T>
std::optional<T> ReadWholeNumber(const std::string& text) {
  T v = 0;
  const char* b = text.data();
  const char* e = b + text.size();
  auto [p, ec] = std::from_chars(b, e, v);
  if (text.empty() || ec != std::errc() || p != e) return std::nullopt;
  return v;
}

}  // namespace pcm
