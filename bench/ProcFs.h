#pragma once

#include <sys/types.h>

#include <cstdint>

// Figures of another process from /proc. A process that is gone reads as zeros.
struct TProcessStatus {
  int64_t rssKiB = 0, peakRssKiB = 0;  // VmRSS, VmHWM
  int threads = 0;
};
TProcessStatus ReadStatus(pid_t pid);
int CountOpenFds(pid_t pid);
// User + system time of the whole process, threads that ended included. The kernel scales its
// tick samples to the exact run time, so only the unit (1/CLK_TCK) limits the precision.
double ProcessCpuSeconds(pid_t pid);
// Run time of one thread, exact (nanoseconds from schedstat).
double ThreadCpuSeconds(pid_t pid, pid_t tid);
