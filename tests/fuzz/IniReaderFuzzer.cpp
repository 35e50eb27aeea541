// Takes arbitrary bytes as the window settings file, writes the settings into it and checks that
// they read back and that nothing else in the text changed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "IniRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string problem =
      CheckIniRoundTrip(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
