#pragma once
#include <sys/types.h>

#include <string>

namespace adapter {

inline constexpr const char* kModuleName = "register-probe.so";

// Loads the probe module that lies beside this program and runs the probe.
// A module that cannot be loaded gives one error line naming it and exit
// code 1, like a file that cannot be described. The probe ends with parent,
// the process that started this program.
int LoadAndRunProbe(const std::string& path, pid_t parent);

}  // namespace adapter
