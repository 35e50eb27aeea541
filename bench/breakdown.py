#!/usr/bin/env python3
"""Breaks down one kept engine case of bench/run.sh --keep beyond what the table shows.

Usage: bench/breakdown.py CASE_DIR [BUILD_DIR]
  CASE_DIR   e.g. KEEP/engine-raw-1000-answering
  BUILD_DIR  the build whose halvoro-bench made the run (default build/), for the target plan

Prints, for the targets that answer: the schedule error (request at the device minus its
deadline, deadline k = the add time + k intervals) split into each target's own median offset
and what is left around it, the worst rounds, and the spread of the deadlines in the worst one;
then the reported round-trip time minus the real one at the device, as a distribution.
"""
import collections
import statistics
import subprocess
import sys

case = sys.argv[1].rstrip('/')
build = sys.argv[2] if len(sys.argv) > 2 else 'build'
name = case.split('/')[-1].split('-')
targets = int(name[2])
plan = subprocess.run([build + '/bench/halvoro-bench', 'plan', '--targets', str(targets)],
                      check=True, capture_output=True, text=True).stdout.split()
index = {address: i for i, address in enumerate(plan)}
interval_ns = 1_000_000_000


def quantile(values, q):
    return values[min(len(values) - 1, int(q * len(values)))]


added = {}
reports = []  # (target, sent, last ms)
for line in open(case + '/engine.txt'):
    f = line.split()
    if f[0] == 'add':
        added[int(f[1])] = int(f[2])
    elif f[0] == 'n':
        reports.append((int(f[2]), int(f[3]), int(f[5])))

requests = collections.defaultdict(list)  # target -> [(key, ns)]
replies = collections.defaultdict(list)   # key -> [ns]
for line in open(case + '/capture.txt'):
    f = line.split()
    key = (f[2], f[3])
    if f[1] == 'q':
        requests[index[f[2]]].append((key, int(f[0])))
    else:
        replies[key].append(int(f[0]))

answering = [i for i in requests if i % 10 != 9 and i in added]
errors = {}
for i in answering:
    errors[i] = [(t - added[i] - k * interval_ns) / 1e6 for k, (_, t) in enumerate(requests[i])]
every = sorted(e for v in errors.values() for e in v)
offsets = sorted(statistics.median(v) for v in errors.values())
around = sorted(e - statistics.median(v) for v in errors.values() for e in v)
print('adds spread over %.1f ms' % ((max(added.values()) - min(added.values())) / 1e6))
print('schedule error, answering targets (ms): median %.2f, p99 %.2f, max %.2f (%d probes)'
      % (quantile(every, .5), quantile(every, .99), every[-1], len(every)))
print('  each target\'s own median offset: median %.2f, p99 %.2f, max %.2f'
      % (quantile(offsets, .5), quantile(offsets, .99), offsets[-1]))
print('  around it: p99 %.2f, max %.2f' % (quantile(around, .99), around[-1]))
rounds = collections.defaultdict(list)
for v in errors.values():
    for k, e in enumerate(v):
        rounds[k].append(e)
worst = sorted(((quantile(sorted(v), .99), k) for k, v in rounds.items()), reverse=True)[:5]
print('  worst rounds (round: p99 ms): ' + ', '.join('%d: %.2f' % (k, p) for p, k in worst))
k = next(k for _, k in worst if k > 0)
due = sorted((added[i] + k * interval_ns, errors[i][k]) for i in answering if len(errors[i]) > k)
slots = collections.defaultdict(list)
for t, e in due:
    slots[int((t - due[0][0]) / 5e6)].append(e)
print('  round %d by 5 ms of deadlines (deadlines: median / max error ms):' % k)
for s in sorted(slots):
    v = sorted(slots[s])
    print('    +%3d ms: %4d: %.2f / %.2f' % (s * 5, len(v), quantile(v, .5), v[-1]))

rtt = []
for i, sent, ms in reports:
    if ms < 0 or sent - 1 >= len(requests[i]):
        continue
    key, t = requests[i][sent - 1]
    later = [r for r in replies[key] if r > t]
    if later:
        rtt.append(ms - (min(later) - t) / 1e6)
rtt.sort()
print('reported round trip minus the real one at the device (ms): min %.2f, median %.2f, '
      'p99 %.2f, p99.9 %.2f, max %.2f; over +1 ms: %d, under -1 ms: %d of %d'
      % (rtt[0], quantile(rtt, .5), quantile(rtt, .99), quantile(rtt, .999), rtt[-1],
         sum(e > 1 for e in rtt), sum(e < -1 for e in rtt), len(rtt)))
