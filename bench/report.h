#pragma once
// The Markdown that the benchmark writes: the machine, then one table row per figure.

#include "stats.h"

#include <sstream>
#include <string>

// CPU model, cores, kernel, compiler, Qt and build type, as a Markdown list.
std::string machine_section();
// The 1, 5 and 15 minute load averages: the machine is shared, so they go with the figures.
std::string load_average();

class Report {
public:
    void heading(const std::string& title);
    void paragraph(const std::string& text);
    // A table of figures: begin it, add rows, and the next heading or paragraph ends it.
    void table(const std::string& header);
    void row(const std::string& cells);
    std::string text() const { return out_.str(); }

private:
    void end_table();
    std::ostringstream out_;
    bool in_table_ = false;
};

std::string fixed(double value, int decimals);
// "median / p99 (mean, min..max, n)".
std::string ms_summary(const Summary& s, int decimals = 3);
// "PASS" or "MISS".
std::string verdict(bool met);
