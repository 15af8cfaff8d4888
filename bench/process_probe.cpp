#include "process_probe.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string proc_dir(pid_t pid) { return pid == 0 ? "/proc/self" : "/proc/" + std::to_string(pid); }

// The number after "key:" in a /proc status file, or -1.
long status_field(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    return -1;
}

std::string first_line(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace

long resident_kib(pid_t pid) { return status_field(proc_dir(pid) + "/status", "VmRSS"); }

int open_fd_count(pid_t pid)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    int count = 0;
    for (fs::directory_iterator it(proc_dir(pid) + "/fd", ec), end; !ec && it != end; it.increment(ec)) ++count;
    // Listing our own folder holds one descriptor open for the listing itself.
    return pid == 0 && count > 0 ? count - 1 : count;
}

std::vector<ThreadSample> sample_threads(pid_t pid)
{
    namespace fs = std::filesystem;
    std::vector<ThreadSample> threads;
    std::error_code ec;
    for (fs::directory_iterator it(proc_dir(pid) + "/task", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string task = it->path().string();
        ThreadSample s;
        s.tid = static_cast<pid_t>(std::stol(it->path().filename().string()));
        s.name = first_line(task + "/comm");
        std::istringstream(first_line(task + "/schedstat")) >> s.cpu_ns;
        s.voluntary_switches = static_cast<std::uint64_t>(std::max(0L, status_field(task + "/status", "voluntary_ctxt_switches")));
        s.involuntary_switches =
            static_cast<std::uint64_t>(std::max(0L, status_field(task + "/status", "nonvoluntary_ctxt_switches")));
        threads.push_back(s);
    }
    return threads;
}

std::vector<ThreadDelta> thread_deltas(const std::vector<ThreadSample>& before, const std::vector<ThreadSample>& after)
{
    std::vector<ThreadDelta> deltas;
    for (const ThreadSample& a : after)
        for (const ThreadSample& b : before)
            if (a.tid == b.tid)
                deltas.push_back({a.name, static_cast<double>(a.cpu_ns - b.cpu_ns) / 1e6,
                                  a.voluntary_switches - b.voluntary_switches});
    return deltas;
}
