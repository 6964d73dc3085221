#pragma once
// Medians and spreads of repeated measurements. Other programs share the machine, so single runs
// wander; the benchmarks repeat and report the median with the smallest and largest value.

#include <string>
#include <vector>

namespace tamrix::bench {

struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
};

// All zero for no values.
Spread SpreadOf(std::vector<double> values);

// The smallest value that at least `percent` % of the values do not exceed (nearest rank); 0 for
// no values.
double Percentile(std::vector<double> values, double percent);

// "12.3 (11.9..13.0)" with `format` applied to each of the three values.
std::string DescribeSpread(const Spread& spread, const char* format);

}  // namespace tamrix::bench
