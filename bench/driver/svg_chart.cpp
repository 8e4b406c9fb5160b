#include "bench/driver/svg_chart.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

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

void DrawAxes(std::ostringstream& svg, const Frame& frame, const std::string& x_label,
              const std::string& y_label) {
  svg << "<g stroke=\"#444\">\n<line x1=\"" << kLeft << "\" y1=\"" << kTop + kPlotHeight << "\" x2=\""
      << kLeft + kPlotWidth << "\" y2=\"" << kTop + kPlotHeight << "\"/>\n<line x1=\"" << kLeft << "\" y1=\""
      << kTop << "\" x2=\"" << kLeft << "\" y2=\"" << kTop + kPlotHeight << "\"/>\n</g>\n";
  for (int tick = 0; tick <= 5; ++tick) {
    const double x = frame.x_max * tick / 5;
    const double y = frame.y_max * tick / 5;
    svg << "<text x=\"" << frame.X(x) << "\" y=\"" << kTop + kPlotHeight + 16 << "\" text-anchor=\"middle\">"
        << Number(x) << "</text>\n<text x=\"" << kLeft - 6 << "\" y=\"" << frame.Y(y) + 4
        << "\" text-anchor=\"end\">" << Number(y) << "</text>\n";
  }
  svg << "<text x=\"" << kLeft + kPlotWidth / 2 << "\" y=\"" << kHeight - 18 << "\" text-anchor=\"middle\">"
      << EscapeXml(x_label) << "</text>\n<text x=\"16\" y=\"" << kTop + kPlotHeight / 2
      << "\" text-anchor=\"middle\" transform=\"rotate(-90 16 " << kTop + kPlotHeight / 2 << ")\">"
      << EscapeXml(y_label) << "</text>\n";
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

}  // namespace quirvel::bench
