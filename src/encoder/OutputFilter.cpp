#include "OutputFilter.h"

#include <cstdint>

namespace adapter {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads [-]H+:MM:SS[.F+] at text[pos]. On success returns the length read
// and the replacement text.
size_t ParseClock(const std::string& text, size_t pos, std::string& replacement) {
  size_t p = pos;
  bool negative = p < text.size() && text[p] == '-';
  if (negative) ++p;
  size_t hoursStart = p;
  int64_t hours = 0;
  while (p < text.size() && IsDigit(text[p]) && p - hoursStart < 12) hours = hours * 10 + (text[p++] - '0');
  if (p == hoursStart) return 0;
  auto twoDigits = [&](int64_t& value) {
    if (p + 3 > text.size() || text[p] != ':' || !IsDigit(text[p + 1]) || !IsDigit(text[p + 2])) return false;
    value = (text[p + 1] - '0') * 10 + (text[p + 2] - '0');
    p += 3;
    return true;
  };
  int64_t minutes = 0, seconds = 0;
  if (!twoDigits(minutes) || !twoDigits(seconds)) return 0;
  std::string fraction;
  if (p < text.size() && text[p] == '.') {
    size_t f = p + 1;
    while (f < text.size() && IsDigit(text[f])) ++f;
    fraction = text.substr(p, f - p);
    p = f;
  }
  replacement = (negative ? "-" : "") + std::to_string(hours * 3600 + minutes * 60 + seconds) + fraction;
  return p - pos;
}

}  // namespace

void RewriteTimes(std::string& text) {
  static const std::string kKey = "time=";
  size_t pos = 0;
  while ((pos = text.find(kKey, pos)) != std::string::npos) {
    size_t value = pos + kKey.size();
    std::string replacement;
    size_t length = ParseClock(text, value, replacement);
    if (length > 0) {
      text.replace(value, length, replacement);
      pos = value + replacement.size();
    } else {
      pos = value;
    }
  }
}

void OutputFilter::Feed(const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    char c = data[i];
    pending_.push_back(c);
    if (c == '\r' || c == '\n') {
      RewriteTimes(pending_);
      Send(pending_.size());
    } else if (pending_.size() >= kMaxPending) {
      // A long line without an end: send all but a tail that may hold the
      // start of a time still arriving. A complete time is already
      // rewritten and cannot match again.
      RewriteTimes(pending_);
      Send(pending_.size() - 32);
    }
  }
}

void OutputFilter::Finish() {
  RewriteTimes(pending_);
  Send(pending_.size());
}

void OutputFilter::Send(size_t count) {
  if (count > 0) sink_(pending_.data(), count);
  pending_.erase(0, count);
}

}  // namespace adapter
