#include "bench/driver/report.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "bench/driver/latency_stats.h"
#include "bench/driver/svg_chart.h"

namespace quirvel::bench {
namespace {

constexpr size_t kHistogramBins = 40;

double Mib(long kib) { return static_cast<double>(kib) / 1024.0; }

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Column(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : std::string(width - text.size(), ' ') + text + " ";
}

nlohmann::json RunJson(const RunResult& run) {
  nlohmann::json samples = nlohmann::json::array();
  for (const RssSample& sample : run.rss)
    samples.push_back({{"requests", sample.requests}, {"rss_kib", sample.rss_kib}});
  return {{"candidate_cache", run.candidate_cache},
          {"added_worker_args", run.added_args},
          {"ready_ms", run.ready_ms},
          {"first_extract_ms", run.first_extract_ms},
          {"steady_requests", run.steady_ms.size()},
          {"median_ms", Percentile(run.steady_ms, 50)},
          {"p95_ms", Percentile(run.steady_ms, 95)},
          {"p99_ms", Percentile(run.steady_ms, 99)},
          {"mean_ms", Mean(run.steady_ms)},
          {"max_ms", Percentile(run.steady_ms, 100)},
          {"requests_per_second", RequestsPerSecond(run)},
          {"start_rss_kib", run.start_rss_kib},
          {"end_rss_kib", run.end_rss_kib},
          {"peak_rss_kib", run.peak_rss_kib},
          {"error_replies", run.error_replies},
          {"first_error", run.first_error},
          {"candidate_cache_hits", run.cache_hits},
          {"candidate_cache_misses", run.cache_misses},
          {"candidate_cache_size", run.cache_size},
          {"exit_code", run.exit_code},
          {"rss_samples", samples}};
}

}  // namespace

std::string CacheLabel(bool candidate_cache) { return candidate_cache ? "cache on" : "cache off"; }

std::string RunLabel(const RunResult& run) {
  std::string label = CacheLabel(run.candidate_cache);
  for (const std::string& arg : run.added_args) label += " " + arg;
  return label;
}

double RequestsPerSecond(const RunResult& run) {
  if (run.steady_seconds <= 0) return 0;
  return static_cast<double>(run.steady_ms.size()) / run.steady_seconds;
}

void PrintTable(std::ostream& out, const ReportContext& context, const std::vector<RunResult>& runs) {
  out << "worker:    " << context.worker << "\nmodel:     " << context.model
      << "\ntokenizer: " << context.tokenizer << "\ntitles:    " << context.title_count << " from "
      << context.titles_source << "\nrequests:  " << context.requests << " per run, max_len "
      << context.max_len << "\n\n";
  std::size_t label_width = 10;
  for (const RunResult& run : runs) label_width = std::max(label_width, RunLabel(run).size());
  out << Column("run", label_width) << Column("ready ms", 9) << Column("first ms", 9) << Column("median ms", 10)
      << Column("mean ms", 9) << Column("p95 ms", 8) << Column("p99 ms", 8) << Column("req/s", 8)
      << Column("peak MiB", 9) << Column("end MiB", 8) << Column("errors", 7) << "\n";
  for (const RunResult& run : runs) {
    out << Column(RunLabel(run), label_width) << Column(Fixed(run.ready_ms, 1), 9)
        << Column(Fixed(run.first_extract_ms, 1), 9) << Column(Fixed(Percentile(run.steady_ms, 50), 3), 10)
        << Column(Fixed(Mean(run.steady_ms), 3), 9)
        << Column(Fixed(Percentile(run.steady_ms, 95), 3), 8)
        << Column(Fixed(Percentile(run.steady_ms, 99), 3), 8) << Column(Fixed(RequestsPerSecond(run), 1), 8)
        << Column(Fixed(Mib(run.peak_rss_kib), 1), 9) << Column(Fixed(Mib(run.end_rss_kib), 1), 8)
        << Column(std::to_string(run.error_replies), 7) << "\n";
  }
  for (const RunResult& run : runs) {
    if (run.error_replies > 0)
      out << RunLabel(run) << ": first error: " << run.first_error << "\n";
  }
}

void PrintComparisons(std::ostream& out, const std::vector<RunResult>& runs) {
  for (std::size_t i = 1; i < runs.size(); ++i) {
    const RunResult& with = runs[i];
    if (with.added_args.empty()) continue;
    for (std::size_t j = i; j-- > 0;) {
      const RunResult& base = runs[j];
      if (!base.added_args.empty() || base.candidate_cache != with.candidate_cache) continue;
      const double base_ms = Mean(base.steady_ms);
      const double with_ms = Mean(with.steady_ms);
      out << CacheLabel(base.candidate_cache) << ": " << Fixed(base_ms, 3) << " ms per extract; "
          << RunLabel(with) << ": " << Fixed(with_ms, 3) << " ms ("
          << (base_ms > 0 ? Fixed(with_ms / base_ms, 4) : std::string("-")) << " of it)\n";
      break;
    }
  }
}

std::string ResultsJson(const ReportContext& context, const std::vector<RunResult>& runs) {
  nlohmann::json document = {{"worker", context.worker},           {"model", context.model},
                             {"tokenizer", context.tokenizer},     {"titles", context.titles_source},
                             {"title_count", context.title_count}, {"requests", context.requests},
                             {"max_len", context.max_len},         {"runs", nlohmann::json::array()}};
  for (const RunResult& run : runs) document["runs"].push_back(RunJson(run));
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string LatencyHistogramSvg(const std::vector<RunResult>& runs) {
  double upper = 0;
  for (const RunResult& run : runs) upper = std::max(upper, Percentile(run.steady_ms, 99) * 1.25);
  std::vector<HistogramSeries> series;
  for (const RunResult& run : runs) {
    series.push_back({RunLabel(run), MakeHistogram(run.steady_ms, upper, kHistogramBins)});
  }
  return HistogramSvg("Extract latency after the first request (last bin: beyond)", "milliseconds", series);
}

std::string RssCsv(const std::vector<RunResult>& runs) {
  std::ostringstream csv;
  csv << "candidate_cache,requests,rss_kib\n";
  for (const RunResult& run : runs) {
    for (const RssSample& sample : run.rss) {
      csv << (run.candidate_cache ? "on" : "off");
      for (const std::string& arg : run.added_args) csv << ' ' << arg;
      csv << ',' << sample.requests << ',' << sample.rss_kib << '\n';
    }
  }
  return csv.str();
}

std::string RssCurveSvg(const std::vector<RunResult>& runs) {
  std::vector<LineSeries> series;
  for (const RunResult& run : runs) {
    LineSeries line{RunLabel(run), {}};
    for (const RssSample& sample : run.rss)
      line.points.emplace_back(static_cast<double>(sample.requests), Mib(sample.rss_kib));
    series.push_back(line);
  }
  return LineChartSvg("Worker resident memory (VmRSS)", "requests", "MiB", series);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace quirvel::bench
