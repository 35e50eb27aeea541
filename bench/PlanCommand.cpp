// The benchmark's targets for the programs that read them from files or arguments.

#include <cstdio>
#include <stdexcept>
#include <string>

#include "Commands.h"
#include "Options.h"
#include "TargetPlan.h"

int RunPlan(int argc, char** argv) {
  const TOptions options(argc, argv, {"targets", "format"}, {"silent"});
  const auto targets =
      BenchTargets(static_cast<int>(options.Number("targets", 0)), options.Has("silent"));
  const std::string format = options.Text("format", "addresses");
  if (format == "hostconfig") {
    std::fputs(HostConfigJson(targets).c_str(), stdout);
  } else if (format == "addresses") {
    for (const auto& target : targets) std::printf("%s\n", target.address.c_str());
  } else {
    throw std::invalid_argument("--format is hostconfig or addresses");
  }
  return 0;
}
