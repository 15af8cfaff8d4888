#pragma once
// Order statistics of a set of samples.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

struct Summary {
    std::size_t count = 0;
    double min = 0, median = 0, p99 = 0, max = 0, mean = 0;
};

// Nearest-rank percentile of sorted samples; q in (0, 1].
inline double percentile_sorted(const std::vector<double>& sorted, double q)
{
    if (sorted.empty()) return 0;
    const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

inline Summary summarize(std::vector<double> samples)
{
    Summary s;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    s.count = samples.size();
    s.min = samples.front();
    s.max = samples.back();
    const std::size_t mid = samples.size() / 2;
    s.median = samples.size() % 2 ? samples[mid] : (samples[mid - 1] + samples[mid]) / 2;
    s.p99 = percentile_sorted(samples, 0.99);
    s.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
    return s;
}
