#pragma once
#include <string>

namespace adapter {

// Loads the probe module that lies beside this program and runs the probe.
// A module that cannot be loaded gives one error line and exit code 1, like
// a file that cannot be described.
int LoadAndRunProbe(const std::string& path);

}  // namespace adapter
