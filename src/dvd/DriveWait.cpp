#include "dvd/DriveWait.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "engine/EventPump.h"

namespace pcm {

namespace {

// Mount table fields write blanks and a few other bytes as \ooo.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    bool octal = field[i] == '\\' && i + 3 < field.size();
    for (size_t k = 1; octal && k <= 3; ++k) octal = field[i + k] >= '0' && field[i + k] <= '7';
    if (octal) {
      out += char(std::stoi(field.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool Within(const std::string& path, const std::string& mount) {
  if (mount == "/") return !path.empty() && path[0] == '/';
  return path.compare(0, mount.size(), mount) == 0 &&
         (path.size() == mount.size() || path[mount.size()] == '/');
}

}  // namespace

std::string MountPointOf(const std::string& path, const std::string& mountsFile, std::string* device,
                         std::string* fileSystem) {
  std::ifstream in(mountsFile);
  std::string line, best;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string dev, mount, type;
    if (!(fields >> dev >> mount >> type)) continue;
    mount = UnescapeMountField(mount);
    // A later mount on the same point hides the earlier one.
    if (Within(path, mount) && mount.size() >= best.size()) {
      best = mount;
      if (device) *device = UnescapeMountField(dev);
      if (fileSystem) *fileSystem = type;
    }
  }
  return best;
}

bool OnOpticalDrive(const std::string& path, const std::string& mountsFile) {
  std::string device, type;
  if (MountPointOf(path, mountsFile, &device, &type).empty()) return false;
  return device.compare(0, 7, "/dev/sr") == 0 || type == "iso9660" || type == "udf";
}

void WaitForDrive(const std::string& mountRoot) {
  auto waiting = std::make_shared<std::atomic<bool>>(true);
  std::thread worker([mountRoot, waiting] {
    int fd = open(mountRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      struct stat st;
      fstat(fd, &st);
      close(fd);
    }
    // Whether the drive answered or failed, the wait is over.
    waiting->store(false);
  });
  // Running events here is safe: every DVD command refuses while another
  // listing runs, and the list is disabled for input meanwhile.
  PumpEventsUntil([&] { return !waiting->load(); }, -1);
  worker.join();
}

}  // namespace pcm
