// Hand-written SVG pictures of benchmark results: the driver's latency histogram
// and memory curve, and grouped bars (the quality benchmark's figures), all
// readable in any browser.
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

// One value per group of a grouped bar chart.
struct BarSeries {
  std::string name;
  std::vector<double> values;
  // An SVG colour ("#1f77b4"); empty: the chart's own palette.
  std::string color;
};

// Bars of every series side by side within each group (a system, say), over a
// y axis from 0 to y_max, each bar topped by its value; the series names in a
// row under the group labels. Throws std::invalid_argument when a series has
// not one value per group.
std::string GroupedBarChartSvg(const std::string& title, const std::string& y_label,
                               const std::vector<std::string>& groups, const std::vector<BarSeries>& series,
                               double y_max);

// Text made safe for SVG character data and attribute values.
std::string EscapeXml(const std::string& text);

}  // namespace quirvel::bench
