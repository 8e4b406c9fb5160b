// Hand-written SVG pictures of the driver's results: a latency histogram and a
// memory curve, both readable in any browser.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "bench/driver/latency_stats.h"

namespace quirvel::bench {

struct HistogramSeries {
  std::string name;
  Histogram histogram;
};

struct LineSeries {
  std::string name;
  std::vector<std::pair<double, double>> points;
};

// Bars of each series side by side within a bin; x in the histogram's unit.
std::string HistogramSvg(const std::string& title, const std::string& x_label,
                         const std::vector<HistogramSeries>& series);

// One polyline per series over shared axes.
std::string LineChartSvg(const std::string& title, const std::string& x_label, const std::string& y_label,
                         const std::vector<LineSeries>& series);

// Text made safe for SVG character data and attribute values.
std::string EscapeXml(const std::string& text);

}  // namespace quirvel::bench
