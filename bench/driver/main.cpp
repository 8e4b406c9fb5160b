// Benchmark driver: runs the built worker as its parent application would and
// measures start-up, latency, throughput and memory, with the candidate cache
// off and on.
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <unordered_set>

#include "bench/driver/driver_options.h"
#include "bench/driver/latency_stats.h"
#include "bench/driver/report.h"
#include "bench/driver/titles.h"
#include "bench/driver/worker_run.h"

namespace {

using quirvel::bench::DriverOptions;
using quirvel::bench::RunResult;

constexpr int kExitFailure = 1;
constexpr int kExitMemoryGrows = 2;

DriverOptions DefaultOptions() {
  DriverOptions defaults;
  defaults.worker = QUIRVEL_BENCH_DEFAULT_WORKER;
  defaults.titles = QUIRVEL_BENCH_DEFAULT_TITLES;
  return defaults;
}

// The titles and where they came from.
std::pair<std::vector<std::string>, std::string> ChooseTitles(const DriverOptions& options) {
  if (options.titles_required || std::filesystem::exists(options.titles)) {
    return {quirvel::bench::LoadTitles(options.titles), options.titles};
  }
  return {quirvel::bench::BuiltInTitles(), "the driver's built-in list"};
}

// Each title once, in the order first met.
std::vector<std::string> DistinctTitles(const std::vector<std::string>& titles) {
  std::vector<std::string> distinct;
  std::unordered_set<std::string> seen;
  for (const std::string& title : titles) {
    if (seen.insert(title).second) distinct.push_back(title);
  }
  return distinct;
}

std::vector<std::string> WorkerCommand(const DriverOptions& options, bool candidate_cache,
                                       const std::vector<std::string>& added_args) {
  std::vector<std::string> command;
  if (!options.launcher.empty()) command.push_back(options.launcher);
  command.insert(command.end(), {options.worker, "--model", options.model, "--tokenizer", options.tokenizer});
  command.insert(command.end(), options.worker_args.begin(), options.worker_args.end());
  command.insert(command.end(), added_args.begin(), added_args.end());
  if (candidate_cache) command.push_back("--candidate-cache");
  return command;
}

RunResult RunOne(const DriverOptions& options, const std::vector<std::string>& titles, bool candidate_cache,
                 const std::vector<std::string>& added_args) {
  RunResult labelled;
  labelled.candidate_cache = candidate_cache;
  labelled.added_args = added_args;
  std::cerr << "running " << options.requests << " requests, " << quirvel::bench::RunLabel(labelled) << "\n";
  quirvel::bench::RunPlan plan{WorkerCommand(options, candidate_cache, added_args),
                               titles,
                               options.requests,
                               options.max_len,
                               options.metrics_every,
                               options.requests >= 20000 ? options.requests / 10 : 0};
  RunResult run = quirvel::bench::RunWorker(plan);
  run.candidate_cache = candidate_cache;
  run.added_args = added_args;
  return run;
}

// Each cache setting, and when asked, each again with the compared arguments.
std::vector<RunResult> RunAll(const DriverOptions& options, const std::vector<std::string>& titles) {
  std::vector<RunResult> runs;
  for (bool candidate_cache : options.cache_modes) {
    runs.push_back(RunOne(options, titles, candidate_cache, {}));
    if (!options.compare_args.empty()) runs.push_back(RunOne(options, titles, candidate_cache, options.compare_args));
  }
  return runs;
}

void WriteOutputs(const DriverOptions& options, const quirvel::bench::ReportContext& context,
                  const std::vector<RunResult>& runs) {
  using namespace quirvel::bench;
  if (!options.json_path.empty()) WriteFile(options.json_path, ResultsJson(context, runs));
  if (!options.svg_path.empty()) WriteFile(options.svg_path, LatencyHistogramSvg(runs));
  if (!options.rss_csv_path.empty()) WriteFile(options.rss_csv_path, RssCsv(runs));
  if (!options.rss_svg_path.empty()) WriteFile(options.rss_svg_path, RssCurveSvg(runs));
}

// Prints each run's memory growth per 1,000 requests after warm-up; false
// when a run grew more than allowed.
bool GrowthPerThousandWithinLimit(const DriverOptions& options, size_t warm_up, const RunResult& run) {
  const double per_thousand = quirvel::bench::MibPerThousand(run.rss, warm_up);
  std::cout << quirvel::bench::RunLabel(run) << ": RSS " << per_thousand
            << " MiB per 1,000 requests after the first " << warm_up << " (cache size at end "
            << run.cache_size << ")\n";
  if (options.max_mib_per_thousand < 0 || per_thousand <= options.max_mib_per_thousand) return true;
  std::cout << "memory grows with the requests (limit " << options.max_mib_per_thousand
            << " MiB per 1,000)\n";
  return false;
}

// Prints each run's memory growth after warm-up; false when the run with the
// cache off grew more than allowed, or any run more than the per-1,000 limit.
bool MemoryLevelsOff(const DriverOptions& options, const std::vector<RunResult>& runs) {
  const size_t warm_up = options.warm_up > 0 ? options.warm_up : options.requests / 10;
  bool levels_off = true;
  for (const RunResult& run : runs) {
    if (!GrowthPerThousandWithinLimit(options, warm_up, run)) levels_off = false;
    const double growth = quirvel::bench::LateGrowth(run.rss, warm_up);
    std::cout << quirvel::bench::RunLabel(run) << ": RSS " << run.start_rss_kib / 1024
              << " MiB at ready, " << run.end_rss_kib / 1024
              << " MiB at end; growth over the second half after " << warm_up
              << " warm-up requests: " << growth * 100 << " %\n";
    if (!run.candidate_cache && options.max_late_growth >= 0 && growth > options.max_late_growth) {
      std::cout << "memory does not level off with the cache off (limit " << options.max_late_growth * 100
                << " %)\n";
      levels_off = false;
    }
  }
  return levels_off;
}

bool RunsClean(const std::vector<RunResult>& runs) {
  bool clean = true;
  for (const RunResult& run : runs) {
    if (run.error_replies > 0 || run.exit_code != 0) clean = false;
  }
  return clean;
}

int Run(const std::vector<std::string>& args) {
  DriverOptions options = quirvel::bench::ParseDriverOptions(args, DefaultOptions());
  if (options.help) {
    std::cout << quirvel::bench::DriverUsage();
    return 0;
  }
  auto [titles, source] = ChooseTitles(options);
  if (options.distinct_titles) {
    titles = DistinctTitles(titles);
    options.requests = titles.size();
  }
  const std::vector<RunResult> runs = RunAll(options, titles);
  const quirvel::bench::ReportContext context{options.worker, options.model,    options.tokenizer, source,
                                              titles.size(),  options.requests, options.max_len};
  quirvel::bench::PrintTable(std::cout, context, runs);
  quirvel::bench::PrintComparisons(std::cout, runs);
  WriteOutputs(options, context, runs);
  const bool levels_off = MemoryLevelsOff(options, runs);
  if (!RunsClean(runs)) return kExitFailure;
  return levels_off ? 0 : kExitMemoryGrows;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::invalid_argument& error) {
    std::cerr << "quirvel-bench-driver: " << error.what() << "\n" << quirvel::bench::DriverUsage();
  } catch (const std::exception& error) {
    std::cerr << "quirvel-bench-driver: " << error.what() << "\n";
  }
  return kExitFailure;
}
