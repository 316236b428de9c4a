#pragma once
#include <cstdint>

namespace pcm {

// Multiply then divide with a 64-bit intermediate, the quotient rounded to the
// nearest integer with halves away from zero. A zero divisor yields -1, as the
// classic platform call does, so callers must guard against it.
inline int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator) {
  if (denominator == 0) return -1;
  int64_t product = int64_t(number) * int64_t(numerator);
  int64_t d = denominator;
  bool negative = (product < 0) != (d < 0);
  uint64_t ap = product < 0 ? uint64_t(-product) : uint64_t(product);
  uint64_t ad = d < 0 ? uint64_t(-d) : uint64_t(d);
  uint64_t q = (ap + ad / 2) / ad;
  int64_t r = negative ? -int64_t(q) : int64_t(q);
  if (r > INT32_MAX || r < INT32_MIN) return -1;
  return int32_t(r);
}

}  // namespace pcm
