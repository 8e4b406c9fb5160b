#include "bench/driver/svg_chart.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "host/utf8.h"

namespace quirvel::bench {
namespace {

constexpr double kWidth = 800;
constexpr double kHeight = 420;
constexpr double kLeft = 70;
constexpr double kRight = 20;
constexpr double kTop = 40;
constexpr double kBottom = 60;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPlotHeight = kHeight - kTop - kBottom;
const char* const kColors[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd"};

const char* ColorOf(size_t index) { return kColors[index % (sizeof kColors / sizeof kColors[0])]; }

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

// Maps data coordinates onto the plot area.
struct Frame {
  double x_max = 1;
  double y_max = 1;
  double X(double x) const { return kLeft + x / x_max * kPlotWidth; }
  double Y(double y) const { return kTop + kPlotHeight - y / y_max * kPlotHeight; }
};

void OpenSvg(std::ostringstream& svg, const std::string& title) {
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << kHeight
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
      << "<text x=\"" << kWidth / 2 << "\" y=\"22\" text-anchor=\"middle\" font-size=\"15\">"
      << EscapeXml(title) << "</text>\n";
}

void DrawAxisLines(std::ostringstream& svg) {
  svg << "<g stroke=\"#444\">\n<line x1=\"" << kLeft << "\" y1=\"" << kTop + kPlotHeight << "\" x2=\""
      << kLeft + kPlotWidth << "\" y2=\"" << kTop + kPlotHeight << "\"/>\n<line x1=\"" << kLeft << "\" y1=\""
      << kTop << "\" x2=\"" << kLeft << "\" y2=\"" << kTop + kPlotHeight << "\"/>\n</g>\n";
}

void DrawXTick(std::ostringstream& svg, const Frame& frame, double x) {
  svg << "<text x=\"" << frame.X(x) << "\" y=\"" << kTop + kPlotHeight + 16 << "\" text-anchor=\"middle\">"
      << Number(x) << "</text>\n";
}

void DrawYTick(std::ostringstream& svg, const Frame& frame, double y) {
  svg << "<text x=\"" << kLeft - 6 << "\" y=\"" << frame.Y(y) + 4 << "\" text-anchor=\"end\">" << Number(y)
      << "</text>\n";
}

void DrawYLabel(std::ostringstream& svg, const std::string& y_label) {
  svg << "<text x=\"16\" y=\"" << kTop + kPlotHeight / 2
      << "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " << kTop + kPlotHeight / 2 << ")\">"
      << EscapeXml(y_label) << "</text>\n";
}

void DrawAxes(std::ostringstream& svg, const Frame& frame, const std::string& x_label,
              const std::string& y_label) {
  DrawAxisLines(svg);
  for (int tick = 0; tick <= 5; ++tick) {
    DrawXTick(svg, frame, frame.x_max * tick / 5);
    DrawYTick(svg, frame, frame.y_max * tick / 5);
  }
  svg << "<text x=\"" << kLeft + kPlotWidth / 2 << "\" y=\"" << kHeight - 18 << "\" text-anchor=\"middle\">"
      << EscapeXml(x_label) << "</text>\n";
  DrawYLabel(svg, y_label);
}

void DrawLegend(std::ostringstream& svg, const std::vector<std::string>& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    const double y = kTop + 10 + 18 * static_cast<double>(i);
    svg << "<rect x=\"" << kWidth - 190 << "\" y=\"" << y - 9 << "\" width=\"12\" height=\"12\" fill=\""
        << ColorOf(i) << "\"/>\n<text x=\"" << kWidth - 172 << "\" y=\"" << y + 2 << "\">"
        << EscapeXml(names[i]) << "</text>\n";
  }
}

double LargestCount(const std::vector<HistogramSeries>& series) {
  size_t largest = 1;
  for (const HistogramSeries& one : series) {
    for (size_t count : one.histogram.counts) largest = std::max(largest, count);
  }
  return static_cast<double>(largest);
}

void DrawBars(std::ostringstream& svg, const Frame& frame, const HistogramSeries& one, size_t index,
              size_t series_count) {
  const double width = one.histogram.bin_width / static_cast<double>(series_count);
  for (size_t bin = 0; bin < one.histogram.counts.size(); ++bin) {
    const double x = one.histogram.bin_width * static_cast<double>(bin) + width * static_cast<double>(index);
    const double count = static_cast<double>(one.histogram.counts[bin]);
    if (count == 0) continue;
    svg << "<rect x=\"" << frame.X(x) << "\" y=\"" << frame.Y(count) << "\" width=\""
        << frame.X(x + width) - frame.X(x) << "\" height=\"" << frame.Y(0) - frame.Y(count) << "\" fill=\""
        << ColorOf(index) << "\"/>\n";
  }
}

std::vector<std::string> NamesOf(const std::vector<HistogramSeries>& series) {
  std::vector<std::string> names;
  for (const HistogramSeries& one : series) names.push_back(one.name);
  return names;
}

std::vector<std::string> NamesOf(const std::vector<LineSeries>& series) {
  std::vector<std::string> names;
  for (const LineSeries& one : series) names.push_back(one.name);
  return names;
}

Frame LineFrame(const std::vector<LineSeries>& series) {
  Frame frame;
  for (const LineSeries& one : series) {
    for (const auto& [x, y] : one.points) {
      frame.x_max = std::max(frame.x_max, x);
      frame.y_max = std::max(frame.y_max, y * 1.1);
    }
  }
  return frame;
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

const std::string& SeriesColor(const BarSeries& series, size_t index) {
  static const std::vector<std::string> palette(std::begin(kColors), std::end(kColors));
  return series.color.empty() ? palette[index % palette.size()] : series.color;
}

// A group's label broken at blanks into lines of about `width` characters.
std::vector<std::string> WrapLabel(const std::string& label, size_t width) {
  std::vector<std::string> lines(1);
  std::istringstream words(label);
  for (std::string word; words >> word;) {
    if (!lines.back().empty() && CountUtf8Chars(lines.back()) + 1 + CountUtf8Chars(word) > width)
      lines.emplace_back();
    if (!lines.back().empty()) lines.back() += ' ';
    lines.back() += word;
  }
  return lines;
}

void DrawGridLines(std::ostringstream& svg, const Frame& frame) {
  svg << "<g stroke=\"#ddd\">\n";
  for (int tick = 1; tick <= 5; ++tick) {
    const double y = frame.Y(frame.y_max * tick / 5);
    svg << "<line x1=\"" << kLeft << "\" y1=\"" << y << "\" x2=\"" << kLeft + kPlotWidth << "\" y2=\"" << y
        << "\"/>\n";
  }
  svg << "</g>\n";
}

void DrawGroupBars(std::ostringstream& svg, const Frame& frame, const std::vector<BarSeries>& series,
                   size_t group, double group_width) {
  const double bar_width = group_width * 0.8 / static_cast<double>(series.size());
  const double left = kLeft + group_width * (static_cast<double>(group) + 0.1);
  for (size_t i = 0; i < series.size(); ++i) {
    const double value = std::min(series[i].values[group], frame.y_max);
    const double x = left + bar_width * static_cast<double>(i);
    svg << "<rect x=\"" << x << "\" y=\"" << frame.Y(value) << "\" width=\"" << bar_width - 2
        << "\" height=\"" << frame.Y(0) - frame.Y(value) << "\" fill=\"" << SeriesColor(series[i], i)
        << "\"/>\n<text x=\"" << x + bar_width / 2 - 1 << "\" y=\"" << frame.Y(value) - 3
        << "\" text-anchor=\"middle\" font-size=\"10\">" << Fixed(series[i].values[group], 2) << "</text>\n";
  }
}

void DrawGroupLabel(std::ostringstream& svg, const std::string& label, size_t group, double group_width) {
  const double center = kLeft + group_width * (static_cast<double>(group) + 0.5);
  // About 7 pixels a character at 12 pixels.
  const auto width = static_cast<size_t>(std::max(6.0, group_width / 7));
  double y = kTop + kPlotHeight + 16;
  for (const std::string& line : WrapLabel(label, width)) {
    svg << "<text x=\"" << center << "\" y=\"" << y << "\" text-anchor=\"middle\">" << EscapeXml(line)
        << "</text>\n";
    y += 14;
  }
}

// The series names in one row under the plot.
void DrawLegendRow(std::ostringstream& svg, const std::vector<BarSeries>& series) {
  const double step = kPlotWidth / static_cast<double>(series.size());
  const double y = kHeight - 12;
  for (size_t i = 0; i < series.size(); ++i) {
    const double x = kLeft + step * static_cast<double>(i);
    svg << "<rect x=\"" << x << "\" y=\"" << y - 10 << "\" width=\"12\" height=\"12\" fill=\""
        << SeriesColor(series[i], i) << "\"/>\n<text x=\"" << x + 18 << "\" y=\"" << y << "\">"
        << EscapeXml(series[i].name) << "</text>\n";
  }
}

}  // namespace

std::string EscapeXml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '&':
        escaped += "&amp;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string HistogramSvg(const std::string& title, const std::string& x_label,
                         const std::vector<HistogramSeries>& series) {
  Frame frame;
  for (const HistogramSeries& one : series) {
    frame.x_max =
        std::max(frame.x_max, one.histogram.bin_width * static_cast<double>(one.histogram.counts.size()));
  }
  frame.y_max = LargestCount(series) * 1.1;
  std::ostringstream svg;
  OpenSvg(svg, title);
  for (size_t i = 0; i < series.size(); ++i) DrawBars(svg, frame, series[i], i, series.size());
  DrawAxes(svg, frame, x_label, "requests");
  DrawLegend(svg, NamesOf(series));
  svg << "</svg>\n";
  return svg.str();
}

std::string LineChartSvg(const std::string& title, const std::string& x_label, const std::string& y_label,
                         const std::vector<LineSeries>& series) {
  const Frame frame = LineFrame(series);
  std::ostringstream svg;
  OpenSvg(svg, title);
  for (size_t i = 0; i < series.size(); ++i) {
    svg << "<polyline fill=\"none\" stroke-width=\"2\" stroke=\"" << ColorOf(i) << "\" points=\"";
    for (const auto& [x, y] : series[i].points) svg << frame.X(x) << ',' << frame.Y(y) << ' ';
    svg << "\"/>\n";
  }
  DrawAxes(svg, frame, x_label, y_label);
  DrawLegend(svg, NamesOf(series));
  svg << "</svg>\n";
  return svg.str();
}

std::string GroupedBarChartSvg(const std::string& title, const std::string& y_label,
                               const std::vector<std::string>& groups, const std::vector<BarSeries>& series,
                               double y_max) {
  for (const BarSeries& one : series) {
    if (one.values.size() != groups.size())
      throw std::invalid_argument("bar series \"" + one.name + "\" has " + std::to_string(one.values.size()) +
                                  " values for " + std::to_string(groups.size()) + " groups");
  }
  Frame frame;
  frame.y_max = y_max > 0 ? y_max : 1;
  std::ostringstream svg;
  OpenSvg(svg, title);
  DrawGridLines(svg, frame);
  const double group_width = kPlotWidth / static_cast<double>(std::max<size_t>(groups.size(), 1));
  for (size_t group = 0; group < groups.size(); ++group) {
    if (!series.empty()) DrawGroupBars(svg, frame, series, group, group_width);
    DrawGroupLabel(svg, groups[group], group, group_width);
  }
  DrawAxisLines(svg);
  for (int tick = 0; tick <= 5; ++tick) DrawYTick(svg, frame, frame.y_max * tick / 5);
  DrawYLabel(svg, y_label);
  if (!series.empty()) DrawLegendRow(svg, series);
  svg << "</svg>\n";
  return svg.str();
}

}  // namespace quirvel::bench
