// The table of a run: one row per case, in the order the run made them, and the goals of the
// 1000-target cases below it.

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Analysis.h"
#include "Commands.h"
#include "Options.h"
#include "TargetPlan.h"

namespace {

constexpr const char* kDash = "–";

struct TRow {
  TCase c;
  TFigures f;
};

std::string Format(const char* pattern, double a) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, a);
  return text;
}

std::string Format(const char* pattern, double a, double b) {
  char text[96];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

std::string Pair(const std::optional<TSpread>& s, const char* pattern = "%.2f / %.2f") {
  return s ? Format(pattern, s->median, s->max) : kDash;
}

std::string Triple(const std::optional<TSpread>& s) {
  if (!s) return kDash;
  char text[96];
  std::snprintf(text, sizeof text, "%.2f / %.2f / %.2f", s->median, s->p99, s->max);
  return text;
}

const TRow* Find(const std::vector<TRow>& rows, const std::string& program,
                 const std::string& sockets, int targets, bool silent = false) {
  for (const TRow& row : rows) {
    if (row.c.program == program && row.c.sockets == sockets && row.c.targets == targets &&
        row.c.silent == silent) {
      return &row;
    }
  }
  return nullptr;
}

std::string Label(const TCase& c, const TFigures& f) {
  std::string label = c.program;
  if (c.silent) label += ", never answering";
  if (c.targets == 0) label += ", empty";
  // fping and ping end with 1 when a target did not answer; ours must end cleanly.
  const bool ours = c.program == "engine" || c.program == "window";
  if (ours && f.exitStatus != 0) label += " (exit status " + std::to_string(f.exitStatus) + ")";
  return label;
}

// Replies more than a millisecond late at the 99th percentile (a burst of requests queued up at
// the test host, or the measured program left it little CPU): the error against the configured
// delay includes that.
bool HostWasLate(const TFigures& f) {
  return f.hostDelay && f.hostDelay->p99 > 1;
}

std::string Close(const TFigures& f) {
  std::string text;
  if (f.closeSeconds) {
    text = Format("%.3f", *f.closeSeconds);
  } else if (f.closeLimit) {
    text = Format("> %.0f (killed)", *f.closeLimit);
  } else {
    return kDash;
  }
  if (f.closePhaseMs) text += Format(" (+%.0f ms)", *f.closePhaseMs);
  return text;
}

std::string Cells(const TRow& row, const std::vector<TRow>& rows) {
  const TCase& c = row.c;
  const TFigures& f = row.f;
  const bool ours = c.program == "engine" || c.program == "window";
  std::string ratio = kDash;
  if (const TRow* anchor = Find(rows, "fping", c.sockets, c.targets);
      ours && !c.silent && anchor != nullptr && anchor->f.cpuPerMinute > 0) {
    ratio = Format("%.2f", f.cpuPerMinute / anchor->f.cpuPerMinute);
  }
  std::string perTarget = kDash;
  // Below a hundred targets the difference is within the page-sized noise of the process.
  if (const TRow* empty = Find(rows, c.program, c.sockets, 0);
      ours && c.targets >= 100 && empty != nullptr) {
    perTarget = Format("%.1f", (f.steadyMiB - empty->f.steadyMiB) * 1024 / c.targets);
  }
  std::string sent = kDash;
  if (f.due > 0) sent = std::to_string(f.sent) + " / " + std::to_string(f.due);
  std::string clicks = Pair(f.clickToPaint, "%.1f / %.1f");
  if (f.clicksWithoutPaint > 0)
    clicks += " (" + std::to_string(f.clicksWithoutPaint) + " none in 2 s)";
  const char* mark = f.scheduleFromFirstProbe ? " †" : "";
  std::ostringstream out;
  out << "| " << Label(c, f) << " | " << c.sockets << " | " << c.targets << " | "
      << Format("%.2f (%.1f %%)", f.cpuPerMinute, f.cpuPerMinute / 60 * 100) << " | " << ratio
      << " | " << Format("%.1f / %.1f", f.peakMiB, f.steadyMiB) << " | " << perTarget << " | "
      << f.threads << " | " << f.fds << " | " << (f.schedule ? Triple(f.schedule) + mark : kDash)
      << " | " << (f.drift ? Pair(f.drift) + mark : kDash) << " | " << sent << " | "
      << Pair(f.roundTrip) << (HostWasLate(f) ? " ‡" : "") << " | " << Pair(f.roundTripAtDevice)
      << " | " << Format("%.1f", f.mainThreadShare * 100) << " | "
      << (c.program == "window" ? clicks : kDash) << " | " << Close(f) << " | " << Pair(f.hostDelay)
      << " |";
  return out.str();
}

void Goal(const std::string& what, bool met, const std::string& measured) {
  std::printf("- %s: %s, %s\n", what.c_str(), measured.c_str(), met ? "met" : "**missed**");
}

// " (answering targets: ...; never answering: ...)" when there are both.
std::string ByKind(const std::optional<TSpread>& answering, const std::optional<TSpread>& silent,
                   const char* pattern, bool p99) {
  if (!answering || !silent) return {};
  return " (answering targets: " + Format(pattern, p99 ? answering->p99 : answering->max) +
         "; never answering: " + Format(pattern, p99 ? silent->p99 : silent->max) + ")";
}

void Goals(const std::vector<TRow>& rows, int largest) {
  for (const std::string sockets : {"datagram", "raw"}) {
    const std::string n = std::to_string(largest);
    if (const TRow* e = Find(rows, "engine", sockets, largest)) {
      if (const TRow* anchor = Find(rows, "fping", sockets, largest);
          anchor != nullptr && anchor->f.cpuPerMinute > 0) {
        const double ratio = e->f.cpuPerMinute / anchor->f.cpuPerMinute;
        Goal("engine, " + n + " targets, " + sockets + ": CPU at most 1.5 × fping's", ratio <= 1.5,
             Format("%.2f × fping", ratio));
      }
      if (const TRow* empty = Find(rows, "engine", sockets, 0)) {
        const double perTarget = (e->f.steadyMiB - empty->f.steadyMiB) * 1024 / largest;
        Goal("engine, " + n + " targets, " + sockets + ": at most 64 KiB per target",
             perTarget <= 64, Format("%.1f KiB per target", perTarget));
      }
      Goal("engine, " + n + " targets, " + sockets + ": every scheduled probe sent",
           e->f.sent == e->f.due,
           std::to_string(e->f.due - e->f.sent) + " of " + std::to_string(e->f.due) + " not sent");
      if (e->f.schedule) {
        Goal("engine, " + n + " targets, " + sockets + ": schedule error p99 ≤ 2 ms",
             e->f.schedule->p99 <= 2,
             Format("p99 %.2f ms", e->f.schedule->p99) +
                 ByKind(e->f.scheduleAnswering, e->f.scheduleSilent, "p99 %.2f ms", true));
      }
      if (e->f.drift) {
        Goal("engine, " + n + " targets, " + sockets + ": no drift (at most 1 ms over the run)",
             e->f.drift->max <= 1,
             Format("up to %.2f ms over the run", e->f.drift->max) +
                 ByKind(e->f.driftAnswering, e->f.driftSilent, "up to %.2f ms", false));
      }
      if (e->f.roundTrip) {
        std::string measured = Format("up to %.0f ms", e->f.roundTrip->max);
        if (e->f.roundTripAtDevice && e->f.hostDelay) {
          measured +=
              Format(" (against the device: up to %.2f ms; the test host up to %.2f ms late)",
                     e->f.roundTripAtDevice->max, e->f.hostDelay->max);
        }
        Goal("engine, " + n + " targets, " + sockets +
                 ": round-trip error ≤ 1 ms beyond the truncation",
             e->f.roundTrip->max <= 1, measured);
      }
    }
    if (const TRow* w = Find(rows, "window", sockets, largest)) {
      Goal("window, " + n + " targets, " + sockets + ": under 10 % of one core",
           w->f.cpuPerMinute < 6, Format("%.1f %%", w->f.cpuPerMinute / 60 * 100));
      if (w->f.clickToPaint || w->f.clicksWithoutPaint > 0) {
        const bool met = w->f.clicksWithoutPaint == 0 && w->f.clickToPaint->max <= 100;
        Goal("window, " + n + " targets, " + sockets + ": answers input within 100 ms", met,
             w->f.clickToPaint ? Format("up to %.1f ms", w->f.clickToPaint->max) : "no paint");
      }
    }
    for (const std::string program : {"window", "engine"}) {
      for (const TRow& row : rows) {
        if (row.c.program != program || row.c.sockets != sockets || !row.c.silent) continue;
        const std::string what = program + ", close with " + std::to_string(row.c.targets) +
                                 " never answering targets, " + sockets + ": under 1.5 s";
        if (row.f.closeSeconds) {
          Goal(what, *row.f.closeSeconds < 1.5, Format("%.3f s", *row.f.closeSeconds));
        } else if (row.f.closeLimit) {
          Goal(what, false, Format("not closed after %.0f s", *row.f.closeLimit));
        }
      }
    }
  }
}

}  // namespace

int RunReport(int argc, char** argv) {
  if (argc != 1) throw std::invalid_argument("report takes the run directory");
  const std::string run = argv[0];
  const auto settings = ReadKeyValues(run + "/run.txt");
  std::ifstream list(run + "/cases.txt");
  if (!list) throw std::runtime_error("missing " + run + "/cases.txt");
  std::vector<TRow> rows;
  int largest = 0;
  for (std::string line; std::getline(list, line);) {
    std::istringstream fields(line);
    TRow row;
    std::string plan;
    if (!(fields >> row.c.directory >> row.c.program >> row.c.sockets >> row.c.targets >> plan)) {
      continue;
    }
    row.c.silent = plan == "silent";
    row.f = Analyse(run, row.c);
    if (!row.c.silent) largest = std::max(largest, row.c.targets);
    rows.push_back(std::move(row));
  }
  if (rows.empty()) throw std::runtime_error("no cases in " + run + "/cases.txt");

  std::printf(
      "Each case: %s s measured after %s s of warm-up; interval %d ms, timeout %d ms. Targets: "
      "every 4th IPv4, the rest IPv6; test host delays 20, 1, 50 ms in turn; every 10th never "
      "answers.\n\n",
      settings.count("duration") ? settings.at("duration").c_str() : "?",
      settings.count("warmup") ? settings.at("warmup").c_str() : "?", kIntervalMs, kTimeoutMs);
  if (settings.count("load_before") && settings.count("load_after")) {
    std::printf("Load average (1, 5, 15 min) before the run: %s; after: %s.\n\n",
                settings.at("load_before").c_str(), settings.at("load_after").c_str());
  }
  std::puts(
      "| program | sockets | targets | CPU s/min (% core) | × fping | RSS peak / steady MiB | "
      "KiB per target | threads | fds | schedule error ms med / p99 / max | drift ms med / max | "
      "probes sent / due | RTT error ms med / max | RTT error at the device ms med / max | "
      "main thread % core | click → paint ms med / "
      "max | close s | test host delay error ms med / max |");
  std::puts("|---|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|");
  for (const TRow& row : rows) std::puts(Cells(row, rows).c_str());
  std::puts(
      "\n† deadlines counted from each target's first probe (the program's own add times are not "
      "visible from outside); the engine rows count from the moment AddTarget was called.\n"
      "Schedule error: the kernel's timestamp of the request crossing the test host's device "
      "minus the deadline. RTT error: the round-trip time the program reports minus the test "
      "host's delay (the engine reports whole milliseconds, cut off); at the device: minus the "
      "time the reply really took, request to reply at the test host's device. Test host delay "
      "error: that time minus the delay; ‡ marks rows where it exceeds 1 ms at the 99th "
      "percentile: replies came late (requests sent in a burst queue up at the test host, and "
      "it shares the two cores with the measured program), which the error against the "
      "configured delay includes and the one at the device does not. Close: alt+F4 to "
      "the end of the "
      "process (window), destruction of the monitor (engine); (+N ms): begun N ms after the "
      "never answering targets' probes went out, so their workers wait for replies.\n");
  std::puts("Goals:");
  Goals(rows, largest);
  // The table stands, but a run whose own programs failed is not a measurement to rely on.
  int failed = 0;
  for (const TRow& row : rows) {
    if ((row.c.program == "engine" || row.c.program == "window") && row.f.exitStatus != 0) {
      std::fprintf(stderr, "halvoro-bench report: %s ended with exit status %d\n",
                   row.c.directory.c_str(), row.f.exitStatus);
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}
