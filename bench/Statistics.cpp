#include "bench/Statistics.h"

#include <algorithm>
#include <cmath>

#include "common/Format.h"

namespace tamrix::bench {

Spread SpreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty())
        return spread;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    spread.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    spread.min = values.front();
    spread.max = values.back();
    return spread;
}

double Percentile(std::vector<double> values, double percent) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(percent / 100.0 * static_cast<double>(values.size()));
    const size_t index = static_cast<size_t>(std::clamp(rank, 1.0, double(values.size()))) - 1;
    return values[index];
}

std::string DescribeSpread(const Spread& spread, const char* format) {
    return Format(format, spread.median) + " (" + Format(format, spread.min) + ".." +
           Format(format, spread.max) + ")";
}

}  // namespace tamrix::bench
