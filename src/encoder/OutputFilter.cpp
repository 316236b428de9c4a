#include "OutputFilter.h"

#include <algorithm>
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

// Whether text from pos to its end could still grow into a time to
// rewrite: a beginning of "time=" and [-]H:MM:SS[.F] that reaches the end.
bool MayBeUnfinishedTime(const std::string& text, size_t pos) {
  static const std::string kKey = "time=";
  size_t n = text.size();
  size_t rest = n - pos;
  if (rest <= kKey.size()) return text.compare(pos, rest, kKey, 0, rest) == 0;
  if (text.compare(pos, kKey.size(), kKey) != 0) return false;
  size_t p = pos + kKey.size();
  if (text[p] == '-') ++p;
  size_t hoursStart = p;
  while (p < n && IsDigit(text[p]) && p - hoursStart < 12) ++p;
  if (p == n) return true;
  if (p == hoursStart) return false;
  for (int field = 0; field < 2; ++field) {
    if (text[p++] != ':') return false;
    for (int digit = 0; digit < 2; ++digit) {
      if (p == n) return true;
      if (!IsDigit(text[p++])) return false;
    }
    if (p == n) return true;
  }
  if (text[p++] != '.') return false;
  while (p < n && IsDigit(text[p])) ++p;
  return p == n;
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
      if (watch_) watch_(pending_);
      RewriteTimes(pending_);
      Rename();
      Send(pending_.size());
    } else if (pending_.size() >= kMaxPending) {
      // A long line without an end: send it on, but keep back a time that
      // may still be arriving. What is kept has not been rewritten, so each
      // time is rewritten exactly once, whole.
      size_t keep = pending_.size();
      for (size_t p = pending_.size() - std::min(pending_.size(), kMaxUnfinished); p < pending_.size(); ++p) {
        if (MayBeUnfinishedTime(pending_, p)) {
          keep = p;
          break;
        }
      }
      std::string head = pending_.substr(0, keep);
      pending_.erase(0, keep);
      RewriteTimes(head);
      if (!head.empty()) sink_(head.data(), head.size());
    }
  }
}

void OutputFilter::Finish() {
  if (watch_ && !pending_.empty()) watch_(pending_);
  RewriteTimes(pending_);
  Rename();
  Send(pending_.size());
}

void OutputFilter::Rename() {
  if (from_.empty()) return;
  for (size_t at = pending_.find(from_); at != std::string::npos; at = pending_.find(from_, at + to_.size()))
    pending_.replace(at, from_.size(), to_);
}

void OutputFilter::Send(size_t count) {
  if (count > 0) sink_(pending_.data(), count);
  pending_.erase(0, count);
}

}  // namespace adapter
