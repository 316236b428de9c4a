#include "FuzzSupport.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "core/Application.h"

namespace fuzz {

const std::string& ScratchDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/popclipmill-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) Fail("cannot make a scratch folder");
    setenv("POPCLIPMILL_CONFIG_DIR", made, 1);
    return std::string(made) + "/";
  }();
  return dir;
}

pcm::CoreApp& App() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication qapp(argc, argv);
  static pcm::CoreApp app({ScratchDir() + "popclipmill"});
  return app;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace fuzz
