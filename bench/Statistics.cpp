#include "bench/Statistics.h"

#include <algorithm>

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

std::string DescribeSpread(const Spread& spread, const char* format) {
    return Format(format, spread.median) + " (" + Format(format, spread.min) + ".." +
           Format(format, spread.max) + ")";
}

}  // namespace tamrix::bench
