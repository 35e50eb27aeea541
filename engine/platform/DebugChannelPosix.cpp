#include <unistd.h>

#include <cerrno>
#include <string>

#include "DebugChannel.h"

void WriteToDebugChannel(std::string_view line) {
  std::string whole(line);
  whole.push_back('\n');
  // One write per line, so a line reaches a pipe or terminal in one piece.
  std::string_view rest = whole;
  while (!rest.empty()) {
    const ssize_t n = ::write(STDERR_FILENO, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere to write: diagnostics are best effort
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}
