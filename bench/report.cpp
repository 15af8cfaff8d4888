#include "report.h"

#include <QtGlobal>

#include <sys/utsname.h>

#include <fstream>
#include <thread>

namespace {

std::string cpu_model()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown";
}

} // namespace

std::string load_average()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen + " (1, 5, 15 min)";
}

std::string machine_section()
{
    utsname u{};
    ::uname(&u);
    std::ostringstream out;
    out << "- CPU: " << cpu_model() << ", " << std::thread::hardware_concurrency() << " cores visible\n"
        << "- Kernel: " << u.sysname << ' ' << u.release << ' ' << u.machine << '\n'
        << "- Compiler: " << __VERSION__ << ", Qt " << qVersion() << '\n'
        << "- Build: " << CAMERA_BENCH_BUILD_TYPE << ", no sanitizers, QT_QPA_PLATFORM=offscreen\n"
        << "- Load average at the start: " << load_average() << '\n';
    return out.str();
}

void Report::heading(const std::string& title)
{
    end_table();
    out_ << "\n### " << title << "\n\n";
}

void Report::paragraph(const std::string& text)
{
    end_table();
    out_ << text << "\n\n";
}

void Report::table(const std::string& header)
{
    end_table();
    out_ << header << '\n';
    std::size_t columns = 0;
    for (char c : header) columns += c == '|';
    out_ << '|';
    for (std::size_t i = 1; i < columns; ++i) out_ << "---|";
    out_ << '\n';
    in_table_ = true;
}

void Report::row(const std::string& cells) { out_ << cells << '\n'; }

void Report::end_table()
{
    if (in_table_) out_ << '\n';
    in_table_ = false;
}

std::string fixed(double value, int decimals)
{
    std::ostringstream out;
    out.setf(std::ios::fixed);
    out.precision(decimals);
    out << value;
    return out.str();
}

std::string ms_summary(const Summary& s, int decimals)
{
    return fixed(s.median, decimals) + " / " + fixed(s.p99, decimals) + " (mean " + fixed(s.mean, decimals) + ", " +
           fixed(s.min, decimals) + ".." + fixed(s.max, decimals) + ", n=" + std::to_string(s.count) + ")";
}

std::string verdict(bool met) { return met ? "met" : "**missed**"; }
