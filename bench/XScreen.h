#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct xcb_connection_t;

// The virtual screen as a user sees it: find a program's window, move the pointer and click
// through the XTEST extension (input the server treats as a real device's), and read pixels.
class TXScreen {
 public:
  struct TPoint {
    int x = 0, y = 0;
  };

  // Connects to $DISPLAY; std::runtime_error when there is no display or no XTEST.
  TXScreen();
  ~TXScreen();
  TXScreen(const TXScreen&) = delete;
  TXScreen& operator=(const TXScreen&) = delete;

  // The managed top-level window of process `pid` whose title starts with `titlePrefix`, or 0.
  uint32_t FindWindow(pid_t pid, const std::string& titlePrefix);
  // Screen position of the window's client area.
  TPoint Origin(uint32_t window);
  void MovePointer(TPoint at);
  // Press and release of the first button where the pointer is; returns once it is sent.
  void Click();
  std::vector<uint8_t> Grab(TPoint at, int width, int height);

 private:
  uint32_t Atom(const char* name);
  void FakeInput(uint8_t type, uint8_t detail, TPoint at);

  xcb_connection_t* connection_ = nullptr;
  uint32_t root_ = 0;
};
