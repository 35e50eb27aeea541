#include "DisplayCheck.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>

#include "WindowsText.h"

bool DesktopAvailable(std::string&) {
  return true;
}

void ShowStartupFailure(const std::string& message) {
  MessageBoxW(nullptr, WidenUtf8(message).c_str(), L"halvoro", MB_OK | MB_ICONERROR);
}
#else
#include <xcb/xcb.h>

#include <cstdio>

void ShowStartupFailure(const std::string& message) {
  std::fprintf(stderr, "halvoro: %s\n", message.c_str());
}

namespace {
const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}
}  // namespace

bool DesktopAvailable(std::string& why) {
  // The toolkit's own choice of platform (Wayland, offscreen, ...) is left to it.
  if (Env("QT_QPA_PLATFORM") || Env("WAYLAND_DISPLAY")) return true;
  const char* display = Env("DISPLAY");
  if (display) {
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    const bool reached = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (reached) return true;
  }
  why = std::string("halvoro: no display") + (display ? std::string(" at ") + display : "") +
        " to open the window on; without a screen, run it as: xvfb-run -a build/app/halvoro";
  return false;
}
#endif
