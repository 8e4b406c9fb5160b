// Summaries of measured request latencies and memory samples.
#pragma once

#include <cstddef>
#include <vector>

namespace quirvel::bench {

// Percentile by the nearest-rank rule over an unsorted sample; 0 when empty.
// p is in [0, 100].
double Percentile(std::vector<double> values, double p);
double Mean(const std::vector<double>& values);

struct Histogram {
  double bin_width = 0;
  // counts[i] holds values in [i * bin_width, (i + 1) * bin_width); the last
  // bin also takes every value beyond the range.
  std::vector<size_t> counts;
};

// Equal-width bins from 0 to upper; values above upper land in the last bin.
Histogram MakeHistogram(const std::vector<double>& values, double upper, size_t bins);

// One memory reading taken after a number of requests.
struct RssSample {
  size_t requests = 0;
  long rss_kib = 0;
};

// Relative growth of resident memory over the second half of a run, as a
// fraction of the reading at the half-way point: (last - middle) / middle.
// Readings before warm_up_requests are ignored; 0 when fewer than two
// readings remain.
double LateGrowth(const std::vector<RssSample>& samples, size_t warm_up_requests);

// Growth of resident memory in MiB per 1,000 requests from from_requests on:
// the least-squares slope through the readings taken there, so one noisy
// reading does not decide it. 0 when fewer than two readings remain.
double MibPerThousand(const std::vector<RssSample>& samples, size_t from_requests);

}  // namespace quirvel::bench
