#pragma once
#include <cstddef>

namespace pcm {

// Bounds of a plausible medium, shared by the probe (which drops values
// beyond them) and the profile file (which refuses them): 1 Gbit/s, a side
// of 16384 pixels, a duration of 999:59:59. Far beyond any real format, yet
// small enough that every product of them stays exact in 64 bits.
inline constexpr long long kMaxKbps = 1'000'000;
inline constexpr long long kMaxFrameSide = 16384;
inline constexpr size_t kMaxHourDigits = 3;
inline constexpr size_t kMaxDurationText = kMaxHourDigits + 6;
// Streams of one file that are described and kept; a real file has a few.
inline constexpr size_t kMaxStreams = 256;

}  // namespace pcm
