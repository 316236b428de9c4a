#pragma once
#include <string>
#include <string_view>

namespace pcm {

// Text made safe for a terminal: control characters (C0, DEL and C1) and
// the bytes of names that are not UTF-8 are written as \n, \r, \t or \xNN;
// everything else passes unchanged.
std::string Printable(std::string_view text);

// Writes text to standard output at once. The first failure is remembered
// and later text is dropped: a reader that went away must not stop the
// conversions, and a full disk must not pass unnoticed.
void Out(const std::string& text);
// errno of the first failed write to standard output, 0 when none failed.
int OutError();

// A closed pipe on standard output or error becomes a write error (EPIPE)
// instead of ending the program. The handler does nothing, so programs
// started later get the default disposition back.
void SurviveBrokenPipes();

}  // namespace pcm
