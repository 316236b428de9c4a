#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace adapter {

inline constexpr const char* kModuleName = "register-probe.so";

// The folder of the running program, with its "/": where the probe module
// and the program's own files lie.
std::string OwnFolder();

// The entry point `entry` of the probe module beside this program, loaded
// on the first call; null with the reason in *error.
void* ProbeModuleEntry(const char* entry, std::string* error);

// Loads the probe module that lies beside this program and describes each
// path in turn; with `separated` every description is followed by the
// record separator byte 0x1E. A module that cannot be loaded gives one
// error line naming it and exit code 1, like a file that cannot be
// described. The probe ends with parent, the process that started this
// program.
int LoadAndRunProbes(const std::vector<std::string>& paths, bool separated, pid_t parent);

// Loads the probe module for describing conversion results, before the
// adapter confines itself (the module need not lie where a confined
// conversion may read). False with the reason when it cannot be used.
bool LoadResultDescriber(std::string* error);
// The module's description of the file at path (see DescribeMedia), or ""
// when the module is not loaded.
std::string DescribeResult(const std::string& path);

// The option that asks for the separated descriptions of the paths after it.
inline constexpr const char* kDescribeEachOption = "--describe-each";

}  // namespace adapter
