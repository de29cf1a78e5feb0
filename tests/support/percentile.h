#pragma once

#include <algorithm>
#include <vector>

namespace vemla::test {

// p in 0..100 over unsorted samples; 0 for none.
inline double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    size_t index = static_cast<size_t>(p / 100.0 * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}

} // namespace vemla::test
