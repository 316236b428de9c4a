#pragma once
#include <cstddef>
#include <functional>
#include <string>

namespace adapter {

// Rewrites every "time=hh:mm:ss.cc" in text into "time=<seconds>.cc"
// (time=00:01:23.45 becomes time=83.45). Other forms, such as time=N/A or
// an incomplete time, stay as they are.
void RewriteTimes(std::string& text);

// Passes ffmpeg's output on as it comes, one line at a time so that a time
// is never split before it is rewritten. A line is sent at every CR or LF;
// a line without an end is sent in pieces once it exceeds kMaxPending, so
// memory stays bounded whatever the input.
class OutputFilter {
 public:
  using Sink = std::function<void(const char*, size_t)>;
  static constexpr size_t kMaxPending = 4096;
  // The longest unfinished time kept back from a long line; a time longer
  // than this (a fraction of endless digits) is rewritten as far as it came,
  // which leaves the same text as rewriting it whole.
  static constexpr size_t kMaxUnfinished = 64;

  explicit OutputFilter(Sink sink) : sink_(std::move(sink)) {}
  // Every whole line shows `to` where it says `from`: the output's name in
  // place of the descriptor ffmpeg was given to write it through.
  void ShowAs(std::string from, std::string to) {
    from_ = std::move(from);
    to_ = std::move(to);
  }
  // Every whole line is also shown to `watch` as it was received, before
  // any rewriting.
  void Watch(std::function<void(const std::string&)> watch) { watch_ = std::move(watch); }
  void Feed(const char* data, size_t size);
  // Sends what is left of an unfinished last line.
  void Finish();

 private:
  void Send(size_t count);
  void Rename();

  Sink sink_;
  std::string pending_;
  std::string from_, to_;
  std::function<void(const std::string&)> watch_;
};

}  // namespace adapter
