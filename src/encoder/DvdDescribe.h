#pragma once
#include <sys/types.h>

#include <string>

namespace adapter {

inline constexpr const char* kDescribeDvdOption = "--describe-dvd";

// Prints the titles, chapters and streams of one IFO file as the lines of
// dvd/IfoLines.h, or one "error" line when it cannot be read; exits 0 either
// way, so a non-zero end means the reading itself failed (libdvdread
// crashed on the file). Ends at once on a stop request and with `parent`.
int DescribeDvd(const std::string& path, pid_t parent);

}  // namespace adapter
