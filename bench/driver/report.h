// The driver's outputs: a table for the terminal, a JSON document, the latency
// histogram, and the memory curve as CSV and SVG.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "bench/driver/worker_run.h"

namespace quirvel::bench {

struct ReportContext {
  std::string worker;
  std::string model;
  std::string tokenizer;
  std::string titles_source;
  size_t title_count = 0;
  size_t requests = 0;
  int max_len = 24;
};

std::string CacheLabel(bool candidate_cache);
// The cache setting and the arguments the run added ("cache off --reuse-converters").
std::string RunLabel(const RunResult& run);
double RequestsPerSecond(const RunResult& run);

void PrintTable(std::ostream& out, const ReportContext& context, const std::vector<RunResult>& runs);
// For each run that added arguments, the mean milliseconds per extract of it
// and of the run before it with the same cache setting, and their ratio.
void PrintComparisons(std::ostream& out, const std::vector<RunResult>& runs);
std::string ResultsJson(const ReportContext& context, const std::vector<RunResult>& runs);
std::string LatencyHistogramSvg(const std::vector<RunResult>& runs);
std::string RssCsv(const std::vector<RunResult>& runs);
std::string RssCurveSvg(const std::vector<RunResult>& runs);

// Writes text to a file; throws std::runtime_error when it cannot.
void WriteFile(const std::string& path, const std::string& text);

}  // namespace quirvel::bench
