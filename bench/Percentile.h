#pragma once
// The value at a fraction of the sorted values (0.5 the median), for the
// benchmarks that time single calls.

#include <algorithm>
#include <cstddef>
#include <vector>

inline double Percentile(std::vector<double>& values, double fraction) {
    if (values.empty()) return 0;
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}
