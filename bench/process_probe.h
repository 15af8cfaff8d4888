#pragma once
// What the kernel tells about a process: resident memory, open descriptors, CPU time and
// wake-ups per thread (from /proc).

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// VmRSS of the process in KiB; -1 when unreadable. pid 0 is this process.
long resident_kib(pid_t pid = 0);
// Entries of /proc/<pid>/fd.
int open_fd_count(pid_t pid = 0);

struct ThreadSample {
    pid_t tid = 0;
    std::string name;
    std::uint64_t cpu_ns = 0;            // time on a CPU (schedstat)
    std::uint64_t voluntary_switches = 0; // each one a sleep that ended: a wake-up
    std::uint64_t involuntary_switches = 0;
};

std::vector<ThreadSample> sample_threads(pid_t pid = 0);

struct ThreadDelta {
    std::string name;
    double cpu_ms = 0;
    std::uint64_t wakeups = 0;
};

// Per thread present in both samples (by tid): CPU and wake-ups between them.
std::vector<ThreadDelta> thread_deltas(const std::vector<ThreadSample>& before,
                                       const std::vector<ThreadSample>& after);
