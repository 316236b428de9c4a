// Whether the window can appear: Qt aborts with a message about its platform
// plugins when the display it picks cannot be reached, so the display is
// tried first and the person is told what to do instead.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/BatchFrontEnd.h"
#ifdef POPCLIPMILL_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace pcm {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The platform named on the command line or in QT_QPA_PLATFORM, "" when
// none is named.
std::string NamedPlatform(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--") break;
    if ((a == "-platform" || a == "--platform") && i + 1 < argc) return argv[i + 1];
    for (const char* option : {"-platform=", "--platform="})
      if (a.rfind(option, 0) == 0) return a.substr(std::strlen(option));
  }
  return Environment("QT_QPA_PLATFORM");
}

// A Wayland compositor listens on a socket named by WAYLAND_DISPLAY, a path
// or a name in XDG_RUNTIME_DIR.
bool WaylandAnswers(const std::string& display) {
  std::string path = display;
  if (path.front() != '/') {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (runtime.empty()) return false;
    path = runtime + "/" + path;
  }
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// An X server takes the connection and the authorization: what Qt's X
// platform needs before it shows anything.
bool XAnswers(const std::string& display) {
#ifdef POPCLIPMILL_HAVE_XCB
  xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
  const bool ok = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return ok;
#else
  // Without the X library the display is taken as it is.
  return !display.empty();
#endif
}

}  // namespace

std::string WindowPlatformProblem(int argc, char** argv) {
  const std::string display = Environment("DISPLAY"), wayland = Environment("WAYLAND_DISPLAY");
  const std::string named = NamedPlatform(argc, argv);
  if (!named.empty() && named.rfind("xcb", 0) != 0) return {};
  if (named.empty() && !wayland.empty() && WaylandAnswers(wayland)) return {};
  if (!display.empty()) {
    if (XAnswers(display)) return {};
    return "the X display \"" + display + "\" does not answer";
  }
  if (!named.empty()) return "DISPLAY is not set for the X platform";
  if (!wayland.empty())
    return "the Wayland display \"" + wayland + "\" does not answer and DISPLAY is not set";
  return "neither DISPLAY nor WAYLAND_DISPLAY is set";
}

}  // namespace pcm
