// halvoro-bench: the parts of the benchmark that bench/run.sh puts together. Each subcommand is
// a separate process, so that the test host, the measured program and the measuring never share
// a CPU account.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "Commands.h"

namespace {

constexpr const char* kUsage = R"(Usage: halvoro-bench COMMAND [OPTION]...
Run by bench/run.sh inside a private network namespace (unshare -n -m) with the test host.

  host     --capture FILE [--targets N] [--silent] [--ping-group-range open|closed]
           [--ready FILE] [--stats FILE]
           the test host answering the benchmark's first N targets, capturing every echo
           packet with kernel timestamps; runs until SIGTERM or SIGINT
  engine   --targets N [--silent] [--run-for SECONDS] --out FILE
           the engine alone, its main thread only taking the notifications, until SIGINT
  measure  --out FILE [--warmup S] [--duration S] [--stdout FILE] [--stderr FILE]
           [--window-title PREFIX --click X,Y --click-region X,Y,W,H [--clicks K]]
           [--stop-phase MS] [--stop-limit S] -- COMMAND [ARG]...
           runs COMMAND and measures it, then stops it with SIGINT (a window: alt+F4)
  plan     --targets N [--silent] [--format addresses|hostconfig]
           prints the first N targets
  report   RUN_DIRECTORY
           prints the table of a run
)";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  try {
    if (command == "host") return RunHost(argc - 2, argv + 2);
    if (command == "engine") return RunEngine(argc - 2, argv + 2);
    if (command == "measure") return RunMeasure(argc - 2, argv + 2);
    if (command == "plan") return RunPlan(argc - 2, argv + 2);
    if (command == "report") return RunReport(argc - 2, argv + 2);
    std::fprintf(stderr, "halvoro-bench: unknown command %s\n%s", command.c_str(), kUsage);
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "halvoro-bench %s: %s\n", command.c_str(), error.what());
    return 1;
  }
}
