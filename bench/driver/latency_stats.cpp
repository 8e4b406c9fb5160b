#include "bench/driver/latency_stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace quirvel::bench {

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
  const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
  return values[std::min(index, values.size() - 1)];
}

double Mean(const std::vector<double>& values) {
  if (values.empty()) return 0;
  return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

Histogram MakeHistogram(const std::vector<double>& values, double upper, size_t bins) {
  Histogram histogram;
  if (bins == 0 || !(upper > 0)) return histogram;
  histogram.bin_width = upper / static_cast<double>(bins);
  histogram.counts.assign(bins, 0);
  for (double value : values) {
    const double position = std::max(0.0, value) / histogram.bin_width;
    const size_t bin = position >= static_cast<double>(bins) ? bins - 1 : static_cast<size_t>(position);
    ++histogram.counts[bin];
  }
  return histogram;
}

double LateGrowth(const std::vector<RssSample>& samples, size_t warm_up_requests) {
  std::vector<RssSample> settled;
  for (const RssSample& sample : samples) {
    if (sample.requests >= warm_up_requests) settled.push_back(sample);
  }
  if (settled.size() < 2) return 0;
  const size_t half_way = settled.front().requests + (settled.back().requests - settled.front().requests) / 2;
  const auto middle = std::find_if(settled.begin(), settled.end(),
                                   [&](const RssSample& s) { return s.requests >= half_way; });
  if (middle->rss_kib <= 0) return 0;
  return static_cast<double>(settled.back().rss_kib - middle->rss_kib) / static_cast<double>(middle->rss_kib);
}

double MibPerThousand(const std::vector<RssSample>& samples, size_t from_requests) {
  double n = 0, sum_x = 0, sum_y = 0, sum_xx = 0, sum_xy = 0;
  for (const RssSample& sample : samples) {
    if (sample.requests < from_requests) continue;
    const double x = static_cast<double>(sample.requests) / 1000.0;
    const double y = static_cast<double>(sample.rss_kib) / 1024.0;
    n += 1;
    sum_x += x;
    sum_y += y;
    sum_xx += x * x;
    sum_xy += x * y;
  }
  const double spread = n * sum_xx - sum_x * sum_x;
  if (n < 2 || spread <= 0) return 0;
  return (n * sum_xy - sum_x * sum_y) / spread;
}

}  // namespace quirvel::bench
