// Loads arbitrary bytes as the configuration file and checks that what was read round-trips.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ConfigRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string problem =
      CheckConfigRoundTrip(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
