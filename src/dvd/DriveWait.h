#pragma once
#include <string>

namespace pcm {

// True when the path lies on an optical disc: its mount's device is a
// /dev/sr* drive or its file system is iso9660 or udf. `mountsFile` is the
// mount table to read (the process's own unless a test gives another).
bool OnOpticalDrive(const std::string& path, const std::string& mountsFile = "/proc/self/mounts");

// The mount point holding the path, by the longest matching mount, or ""
// when the table cannot be read.
std::string MountPointOf(const std::string& path, const std::string& mountsFile = "/proc/self/mounts",
                         std::string* device = nullptr, std::string* fileSystem = nullptr);

// Waits until the drive under `mountRoot` answers: a worker opens and stats
// the root (which returns only once a disc has spun up) while this thread
// keeps running its events, so the window stays responsive. No time limit.
void WaitForDrive(const std::string& mountRoot);

}  // namespace pcm
