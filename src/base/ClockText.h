#pragma once
#include <cstdint>
#include <string>

namespace pcm {

// Time texts hh:mm:ss. ParseClock reads the hours up to the first ":" (at
// least two characters, so 100 hours and more are read whole), then minutes
// and seconds by position, and yields 0 when a field is not a number or the
// time does not fit. FormatClock writes at least two hour digits.
int32_t ParseClock(const std::string& text);
std::string FormatClock(int32_t seconds);

}  // namespace pcm
