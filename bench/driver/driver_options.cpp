#include "bench/driver/driver_options.h"

#include <stdexcept>

#include "tools/options/tool_options.h"

namespace quirvel::bench {
namespace {

using cli::ParseInteger;
using cli::ParseNonNegativeDecimal;

std::vector<bool> ParseCacheModes(const std::string& value) {
  if (value == "off") return {false};
  if (value == "on") return {true};
  if (value == "both") return {false, true};
  throw std::invalid_argument("--cache needs off, on or both, got: " + value);
}

cli::OptionParser DriverParser(DriverOptions& o) {
  cli::OptionParser parser;
  parser.Switch("--help", [&] { o.help = true; })
      .Switch("-h", [&] { o.help = true; })
      .Switch("--distinct", [&] { o.distinct_titles = true; })
      .Value("--worker", [&](auto&, auto& v) { o.worker = v; })
      .Value("--launcher", [&](auto&, auto& v) { o.launcher = v; })
      .Value("--model", [&](auto&, auto& v) { o.model = v; })
      .Value("--tokenizer", [&](auto&, auto& v) { o.tokenizer = v; })
      .Value("--worker-arg", [&](auto&, auto& v) { o.worker_args.push_back(v); })
      .Value("--compare-worker-arg", [&](auto&, auto& v) { o.compare_args.push_back(v); })
      .Value("--titles",
             [&](auto&, auto& v) {
               o.titles = v;
               o.titles_required = true;
             })
      .Value("--requests", [&](auto& k, auto& v) { o.requests = ParseInteger<size_t>(k, v, 1); })
      .Value("--max-len", [&](auto& k, auto& v) { o.max_len = ParseInteger<int>(k, v, 0); })
      .Value("--cache", [&](auto&, auto& v) { o.cache_modes = ParseCacheModes(v); })
      .Value("--metrics-every", [&](auto& k, auto& v) { o.metrics_every = ParseInteger<size_t>(k, v); })
      .Value("--warm-up", [&](auto& k, auto& v) { o.warm_up = ParseInteger<size_t>(k, v); })
      .Value("--max-rss-growth",
             [&](auto& k, auto& v) { o.max_late_growth = ParseNonNegativeDecimal(k, v) / 100.0; })
      .Value("--max-rss-per-1000",
             [&](auto& k, auto& v) { o.max_mib_per_thousand = ParseNonNegativeDecimal(k, v); })
      .Value("--json", [&](auto&, auto& v) { o.json_path = v; })
      .Value("--svg", [&](auto&, auto& v) { o.svg_path = v; })
      .Value("--rss-csv", [&](auto&, auto& v) { o.rss_csv_path = v; })
      .Value("--rss-svg", [&](auto&, auto& v) { o.rss_svg_path = v; });
  return parser;
}

}  // namespace

DriverOptions ParseDriverOptions(const std::vector<std::string>& args, DriverOptions options) {
  DriverParser(options).Parse(args);
  if (options.help) return options;
  if (options.worker.empty()) throw std::invalid_argument("--worker is required");
  if (options.model.empty() || options.tokenizer.empty()) {
    throw std::invalid_argument("--model and --tokenizer are required");
  }
  return options;
}

std::string DriverUsage() {
  return "usage: quirvel-bench-driver --model FILE --tokenizer FILE [options]\n"
         "  --worker FILE          worker executable (default: the one built with the driver)\n"
         "  --launcher FILE        program that runs the worker (e.g. /usr/bin/wine for quirvel-worker.exe)\n"
         "  --worker-arg ARG       extra worker argument, repeatable (e.g. --worker-arg=--profile=bge)\n"
         "  --compare-worker-arg ARG\n"
         "                         run each cache setting again with ARG added (repeatable) and print\n"
         "                         both runs' mean ms per extract (e.g. --compare-worker-arg=--reuse-converters)\n"
         "  --titles PATH          titles file, or folder of *.txt files (default: shared titles when\n"
         "                         present, else a short built-in list)\n"
         "  --requests N           extract requests per run (default 1000)\n"
         "  --max-len N            max_len of each request (default 24)\n"
         "  --cache off|on|both    candidate cache settings to run (default both)\n"
         "  --metrics-every N      sample the worker's VmRSS every N requests\n"
         "  --warm-up N            requests before memory growth is judged (default requests/10)\n"
         "  --max-rss-growth PCT   fail when memory with the cache off grows more than PCT %\n"
         "                         over the second half after warm-up\n"
         "  --distinct             send every distinct title once instead of --requests requests\n"
         "  --max-rss-per-1000 MIB fail when memory grows more than MIB per 1,000 requests after\n"
         "                         warm-up (in either cache setting)\n"
         "  --json FILE            write the results as JSON\n"
         "  --svg FILE             write the latency histogram as SVG\n"
         "  --rss-csv FILE         write the memory samples as CSV\n"
         "  --rss-svg FILE         write the memory curve as SVG\n";
}

}  // namespace quirvel::bench
