#pragma once
#include <stdexcept>

namespace pcm {

// A failure that abandons the command that raised it; the dispatcher shows
// its text in the error box and the program goes on.
class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A fault in "profiles.pop" itself, named by file, block and line, as
// opposed to a media file whose values cannot be used.
class ProfileFileError : public CommandError {
 public:
  using CommandError::CommandError;
};

}  // namespace pcm
